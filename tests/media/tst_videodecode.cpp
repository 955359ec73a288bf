// Video decoding: real H.264 / H.265 bitstreams decoded into packed I420,
// RTSP frame records, the key-frame wait, and rejected, garbage and
// oversized frames.

#include "VideoDecodeFixture.h"

#include "media/PictureExchange.h"
#include "media/RecordFile.h"
#include "media/RtspReader.h"

#include <QtTest>
#include "TestMain.h"

#ifndef Q_OS_WIN
#include <sys/resource.h>
#endif

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace {

// Peak resident memory of the process in KiB (0 where unknown).
long peakRssKb()
{
#ifdef Q_OS_WIN
    return 0;
#else
    rusage usage{};
    return getrusage(RUSAGE_SELF, &usage) == 0 ? usage.ru_maxrss : 0;
#endif
}

// A minimal H.264 access unit (SPS, PPS, IDR slice header and filler) that
// announces a width x height picture, as a hostile device could send.
QByteArray craftedH264(int width, int height)
{
    struct Bits
    {
        QByteArray bytes;
        quint32 acc = 0;
        int n = 0;
        void bit(quint32 b)
        {
            acc = acc << 1 | b;
            if (++n == 8) {
                bytes.append(char(acc));
                acc = 0;
                n = 0;
            }
        }
        void put(quint32 v, int bits)
        {
            for (int i = bits - 1; i >= 0; --i)
                bit((v >> i) & 1);
        }
        void ue(quint32 v)
        {
            int len = 0;
            while (((v + 1) >> len) > 1)
                ++len;
            put(0, len);
            put(v + 1, len + 1);
        }
        QByteArray nal(char header)
        {
            bit(1); // stop bit, then byte alignment
            while (n)
                bit(0);
            QByteArray unit = QByteArray("\0\0\0\1", 4) + header;
            int zeros = 0;
            for (char c : std::as_const(bytes)) {
                if (zeros >= 2 && uchar(c) <= 3) {
                    unit.append('\3'); // emulation prevention
                    zeros = 0;
                }
                unit.append(c);
                zeros = c ? 0 : zeros + 1;
            }
            return unit;
        }
    };
    Bits sps; // baseline, level 5.1, POC type 2, one reference frame, frames only
    sps.put(66, 8);
    sps.put(0, 8);
    sps.put(51, 8);
    for (quint32 v : {0u, 0u, 2u, 1u})
        sps.ue(v);
    sps.put(0, 1);
    sps.ue(quint32(width / 16 - 1));
    sps.ue(quint32(height / 16 - 1));
    sps.put(0b1100, 4); // frame MBs only, direct 8x8, no cropping, no VUI
    Bits pps;           // CAVLC, one slice group, no weighting, deblocking control present
    for (quint32 v : {0u, 0u})
        pps.ue(v);
    pps.put(0, 2);
    for (quint32 v : {0u, 0u, 0u})
        pps.ue(v);
    pps.put(0, 3);
    for (quint32 v : {0u, 0u, 0u}) // QP, QS and chroma QP offsets (se(0))
        pps.ue(v);
    pps.put(0b100, 3);
    Bits slice; // first MB 0, I slice, PPS 0, frame 0, IDR 0, no marking changes
    for (quint32 v : {0u, 7u, 0u})
        slice.ue(v);
    slice.put(0, 4);
    slice.ue(0);
    slice.put(0, 2);
    slice.ue(0); // QP delta
    slice.ue(1); // deblocking off
    slice.put(0xA5A5A5, 24);
    return sps.nal(0x67) + pps.nal(0x68) + slice.nal(0x65);
}

bool planeNear(const uint8_t *p, int stride, int width, int height, int value, int tolerance)
{
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (qAbs(int(p[qint64(y) * stride + x]) - value) > tolerance)
                return false;
    return true;
}

} // namespace

class TestVideoDecode : public QObject, private VideoDecodeFixture
{
    Q_OBJECT

private slots:
    void init() { setUpChannel(); }
    void cleanup() { tearDownChannel(); }

