#pragma once

#include "DeviceConfig.h"

#include <cstdint>
#include <string>

namespace devsim {

// Draws the test pictures into planar YUV 4:2:0 (I420) memory.
//
// Moving pattern: a drifting luma gradient tinted in the channel's colour, a bouncing bar,
// the text "CH<n>" (n from 1) with "SD"/"HD", and a running clock hh:mm:ss.zzz.
// Solid pattern: the upper half in the channel's first colour, the lower half in its second
// (colour table in README.md), nothing else, so a screenshot tells the channel apart.
// Clock pattern: the wall-clock milliseconds at drawing time as 32 black/white blocks on red
// (layout in README.md), so a screenshot of any player tells when the picture was sent.
class TestPattern
{
public:
    struct Rgb
    {
        std::uint8_t r, g, b;
    };
    struct Yuv
    {
        std::uint8_t y, u, v;
    };
    struct Picture
    {
        std::uint8_t *planes[3];
        int strides[3];
        int width;
        int height;
    };

    static constexpr int paletteSize = 8;
    static Rgb paletteColour(int index);

    // Palette indexes of the upper and lower half of channel `channel` (from 0).
    // The pair differs for every channel from 0 to 55.
    static int topColourIndex(int channel);
    static int bottomColourIndex(int channel);

    // BT.601 limited range, as decoders of these streams assume.
    static Yuv toYuv(Rgb rgb);

    // `clockText` is drawn as the running clock (moving pattern only).
    static void render(Picture &picture, PatternMode mode, int channel, bool hd,
                       std::int64_t frameIndex, const std::string &clockText)
    {
        renderTagged(picture, mode, channel, hd ? "HD" : "SD", frameIndex, clockText);
    }
    // The same with the label's tag after the channel ("SD", "HD", "PB").
    static void renderTagged(Picture &picture, PatternMode mode, int channel,
                             const std::string &tag, std::int64_t frameIndex,
                             const std::string &clockText);

    // The clock pattern's blocks: clockColumns x clockRows, bit i (0 least significant) in
    // column i mod clockColumns, row i div clockColumns; white is 1. Bits 0-23 hold the
    // milliseconds since the epoch modulo 2^24, bits 24-31 the check byte
    // (byte0 + byte1 + byte2) mod 256 XOR 0x5A.
    static constexpr int clockColumns = 8;
    static constexpr int clockRows = 4;
    static std::uint32_t clockCode(std::int64_t msSinceEpoch);
    // Draws the clock pattern for `msSinceEpoch`: the picture red, the blocks inside a red
    // border of width / 16 left and right and height / 9 above and below.
    static void renderClock(Picture &picture, std::int64_t msSinceEpoch);

private:
    static void fillRect(Picture &picture, int x, int y, int w, int h, Yuv colour);
};

} // namespace devsim
