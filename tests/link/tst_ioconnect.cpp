// IoConnect against the in-process fake SDK: the connect queue, task results
// and their signals, starting and changing streams, device replies and the IO
// time-out.

#include "IoConnectFixture.h"

#include "link/ProgressEvents.h"

#include "TestMain.h"
#include <QCoreApplication>
#include <QRegularExpression>

namespace {

using MakeEvent = QEvent *(*)(const TaskContext &ctx, int result);

// A task result event with value-initialised further arguments.
template <typename Event, typename... More> QEvent *make(const TaskContext &ctx, int result)
{
    return new Event(ctx, result, More{}...);
}

// Asks for a device reply the way a request does, by its successful result.
template <typename Event> void ask(IoConnect *io, Channel *ch)
{
    Event e(TaskContext::of(ch, true), 0);
    QCoreApplication::sendEvent(io, &e);
}

} // namespace

Q_DECLARE_METATYPE(MakeEvent)

class TstIoConnect : public IoConnectFixture
{
    Q_OBJECT

private slots:
    void initTestCase() { FakeSdk::install(); }
    void init() { setUpIo(); }
    void cleanup() { tearDownIo(); }

    void failedResultEmitsItsSignalWithTheErrorText_data()
    {
        QTest::addColumn<MakeEvent>("make");
        QTest::addColumn<QByteArrayList>("emitted"); // sorted; the failure signal first
        auto row = [](const char *name, MakeEvent make, const QByteArrayList &emitted) {
            QTest::newRow(name) << make << emitted;
        };
        using Yes = std::true_type;
        row("stop stream", make<ProgressEvent_StopStream, bool>, {"videoRequestStopFailMsg"});
        row("record list, which still ends", make<ProgressEvent_getReplayVideoTime>,
            {"requestReplayVideoTimeFailMsg", "requestReplayVideoTimeSuccessMsg"});
        row("playback control", make<ProgressEvent_playReplay, QByteArray, int>,
            {"startReplayControlFailMsg"});
        row("playback stop", make<ProgressEvent_stopReplay, bool, QDateTime>,
            {"stopReplayFailMsg"});
        row("talk", make<ProgressEvent_audioSendControl, Yes, int>, {"audioSendControlFailMsg"});
        row("resume", make<ProgressEvent_stopPauseReplay>, {"startReplayFailMsg"});
        row("time zone", make<ProgressEvent_setTimeZone>, {"setTimeZoneFailMsg"});
        row("wifi", make<ProgressEvent_setWifi>, {"setWifiFailMsg"});
    }

    void failedResultEmitsItsSignalWithTheErrorText()
    {
        QFETCH(MakeEvent, make);
        QFETCH(QByteArrayList, emitted);
        Channel *ch = open(addDevice("UID-F"));
        QVERIFY(ch);
        SignalLog log(io);
        std::unique_ptr<QEvent> e(make(TaskContext::of(ch, true), AV_ER_TIMEOUT));
        QVERIFY(QCoreApplication::sendEvent(io, e.get()));
        QCOMPARE(log.first(emitted.first()),
                 (QVariantList{QVariant::fromValue(ch), AV_ER_TIMEOUT, "Timeout has expired"}));
        QCOMPARE(log.names(), emitted);
    }

    void twoChannelsOfOneDeviceGiveOneSession()
    {
        Device *d = addDevice("UID-A", 2, QString(), "pw");
        FakeSdk::state().gatedUids.insert("UID-A");
        SignalLog log(io);
        for (Channel *ch : {d->channel(0), d->channel(1)}) {
            io->connectChannel(ch);
            io->startChannel(ch);
        }
        QTRY_COMPARE_WITH_TIMEOUT(FakeSdk::calls("connect ").size(), 1, Wait);
        FakeSdk::release("UID-A");
        // Both channels get their AV channel, which happens only once the
        // queue is empty.
        const QByteArrayList opened{"connectChannelSuccessMsg", "connectChannelSuccessMsg",
                                    "connectDevSuccessMsg"};
        QTRY_COMPARE_WITH_TIMEOUT(log.names(), opened, Wait);
        QCOMPARE(d->sessionId(), 0);
        QVERIFY(d->channel(0)->avIndex(true) >= 0 && d->channel(1)->avIndex(true) >= 0);
        // The view account was empty: "Admin" is sent. The two starts may run in either order.
        QStringList starts = FakeSdk::calls("avStart ");
        starts.sort();
        QCOMPARE(starts, (QStringList{"avStart 0 Admin pw 5 0 0", "avStart 0 Admin pw 5 1 0"}));
    }

