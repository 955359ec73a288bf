// Video and audio frames through the P2P library: frame information, sizes,
// receive queue overflow and talk, against an in-process DeviceServer.

#include "TestDevice.h"

#include <QtTest>

#include <cstring>

namespace {

constexpr int kBufSize = P2P_MAX_VIDEO_FRAME_SIZE;

// Frame bytes derived from the frame number, so a torn frame shows.
std::vector<std::uint8_t> frameBytes(std::uint32_t number, std::size_t size)
{
    std::vector<std::uint8_t> v(size);
    for (std::size_t i = 0; i < size; ++i)
        v[i] = static_cast<std::uint8_t>(number * 31 + i * 7 + (i >> 8));
    return v;
}

p2p::FrameInfo videoInfo(bool key, std::uint32_t ts)
{
    p2p::FrameInfo f;
    f.codecId = 78;
    f.flags = key ? p2p::FrameInfo::kFlagKeyFrame : 0;
    f.camIndex = 1;
    f.onlineNum = 2;
    f.reserved2 = 0xabcdef01;
    f.timestamp = ts;
    return f;
}

struct Received
{
    int result = 0;
    std::vector<std::uint8_t> data;
    std::uint8_t info[16] = {};
    unsigned number = 0;
};

// Polls avRecvFrameData2 until a frame or an error other than "no data".
Received receiveFrame(int av, std::vector<char> &buf, int bufSize = kBufSize)
{
    Received r;
    QElapsedTimer t;
    t.start();
    int actual = 0, expected = 0, infoSize = 0;
    do {
        r.result = avRecvFrameData2(av, buf.data(), bufSize, &actual, &expected,
                                    reinterpret_cast<char *>(r.info), 16, &infoSize, &r.number);
        if (r.result != AV_ER_DATA_NOREADY)
            break;
        QTest::qWait(2);
    } while (t.elapsed() < 20000);
    if (r.result >= 0)
        r.data.assign(buf.begin(), buf.begin() + r.result);
    return r;
}

int authAny(const char *, char *)
{
    return 1;
}

int authWithPassword(const char *account, char *password)
{
    if (std::strcmp(account, "admin") != 0)
        return 0;
    std::strcpy(password, "not-the-device-password");
    return 1;
}

} // namespace

class TestP2pStream : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();
    void videoFramesArriveIntactWithFrameInfo();
    void tooSmallBufferDropsOnlyThatFrame();
    void deviceAudioArrives();
    void slowReaderLosesWholeFramesUpToKeyFrame();
    void talkAudioReachesDevice();
    void talkLoginMustMatchServedPassword();

private:
    std::unique_ptr<LinkedDevice> link;
    TestDevice *dev = nullptr;
    int sid = -1;
    int av = -1;
    int devSession = -1;
    std::vector<char> buf = std::vector<char>(kBufSize);
};

void TestP2pStream::initTestCase()
{
    useRandomDiscoveryPort();
    QCOMPARE(IOTC_Initialize2(0), 0);
    QVERIFY(avInitialize(4096) >= 0);
}

void TestP2pStream::cleanupTestCase()
{
    avDeInitialize();
    IOTC_DeInitialize();
}

void TestP2pStream::init()
{
    static int n = 0;
    link = std::make_unique<LinkedDevice>("STREAM" + std::to_string(++n));
    QVERIFY(link->open());
    dev = &link->dev;
    sid = link->sid;
    av = link->av;
    devSession = dev->lastSession();
}

void TestP2pStream::cleanup()
{
    link.reset();
}

void TestP2pStream::videoFramesArriveIntactWithFrameInfo()
{
    const std::vector<std::size_t> sizes = {1, 1000, 100000, P2P_MAX_VIDEO_FRAME_SIZE, 0, 77};
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        const auto bytes = frameBytes(static_cast<std::uint32_t>(i), sizes[i]);
        QCOMPARE(dev->server().sendVideoFrame(devSession, 0, bytes.data(), bytes.size(),
                                              videoInfo(i == 0, 1000 + i)),
                 p2p::SendResult::Queued);
    }
    // Too large for the link: refused at the sender.
    std::vector<std::uint8_t> huge(P2P_MAX_VIDEO_FRAME_SIZE + 1);
    QCOMPARE(
        dev->server().sendVideoFrame(devSession, 0, huge.data(), huge.size(), videoInfo(true, 0)),
        p2p::SendResult::NoChannel);
    QCOMPARE(dev->server().sendVideoFrame(devSession, 9, huge.data(), 10, videoInfo(true, 0)),
             p2p::SendResult::NoChannel);

    for (std::size_t i = 0; i < sizes.size(); ++i) {
        const Received r = receiveFrame(av, buf);
        QCOMPARE(r.result, int(sizes[i]));
        QCOMPARE(r.number, unsigned(i));
        QVERIFY(r.data == frameBytes(static_cast<std::uint32_t>(i), sizes[i]));
        std::uint8_t expected[16];
        videoInfo(i == 0, 1000 + i).serialize(expected);
        QCOMPARE(std::memcmp(r.info, expected, 16), 0);
    }
    int actual = 0, expected = 0, infoSize = 0;
    unsigned number = 0;
    QCOMPARE(avRecvFrameData2(av, buf.data(), kBufSize, &actual, &expected, nullptr, 0, &infoSize,
                              &number),
             AV_ER_DATA_NOREADY);
}

