// IoConnect against the in-process fake SDK: the connect queue, the AV
// channel start, the task results and their signals, the IO time-out, the
// talk sequence, LAN search, stale results and shutdown.

#include "FakeSdk.h"

#include "link/IoConnect.h"
#include "link/ProgressEvents.h"
#include "model/Channel.h"
#include "model/Dev.h"
#include "model/Device.h"

#include <QCoreApplication>
#include <QMetaMethod>
#include <QSignalSpy>
#include <QTest>

namespace {

constexpr int Wait = 15000;

QString hexOf(unsigned type, const QByteArray &payload, int av)
{
    return QStringLiteral("send %1 %2 %3")
        .arg(av)
        .arg(type, 4, 16, QLatin1Char('0'))
        .arg(QString::fromLatin1(payload.toHex()));
}

} // namespace

class TstIoConnect : public QObject
{
    Q_OBJECT

private:
    IoConnect *io = nullptr;
    QList<Device *> devices;

    Device *addDevice(const QString &uid, int channels = 1, const QString &account = QString(),
                      const QString &password = QStringLiteral("pw"))
    {
        auto *d = new Device;
        d->setUid(uid);
        d->setChannelCount(channels);
        d->setViewAccount(account);
        d->setViewPassword(password);
        d = Dev::instance()->addOrUpdate(d);
        devices.append(d);
        return d;
    }

    // Connects the device and opens the live AV channel of channel 0.
    Channel *openChannel(Device *d, int index = 0)
    {
        Channel *ch = d->channel(index);
        QSignalSpy ready(io, &IoConnect::connectChannelSuccessMsg);
        io->connectChannel(ch);
        io->startChannel(ch);
        if (!ready.wait(Wait) && ready.isEmpty())
            return nullptr;
        return ch->avIndex(true) >= 0 ? ch : nullptr;
    }

private slots:
    void init()
    {
        FakeSdk::reset();
        io = new IoConnect;
        io->setSdk(FakeSdk::api());
    }

    void cleanup()
    {
        FakeSdk::unblockAll();
        delete io;
        io = nullptr;
        for (Device *d : std::as_const(devices)) {
            Dev::instance()->removeDevice(d);
            delete d;
        }
        devices.clear();
    }

    void signalsAreDeclaredInOrder()
    {
        const QStringList expected = {"connectDevSuccessMsg",
                                      "connectChannelSuccessMsg",
                                      "videoRequestSuccessMsg",
                                      "videoRequestStopSuccessMsg",
                                      "startLANSearchSuccessMsg",
                                      "requestReplayVideoTimeSuccessMsg",
                                      "startReplaySuccessMsg",
                                      "stopReplaySuccessMsg",
                                      "pauseReplaySuccessMsg",
                                      "changeQualitySuccessMsg",
                                      "audioControlSuccessMsg",
                                      "audioSendControlSuccessMsg",
                                      "waitingStreamMsg",
                                      "ptzSuccessMsg",
                                      "setTimeSuccessMsg",
                                      "setTimeZoneSuccessMsg",
                                      "changeReplayTimeSuccessMsg",
                                      "setWifiSuccessMsg",
                                      "receiveVideoTimeEmptyMsg",
                                      "connectDevFailMsg",
                                      "connectChannelFailMsg",
                                      "videoRequestFailMsg",
                                      "videoRequestStopFailMsg",
                                      "startLANSearchFailMsg",
                                      "requestReplayVideoTimeFailMsg",
                                      "startReplayControlFailMsg",
                                      "startReplayFailMsg",
                                      "stopReplayFailMsg",
                                      "pauseReplayFailMsg",
                                      "changeQualityFailMsg",
                                      "audioControlFailMsg",
                                      "audioSendControlFailMsg",
                                      "setTimeFailMsg",
                                      "setTimeZoneFailMsg",
                                      "changeReplayTimeFailMsg",
                                      "ptzFailMsg",
                                      "setWifiFailMsg",
                                      "receiveVideoTimeMsg",
                                      "getChannelInfoMsg"};
        QStringList actual;
        const QMetaObject &mo = IoConnect::staticMetaObject;
        for (int i = mo.methodOffset(); i < mo.methodCount(); ++i) {
            if (mo.method(i).methodType() == QMetaMethod::Signal)
                actual.append(QString::fromLatin1(mo.method(i).name()));
        }
        QCOMPARE(actual, expected);
    }