    void devicesConnectFourAtOnceInRequestOrder()
    {
        QList<Device *> devices;
        QSet<QString> uids;
        for (int i = 1; i <= 6; ++i) {
            devices << addDevice(QStringLiteral("UID-%1").arg(i));
            uids << QStringLiteral("UID-%1").arg(i);
        }
        FakeSdk::state().gatedUids = uids;
        QSignalSpy devOk(io, &IoConnect::connectDevSuccessMsg);
        for (Device *d : devices)
            io->connectChannel(d->channel(0));
        const auto connecting = [] {
            QSet<QString> seen;
            for (const QString &call : FakeSdk::calls("connect "))
                seen << call.section(QLatin1Char(' '), 1, 1);
            return seen;
        };
        // The first four wait on their devices at the same time; the others queue.
        QTRY_COMPARE_WITH_TIMEOUT(connecting().size(), 4, Wait);
        QCOMPARE(connecting(), (QSet<QString>{"UID-1", "UID-2", "UID-3", "UID-4"}));
        FakeSdk::release("UID-3");
        QTRY_COMPARE_WITH_TIMEOUT(connecting().size(), 5, Wait);
        QVERIFY(connecting().contains("UID-5"));
        QCOMPARE(devOk.size(), 1);
        QCOMPARE(devOk.at(0).at(0).value<Channel *>(), devices.at(2)->channel(0));
        FakeSdk::unblockAll();
        QTRY_COMPARE_WITH_TIMEOUT(devOk.size(), 6, Wait);
        // Lazy start-up: the SDK was initialised once, on the first connect.
        QCOMPARE(FakeSdk::calls("init").size(), 1);
        QCOMPARE(FakeSdk::calls("avInit"), QStringList{"avInit 4096"});
    }

    // Every device has an executor of its own: while a connect hangs on a
    // dead device, a PTZ command to an open device goes out at once (one
    // lock over every call would hold it until the connect gave up).
    void hangingConnectDoesNotHoldUpAnotherDevice()
    {
        Channel *open = this->open(addDevice("UID-P"));
        QVERIFY(open);
        Device *dead = addDevice("UID-D");
        FakeSdk::state().gatedUids.insert("UID-D");
        io->connectChannel(dead->channel(0));
        QTRY_COMPARE_WITH_TIMEOUT(FakeSdk::calls("connect UID-D").size(), 1, Wait);
        const int before = int(FakeSdk::calls("send ").size());
        io->ptzControl(open, 1, 4, false);
        QTRY_COMPARE_WITH_TIMEOUT(int(FakeSdk::calls("send ").size()), before + 1, 2000);
        QCOMPARE(dead->sessionId(), -1); // still hanging
        FakeSdk::release("UID-D");
    }

    void silentDeviceIsCutByTheWatchdogWhileTheNextConnects()
    {
        Device *silent = addDevice("UID-S");
        Device *next = addDevice("UID-N");
        FakeSdk::state().silentUids.insert("UID-S");
        SignalLog log(io);
        io->connectChannel(silent->channel(0));
        io->connectChannel(next->channel(0));
        // The next device does not wait for the silent one's watchdog.
        QTRY_COMPARE_WITH_TIMEOUT(log.names(), QByteArrayList{"connectDevSuccessMsg"},
                                  IoConnect::ConnectWatchdogMs / 2);
        QTRY_COMPARE_WITH_TIMEOUT(
            log.names(), (QByteArrayList{"connectDevFailMsg", "connectDevSuccessMsg"}), Wait);
        QCOMPARE(
            log.first("connectDevFailMsg").mid(0, 2),
            (QVariantList{QVariant::fromValue(silent->channel(0)), IOTC_ER_FAIL_CONNECT_SEARCH}));
        QCOMPARE(log.first("connectDevSuccessMsg").at(0).value<Channel *>(), next->channel(0));
        QCOMPARE(FakeSdk::calls("connectStop"), QStringList{"connectStop 0"});
        QCOMPARE(silent->sessionId(), -1);
        QCOMPARE(next->sessionId(), 1);
        // The late answer of the cut attempt started nothing further.
        QCOMPARE(FakeSdk::calls("connect ").size(), 2);
    }

    void startVideoSendsStartOnlyAfterPrepare_data()
    {
        QTest::addColumn<int>("prepareResult");
        QTest::addColumn<QByteArray>("outcome");
        QTest::newRow("prepare accepted") << 0 << QByteArray("videoRequestSuccessMsg");
        QTest::newRow("prepare refused")
            << AV_ER_SERV_NO_RESPONSE << QByteArray("videoRequestFailMsg");
    }

