// Sessions, AV channel logins, IO control and failure handling of the P2P
// library against an in-process DeviceServer on loopback.

#include "TestDevice.h"

#include <asio.hpp>

#include <QtTest>

#include <random>

class TestP2pLink : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void ioControlRoundTripOverPeerList();
    void wrongAccountOrPasswordIsRefused();
    void unknownUidFailsWithinConnectTimeout();
    void connectStopReleasesBlockedConnect();
    void ioExitAndSessionCloseReleaseBlockedReceive();
    void vanishedDeviceIsNoticed_data();
    void vanishedDeviceIsNoticed();
    void refusingDeviceFailsTheConnect();
    void garbageToDevicePortLeavesOtherSessionsWorking();
    void garbageToClientEndsOnlyThatSession();
    void deInitializeReleasesBlockedCalls();
};

static std::vector<std::uint8_t> ioRoundTrip(int av, std::uint32_t type,
                                             const std::vector<std::uint8_t> &payload,
                                             unsigned *replyType)
{
    if (avSendIOCtrl(av, type, reinterpret_cast<const char *>(payload.data()),
                     static_cast<int>(payload.size())) < 0)
        return {};
    char buf[1024];
    const int n = avRecvIOCtrl(av, replyType, buf, sizeof(buf), 10000);
    if (n < 0)
        return {};
    return std::vector<std::uint8_t>(buf, buf + n);
}

void TestP2pLink::initTestCase()
{
    // Before start-up every call reports that the library is not initialised.
    QCOMPARE(IOTC_Get_SessionID(), IOTC_ER_NOT_INITIALIZED);
    QCOMPARE(IOTC_Search_Device_Start(1000, 100), IOTC_ER_NOT_INITIALIZED);
    QCOMPARE(openAv(0), AV_ER_NOT_INITIALIZED);

    useRandomDiscoveryPort();
    qunsetenv(P2P_ENV_CONNECT_TIMEOUT);
    QCOMPARE(IOTC_Initialize2(0), 0);
    QCOMPARE(IOTC_Initialize2(0), 0); // harmless when repeated
    QVERIFY(avInitialize(4096) >= 0);
}

void TestP2pLink::cleanupTestCase()
{
    avDeInitialize();
    IOTC_DeInitialize();
}

void TestP2pLink::ioControlRoundTripOverPeerList()
{
    TestDevice dev("LINKIO0001", "pw", false);
    QVERIFY(dev.start());
    setPeers("OTHER@127.0.0.1:1;" + dev.peerEntry());
    const int sid = connectTo(dev.uid());
    QVERIFY2(sid >= 0, qPrintable(QString::number(sid)));
    QTRY_COMPARE_WITH_TIMEOUT(dev.count(dev.sessionsOpened), std::size_t(1), 10000);

    const int av = openAv(sid, 2);
    QVERIFY2(av >= 0, qPrintable(QString::number(av)));
    QTRY_COMPARE_WITH_TIMEOUT(dev.count(dev.channelsOpened), std::size_t(1), 10000);
    QCOMPARE(dev.snapshot(dev.channelsOpened)[0].second, 2);
    QCOMPARE(openAv(sid, 2), AV_ER_IOTC_CHANNEL_IN_USED);

    // Nothing pending: time-out 0 answers at once.
    unsigned type = 0;
    char buf[1024];
    QVERIFY(avRecvIOCtrl(av, &type, buf, sizeof(buf), 0) < 0);

    const std::vector<std::uint8_t> payload = {1, 0, 0, 0, 0xfe, 0xff, 0, 9};
    QCOMPARE(ioRoundTrip(av, 0x01ff, payload, &type), payload);
    QCOMPARE(type, 0x0200u);
    const auto got = dev.snapshot(dev.ioReceived);
    QCOMPARE(got.size(), std::size_t(1));
    QCOMPARE(got[0].channel, 2);
    QCOMPARE(got[0].type, 0x01ffu);

    // A reply larger than the buffer is reported and dropped.
    std::vector<std::uint8_t> large(600, 0x55);
    QVERIFY(avSendIOCtrl(av, 0x300, reinterpret_cast<const char *>(large.data()), 600) >= 0);
    QCOMPARE(avRecvIOCtrl(av, &type, buf, 100, 10000), AV_ER_BUFPARA_MAXSIZE_INSUFF);
    QVERIFY(avRecvIOCtrl(av, &type, buf, sizeof(buf), 0) < 0);
    QCOMPARE(avSendIOCtrl(av, 1, buf, P2P_MAX_IOCTRL_SIZE + 1), AV_ER_EXCEED_MAX_SIZE);

    QCOMPARE(avClientStop(av), 0);
    QTRY_COMPARE_WITH_TIMEOUT(dev.count(dev.channelsClosed), std::size_t(1), 10000);
    QVERIFY(avSendIOCtrl(av, 1, buf, 1) < 0);
    QCOMPARE(IOTC_Session_Close(sid), 0);
    QTRY_COMPARE_WITH_TIMEOUT(dev.count(dev.sessionsClosed), std::size_t(1), 10000);
    QCOMPARE(IOTC_Session_Close(sid), IOTC_ER_INVALID_SID);
}