void TestP2pStream::tooSmallBufferDropsOnlyThatFrame()
{
    const auto big = frameBytes(0, 5000);
    const auto next = frameBytes(1, 50);
    dev->server().sendVideoFrame(devSession, 0, big.data(), big.size(), videoInfo(true, 1));
    dev->server().sendVideoFrame(devSession, 0, next.data(), next.size(), videoInfo(false, 2));
    Received r = receiveFrame(av, buf, 100);
    QCOMPARE(r.result, AV_ER_BUFPARA_MAXSIZE_INSUFF);
    r = receiveFrame(av, buf, 100);
    QCOMPARE(r.result, 50);
    QCOMPARE(r.number, 1u);
    QVERIFY(r.data == next);

    // avClientCleanBuf drops what is buffered.
    dev->server().sendVideoFrame(devSession, 0, next.data(), next.size(), videoInfo(true, 3));
    // The audio frame sent after it shows that the video frame is in.
    dev->server().sendAudioFrame(devSession, 0, next.data(), next.size(), videoInfo(false, 3));
    QTRY_VERIFY_WITH_TIMEOUT(avCheckAudioBuf(av) > 0, 10000);
    QCOMPARE(avClientCleanBuf(av), 0);
    QCOMPARE(avCheckAudioBuf(av), 0);
    int actual = 0, expected = 0, infoSize = 0;
    unsigned number = 0;
    QCOMPARE(avRecvFrameData2(av, buf.data(), kBufSize, &actual, &expected, nullptr, 0, &infoSize,
                              &number),
             AV_ER_DATA_NOREADY);
}

void TestP2pStream::deviceAudioArrives()
{
    QCOMPARE(avCheckAudioBuf(av), 0);
    char info[16];
    unsigned number = 0;
    QCOMPARE(avRecvAudioData(av, buf.data(), 1024, info, 16, &number), AV_ER_DATA_NOREADY);

    p2p::FrameInfo a;
    a.codecId = 138;
    a.flags = 2;
    a.timestamp = 555;
    const auto pcm = frameBytes(3, 320);
    QCOMPARE(dev->server().sendAudioFrame(devSession, 0, pcm.data(), pcm.size(), a),
             p2p::SendResult::Queued);
    std::vector<std::uint8_t> tooBig(P2P_MAX_AUDIO_FRAME_SIZE + 1);
    QCOMPARE(dev->server().sendAudioFrame(devSession, 0, tooBig.data(), tooBig.size(), a),
             p2p::SendResult::NoChannel);
    QTRY_VERIFY_WITH_TIMEOUT(avCheckAudioBuf(av) > 0, 10000);
    QCOMPARE(avRecvAudioData(av, buf.data(), 1024, info, 16, &number), 320);
    QCOMPARE(std::memcmp(buf.data(), pcm.data(), 320), 0);
    const auto got = p2p::FrameInfo::parse(reinterpret_cast<std::uint8_t *>(info));
    QCOMPARE(got.codecId, std::uint16_t(138));
    QCOMPARE(got.flags, std::uint8_t(2));
    QCOMPARE(got.timestamp, 555u);
    QCOMPARE(number, 0u);
}

