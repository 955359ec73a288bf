#pragma once

#include <cstdint>
#include <string>

namespace devsim {

// A 5x7 pixel font for digits, ':', '-', '.', ' ', 'C', 'H', 'S', 'D'; drawn into one 8-bit plane.
class BitmapFont
{
public:
    static constexpr int glyphWidth = 5;
    static constexpr int glyphHeight = 7;

    // Draws text with its top-left corner at (x, y), each font pixel a scale x scale block of
    // value `luma`; characters without a glyph leave a gap. Clipped to the plane.
    static void draw(std::uint8_t *plane, int stride, int width, int height, int x, int y,
                     const std::string &text, int scale, std::uint8_t luma);

    // Width in plane pixels of text drawn at `scale` (one font pixel between characters).
    static int textWidth(const std::string &text, int scale);

    // Seven rows of five bits (bit 4 = leftmost), or nullptr.
    static const std::uint8_t *glyph(char c);
};

} // namespace devsim
