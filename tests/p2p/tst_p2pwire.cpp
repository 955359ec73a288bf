// Byte formats of the P2P link: message framing, payloads, discovery
// datagrams, the LAN search entry, the peer list and frame information.

#include "Auth.h"
#include "MessageReader.h"
#include "Wire.h"

#include <p2p/DeviceServer.h>
#include <p2p/p2p.h>

#include <QtTest>

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
    void messagesSurviveAnySplitOfTheStream();
    void malformedHeadersAreRejected_data();
    void malformedHeadersAreRejected();
    void payloadsRoundTrip();
    void truncatedOrPaddedPayloadsAreRejected();
    void mutatedValidStreamsNeverCrashTheParsers();
    void discoveryDatagramsRoundTripAndRejectJunk();
    void searchEntryHasFieldsAtFixedOffsets();
    void peerListSkipsMalformedEntries();
    void frameInfoIsLittleEndian();
    void loginMacDependsOnEveryInput();
};

void TestP2pWire::messagesSurviveAnySplitOfTheStream()
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
    for (const auto *m : {&a, &b, &c}) {
        const auto f = flatten(*m);
        stream.insert(stream.end(), f.begin(), f.end());
    }
    for (std::size_t piece : {std::size_t(1), std::size_t(5), std::size_t(12), std::size_t(13),
                              std::size_t(100), stream.size()}) {
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

void TestP2pWire::malformedHeadersAreRejected_data()
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
    QTest::newRow("login result too long") << qb(header(0x11, 10)) << int(ParseError::BadLength);
}

void TestP2pWire::malformedHeadersAreRejected()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, error);
    MessageReader r;
    int delivered = 0;
    const bool ok = r.feed(reinterpret_cast<const std::uint8_t *>(bytes.constData()),
                           static_cast<std::size_t>(bytes.size()), [&](Message &&) {
                               ++delivered;
                               return true;
                           });
    QVERIFY(!ok);
    QCOMPARE(int(r.error()), error);
    QCOMPARE(delivered, 0);
    // A failed reader stays failed, even for valid bytes.
    const auto ping = flatten(makeMessage(MsgType::Ping, 0, 0, {}));
    QVERIFY(!r.feed(ping.data(), ping.size(), [&](Message &&) {
        ++delivered;
        return true;
    }));
    QCOMPARE(delivered, 0);
}

void TestP2pWire::payloadsRoundTrip()
{
    Hello h;
    h.nonce = auth::randomNonce();
    h.uid = "ABCD1234EFGH5678IJKL";
    Hello h2;
    QVERIFY(parseHello(encodeHello(h), h2));
    QCOMPARE(h2.uid, h.uid);
    QVERIFY(h2.nonce == h.nonce);

    Welcome w;
    w.status = Welcome::WrongUid;
    w.nonce = auth::randomNonce();
    w.name = "Front door";
    Welcome w2;
    QVERIFY(parseWelcome(encodeWelcome(w), w2));
    QCOMPARE(w2.status, w.status);
    QCOMPARE(w2.name, w.name);
    QVERIFY(w2.nonce == w.nonce);

    AvLogin l;
    l.nonce = auth::randomNonce();
    l.mac = auth::loginMac("pw", h.nonce, l.nonce, 3, false, "admin");
    l.account = "admin";
    l.resend = 1;
    AvLogin l2;
    QVERIFY(parseAvLogin(encodeAvLogin(l), l2));
    QCOMPARE(l2.account, l.account);
    QCOMPARE(l2.resend, l.resend);
    QVERIFY(l2.mac == l.mac);

    AvLoginResult r;
    r.code = AV_ER_WRONG_VIEWACCorPWD;
    r.serviceType = 16;
    AvLoginResult r2;
    QVERIFY(parseAvLoginResult(encodeAvLoginResult(r), r2));
    QCOMPARE(r2.code, r.code);
    QCOMPARE(r2.serviceType, r.serviceType);

    // A positive login result code is not a valid answer.
    r.code = 5;
    QVERIFY(!parseAvLoginResult(encodeAvLoginResult(r), r2));
}

void TestP2pWire::truncatedOrPaddedPayloadsAreRejected()
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

void TestP2pWire::mutatedValidStreamsNeverCrashTheParsers()
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