    void eventTypesOutsideTheTableGoToQObject()
    {
        // QObject::event hands user events on to customEvent().
        struct Probe : IoConnect
        {
            QList<int> passedOn;
            void customEvent(QEvent *e) override { passedOn.append(int(e->type())); }
        } probe;
        probe.setSdk(FakeSdk::api());
        QEvent decode(QEvent::Type(1018));
        QCoreApplication::sendEvent(&probe, &decode);
        QEvent beyond(QEvent::Type(1030));
        QCoreApplication::sendEvent(&probe, &beyond);
        ProgressEvent_LanSearchStart handled(AV_ER_INVALID_ARG);
        QVERIFY(QCoreApplication::sendEvent(&probe, &handled));
        ProgressEvent_setTime stale(TaskContext{}, 0);
        QVERIFY(QCoreApplication::sendEvent(&probe, &stale));
        QCOMPARE(probe.passedOn, (QList<int>{1018, 1030}));
    }

    void failureResultsEmitTheirSignalWithTheErrorText()
    {
        Device *d = addDevice("UID-F");
        Channel *ch = openChannel(d);
        QVERIFY(ch);
        TaskContext ctx{ChannelRef::of(ch), d->sessionId(), ch->avIndex(true)};
        const int code = AV_ER_TIMEOUT;

        struct Row
        {
            QEvent *event;
            const char *signal;
        };
        const QList<Row> rows = {
            {new ProgressEvent_StopStream(ctx, code, false), "videoRequestStopFailMsg"},
            {new ProgressEvent_StartStream(ctx, code), "videoRequestFailMsg"},
            {new ProgressEvent_playReplay(ctx, code, QByteArray(24, 0), 0),
             "startReplayControlFailMsg"},
            {new ProgressEvent_playReplayIo(ctx, code), "startReplayFailMsg"},
            {new ProgressEvent_stopReplay(ctx, code, false, QDateTime()), "stopReplayFailMsg"},
            {new ProgressEvent_changeQuality(ctx, code, true), "changeQualityFailMsg"},
            {new ProgressEvent_audioControl(ctx, code, true), "audioControlFailMsg"},
            {new ProgressEvent_ptz(ctx, code), "ptzFailMsg"},
            {new ProgressEvent_audioSendControl(ctx, code, true, 3), "audioSendControlFailMsg"},
            {new ProgressEvent_pauseReplay(ctx, code, false), "pauseReplayFailMsg"},
            {new ProgressEvent_stopPauseReplay(ctx, code), "startReplayFailMsg"},
            {new ProgressEvent_setTime(ctx, code), "setTimeFailMsg"},
            {new ProgressEvent_setTimeZone(ctx, code), "setTimeZoneFailMsg"},
            {new ProgressEvent_changeReplayTime(ctx, code), "changeReplayTimeFailMsg"},
            {new ProgressEvent_setWifi(ctx, code), "setWifiFailMsg"},
        };
        for (const Row &row : rows) {
            const QByteArray sig = QByteArray("2") + row.signal + "(Channel*,int,QString)";
            QSignalSpy spy(io, sig.constData());
            QVERIFY2(spy.isValid(), row.signal);
            QVERIFY(QCoreApplication::sendEvent(io, row.event));
            delete row.event;
            QVERIFY2(spy.size() == 1, row.signal);
            QCOMPARE(spy.at(0).at(0).value<Channel *>(), ch);
            QCOMPARE(spy.at(0).at(1).toInt(), code);
            QCOMPARE(spy.at(0).at(2).toString(), QStringLiteral("Timeout has expired"));
        }

        // A failed record-list request still ends with its success signal.
        QSignalSpy fail(io, &IoConnect::requestReplayVideoTimeFailMsg);
        QSignalSpy done(io, &IoConnect::requestReplayVideoTimeSuccessMsg);
        ProgressEvent_getReplayVideoTime ev(ctx, code);
        QCoreApplication::sendEvent(io, &ev);
        QCOMPARE(fail.size(), 1);
        QCOMPARE(done.size(), 1);
    }

