// Video and audio frames through the P2P library: frame information, sizes,
// receive queue overflow and talk, against an in-process DeviceServer.

#include "TestDevice.h"

#include <QtTest>
#include "TestMain.h"

#include <cstring>
#include <mutex>
#include <numeric>

namespace {

// Frame bytes derived from the frame number, so a torn frame shows.
std::vector<std::uint8_t> frameBytes(std::uint32_t number, std::size_t size)
{
    std::vector<std::uint8_t> v(size);
    for (std::size_t i = 0; i < size; ++i)
        v[i] = static_cast<std::uint8_t>(number * 31 + i * 7 + (i >> 8));
    return v;
}

p2p::FrameInfo frameInfo(bool key, std::uint32_t ts, std::uint16_t codecId = 78)
{
    p2p::FrameInfo f;
    f.codecId = codecId;
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
Received receiveFrame(int av, int bufSize = P2P_MAX_VIDEO_FRAME_SIZE)
{
    static std::vector<char> buf(P2P_MAX_VIDEO_FRAME_SIZE);
    Received r;
    int actual = 0, expected = 0, infoSize = 0;
    (void)QTest::qWaitFor(
        [&] {
            r.result = avRecvFrameData2(av, buf.data(), bufSize, &actual, &expected,
                                        reinterpret_cast<char *>(r.info), 16, &infoSize, &r.number);
            return r.result != AV_ER_DATA_NOREADY;
        },
        20000);
    if (r.result >= 0)
        r.data.assign(buf.begin(), buf.begin() + r.result);
    return r;
}

int recvNoFrame(int av)
{
    char buf[16];
    int actual = 0, expected = 0, infoSize = 0;
    unsigned number = 0;
    return avRecvFrameData2(av, buf, sizeof buf, &actual, &expected, nullptr, 0, &infoSize,
                            &number);
}

const avAuthFn authAny = [](const char *, char *) { return 1; };

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

private:
    std::unique_ptr<LinkedDevice> link;
    TestDevice *dev = nullptr;
    int av = -1;
    int devSession = -1;

    p2p::SendResult sendVideo(std::uint32_t n, std::size_t size, bool key)
    {
        const auto bytes = frameBytes(n, size);
        return dev->server().sendVideoFrame(devSession, 0, bytes.data(), bytes.size(),
                                            frameInfo(key, 1000 + n));
    }

private slots:
    void initTestCase()
    {
        useRandomDiscoveryPort();
        QCOMPARE(IOTC_Initialize2(0), 0);
        QVERIFY(avInitialize(4096) >= 0);
    }

    void cleanupTestCase()
    {
        avDeInitialize();
        IOTC_DeInitialize();
    }

    void init()
    {
        static int n = 0;
        link = std::make_unique<LinkedDevice>("STREAM" + std::to_string(++n));
        QVERIFY(link->open());
        dev = &link->dev;
        av = link->av;
        devSession = dev->snapshot(dev->sessionsOpened).back();
    }

    void cleanup() { link.reset(); }

    void videoFramesArriveIntactOrNotAtAll()
    {
        const std::vector<std::size_t> sizes = {1, 1000, 100000, P2P_MAX_VIDEO_FRAME_SIZE, 0, 77};
        for (std::size_t i = 0; i < sizes.size(); ++i)
            QCOMPARE(sendVideo(std::uint32_t(i), sizes[i], i == 0), p2p::SendResult::Queued);
        // Too large for the link, or no such channel: refused at the sender.
        std::vector<std::uint8_t> huge(P2P_MAX_VIDEO_FRAME_SIZE + 1);
        QCOMPARE(dev->server().sendVideoFrame(devSession, 0, huge.data(), huge.size(),
                                              frameInfo(true, 0)),
                 p2p::SendResult::NoChannel);
        QCOMPARE(dev->server().sendVideoFrame(devSession, 9, huge.data(), 10, frameInfo(true, 0)),
                 p2p::SendResult::NoChannel);

        for (std::size_t i = 0; i < sizes.size(); ++i) {
            const Received r = receiveFrame(av);
            QCOMPARE(r.result, int(sizes[i]));
            QCOMPARE(r.number, unsigned(i));
            QVERIFY(r.data == frameBytes(static_cast<std::uint32_t>(i), sizes[i]));
            std::uint8_t expected[16];
            frameInfo(i == 0, 1000 + i).serialize(expected);
            QCOMPARE(std::memcmp(r.info, expected, 16), 0);
        }
        QCOMPARE(recvNoFrame(av), AV_ER_DATA_NOREADY);

        // A buffer too small drops that frame only.
        sendVideo(6, 5000, true);
        sendVideo(7, 50, false);
        QCOMPARE(receiveFrame(av, 100).result, AV_ER_BUFPARA_MAXSIZE_INSUFF);
        const Received r = receiveFrame(av, 100);
        QCOMPARE(r.result, 50);
        QCOMPARE(r.number, 7u);
        QVERIFY(r.data == frameBytes(7, 50));
    }

    void deviceAudioArrivesAndCleanBufDropsWhatIsBuffered()
    {
        QCOMPARE(avCheckAudioBuf(av), 0);
        char buf[1024];
        char info[16];
        unsigned number = 0;
        QCOMPARE(avRecvAudioData(av, buf, 1024, info, 16, &number), AV_ER_DATA_NOREADY);

        const p2p::FrameInfo a = frameInfo(false, 555, 138);
        const auto pcm = frameBytes(3, 320);
        QCOMPARE(dev->server().sendAudioFrame(devSession, 0, pcm.data(), pcm.size(), a),
                 p2p::SendResult::Queued);
        std::vector<std::uint8_t> tooBig(P2P_MAX_AUDIO_FRAME_SIZE + 1);
        QCOMPARE(dev->server().sendAudioFrame(devSession, 0, tooBig.data(), tooBig.size(), a),
                 p2p::SendResult::NoChannel);
        QTRY_VERIFY_WITH_TIMEOUT(avCheckAudioBuf(av) > 0, 10000);
        QCOMPARE(avRecvAudioData(av, buf, 1024, info, 16, &number), 320);
        QCOMPARE(std::memcmp(buf, pcm.data(), 320), 0);
        std::uint8_t expected[16];
        a.serialize(expected);
        QCOMPARE(std::memcmp(info, expected, 16), 0);
        QCOMPARE(number, 0u);

        // avClientCleanBuf drops what is buffered; the audio frame sent after the video
        // frame shows that the video frame is in.
        sendVideo(2, 50, true);
        dev->server().sendAudioFrame(devSession, 0, pcm.data(), pcm.size(), a);
        QTRY_VERIFY_WITH_TIMEOUT(avCheckAudioBuf(av) > 0, 10000);
        QCOMPARE(avClientCleanBuf(av), 0);
        QCOMPARE(avCheckAudioBuf(av), 0);
        QCOMPARE(recvNoFrame(av), AV_ER_DATA_NOREADY);
    }

    // The frame-ready callback: called on the io thread with no lock of the
    // library held (it receives right there), once a removal returned never
    // again, and once when the device ends the session.
    void frameReadyCallbackPushesFramesAndTheClose()
    {
        struct Seen
        {
            std::mutex lock;
            std::vector<unsigned> numbers;
            int audio = 0;
            int closed = 0;
            int lastError = 0;
        };
        static Seen seen;
        {
            std::lock_guard<std::mutex> l(seen.lock);
            seen.numbers.clear();
            seen.audio = seen.closed = seen.lastError = 0;
        }
        const avFrameReadyFn onReady = [](int avIndex, int kind, void *context) {
            auto *s = static_cast<Seen *>(context);
            std::lock_guard<std::mutex> l(s->lock);
            if (kind == P2P_READY_AUDIO)
                ++s->audio;
            if (kind == P2P_READY_CLOSED)
                ++s->closed;
            static std::vector<char> buf(P2P_MAX_VIDEO_FRAME_SIZE);
            for (;;) {
                int actual = 0, expected = 0, infoSize = 0;
                unsigned number = 0;
                char info[16];
                const int r = avRecvFrameData2(avIndex, buf.data(), int(buf.size()), &actual,
                                               &expected, info, 16, &infoSize, &number);
                if (r < 0) {
                    s->lastError = r;
                    break;
                }
                s->numbers.push_back(number);
            }
        };
        auto numbers = [] {
            std::lock_guard<std::mutex> l(seen.lock);
            return seen.numbers;
        };
        auto count = [](const int &field) {
            std::lock_guard<std::mutex> l(seen.lock);
            return field;
        };
        QCOMPARE(avSetFrameReadyCallback(-1, onReady, &seen), AV_ER_INVALID_ARG);
        QCOMPARE(avSetFrameReadyCallback(av, onReady, &seen), 0);
        for (std::uint32_t n = 0; n < 5; ++n)
            sendVideo(n, 1000, n == 0);
        const auto pcm = frameBytes(0, 320);
        dev->server().sendAudioFrame(devSession, 0, pcm.data(), pcm.size(),
                                     frameInfo(false, 1, 138));
        QTRY_COMPARE_WITH_TIMEOUT(numbers().size(), size_t(5), 10000);
        QCOMPARE(numbers(), (std::vector<unsigned>{0, 1, 2, 3, 4}));
        QTRY_COMPARE_WITH_TIMEOUT(count(seen.audio), 1, 10000);

        QCOMPARE(avSetFrameReadyCallback(av, nullptr, nullptr), 0);
        sendVideo(5, 1000, true);
        const Received r = receiveFrame(av); // still queued: nobody took it
        QCOMPARE(r.number, 5u);
        QCOMPARE(numbers().size(), size_t(5));

        QCOMPARE(avSetFrameReadyCallback(av, onReady, &seen), 0);
        dev->server().closeSession(devSession);
        QTRY_COMPARE_WITH_TIMEOUT(count(seen.closed), 1, 10000);
        std::lock_guard<std::mutex> l(seen.lock);
        QVERIFY(seen.lastError < 0 && seen.lastError != AV_ER_DATA_NOREADY);
        QCOMPARE(avSetFrameReadyCallback(av, nullptr, nullptr), 0);
    }

    // The receive queue holds 64 frames. 100 arrive while nobody reads (frame 0 a key
    // frame), 10 are read, then 10 more arrive with a key frame at 105: the reader gets 0..63
    // and 105..109, the frames lost in between whole. An audio frame after each batch shows
    // when the client has taken the batch in.
    void slowReaderLosesWholeFramesUpToKeyFrame()
    {
        constexpr std::size_t kSize = 64 * 1024;
        const auto pcm = frameBytes(0, 320);
        int batches = 0;
        std::vector<unsigned> numbers;
        const auto batch = [&](std::uint32_t from, std::uint32_t to, std::uint32_t key) {
            for (std::uint32_t i = from; i < to; ++i)
                QCOMPARE(sendVideo(i, kSize, i == key), p2p::SendResult::Queued);
            dev->server().sendAudioFrame(devSession, 0, pcm.data(), pcm.size(), frameInfo(0, 0));
            ++batches;
            QTRY_COMPARE_WITH_TIMEOUT(avCheckAudioBuf(av), batches, 20000);
        };
        const auto read = [&](int n) {
            for (int i = 0; i < n; ++i) {
                const Received r = receiveFrame(av);
                QVERIFY2(r.result == int(kSize) && r.data == frameBytes(r.number, kSize),
                         "a frame arrived damaged");
                numbers.push_back(r.number);
            }
        };
        batch(0, 100, 0);
        read(10);
        batch(100, 110, 105);
        read(59);
        QVERIFY(!QTest::currentTestFailed());
        QCOMPARE(recvNoFrame(av), AV_ER_DATA_NOREADY);
        std::vector<unsigned> expected(64);
        std::iota(expected.begin(), expected.end(), 0u);
        expected.insert(expected.end(), {105, 106, 107, 108, 109});
        QCOMPARE(numbers, expected);
        QCOMPARE(dev->server().droppedFrames(), std::uint64_t(0));
    }

    void talkLoginIsCheckedAgainstTheServedPassword_data()
    {
        QTest::addColumn<bool>("anyPassword");
        QTest::newRow("callback accepts any password") << true;
        QTest::newRow("callback names a password the device lacks") << false;
    }

    // The device logs in on a channel the client serves (avServStart3); audio then
    // flows from the client to the device.
    void talkLoginIsCheckedAgainstTheServedPassword()
    {
        QFETCH(bool, anyPassword);
        const int ch = IOTC_Session_Get_Free_Channel(link->sid);
        QVERIFY(ch > 0 && ch < 256);
        QVERIFY(IOTC_Session_Get_Free_Channel(link->sid) != ch); // handed out once
        const std::uint8_t start[8] = {static_cast<std::uint8_t>(ch)};
        QVERIFY(avSendIOCtrl(av, kTalkStart, reinterpret_cast<const char *>(start), 8) >= 0);
        int resend = 1;
        const int talkAv = avServStart3(link->sid, anyPassword ? authAny : authWithPassword,
                                        anyPassword ? 20 : 2, 16, std::uint8_t(ch), &resend);
        QTRY_COMPARE_WITH_TIMEOUT(dev->snapshot(dev->talkResults).size(), std::size_t(1), 10000);
        if (!anyPassword) {
            QCOMPARE(talkAv, AV_ER_TIMEOUT);
            QCOMPARE(dev->snapshot(dev->talkResults)[0], AV_ER_WRONG_VIEWACCorPWD);
            return;
        }
        QVERIFY2(talkAv >= 0, qPrintable(QString::number(talkAv)));
        QCOMPARE(dev->snapshot(dev->talkResults)[0], 0);
        QVERIFY(avClientCleanAudioBuf(talkAv) >= 0);
        unsigned resendSize = 99;
        QCOMPARE(avServGetResendSize(talkAv, &resendSize), 0);

        std::uint8_t header[16] = {0x8a, 0, 2};
        for (std::uint32_t i = 0; i < 5; ++i) // the frame bytes live to the end of the call
            QCOMPARE(avSendAudioData(talkAv,
                                     reinterpret_cast<const char *>(frameBytes(i, 320).data()), 320,
                                     header, 16),
                     0);
        std::vector<char> tooBig(P2P_MAX_AUDIO_FRAME_SIZE + 1);
        QCOMPARE(avSendAudioData(talkAv, tooBig.data(), int(tooBig.size()), header, 16),
                 AV_ER_EXCEED_MAX_SIZE);
        QTRY_COMPARE_WITH_TIMEOUT(dev->snapshot(dev->talkAudio).size(), std::size_t(5), 10000);
        const auto got = dev->snapshot(dev->talkAudio);
        for (std::uint32_t i = 0; i < 5; ++i) {
            QCOMPARE(got[i].channel, ch);
            QVERIFY(got[i].data == frameBytes(i, 320));
            QCOMPARE(got[i].info.codecId, std::uint16_t(138));
            QCOMPARE(got[i].info.flags, std::uint8_t(2));
        }
        QCOMPARE(avServStop(talkAv), 0);
        QTRY_COMPARE_WITH_TIMEOUT(dev->snapshot(dev->talksClosed).size(), std::size_t(1), 10000);
        QCOMPARE(avSendAudioData(talkAv, tooBig.data(), 10, header, 16), AV_ER_INVALID_ARG);
    }
};

ORVANE_TEST_GUILESS_MAIN(TestP2pStream)
#include "tst_p2pstream.moc"
