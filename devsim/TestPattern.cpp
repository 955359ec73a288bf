#include "TestPattern.h"

#include "BitmapFont.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

namespace devsim {

namespace {

constexpr TestPattern::Rgb kPalette[TestPattern::paletteSize] = {
    {255, 0, 0},     // 0 red
    {0, 255, 0},     // 1 green
    {0, 0, 255},     // 2 blue
    {255, 255, 0},   // 3 yellow
    {0, 255, 255},   // 4 cyan
    {255, 0, 255},   // 5 magenta
    {255, 255, 255}, // 6 white
    {255, 128, 0},   // 7 orange
};

std::uint8_t clampByte(double v)
{
    return static_cast<std::uint8_t>(std::clamp(std::lround(v), 0L, 255L));
}

} // namespace

TestPattern::Rgb TestPattern::paletteColour(int index)
{
    return kPalette[((index % paletteSize) + paletteSize) % paletteSize];
}

int TestPattern::topColourIndex(int channel)
{
    return channel % paletteSize;
}

int TestPattern::bottomColourIndex(int channel)
{
    return (channel + 1 + channel / paletteSize) % paletteSize;
}

TestPattern::Yuv TestPattern::toYuv(Rgb c)
{
    const double r = c.r, g = c.g, b = c.b;
    return {clampByte(16.0 + (65.481 * r + 128.553 * g + 24.966 * b) / 255.0),
            clampByte(128.0 + (-37.797 * r - 74.203 * g + 112.0 * b) / 255.0),
            clampByte(128.0 + (112.0 * r - 93.786 * g - 18.214 * b) / 255.0)};
}

void TestPattern::fillRect(Picture &p, int x, int y, int w, int h, Yuv colour)
{
    const int x0 = std::clamp(x, 0, p.width), x1 = std::clamp(x + w, 0, p.width);
    const int y0 = std::clamp(y, 0, p.height), y1 = std::clamp(y + h, 0, p.height);
    if (x0 >= x1 || y0 >= y1)
        return;
    for (int row = y0; row < y1; ++row)
        std::memset(p.planes[0] + row * p.strides[0] + x0, colour.y, static_cast<size_t>(x1 - x0));
    for (int row = y0 / 2; row < (y1 + 1) / 2; ++row) {
        const int cx0 = x0 / 2, cw = (x1 + 1) / 2 - x0 / 2;
        std::memset(p.planes[1] + row * p.strides[1] + cx0, colour.u, static_cast<size_t>(cw));
        std::memset(p.planes[2] + row * p.strides[2] + cx0, colour.v, static_cast<size_t>(cw));
    }
}

std::uint32_t TestPattern::clockCode(std::int64_t msSinceEpoch)
{
    const auto low = static_cast<std::uint32_t>(msSinceEpoch) & 0xFFFFFFu;
    const std::uint32_t check =
        (((low & 0xFF) + ((low >> 8) & 0xFF) + ((low >> 16) & 0xFF)) & 0xFF) ^ 0x5Au;
    return low | (check << 24);
}

void TestPattern::renderClock(Picture &p, std::int64_t msSinceEpoch)
{
    fillRect(p, 0, 0, p.width, p.height, toYuv(paletteColour(0)));
    const int mx = p.width / 16, my = p.height / 9;
    const int cellW = (p.width - 2 * mx) / clockColumns;
    const int cellH = (p.height - 2 * my) / clockRows;
    const std::uint32_t code = clockCode(msSinceEpoch);
    for (int bit = 0; bit < clockColumns * clockRows; ++bit) {
        const bool one = ((code >> bit) & 1u) != 0;
        fillRect(p, mx + (bit % clockColumns) * cellW, my + (bit / clockColumns) * cellH, cellW,
                 cellH, one ? Yuv{235, 128, 128} : Yuv{16, 128, 128});
    }
}

void TestPattern::renderTagged(Picture &p, PatternMode mode, int channel, const std::string &tag,
                               std::int64_t frameIndex, const std::string &clockText)
{
    if (mode == PatternMode::Clock) {
        const auto now = std::chrono::system_clock::now().time_since_epoch();
        renderClock(p, std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
        return;
    }
    if (mode == PatternMode::Solid) {
        const int half = p.height / 2;
        fillRect(p, 0, 0, p.width, half, toYuv(paletteColour(topColourIndex(channel))));
        fillRect(p, 0, half, p.width, p.height - half,
                 toYuv(paletteColour(bottomColourIndex(channel))));
        return;
    }

    // Drifting diagonal gradient.
    const int shift = static_cast<int>((frameIndex * 4) % 256);
    for (int row = 0; row < p.height; ++row) {
        std::uint8_t *line = p.planes[0] + row * p.strides[0];
        for (int col = 0; col < p.width; ++col)
            line[col] = static_cast<std::uint8_t>(48 + ((col + row + shift) & 0xFF) / 2);
    }
    // Chroma: a pale version of the channel's colour.
    const Yuv tint = toYuv(paletteColour(topColourIndex(channel)));
    const auto pale = [](std::uint8_t c) { return static_cast<std::uint8_t>(128 + (c - 128) / 2); };
    for (int row = 0; row < (p.height + 1) / 2; ++row) {
        std::memset(p.planes[1] + row * p.strides[1], pale(tint.u),
                    static_cast<size_t>((p.width + 1) / 2));
        std::memset(p.planes[2] + row * p.strides[2], pale(tint.v),
                    static_cast<size_t>((p.width + 1) / 2));
    }

    // A bar bouncing left and right.
    const int barWidth = std::max(8, p.width / 16);
    const int travel = std::max(1, p.width - barWidth);
    const int pos = static_cast<int>((frameIndex * 8) % (2 * travel));
    const int barX = pos < travel ? pos : 2 * travel - pos;
    fillRect(p, barX, p.height / 2, barWidth, p.height / 2, {235, 128, 128});

    // Channel label and clock on dark boxes.
    const int scale = std::max(2, p.height / 90);
    const int margin = 2 * scale;
    const std::string label = "CH" + std::to_string(channel + 1) + " " + tag;
    const int lineHeight = BitmapFont::glyphHeight * scale;
    fillRect(p, 0, 0, BitmapFont::textWidth(label, scale) + 2 * margin, lineHeight + 2 * margin,
             {16, 128, 128});
    BitmapFont::draw(p.planes[0], p.strides[0], p.width, p.height, margin, margin, label, scale,
                     235);
    const int clockY = lineHeight + 3 * margin;
    fillRect(p, 0, clockY - margin, BitmapFont::textWidth(clockText, scale) + 2 * margin,
             lineHeight + 2 * margin, {16, 128, 128});
    BitmapFont::draw(p.planes[0], p.strides[0], p.width, p.height, margin, clockY, clockText, scale,
                     235);
}

} // namespace devsim
