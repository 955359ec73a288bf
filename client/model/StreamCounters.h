#pragma once

#include <QtGlobal>

#include <atomic>
#include <cstdint>

// Running totals of one stream (a channel in one mode), written where its
// frames pass: the receive step, the decode step and the view cell. They
// only grow, for the channel's whole life; a reader takes differences over
// its own interval, so nobody resets a counter under a writer.
//
// Any thread. Relaxed atomics: each figure is exact on its own; figures read
// one after another may be a frame apart.
struct StreamCounters
{
    std::atomic<quint64> framesReceived{0}; // video frames fetched from the link
    std::atomic<quint64> bytesReceived{0};  // their payload bytes
    std::atomic<quint64> framesDecoded{0};  // pictures out of the decoder
    std::atomic<quint64> framesDrawn{0};    // pictures uploaded by a view cell
    // Frames received and not shown: dropped from a backlog, refused by the
    // decoder (corrupt, unsupported, waiting for a key frame).
    std::atomic<quint64> framesDropped{0};
    std::atomic<int> codecId{0}; // SDK codec id of the last video frame; 0 = none yet
    // Send-to-picture delay of the last drawn picture in ms; -1 = unknown.
    std::atomic<int> delayMs{-1};

    static void add(std::atomic<quint64> &counter, quint64 n = 1)
    {
        counter.fetch_add(n, std::memory_order_relaxed);
    }
    static quint64 read(const std::atomic<quint64> &counter)
    {
        return counter.load(std::memory_order_relaxed);
    }

    // Size of the last decoded picture; (0, 0) = none since the stream started.
    void setPictureSize(int width, int height)
    {
        m_pictureSize.store(quint32(quint16(width)) << 16 | quint16(height),
                            std::memory_order_relaxed);
    }
    int pictureWidth() const { return int(m_pictureSize.load(std::memory_order_relaxed) >> 16); }
    int pictureHeight() const
    {
        return int(m_pictureSize.load(std::memory_order_relaxed) & 0xffff);
    }

    // The delay of a picture whose frame carried the sender's clock `sentMs`
    // (milliseconds modulo 2^32), drawn at `nowMs` since the epoch. Senders
    // that carry no clock send 0; a clock that puts the picture outside a
    // minute in the past is not one either. -1 when unknown.
    static int delayOf(uint32_t sentMs, qint64 nowMs)
    {
        if (sentMs == 0)
            return -1;
        const uint32_t delta = uint32_t(uint64_t(nowMs)) - sentMs;
        return delta <= 60000u ? int(delta) : -1;
    }

private:
    std::atomic<quint32> m_pictureSize{0}; // width << 16 | height, one store for both
};
