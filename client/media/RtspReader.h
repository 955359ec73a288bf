#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

struct ChannelBufferItem;

// One RTSP stream read on a thread of its own: it connects (DESCRIBE, SETUP,
// PLAY), finds the H.264 or H.265 video stream and hands every access unit on
// as a ChannelBufferItem (ChannelBufferItem::setFrame): codec, key-frame flag,
// the wall clock's seconds as timestamp and the stream's presentation time in
// ms (counted from the wall clock at the first frame) as its tag. A key frame
// that lacks the parameter sets gets the last known ones in front, so every
// key frame decodes and opens a recording on its own.
//
// Two readers implement it: GStreamer's rtspsrc (GstRtspReader), which ends a
// frame on the RTP marker bit and so hands it on as soon as its last packet is
// in, and FFmpeg's RTSP demuxer (RtspDemuxer), whose parser holds each frame
// until the next one begins (one frame interval more). create() picks the
// first where its plug-ins are installed; ORVANE_RTSP_READER=ffmpeg or
// =gstreamer chooses.
//
// Bounds: the open (connect, set-up, first frame) must finish within
// OpenTimeoutMs, and frames must keep coming at least every IoTimeoutMs.
// requestStop() interrupts the worker; after it no callback starts any more.
//
// Threads: create(), start(), abandon() and the destructor on the owner's
// thread (which must not be the worker); requestStop() and finished() on any
// thread; the callbacks run on the worker thread.
class RtspReader
{
public:
    static constexpr int OpenTimeoutMs = 10000;
    static constexpr int IoTimeoutMs = 4000;

    struct Options
    {
        QByteArray url;   // the URL to open, credentials included: never log it
        QString shownUrl; // the same without credentials, for logs and texts
        QByteArray user;  // the credentials on their own (readers that take them apart)
        QByteArray password;
        bool udp = false; // RTP over UDP instead of interleaved in the RTSP connection
    };
    // What the worker reports, on its own thread. opened once the stream is
    // ready (the picture size where known, else 0); frame for each access
    // unit (the item changes hands); ended once, last, when the open failed
    // or the stream ended (never after the owner stopped it): an FFmpeg error
    // code (AVERROR_HTTP_UNAUTHORIZED for refused credentials, whichever
    // reader) and the reason in the words of the camera or the library.
    struct Callbacks
    {
        std::function<void(int width, int height)> opened;
        std::function<void(ChannelBufferItem *item)> frame;
        std::function<void(int code, const QString &text)> ended;
    };

    enum class Kind { GStreamer, FFmpeg };

    // The reader of the kind that ORVANE_RTSP_READER names, else the first
    // that can run here.
    static std::shared_ptr<RtspReader> create(Options options, Callbacks callbacks);
    static std::shared_ptr<RtspReader> create(Kind kind, Options options, Callbacks callbacks);
    static Kind preferredKind();

    virtual ~RtspReader();
    RtspReader(const RtspReader &) = delete;
    RtspReader &operator=(const RtspReader &) = delete;

    virtual void start() = 0;
    // Tells the worker to stop without waiting for it (the destructor waits).
    virtual void requestStop() { m_stop = true; }
    // True once the worker has ended (the destructor then returns at once).
    bool finished() const { return m_finished.load(); }
    // Lets a stopped worker that has not ended run out on its own: the
    // object must then stay alive until the process ends (the client quits).
    virtual void abandon() = 0;

    // The record of one access unit: data (size bytes, Annex B) with
    // parameterSets in front when it is a key frame that has none of its own.
    // Null when the frame does not fit a video buffer or no buffer can be
    // had. Any thread.
    static ChannelBufferItem *makeItem(int codecId, const uint8_t *data, int size, bool key,
                                       const QByteArray &parameterSets, uint32_t seconds,
                                       uint32_t senderMs, uint32_t frameNumber);

protected:
    RtspReader(Options options, Callbacks callbacks);

    const Options m_options;
    const Callbacks m_callbacks;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_finished{false};
};
