// IoConnect against the in-process fake SDK: the connect queue, task results
// and their signals, device replies, the IO time-out, talk, closing, stale
// results, link loss and reconnection, shutdown and LAN search.

#include "FakeSdk.h"
#include "LinkFixture.h"

#include "link/ErrorText.h"
#include "link/ProgressEvents.h"

#include "TestMain.h"
#include <QCoreApplication>
#include <QMetaMethod>
#include <QRegularExpression>

#include <map>
#include <memory>

namespace {

using MakeEvent = QEvent *(*)(const TaskContext &ctx, int result);

// A task result event with value-initialised further arguments.
template <typename Event, typename... More> QEvent *make(const TaskContext &ctx, int result)
{
    return new Event(ctx, result, More{}...);
}

// Asks for a device reply the way a request does, by its successful result.
using Ask = void (*)(IoConnect *io, Channel *ch);
template <typename Event> void ask(IoConnect *io, Channel *ch)
{
    Event e(TaskContext::of(ch, true), 0);
    QCoreApplication::sendEvent(io, &e);
}

// Ends the link of ch's device with code, the way the row names.
using Lose = void (*)(IoConnect *io, Channel *ch, int code);

QString sendLine(int av, unsigned type, const char *hex)
{
    return QStringLiteral("send %1 %2 %3").arg(av).arg(type, 4, 16, QLatin1Char('0')).arg(hex);
}

// Records every signal IoConnect emits from its creation on.
class SignalLog
{
public:
    explicit SignalLog(IoConnect *io)
    {
        const QMetaObject &mo = IoConnect::staticMetaObject;
        for (int i = mo.methodOffset(); i < mo.methodCount(); ++i) {
            if (mo.method(i).methodType() == QMetaMethod::Signal)
                m_spies[mo.method(i).name()] = std::make_unique<QSignalSpy>(io, mo.method(i));
        }
    }
    // The names of the signals emitted, one per emission, sorted.
    QByteArrayList names() const
    {
        QByteArrayList out;
        for (const auto &[name, spy] : m_spies)
            out << QByteArrayList(spy->size(), name);
        return out;
    }
    QVariantList first(const QByteArray &name) const { return m_spies.at(name)->value(0); }

private:
    std::map<QByteArray, std::unique_ptr<QSignalSpy>> m_spies;
};

} // namespace

Q_DECLARE_METATYPE(MakeEvent)
Q_DECLARE_METATYPE(Ask)
Q_DECLARE_METATYPE(Lose)

class TstIoConnect : public LinkFixture
{
    Q_OBJECT

private slots:
    void initTestCase() { FakeSdk::install(); }

    void init()
    {
        FakeSdk::reset();
        io = new IoConnect;
    }

    void cleanup()
    {
        FakeSdk::unblockAll();
        tearDownLink();
    }

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

