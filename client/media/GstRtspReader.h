#pragma once

#include "media/RtspReader.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

// An RtspReader on GStreamer: rtspsrc (latency 0, the credentials as its own
// properties, only the first H.264 or H.265 video stream set up), the RTP
// depayloader that ends an access unit on the marker bit, and an appsink.
// GStreamer's threads only wake the worker (a sample or a bus message is
// waiting); the worker pulls, builds the items and calls back, so that every
// callback and every piece of our state stays on one thread of ours.
//
// Errors keep the words of the camera or of GStreamer; refused credentials
// end with AVERROR_HTTP_UNAUTHORIZED, a missing stream with
// AVERROR_HTTP_NOT_FOUND, a video codec other than H.264/H.265 with
// AVERROR_DECODER_NOT_FOUND.
class GstRtspReader final : public RtspReader
{
public:
    // Whether GStreamer starts and has the elements this reader needs; *why
    // (when given) says what is missing. Initialises GStreamer once. Any
    // thread.
    static bool usable(QString *why);

    GstRtspReader(Options options, Callbacks callbacks);
    // Stops the worker and waits for it to end.
    ~GstRtspReader() override;

    void start() override;
    void requestStop() override;
    void abandon() override;

private:
    struct Pipeline;
    using Clock = std::chrono::steady_clock;

    void run();
    // The worker's body; returns the code and text that end it.
    int stream(QString *text);
    // Waits until GStreamer has something for the worker, the deadline
    // passed or a stop was asked for.
    void waitForWork(Clock::time_point deadline);
    // From GStreamer's threads.
    void wake();

    std::mutex m_lock;
    std::condition_variable m_wake;
    bool m_work = false; // guarded by m_lock
    std::thread m_thread;
};