    void decodesRealBitstreams_data()
    {
        QTest::addColumn<int>("encoder");
        QTest::addColumn<int>("codec");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::newRow("h264") << int(VideoCodec::H264) << 78 << 320 << 240;
        QTest::newRow("h265") << int(VideoCodec::H265) << 80 << 352 << 288;
        QTest::newRow("h264 odd chroma") << int(VideoCodec::H264) << 78 << 202 << 98;
    }
    void decodesRealBitstreams()
    {
        QFETCH(int, encoder);
        QFETCH(int, codec);
        QFETCH(int, width);
        QFETCH(int, height);
        const QList<EncodedFrame> frames =
            encodeSolid(VideoCodec(encoder), width, height, 12, 81, 90, 240);
        if (frames.isEmpty())
            QSKIP("encoder not available");
        QVERIFY(frames.first().key);

        // Live decoding holds no frame back: each frame's picture is out as
        // soon as the frame is in, with that frame's timestamp.
        std::shared_ptr<PictureExchange> pictures = m_video->pictures(m_channel, true);
        for (int i = 0; i < frames.size(); ++i) {
            Video::decodeStep(
                m_video.get(), true, m_channel,
                makeItem(frames[i].data, uint16_t(codec), frames[i].key, 1700000000u + uint(i)));
            QCOMPARE(pictures->serial(), quint64(i + 1));
        }
        QCoreApplication::processEvents();
        QCOMPARE(m_recorder->codes, QList<int>(frames.size(), DecodeCode::Decoded));
        bool checked = pictures->withFront([&](const PictureExchange::Picture &p) {
            QCOMPARE(p.width, width);
            QCOMPARE(p.height, height);
            QCOMPARE(p.timestamp, 1700000000u + uint(frames.size() - 1));
            QVERIFY(planeNear(p.planes[0], p.strides[0], width, height, 81, 3));
            QVERIFY(planeNear(p.planes[1], p.strides[1], width / 2, height / 2, 90, 3));
            QVERIFY(planeNear(p.planes[2], p.strides[2], width / 2, height / 2, 240, 3));
        });
        QVERIFY(checked);
        QCOMPARE(m_channel->slot(true).pictureWidth, width);
        // The other mode has its own decoder and picture.
        QVERIFY(!m_channel->slot(false).videoDecoder.ready());
        QVERIFY(!m_video->pictures(m_channel, false)->hasPicture());
    }

    // An RTSP key frame may come without its parameter sets (they are in the
    // session description): its frame record gets them in front and decodes.
    void rtspPacketsBecomeDecodableFrameRecords()
    {
        const QList<EncodedFrame> frames = encodeSolid(VideoCodec::H264, 320, 240, 1, 81, 90, 240);
        if (frames.isEmpty())
            QSKIP("encoder not available");
        const QByteArray full = frames.first().data;
        const QByteArray sets = RecordFile::parameterSets(
            AV_CODEC_ID_H264, reinterpret_cast<const uint8_t *>(full.constData()),
            int(full.size()));
        qsizetype at = 0; // the first NAL unit that is no parameter set
        while ((at = full.indexOf(QByteArray("\0\0\1", 3), at)) >= 0 &&
               ((full[at + 3] & 0x1f) == 7 || (full[at + 3] & 0x1f) == 8))
            at += 3;
        QVERIFY(!sets.isEmpty() && at > 0);
        const QByteArray bare = full.mid(full[at - 1] == 0 ? at - 1 : at);
        const auto item = [&sets](const QByteArray &d, bool key, int codec = AV_CODEC_ID_H264) {
            return std::unique_ptr<ChannelBufferItem>(
                RtspReader::makeItem(codec, reinterpret_cast<const uint8_t *>(d.constData()),
                                      int(d.size()), key, sets, 1700000000u, 1234u, 1u));
        };
        const auto bytes = [](const ChannelBufferItem &i) {
            return QByteArray(reinterpret_cast<const char *>(i.data), i.size);
        };
        QCOMPARE(bytes(*item(bare, false)), bare); // not a key frame: as received
        QCOMPARE(bytes(*item(full, true)), full);  // its own sets
        QVERIFY(!item(bare, true, AV_CODEC_ID_MPEG4));
        QVERIFY(!item(QByteArray(ChannelBufferItem::VideoCapacity, '\1'), true)); // too large
        std::unique_ptr<ChannelBufferItem> key = item(bare, true);
        QCOMPARE(bytes(*key), sets + bare);
        QVERIFY(key->codecId() == 78 && key->keyFrame() && key->timestamp() == 1700000000u &&
                key->tag() == 1234u);
        Video::decodeStep(m_video.get(), true, m_channel, key.release());
        QCoreApplication::processEvents();
        QCOMPARE(m_recorder->codes, QList<int>{DecodeCode::Decoded});
    }

