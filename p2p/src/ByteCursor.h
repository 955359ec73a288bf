#pragma once

// Little-endian byte helpers of the wire formats: put…() append to an
// outgoing buffer, ByteCursor reads received bytes with bounds checks.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace p2p::wire {

inline void putU16(std::vector<std::uint8_t> &v, std::uint16_t x)
{
    v.push_back(static_cast<std::uint8_t>(x));
    v.push_back(static_cast<std::uint8_t>(x >> 8));
}

inline void putU32(std::vector<std::uint8_t> &v, std::uint32_t x)
{
    for (int i = 0; i < 4; ++i)
        v.push_back(static_cast<std::uint8_t>(x >> (8 * i)));
}

inline void putU32(std::uint8_t *p, std::uint32_t x)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(x >> (8 * i));
}

inline std::uint32_t getU32(const std::uint8_t *p)
{
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

inline void putBytes(std::vector<std::uint8_t> &v, const std::uint8_t *p, std::size_t n)
{
    v.insert(v.end(), p, p + n);
}

// Short text: one length byte, then the bytes.
inline void putText(std::vector<std::uint8_t> &v, const std::string &s, std::size_t maxLen)
{
    const std::size_t n = std::min(s.size(), maxLen);
    v.push_back(static_cast<std::uint8_t>(n));
    v.insert(v.end(), s.begin(), s.begin() + static_cast<std::ptrdiff_t>(n));
}

// Bounds-checked cursor over received bytes.
class ByteCursor
{
public:
    ByteCursor(const std::uint8_t *p, std::size_t n)
        : p_(p)
        , n_(n)
    {}
    bool u8(std::uint8_t &out)
    {
        if (n_ - pos_ < 1)
            return false;
        out = p_[pos_++];
        return true;
    }
    bool u16(std::uint16_t &out)
    {
        if (n_ - pos_ < 2)
            return false;
        out = static_cast<std::uint16_t>(p_[pos_] | (p_[pos_ + 1] << 8));
        pos_ += 2;
        return true;
    }
    bool u32(std::uint32_t &out)
    {
        if (n_ - pos_ < 4)
            return false;
        out = getU32(p_ + pos_);
        pos_ += 4;
        return true;
    }
    bool bytes(std::uint8_t *out, std::size_t n)
    {
        if (n_ - pos_ < n)
            return false;
        std::memcpy(out, p_ + pos_, n);
        pos_ += n;
        return true;
    }
    bool text(std::string &out, std::size_t maxLen)
    {
        std::uint8_t n = 0;
        if (!u8(n) || n > maxLen || n_ - pos_ < n)
            return false;
        out.assign(reinterpret_cast<const char *>(p_ + pos_), n);
        pos_ += n;
        return out.find('\0') == std::string::npos;
    }
    bool atEnd() const { return pos_ == n_; }

private:
    const std::uint8_t *p_;
    std::size_t n_;
    std::size_t pos_ = 0;
};

} // namespace p2p::wire