void TestP2pStream::slowReaderLosesWholeFramesUpToKeyFrame()
{
    // Far more than the receive queue holds, a key frame every 25 frames;
    // nobody reads meanwhile.
    constexpr std::uint32_t kFrames = 600;
    constexpr std::size_t kSize = 64 * 1024;
    int dropped = 0;
    for (std::uint32_t i = 0; i < kFrames; ++i) {
        const auto bytes = frameBytes(i, kSize);
        if (dev->server().sendVideoFrame(devSession, 0, bytes.data(), bytes.size(),
                                         videoInfo(i % 25 == 0, i)) == p2p::SendResult::Dropped)
            ++dropped;
        if (i % 50 == 0)
            QTest::qWait(20); // let the socket drain now and then
    }
    QCOMPARE(dev->server().droppedFrames(), std::uint64_t(dropped));
    // The end marker: a key frame, which always gets through.
    const auto last = frameBytes(kFrames, 10);
    QTRY_VERIFY_WITH_TIMEOUT(dev->server().sendVideoFrame(devSession, 0, last.data(), last.size(),
                                                          videoInfo(true, kFrames)) ==
                                 p2p::SendResult::Queued,
                             10000);

    std::vector<unsigned> numbers;
    for (;;) {
        const Received r = receiveFrame(av, buf);
        QVERIFY2(r.result >= 0, qPrintable(QString::number(r.result)));
        // The marker may have needed several tries, each using up a number.
        const bool marker = r.number >= kFrames;
        QVERIFY2(r.data == (marker ? last : frameBytes(r.number, kSize)),
                 "a frame arrived damaged");
        const bool key = (r.info[2] & 1) != 0;
        if (!numbers.empty() && r.number != numbers.back() + 1)
            QVERIFY2(key,
                     qPrintable(QString("gap before frame %1, not a key frame").arg(r.number)));
        if (numbers.empty())
            QVERIFY(r.number == 0 || key);
        numbers.push_back(r.number);
        if (r.number >= kFrames)
            break;
    }
    QVERIFY2(numbers.size() < kFrames, "the reader should have lost frames");
    QVERIFY(numbers.size() > 1);
}

void TestP2pStream::talkAudioReachesDevice()
{
    const int ch = IOTC_Session_Get_Free_Channel(sid);
    QVERIFY(ch > 0 && ch < 256);
    QVERIFY(IOTC_Session_Get_Free_Channel(sid) != ch); // handed out once
    const std::uint8_t start[8] = {static_cast<std::uint8_t>(ch), 0, 0, 0, 0, 0, 0, 0};
    QVERIFY(avSendIOCtrl(av, kTalkStart, reinterpret_cast<const char *>(start), 8) >= 0);
    int resend = 1;
    const int talkAv = avServStart3(sid, authAny, 20, 16, static_cast<unsigned char>(ch), &resend);
    QVERIFY2(talkAv >= 0, qPrintable(QString::number(talkAv)));
    QTRY_COMPARE_WITH_TIMEOUT(dev->count(dev->talkResults), std::size_t(1), 10000);
    QCOMPARE(std::get<2>(dev->snapshot(dev->talkResults)[0]), 0);
    QVERIFY(avClientCleanAudioBuf(talkAv) >= 0);
    unsigned resendSize = 99;
    QCOMPARE(avServGetResendSize(talkAv, &resendSize), 0);

    std::uint8_t header[16] = {0x8a, 0, 2};
    for (std::uint32_t i = 0; i < 5; ++i) {
        const auto alaw = frameBytes(i, 320);
        QCOMPARE(
            avSendAudioData(talkAv, reinterpret_cast<const char *>(alaw.data()), 320, header, 16),
            0);
    }
    std::vector<char> tooBig(P2P_MAX_AUDIO_FRAME_SIZE + 1);
    QCOMPARE(avSendAudioData(talkAv, tooBig.data(), int(tooBig.size()), header, 16),
             AV_ER_EXCEED_MAX_SIZE);
    QTRY_COMPARE_WITH_TIMEOUT(dev->count(dev->talkAudio), std::size_t(5), 10000);
    const auto got = dev->snapshot(dev->talkAudio);
    for (std::uint32_t i = 0; i < 5; ++i) {
        QCOMPARE(got[i].channel, ch);
        QVERIFY(got[i].data == frameBytes(i, 320));
        QCOMPARE(got[i].info.codecId, std::uint16_t(138));
        QCOMPARE(got[i].info.flags, std::uint8_t(2));
    }
    QCOMPARE(avServStop(talkAv), 0);
    QTRY_COMPARE_WITH_TIMEOUT(dev->count(dev->talksClosed), std::size_t(1), 10000);
    QVERIFY(avSendAudioData(talkAv, tooBig.data(), 10, header, 16) < 0);
}

void TestP2pStream::talkLoginMustMatchServedPassword()
{
    const int ch = IOTC_Session_Get_Free_Channel(sid);
    QVERIFY(ch > 0);
    const std::uint8_t start[8] = {static_cast<std::uint8_t>(ch)};
    QVERIFY(avSendIOCtrl(av, kTalkStart, reinterpret_cast<const char *>(start), 8) >= 0);
    int resend = 0;
    QCOMPARE(avServStart3(sid, authWithPassword, 2, 16, static_cast<unsigned char>(ch), &resend),
             AV_ER_TIMEOUT);
    QTRY_COMPARE_WITH_TIMEOUT(dev->count(dev->talkResults), std::size_t(1), 10000);
    QCOMPARE(std::get<2>(dev->snapshot(dev->talkResults)[0]), AV_ER_WRONG_VIEWACCorPWD);
}

QTEST_GUILESS_MAIN(TestP2pStream)
#include "tst_p2pstream.moc"
