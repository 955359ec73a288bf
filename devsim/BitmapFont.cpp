#include "BitmapFont.h"

namespace devsim {

namespace {

struct Glyph
{
    char c;
    std::uint8_t rows[7];
};

constexpr Glyph kGlyphs[] = {
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}},
    {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}},
    {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}},
    {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}},
    {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}},
    {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {':', {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x0C, 0x00}},
    {'-', {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00}},
    {'.', {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C}},
    {' ', {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
    {'C', {0x0E, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0E}},
    {'H', {0x11, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}},
    {'S', {0x0F, 0x10, 0x10, 0x0E, 0x01, 0x01, 0x1E}},
    {'D', {0x1E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x1E}},
};

} // namespace

const std::uint8_t *BitmapFont::glyph(char c)
{
    for (const Glyph &g : kGlyphs) {
        if (g.c == c)
            return g.rows;
    }
    return nullptr;
}

int BitmapFont::textWidth(const std::string &text, int scale)
{
    if (text.empty())
        return 0;
    return static_cast<int>(text.size()) * (glyphWidth + 1) * scale - scale;
}

void BitmapFont::draw(std::uint8_t *plane, int stride, int width, int height, int x, int y,
                      const std::string &text, int scale, std::uint8_t luma)
{
    int penX = x;
    for (char c : text) {
        const std::uint8_t *rows = glyph(c);
        if (rows) {
            for (int row = 0; row < glyphHeight; ++row) {
                for (int col = 0; col < glyphWidth; ++col) {
                    if (!(rows[row] & (0x10 >> col)))
                        continue;
                    for (int dy = 0; dy < scale; ++dy) {
                        const int py = y + row * scale + dy;
                        if (py < 0 || py >= height)
                            continue;
                        for (int dx = 0; dx < scale; ++dx) {
                            const int px = penX + col * scale + dx;
                            if (px >= 0 && px < width)
                                plane[py * stride + px] = luma;
                        }
                    }
                }
            }
        }
        penX += (glyphWidth + 1) * scale;
    }
}

} // namespace devsim
