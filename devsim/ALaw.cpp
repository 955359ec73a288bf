#include "ALaw.h"

namespace devsim {

std::uint8_t ALaw::encode(std::int16_t sample)
{
    // A-law works on 13-bit magnitudes: 8 segments, each holding 16 steps.
    int value = sample >> 3;
    int mask = 0xD5; // sign bit set for positive values, even bits inverted
    if (value < 0) {
        mask = 0x55;
        value = -value - 1;
    }
    int segment = 0;
    int limit = 0x1F;
    while (segment < 8 && value > limit) {
        ++segment;
        limit = (limit << 1) | 1;
    }
    if (segment >= 8)
        return static_cast<std::uint8_t>(0x7F ^ mask);
    int code = segment << 4;
    if (segment < 2)
        code |= (value >> 1) & 0x0F;
    else
        code |= (value >> segment) & 0x0F;
    return static_cast<std::uint8_t>(code ^ mask);
}

std::int16_t ALaw::decode(std::uint8_t code)
{
    const int a = code ^ 0x55;
    int magnitude = (a & 0x0F) << 4;
    const int segment = (a & 0x70) >> 4;
    if (segment == 0) {
        magnitude += 8;
    } else {
        magnitude += 0x108;
        magnitude <<= segment - 1;
    }
    return static_cast<std::int16_t>((a & 0x80) ? magnitude : -magnitude);
}

QByteArray ALaw::encode(const std::vector<std::int16_t> &samples)
{
    QByteArray out(static_cast<int>(samples.size()), '\0');
    for (size_t i = 0; i < samples.size(); ++i)
        out[static_cast<int>(i)] = static_cast<char>(encode(samples[i]));
    return out;
}

std::vector<std::int16_t> ALaw::decode(const QByteArray &codes)
{
    std::vector<std::int16_t> out(static_cast<size_t>(codes.size()));
    for (int i = 0; i < codes.size(); ++i)
        out[static_cast<size_t>(i)] = decode(static_cast<std::uint8_t>(codes.at(i)));
    return out;
}

} // namespace devsim
