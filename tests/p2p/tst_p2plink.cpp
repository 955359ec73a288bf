// Sessions, AV channel logins, IO control and failure handling of the P2P
// library against an in-process DeviceServer on loopback; devices found by
// peer list or by UDP discovery on a test-private port. (Login refusals,
// refused connections and LAN search with devices of several processes:
// tst_devsim_session, against devsim.)

#include "TestDevice.h"
#include "TlsPeers.h"

#include "Auth.h"
#include "Connection.h"
#include "MessageReader.h"

#include <asio.hpp>

#include <QtTest>
#include "TestMain.h"

#include <deque>
#include <functional>
#include <optional>
#include <random>

using namespace std::chrono_literals;
using namespace p2p::wire;

// A client speaking the wire protocol itself, to send what the library never
// would. Each read waits at most 10 s.
struct RawClient
{
    asio::io_context io;
    std::unique_ptr<p2p::tls::Stream> stream;
    Binding binding{};
    MessageReader reader;
    std::deque<Message> in;
    Nonce deviceNonce{};

    bool open(std::uint16_t port, const std::string &uid)
    {
        stream = tlsConnect(io, port, &binding);
        if (!stream)
            return false;
        send(makeMessage(MsgType::Hello, 0, 0, encodeHello({p2p::auth::randomNonce(), uid})));
        const auto m = next();
        Welcome w;
        deviceNonce = m && parseWelcome(m->payload, w) ? w.nonce : Nonce{};
        return m && w.status == Welcome::Ok;
    }
    void send(const OutMessage &m)
    {
        std::vector<std::uint8_t> bytes = m.head;
        bytes.insert(bytes.end(), m.body.begin(), m.body.end());
        asio::error_code ec;
        stream->write(bytes.data(), bytes.size(), ec);
    }
    OutMessage login(int ch, const Nonce &nonce, const std::string &password)
    {
        const AvLogin l{
            nonce, p2p::auth::loginMac(password, binding, deviceNonce, nonce, ch, false, "admin"),
            0, "admin"};
        return makeMessage(MsgType::AvLogin, ch, kFlagFromAvClient, encodeAvLogin(l));
    }
    int loginResult()
    {
        const auto m = next();
        AvLoginResult r;
        return m && parseAvLoginResult(m->payload, r) ? r.code : 1;
    }
    // The next message but a ping; nullopt on time-out or a closed connection.
    std::optional<Message> next()
    {
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        std::array<std::uint8_t, 4096> buf;
        bool failed = false;
        while (in.empty() && !failed && std::chrono::steady_clock::now() < deadline) {
            stream->asyncReadSome(buf.data(), buf.size(), [&](asio::error_code ec, std::size_t n) {
                failed = ec || !reader.feed(buf.data(), n, [this](Message &&m) {
                    if (m.header.type != MsgType::Ping)
                        in.push_back(std::move(m));
                    return true;
                });
            });
            io.restart();
            if (io.run_until(deadline) == 0) {
                p2p::tls::socketOf(*stream).cancel();
                io.run();
            }
        }
        if (in.empty())
            return std::nullopt;
        Message m = std::move(in.front());
        in.pop_front();
        return m;
    }
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

static p2p::DeviceFaults frozenFaults()
{
    p2p::DeviceFaults f;
    f.frozen = true; // sends nothing, as if it vanished from the network
    return f;
}

static std::vector<std::uint8_t> randomBytes(std::mt19937 &gen, std::size_t n)
{
    std::vector<std::uint8_t> v(n);
    for (auto &b : v)
        b = static_cast<std::uint8_t>(gen());
    return v;
}

class TestP2pLink : public QObject
{
    Q_OBJECT

    // What ends a receive that waits for an IO control message.
    enum Cause {
        IoExit,
        SessionClose,
        DeInitialize,
        DeviceGone, // this and the causes below lose the session
        DeviceSilent,
        DripFeed,
        HugeLength,
        Truncated,
    };

private slots:
    void initTestCase()
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

    void cleanupTestCase()
    {
        avDeInitialize();
        IOTC_DeInitialize();
    }

    void connectFailsWithTheReasonsCode()
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

