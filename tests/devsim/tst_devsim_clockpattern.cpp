// devsim's clock pattern: the milliseconds it draws are read back from the blocks, drawn and
// after an H.264 round trip at the smallest size the latency benchmark uses.
#include "CommandLine.h"
#include "MediaDecoder.h"
#include "TestPattern.h"
#include "VideoEncoder.h"

#include <QtTest>
#include "TestMain.h"

#include <cstdint>
#include <optional>
#include <vector>

using namespace devsim;

namespace {

// Reads the blocks of a clock picture from its luma plane: each block's centre, white is 1.
// The low 24 bits when the check byte matches, nothing otherwise.
std::optional<std::uint32_t> readClock(const std::uint8_t *luma, int stride, int width, int height)
{
    const int mx = width / 16, my = height / 9;
    const int cellW = (width - 2 * mx) / TestPattern::clockColumns;
    const int cellH = (height - 2 * my) / TestPattern::clockRows;
    std::uint32_t code = 0;
    for (int bit = 0; bit < TestPattern::clockColumns * TestPattern::clockRows; ++bit) {
        const int x = mx + (bit % TestPattern::clockColumns) * cellW + cellW / 2;
        const int y = my + (bit / TestPattern::clockColumns) * cellH + cellH / 2;
        if (luma[y * stride + x] > 128)
            code |= 1u << bit;
    }
    const std::uint32_t low = code & 0xFFFFFFu;
    if (TestPattern::clockCode(low) != code)
        return std::nullopt;
    return low;
}

struct I420
{
    I420(int w, int h)
        : y(static_cast<size_t>(w * h))
        , u(static_cast<size_t>(w * h / 4))
        , v(static_cast<size_t>(w * h / 4))
        , picture{{y.data(), u.data(), v.data()}, {w, w / 2, w / 2}, w, h}
    {}
    std::vector<std::uint8_t> y, u, v;
    TestPattern::Picture picture;
};

} // namespace

class TestDevsimClockPattern : public QObject
{
    Q_OBJECT

private slots:
    void clockPatternIsAnOption()
    {
        const CommandLine::Result r = CommandLine::parse(
            {QStringLiteral("devsim"), QStringLiteral("--uid"), QStringLiteral("CLK1"),
             QStringLiteral("--pattern"), QStringLiteral("clock")});
        QVERIFY2(r.error.isEmpty(), qPrintable(r.error));
        QCOMPARE(r.devices.size(), size_t(1));
        QVERIFY(r.devices.front().pattern == PatternMode::Clock);
    }

    void checkByteGuardsTheMilliseconds()
    {
        QCOMPARE(TestPattern::clockCode(0), 0x5A000000u);
        QCOMPARE(TestPattern::clockCode(0x010203), 0x010203u | ((6u ^ 0x5Au) << 24));
        // Only the low 24 bits of the time are drawn.
        QCOMPARE(TestPattern::clockCode(0x7F010203LL), TestPattern::clockCode(0x010203));
    }

    void drawnMillisecondsReadBack_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<qint64>("ms");
        QTest::newRow("320x180 zero") << 320 << 180 << qint64(0);
        QTest::newRow("320x180 all ones") << 320 << 180 << qint64(0xFFFFFF);
        QTest::newRow("640x360 today") << 640 << 360 << qint64(1'700'000'123'456);
        QTest::newRow("1280x720 alternating") << 1280 << 720 << qint64(0xAAAAAA);
    }

    void drawnMillisecondsReadBack()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(qint64, ms);
        I420 frame(width, height);
        TestPattern::renderClock(frame.picture, ms);
        const auto read = readClock(frame.y.data(), width, width, height);
        QVERIFY(read.has_value());
        QCOMPARE(*read, std::uint32_t(ms) & 0xFFFFFFu);
        // The border is red.
        const TestPattern::Yuv red = TestPattern::toYuv({255, 0, 0});
        QCOMPARE(int(frame.y[0]), int(red.y));
        QCOMPARE(int(frame.v[0]), int(red.v));
    }

    void millisecondsSurviveH264At320x180()
    {
        QString error;
        auto encoder = VideoEncoder::create(VideoCodec::H264, 320, 180, 25, 50, &error);
        QVERIFY2(encoder, qPrintable(error));
        MediaDecoder decoder(AV_CODEC_ID_H264);
        QVERIFY(decoder.ok());
        const qint64 start = 1'700'000'000'000;
        for (int i = 0; i < 20; ++i) {
            const qint64 ms = start + i * 40 + (i * 7919) % 37;
            TestPattern::Picture picture = encoder->picture();
            TestPattern::renderClock(picture, ms);
            VideoEncoder::Packet packet;
            QVERIFY2(encoder->encode(i == 0, packet, &error), qPrintable(error));
            QVERIFY(!packet.data.isEmpty()); // zero latency: every picture comes out at once
            QCOMPARE(decoder.decode(packet.data), 1);
            const auto read = readClock(decoder.planes[0].data(), 320, 320, 180);
            QVERIFY2(read.has_value(), qPrintable(QString::number(i)));
            QCOMPARE(*read, std::uint32_t(ms) & 0xFFFFFFu);
        }
    }
};

ORVANE_TEST_GUILESS_MAIN(TestDevsimClockPattern)
#include "tst_devsim_clockpattern.moc"