    void twoChannelsOfOneDeviceGiveOneSession()
    {
        Device *d = addDevice("UID-A", 2);
        FakeSdk::state().gatedUids.insert("UID-A");
        QSignalSpy devOk(io, &IoConnect::connectDevSuccessMsg);
        QSignalSpy chOk(io, &IoConnect::connectChannelSuccessMsg);
        io->connectChannel(d->channel(0));
        io->startChannel(d->channel(0));
        io->connectChannel(d->channel(1));
        io->startChannel(d->channel(1));
        QTRY_COMPARE_WITH_TIMEOUT(FakeSdk::calls("connect ").size(), 1, Wait);
        FakeSdk::release("UID-A");
        // Both channels get their AV channel, which happens only once the
        // queue is empty.
        QTRY_COMPARE_WITH_TIMEOUT(chOk.size(), 2, Wait);
        QCOMPARE(devOk.size(), 1);
        QCOMPARE(FakeSdk::calls("connect ").size(), 1);
        QCOMPARE(d->sessionId(), 0);
        QVERIFY(d->channel(0)->avIndex(true) >= 0);
        QVERIFY(d->channel(1)->avIndex(true) >= 0);
        // The view account was empty: "Admin" is sent.
        QCOMPARE(FakeSdk::calls("avStart ").first(), QStringLiteral("avStart 0 Admin pw 5 0 0"));
    }

    void devicesConnectOneAfterAnotherInRequestOrder()
    {
        Device *a = addDevice("UID-1");
        Device *b = addDevice("UID-2");
        Device *c = addDevice("UID-3");
        FakeSdk::state().gatedUids = {"UID-1", "UID-2", "UID-3"};
        QSignalSpy devOk(io, &IoConnect::connectDevSuccessMsg);
        io->connectChannel(c->channel(0));
        io->connectChannel(a->channel(0));
        io->connectChannel(b->channel(0));
        QTRY_COMPARE_WITH_TIMEOUT(FakeSdk::calls("connect ").size(), 1, Wait);
        QCOMPARE(FakeSdk::calls("connect "), QStringList{"connect UID-3 0"});
        FakeSdk::release("UID-3");
        QTRY_COMPARE_WITH_TIMEOUT(FakeSdk::calls("connect ").size(), 2, Wait);
        QCOMPARE(FakeSdk::calls("connect ").last(), QStringLiteral("connect UID-1 1"));
        FakeSdk::release("UID-1");
        FakeSdk::release("UID-2");
        QTRY_COMPARE_WITH_TIMEOUT(devOk.size(), 3, Wait);
        QCOMPARE(FakeSdk::calls("connect ").last(), QStringLiteral("connect UID-2 2"));
        QCOMPARE(devOk.at(0).at(0).value<Channel *>(), c->channel(0));
        QCOMPARE(devOk.at(1).at(0).value<Channel *>(), a->channel(0));
        QCOMPARE(devOk.at(2).at(0).value<Channel *>(), b->channel(0));
        // Lazy start-up: the SDK was initialised once, on the first connect.
        QCOMPARE(FakeSdk::calls("init").size(), 1);
        QCOMPARE(FakeSdk::calls("avInit"), QStringList{"avInit 4096"});
    }

    void silentDeviceIsCutByTheWatchdogAndTheNextConnects()
    {
        Device *silent = addDevice("UID-S");
        Device *next = addDevice("UID-N");
        FakeSdk::state().silentUids.insert("UID-S");
        QSignalSpy fail(io, &IoConnect::connectDevFailMsg);
        QSignalSpy ok(io, &IoConnect::connectDevSuccessMsg);
        io->connectChannel(silent->channel(0));
        io->connectChannel(next->channel(0));
        QTRY_COMPARE_WITH_TIMEOUT(ok.size(), 1, Wait);
        QCOMPARE(fail.size(), 1);
        QCOMPARE(fail.at(0).at(0).value<Channel *>(), silent->channel(0));
        QCOMPARE(fail.at(0).at(1).toInt(), IOTC_ER_FAIL_CONNECT_SEARCH);
        QCOMPARE(FakeSdk::calls("connectStop"), QStringList{"connectStop 0"});
        QCOMPARE(ok.at(0).at(0).value<Channel *>(), next->channel(0));
        QCOMPARE(silent->sessionId(), -1);
        QCOMPARE(next->sessionId(), 1);
        // The late answer of the cut attempt started nothing further.
        QCOMPARE(FakeSdk::calls("connect ").size(), 2);
    }