    void startVideoSendsStartOnlyAfterPrepare()
    {
        QFETCH(int, prepareResult);
        QFETCH(QByteArray, outcome);
        Channel *ch = open(addDevice("UID-V", 2), 1);
        QVERIFY(ch);
        const int av = ch->avIndex(true);
        FakeSdk::state().sendResults.insert(IOCTRL_STREAM_PREPARE, prepareResult);
        SignalLog log(io);
        const int before = FakeSdk::calls("send ").size();
        io->startVideo(ch);
        QCOMPARE(log.names(), QByteArrayList{"waitingStreamMsg"});
        QVERIFY(ch->waitKeyFrame(true));
        QTRY_COMPARE_WITH_TIMEOUT(log.names(), (QByteArrayList{outcome, "waitingStreamMsg"}), Wait);
        QStringList sends{sendLine(av, 0x00FF, "0000")};
        if (prepareResult == 0)
            sends << sendLine(av, 0x01FF, "0100000000000000");
        QCOMPARE(FakeSdk::calls("send ").mid(before), sends);
        QCOMPARE(ch->videoOn(true), prepareResult == 0);
        QCOMPARE(log.first(outcome).value(1).toInt(), prepareResult); // the failure's code
        // The buffer cleaned is the channel's own.
        QCOMPARE(FakeSdk::calls("cleanBuf"), QStringList{QStringLiteral("cleanBuf %1").arg(av)});
    }

    void qualityChangeRestartsTheStreamAndFollowsTheReply()
    {
        Channel *ch = open(addDevice("UID-Q"));
        QVERIFY(ch);
        const int av = ch->avIndex(true);
        SignalLog log(io);
        QSignalSpy changed(io, &IoConnect::changeQualitySuccessMsg);
        io->changeQuality(ch, true);
        QTRY_COMPARE_WITH_TIMEOUT(log.names().size(), 3, Wait);
        QCOMPARE(log.names(), (QByteArrayList{"videoRequestStopSuccessMsg",
                                              "videoRequestSuccessMsg", "waitingStreamMsg"}));
        QVERIFY(!ch->quality(true));
        const QStringList sends =
            FakeSdk::calls("send ").filter(QRegularExpression(" (0320|02ff|00ff|01ff) "));
        QCOMPARE(sends, (QStringList{sendLine(av, 0x0320, "0000000001000000"),
                                     sendLine(av, 0x02FF, "0000000000000000"),
                                     sendLine(av, 0x00FF, "0000"),
                                     sendLine(av, 0x01FF, "0000000000000000")}));
        // The first answer decides (a refusal changes nothing); the second
        // was not asked for. The version reply marks the end.
        FakeSdk::queueReply(av, IOCTRL_QUALITY_SET_RESP, QByteArray::fromHex("01000000"));
        FakeSdk::queueReply(av, IOCTRL_QUALITY_SET_RESP, QByteArray::fromHex("00000000"));
        FakeSdk::queueReply(av, IOCTRL_VERSION_RESP, QByteArray("V1"));
        QTRY_VERIFY_WITH_TIMEOUT(log.names().contains("getChannelInfoMsg"), Wait);
        QVERIFY(log.names().contains("changeQualityFailMsg"));
        QCOMPARE(changed.size(), 0);
        QVERIFY(!ch->quality(true));
    }