        // A device answering under another UID is not taken for the one asked for.
        TestDevice other("LINKOTHER1", "pw", false);
        QVERIFY(other.start());
        setPeers("LINKWANTED@127.0.0.1:" + std::to_string(other.server().port()));
        QCOMPARE(connectTo("LINKWANTED"), IOTC_ER_UNKNOWN_DEVICE);

        // A device at its session limit answers busy; a closed session makes room.
        TestDevice full("LINKFULL01", "pw", false, [](auto &c) { c.maxSessions = 1; });
        QVERIFY(full.start());
        setPeers(full.peerEntry());
        const int first = connectTo(full.uid());
        QVERIFY(first >= 0);
        QCOMPARE(connectTo(full.uid()), IOTC_ER_EXCEED_MAX_SESSION);
        QCOMPARE(IOTC_Session_Close(first), 0);
        QTRY_COMPARE_WITH_TIMEOUT(full.snapshot(full.sessionsClosed).size(), std::size_t(1), 10000);
        QVERIFY(connectTo(full.uid()) >= 0);
    }

    // Without a peer list the UID is looked up by discovery.
    void connectsByUidThroughDiscovery()
    {
        setPeers("");
        TestDevice a("DISCO00001"), b("DISCO00002");
        QVERIFY(a.start());
        QVERIFY(b.start());
        for (TestDevice *d : {&a, &b}) {
            const int sid = connectTo(d->uid());
            QVERIFY2(sid >= 0, qPrintable(QString::number(sid)));
            const int av = openAv(sid);
            QVERIFY(av >= 0);
            QTRY_COMPARE_WITH_TIMEOUT(d->snapshot(d->channelsOpened).size(), std::size_t(1), 10000);
            IOTC_Session_Close(sid);
        }
        // Not discoverable: not found.
        TestDevice hidden("DISCOHIDE1", "pw", false);
        QVERIFY(hidden.start());
        qputenv(P2P_ENV_CONNECT_TIMEOUT, "1500");
        QCOMPARE(connectTo(hidden.uid()), IOTC_ER_CAN_NOT_FIND_DEVICE);
        qunsetenv(P2P_ENV_CONNECT_TIMEOUT);
    }

    void searchResultBeforeStartIsEmpty()
    {
        std::vector<std::uint8_t> entries(4 * P2P_SEARCH_ENTRY_SIZE);
        QCOMPARE(IOTC_Search_Device_Result(entries.data(), 4, 1), 0);
        QCOMPARE(IOTC_Search_Device_Result(nullptr, 4, 1), IOTC_ER_INVALID_ARG);
        QCOMPARE(IOTC_Search_Device_Stop(), 0);
    }

    void connectStopReleasesBlockedConnect()
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

    void blockedReceiveEndsWithItsCause_data()
    {
        QTest::addColumn<int>("cause");
        QTest::addColumn<int>("code");
        QTest::newRow("avSendIOCtrlExit") << int(IoExit) << AV_ER_SENDIOCTRL_EXIT;
        QTest::newRow("session closed") << int(SessionClose) << AV_ER_IOTC_SESSION_CLOSED;
        // Sockets closed without a goodbye: noticed at once.
        QTest::newRow("device gone") << int(DeviceGone) << AV_ER_SESSION_CLOSE_BY_REMOTE;
        // The device falls silent but keeps the socket open: the keep-alive notices.
        QTest::newRow("device silent") << int(DeviceSilent) << AV_ER_REMOTE_TIMEOUT_DISCONNECT;
        QTest::newRow("library shut down") << int(DeInitialize) << AV_ER_IOTC_DEINITIALIZED;
        // A frame that never completes: the device's pings drip into its body.
        QTest::newRow("frame dripping past its deadline")
            << int(DripFeed) << AV_ER_REMOTE_TIMEOUT_DISCONNECT;
        QTest::newRow("length 2^31") << int(HugeLength) << AV_ER_SESSION_CLOSE_BY_REMOTE;
        QTest::newRow("message cut short") << int(Truncated) << AV_ER_SESSION_CLOSE_BY_REMOTE;
    }

