#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <thread>

struct AVPacket;
struct ChannelBufferItem;

// One RTSP stream read by FFmpeg's RTSP demuxer on a thread of its own: it
// connects (DESCRIBE, SETUP, PLAY, with the credentials in the URL), finds
// the H.264 or H.265 video stream and hands every video packet on as a
// ChannelBufferItem (ChannelBufferItem::setFrame): codec, key-frame flag,
// the wall clock's seconds as timestamp and the stream's presentation time
// in ms (counted from the wall clock at the first packet) as its tag. A key frame that lacks the
// parameter sets gets those of the session description in front, so every key frame decodes and
// opens a recording on its own.
//
// Bounds: the open (connect, set-up, probing) must finish within
// OpenTimeoutMs, each socket read within IoTimeoutMs (FFmpeg's "timeout"),
// and packets must keep coming at least every IoTimeoutMs; probing reads at
// most ProbeBytes. requestStop() interrupts every blocking FFmpeg call; the
// one call that no interrupt reaches is a host name lookup, so an owner that
// must not wait checks finished() before destroying a stopped demuxer. After
// requestStop() no callback starts any more.
//
// Threads: the constructor, start(), abandon() and the destructor on the
// owner's thread (which must not be the worker); requestStop() and
// finished() on any thread; the callbacks run on the worker thread.
class RtspDemuxer
{
public:
    static constexpr int OpenTimeoutMs = 10000;
    static constexpr int IoTimeoutMs = 4000;
    static constexpr int ProbeBytes = 512 * 1024;
    static constexpr int AnalyzeMs = 1500;

    struct Options
    {
        QByteArray url;   // the URL to open, credentials included: never log it
        QString shownUrl; // the same without credentials, for logs and texts
        bool udp = false; // RTP over UDP instead of interleaved in the RTSP connection
    };
    // What the worker reports, on its own thread. opened once the stream is
    // ready; frame for each video packet (the item changes hands); ended
    // once, last, when the open failed or the stream ended (never after
    // the owner closed it): an FFmpeg error code and its text.
    struct Callbacks
    {
        std::function<void(int width, int height)> opened;
        std::function<void(ChannelBufferItem *item)> frame;
        std::function<void(int code, const QString &text)> ended;
    };

    RtspDemuxer(Options options, Callbacks callbacks);
    // Interrupts the worker and waits for it to end.
    ~RtspDemuxer();

    RtspDemuxer(const RtspDemuxer &) = delete;
    RtspDemuxer &operator=(const RtspDemuxer &) = delete;

    void start();
    // Tells the worker to stop without waiting for it (the destructor waits).
    void requestStop() { m_stop = true; }
    // True once the worker has ended (the destructor then returns at once).
    bool finished() const { return m_finished.load(); }
    // Lets a stopped worker that has not ended run out on its own: the
    // object must then stay alive until the process ends (the client quits).
    void abandon();

    // The record of one packet: data (size bytes, Annex B) with parameterSets
    // in front when it is a key frame that has none of its own. Null when
    // the frame does not fit a video buffer or no buffer can be had. Any
    // thread.
    static ChannelBufferItem *makeItem(int codecId, const uint8_t *data, int size, bool key,
                                       const QByteArray &parameterSets, uint32_t seconds,
                                       uint32_t senderMs, uint32_t frameNumber);

private:
    using Clock = std::chrono::steady_clock;

    void run();
    // The worker's body; returns the code and text that end it.
    int stream(QString *text);
    static int interrupted(void *self);
    void armDeadline(int ms);

    const Options m_options;
    const Callbacks m_callbacks;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_finished{false};
    std::atomic<Clock::rep> m_deadline{0}; // steady clock ticks; 0 = none
    std::thread m_thread;
};
