// Byte formats of the P2P link: message framing, payloads, discovery
// datagrams, the LAN search entry, the peer list and frame information.

#include "Auth.h"
#include "MessageReader.h"
#include "Wire.h"

#include <p2p/DeviceServer.h>
#include <p2p/p2p.h>

#include <QtTest>
#include "TestMain.h"

#include <cstring>
#include <random>

using namespace p2p;
using namespace p2p::wire;

namespace {

std::vector<std::uint8_t> flatten(const OutMessage &m)
{
    std::vector<std::uint8_t> v = m.head;
    v.insert(v.end(), m.body.begin(), m.body.end());
    return v;
}

// Feeds bytes in pieces of the given size; collects the messages.
bool feedAll(MessageReader &r, const std::vector<std::uint8_t> &bytes, std::size_t piece,
             std::vector<Message> &out)
{
    bool ok = true;
    for (std::size_t i = 0; i < bytes.size() && ok; i += piece) {
        const std::size_t n = std::min(piece, bytes.size() - i);
        ok = r.feed(bytes.data() + i, n, [&](Message &&m) {
            out.push_back(std::move(m));
            return true;
        });
    }
    return ok;
}

template <typename T, typename Encode, typename Parse>
bool roundTrips(const T &m, Encode encode, Parse parse)
{
    T out;
    return parse(encode(m), out) && encode(out) == encode(m);
}

std::vector<std::uint8_t> header(std::uint8_t type, std::uint32_t length, std::uint8_t flags = 0)
{
    std::vector<std::uint8_t> h = {'O', 'P', '2', 'P', kVersion, type, 3, flags};
    for (int i = 0; i < 4; ++i)
        h.push_back(static_cast<std::uint8_t>(length >> (8 * i)));
    return h;
}

} // namespace

class TestP2pWire : public QObject
{
    Q_OBJECT

private slots:
    void messagesSurviveAnySplitOfTheStream()
    {
        std::vector<std::uint8_t> stream;
        const std::vector<std::uint8_t> io = {1, 2, 3, 4, 5};
        auto a = makeMessage(MsgType::IoCtrl, 7, kFlagFromAvClient, encodeIoCtrlPrefix(0x1234), io);
        auto b = makeMessage(MsgType::Ping, 0, 0, {});
        std::uint8_t info[16] = {0x4e, 0, 1, 0, 0, 0, 0, 0, 9, 9, 9, 9, 1, 2, 3, 4};
        std::vector<std::uint8_t> frame(3000);
        for (std::size_t i = 0; i < frame.size(); ++i)
            frame[i] = static_cast<std::uint8_t>(i * 7);
        auto c = makeMessage(MsgType::Video, 1, 0, encodeFramePrefix(42, info), frame);
        for (const auto *m : {&a, &b, &c})
            for (std::uint8_t byte : flatten(*m))
                stream.push_back(byte);
        for (std::size_t piece : std::vector<std::size_t>{1, 5, 12, 13, 100, stream.size()}) {
            MessageReader r;
            std::vector<Message> out;
            QVERIFY(feedAll(r, stream, piece, out));
            QCOMPARE(out.size(), std::size_t(3));
            QCOMPARE(out[0].header.type, MsgType::IoCtrl);
            QCOMPARE(out[0].header.channel, std::uint8_t(7));
            QCOMPARE(out[0].header.flags, kFlagFromAvClient);
            IoCtrlView v;
            QVERIFY(parseIoCtrl(out[0].payload, v));
            QCOMPARE(v.type, 0x1234u);
            QCOMPARE(std::vector<std::uint8_t>(v.data, v.data + v.size), io);
            QCOMPARE(out[1].header.type, MsgType::Ping);
            FrameView fv;
            QVERIFY(parseFrame(out[2].payload, fv));
            QCOMPARE(fv.frameNumber, 42u);
            QCOMPARE(fv.info.codecId, std::uint16_t(0x4e));
            QVERIFY(fv.info.isKeyFrame());
            QCOMPARE(std::vector<std::uint8_t>(fv.data, fv.data + fv.size), frame);
        }
    }

