// The polling driver: failure counting, restart and link-loss reports, the
// silence watch, audio routing, polling of the current mode only.

#include "FakeSdk.h"

#include "link/ChannelBufferItem.h"
#include "link/ErrorText.h"
#include "media/Decode.h"
#include "media/FfmpegLog.h"
#include "media/MediaEvents.h"
#include "media/StreamReceive.h"
#include "media/StreamWatch.h"
#include "media/Video.h"
#include "model/Channel.h"
#include "model/Dev.h"
#include "model/Device.h"

#include <QtTest>
#include "TestMain.h"

namespace {

ChannelBufferItem *videoItem(int size, uint16_t codec = 78)
{
    auto *item = new ChannelBufferItem;
    item->data = new uint8_t[size_t(qMax(size, 1))]();
    item->capacity = qMax(size, 1);
    item->size = size;
    const QByteArray info = frameInfo(codec, 0, 0);
    std::memcpy(item->frameInfo, info.constData(), 16);
    return item;
}

void sendVideo(Decode &decode, Channel *channel, bool live, int result)
{
    DecodeEvent_getVideo ev(channel, live, result, videoItem(result < 0 ? 0 : result));
    QCoreApplication::sendEvent(&decode, &ev);
}

struct Restart
{
    Channel *channel;
    bool live;
};

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
        m_decode->stopRun(); // events are driven by hand here
        m_restarts.clear();
        m_decode->setRestartHandler([this](Channel *c, bool live) {
            m_restarts.append({c, live});
        });
    }
    void cleanup()
    {
        m_decode.reset();
        QThreadPool::globalInstance()->waitForDone();
        m_device.reset();
    }

    // How consecutive receive failures end: "no data" 1000 times restarts the
    // stream; a session-ending code reports the link lost at once; any other
    // error reports it after a streak; a frame in between starts over.
    void receiveFailuresRestartOrReportTheLink_data()
    {
        QTest::addColumn<QList<int>>("results"); // receive results in order; >= 0 a frame
        QTest::addColumn<int>("restarts");
        QTest::addColumn<int>("linkReports");
        const QList<int> noData999(999, AV_ER_DATA_NOREADY);
        QTest::newRow("999 times no data, then a frame")
            << (noData999 + QList<int>{50} + noData999) << 0 << 0;
        QTest::newRow("1000 times no data") << QList<int>(1000, AV_ER_DATA_NOREADY) << 1 << 0;
        QTest::newRow("2000 times no data") << QList<int>(2000, AV_ER_DATA_NOREADY) << 2 << 0;
        QTest::newRow("session closed by the device")
            << QList<int>(3, AV_ER_SESSION_CLOSE_BY_REMOTE) << 0 << 1;
        QTest::newRow("keep-alive expired") << QList<int>{AV_ER_REMOTE_TIMEOUT_DISCONNECT} << 0 << 1;
        QTest::newRow("a streak of other errors")
            << QList<int>(StreamWatch::HardFailureStreak, AV_ER_MEM_INSUFF) << 0 << 1;
        QTest::newRow("other errors broken by a frame")
            << (QList<int>(StreamWatch::HardFailureStreak - 1, AV_ER_MEM_INSUFF) + QList<int>{50} +
                QList<int>(StreamWatch::HardFailureStreak - 1, AV_ER_MEM_INSUFF))
            << 0 << 0;
    }
    void receiveFailuresRestartOrReportTheLink()
    {
        QFETCH(QList<int>, results);
        QFETCH(int, restarts);
        QFETCH(int, linkReports);
        int reports = 0;
        m_decode->setLinkLostHandler([&](Device *d, int code) {
            QCOMPARE(d, m_device.get());
            QVERIFY(code < 0 && code != AV_ER_DATA_NOREADY);
            ++reports;
        });
        for (int r : results)
            sendVideo(*m_decode, m_channel, true, r);
        QCOMPARE(m_restarts.size(), restarts);
        QCOMPARE(reports, linkReports);
        for (const Restart &r : std::as_const(m_restarts))
            QVERIFY(r.channel == m_channel && r.live);
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

    void playbackRestartIsLogged()
    {
        m_decode->setModeSource([] { return false; });
        QTest::ignoreMessage(QtDebugMsg, "restart replay:CAM7,1");
        for (int i = 0; i < 1000; ++i)
            sendVideo(*m_decode, m_channel, false, AV_ER_DATA_NOREADY);
        QCOMPARE(m_restarts.size(), 1);
        QVERIFY(!m_restarts.first().live);
    }

    void failuresOtherThanNoDataAreSignalled()
    {
        QSignalSpy spy(m_decode.get(), &Decode::receiveVideoData);
        sendVideo(*m_decode, m_channel, true, AV_ER_DATA_NOREADY);
        QCOMPARE(spy.size(), 0);
        sendVideo(*m_decode, m_channel, true, AV_ER_MEM_INSUFF);
        QCOMPARE(spy.size(), 1);
        QCOMPARE(spy.first().at(0).value<Channel *>(), m_channel);
        QCOMPARE(spy.first().at(1).toInt(), AV_ER_MEM_INSUFF);
        QCOMPARE(spy.first().at(2).toString(), errorText(AV_ER_MEM_INSUFF));
    }

    void audioFramesGoToTheAudioHandlerByCodec()
    {
        QList<int> lengths;
        m_decode->setAudioHandler([&](Channel *c, bool live, ChannelBufferItem *item) {
            QCOMPARE(c, m_channel);
            QVERIFY(live);
            lengths.append(item->audioLength);
            delete item;
        });
        auto send = [&](int result, uint16_t codec) {
            ChannelBufferItem *item = videoItem(qMax(result, 0), codec);
            DecodeEvent_getAudio ev(m_channel, true, result, item);
            QCoreApplication::sendEvent(m_decode.get(), &ev);
        };
        send(320, 138);
        send(160, 143);
        send(320, 135); // not an audio codec: freed
        send(0, 0);     // nothing buffered
        send(-20015, 138);
        QCOMPARE(lengths, (QList<int>{320, 160}));
        QCOMPARE(m_decode->audioFrames(), quint64(3)); // the empty poll is no frame
    }

    void pollingStartsStepsForTheCurrentModeOnly()
    {
        Dev *dev = Dev::instance();
        auto *device = new Device;
        device->setUid(QStringLiteral("POLL1"));
        device->setChannelCount(2);
        device = dev->addOrUpdate(device);
        device->setSessionId(0);
        Channel *a = device->channel(0);
        Channel *b = device->channel(1);
        a->setAvIndex(11, true);
        a->setVideoOn(true, true);
        a->setAvIndex(12, false);
        a->setVideoOn(true, false);
        b->setAvIndex(13, true); // video not on: not polled
        b->setAudioOn(true, true);
        FakeSdk::audio()[13] = {{0, QByteArray(320, 'a'), frameInfo(138, 0, 0), 0}};
        int audioSeen = 0;
        m_decode->setAudioHandler([&](Channel *, bool, ChannelBufferItem *item) {
            ++audioSeen;
            delete item;
        });

        m_decode->getData(); // stopped: nothing
        QThreadPool::globalInstance()->waitForDone();
        QCOMPARE(FakeSdk::videoCalls(11), 0);

        Decode running(&m_video);
        running.setAudioHandler([&](Channel *, bool, ChannelBufferItem *item) {
            ++audioSeen;
            delete item;
        });
        QTRY_VERIFY_WITH_TIMEOUT(FakeSdk::videoCalls(11) >= 2, 20000);
        QTRY_COMPARE_WITH_TIMEOUT(audioSeen, 1, 20000);
        QCOMPARE(FakeSdk::videoCalls(12), 0);
        QCOMPARE(FakeSdk::videoCalls(13), 0);

        running.setModeSource([] { return false; });
        QTRY_VERIFY_WITH_TIMEOUT(FakeSdk::videoCalls(12) >= 1, 20000);
        running.stopRun();
        QThreadPool::globalInstance()->waitForDone();
        QCoreApplication::processEvents();
        dev->removeDevice(device);
        delete device;
    }

private:
    Video m_video;
    std::unique_ptr<Device> m_device;
    Channel *m_channel = nullptr;
    std::unique_ptr<Decode> m_decode;
    QList<Restart> m_restarts;
};

ORVANE_TEST_GUILESS_MAIN(TestDecode)
#include "tst_decode.moc"
