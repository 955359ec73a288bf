#pragma once

#include "media/YuvColour.h"

#include <QtGlobal>

#include <cstdint>
#include <mutex>

struct AVFrame;

// Hands decoded I420 pictures from the decode step to the view cells without
// copying and without tearing. The writer fills the back frame, either by
// moving the decoder's reference-counted frame into it or by writing a
// packed picture into backBuffer(), and publish() swaps it with the front
// frame under a short lock. Readers use the front frame only inside
// withFront(), under the same lock. The frame that publish() replaces is
// released at once, so a decoder's buffer is held by the exchange only
// while it is the newest picture.
//
// Planes are 8-bit Y, U and V with their own strides; U and V have the
// integer halves of the picture's width and height.
//
// Threads: backFrame(), backBuffer(), publish() and clear() by one writer at
// a time (the decode step and the decoder teardown, under the slot's decode
// lock); the readers withFront(), hasPicture(), serial() and frontSize() any
// thread.
class PictureExchange
{
public:
    // The largest picture accepted: 3840 x 2160.
    static constexpr int MaxWidth = 3840;
    static constexpr int MaxHeight = 2160;
    static constexpr qint64 MaxBytes = qint64(MaxWidth) * MaxHeight * 3 / 2;
    // A picture's tag with this bit holds the milliseconds of its recording
    // time (playback of a device that tells them) instead of a send time.
    static constexpr uint32_t RecordMsTag = 0x80000000u;

    // Layout of a packed w x h picture (backBuffer): w*h bytes of Y, then
    // (w/2)*(h/2) bytes of U, then as many of V, rows tightly packed.
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
        const uint8_t *planes[3] = {nullptr, nullptr, nullptr};
        int strides[3] = {0, 0, 0};
        int width = 0;
        int height = 0;
        uint32_t timestamp = 0;
        uint32_t tag = 0;   // the frame record's reserved u32 (send time on devsim)
                            // or RecordMsTag | the recording time's milliseconds
        quint64 serial = 0; // rises with every published picture
        YuvColour colour;
    };

    PictureExchange();
    ~PictureExchange();
    PictureExchange(const PictureExchange &) = delete;
    PictureExchange &operator=(const PictureExchange &) = delete;

    // The back frame, empty, for the writer to move a decoded 8-bit 4:2:0
    // frame into (av_frame_move_ref); null when memory is exhausted.
    AVFrame *backFrame();
    // A packed picture buffer of width x height in the back frame; null when
    // the picture is empty or larger than MaxBytes, or memory is exhausted.
    uint8_t *backBuffer(int width, int height);
    // Makes the back frame the front picture and releases the former front.
    void publish(uint32_t timestamp, uint32_t tag = 0, YuvColour colour = {});

    // Calls f(const Picture &) with the front picture under the lock and
    // returns true; returns false (f not called) when there is none.
    template <class F> bool withFront(F &&f) const
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (!m_front.frame || !m_front.filled)
            return false;
        Picture p = frontPicture();
        f(static_cast<const Picture &>(p));
        return true;
    }

    bool hasPicture() const;
    quint64 serial() const;
    // Size of the front picture ((0, 0) when none).
    void frontSize(int &width, int &height) const;
    // Drops both frames (stream stopped); readers then find no picture.
    void clear();
    // Bytes held by both frames' buffers.
    qint64 allocatedBytes() const;

private:
    struct Slot
    {
        AVFrame *frame = nullptr;
        bool filled = false; // holds a picture
        bool packed = false; // its buffer is our own packed one (kept for reuse)
        uint32_t timestamp = 0;
        uint32_t tag = 0;
        YuvColour colour;
    };

    Picture frontPicture() const; // under m_lock
    static void release(Slot &slot);

    mutable std::mutex m_lock;
    Slot m_front; // guarded by m_lock
    Slot m_back;  // writer only (swapped under m_lock)
    quint64 m_serial = 0;
};