    void devicesConnectOneAfterAnotherInRequestOrder()
    {
        Device *a = addDevice("UID-1");
        Device *b = addDevice("UID-2");
        Device *c = addDevice("UID-3");
        FakeSdk::state().gatedUids = {"UID-1", "UID-2", "UID-3"};
        QSignalSpy devOk(io, &IoConnect::connectDevSuccessMsg);
        for (Device *d : {c, a, b})
            io->connectChannel(d->channel(0));
        QTRY_COMPARE_WITH_TIMEOUT(FakeSdk::calls("connect ").size(), 1, Wait);
        QCOMPARE(FakeSdk::calls("connect "), QStringList{"connect UID-3 0"});
        FakeSdk::release("UID-3");
        QTRY_COMPARE_WITH_TIMEOUT(FakeSdk::calls("connect ").size(), 2, Wait);
        QCOMPARE(FakeSdk::calls("connect ").last(), QStringLiteral("connect UID-1 1"));
        FakeSdk::unblockAll(); // UID-1, then UID-2
        QTRY_COMPARE_WITH_TIMEOUT(devOk.size(), 3, Wait);
        QCOMPARE(FakeSdk::calls("connect ").last(), QStringLiteral("connect UID-2 2"));
        QCOMPARE(devOk.at(0).at(0).value<Channel *>(), c->channel(0));
        QCOMPARE(devOk.at(1).at(0).value<Channel *>(), a->channel(0));
        QCOMPARE(devOk.at(2).at(0).value<Channel *>(), b->channel(0));
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

    void silentDeviceIsCutByTheWatchdogAndTheNextConnects()
    {
        Device *silent = addDevice("UID-S");
        Device *next = addDevice("UID-N");
        FakeSdk::state().silentUids.insert("UID-S");
        SignalLog log(io);
        io->connectChannel(silent->channel(0));
        io->connectChannel(next->channel(0));
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

    void closeDeviceReportsEveryChannelStopped()
    {
        Device *d = addDevice("UID-C", 3);
        Channel *ch = open(d);
        QVERIFY(ch);
        SignalLog log(io);
        ch->setViewRequested(true, true);
        io->closeDevice(d);
        QCOMPARE(log.names(), QByteArrayList(3, "stopReplaySuccessMsg") +
                                  QByteArrayList(3, "videoRequestStopSuccessMsg"));
        QCOMPARE(log.first("stopReplaySuccessMsg").at(0).value<Channel *>(), d->channel(0));
        QCOMPARE(d->sessionId(), -1);
        QCOMPARE(ch->avIndex(true), -1);
        QVERIFY(!ch->viewRequested(true));
        QCOMPARE(FakeSdk::calls("sessionClose"), QStringList{"sessionClose 0"});
    }

    void closeChannelStopsThenClosesTheAvChannel()
    {
        Channel *ch = open(addDevice("UID-CC"));
        QVERIFY(ch);
        const int av = ch->avIndex(true);
        QSignalSpy on(io, &IoConnect::videoRequestSuccessMsg);
        io->startVideo(ch);
        QTRY_COMPARE_WITH_TIMEOUT(on.size(), 1, Wait);
        QSignalSpy stopped(io, &IoConnect::videoRequestStopSuccessMsg);
        io->closeChannel(ch);
        QCOMPARE(stopped.size(), 1);
        QVERIFY(!ch->videoOn(true));
        QCOMPARE(ch->avIndex(true), -1);
        QTRY_COMPARE_WITH_TIMEOUT(FakeSdk::calls("avExit").size(), 1, Wait);
        const QStringList all =
            FakeSdk::calls().filter(QRegularExpression("^(send|avStop|avExit)"));
        QCOMPARE(all.mid(all.size() - 3),
                 (QStringList{sendLine(av, 0x02FF, "0000000000000000"),
                              QStringLiteral("avStop %1").arg(av), "avExit 0 0"}));
    }

    void lostDeviceGoesOfflineOnceAndRetriesWithGrowingWaits_data()
    {
        QTest::addColumn<Lose>("lose");
        QTest::addColumn<int>("code");
        auto row = [](const char *name, int code, Lose f) { QTest::newRow(name) << f << code; };
        row("reply poll", AV_ER_SESSION_CLOSE_BY_REMOTE, [](IoConnect *, Channel *ch, int code) {
            FakeSdk::queueReplyFailure(ch->avIndex(true), code);
        });
        row("send", AV_ER_REMOTE_TIMEOUT_DISCONNECT, [](IoConnect *io, Channel *ch, int code) {
            FakeSdk::state().sendResults.insert(IOCTRL_TIMEZONE_SET, code);
            io->setTimeZone(ch, "GMT");
        });
        row("AV start of channel 2", AV_ER_INVALID_SID, [](IoConnect *io, Channel *ch, int code) {
            FakeSdk::state().avStartResults.insert(1, code);
            io->startChannel(ch->device()->channel(1));
        });
        row("media, twice", AV_ER_NOT_INITIALIZED, [](IoConnect *io, Channel *ch, int code) {
            io->reportLinkLost(ch->device(), code);
            io->reportLinkLost(ch->device(), code);
        });
    }

    void lostDeviceGoesOfflineOnceAndRetriesWithGrowingWaits()
    {
        QFETCH(Lose, lose);
        QFETCH(int, code);
        Device *d = addDevice("UID-L", 2);
        Channel *ch = open(d);
        QVERIFY(ch);
        ch->setViewRequested(true, true);
        ch->setVideoOn(true, true);
        ch->setAudioOn(true, true);
        int resets = 0;
        QList<Device *> lost;
        io->setStreamResetHandler([&](Channel *, bool, bool) { ++resets; });
        io->setLinkLostHandler([&](Device *x) { lost << x; });
        const int unit = 600000; // no wait ends by itself here
        io->setReconnectUnitMs(unit);
        FakeSdk::state().refusedUids.insert("UID-L");
        QSignalSpy offline(io, &IoConnect::deviceOfflineMsg);
        QSignalSpy online(io, &IoConnect::deviceOnlineMsg);
        QSignalSpy ready(io, &IoConnect::connectChannelSuccessMsg);
        QSignalSpy devFailed(io, &IoConnect::connectDevFailMsg);
        lose(io, ch, code);
        QTRY_COMPARE_WITH_TIMEOUT(offline.size(), 1, Wait);
        QCOMPARE(offline.at(0), (QVariantList{QVariant::fromValue(d), code, errorText(code)}));
        QCOMPARE(d->linkState(), Device::LinkState::Offline);
        QCOMPARE(d->sessionId(), -1);
        QCOMPARE(ch->avIndex(true), -1);
        QVERIFY(ch->viewRequested(true) && !ch->videoOn(true) && !ch->audioOn(true));
        QCOMPARE(lost, QList<Device *>{d}); // the pictures stay: no stream reset
        QCOMPARE(resets, 0);
        QCOMPARE(FakeSdk::calls("sessionClose"), QStringList{"sessionClose 0"});
        // Every failed attempt waits longer; reconnectNow cuts a wait short.
        QList<int> waits;
        for (int connects = 1; waits.size() < 7; ++connects) {
            QTRY_VERIFY_WITH_TIMEOUT(
                FakeSdk::calls("connect ").size() == connects && io->reconnectDelayMs(d) > 0, Wait);
            waits << io->reconnectDelayMs(d) / unit;
            io->reconnectNow(d);
        }
        QCOMPARE(waits, (QList<int>{1, 2, 4, 8, 16, 30, 30}));
        // Double-clicking the offline channel connects it again.
        QTRY_COMPARE_WITH_TIMEOUT(io->reconnectDelayMs(d), unit * 30, Wait);
        FakeSdk::state().refusedUids.clear();
        io->connectChannel(ch);
        io->startChannel(ch);
        QTRY_COMPARE_WITH_TIMEOUT(ready.size(), 1, Wait);
        QCOMPARE(online.size(), 1);
        QCOMPARE(offline.size() + devFailed.size(), 1);
        QCOMPARE(d->linkState(), Device::LinkState::Online);
        QVERIFY(d->sessionId() > 0 && ch->avIndex(true) >= 0);
        QCOMPARE(io->reconnectDelayMs(d), -1);
    }

    void reconnectAttemptsStop_data()
    {
        QTest::addColumn<Ask>("stop");
        QTest::addColumn<int>("state");
        QTest::newRow("nothing requested any more")
            << Ask([](IoConnect *, Channel *ch) { ch->setViewRequested(false, true); })
            << int(Device::LinkState::Offline);
        QTest::newRow("device closed")
            << Ask([](IoConnect *io, Channel *ch) { io->closeDevice(ch->device()); })
            << int(Device::LinkState::Idle);
        QTest::newRow("device removed")
            << Ask([](IoConnect *, Channel *ch) { Dev::instance()->removeDevice(ch->device()); })
            << int(Device::LinkState::Offline);
    }

    void reconnectAttemptsStop()
    {
        QFETCH(Ask, stop);
        QFETCH(int, state);
        Device *d = addDevice("UID-X");
        Channel *ch = open(d);
        QVERIFY(ch);
        ch->setViewRequested(true, true);
        io->setReconnectUnitMs(20);
        FakeSdk::state().refusedUids.insert("UID-X");
        io->reportLinkLost(d, AV_ER_REMOTE_TIMEOUT_DISCONNECT);
        QTRY_VERIFY_WITH_TIMEOUT(FakeSdk::calls("connect ").size() >= 3, Wait); // by itself
        stop(io, ch);
        QTRY_COMPARE_WITH_TIMEOUT(io->reconnectDelayMs(d), -1, Wait);
        QTRY_COMPARE_WITH_TIMEOUT(io->activeTasks(), 0, Wait);
        QCoreApplication::processEvents(); // the answer of an attempt that was running
        QCOMPARE(io->reconnectDelayMs(d), -1);
        QCOMPARE(int(d->linkState()), state);
    }

    void resultsForADeletedDeviceTouchNothing()
    {
        // A connect answer: the session made is closed again.
        Device *gated = addDevice("UID-G");
        FakeSdk::state().gatedUids.insert("UID-G");
        SignalLog log(io);
        io->connectChannel(gated->channel(0));
        QTRY_COMPARE_WITH_TIMEOUT(FakeSdk::calls("connect ").size(), 1, Wait);
        deleteDevice(gated);
        FakeSdk::release("UID-G");
        QTRY_COMPARE_WITH_TIMEOUT(FakeSdk::calls("sessionClose"), QStringList{"sessionClose 0"},
                                  Wait);
        // An IO control result: dropped.
        Device *d = addDevice("UID-D");
        Channel *ch = open(d);
        QVERIFY(ch);
        FakeSdk::state().blockingTypes.insert(IOCTRL_WIFI_SET);
        io->setWifi(ch, "net", "pw");
        QTRY_COMPARE_WITH_TIMEOUT(FakeSdk::calls("send ").filter(" 0342 ").size(), 1, Wait);
        deleteDevice(d); // while the task is inside the SDK
        FakeSdk::unblockAll();
        QTRY_COMPARE_WITH_TIMEOUT(io->activeTasks(), 0, Wait);
        QCoreApplication::processEvents();
        QCOMPARE(log.names(), (QByteArrayList{"connectChannelSuccessMsg", "connectDevSuccessMsg"}));
    }

    void shutdownCutsBlockedTasksAndWaitsBoundedly_data()
    {
        QTest::addColumn<bool>("callNeverReturns");
        QTest::newRow("blocked call returns on close") << false;
        QTest::newRow("blocked call never returns") << true;
    }

    void shutdownCutsBlockedTasksAndWaitsBoundedly()
    {
        QFETCH(bool, callNeverReturns);
        Device *d = addDevice("UID-SD");
        Channel *ch = open(d);
        QVERIFY(ch);
        FakeSdk::state().blockingTypes.insert(IOCTRL_TIMEZONE_SET);
        FakeSdk::state().blockForever = callNeverReturns;
        io->setTimeZone(ch, "GMT+8");
        QTRY_COMPARE_WITH_TIMEOUT(FakeSdk::calls("send ").filter(" 332e ").size(), 1, Wait);
        QCOMPARE(io->shutdown(callNeverReturns ? 200 : Wait), !callNeverReturns);
        QCOMPARE(io->activeTasks(), callNeverReturns ? 1 : 0);
        QCOMPARE(d->sessionId(), -1);
        FakeSdk::unblockAll();
        QTRY_COMPARE_WITH_TIMEOUT(io->activeTasks(), 0, Wait);
        // Nothing new starts after shutdown.
        io->connectChannel(ch);
        io->startLanSearch();
        QCOMPARE(io->activeTasks(), 0);
    }

    void lanSearchStartsTheSdkOnceAndKeepsResultsOnFailure()
    {
        QByteArray entry(P2P_SEARCH_ENTRY_SIZE, '\0');
        entry.replace(P2P_SEARCH_UID_OFFSET, 6, "UID-L1");
        entry[P2P_SEARCH_PORT_OFFSET] = char(0xe8); // 1000
        entry[P2P_SEARCH_PORT_OFFSET + 1] = char(0x03);
        FakeSdk::state().searchEntries = {entry};
        SignalLog log(io);
        // The first start finds the SDK not initialised: it is started and
        // the search tried again.
        io->startLanSearch();
        QTRY_COMPARE_WITH_TIMEOUT(log.names(), QByteArrayList{"startLANSearchSuccessMsg"}, Wait);
        QCOMPARE(FakeSdk::calls("init").size(), 1);
        QCOMPARE(FakeSdk::calls("searchStart"), QStringList(2, "searchStart 5000 1000"));
        QCOMPARE(FakeSdk::calls("searchResult"), QStringList{"searchResult 256 1"});
        QCOMPARE(io->lanResults().size(), 1);
        QCOMPARE(io->lanResults().at(0).port, QStringLiteral("1000"));

        FakeSdk::state().searchStartResult = IOTC_ER_FAIL_CREATE_SOCKET;
        io->startLanSearch();
        QTRY_COMPARE_WITH_TIMEOUT(log.names().size(), 2, Wait);
        QCOMPARE(log.first("startLANSearchFailMsg").at(0).toInt(), IOTC_ER_FAIL_CREATE_SOCKET);
        QCOMPARE(io->lanResults().size(), 1);
    }
};

ORVANE_TEST_GUILESS_MAIN(TstIoConnect)
#include "tst_ioconnect.moc"