    void deviceReplyDecidesItsSignal_data()
    {
        QTest::addColumn<uint>("type");
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<Ask>("asked");           // null: the device sends it unasked
        QTest::addColumn<QByteArray>("expected"); // empty: no signal
        QTest::addColumn<QString>("text");        // of a failure
        const QString tz = QStringLiteral("设备无法修改时区");
        const QString wifi = QStringLiteral("Failed to configure wireless network");
        const QString seek = QStringLiteral("Playback video data does not exist.");
        const QString busy = QStringLiteral("Does not support simultaneous remote playback.");
        auto row = [](const char *name, uint type, const char *hex, Ask asked, const char *expected,
                      const QString &text = QString()) {
            QTest::newRow(name) << type << QByteArray::fromHex(hex) << asked << QByteArray(expected)
                                << text;
        };
        const uint zoneSet = IOCTRL_TIMEZONE_SET_RESP, wifiSet = IOCTRL_WIFI_SET_RESP;
        const uint seekDone = IOCTRL_PLAYBACK_SEEK_RESP, busyNote = IOCTRL_PLAYBACK_BUSY;
        const Ask zone = ask<ProgressEvent_setTimeZone>, net = ask<ProgressEvent_setWifi>;
        const Ask seekAsked = ask<ProgressEvent_changeReplayTime>;
        const Ask playback = [](IoConnect *, Channel *ch) { ch->setViewRequested(true, false); };
        row("time zone set", zoneSet, "01000000", zone, "setTimeZoneSuccessMsg");
        row("time zone refused", zoneSet, "00000000", zone, "setTimeZoneFailMsg", tz);
        row("time zone reply cut short", zoneSet, "01", zone, "setTimeZoneFailMsg", tz);
        row("time zone unasked", zoneSet, "00000000", nullptr, "");
        row("wifi set", wifiSet, "00000000", net, "setWifiSuccessMsg");
        row("wifi refused", wifiSet, "02000000", net, "setWifiFailMsg", wifi);
        row("wifi reply cut short", wifiSet, "0000", net, "setWifiFailMsg", wifi);
        row("wifi unasked", wifiSet, "02000000", nullptr, "");
        row("seek done", seekDone, "00", seekAsked, "changeReplayTimeSuccessMsg");
        row("seek without data", seekDone, "01", seekAsked, "changeReplayTimeFailMsg", seek);
        row("seek reply empty", seekDone, "", seekAsked, "changeReplayTimeFailMsg", seek);
        row("seek unasked", seekDone, "01", nullptr, "");
        row("playback busy", busyNote, "0000000001", playback, "startReplayFailMsg", busy);
        row("busy without playback", busyNote, "0000000001", nullptr, "");
        row("playback free", busyNote, "0000000000", playback, "");
        row("busy flag missing", busyNote, "00000000", playback, "");
        row("quality unasked", IOCTRL_QUALITY_SET_RESP, "00000000", nullptr, "");
        row("unknown type", 0x7777, "00000000", nullptr, "");
    }

    void deviceReplyDecidesItsSignal()
    {
        QFETCH(uint, type);
        QFETCH(QByteArray, payload);
        QFETCH(Ask, asked);
        QFETCH(QByteArray, expected);
        QFETCH(QString, text);
        Channel *ch = open(addDevice("UID-R"));
        QVERIFY(ch);
        SignalLog log(io);
        if (asked)
            asked(io, ch);
        // Replies are handled in order: the version reply after the one
        // under test marks the end of its handling.
        FakeSdk::queueReply(ch->avIndex(true), type, payload);
        FakeSdk::queueReply(ch->avIndex(true), IOCTRL_VERSION_RESP, QByteArray("V9.8.7"));
        QTRY_VERIFY_WITH_TIMEOUT(log.names().contains("getChannelInfoMsg"), Wait);
        QCOMPARE(ch->versionText(), QStringLiteral("V9.8.7"));
        QByteArrayList emitted = log.names();
        emitted.removeOne("getChannelInfoMsg");
        QCOMPARE(emitted, expected.isEmpty() ? QByteArrayList() : QByteArrayList{expected});
        if (!text.isEmpty())
            QCOMPARE(log.first(expected), (QVariantList{QVariant::fromValue(ch), 0, text}));
    }

    void ioTimeoutFailsARequestThatGetsNoAnswer_data()
    {
        QTest::addColumn<bool>("sendBlocks");
        QTest::addColumn<int>("code");
        QTest::newRow("send never returns") << true << AV_ER_SENDIOCTRL_EXIT;
        QTest::newRow("reply never comes") << false << AV_ER_TIMEOUT;
    }

    void ioTimeoutFailsARequestThatGetsNoAnswer()
    {
        QFETCH(bool, sendBlocks);
        QFETCH(int, code);
        Channel *ch = open(addDevice("UID-IO"));
        QVERIFY(ch);
        io->setIoTimeoutMs(300);
        if (sendBlocks)
            FakeSdk::state().blockingTypes.insert(IOCTRL_TIMEZONE_SET);
        SignalLog log(io);
        io->setTimeZone(ch, "GMT+8");
        QTRY_COMPARE_WITH_TIMEOUT(log.names(), QByteArrayList{"setTimeZoneFailMsg"}, Wait);
        QCOMPARE(log.first("setTimeZoneFailMsg").at(1).toInt(), code);
        QCOMPARE(FakeSdk::calls("sendExit"),
                 QStringList{QStringLiteral("sendExit %1").arg(ch->avIndex(true))});
    }
};

ORVANE_TEST_GUILESS_MAIN(TstIoConnect)
#include "tst_ioconnect.moc"
