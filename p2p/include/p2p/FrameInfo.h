#pragma once

#include <cstddef>
#include <cstdint>

namespace p2p {

// The 16-byte frame information record that travels with every video and
// audio frame. On the wire and in the C surface it is little-endian; use
// serialize()/parse() to convert, never memcpy the struct.
#pragma pack(push, 1)
struct FrameInfo
{
    static constexpr std::size_t kSize = 16;
    static constexpr std::uint8_t kFlagKeyFrame = 0x01; // video: key frame

    std::uint16_t codecId = 0;
    std::uint8_t flags = 0;
    std::uint8_t camIndex = 0;
    std::uint8_t onlineNum = 0;
    std::uint8_t reserved1[3] = {0, 0, 0};
    std::uint32_t reserved2 = 0; // the device simulator stores its send time (ms) here
    std::uint32_t timestamp = 0;

    bool isKeyFrame() const { return (flags & kFlagKeyFrame) != 0; }

    // Writes the 16 little-endian bytes to out.
    void serialize(std::uint8_t *out) const
    {
        out[0] = static_cast<std::uint8_t>(codecId & 0xff);
        out[1] = static_cast<std::uint8_t>(codecId >> 8);
        out[2] = flags;
        out[3] = camIndex;
        out[4] = onlineNum;
        out[5] = reserved1[0];
        out[6] = reserved1[1];
        out[7] = reserved1[2];
        putU32(out + 8, reserved2);
        putU32(out + 12, timestamp);
    }

    // Reads 16 little-endian bytes.
    static FrameInfo parse(const std::uint8_t *in)
    {
        FrameInfo f;
        f.codecId = static_cast<std::uint16_t>(in[0] | (in[1] << 8));
        f.flags = in[2];
        f.camIndex = in[3];
        f.onlineNum = in[4];
        f.reserved1[0] = in[5];
        f.reserved1[1] = in[6];
        f.reserved1[2] = in[7];
        f.reserved2 = getU32(in + 8);
        f.timestamp = getU32(in + 12);
        return f;
    }

private:
    static void putU32(std::uint8_t *p, std::uint32_t v)
    {
        p[0] = static_cast<std::uint8_t>(v);
        p[1] = static_cast<std::uint8_t>(v >> 8);
        p[2] = static_cast<std::uint8_t>(v >> 16);
        p[3] = static_cast<std::uint8_t>(v >> 24);
    }
    static std::uint32_t getU32(const std::uint8_t *p)
    {
        return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
               (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
    }
};
#pragma pack(pop)

static_assert(sizeof(FrameInfo) == FrameInfo::kSize, "FrameInfo must be 16 bytes");

} // namespace p2p
