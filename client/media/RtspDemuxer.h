#pragma once

#include "media/RtspReader.h"

#include <chrono>
#include <thread>

// An RtspReader on FFmpeg's RTSP demuxer (with the credentials in the URL).
// Its parser ends a frame when the next one begins, so each frame is handed
// on one frame interval after its last packet came in. Each socket read is
// bounded by IoTimeoutMs (FFmpeg's "timeout"); probing reads at most
// ProbeBytes. The one call that no interrupt reaches is a host name lookup,
// so an owner that must not wait checks finished() before destroying a
// stopped demuxer. It reads pictures only: no sound (hasAudio() stays
// false), and a replay ends at once with AVERROR(ENOSYS).
class RtspDemuxer final : public RtspReader
{
public:
    static constexpr int ProbeBytes = 512 * 1024;
    static constexpr int AnalyzeMs = 1500;

    RtspDemuxer(Options options, Callbacks callbacks);
    // Interrupts the worker and waits for it to end.
    ~RtspDemuxer() override;

    void start() override;
    void abandon() override;

private:
    using Clock = std::chrono::steady_clock;

    void run();
    // The worker's body; returns the code and text that end it.
    int stream(QString *text);
    static int interrupted(void *self);
    void armDeadline(int ms);

    std::atomic<Clock::rep> m_deadline{0}; // steady clock ticks; 0 = none
    std::thread m_thread;
};