    void wrongPasswordReportsTheAvError()
    {
        Device *d = addDevice("UID-P", 1, "viewer", "bad");
        QSignalSpy fail(io, &IoConnect::connectChannelFailMsg);
        io->connectChannel(d->channel(0));
        io->startChannel(d->channel(0));
        QTRY_COMPARE_WITH_TIMEOUT(fail.size(), 1, Wait);
        QCOMPARE(fail.at(0).at(1).toInt(), -20009);
        QCOMPARE(fail.at(0).at(2).toString(), QStringLiteral("Incorrect view account or password"));
        QCOMPARE(FakeSdk::calls("avStart ").first(), QStringLiteral("avStart 0 viewer bad 5 0 0"));
        QCOMPARE(d->channel(0)->avIndex(true), -1);
    }

    void startVideoSendsPrepareThenStart()
    {
        Device *d = addDevice("UID-V", 2);
        Channel *ch = openChannel(d, 1);
        QVERIFY(ch);
        const int av = ch->avIndex(true);
        QList<QString> order;
        connect(io, &IoConnect::waitingStreamMsg, this,
                [&] { order << QStringLiteral("waiting %1").arg(FakeSdk::calls("send ").size()); });
        QSignalSpy ok(io, &IoConnect::videoRequestSuccessMsg);
        const int before = FakeSdk::calls("send ").size();
        io->startVideo(ch);
        QCOMPARE(order, QStringList{QStringLiteral("waiting %1").arg(before)});
        QVERIFY(ch->waitKeyFrame(true));
        QTRY_COMPARE_WITH_TIMEOUT(ok.size(), 1, Wait);
        QVERIFY(ch->videoOn(true));
        const QStringList sends = FakeSdk::calls("send ").mid(before);
        QCOMPARE(sends, (QStringList{hexOf(0x00FF, QByteArray(2, 0), av),
                                     hexOf(0x01FF, QByteArray::fromHex("0100000000000000"), av)}));
        // The buffer cleaned is the channel's own.
        QVERIFY(FakeSdk::calls("cleanBuf").contains(QStringLiteral("cleanBuf %1").arg(av)));
    }

    void failedPrepareNeverSendsVideoStart()
    {
        Device *d = addDevice("UID-X");
        Channel *ch = openChannel(d);
        QVERIFY(ch);
        FakeSdk::state().sendResults.insert(IOCTRL_STREAM_PREPARE, AV_ER_SERV_NO_RESPONSE);
        QSignalSpy fail(io, &IoConnect::videoRequestFailMsg);
        io->startVideo(ch);
        QTRY_COMPARE_WITH_TIMEOUT(fail.size(), 1, Wait);
        QCOMPARE(fail.at(0).at(1).toInt(), AV_ER_SERV_NO_RESPONSE);
        QVERIFY(FakeSdk::calls("send ").filter(" 01ff ").isEmpty());
        QVERIFY(!ch->videoOn(true));
    }

    void qualityChangeRestartsTheStreamAndFollowsTheReply()
    {
        Device *d = addDevice("UID-Q");
        Channel *ch = openChannel(d);
        QVERIFY(ch);
        const int av = ch->avIndex(true);
        QSignalSpy stopped(io, &IoConnect::videoRequestStopSuccessMsg);
        QSignalSpy started(io, &IoConnect::videoRequestSuccessMsg);
        QSignalSpy changed(io, &IoConnect::changeQualitySuccessMsg);
        io->changeQuality(ch, true);
        QTRY_COMPARE_WITH_TIMEOUT(started.size(), 1, Wait);
        QCOMPARE(stopped.size(), 1);
        QCOMPARE(changed.size(), 0);
        QVERIFY(!ch->quality(true));
        const QStringList sends =
            FakeSdk::calls("send ").filter(QRegularExpression(" (0320|02ff|00ff|01ff) "));
        QCOMPARE(sends.size(), 4);
        QVERIFY(sends[0].contains(" 0320 0000000001000000"));
        QVERIFY(sends[1].contains(" 02ff "));
        QVERIFY(sends[2].contains(" 00ff "));
        QVERIFY(sends[3].contains(" 01ff "));
        // A refusal changes nothing; an acknowledgement stores the quality.
        FakeSdk::queueReply(av, IOCTRL_QUALITY_SET_RESP, QByteArray::fromHex("01000000"));
        FakeSdk::queueReply(av, IOCTRL_QUALITY_SET_RESP, QByteArray::fromHex("00000000"));
        QTRY_COMPARE_WITH_TIMEOUT(changed.size(), 1, Wait);
        QVERIFY(ch->quality(true));
        QCOMPARE(io->quality(), quint8(1));
    }

