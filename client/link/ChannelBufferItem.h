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

// One received frame with the SDK's 16-byte frame information. Created with
// new by a receive step; whoever handles it last deletes it, which returns
// its data array to the pool it came from.
//
// Frame information record (little-endian): codec id u16 at 0, flags u8 at 2
// (1 = key frame), camera index u8 at 3, online count u8 at 4, reserved
// bytes 5..11 (the u32 at 8 carries the sender's clock in milliseconds on
// simulated devices), timestamp u32 at 12.
struct ChannelBufferItem
{
    static constexpr int VideoCapacity = 2304000;
    static constexpr int AudioCapacity = 1024;
    static constexpr int FrameInfoSize = 16;
    // frameInfo, frameNumber, audioLength and spare, as copied into a slot.
    static constexpr int RecordSize = 28;

    uint8_t *data = nullptr;
    int32_t size = 0; // receive result: bytes, or a negative error code
    uint8_t frameInfo[FrameInfoSize] = {};
    uint32_t frameNumber = 0;
    int32_t audioLength = 0;
    int32_t spare = 0;
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

    uint16_t codecId() const { return static_cast<uint16_t>(frameInfo[0] | (frameInfo[1] << 8)); }
    uint8_t flags() const { return frameInfo[2]; }
    bool keyFrame() const { return frameInfo[2] == 1; }
    uint32_t reservedU32() const { return readU32(8); }
    uint32_t timestamp() const { return readU32(12); }

    // The 28-byte record: frameInfo, frameNumber, audioLength, spare.
    void copyRecord(uint8_t *out) const
    {
        std::memcpy(out, frameInfo, FrameInfoSize);
        writeU32(out + 16, frameNumber);
        writeU32(out + 20, static_cast<uint32_t>(audioLength));
        writeU32(out + 24, static_cast<uint32_t>(spare));
    }

private:
    uint32_t readU32(int at) const
    {
        return uint32_t(frameInfo[at]) | uint32_t(frameInfo[at + 1]) << 8 |
               uint32_t(frameInfo[at + 2]) << 16 | uint32_t(frameInfo[at + 3]) << 24;
    }
    static void writeU32(uint8_t *out, uint32_t v)
    {
        out[0] = uint8_t(v);
        out[1] = uint8_t(v >> 8);
        out[2] = uint8_t(v >> 16);
        out[3] = uint8_t(v >> 24);
    }
};
