#pragma once

#include <QByteArray>

#include <cstdint>
#include <vector>

namespace devsim {

// G.711 A-law coding of 16-bit linear samples.
class ALaw
{
public:
    static std::uint8_t encode(std::int16_t sample);
    static std::int16_t decode(std::uint8_t code);

    static QByteArray encode(const std::vector<std::int16_t> &samples);
    static std::vector<std::int16_t> decode(const QByteArray &codes);
};

} // namespace devsim