void TestP2pLink::wrongAccountOrPasswordIsRefused()
{
    TestDevice dev("LINKAUTH01", "right-password", false);
    QVERIFY(dev.start());
    setPeers(dev.peerEntry());
    const int sid = connectTo(dev.uid());
    QVERIFY(sid >= 0);
    QCOMPARE(openAv(sid, 0, "wrong"), AV_ER_WRONG_VIEWACCorPWD);
    QCOMPARE(openAv(sid, 0, "right-password", "guest"), AV_ER_WRONG_VIEWACCorPWD);
    QCOMPARE(openAv(sid, 0, ""), AV_ER_WRONG_VIEWACCorPWD);
    QCOMPARE(dev.count(dev.channelsOpened), std::size_t(0));
    const int av = openAv(sid, 0, "right-password");
    QVERIFY(av >= 0);
    avClientStop(av);
    IOTC_Session_Close(sid);
}

void TestP2pLink::unknownUidFailsWithinConnectTimeout()
{
    setPeers("");
    qputenv(P2P_ENV_CONNECT_TIMEOUT, "1500");
    QElapsedTimer t;
    t.start();
    const int sid = IOTC_Get_SessionID();
    QVERIFY(sid >= 0);
    QCOMPARE(IOTC_Connect_ByUID_Parallel("NOSUCHDEVICE", sid), IOTC_ER_CAN_NOT_FIND_DEVICE);
    QVERIFY(t.elapsed() < 30000);
    qunsetenv(P2P_ENV_CONNECT_TIMEOUT);
    // A failed connect gives its session id back.
    QCOMPARE(IOTC_Session_Close(sid), IOTC_ER_INVALID_SID);

    QCOMPARE(IOTC_Connect_ByUID_Parallel("X", 12345), IOTC_ER_INVALID_SID);
    QCOMPARE(IOTC_Connect_ByUID_Parallel("UID WITH SPACE", IOTC_Get_SessionID()),
             IOTC_ER_INVALID_ARG);
}

void TestP2pLink::connectStopReleasesBlockedConnect()
{
    qputenv(P2P_ENV_CONNECT_TIMEOUT, "120000");
    // A device that accepts the connection but never answers its handshake.
    TestDevice silent("LINKSILENT", "pw", false);
    QVERIFY(silent.start());
    p2p::DeviceFaults f;
    f.silentHandshake = true;
    silent.server().setFaults(f);
    setPeers(silent.peerEntry());

    for (const std::string &uid : {silent.uid(), std::string("NOTTHERE01")}) {
        const int sid = IOTC_Get_SessionID();
        QVERIFY(sid >= 0);
        auto connect = runAsync([&] { return IOTC_Connect_ByUID_Parallel(uid.c_str(), sid); });
        QTest::qWait(300); // either order must work; this lets it block first
        QCOMPARE(IOTC_Connect_Stop_BySID(sid), 0);
        QVERIFY(finishesWithin(connect, 20));
        QCOMPARE(connect.get(), IOTC_ER_FAIL_CONNECT_SEARCH);
    }

    // Stopped before the connect call starts: the connect gives up at once.
    const int sid = IOTC_Get_SessionID();
    QCOMPARE(IOTC_Connect_Stop_BySID(sid), 0);
    auto connect = runAsync([&] { return IOTC_Connect_ByUID_Parallel("LINKSILENT", sid); });
    QVERIFY(finishesWithin(connect, 20));
    QCOMPARE(connect.get(), IOTC_ER_FAIL_CONNECT_SEARCH);
    qunsetenv(P2P_ENV_CONNECT_TIMEOUT);
}