    void malformedHeadersAreRejected_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("error");
        auto qb = [](const std::vector<std::uint8_t> &v) {
            return QByteArray(reinterpret_cast<const char *>(v.data()), static_cast<int>(v.size()));
        };
        auto badMagic = header(0x20, 4);
        badMagic[0] = 'X';
        auto badVersion = header(0x20, 4);
        badVersion[4] = 99;
        QTest::newRow("bad magic") << qb(badMagic) << int(ParseError::BadMagic);
        QTest::newRow("bad version") << qb(badVersion) << int(ParseError::BadVersion);
        QTest::newRow("unknown type") << qb(header(0x7f, 0)) << int(ParseError::UnknownType);
        QTest::newRow("unknown flag") << qb(header(0x20, 4, 0x80)) << int(ParseError::BadFlags);
        QTest::newRow("huge length") << qb(header(0x20, 0xffffffffu)) << int(ParseError::BadLength);
        QTest::newRow("io ctrl too long")
            << qb(header(0x20, 4 + P2P_MAX_IOCTRL_SIZE + 1)) << int(ParseError::BadLength);
        QTest::newRow("video frame one byte too long")
            << qb(header(0x21, kFramePrefixSize + P2P_MAX_VIDEO_FRAME_SIZE + 1))
            << int(ParseError::BadLength);
        QTest::newRow("audio frame one byte too long")
            << qb(header(0x22, kFramePrefixSize + P2P_MAX_AUDIO_FRAME_SIZE + 1))
            << int(ParseError::BadLength);
        QTest::newRow("ping with payload") << qb(header(0x03, 1)) << int(ParseError::BadLength);
        QTest::newRow("frame shorter than its prefix")
            << qb(header(0x21, kFramePrefixSize - 1)) << int(ParseError::BadLength);
        QTest::newRow("login result too long")
            << qb(header(0x11, 10)) << int(ParseError::BadLength);
    }

    void malformedHeadersAreRejected()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, error);
        MessageReader r;
        std::vector<Message> out;
        QVERIFY(!feedAll(r, std::vector<std::uint8_t>(bytes.begin(), bytes.end()), 64, out));
        QCOMPARE(int(r.error()), error);
        // A failed reader stays failed, even for valid bytes.
        QVERIFY(!feedAll(r, flatten(makeMessage(MsgType::Ping, 0, 0, {})), 64, out));
        QVERIFY(out.empty());
    }

    // Every field survives: what parses back encodes to the same bytes.
    void payloadsRoundTrip()
    {
        Hello h;
        h.nonce = auth::randomNonce();
        h.uid = "ABCD1234EFGH5678IJKL";
        QVERIFY(roundTrips(h, encodeHello, parseHello));
        Welcome w;
        w.status = Welcome::WrongUid;
        w.nonce = auth::randomNonce();
        w.name = "Front door";
        QVERIFY(roundTrips(w, encodeWelcome, parseWelcome));
        AvLogin l;
        l.nonce = auth::randomNonce();
        l.mac = auth::loginMac("pw", Binding{}, h.nonce, l.nonce, 3, false, "admin");
        l.account = "admin";
        l.resend = 1;
        QVERIFY(roundTrips(l, encodeAvLogin, parseAvLogin));
        AvLoginResult r;
        r.code = AV_ER_WRONG_VIEWACCorPWD;
        r.serviceType = 16;
        r.resend = 1;
        QVERIFY(roundTrips(r, encodeAvLoginResult, parseAvLoginResult));
        // A positive login result code is not a valid answer.
        r.code = 5;
        QVERIFY(!roundTrips(r, encodeAvLoginResult, parseAvLoginResult));
    }

    void truncatedOrPaddedPayloadsAreRejected()
    {
        Hello h;
        h.uid = "UID1";
        auto hello = encodeHello(h);
        Hello ho;
        for (std::size_t n = 0; n < hello.size(); ++n)
            QVERIFY(!parseHello(std::vector<std::uint8_t>(hello.begin(), hello.begin() + n), ho));
        auto padded = hello;
        padded.push_back(0);
        QVERIFY(!parseHello(padded, ho));
        // The text length byte claims more than is there.
        auto lying = hello;
        lying[16] = 200;
        QVERIFY(!parseHello(lying, ho));
        // A NUL inside a text is refused.
        auto nul = hello;
        nul[17] = 0;
        QVERIFY(!parseHello(nul, ho));

        AvLogin l;
        l.account = "admin";
        auto login = encodeAvLogin(l);
        AvLogin lo;
        for (std::size_t n = 0; n < login.size(); ++n)
            QVERIFY(!parseAvLogin(std::vector<std::uint8_t>(login.begin(), login.begin() + n), lo));

        Welcome w;
        auto welcome = encodeWelcome(w);
        welcome[0] = 9; // unknown status
        Welcome wo;
        QVERIFY(!parseWelcome(welcome, wo));

        IoCtrlView v;
        QVERIFY(!parseIoCtrl({1, 2, 3}, v));
        FrameView f;
        QVERIFY(!parseFrame(std::vector<std::uint8_t>(kFramePrefixSize - 1), f));
    }

    void mutatedValidStreamsNeverCrashTheParsers()
    {
        std::mt19937 gen(777);
        Hello h;
        h.uid = "DEV0001";
        AvLogin l;
        l.account = "admin";
        Welcome w;
        w.name = "Cam";
        AvLoginResult lr;
        std::uint8_t info[16] = {};
        const std::vector<OutMessage> samples = {
            makeMessage(MsgType::Hello, 0, 0, encodeHello(h)),
            makeMessage(MsgType::Welcome, 0, 0, encodeWelcome(w)),
            makeMessage(MsgType::AvLogin, 2, kFlagFromAvClient, encodeAvLogin(l)),
            makeMessage(MsgType::AvLoginResult, 2, 0, encodeAvLoginResult(lr)),
            makeMessage(MsgType::IoCtrl, 2, 0, encodeIoCtrlPrefix(0x1ff), {1, 2, 3}),
            makeMessage(MsgType::Audio, 2, 0, encodeFramePrefix(1, info), {9, 9}),
        };
        int parsed = 0;
        for (int round = 0; round < 3000; ++round) {
            auto bytes = flatten(samples[gen() % samples.size()]);
            const int flips = 1 + static_cast<int>(gen() % 3);
            for (int i = 0; i < flips; ++i)
                bytes[gen() % bytes.size()] ^= static_cast<std::uint8_t>(1u << (gen() % 8));
            MessageReader r;
            std::vector<Message> out;
            feedAll(r, bytes, 1 + gen() % 16, out);
            for (const auto &m : out) {
                QVERIFY(m.payload.size() <= maxPayload(m.header.type));
                QVERIFY(m.payload.size() >= minPayload(m.header.type));
                Hello a;
                Welcome b;
                AvLogin c;
                AvLoginResult d;
                IoCtrlView e;
                FrameView f;
                parsed += parseHello(m.payload, a) + parseWelcome(m.payload, b) +
                          parseAvLogin(m.payload, c) + parseAvLoginResult(m.payload, d) +
                          parseIoCtrl(m.payload, e) + parseFrame(m.payload, f);
                if (parseHello(m.payload, a))
                    QVERIFY(a.uid.size() <= kMaxUidLength);
            }
        }
        QVERIFY(parsed > 0); // the mutations leave some messages intact
    }

    void discoveryDatagramsRoundTripAndRejectJunk()
    {
        const auto parseRequest = [](const std::vector<std::uint8_t> &b, DiscoveryRequest &out) {
            return parseDiscoveryRequest(b.data(), b.size(), out);
        };
        const auto parseAnswer = [](const std::vector<std::uint8_t> &b, DiscoveryAnswer &out) {
            return parseDiscoveryAnswer(b.data(), b.size(), out);
        };
        DiscoveryRequest q;
        q.requestId = 0xdeadbeef;
        q.uid = "CAM42";
        QVERIFY(roundTrips(q, encodeDiscoveryRequest, parseRequest));
        DiscoveryAnswer a;
        a.requestId = 7;
        a.uid = "CAM42";
        a.tcpPort = 40001;
        a.name = "Garage";
        QVERIFY(roundTrips(a, encodeDiscoveryAnswer, parseAnswer));

        // A request is not an answer and the other way round; a cut answer, port 0 and a
        // UID with a space are refused.
        DiscoveryRequest q2;
        DiscoveryAnswer a2;
        QVERIFY(!parseAnswer(encodeDiscoveryRequest(q), a2));
        QVERIFY(!parseRequest(encodeDiscoveryAnswer(a), q2));
        const auto ab = encodeDiscoveryAnswer(a);
        for (std::size_t n = 0; n < ab.size(); ++n)
            QVERIFY(!parseDiscoveryAnswer(ab.data(), n, a2));
        auto bad = a;
        bad.tcpPort = 0;
        QVERIFY(!parseAnswer(encodeDiscoveryAnswer(bad), a2));
        bad = a;
        bad.uid = "CAM 42";
        QVERIFY(!parseAnswer(encodeDiscoveryAnswer(bad), a2));

        std::mt19937 gen(99);
        for (int i = 0; i < 2000; ++i) {
            std::vector<std::uint8_t> junk(gen() % 600);
            for (auto &b : junk)
                b = static_cast<std::uint8_t>(gen());
            if (junk.size() > 6 && i % 2)
                std::memcpy(junk.data(), "OP2D\x01\x02", 6);
            if (parseAnswer(junk, a2))
                QVERIFY(isValidUid(a2.uid) && a2.tcpPort != 0);
        }
    }

    // Texts are cut to fit their field, NUL-terminated. (The field offsets are read
    // back by the LAN search test in tst_devsim_session.)
    void searchEntryCutsTextsToFit()
    {
        std::uint8_t e[P2P_SEARCH_ENTRY_SIZE];
        std::memset(e, 0xcc, sizeof(e));
        writeSearchEntry(e, "UID12345678901234567", std::string(60, '9'), 0x1234,
                         std::string(300, 'n'));
        QCOMPARE(QByteArray(reinterpret_cast<char *>(e + P2P_SEARCH_UID_OFFSET)),
                 QByteArray("UID12345678901234567"));
        QCOMPARE(std::strlen(reinterpret_cast<char *>(e + P2P_SEARCH_IP_OFFSET)),
                 std::size_t(P2P_SEARCH_PORT_OFFSET - P2P_SEARCH_IP_OFFSET - 1));
        QCOMPARE(int(e[P2P_SEARCH_PORT_OFFSET]), 0x34);
        QCOMPARE(std::strlen(reinterpret_cast<char *>(e + P2P_SEARCH_NAME_OFFSET)),
                 std::size_t(P2P_SEARCH_ENTRY_SIZE - P2P_SEARCH_NAME_OFFSET - 1));
    }

    void peerListSkipsMalformedEntries()
    {
        const auto peers =
            parsePeers(" CAM1@127.0.0.1:4000 ;bad;CAM2@[::1]:5;@h:1;CAM3@host:0;"
                       "CAM4@host:70000;CAM5@:7;CAM6@host:12x;CAM7@localhost:65535;;");
        QCOMPARE(peers.size(), std::size_t(3));
        QCOMPARE(peers[0].uid, std::string("CAM1"));
        QCOMPARE(peers[0].host, std::string("127.0.0.1"));
        QCOMPARE(peers[0].port, std::uint16_t(4000));
        QCOMPARE(peers[1].host, std::string("::1"));
        QCOMPARE(peers[1].port, std::uint16_t(5));
        QCOMPARE(peers[2].uid, std::string("CAM7"));
        QCOMPARE(peers[2].port, std::uint16_t(65535));
        QVERIFY(parsePeers("").empty());
    }

    void frameInfoIsLittleEndian()
    {
        FrameInfo f;
        f.codecId = 0x008a;
        f.flags = 2;
        f.camIndex = 3;
        f.onlineNum = 4;
        f.reserved2 = 0x11223344;
        f.timestamp = 0xa1b2c3d4;
        std::uint8_t b[16];
        f.serialize(b);
        const std::uint8_t expected[16] = {0x8a, 0,    2,    3,    4,    0,    0,    0,
                                           0x44, 0x33, 0x22, 0x11, 0xd4, 0xc3, 0xb2, 0xa1};
        QCOMPARE(std::memcmp(b, expected, 16), 0);
        std::uint8_t again[16];
        FrameInfo::parse(b).serialize(again); // every field read back
        QCOMPARE(std::memcmp(again, expected, 16), 0);
        QVERIFY(!FrameInfo::parse(b).isKeyFrame());
    }

    void loginMacDependsOnEveryInput()
    {
        const Nonce s = auth::randomNonce(), c = auth::randomNonce();
        Binding b{}, b2{};
        b2[31] = 1;
        const Mac base = auth::loginMac("secret", b, s, c, 1, false, "admin");
        QVERIFY(auth::macEqual(base, auth::loginMac("secret", b, s, c, 1, false, "admin")));
        QVERIFY(!auth::macEqual(base, auth::loginMac("secret", b2, s, c, 1, false, "admin")));
        QVERIFY(!auth::macEqual(base, auth::loginMac("secreT", b, s, c, 1, false, "admin")));
        QVERIFY(!auth::macEqual(base, auth::loginMac("secret", b, c, s, 1, false, "admin")));
        QVERIFY(!auth::macEqual(base, auth::loginMac("secret", b, s, c, 2, false, "admin")));
        QVERIFY(!auth::macEqual(base, auth::loginMac("secret", b, s, c, 1, true, "admin")));
        QVERIFY(!auth::macEqual(base, auth::loginMac("secret", b, s, c, 1, false, "Admin")));
        QVERIFY(!auth::macEqual(auth::loginMac("", b, s, c, 1, false, "a"),
                                auth::loginMac("x", b, s, c, 1, false, "a")));
        QVERIFY(!(auth::randomNonce() == auth::randomNonce()));
    }
};

ORVANE_TEST_GUILESS_MAIN(TestP2pWire)
#include "tst_p2pwire.moc"
