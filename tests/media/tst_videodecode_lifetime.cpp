// The lifetime of decoders and pictures: frames of a stopped stream freed,
// decoder and pictures torn down, an unseen channel's frames skipped until a
// key frame, and the picture exchange letting go of the frames it replaces.

#include "VideoDecodeFixture.h"

#include "av/AvHandles.h"
#include "media/PictureExchange.h"

#include <QtTest>
#include "TestMain.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

class TestVideoDecodeLifetime : public QObject, private VideoDecodeFixture
{
    Q_OBJECT

private slots:
    void init() { setUpChannel(); }
    void cleanup() { tearDownChannel(); }

    void framesOfAStoppedStreamAreFreed()
    {
        FrameBufferPool pool(1024, 4);
        m_channel->setVideoOn(false, true);
        Video::decodeStep(m_video.get(), true, m_channel,
                          makeItem(QByteArray(10, 'x'), 78, 1, 0, &pool));
        QCOMPARE(pool.idleCount(), 1); // the buffer came back
        QCoreApplication::processEvents();
        QVERIFY(m_recorder->codes.isEmpty());
    }

    void teardownFreesDecoderAndPictures()
    {
        const QList<EncodedFrame> frames = encodeSolid(VideoCodec::H264, 160, 120, 8, 50, 128, 128);
        for (const EncodedFrame &f : frames)
            Video::decodeStep(m_video.get(), true, m_channel, makeItem(f.data, 78, f.key));
        std::shared_ptr<PictureExchange> pictures = m_video->pictures(m_channel, true);
        QVERIFY(pictures->hasPicture());
        m_video->tearDownDecoder(m_channel, true);
        QVERIFY(!m_channel->slot(true).videoDecoder.ready());
        QVERIFY(!pictures->hasPicture());
        QCOMPARE(pictures->allocatedBytes(), 0);
        QCOMPARE(m_channel->slot(true).counters.pictureWidth(), 0);
        // The same hand-over serves the next stream.
        for (const EncodedFrame &f : frames)
            Video::decodeStep(m_video.get(), true, m_channel, makeItem(f.data, 78, f.key));
        QVERIFY(pictures->hasPicture());
        QCOMPARE(m_video->pictures(m_channel, true), pictures);
    }

    void unseenChannelSkipsTheDecoderUntilAKeyFrame()
    {
        const QList<EncodedFrame> frames = encodeSolid(VideoCodec::H264, 160, 120, 8, 50, 128, 128);
        QCOMPARE(frames.size(), 8);
        std::shared_ptr<PictureExchange> pictures = m_video->pictures(m_channel, true);
        m_channel->setSeen(false);
        for (int i = 0; i < 4; ++i)
            Video::decodeStep(m_video.get(), true, m_channel,
                              makeItem(frames[i].data, 78, frames[i].key));
        // Seen again in the middle of a group of pictures: still skipped.
        m_channel->setSeen(true);
        for (int i = 4; i < 8; ++i)
            Video::decodeStep(m_video.get(), true, m_channel, makeItem(frames[i].data, 78, 0));
        QCoreApplication::processEvents();
        QVERIFY(m_recorder->codes.isEmpty());
        QVERIFY(!pictures->hasPicture());
        // From the next key frame on, every frame is decoded.
        for (int i = 0; i < 4; ++i)
            Video::decodeStep(m_video.get(), true, m_channel,
                              makeItem(frames[i].data, 78, frames[i].key));
        QCOMPARE(pictures->serial(), quint64(4));
    }

    void exchangeReleasesTheFrameItReplaces()
    {
        PictureExchange ex;
        QVERIFY(!ex.backBuffer(0, 10));
        QVERIFY(!ex.backBuffer(3840, 2162));
        // A decoder's frame is published by reference.
        AvFramePtr decoded = makeAvFrame();
        decoded->format = AV_PIX_FMT_YUV420P;
        decoded->width = 64;
        decoded->height = 32;
        QCOMPARE(av_frame_get_buffer(decoded.get(), 0), 0);
        decoded->data[0][0] = 1;
        AVBufferRef *held = av_buffer_ref(decoded->buf[0]);
        av_frame_move_ref(ex.backFrame(), decoded.get());
        ex.publish(7, 0, YuvColour{true, true});
        QCOMPARE(av_buffer_get_ref_count(held), 2);
        QVERIFY(ex.withFront([&](const PictureExchange::Picture &p) {
            QCOMPARE(p.planes[0][0], uint8_t(1));
            QCOMPARE(p.timestamp, 7u);
            QVERIFY(p.colour.bt709 && p.colour.fullRange);
        }));
        // The next picture replaces it, and the exchange lets go of it.
        uint8_t *packed = ex.backBuffer(4, 2);
        std::memset(packed, 2, 12);
        ex.publish(8);
        QCOMPARE(av_buffer_get_ref_count(held), 1);
        av_buffer_unref(&held);
        QVERIFY(ex.withFront([&](const PictureExchange::Picture &p) {
            QCOMPARE(p.planes[0][0], uint8_t(2));
            QCOMPARE(p.planes[2], p.planes[0] + 10);
            QCOMPARE(p.serial, quint64(2));
        }));
    }
};

ORVANE_TEST_GUILESS_MAIN(TestVideoDecodeLifetime)
#include "tst_videodecode_lifetime.moc"
