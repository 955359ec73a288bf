#pragma once

#include <QtGlobal>

#include <cstdint>
#include <memory>
#include <mutex>

// Hands packed I420 pictures from the decode step to the view cells without
// tearing. The decoder writes into the back buffer, which no reader touches,
// and publish() swaps it with the front buffer under a short lock; readers
// use the front buffer only inside withFront(), under the same lock.
//
// Layout of a w x h picture: w*h bytes of Y, then (w/2)*(h/2) bytes of U,
// then (w/2)*(h/2) bytes of V, rows tightly packed (integer halves).
//
// Threads: backBuffer(), publish() and clear() by one writer at a time (the
// decode step and the decoder teardown, under Video's decode lock); the
// readers withFront(), hasPicture(), serial() and frontSize() any thread.
class PictureExchange
{
public:
    // The largest picture accepted: 3840 x 2160.
    static constexpr int MaxWidth = 3840;
    static constexpr int MaxHeight = 2160;
    static constexpr qint64 MaxBytes = qint64(MaxWidth) * MaxHeight * 3 / 2;

    static qint64 packedSize(int width, int height)
    {
        return qint64(width) * height + 2 * qint64(width / 2) * (height / 2);
    }
    static qint64 uOffset(int width, int height) { return qint64(width) * height; }
    static qint64 vOffset(int width, int height)
    {
        return qint64(width) * height + qint64(width / 2) * (height / 2);
    }

    struct Picture
    {
        const uint8_t *data = nullptr;
        int width = 0;
        int height = 0;
        uint32_t timestamp = 0;
        uint32_t tag = 0;   // the frame record's reserved u32 (send time on devsim)
        quint64 serial = 0; // rises with every published picture
    };

    PictureExchange() = default;
    PictureExchange(const PictureExchange &) = delete;
    PictureExchange &operator=(const PictureExchange &) = delete;

    // The back buffer, sized for a width x height picture; null when the
    // picture is empty or larger than MaxBytes, or memory is exhausted.
    uint8_t *backBuffer(int width, int height);
    // Makes the back buffer (filled for width x height) the front picture.
    void publish(int width, int height, uint32_t timestamp, uint32_t tag = 0);

    // Calls f(const Picture &) with the front picture under the lock and
    // returns true; returns false (f not called) when there is none.
    template <class F> bool withFront(F &&f) const
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (!m_front.data)
            return false;
        Picture p;
        p.data = m_front.data.get();
        p.width = m_front.width;
        p.height = m_front.height;
        p.timestamp = m_front.timestamp;
        p.tag = m_front.tag;
        p.serial = m_serial;
        f(static_cast<const Picture &>(p));
        return true;
    }

    bool hasPicture() const;
    quint64 serial() const;
    // Size of the front picture ((0, 0) when none).
    void frontSize(int &width, int &height) const;
    // Drops both buffers (stream stopped); readers then find no picture.
    void clear();
    // Bytes held by both buffers.
    qint64 allocatedBytes() const;

private:
    struct Buffer
    {
        std::unique_ptr<uint8_t[]> data;
        qint64 capacity = 0;
        int width = 0;
        int height = 0;
        uint32_t timestamp = 0;
        uint32_t tag = 0;
    };

    mutable std::mutex m_lock;
    Buffer m_front; // guarded by m_lock
    Buffer m_back;  // writer only (swapped under m_lock)
    quint64 m_serial = 0;
};