    void blockedReceiveEndsWithItsCause()
    {
        QFETCH(int, cause);
        QFETCH(int, code);
        LinkedDevice link("LINKWAIT" + std::to_string(cause));
        QVERIFY(link.open());
        auto blocked = blockedIoReceive(link.av);
        QTest::qWait(200); // either order must work; this lets it block first
        const auto restore = qScopeGuard(
            [] { p2p::Connection::setMessageDeadline(p2p::Connection::kMessageDeadline); });
        const int session = link.dev.snapshot(link.dev.sessionsOpened).back();
        const auto videoHead = [&](std::uint32_t length, std::size_t extra) {
            std::vector<std::uint8_t> raw(kHeaderSize + extra);
            encodeHeader({MsgType::Video, 0, 0, length}, raw.data());
            return link.dev.server().sendRaw(session, raw) ? 0 : -1;
        };
        const std::function<int()> causes[] = {
            [&] { return avSendIOCtrlExit(link.av); },
            [&] { return IOTC_Session_Close(link.sid); },
            [] { return IOTC_DeInitialize(); },
            [&] {
                link.dev.server().abort();
                return 0;
            },
            [&] {
                link.dev.server().setFaults(frozenFaults());
                return 0;
            },
            [&] {
                p2p::Connection::setMessageDeadline(300ms);
                return videoHead(P2P_MAX_VIDEO_FRAME_SIZE + kFramePrefixSize, 0);
            },
            [&] { return videoHead(0x80000000u, 0); },
            [&] {
                const int sent = videoHead(100, 10);
                link.dev.server().dropSession(session);
                return sent;
            },
        };
        QCOMPARE(causes[cause](), 0);
        QVERIFY(finishesWithin(blocked, 30));
        QCOMPARE(blocked.get(), code);

        if (cause == IoExit) {
            // The exit ends the calls waiting then, not the channel.
            unsigned type = 0;
            const std::vector<std::uint8_t> p = {7};
            QCOMPARE(ioRoundTrip(link.av, 0x10, p, &type), p);
        } else if (cause >= DeviceGone) {
            // Every later call on the channel and its session reports the loss; both can
            // still be stopped.
            char buf[16] = {};
            int actual = 0, expected = 0, infoSize = 0;
            unsigned number = 0;
            QCOMPARE(avRecvFrameData2(link.av, buf, sizeof(buf), &actual, &expected, buf, 16,
                                      &infoSize, &number),
                     code);
            QCOMPARE(avSendIOCtrl(link.av, 1, buf, 4), code);
            QCOMPARE(IOTC_Session_Get_Free_Channel(link.sid),
                     code == AV_ER_SESSION_CLOSE_BY_REMOTE ? IOTC_ER_SESSION_CLOSE_BY_REMOTE
                                                           : IOTC_ER_REMOTE_TIMEOUT_DISCONNECT);
            QCOMPARE(avClientStop(link.av), 0);
            QCOMPARE(IOTC_Session_Close(link.sid), 0);
            link.av = link.sid = -1;
        } else if (cause == DeInitialize) {
            QCOMPARE(IOTC_Get_SessionID(), IOTC_ER_NOT_INITIALIZED);
            QTRY_COMPARE_WITH_TIMEOUT(link.dev.snapshot(link.dev.sessionsClosed).size(),
                                      std::size_t(1), 10000);
            // And it starts again.
            QCOMPARE(IOTC_Initialize2(0), 0);
            link.sid = connectTo(link.dev.uid());
            QVERIFY(link.sid >= 0);
            link.av = openAv(link.sid);
            QVERIFY(link.av >= 0);
        }
    }

    void failedLoginsAreThrottled_data()
    {
        QTest::addColumn<bool>("sessionPerGuess");
        QTest::addColumn<int>("minMs"); // the delays before guesses 2..20: 10 + 20 + 40 * 17
        QTest::newRow("one session waits longer after each failure") << false << 710;
        QTest::newRow("fresh sessions share their address's lockout") << true << 0;
    }

