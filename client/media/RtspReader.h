#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

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
// Sound (Options::audio): the first audio stream (PCMA, PCMU, AAC, G.726) is
// set up too, decoded, turned into 8000 Hz mono and handed on as A-law
// frames of AudioFrameBytes (40 ms) through Callbacks::audio, recorded like
// a P2P device's sound: codec AlawCodecId, size = audioLength = 320, the
// same timestamp and tag clocks as the pictures. hasAudio() says, from
// opened on, whether the stream has sound we decode; without it the
// pictures play as before.
//
// Replay (Options::replay, an ONVIF replay URI): the session asks for
// "Require: onvif-replay", starts at Replay::startUtcMs (Range: clock=...)
// and plays at Replay::scale. Every item then carries the recording time
// that the RTP packets' ONVIF header extension gives: timestamp = seconds
// since the epoch (UTC), tag = milliseconds since the epoch modulo 2^32
// (never 0). Across a gap in the recordings the times just jump forward
// (backward when the scale is negative). After the last recording the
// stream ends with EndOfRecordings ("end of recordings"). seek(),
// setScale(), pause() and resume() steer the session while it plays.
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
    // The frame codec of A-law sound (as P2P devices send it) and the size
    // of one sound frame: 320 samples, 40 ms at 8000 Hz.
    static constexpr uint16_t AlawCodecId = 138;
    static constexpr int AudioFrameBytes = 320;
    // The end of a replay after its last recording (ended's code).
    static constexpr int EndOfRecordings = -0x52434552; // -'RECR'

    struct Replay
    {
        bool on = false;
        qint64 startUtcMs = 0;   // where to start, ms since the epoch (UTC)
        double scale = 1;        // 4: four times as fast; negative: backwards
        bool rateControl = true; // false: "Rate-Control: no", as fast as it comes
    };

    struct Options
    {
        QByteArray url;   // the URL to open, credentials included: never log it
        QString shownUrl; // the same without credentials, for logs and texts
        QByteArray user;  // the credentials on their own (readers that take them apart)
        QByteArray password;
        bool udp = false;   // RTP over UDP instead of interleaved in the RTSP connection
        bool audio = false; // set up the first audio stream too (GStreamer's reader only)
        Replay replay;      // GStreamer's reader only
    };
    // What the worker reports, on its own thread. opened once the stream is
    // ready (the picture size where known, else 0); frame for each access
    // unit (the item changes hands); ended once, last, when the open failed
    // or the stream ended (never after the owner stopped it): an FFmpeg error
    // code (AVERROR_HTTP_UNAUTHORIZED for refused credentials, whichever
    // reader) and the reason in the words of the camera or the library.
    // audio for each A-law frame (the item changes hands; only with
    // Options::audio).
    struct Callbacks
    {
        std::function<void(int width, int height)> opened;
        std::function<void(ChannelBufferItem *item)> frame;
        std::function<void(int code, const QString &text)> ended;
        std::function<void(ChannelBufferItem *item)> audio;
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

    // Whether the stream has sound that audio() will carry; meaningful from
    // opened on. Any thread.
    bool hasAudio() const { return m_hasAudio.load(); }
    // Whether this reader can do Options::audio and Options::replay.
    virtual bool supportsAudioAndReplay() const { return false; }

    // Replay steering, any thread; the worker carries the requests out in
    // order (the latest of each kind wins). False when this reader does not
    // replay. seek: play from utcMs at once ("Immediate: yes"); the first
    // picture after it is a key frame from the new place (a seek while
    // paused takes effect at resume()). setScale: the new speed, from the
    // current place (negative: backwards, where the device allows it).
    // pause / resume: PAUSE and PLAY of the session; while paused no
    // time-out runs.
    virtual bool seek(qint64 utcMs)
    {
        Q_UNUSED(utcMs);
        return false;
    }
    virtual bool setScale(double scale)
    {
        Q_UNUSED(scale);
        return false;
    }
    virtual bool pause() { return false; }
    virtual bool resume() { return false; }

    // The record of one access unit: data (size bytes, Annex B) with
    // parameterSets in front when it is a key frame that has none of its own.
    // Null when the frame does not fit a video buffer or no buffer can be
    // had. Any thread.
    static ChannelBufferItem *makeItem(int codecId, const uint8_t *data, int size, bool key,
                                       const QByteArray &parameterSets, uint32_t seconds,
                                       uint32_t senderMs, uint32_t frameNumber);
    // The record of one A-law sound frame (AudioFrameBytes bytes); null
    // when no buffer can be had. Any thread.
    static ChannelBufferItem *makeAudioItem(const uint8_t *alaw, uint32_t seconds,
                                            uint32_t senderMs, uint32_t frameNumber);

protected:
    RtspReader(Options options, Callbacks callbacks);

    const Options m_options;
    const Callbacks m_callbacks;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_finished{false};
    std::atomic<bool> m_hasAudio{false};
};
