#pragma once

#include <cstdint>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

// A small pool of equally sized frame buffers. Receive steps take a buffer
// per frame and the last handler of the frame gives it back, so the
// 2,304,000-byte video arrays are reused instead of being allocated for every
// receive step. At most maxIdle buffers are kept; the rest are freed.
// Any thread.
class FrameBufferPool
{
public:
    FrameBufferPool(int bufferSize, int maxIdle)
        : m_bufferSize(bufferSize)
        , m_maxIdle(maxIdle)
    {}
    ~FrameBufferPool()
    {
        for (uint8_t *b : m_idle)
            delete[] b;
    }
    FrameBufferPool(const FrameBufferPool &) = delete;
    FrameBufferPool &operator=(const FrameBufferPool &) = delete;

    int bufferSize() const { return m_bufferSize; }

    // A buffer of bufferSize() bytes (contents unspecified), or null when
    // memory is exhausted.
    uint8_t *acquire()
    {
        {
            std::lock_guard<std::mutex> lock(m_lock);
            if (!m_idle.empty()) {
                uint8_t *b = m_idle.back();
                m_idle.pop_back();
                return b;
            }
        }
        return new (std::nothrow) uint8_t[static_cast<size_t>(m_bufferSize)];
    }

    void release(uint8_t *buffer)
    {
        if (!buffer)
            return;
        {
            std::lock_guard<std::mutex> lock(m_lock);
            if (static_cast<int>(m_idle.size()) < m_maxIdle) {
                m_idle.push_back(buffer);
                return;
            }
        }
        delete[] buffer;
    }

    int idleCount() const
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return static_cast<int>(m_idle.size());
    }

    // The process-wide pools of the video and audio receive steps.
    static FrameBufferPool &video()
    {
        static FrameBufferPool pool(2304000, 32);
        return pool;
    }
    static FrameBufferPool &audio()
    {
        static FrameBufferPool pool(1024, 64);
        return pool;
    }

private:
    const int m_bufferSize;
    const int m_maxIdle;
    mutable std::mutex m_lock;
    std::vector<uint8_t *> m_idle;
};

// One received frame and what its source says of it: codec (the media
// layer's frame codec numbers, H26xDecoder::FrameCodec...), flags (1 = key
// frame), the capture time in seconds and a tag (on simulated devices the
// sender's clock in milliseconds). The P2P receive step fills them from the
// SDK's frame information record (setFrameInfo); other sources set them
// directly (setFrame). Created with new by a source; whoever handles it last
// deletes it, which returns its data array to the pool it came from.
struct ChannelBufferItem
{
    static constexpr int VideoCapacity = 2304000;
    static constexpr int AudioCapacity = 1024;
    // The SDK's frame information record (little-endian): codec id u16 at 0,
    // flags u8 at 2, camera index u8 at 3, online count u8 at 4, reserved
    // bytes 5..11 (the u32 at 8 is the tag), timestamp u32 at 12.
    static constexpr int FrameInfoSize = 16;

    uint8_t *data = nullptr;
    int32_t size = 0; // receive result: bytes, or a negative error code
    uint32_t frameNumber = 0;
    int32_t audioLength = 0;
    int32_t capacity = 0;            // bytes available at data
    FrameBufferPool *pool = nullptr; // where data goes back; null = delete[]

    ChannelBufferItem() = default;
    // Takes a buffer from pool; data stays null when none could be had.
    explicit ChannelBufferItem(FrameBufferPool &from)
        : pool(&from)
    {
        data = from.acquire();
        capacity = data ? from.bufferSize() : 0;
    }
    ~ChannelBufferItem()
    {
        if (pool)
            pool->release(data);
        else
            delete[] data;
    }
    ChannelBufferItem(const ChannelBufferItem &) = delete;
    ChannelBufferItem &operator=(const ChannelBufferItem &) = delete;

    void setFrame(uint16_t codec, bool key, uint32_t seconds, uint32_t tag)
    {
        m_codec = codec;
        m_flags = key ? 1 : 0;
        m_timestamp = seconds;
        m_tag = tag;
    }
    // From the SDK's record of FrameInfoSize bytes.
    void setFrameInfo(const uint8_t *info)
    {
        m_codec = static_cast<uint16_t>(info[0] | (info[1] << 8));
        m_flags = info[2];
        m_tag = readU32(info + 8);
        m_timestamp = readU32(info + 12);
        // Playback and export frames of devices that tell milliseconds:
        // bytes 5..6 hold them plus one, and flag bits 1 and 2 mark a step's
        // last frame and the first frame after a gap.
        const int ms = info[5] | (info[6] << 8);
        m_recordMs = ms >= 1 && ms <= 1000 ? int16_t(ms - 1) : int16_t(-1);
        if (m_recordMs >= 0) {
            m_marks = m_flags & 0x06;
            m_flags &= uint8_t(~0x06);
        }
    }
    // The milliseconds of the recording time within its second; -1 when the
    // frame does not tell.
    int recordMs() const { return m_recordMs; }
    // The recording time in ms since the epoch (seconds only when untold).
    int64_t recordTimeMs() const
    {
        return int64_t(m_timestamp) * 1000 + (m_recordMs >= 0 ? m_recordMs : 0);
    }
    // Flag bits besides the key frame's (step target 0x02, span start 0x04).
    uint8_t marks() const { return m_marks; }

    uint16_t codecId() const { return m_codec; }
    uint8_t flags() const { return m_flags; }
    bool keyFrame() const { return m_flags == 1; }
    uint32_t tag() const { return m_tag; }
    uint32_t timestamp() const { return m_timestamp; }

private:
    static uint32_t readU32(const uint8_t *at)
    {
        return uint32_t(at[0]) | uint32_t(at[1]) << 8 | uint32_t(at[2]) << 16 |
               uint32_t(at[3]) << 24;
    }

    uint16_t m_codec = 0;
    uint8_t m_flags = 0;
    uint8_t m_marks = 0;
    int16_t m_recordMs = -1;
    uint32_t m_timestamp = 0;
    uint32_t m_tag = 0;
};
