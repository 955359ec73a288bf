#include "media/G711.h"

namespace G711 {

namespace {

// The segment (0..7) of a magnitude: the position of its highest set bit
// above bit shift + 4 (shift 3 for A-law on 13 bits, 2 for mu-law on 14).
int segment(int magnitude, int base)
{
    int s = 0;
    while (s < 8 && magnitude > (base << s) - 1)
        ++s;
    return s;
}

} // namespace

uint8_t alaw(int16_t sample)
{
    int value = sample >> 3; // 13 bits
    int mask = 0xD5;         // sign bit set for positive values, even bits inverted
    if (value < 0) {
        mask = 0x55;
        value = -value - 1;
    }
    const int seg = segment(value, 32); // segment ends 31, 63, ..., 4095
    if (seg >= 8)
        return uint8_t(0x7F ^ mask);
    int code = seg << 4;
    code |= seg < 2 ? (value >> 1) & 0x0F : (value >> seg) & 0x0F;
    return uint8_t(code ^ mask);
}

uint8_t ulaw(int16_t sample)
{
    constexpr int Bias = 0x84 >> 2; // on 14 bits
    constexpr int Clip = 8159;
    int value = sample >> 2; // 14 bits
    int mask = 0xFF;
    if (value < 0) {
        value = -value;
        mask = 0x7F;
    }
    if (value > Clip)
        value = Clip;
    value += Bias;
    const int seg = segment(value, 64); // segment ends 63, 127, ..., 8191
    if (seg >= 8)
        return uint8_t(0x7F ^ mask);
    const int code = (seg << 4) | ((value >> (seg + 1)) & 0x0F);
    return uint8_t(code ^ mask);
}

void encodeAlaw(const int16_t *samples, int count, uint8_t *out)
{
    for (int i = 0; i < count; ++i)
        out[i] = alaw(samples[i]);
}

void encodeUlaw(const int16_t *samples, int count, uint8_t *out)
{
    for (int i = 0; i < count; ++i)
        out[i] = ulaw(samples[i]);
}

} // namespace G711
