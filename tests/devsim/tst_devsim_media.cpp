// devsim's media sources: A-law coding, WAV files, test pictures and the encoders.
// (The tone of each channel is checked over the link: tst_devsim_stream.)
#include "ALaw.h"
#include "MediaDecoder.h"
#include "TestPattern.h"
#include "VideoEncoder.h"
#include "WavWriter.h"

#include <QTemporaryDir>
#include <QtTest>
#include "TestMain.h"

#include "av/AvHandles.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
}

#include <cstring>
#include <vector>

using namespace devsim;

namespace {

// Runs libavcodec's own A-law coder over the given input.
QByteArray ffmpegALawEncode(const std::vector<std::int16_t> &samples)
{
    const AVCodec *codec = avcodec_find_encoder(AV_CODEC_ID_PCM_ALAW);
    AvCodecContextPtr ctx = makeAvCodecContext(codec);
    ctx->sample_rate = 8000;
    ctx->sample_fmt = AV_SAMPLE_FMT_S16;
    av_channel_layout_default(&ctx->ch_layout, 1);
    if (avcodec_open2(ctx.get(), codec, nullptr) != 0)
        return {};
    AvFramePtr frame = makeAvFrame();
    frame->format = AV_SAMPLE_FMT_S16;
    frame->nb_samples = static_cast<int>(samples.size());
    frame->sample_rate = 8000;
    av_channel_layout_default(&frame->ch_layout, 1);
    if (av_frame_get_buffer(frame.get(), 0) != 0)
        return {};
    std::memcpy(frame->data[0], samples.data(), samples.size() * 2);
    AvPacketPtr pkt = makeAvPacket();
    if (avcodec_send_frame(ctx.get(), frame.get()) != 0 ||
        avcodec_receive_packet(ctx.get(), pkt.get()) != 0)
        return {};
    return QByteArray(reinterpret_cast<const char *>(pkt->data), pkt->size);
}

} // namespace

class TestDevsimMedia : public QObject
{
    Q_OBJECT

private slots:
    void aLawKnownValues()
    {
        QCOMPARE(ALaw::encode(std::int16_t(0)), std::uint8_t(0xD5));
        QCOMPARE(ALaw::encode(std::int16_t(-1)), std::uint8_t(0x55));
        QCOMPARE(ALaw::encode(std::int16_t(32767)), std::uint8_t(0xAA));
        QCOMPARE(ALaw::encode(std::int16_t(-32768)), std::uint8_t(0x2A));
        QCOMPARE(ALaw::encode(std::int16_t(1000)), std::uint8_t(0xFA));
    }

    // Our coder uses G.711's decision levels (as the ITU reference code does); libavcodec's
    // encoder picks the nearest level instead, which differs next to segment edges. Both are
    // A-law: monotonic, within one quantisation step, and equal on almost every sample.
    void aLawAgreesWithLibavcodecForEverySample()
    {
        std::vector<std::int16_t> all;
        for (int v = -32768; v <= 32767; ++v)
            all.push_back(static_cast<std::int16_t>(v));
        const QByteArray reference = ffmpegALawEncode(all);
        QCOMPARE(reference.size(), int(all.size()));
        const QByteArray ours = ALaw::encode(all);
        int differing = 0;
        int previous = -32768;
        for (int i = 0; i < ours.size(); ++i) {
            const int x = all[static_cast<size_t>(i)];
            const auto code = static_cast<std::uint8_t>(ours.at(i));
            const int level = ALaw::decode(code);
            const int segment = ((code ^ 0x55) & 0x70) >> 4;
            const int step = segment < 2 ? 16 : (16 << (segment - 1));
            if (level < previous || std::abs(level - x) > step)
                QFAIL(qPrintable(QStringLiteral("sample %1 coded as %2").arg(x).arg(code, 2, 16)));
            previous = level;
            if (code != static_cast<std::uint8_t>(reference.at(i)))
                ++differing;
        }
        QVERIFY2(differing < static_cast<int>(all.size()) / 50,
                 qPrintable(QString::number(differing)));
        // libavcodec's decoder is the client's: it must agree on every code.
        MediaDecoder decoder(AV_CODEC_ID_PCM_ALAW);
        QVERIFY(decoder.ok());
        QByteArray codes(256, '\0');
        for (int c = 0; c < 256; ++c)
            codes[c] = static_cast<char>(c);
        QCOMPARE(decoder.decode(codes), 1);
        QVERIFY(decoder.samples == ALaw::decode(codes));
    }

    void aLawDecodeRoundTripsEveryCode()
    {
        for (int code = 0; code < 256; ++code) {
            const std::int16_t linear = ALaw::decode(static_cast<std::uint8_t>(code));
            QCOMPARE(int(ALaw::encode(linear)), code);
        }
    }

    void wavFileHeaderAndSamples()
    {
        WavWriter wav(8000);
        wav.append({0, 1, -1, 32767, -32768});
        const QByteArray bytes = wav.toBytes();
        QCOMPARE(bytes.size(), 44 + 10);
        QCOMPARE(bytes.left(4), QByteArray("RIFF"));
        QCOMPARE(bytes.mid(4, 4), QByteArray("\x2e\x00\x00\x00", 4)); // 36 + 10
        QCOMPARE(bytes.mid(8, 8), QByteArray("WAVEfmt "));
        QCOMPARE(bytes.mid(20, 4), QByteArray("\x01\x00\x01\x00", 4)); // PCM, mono
        QCOMPARE(bytes.mid(24, 4), QByteArray("\x40\x1f\x00\x00", 4)); // 8000 Hz
        QCOMPARE(bytes.mid(34, 2), QByteArray("\x10\x00", 2));         // 16 bits
        QCOMPARE(bytes.mid(36, 8), QByteArray("data\x0a\x00\x00\x00", 8));
        QCOMPARE(bytes.mid(44), QByteArray("\x00\x00\x01\x00\xff\xff\xff\x7f\x00\x80", 10));

        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("talk.wav"));
        QString error;
        QVERIFY2(wav.save(path, &error), qPrintable(error));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), bytes);
        QVERIFY(!wav.save(dir.filePath(QStringLiteral("missing/dir/talk.wav")), &error));
    }

    void solidColoursDifferForEveryChannelPair()
    {
        QSet<QPair<int, int>> seen;
        for (int ch = 0; ch < 56; ++ch) {
            const int top = TestPattern::topColourIndex(ch);
            const int bottom = TestPattern::bottomColourIndex(ch);
            QVERIFY2(top != bottom && !seen.contains({top, bottom}),
                     qPrintable(QString::number(ch)));
            seen.insert({top, bottom});
        }
        const TestPattern::Yuv red = TestPattern::toYuv({255, 0, 0});
        QCOMPARE(int(red.y), 81);
        QCOMPARE(int(red.u), 90);
        QCOMPARE(int(red.v), 240);
    }

};

ORVANE_TEST_GUILESS_MAIN(TestDevsimMedia)
#include "tst_devsim_media.moc"
