#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

// Talk-back to a camera over the ONVIF audio back channel, on a thread of
// its own: rtspsrc with backchannel=onvif ("Require:
// www.onvif.org/ver20/backchannel" on DESCRIBE, SETUP and PLAY; the
// credentials as rtspsrc's own properties, never logged) sets up only the
// sendonly audio stream of the session, G.711 at 8000 Hz (PCMU or PCMA,
// the first the camera offers). push() takes 16-bit 8000 Hz mono PCM from
// any thread; the worker encodes it, cuts it into RTP packets of 20 ms and
// sends them no faster than they play.
//
// Bounds: the session must be playing within OpenTimeoutMs; at most
// MaxQueuedBytes (1 s) wait to be sent, push() drops the oldest beyond.
// requestStop() ends the session (TEARDOWN) without waiting; after it no
// callback starts any more.
//
// Threads: start(), abandon() and the destructor on the owner's thread
// (not the worker); push(), requestStop() and finished() on any thread;
// the callbacks run on the worker thread.
class RtspTalk
{
public:
    static constexpr int OpenTimeoutMs = 10000;
    static constexpr int IoTimeoutMs = 4000;
    static constexpr int MaxQueuedBytes = 16000;
    // ended's code when the camera offers no back channel.
    static constexpr int NoBackChannel = -0x4B414C54; // -'TLAK'

    struct Options
    {
        QString shownUrl; // the URL without credentials
        QByteArray user;
        QByteArray password;
        bool udp = false;
    };
    // opened once the back channel plays, with its RTP payload type (0:
    // PCMU, 8: PCMA); ended once, last, when it could not be opened or
    // ended (never after the owner stopped it): an FFmpeg error code
    // (AVERROR_HTTP_UNAUTHORIZED for refused credentials) or NoBackChannel,
    // and the reason.
    struct Callbacks
    {
        std::function<void(int payloadType)> opened;
        std::function<void(int code, const QString &text)> ended;
    };

    // Whether GStreamer and its rtspsrc are here; *why says what is missing.
    static bool usable(QString *why);

    RtspTalk(Options options, Callbacks callbacks);
    // Stops the worker and waits for it to end.
    ~RtspTalk();
    RtspTalk(const RtspTalk &) = delete;
    RtspTalk &operator=(const RtspTalk &) = delete;

    void start();
    void requestStop();
    bool finished() const { return m_finished.load(); }
    // Lets a stopped worker run out on its own: the object must then stay
    // alive until the process ends.
    void abandon();

    // Queues samples (16-bit, 8000 Hz, mono, native byte order) to send;
    // false when older ones had to be dropped to make room.
    bool push(const QByteArray &pcm);

private:
    using Clock = std::chrono::steady_clock;

    void run();
    int talk(QString *text);
    void wake();
    void waitForWork(Clock::time_point deadline);

    const Options m_options;
    const Callbacks m_callbacks;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_finished{false};
    std::mutex m_lock;
    std::condition_variable m_wake;
    bool m_work = false; // guarded by m_lock
    QByteArray m_queue;  // guarded by m_lock
    std::thread m_thread;
};
