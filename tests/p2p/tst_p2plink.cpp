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
    void connectFailsWithTheReasonsCode();
    void connectStopReleasesBlockedConnect();
    void ioExitAndSessionCloseReleaseBlockedReceive();
    void vanishedDeviceIsNoticed_data();
    void vanishedDeviceIsNoticed();
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

static std::vector<std::uint8_t> randomBytes(std::mt19937 &gen, std::size_t n)
{
    std::vector<std::uint8_t> v(n);
    for (auto &b : v)
        b = static_cast<std::uint8_t>(gen());
    return v;
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
    // Entries for other UIDs are skipped; an unreachable one is passed over.
    setPeers("OTHER@127.0.0.1:1;LINKIO0001@127.0.0.1:1;" + dev.peerEntry());
    const int sid = connectTo(dev.uid());
    QVERIFY2(sid >= 0, qPrintable(QString::number(sid)));

    const int av = openAv(sid, 2);
    QVERIFY2(av >= 0, qPrintable(QString::number(av)));
    QTRY_COMPARE_WITH_TIMEOUT(dev.count(dev.channelsOpened), std::size_t(1), 10000);
    QCOMPARE(dev.snapshot(dev.channelsOpened)[0].second, 2);
    QCOMPARE(openAv(sid, 2), AV_ER_IOTC_CHANNEL_IN_USED);

    // Nothing pending: time-out 0 answers at once.
    unsigned type = 0;
    char buf[1024];
    QCOMPARE(avRecvIOCtrl(av, &type, buf, sizeof(buf), 0), AV_ER_DATA_NOREADY);

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
    QCOMPARE(avRecvIOCtrl(av, &type, buf, sizeof(buf), 0), AV_ER_DATA_NOREADY);
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
    LinkedDevice link("LINKAUTH01", "right-password");
    QVERIFY(link.connect());
    QCOMPARE(openAv(link.sid, 0, "wrong"), AV_ER_WRONG_VIEWACCorPWD);
    QCOMPARE(openAv(link.sid, 0, "right-password", "guest"), AV_ER_WRONG_VIEWACCorPWD);
    QCOMPARE(openAv(link.sid, 0, ""), AV_ER_WRONG_VIEWACCorPWD);
    QCOMPARE(link.dev.count(link.dev.channelsOpened), std::size_t(0));
    link.av = openAv(link.sid, 0, "right-password");
    QVERIFY(link.av >= 0);
}

void TestP2pLink::connectFailsWithTheReasonsCode()
{
    setPeers("");
    qputenv(P2P_ENV_CONNECT_TIMEOUT, "1500");
    const int sid = IOTC_Get_SessionID();
    QVERIFY(sid >= 0);
    QCOMPARE(IOTC_Connect_ByUID_Parallel("NOSUCHDEVICE", sid), IOTC_ER_CAN_NOT_FIND_DEVICE);
    qunsetenv(P2P_ENV_CONNECT_TIMEOUT);
    // A failed connect gives its session id back.
    QCOMPARE(IOTC_Session_Close(sid), IOTC_ER_INVALID_SID);
    QCOMPARE(IOTC_Connect_ByUID_Parallel("X", 12345), IOTC_ER_INVALID_SID);
    QCOMPARE(IOTC_Connect_ByUID_Parallel("UID WITH SPACE", IOTC_Get_SessionID()),
             IOTC_ER_INVALID_ARG);

    TestDevice refusing("LINKREFUSE", "pw", false);
    QVERIFY(refusing.start());
    p2p::DeviceFaults f;
    f.refuseConnections = true;
    refusing.server().setFaults(f);
    setPeers(refusing.peerEntry());
    QCOMPARE(connectTo(refusing.uid()), IOTC_ER_DEVICE_NOT_LISTENING);

    // A device answering under another UID is not taken for the one asked for.
    TestDevice other("LINKOTHER1", "pw", false);
    QVERIFY(other.start());
    setPeers("LINKWANTED@127.0.0.1:" + std::to_string(other.server().port()));
    QCOMPARE(connectTo("LINKWANTED"), IOTC_ER_UNKNOWN_DEVICE);
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
    LinkedDevice link("LINKEXIT01");
    QVERIFY(link.open());
    auto blocked = blockedIoReceive(link.av);
    QTest::qWait(200);
    QCOMPARE(avSendIOCtrlExit(link.av), 0);
    QVERIFY(finishesWithin(blocked, 10));
    QCOMPARE(blocked.get(), AV_ER_SENDIOCTRL_EXIT);

    // The exit ends the calls waiting then, not the channel.
    unsigned type = 0;
    const std::vector<std::uint8_t> p = {7};
    QCOMPARE(ioRoundTrip(link.av, 0x10, p, &type), p);

    blocked = blockedIoReceive(link.av);
    QTest::qWait(200);
    QCOMPARE(IOTC_Session_Close(link.sid), 0);
    QVERIFY(finishesWithin(blocked, 10));
    QCOMPARE(blocked.get(), AV_ER_IOTC_SESSION_CLOSED);
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
    LinkedDevice link(silent ? "LINKMUTE01" : "LINKGONE01");
    QVERIFY(link.open());
    auto blocked = blockedIoReceive(link.av);
    if (silent) {
        p2p::DeviceFaults f;
        f.frozen = true;
        link.dev.server().setFaults(f);
    } else {
        link.dev.server().abort();
    }
    QVERIFY(finishesWithin(blocked, limitSec));
    QCOMPARE(blocked.get(), avCode);
    char buf[16] = {};
    int actual = 0, expected = 0, infoSize = 0;
    unsigned number = 0;
    QCOMPARE(avRecvFrameData2(link.av, buf, sizeof(buf), &actual, &expected, buf, 16, &infoSize,
                              &number),
             avCode);
    QCOMPARE(avSendIOCtrl(link.av, 1, buf, 4), avCode);
    QCOMPARE(IOTC_Session_Get_Free_Channel(link.sid), sessionCode);
    QCOMPARE(avClientStop(link.av), 0);
    QCOMPARE(IOTC_Session_Close(link.sid), 0);
    link.av = link.sid = -1;
}

