#pragma once

#include <algorithm>
#include <cstdint>

// The clock of one recording: milliseconds since its first video frame.
//
// Devices may put their send time in milliseconds into the frame record
// (the u32 at offset 8); the whole-second timestamp at offset 12 is too
// coarse for frame times. The device clock is used while it advances
// plausibly: never backwards, at most MaxStepMs per frame, and within
// MaxDriftMs of the local clock since the first frame. A device that leaves
// the field 0, or whose clock jumps, switches the recording to the local
// clock for good: the steady time at which the frame reaches the recorder
// (the decode step runs at most a short queue behind the reception). The
// switch keeps the timeline continuous.
//
// Video frames drive the decision (videoMs); audio blocks are placed on the
// same timeline (audioMs) without changing it. Not thread-safe: the owning
// recording serialises the calls.
class RecordClock
{
public:
    static constexpr int64_t MaxStepMs = 10000;
    static constexpr int64_t MaxDriftMs = 10000;

    // The time of a video frame; strictly increasing from 0. Times jitter
    // with the sender and the network; FrameGrid evens them out.
    int64_t videoMs(uint32_t deviceMs, int64_t localMs)
    {
        if (!m_started) {
            m_started = true;
            m_device = deviceMs != 0;
            m_lastDevice = deviceMs;
            m_originLocal = localMs;
            m_lastLocal = localMs;
            m_localOffset = -localMs;
            m_last = 0;
            m_lastSource = 0;
            return 0;
        }
        int64_t out = 0;
        if (m_device) {
            const int64_t step = int32_t(deviceMs - m_lastDevice);
            const int64_t drift = (m_lastSource + step) - (localMs - m_originLocal);
            if (deviceMs != 0 && step >= 0 && step <= MaxStepMs && drift <= MaxDriftMs &&
                drift >= -MaxDriftMs) {
                out = m_lastSource + step;
                m_lastDevice = deviceMs;
            } else {
                m_device = false;
                m_localOffset = m_lastSource - m_lastLocal;
            }
        }
        if (!m_device)
            out = localMs + m_localOffset;
        m_lastSource = out;
        out = std::max(out, m_last + 1);
        m_last = out;
        m_lastLocal = localMs;
        return out;
    }

    // The time of an audio block on the same timeline (may be negative for
    // a block older than the first video frame).
    int64_t audioMs(uint32_t deviceMs, int64_t localMs) const
    {
        if (!m_started)
            return -1;
        if (m_device)
            return m_lastSource + int32_t(deviceMs - m_lastDevice);
        return localMs + m_localOffset;
    }

    bool started() const { return m_started; }
    bool usesDeviceClock() const { return m_device; }

private:
    bool m_started = false;
    bool m_device = true;
    uint32_t m_lastDevice = 0;
    int64_t m_originLocal = 0;
    int64_t m_lastLocal = 0;
    int64_t m_localOffset = 0;
    int64_t m_last = 0;
    int64_t m_lastSource = 0; // the last video frame's device or local time
};