void TestP2pWire::discoveryDatagramsRoundTripAndRejectJunk()
{
    DiscoveryRequest q;
    q.requestId = 0xdeadbeef;
    q.uid = "CAM42";
    auto qb = encodeDiscoveryRequest(q);
    DiscoveryRequest q2;
    QVERIFY(parseDiscoveryRequest(qb.data(), qb.size(), q2));
    QCOMPARE(q2.requestId, q.requestId);
    QCOMPARE(q2.uid, q.uid);

    DiscoveryAnswer a;
    a.requestId = 7;
    a.uid = "CAM42";
    a.tcpPort = 40001;
    a.name = "Garage";
    auto ab = encodeDiscoveryAnswer(a);
    DiscoveryAnswer a2;
    QVERIFY(parseDiscoveryAnswer(ab.data(), ab.size(), a2));
    QCOMPARE(a2.tcpPort, a.tcpPort);
    QCOMPARE(a2.name, a.name);

    // A request is not an answer and the other way round.
    QVERIFY(!parseDiscoveryAnswer(qb.data(), qb.size(), a2));
    QVERIFY(!parseDiscoveryRequest(ab.data(), ab.size(), q2));
    for (std::size_t n = 0; n < ab.size(); ++n)
        QVERIFY(!parseDiscoveryAnswer(ab.data(), n, a2));
    auto zeroPort = a;
    zeroPort.tcpPort = 0;
    auto zb = encodeDiscoveryAnswer(zeroPort);
    QVERIFY(!parseDiscoveryAnswer(zb.data(), zb.size(), a2));
    auto spaceUid = a;
    spaceUid.uid = "CAM 42";
    auto sb = encodeDiscoveryAnswer(spaceUid);
    QVERIFY(!parseDiscoveryAnswer(sb.data(), sb.size(), a2));

    std::mt19937 gen(99);
    for (int i = 0; i < 2000; ++i) {
        std::vector<std::uint8_t> junk(gen() % 600);
        for (auto &b : junk)
            b = static_cast<std::uint8_t>(gen());
        if (junk.size() > 6 && i % 2)
            std::memcpy(junk.data(), "OP2D\x01\x02", 6);
        DiscoveryAnswer out;
        if (parseDiscoveryAnswer(junk.data(), junk.size(), out))
            QVERIFY(isValidUid(out.uid) && out.tcpPort != 0);
    }
}

void TestP2pWire::searchEntryHasFieldsAtFixedOffsets()
{
    std::uint8_t e[P2P_SEARCH_ENTRY_SIZE];
    std::memset(e, 0xcc, sizeof(e));
    writeSearchEntry(e, "UID12345678901234567", "192.168.1.20", 0x1234,
                     std::string(300, 'n')); // the name is cut to fit
    QCOMPARE(QByteArray(reinterpret_cast<char *>(e + P2P_SEARCH_UID_OFFSET)),
             QByteArray("UID12345678901234567"));
    QCOMPARE(QByteArray(reinterpret_cast<char *>(e + P2P_SEARCH_IP_OFFSET)),
             QByteArray("192.168.1.20"));
    QCOMPARE(int(e[P2P_SEARCH_PORT_OFFSET]), 0x34);
    QCOMPARE(int(e[P2P_SEARCH_PORT_OFFSET + 1]), 0x12);
    QCOMPARE(int(std::strlen(reinterpret_cast<char *>(e + P2P_SEARCH_NAME_OFFSET))),
             P2P_SEARCH_ENTRY_SIZE - P2P_SEARCH_NAME_OFFSET - 1);
    QCOMPARE(int(e[P2P_SEARCH_ENTRY_SIZE - 1]), 0);
}

void TestP2pWire::peerListSkipsMalformedEntries()
{
    const auto peers = parsePeers(" CAM1@127.0.0.1:4000 ;bad;CAM2@[::1]:5;@h:1;CAM3@host:0;"
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

void TestP2pWire::frameInfoIsLittleEndian()
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
    const FrameInfo g = FrameInfo::parse(b);
    QCOMPARE(g.codecId, f.codecId);
    QCOMPARE(g.reserved2, f.reserved2);
    QCOMPARE(g.timestamp, f.timestamp);
    QVERIFY(!g.isKeyFrame());
}

void TestP2pWire::loginMacDependsOnEveryInput()
{
    const Nonce s = auth::randomNonce(), c = auth::randomNonce();
    const Mac base = auth::loginMac("secret", s, c, 1, false, "admin");
    QVERIFY(auth::macEqual(base, auth::loginMac("secret", s, c, 1, false, "admin")));
    QVERIFY(!auth::macEqual(base, auth::loginMac("secreT", s, c, 1, false, "admin")));
    QVERIFY(!auth::macEqual(base, auth::loginMac("secret", c, s, 1, false, "admin")));
    QVERIFY(!auth::macEqual(base, auth::loginMac("secret", s, c, 2, false, "admin")));
    QVERIFY(!auth::macEqual(base, auth::loginMac("secret", s, c, 1, true, "admin")));
    QVERIFY(!auth::macEqual(base, auth::loginMac("secret", s, c, 1, false, "Admin")));
    QVERIFY(!auth::macEqual(auth::loginMac("", s, c, 1, false, "a"),
                            auth::loginMac("x", s, c, 1, false, "a")));
    QVERIFY(!(auth::randomNonce() == auth::randomNonce()));
}

QTEST_GUILESS_MAIN(TestP2pWire)
#include "tst_p2pwire.moc"