    // 20 failures from an address lock it out; then even the password is refused until the
    // lockout ends.
    void failedLoginsAreThrottled()
    {
        QFETCH(bool, sessionPerGuess);
        QFETCH(int, minMs);
        TestDevice dev("LINKGUESS" + std::to_string(minMs), "pw", false, [](auto &c) {
            c.loginDelay = 10ms;
            c.loginDelayMax = 40ms;
            c.loginFailureLimit = 20;
            c.loginLockout = 2s;
        });
        QVERIFY(dev.start());
        setPeers(dev.peerEntry());
        int sid = connectTo(dev.uid());
        QElapsedTimer elapsed;
        elapsed.start();
        for (int i = 0; i < 20; ++i) {
            if (sessionPerGuess && i > 0 && IOTC_Session_Close(sid) == 0)
                sid = connectTo(dev.uid());
            QCOMPARE(openAv(sid, 0, "guess"), AV_ER_WRONG_VIEWACCorPWD);
        }
        QVERIFY2(elapsed.elapsed() >= minMs, qPrintable(QString::number(elapsed.elapsed())));
        IOTC_Session_Close(sid);
        sid = connectTo(dev.uid());
        QCOMPARE(openAv(sid, 0), AV_ER_WRONG_VIEWACCorPWD);
        int av = -1;
        QTRY_VERIFY_WITH_TIMEOUT(av >= 0 || (av = openAv(sid, 0)) >= 0, 20000);
        IOTC_Session_Close(sid);
    }

    // A login opens its channel once: replayed, it is refused while the channel is open and
    // after it closed; a fresh login opens the channel again.
    void replayedLoginIsRefused()
    {
        TestDevice dev("LINKREPLAY", "pw", false);
        QVERIFY(dev.start());
        RawClient client;
        QVERIFY(client.open(dev.server().port(), dev.uid()));
        const OutMessage login = client.login(3, p2p::auth::randomNonce(), "pw");
        client.send(login);
        QCOMPARE(client.loginResult(), 0);
        client.send(login);
        QCOMPARE(client.loginResult(), AV_ER_WRONG_VIEWACCorPWD);
        client.send(makeMessage(MsgType::AvClose, 3, kFlagFromAvClient, {}));
        client.send(login);
        QCOMPARE(client.loginResult(), AV_ER_WRONG_VIEWACCorPWD);
        client.send(client.login(3, p2p::auth::randomNonce(), "pw"));
        QCOMPARE(client.loginResult(), 0);
        QCOMPARE(dev.snapshot(dev.channelsOpened).size(), std::size_t(2));
    }

    void garbageToDevicePortLeavesOtherSessionsWorking()
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
        for (int tls = 0; tls < 2; ++tls) {
            for (const auto &bytes : attacks) {
                // In the clear (never TLS) and inside TLS (never the protocol).
                asio::ip::tcp::socket s(io);
                std::unique_ptr<p2p::tls::Stream> t;
                asio::error_code ec;
                if (tls) {
                    t = tlsConnect(io, link.dev.server().port());
                    QVERIFY(t);
                    t->write(bytes.data(), bytes.size(), ec);
                } else {
                    s.connect({asio::ip::make_address("127.0.0.1"), link.dev.server().port()}, ec);
                    QVERIFY(!ec);
                    asio::write(s, asio::buffer(bytes), ec);
                }
                // The device hangs up on the intruder.
                std::array<std::uint8_t, 4096> sink;
                std::size_t total = 0;
                while (!ec && total < 1000000)
                    total += tls ? t->readSome(sink.data(), sink.size(), ec)
                                 : s.read_some(asio::buffer(sink), ec);
                QVERIFY(ec == asio::error::eof || ec == asio::error::connection_reset);
            }
        }
        unsigned type = 0;
        const std::vector<std::uint8_t> p = {1, 2, 3};
        QCOMPARE(ioRoundTrip(link.av, 0x42, p, &type), p);
        QCOMPARE(link.dev.snapshot(link.dev.sessionsOpened).size(), std::size_t(1));
    }

    void garbageToClientEndsOnlyThatSession()
    {
        LinkedDevice a("LINKJUNK02");
        QVERIFY(a.open());
        const int deviceSessionA = a.dev.snapshot(a.dev.sessionsOpened).back();
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
};

ORVANE_TEST_GUILESS_MAIN(TestP2pLink)
#include "tst_p2plink.moc"