    void repliesAreInterpretedByType()
    {
        Device *d = addDevice("UID-R");
        Channel *ch = openChannel(d);
        QVERIFY(ch);
        const int av = ch->avIndex(true);
        QSignalSpy tzOk(io, &IoConnect::setTimeZoneSuccessMsg);
        QSignalSpy tzFail(io, &IoConnect::setTimeZoneFailMsg);
        QSignalSpy wifiOk(io, &IoConnect::setWifiSuccessMsg);
        QSignalSpy wifiFail(io, &IoConnect::setWifiFailMsg);
        QSignalSpy info(io, &IoConnect::getChannelInfoMsg);
        QSignalSpy busy(io, &IoConnect::startReplayFailMsg);
        FakeSdk::queueReply(av, IOCTRL_TIMEZONE_SET_RESP, QByteArray::fromHex("00000000"));
        FakeSdk::queueReply(av, IOCTRL_TIMEZONE_SET_RESP, QByteArray::fromHex("01000000"));
        FakeSdk::queueReply(av, IOCTRL_WIFI_SET_RESP, QByteArray::fromHex("00000000"));
        FakeSdk::queueReply(av, IOCTRL_WIFI_SET_RESP, QByteArray::fromHex("0100"));
        FakeSdk::queueReply(av, IOCTRL_VERSION_RESP, QByteArray("V9.8.7"));
        FakeSdk::queueReply(av, IOCTRL_PLAYBACK_BUSY, QByteArray::fromHex("0000000001"));
        FakeSdk::queueReply(av, IOCTRL_PLAYBACK_BUSY, QByteArray::fromHex("00000000"));
        QTRY_COMPARE_WITH_TIMEOUT(busy.size(), 1, Wait);
        QTRY_COMPARE_WITH_TIMEOUT(FakeSdk::state().replies.value(av).size(), 0, Wait);
        QCOMPARE(tzFail.size(), 1);
        QCOMPARE(tzFail.at(0).at(1).toInt(), 0);
        QCOMPARE(tzFail.at(0).at(2).toString(), QStringLiteral("设备无法修改时区"));
        QCOMPARE(tzOk.size(), 1);
        QCOMPARE(wifiOk.size(), 1);
        QCOMPARE(wifiFail.size(), 1); // a short reply is no success
        QCOMPARE(info.size(), 1);
        QCOMPARE(ch->versionText(), QStringLiteral("V9.8.7"));
        QCOMPARE(busy.at(0).at(2).toString(),
                 QStringLiteral("Does not support simultaneous remote playback."));
    }

    void talkOpensAndStoppingVideoClosesIt()
    {
        Device *d = addDevice("UID-T");
        Channel *ch = openChannel(d);
        QVERIFY(ch);
        QList<bool> mic;
        io->setTalkHandler([&](Channel *, bool on) { mic.append(on); });
        QSignalSpy talkOk(io, &IoConnect::audioSendControlSuccessMsg);
        io->audioSendControl(ch, true);
        QTRY_COMPARE_WITH_TIMEOUT(talkOk.size(), 1, Wait);
        QVERIFY(ch->talking());
        QCOMPARE(ch->talkAvIndex(), 50);
        QCOMPARE(ch->talkChannelId(), 3);
        QCOMPARE(mic, QList<bool>{true});
        QCOMPARE(FakeSdk::calls("servStart"), QStringList{"servStart 0 20 16 3 auth=1"});
        QCOMPARE(
            FakeSdk::calls("send ").filter(" 0350 "),
            QStringList{hexOf(0x0350, QByteArray::fromHex("0300000000000000"), ch->avIndex(true))});

        QSignalSpy stopped(io, &IoConnect::videoRequestStopSuccessMsg);
        io->stopVideo(ch, false);
        QTRY_COMPARE_WITH_TIMEOUT(FakeSdk::calls("servStop").size(), 1, Wait);
        QCOMPARE(stopped.size(), 1);
        QCOMPARE(
            FakeSdk::calls("send ").filter(" 0351 "),
            QStringList{hexOf(0x0351, QByteArray::fromHex("0300000000000000"), ch->avIndex(true))});
        QVERIFY(!ch->talking());
        QCOMPARE(ch->talkAvIndex(), -1);
        QCOMPARE(mic.last(), false);
    }