    void framesBeforeTheFirstKeyFrameAreDropped()
    {
        const QList<EncodedFrame> frames = encodeSolid(VideoCodec::H264, 160, 120, 8, 50, 128, 128);
        QVERIFY(frames.size() == 8);
        m_channel->setWaitKeyFrame(true, true);
        QSignalSpy incoming(m_video.get(), &Video::iCommingMsg);
        // Three inter frames first, then the stream from its key frame.
        for (int i = 5; i < 8; ++i)
            Video::decodeStep(m_video.get(), true, m_channel, makeItem(frames[i].data, 78, 0));
        QCoreApplication::processEvents();
        QCOMPARE(m_recorder->codes, (QList<int>(3, DecodeCode::Rejected)));
        QVERIFY(m_channel->waitKeyFrame(true));
        QVERIFY(!m_channel->slot(true).videoDecoder.ready());
        for (const EncodedFrame &f : frames)
            Video::decodeStep(m_video.get(), true, m_channel, makeItem(f.data, 78, f.key));
        QTRY_COMPARE(m_recorder->codes.size(), 11);
        QVERIFY(!m_channel->waitKeyFrame(true));
        QCOMPARE(incoming.size(), 1);
        QCOMPARE(m_recorder->codes.count(DecodeCode::Rejected), 3);
        QVERIFY(m_video->pictures(m_channel, true)->hasPicture());
        // The stream information page's totals: refused frames count as dropped.
        const StreamCounters &counters = m_channel->slot(true).counters;
        QCOMPARE(StreamCounters::read(counters.framesDropped), quint64(3));
        QCOMPARE(StreamCounters::read(counters.framesDecoded), quint64(8));
        QCOMPARE(QSize(counters.pictureWidth(), counters.pictureHeight()), QSize(160, 120));
    }

    void unsupportedFramesAreRejected()
    {
        const QList<EncodedFrame> frames = encodeSolid(VideoCodec::H264, 160, 120, 6, 50, 128, 128);
        for (const EncodedFrame &f : frames)
            Video::decodeStep(m_video.get(), true, m_channel, makeItem(f.data, 78, f.key));
        QCoreApplication::processEvents();
        QVERIFY(m_channel->slot(true).videoDecoder.ready());
        const quint64 serial = m_video->pictures(m_channel, true)->serial();
        m_recorder->codes.clear();

        Video::decodeStep(m_video.get(), true, m_channel, makeItem(frames[1].data, 79, 0));
        Video::decodeStep(m_video.get(), true, m_channel, makeItem(frames[1].data, 0, 0));
        Video::decodeStep(m_video.get(), true, m_channel, makeItem(frames[1].data, 78, 2));
        Video::decodeStep(m_video.get(), true, m_channel, makeItem(QByteArray(), 78, 0));
        QCoreApplication::processEvents();
        QCOMPARE(m_recorder->codes, (QList<int>(4, DecodeCode::Rejected)));
        QCOMPARE(m_video->pictures(m_channel, true)->serial(), serial);
    }

    void garbageIsReportedNotDecoded()
    {
        QByteArray junk(4000, '\0');
        for (int i = 0; i < junk.size(); ++i)
            junk[i] = char((i * 7919) >> 3);
        for (int i = 0; i < 6; ++i)
            Video::decodeStep(m_video.get(), true, m_channel, makeItem(junk, 80, i == 0));
        QCoreApplication::processEvents();
        QCOMPARE(m_recorder->codes.size(), 6);
        QVERIFY(!m_recorder->codes.contains(0));
    }

    // Pictures above 3840 x 2160 are refused; one that a hostile device only
    // announces in its parameter sets, 25 times a second, is refused before
    // the decoder sizes anything for it (the process's peak memory stays).
    void pictureSizeLimit_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("expected");
        QTest::addColumn<bool>("crafted");
        const int tooLarge = DecodeCode::PictureTooLarge;
        QTest::newRow("4K fits") << 3840 << 2160 << 0 << false;
        QTest::newRow("wider than 4K") << 3856 << 2160 << tooLarge << false;
        QTest::newRow("8192 x 8192 announced") << 8192 << 8192 << tooLarge << true;
        QTest::newRow("16000 x 16000 announced") << 16000 << 16000 << tooLarge << true;
    }
    void pictureSizeLimit()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(int, expected);
        QFETCH(bool, crafted);
        const QList<EncodedFrame> frames =
            crafted ? QList<EncodedFrame>(25, EncodedFrame{craftedH264(width, height), true})
                    : encodeSolid(VideoCodec::H264, width, height, 6, 200, 60, 70);
        QVERIFY(!frames.isEmpty());
        const long peakBefore = peakRssKb();
        for (const EncodedFrame &f : frames)
            Video::decodeStep(m_video.get(), true, m_channel, makeItem(f.data, 78, f.key));
        QCoreApplication::processEvents();
        QVERIFY(m_recorder->codes.contains(expected));
        if (crafted && peakBefore > 0)
            QVERIFY2(
                peakRssKb() - peakBefore < 32 * 1024,
                qPrintable(QStringLiteral("peak grew by %1 KiB").arg(peakRssKb() - peakBefore)));
        if (expected == 0) {
            int w = 0;
            int h = 0;
            m_video->pictures(m_channel, true)->frontSize(w, h);
            QCOMPARE(QSize(w, h), QSize(3840, 2160));
        } else {
            QVERIFY(!m_recorder->codes.contains(0));
            QVERIFY(!m_video->pictures(m_channel, true)->hasPicture());
        }
    }
};

ORVANE_TEST_GUILESS_MAIN(TestVideoDecode)
#include "tst_videodecode.moc"
