// The polling driver: failure counting and restart, audio routing, polling
// of the current mode only.

#include "FakeSdk.h"

#include "link/ChannelBufferItem.h"
#include "link/ErrorText.h"
#include "media/Decode.h"
#include "media/MediaEvents.h"
#include "media/StreamReceive.h"
#include "media/Video.h"
#include "model/Channel.h"
#include "model/Dev.h"
#include "model/Device.h"

#include <QtTest>

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

    void failuresCountUpAndASuccessResetsThem()
    {
        for (int i = 0; i < 999; ++i)
            sendVideo(*m_decode, m_channel, true, StreamReceive::NoDataReady);
        QCOMPARE(m_channel->rxErrorCount(true), 999);
        QCOMPARE(m_channel->rxErrorCount(false), 0);
        sendVideo(*m_decode, m_channel, true, 50);
        QCOMPARE(m_channel->rxErrorCount(true), 0);
        QCOMPARE(m_decode->videoFrames(), quint64(1));
        QVERIFY(m_restarts.isEmpty());
    }

    void thousandthConsecutiveFailureRestartsTheLiveStream()
    {
        for (int i = 0; i < 999; ++i)
            sendVideo(*m_decode, m_channel, true, StreamReceive::NoDataReady);
        QVERIFY(m_restarts.isEmpty());
        sendVideo(*m_decode, m_channel, true, StreamReceive::NoDataReady);
        QCOMPARE(m_restarts.size(), 1);
        QCOMPARE(m_restarts.first().channel, m_channel);
        QVERIFY(m_restarts.first().live);
        QCOMPARE(m_channel->rxErrorCount(true), 0);
        // The count starts again: another 1000 are needed.
        for (int i = 0; i < 999; ++i)
            sendVideo(*m_decode, m_channel, true, -20015);
        QCOMPARE(m_restarts.size(), 1);
        sendVideo(*m_decode, m_channel, true, -20015);
        QCOMPARE(m_restarts.size(), 2);
    }

    void playbackRestartIsLogged()
    {
        m_decode->setModeSource([] { return false; });
        QTest::ignoreMessage(QtDebugMsg, "restart replay:CAM7,1");
        for (int i = 0; i < 1000; ++i)
            sendVideo(*m_decode, m_channel, false, StreamReceive::NoDataReady);
        QCOMPARE(m_restarts.size(), 1);
        QVERIFY(!m_restarts.first().live);
    }

    void failuresOtherThanNoDataAreSignalled()
    {
        QSignalSpy spy(m_decode.get(), &Decode::receiveVideoData);
        sendVideo(*m_decode, m_channel, true, StreamReceive::NoDataReady);
        QCOMPARE(spy.size(), 0);
        sendVideo(*m_decode, m_channel, true, -20015);
        QCOMPARE(spy.size(), 1);
        QCOMPARE(spy.first().at(0).value<Channel *>(), m_channel);
        QCOMPARE(spy.first().at(1).toInt(), -20015);
        QCOMPARE(spy.first().at(2).toString(), errorText(-20015));
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
        QCOMPARE(m_decode->audioFrames(), quint64(4));
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
        QCOMPARE(FakeSdk::videoCalls().value(11), 0);

        Decode running(&m_video);
        running.setAudioHandler([&](Channel *, bool, ChannelBufferItem *item) {
            ++audioSeen;
            delete item;
        });
        QTRY_VERIFY_WITH_TIMEOUT(FakeSdk::videoCalls().value(11) >= 2, 20000);
        QTRY_COMPARE_WITH_TIMEOUT(audioSeen, 1, 20000);
        QCOMPARE(FakeSdk::videoCalls().value(12), 0);
        QCOMPARE(FakeSdk::videoCalls().value(13), 0);

        running.setModeSource([] { return false; });
        QTRY_VERIFY_WITH_TIMEOUT(FakeSdk::videoCalls().value(12) >= 1, 20000);
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

QTEST_GUILESS_MAIN(TestDecode)
#include "tst_decode.moc"