void TestP2pLink::ioExitAndSessionCloseReleaseBlockedReceive()
{
    TestDevice dev("LINKEXIT01", "pw", false);
    QVERIFY(dev.start());
    setPeers(dev.peerEntry());
    const int sid = connectTo(dev.uid());
    QVERIFY(sid >= 0);
    const int av = openAv(sid);
    QVERIFY(av >= 0);

    auto recv = [av] {
        unsigned type = 0;
        char buf[1024];
        return avRecvIOCtrl(av, &type, buf, sizeof(buf), 120000);
    };
    auto blocked = runAsync(recv);
    QTest::qWait(200);
    QCOMPARE(avSendIOCtrlExit(av), 0);
    QVERIFY(finishesWithin(blocked, 10));
    QCOMPARE(blocked.get(), AV_ER_SENDIOCTRL_EXIT);

    // The exit ends the calls waiting then, not the channel.
    unsigned type = 0;
    const std::vector<std::uint8_t> p = {7};
    QCOMPARE(ioRoundTrip(av, 0x10, p, &type), p);

    blocked = runAsync(recv);
    QTest::qWait(200);
    QCOMPARE(IOTC_Session_Close(sid), 0);
    QVERIFY(finishesWithin(blocked, 10));
    QVERIFY(blocked.get() < 0);
}

void TestP2pLink::vanishedDeviceIsNoticed_data()
{
    QTest::addColumn<bool>("silent");
    QTest::addColumn<int>("avCode");
    QTest::addColumn<int>("sessionCode");
    QTest::addColumn<int>("limitSec");
    // Sockets closed without a goodbye: noticed at once.
    QTest::newRow("closed") << false << AV_ER_SESSION_CLOSE_BY_REMOTE
                            << IOTC_ER_SESSION_CLOSE_BY_REMOTE << 10;
    // The device falls silent but keeps the socket open: the keep-alive notices.
    QTest::newRow("silent") << true << AV_ER_REMOTE_TIMEOUT_DISCONNECT
                            << IOTC_ER_REMOTE_TIMEOUT_DISCONNECT << 30;
}

void TestP2pLink::vanishedDeviceIsNoticed()
{
    QFETCH(bool, silent);
    QFETCH(int, avCode);
    QFETCH(int, sessionCode);
    QFETCH(int, limitSec);
    TestDevice dev(silent ? "LINKMUTE01" : "LINKGONE01", "pw", false);
    QVERIFY(dev.start());
    setPeers(dev.peerEntry());
    const int sid = connectTo(dev.uid());
    QVERIFY(sid >= 0);
    const int av = openAv(sid);
    QVERIFY(av >= 0);
    auto blocked = runAsync([av] {
        unsigned type = 0;
        char buf[1024];
        return avRecvIOCtrl(av, &type, buf, sizeof(buf), 120000);
    });
    if (silent) {
        p2p::DeviceFaults f;
        f.frozen = true;
        dev.server().setFaults(f);
    } else {
        dev.server().abort();
    }
    QVERIFY(finishesWithin(blocked, limitSec));
    QCOMPARE(blocked.get(), avCode);
    char buf[16] = {};
    int actual = 0, expected = 0, infoSize = 0;
    unsigned number = 0;
    QCOMPARE(
        avRecvFrameData2(av, buf, sizeof(buf), &actual, &expected, buf, 16, &infoSize, &number),
        avCode);
    QCOMPARE(avSendIOCtrl(av, 1, buf, 4), avCode);
    QCOMPARE(IOTC_Session_Get_Free_Channel(sid), sessionCode);
    QCOMPARE(avClientStop(av), 0);
    QCOMPARE(IOTC_Session_Close(sid), 0);
}

void TestP2pLink::refusingDeviceFailsTheConnect()
{
    TestDevice dev("LINKREFUSE", "pw", false);
    QVERIFY(dev.start());
    p2p::DeviceFaults f;
    f.refuseConnections = true;
    dev.server().setFaults(f);
    setPeers(dev.peerEntry());
    QVERIFY(connectTo(dev.uid()) < 0);

    // A device answering under another UID is not taken for the one asked for.
    TestDevice other("LINKOTHER1", "pw", false);
    QVERIFY(other.start());
    setPeers("LINKWANTED@127.0.0.1:" + std::to_string(other.server().port()));
    QCOMPARE(connectTo("LINKWANTED"), IOTC_ER_UNKNOWN_DEVICE);
}

static std::vector<std::uint8_t> randomBytes(std::mt19937 &gen, std::size_t n)
{
    std::vector<std::uint8_t> v(n);
    for (auto &b : v)
        b = static_cast<std::uint8_t>(gen());
    return v;
}

