#pragma once

#include "media/RtspReader.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

// An RtspReader on GStreamer: rtspsrc (GstRtspSession: latency 0, the
// credentials as its own properties) with the first H.264 or H.265 video
// stream, the RTP depayloader that ends an access unit on the marker bit,
// and an appsink; with Options::audio also the first audio stream that a
// decoder here takes (PCMA, PCMU, AAC, G.726): decodebin, audioconvert and
// audioresample to 8000 Hz mono, an appsink, and the worker cuts the
// samples into A-law frames. A replay (Options::replay) runs rtspsrc in
// ONVIF mode through GstReplayControl. GStreamer's threads only wake the
// worker (a sample, a request or a bus message is waiting); the worker
// pulls, builds the items and calls back, so that every callback and every
// piece of our state stays on one thread of ours.
//
// Errors keep the words of the camera or of GStreamer; refused credentials
// end with AVERROR_HTTP_UNAUTHORIZED, a missing stream with
// AVERROR_HTTP_NOT_FOUND, a video codec other than H.264/H.265 with
// AVERROR_DECODER_NOT_FOUND. A live stream whose video ends ends with
// AVERROR_EOF, a replay with EndOfRecordings.
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

    bool supportsAudioAndReplay() const override { return true; }
    // Any thread; carried out by the worker (see RtspReader).
    bool seek(qint64 utcMs) override;
    bool setScale(double scale) override;
    bool pause() override;
    bool resume() override;

private:
    struct Worker;
    using Clock = std::chrono::steady_clock;
    // What the owner asked of a replay, guarded by m_lock.
    struct Requests
    {
        bool seek = false;
        qint64 seekUtcMs = 0;
        bool scale = false;
        double scaleValue = 1;
        int pause = 0; // 1: pause, 2: resume
    };

    void run();
    // The worker's body; returns the code and text that end it.
    int stream(QString *text);
    // Waits until GStreamer or the owner has something for the worker, the
    // deadline passed or a stop was asked for.
    void waitForWork(Clock::time_point deadline);
    // From GStreamer's threads.
    void wake();
    bool ask(void (*change)(Requests &, qint64, double), qint64 at, double scale);
    Requests takeRequests();

    std::mutex m_lock;
    std::condition_variable m_wake;
    bool m_work = false; // guarded by m_lock
    Requests m_requests; // guarded by m_lock
    std::thread m_thread;
};
