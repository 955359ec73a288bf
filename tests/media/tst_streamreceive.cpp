// Taking frames from the library, the frame-rate measurement and the frame
// record.

#include "FakeSdk.h"

#include "link/ChannelBufferItem.h"
#include "media/StreamReceive.h"
#include "model/Channel.h"
#include "model/Device.h"

#include <QtTest>
#include "TestMain.h"

class TestStreamReceive : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        FakeSdk::install();
        FakeSdk::reset();
        m_device = std::make_unique<Device>();
        m_device->setUid(QStringLiteral("CAM1"));
        m_device->setChannelCount(1);
        m_channel = m_device->channel(0);
    }
    void cleanup() { m_device.reset(); }

    void frameRecordFieldsAreLittleEndian()
    {
        ChannelBufferItem item;
        const QByteArray info = frameInfo(0x1F50, 1, 0x11223344u, 0xA0B0C0D0u);
        item.setFrameInfo(reinterpret_cast<const uint8_t *>(info.constData()));
        QCOMPARE(item.codecId(), uint16_t(0x1F50));
        QVERIFY(item.keyFrame());
        QCOMPARE(item.timestamp(), 0x11223344u);
        QCOMPARE(item.tag(), 0xA0B0C0D0u);
    }

    // Frames come out whole and in order, with their record and number; an
    // error delivers nothing and leaves the frames behind it waiting.
    void framesComeOutInOrderUntilAnError()
    {
        FakeSdk::video()[2] = {{0, QByteArray(10, 'a'), frameInfo(78, 1, 1600000000u), 1},
                               {0, QByteArray(12, 'b'), frameInfo(78, 0, 1600000001u), 2},
                               {-20015, {}, {}, 0},
                               {0, QByteArray(10, 'c'), frameInfo(78, 0, 1600000002u), 3}};
        ChannelBufferItem *item = nullptr;
        for (int i = 0; i < 2; ++i) {
            QCOMPARE(StreamReceive::receiveVideoFrame(2, item), 10 + 2 * i);
            std::unique_ptr<ChannelBufferItem> owned(item);
            QCOMPARE(QByteArray(reinterpret_cast<const char *>(item->data), item->size),
                     QByteArray(10 + 2 * i, char('a' + i)));
            QCOMPARE(item->codecId(), uint16_t(78));
            QCOMPARE(item->keyFrame(), i == 0);
            QCOMPARE(item->timestamp(), 1600000000u + i);
            QCOMPARE(item->frameNumber, uint32_t(i + 1));
        }
        QCOMPARE(StreamReceive::receiveVideoFrame(2, item), -20015);
        QVERIFY(!item);
        QCOMPARE(FakeSdk::video()[2].size(), 1);
        FakeSdk::video()[2].clear();
        QCOMPARE(StreamReceive::receiveVideoFrame(2, item), AV_ER_DATA_NOREADY);
        QVERIFY(!item);
    }

    void liveFramesAreMeasuredByTheClock()
    {
        ChannelSlot &slot = m_channel->slot(true);
        QCOMPARE(slot.frameRate, -1);
        ChannelBufferItem item;
        item.setFrame(78, true, 0, 0);
        item.size = 4;
        StreamReceive::countVideoFrame(slot, true, item);
        QCOMPARE(slot.frameRate, 0);
        QVERIFY(slot.frameRateWindowStart > 0);
        StreamReceive::countVideoFrame(slot, true, item);
        QCOMPARE(slot.counters.framesReceived.load(), quint64(2));
        QCOMPARE(slot.counters.bytesReceived.load(), quint64(8));
        QCOMPARE(slot.counters.codecId.load(), 78);
    }

    void playbackFramesAreMeasuredByTimestamp()
    {
        ChannelSlot &slot = m_channel->slot(false);
        for (int i = 0; i < 5; ++i) {
            ChannelBufferItem item;
            item.setFrame(78, false, i < 4 ? 1600000000u : 1600000001u, 0);
            StreamReceive::countVideoFrame(slot, false, item);
        }
        QCOMPARE(slot.frameRate, 3);
        QCOMPARE(slot.frameRateWindowStart, -1);
    }

    void audioIsTakenOnlyWhenBuffered()
    {
        ChannelBufferItem *item = nullptr;
        QCOMPARE(StreamReceive::receiveAudioFrame(4, item), 0);
        QVERIFY(!item);
        FakeSdk::audio()[4] = {{0, QByteArray(320, 'p'), frameInfo(138, 0, 1), 1},
                               {0, QByteArray(320, 'q'), frameInfo(138, 0, 2), 2}};
        QCOMPARE(StreamReceive::receiveAudioFrame(4, item), 320);
        delete item;
        QCOMPARE(StreamReceive::receiveAudioFrame(4, item), 320);
        std::unique_ptr<ChannelBufferItem> owned(item);
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(item->data), 320), QByteArray(320, 'q'));
        QCOMPARE(item->frameNumber, 2u);
        QCOMPARE(StreamReceive::receiveAudioFrame(4, item), 0);
    }

private:
    std::unique_ptr<Device> m_device;
    Channel *m_channel = nullptr;
};
ORVANE_TEST_GUILESS_MAIN(TestStreamReceive)
#include "tst_streamreceive.moc"
