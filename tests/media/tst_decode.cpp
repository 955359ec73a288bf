// The stream driver: frames pushed by the library are received and decoded
// on the stream's worker without a poll; streams follow their channel;
// receive failures report the link; audio routing; the current mode only.

#include "FakeSdk.h"

#include "link/ChannelBufferItem.h"
#include "link/ErrorText.h"
#include "media/ChannelStream.h"
#include "media/Decode.h"
#include "media/FfmpegLog.h"
#include "media/StreamWatch.h"
#include "media/Video.h"
#include "model/Channel.h"
#include "model/Dev.h"
#include "model/Device.h"

#include <QtTest>
#include "TestMain.h"

#include <atomic>
#include <mutex>
#include <thread>

namespace {

FakeSdk::Frame videoFrame(int size, uint32_t ts = 0)
{
    return {0, QByteArray(size, '\x11'), frameInfo(78, 0, ts), 0};
}

} // namespace

class TestDecode : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        FakeSdk::install();
        FakeSdk::reset();
        m_device = std::make_unique<Device>();
        m_device->setUid(QStringLiteral("CAM7"));
        m_device->setChannelCount(2);
        m_channel = m_device->channel(1);
        m_decode = std::make_unique<Decode>(&m_video);
        m_reports = 0;
        m_decode->setLinkLostHandler([this](Device *d, int code) {
            QCOMPARE(d, m_device.get());
            QVERIFY(code < 0 && code != AV_ER_DATA_NOREADY);
            ++m_reports;
        });
    }
    void cleanup()
    {
        m_decode.reset();
        Dev::instance()->removeDevice(m_device.get());
        m_device.reset();
    }

    // A frame the library queues reaches the decoder through the callback
    // alone: nothing calls the library before it is notified.
    void pushedFramesAreReceivedAndDecodedWithoutPolling()
    {
        QSignalSpy outcomes(&m_video, &Video::decodeOutcome);
        m_channel->setAvIndex(11, true);
        QVERIFY(!FakeSdk::hasFrameReady(11)); // neither video nor audio on yet
        m_channel->setVideoOn(true, true);
        QVERIFY(FakeSdk::hasFrameReady(11));
        QTRY_COMPARE(FakeSdk::videoCalls(11), 1); // what waited at the start: nothing
        QTest::qWait(200);
        QCOMPARE(FakeSdk::videoCalls(11), 1); // and no poll since

        for (int i = 0; i < 3; ++i)
            FakeSdk::pushVideo(11, videoFrame(40 + i));
        QTRY_COMPARE(m_decode->videoFrames(), quint64(3));
        QTRY_COMPARE(outcomes.size(), 3);
        QCOMPARE(m_channel->slot(true).counters.framesReceived.load(), quint64(3));
        QCOMPARE(m_reports, 0);
    }

    // The stream is replaced when the AV index changes and ends when video
    // and audio are both off or the channel goes away.
    void streamsFollowTheirChannel()
    {
        m_channel->setAvIndex(4, false);
        m_channel->setAudioOn(true, false);
        QVERIFY(FakeSdk::hasFrameReady(4));
        std::shared_ptr<ChannelStream> first = m_decode->stream(m_channel, false);
        QVERIFY(first);
        QCOMPARE(first->source(), ChannelStream::Source::Pull);
        m_channel->setVideoOn(true, false);
        QCOMPARE(m_decode->stream(m_channel, false), first);

        m_channel->setAvIndex(5, false);
        QVERIFY(!FakeSdk::hasFrameReady(4));
        QVERIFY(FakeSdk::hasFrameReady(5));
        QVERIFY(m_decode->stream(m_channel, false) != first);

        m_channel->setVideoOn(false, false);
        QVERIFY(FakeSdk::hasFrameReady(5));
        m_channel->setAudioOn(false, false);
        QVERIFY(!FakeSdk::hasFrameReady(5));
        QVERIFY(!m_decode->stream(m_channel, false));

        m_channel->setAvIndex(6, true);
        m_channel->setVideoOn(true, true);
        m_decode->releaseChannel(m_channel);
        QVERIFY(!FakeSdk::hasFrameReady(6));
        FakeSdk::notify(6, P2P_READY_VIDEO); // nobody listens any more
    }

    // How receive failures end: a session-ending code reports the link lost
    // at once; any other error after a streak; a frame in between starts
    // over. Failures other than "no data" are signalled.
    void receiveFailuresReportTheLink_data()
    {
        QTest::addColumn<QList<int>>("results"); // receive results in order; >= 0 a frame
        QTest::addColumn<int>("linkReports");
        QTest::newRow("session closed by the device")
            << QList<int>(3, AV_ER_SESSION_CLOSE_BY_REMOTE) << 1;
        QTest::newRow("keep-alive expired") << QList<int>{AV_ER_REMOTE_TIMEOUT_DISCONNECT} << 1;
        QTest::newRow("a streak of other errors")
            << QList<int>(StreamWatch::HardFailureStreak, AV_ER_MEM_INSUFF) << 1;
        QTest::newRow("other errors broken by a frame")
            << (QList<int>(StreamWatch::HardFailureStreak - 1, AV_ER_MEM_INSUFF) + QList<int>{50} +
                QList<int>(StreamWatch::HardFailureStreak - 1, AV_ER_MEM_INSUFF))
            << 0;
    }
    void receiveFailuresReportTheLink()
    {
        QFETCH(QList<int>, results);
        QFETCH(int, linkReports);
        QSignalSpy failures(m_decode.get(), &Decode::receiveVideoData);
        // An online device's stream, as the watch sees it (a stream it does
        // not see is forgotten, streak and all, at its next round); the
        // rounds may restart nothing here.
        m_device->setLinkState(Device::LinkState::Online);
        QCOMPARE(Dev::instance()->addOrUpdate(m_device.get()), m_device.get());
        m_decode->setRestartHandler([](Channel *, bool) {});
        m_channel->setAvIndex(9, true);
        m_channel->setVideoOn(true, true);
        QTRY_COMPARE(FakeSdk::videoCalls(9), 1);
        int calls = 1;
        for (int r : results) {
            // One notification at a time, each seen by the GUI thread, as
            // frames spread over time arrive.
            if (r >= 0) {
                FakeSdk::pushVideo(9, videoFrame(r));
                calls += 2; // the frame, then "no data"
            } else {
                FakeSdk::state().video[9].append({r, {}, {}, 0});
                FakeSdk::notify(9, P2P_READY_VIDEO);
                calls += 1;
            }
            QTRY_COMPARE(FakeSdk::videoCalls(9), calls);
        }
        QTRY_COMPARE(m_reports, linkReports);
        // Every failure but the one reported as a lost link is signalled.
        const int errors =
            int(std::count_if(results.begin(), results.end(), [](int r) { return r < 0; }));
        QTRY_COMPARE(failures.size(), errors - linkReports);
        if (!failures.isEmpty()) {
            QCOMPARE(failures.first().at(0).value<Channel *>(), m_channel);
            QCOMPARE(failures.first().at(1).toInt(), results.first());
            QCOMPARE(failures.first().at(2).toString(), errorText(results.first()));
        }
    }

    // A device deleted while frames of its channels are being received and
    // decoded: its streams stop with its channels, nothing of it is touched
    // afterwards (the sanitizer builds check), and frames keep arriving for
    // nobody.
    void deletingADeviceWhileItsStreamsDecodeIsSafe()
    {
        Channel::setDestroyHook([](Channel *ch) {
            if (current)
                current->releaseChannel(ch);
        });
        current = m_decode.get();
        auto device = std::make_unique<Device>();
        device->setUid(QStringLiteral("DOOMED"));
        device->setChannelCount(4);
        for (int i = 0; i < 4; ++i) {
            device->channel(i)->setAvIndex(30 + i, true);
            device->channel(i)->setVideoOn(true, true);
        }
        std::atomic<bool> stop{false};
        std::thread source([&] { // as the library's io thread
            for (int n = 0; !stop.load(); ++n) {
                FakeSdk::pushVideo(30 + n % 4, videoFrame(64, uint32_t(n)));
                std::this_thread::yield();
            }
        });
        QTRY_VERIFY(m_decode->videoFrames() >= 40);
        device.reset();
        for (int i = 0; i < 4; ++i)
            QVERIFY(!FakeSdk::hasFrameReady(30 + i));
        const quint64 after = m_decode->videoFrames();
        QTest::qWait(100);
        stop = true;
        source.join();
        QCOMPARE(m_decode->videoFrames(), after);
        Channel::setDestroyHook(nullptr);
        current = nullptr;
        FakeSdk::reset();
    }

    // A stream that should deliver is reported silent after NoVideoMs without
    // a frame, once, then watched again; a stream no longer listed is forgotten.
    void silentStreamsAreReportedOnce()
    {
        StreamWatch watch;
        Channel *other = m_device->channel(0);
        const QList<StreamWatch::Stream> both{{m_channel, true}, {other, true}};
        const qint64 t0 = 1000;
        QVERIFY(watch.silentStreams(both, t0).isEmpty());
        watch.frameArrived(other, true, t0 + 4000);
        QVERIFY(watch.silentStreams(both, t0 + StreamWatch::NoVideoMs - 1).isEmpty());
        QCOMPARE(watch.silentStreams(both, t0 + StreamWatch::NoVideoMs),
                 (QList<StreamWatch::Stream>{{m_channel, true}}));
        QVERIFY(watch.silentStreams(both, t0 + StreamWatch::NoVideoMs + 1000).isEmpty());
        QCOMPARE(watch.silentStreams(both, t0 + 4000 + StreamWatch::NoVideoMs),
                 (QList<StreamWatch::Stream>{{other, true}}));
        // Dropped from the list and back: the watch starts again.
        QVERIFY(watch.silentStreams({}, t0 + 20000).isEmpty());
        QVERIFY(watch.silentStreams(both, t0 + 20000).isEmpty());
        QCOMPARE(watch.silentStreams(both, t0 + 20000 + StreamWatch::NoVideoMs).size(), 2);
    }

    // FFmpeg's log: LinesPerSecond lines pass in each second; the rest are
    // counted and the count is reported when the next second begins.
    void ffmpegLogIsRateLimited()
    {
        FfmpegLog::Limiter limiter;
        int dropped = -1;
        int passed = 0;
        for (int i = 0; i < 3 * FfmpegLog::LinesPerSecond; ++i)
            passed += limiter.admit(5000 + i, &dropped) ? 1 : 0;
        QCOMPARE(passed, FfmpegLog::LinesPerSecond);
        QCOMPARE(dropped, 0);
        QVERIFY(limiter.admit(6000, &dropped));
        QCOMPARE(dropped, 2 * FfmpegLog::LinesPerSecond);
        QVERIFY(limiter.admit(1000, &dropped)); // the clock went back: a new window
    }

    // Audio frames go to the audio handler on the stream's worker, by codec;
    // other codecs are freed.
    void audioFramesGoToTheAudioHandlerByCodec()
    {
        std::mutex lock;
        QList<int> lengths;
        m_decode->setAudioHandler([&](Channel *c, bool live, ChannelBufferItem *item) {
            std::lock_guard<std::mutex> l(lock);
            if (c == m_channel && live)
                lengths.append(item->audioLength);
            delete item;
        });
        m_channel->setAvIndex(13, true);
        m_channel->setAudioOn(true, true);
        FakeSdk::pushAudio(13, {0, QByteArray(320, 'a'), frameInfo(138, 0, 0), 0});
        FakeSdk::pushAudio(13, {0, QByteArray(160, 'b'), frameInfo(143, 0, 0), 0});
        FakeSdk::pushAudio(13, {0, QByteArray(320, 'c'), frameInfo(135, 0, 0), 0});
        QTRY_COMPARE(m_decode->audioFrames(), quint64(3));
        std::lock_guard<std::mutex> l(lock);
        QCOMPARE(lengths, (QList<int>{320, 160}));
    }

    // Only the streams of the current mode take their frames; the others'
    // wait in the library until their mode is current again.
    void onlyTheCurrentModeIsReceived()
    {
        bool live = true;
        m_decode->setModeSource([&] { return live; });
        m_channel->setAvIndex(21, true);
        m_channel->setVideoOn(true, true);
        m_channel->setAvIndex(22, false);
        m_channel->setVideoOn(true, false);
        QTRY_COMPARE(FakeSdk::videoCalls(21), 1);
        FakeSdk::pushVideo(21, videoFrame(30));
        FakeSdk::pushVideo(22, videoFrame(30));
        QTRY_COMPARE(FakeSdk::videoCalls(21), 3);
        QTest::qWait(100);
        QCOMPARE(FakeSdk::videoCalls(22), 0);

        live = false;
        m_decode->modeChanged();
        QTRY_COMPARE(FakeSdk::videoCalls(22), 2);
        FakeSdk::pushVideo(21, videoFrame(30));
        QTest::qWait(100);
        QCOMPARE(FakeSdk::videoCalls(21), 3);
    }

private:
    static inline Decode *current = nullptr; // for the destroy hook
    Video m_video;
    std::unique_ptr<Device> m_device;
    Channel *m_channel = nullptr;
    std::unique_ptr<Decode> m_decode;
    int m_reports = 0;
};

ORVANE_TEST_GUILESS_MAIN(TestDecode)
#include "tst_decode.moc"
