// IoConnect against the in-process fake SDK, as devices go away: closing a
// device or a channel, link loss and reconnection, results for a deleted
// device, shutdown with blocked calls, and LAN search.

#include "IoConnectFixture.h"

#include "link/ErrorText.h"

#include "TestMain.h"
#include <QCoreApplication>
#include <QRegularExpression>

// Ends the link of ch's device with code, the way the row names.
using Lose = void (*)(IoConnect *io, Channel *ch, int code);
Q_DECLARE_METATYPE(Lose)

class TstIoConnectLifecycle : public IoConnectFixture
{
    Q_OBJECT

private slots:
    void initTestCase() { FakeSdk::install(); }
    void init() { setUpIo(); }
    void cleanup() { tearDownIo(); }

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

ORVANE_TEST_GUILESS_MAIN(TstIoConnectLifecycle)
#include "tst_ioconnect_lifecycle.moc"
