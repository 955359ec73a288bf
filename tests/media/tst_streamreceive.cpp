// Receive steps, the frame-rate measurement and the frame record.

#include "FakeSdk.h"

#include "link/ChannelBufferItem.h"
#include "media/StreamReceive.h"
#include "media/Decode.h"
#include "media/MediaEvents.h"
#include "media/Video.h"
#include "model/Channel.h"
#include "model/Device.h"

#include <QtTest>
#include "TestMain.h"

namespace {

struct Received
{
    int type;
    bool live;
    int result;
    QByteArray info;
    uint32_t number;
    QByteArray data;
};

// Takes the receive events off the Decode object before it handles them.
class EventCatcher : public QObject
{
public:
    QList<Received> events;

protected:
    void record(int type, bool live, int result, const ChannelBufferItem *item)
    {
        events.append({type, live, result,
                       QByteArray(reinterpret_cast<const char *>(item->frameInfo), 16),
                       item->frameNumber,
                       item->size > 0
                           ? QByteArray(reinterpret_cast<const char *>(item->data), item->size)
                           : QByteArray()});
    }
    bool eventFilter(QObject *, QEvent *e) override
    {
        if (e->type() != DecodeEvent_getVideo::TypeId && e->type() != DecodeEvent_getAudio::TypeId)
            return false;
        if (e->type() == DecodeEvent_getVideo::TypeId) {
            const auto *v = static_cast<DecodeEvent_getVideo *>(e);
            record(int(e->type()), v->live, v->result, v->item);
        } else {
            const auto *a = static_cast<DecodeEvent_getAudio *>(e);
            record(int(e->type()), a->live, a->result, a->item);
        }
        return true; // the event (and its item) is deleted by Qt
    }
};

} // namespace

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
        m_decode = std::make_unique<Decode>(&m_video);
        m_decode->stopRun();
        m_catcher = std::make_unique<EventCatcher>();
        m_decode->installEventFilter(m_catcher.get());
    }
    void cleanup()
    {
        m_decode.reset();
        m_catcher.reset();
        m_device.reset();
    }

    void frameRecordFieldsAreLittleEndian()
    {
        ChannelBufferItem item;
        const QByteArray info = frameInfo(80, 1, 0x11223344u, 0xA0B0C0D0u);
        std::memcpy(item.frameInfo, info.constData(), 16);
        item.frameNumber = 0x01020304u;
        item.audioLength = 7;
        QCOMPARE(item.codecId(), uint16_t(80));
        QVERIFY(item.keyFrame());
        QCOMPARE(item.timestamp(), 0x11223344u);
        QCOMPARE(item.reservedU32(), 0xA0B0C0D0u);
        uint8_t record[28];
        item.copyRecord(record);
        QCOMPARE(QByteArray(reinterpret_cast<char *>(record), 16), info);
        QCOMPARE(record[16], uint8_t(4));
        QCOMPARE(record[19], uint8_t(1));
        QCOMPARE(record[20], uint8_t(7));
    }

    void closedStreamPostsNothing()
    {
        m_channel->setAvIndex(-1, true);
        StreamReceive::receiveVideo(m_decode.get(), true, m_channel);
        StreamReceive::receiveAudio(m_decode.get(), true, m_channel);
        QCoreApplication::processEvents();
        QVERIFY(m_catcher->events.isEmpty());
        QCOMPARE(FakeSdk::videoCalls(-1), 0);
    }

    void videoStepTakesEveryWaitingFrameUpToTheBound()
    {
        m_channel->setAvIndex(5, true);
        for (int i = 0; i < 12; ++i)
            FakeSdk::video()[5].append(
                {0, QByteArray(100 + i, char(i)), frameInfo(78, i == 0, 1000 + i), uint(i)});

        StreamReceive::receiveVideo(m_decode.get(), true, m_channel);
        QCoreApplication::processEvents();
        QCOMPARE(m_catcher->events.size(), StreamReceive::MaxFramesPerStep);
        for (int i = 0; i < StreamReceive::MaxFramesPerStep; ++i) {
            const Received &r = m_catcher->events.at(i);
            QCOMPARE(r.type, int(DecodeEvent_getVideo::TypeId));
            QVERIFY(r.live);
            QCOMPARE(r.result, 100 + i);
            QCOMPARE(r.data, QByteArray(100 + i, char(i)));
            QCOMPARE(r.info, frameInfo(78, i == 0, 1000 + i));
            QCOMPARE(r.number, uint32_t(i));
        }

        // The rest, then "no data" ends the step without a failure event.
        m_catcher->events.clear();
        StreamReceive::receiveVideo(m_decode.get(), true, m_channel);
        QCoreApplication::processEvents();
        QCOMPARE(m_catcher->events.size(), 4);
        QVERIFY(m_catcher->events.last().result >= 0);

        // A step that finds nothing reports the failure once.
        m_catcher->events.clear();
        StreamReceive::receiveVideo(m_decode.get(), true, m_channel);
        QCoreApplication::processEvents();
        QCOMPARE(m_catcher->events.size(), 1);
        QCOMPARE(m_catcher->events.first().result, AV_ER_DATA_NOREADY);
        QCOMPARE(m_catcher->events.first().info, QByteArray(16, '\0'));
    }

    void videoStepStopsAtAnError()
    {
        m_channel->setAvIndex(2, false);
        FakeSdk::video()[2] = {{0, QByteArray(10, 'a'), frameInfo(78, 1, 1600000000u), 1},
                               {-20015, {}, {}, 0},
                               {0, QByteArray(10, 'b'), frameInfo(78, 0, 1600000000u), 2}};
        StreamReceive::receiveVideo(m_decode.get(), false, m_channel);
        QCoreApplication::processEvents();
        QCOMPARE(m_catcher->events.size(), 2);
        QCOMPARE(m_catcher->events.at(0).result, 10);
        QVERIFY(!m_catcher->events.at(0).live);
        QCOMPARE(m_catcher->events.at(1).result, -20015);
        QCOMPARE(FakeSdk::video()[2].size(), 1); // the frame after the error waits
    }

    void liveStepMeasuresOnlyReceivedFrames()
    {
        m_channel->setAvIndex(1, true);
        StreamReceive::receiveVideo(m_decode.get(), true, m_channel); // nothing there
        QCOMPARE(m_channel->frameRate(true), -1);
        FakeSdk::video()[1] = {{0, QByteArray(4, 'x'), frameInfo(78, 1, 0), 0}};
        StreamReceive::receiveVideo(m_decode.get(), true, m_channel);
        QCOMPARE(m_channel->frameRate(true), 0);
        QVERIFY(m_channel->slot(true).frameRateWindowStart > 0);
    }

    void playbackStepMeasuresByTimestamp()
    {
        m_channel->setAvIndex(1, false);
        for (int i = 0; i < 5; ++i)
            FakeSdk::video()[1].append(
                {0, QByteArray(4, 'x'), frameInfo(78, 0, i < 4 ? 1600000000u : 1600000001u), 0});
        StreamReceive::receiveVideo(m_decode.get(), false, m_channel);
        QCOMPARE(m_channel->frameRate(false), 3);
        QCOMPARE(m_channel->slot(false).frameRateWindowStart, -1);
    }

    void audioStepWithNothingBufferedPostsZero()
    {
        m_channel->setAvIndex(4, true);
        StreamReceive::receiveAudio(m_decode.get(), true, m_channel);
        QCoreApplication::processEvents();
        QCOMPARE(m_catcher->events.size(), 1);
        const Received &r = m_catcher->events.first();
        QCOMPARE(r.type, int(DecodeEvent_getAudio::TypeId));
        QCOMPARE(r.result, 0);
        QCOMPARE(r.info, QByteArray(16, '\0'));
    }

    void audioStepTakesEveryBufferedFrame()
    {
        m_channel->setAvIndex(4, true);
        FakeSdk::audio()[4] = {{0, QByteArray(320, 'p'), frameInfo(138, 0, 1), 1},
                               {0, QByteArray(320, 'q'), frameInfo(138, 0, 2), 2}};
        StreamReceive::receiveAudio(m_decode.get(), true, m_channel);
        QCoreApplication::processEvents();
        QCOMPARE(m_catcher->events.size(), 2);
        QCOMPARE(m_catcher->events.at(1).result, 320);
        QCOMPARE(m_catcher->events.at(1).data, QByteArray(320, 'q'));
        QCOMPARE(m_catcher->events.at(1).number, 2u);
    }

private:
    Video m_video;
    std::unique_ptr<Device> m_device;
    Channel *m_channel = nullptr;
    std::unique_ptr<Decode> m_decode;
    std::unique_ptr<EventCatcher> m_catcher;
};

ORVANE_TEST_GUILESS_MAIN(TestStreamReceive)
#include "tst_streamreceive.moc"