    void ioTimeoutCutsASwallowedRequest()
    {
        Device *d = addDevice("UID-IO");
        Channel *ch = openChannel(d);
        QVERIFY(ch);
        QCOMPARE(io->ioTimeoutMs(), 20000);
        io->setIoTimeoutMs(300);
        FakeSdk::state().blockingTypes.insert(IOCTRL_TIME_SET);
        QSignalSpy fail(io, &IoConnect::setTimeFailMsg);
        io->setTime(ch, QDateTime(QDate(2020, 5, 20), QTime(7, 4, 38)));
        QTRY_COMPARE_WITH_TIMEOUT(fail.size(), 1, Wait);
        QCOMPARE(fail.at(0).at(1).toInt(), AV_ER_SENDIOCTRL_EXIT);
        QCOMPARE(FakeSdk::calls("sendExit"),
                 QStringList{QStringLiteral("sendExit %1").arg(ch->avIndex(true))});
    }

    void closeDeviceReportsEveryChannelStopped()
    {
        Device *d = addDevice("UID-C", 3);
        Channel *ch = openChannel(d);
        QVERIFY(ch);
        QSignalSpy liveStop(io, &IoConnect::videoRequestStopSuccessMsg);
        QSignalSpy replayStop(io, &IoConnect::stopReplaySuccessMsg);
        ch->setViewRequested(true, true);
        io->closeDevice(d);
        QCOMPARE(liveStop.size(), 3);
        QCOMPARE(replayStop.size(), 3);
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(liveStop.at(i).at(0).value<Channel *>(), d->channel(i));
            QCOMPARE(replayStop.at(i).at(0).value<Channel *>(), d->channel(i));
        }
        QCOMPARE(d->sessionId(), -1);
        QCOMPARE(ch->avIndex(true), -1);
        QVERIFY(!ch->viewRequested(true));
        QCOMPARE(FakeSdk::calls("sessionClose"), QStringList{"sessionClose 0"});
    }

    void closeChannelStopsThenClosesTheAvChannel()
    {
        Device *d = addDevice("UID-CC");
        Channel *ch = openChannel(d);
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
        const QStringList tail = all.mid(all.size() - 3);
        QCOMPARE(tail, (QStringList{hexOf(0x02FF, QByteArray(8, 0), av),
                                    QStringLiteral("avStop %1").arg(av), "avExit 0 0"}));
    }

    void resultForADeletedDeviceIsDropped()
    {
        Device *d = addDevice("UID-D");
        Channel *ch = openChannel(d);
        QVERIFY(ch);
        FakeSdk::state().blockingTypes.insert(IOCTRL_WIFI_SET);
        QSignalSpy ok(io, &IoConnect::setWifiSuccessMsg);
        QSignalSpy fail(io, &IoConnect::setWifiFailMsg);
        io->setWifi(ch, "net", "pw");
        QTRY_COMPARE_WITH_TIMEOUT(FakeSdk::calls("send ").filter(" 0342 ").size(), 1, Wait);
        // The device goes away while the task is inside the SDK.
        Dev::instance()->removeDevice(d);
        devices.removeAll(d);
        delete d;
        FakeSdk::unblockAll();
        QTRY_COMPARE_WITH_TIMEOUT(io->activeTasks(), 0, Wait);
        QCoreApplication::processEvents();
        QCOMPARE(ok.size() + fail.size(), 0);
    }

    void connectResultForADeletedDeviceClosesItsSession()
    {
        Device *d = addDevice("UID-G");
        FakeSdk::state().gatedUids.insert("UID-G");
        QSignalSpy ok(io, &IoConnect::connectDevSuccessMsg);
        io->connectChannel(d->channel(0));
        QTRY_COMPARE_WITH_TIMEOUT(FakeSdk::calls("connect ").size(), 1, Wait);
        Dev::instance()->removeDevice(d);
        devices.removeAll(d);
        delete d;
        FakeSdk::release("UID-G");
        QTRY_COMPARE_WITH_TIMEOUT(FakeSdk::calls("sessionClose"), QStringList{"sessionClose 0"},
                                  Wait);
        QCOMPARE(ok.size(), 0);
    }

    void shutdownCutsABlockedTask()
    {
        Device *d = addDevice("UID-SD");
        Channel *ch = openChannel(d);
        QVERIFY(ch);
        FakeSdk::state().blockingTypes.insert(IOCTRL_TIMEZONE_SET);
        io->setTimeZone(ch, "GMT+8");
        QTRY_COMPARE_WITH_TIMEOUT(FakeSdk::calls("send ").filter(" 332e ").size(), 1, Wait);
        QVERIFY(io->shutdown(Wait));
        QCOMPARE(io->activeTasks(), 0);
        QCOMPARE(d->sessionId(), -1);
        // Nothing new starts after shutdown.
        io->connectChannel(ch);
        io->startLanSearch();
        QCOMPARE(io->activeTasks(), 0);
    }

    void shutdownWaitIsBoundedWhenACallNeverReturns()
    {
        Device *d = addDevice("UID-SB");
        Channel *ch = openChannel(d);
        QVERIFY(ch);
        FakeSdk::state().blockingTypes.insert(IOCTRL_TIMEZONE_SET);
        FakeSdk::state().blockForever = true;
        io->setTimeZone(ch, "GMT+8");
        QTRY_COMPARE_WITH_TIMEOUT(FakeSdk::calls("send ").filter(" 332e ").size(), 1, Wait);
        QVERIFY(!io->shutdown(200));
        QCOMPARE(io->activeTasks(), 1);
        FakeSdk::unblockAll();
        QTRY_COMPARE_WITH_TIMEOUT(io->activeTasks(), 0, Wait);
    }

    void lanSearchListsAndReplacesResults()
    {
        auto entry = [](const QByteArray &uid, quint16 port) {
            QByteArray e(P2P_SEARCH_ENTRY_SIZE, '\0');
            e.replace(0, uid.size(), uid);
            e.replace(P2P_SEARCH_IP_OFFSET, 9, "127.0.0.1");
            e[P2P_SEARCH_PORT_OFFSET] = char(port & 0xFF);
            e[P2P_SEARCH_PORT_OFFSET + 1] = char(port >> 8);
            return e;
        };
        // First answer: not initialised; the SDK is started and the search retried.
        FakeSdk::state().searchEntries = {entry("UID-L1", 1000), entry("UID-L2", 0)};
        QSignalSpy ok(io, &IoConnect::startLANSearchSuccessMsg);
        QSignalSpy fail(io, &IoConnect::startLANSearchFailMsg);
        io->startLanSearch();
        QTRY_COMPARE_WITH_TIMEOUT(fail.size() + ok.size(), 1, Wait);
        QCOMPARE(fail.size(), 0);
        QCOMPARE(FakeSdk::calls("init").size(), 1);
        QCOMPARE(FakeSdk::calls("searchStart").size(), 2);
        QCOMPARE(io->lanResults().size(), 2);
        QCOMPARE(io->lanResults().at(1).uid, QStringLiteral("UID-L2"));
        QCOMPARE(io->lanResults().at(1).port, QStringLiteral("0"));
        QCOMPARE(FakeSdk::calls("searchStart").first(), QStringLiteral("searchStart 5000 1000"));
        QCOMPARE(FakeSdk::calls("searchResult").first(), QStringLiteral("searchResult 256 1"));

        FakeSdk::state().searchEntries = {entry("UID-L3", 7)};
        io->startLanSearch();
        QTRY_COMPARE_WITH_TIMEOUT(ok.size(), 2, Wait);
        QCOMPARE(io->lanResults().size(), 1);
        QCOMPARE(io->lanResults().at(0).uid, QStringLiteral("UID-L3"));

        // A failure keeps the previous results.
        FakeSdk::state().searchStartResult = IOTC_ER_FAIL_CREATE_SOCKET;
        io->startLanSearch();
        QTRY_COMPARE_WITH_TIMEOUT(fail.size(), 1, Wait);
        QCOMPARE(fail.at(0).at(0).toInt(), IOTC_ER_FAIL_CREATE_SOCKET);
        QCOMPARE(io->lanResults().size(), 1);
    }
};

QTEST_GUILESS_MAIN(TstIoConnect)
#include "tst_ioconnect.moc"