void TestP2pLink::garbageToDevicePortLeavesOtherSessionsWorking()
{
    TestDevice dev("LINKJUNK01", "pw", false);
    QVERIFY(dev.start());
    setPeers(dev.peerEntry());
    const int sid = connectTo(dev.uid());
    QVERIFY(sid >= 0);
    const int av = openAv(sid);
    QVERIFY(av >= 0);

    std::mt19937 gen(4242);
    std::vector<std::vector<std::uint8_t>> attacks = {
        randomBytes(gen, 5000),
        {'O', 'P', '2', 'P', 1, 0x21, 0, 0, 0xff, 0xff, 0xff, 0x7f}, // huge frame
        {'O', 'P', '2', 'P', 1, 0x55, 0, 0, 0, 0, 0, 0},             // unknown type
        {'O', 'P', '2', 'P', 1, 0x01, 0, 0, 3, 0, 0, 0, 1, 2, 3},    // short hello
    };
    asio::io_context io;
    for (const auto &bytes : attacks) {
        asio::ip::tcp::socket s(io);
        asio::error_code ec;
        s.connect({asio::ip::make_address("127.0.0.1"), dev.server().port()}, ec);
        QVERIFY(!ec);
        asio::write(s, asio::buffer(bytes), ec);
        // The device hangs up on the intruder.
        std::array<std::uint8_t, 4096> sink;
        std::size_t total = 0;
        while (!ec && total < 1000000)
            total += s.read_some(asio::buffer(sink), ec);
        QVERIFY(ec == asio::error::eof || ec == asio::error::connection_reset);
    }
    unsigned type = 0;
    const std::vector<std::uint8_t> p = {1, 2, 3};
    QCOMPARE(ioRoundTrip(av, 0x42, p, &type), p);
    QCOMPARE(dev.count(dev.sessionsOpened), std::size_t(1));
    IOTC_Session_Close(sid);
}

void TestP2pLink::garbageToClientEndsOnlyThatSession()
{
    TestDevice dev("LINKJUNK02", "pw", false);
    QVERIFY(dev.start());
    setPeers(dev.peerEntry());
    const int sidA = connectTo(dev.uid());
    QVERIFY(sidA >= 0);
    QTRY_COMPARE_WITH_TIMEOUT(dev.count(dev.sessionsOpened), std::size_t(1), 10000);
    const int deviceSessionA = dev.lastSession();
    const int sidB = connectTo(dev.uid());
    QVERIFY(sidB >= 0);
    const int avA = openAv(sidA);
    const int avB = openAv(sidB);
    QVERIFY(avA >= 0 && avB >= 0);

    std::mt19937 gen(99);
    auto junk = randomBytes(gen, 3000);
    junk[0] = 'O'; // start like a header, then nonsense
    QVERIFY(dev.server().sendRaw(deviceSessionA, junk));
    QTRY_VERIFY_WITH_TIMEOUT(avCheckAudioBuf(avA) == AV_ER_SESSION_CLOSE_BY_REMOTE, 10000);

    unsigned type = 0;
    const std::vector<std::uint8_t> p = {4, 5};
    QCOMPARE(ioRoundTrip(avB, 0x99, p, &type), p);
    IOTC_Session_Close(sidA);
    IOTC_Session_Close(sidB);
}

void TestP2pLink::deInitializeReleasesBlockedCalls()
{
    TestDevice dev("LINKDEINIT", "pw", false);
    QVERIFY(dev.start());
    setPeers(dev.peerEntry());
    const int sid = connectTo(dev.uid());
    QVERIFY(sid >= 0);
    const int av = openAv(sid);
    QVERIFY(av >= 0);
    auto blocked = runAsync([av] {
        unsigned type = 0;
        char buf[64];
        return avRecvIOCtrl(av, &type, buf, sizeof(buf), 120000);
    });
    QTest::qWait(200);
    QCOMPARE(IOTC_DeInitialize(), 0);
    QVERIFY(finishesWithin(blocked, 10));
    QVERIFY(blocked.get() < 0);
    QCOMPARE(IOTC_Get_SessionID(), IOTC_ER_NOT_INITIALIZED);
    QTRY_COMPARE_WITH_TIMEOUT(dev.count(dev.sessionsClosed), std::size_t(1), 10000);
    // And it starts again.
    QCOMPARE(IOTC_Initialize2(0), 0);
    const int again = connectTo(dev.uid());
    QVERIFY(again >= 0);
    QVERIFY(openAv(again) >= 0);
}

QTEST_GUILESS_MAIN(TestP2pLink)
#include "tst_p2plink.moc"