void TestP2pLink::garbageToDevicePortLeavesOtherSessionsWorking()
{
    LinkedDevice link("LINKJUNK01");
    QVERIFY(link.open());

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
        s.connect({asio::ip::make_address("127.0.0.1"), link.dev.server().port()}, ec);
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
    QCOMPARE(ioRoundTrip(link.av, 0x42, p, &type), p);
    QCOMPARE(link.dev.count(link.dev.sessionsOpened), std::size_t(1));
}

void TestP2pLink::garbageToClientEndsOnlyThatSession()
{
    LinkedDevice a("LINKJUNK02");
    QVERIFY(a.open());
    const int deviceSessionA = a.dev.lastSession();
    const int sidB = connectTo(a.dev.uid());
    QVERIFY(sidB >= 0);
    const int avB = openAv(sidB);
    QVERIFY(avB >= 0);

    std::mt19937 gen(99);
    auto junk = randomBytes(gen, 3000);
    junk[0] = 'O'; // start like a header, then nonsense
    QVERIFY(a.dev.server().sendRaw(deviceSessionA, junk));
    QTRY_COMPARE_WITH_TIMEOUT(avCheckAudioBuf(a.av), AV_ER_SESSION_CLOSE_BY_REMOTE, 10000);

    unsigned type = 0;
    const std::vector<std::uint8_t> p = {4, 5};
    QCOMPARE(ioRoundTrip(avB, 0x99, p, &type), p);
    IOTC_Session_Close(sidB);
}

void TestP2pLink::deInitializeReleasesBlockedCalls()
{
    LinkedDevice link("LINKDEINIT");
    QVERIFY(link.open());
    auto blocked = blockedIoReceive(link.av);
    QTest::qWait(200);
    QCOMPARE(IOTC_DeInitialize(), 0);
    QVERIFY(finishesWithin(blocked, 10));
    QCOMPARE(blocked.get(), AV_ER_IOTC_DEINITIALIZED);
    QCOMPARE(IOTC_Get_SessionID(), IOTC_ER_NOT_INITIALIZED);
    QTRY_COMPARE_WITH_TIMEOUT(link.dev.count(link.dev.sessionsClosed), std::size_t(1), 10000);
    // And it starts again.
    QCOMPARE(IOTC_Initialize2(0), 0);
    link.av = link.sid = -1;
    link.sid = connectTo(link.dev.uid());
    QVERIFY(link.sid >= 0);
    link.av = openAv(link.sid);
    QVERIFY(link.av >= 0);
}

QTEST_GUILESS_MAIN(TestP2pLink)
#include "tst_p2plink.moc"
