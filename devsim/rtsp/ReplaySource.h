#pragma once

#include "DeviceConfig.h"
#include "RecordStore.h"

#include <QSize>

#include <chrono>
#include <memory>
#include <mutex>

typedef struct _GstAppSrc GstAppSrc;
typedef struct _GstElement GstElement;
typedef struct _GstRTSPMediaFactory GstRTSPMediaFactory;

namespace devsim {

class VideoEncoder;

// The picture source of one ONVIF replay session: plays a channel's recordings from the
// device's RecordStore into the media's appsrc ("src"), drawn with the clock pattern of the
// recording time and encoded as the device encodes.
//
// Timeline: stream time is the recording time in nanoseconds since 1900 (the RTSP server turns
// "Range: clock=..." into a seek to that time, and rtponviftimestamp with ntp-offset 0 writes
// the stream time as the packet's NTP time). Running time only counts the pictures sent: each
// picture advances it by 1 / fps and the recording time by |rate| / fps (Scale), backwards for
// a negative rate (then every picture is a key frame). Between recordings the data jumps to the
// next one with a new segment (the running time goes on) and a discontinuity mark, so the next
// packet carries the D flag; after the last recording the stream ends.
//
// Pictures are made on demand (the appsrc asks for each), so the encoder only works while a
// client reads: paced by the sinks with Rate-Control yes, and at most kMaxPaceFactor times real
// time with Rate-Control no.
//
// Threads: attach() on the RTSP server's thread while the media is configured; the appsrc's
// streaming thread and the seeking thread call in through the appsrc callbacks (one lock).
class ReplaySource
{
public:
    static constexpr int kMaxPaceFactor = 8;

    struct Settings
    {
        int channel = 0;
        VideoCodec codec = VideoCodec::H264;
        QSize size{640, 360};
        int fps = 25;
        int gopFrames = 50;
    };

    // An ONVIF media factory with replay support whose media is "appsrc name=src" into a bin
    // "pay0" (payloader "pay", then rtponviftimestamp). Transfer full.
    static GstRTSPMediaFactory *newFactory(VideoCodec codec);

    // Plays into `appsrc` (from newFactory()'s media); the appsrc owns the source from now on.
    static void attach(GstElement *appsrc, std::shared_ptr<const RecordStore> store,
                       const Settings &settings);

    // Recording time (ms since the epoch, UTC) to stream time and back.
    static qint64 toStreamTime(qint64 utcMs);
    static qint64 toUtcMs(qint64 streamTime);

    ~ReplaySource();
    ReplaySource(const ReplaySource &) = delete;
    ReplaySource &operator=(const ReplaySource &) = delete;

private:
    ReplaySource(std::shared_ptr<const RecordStore> store, const Settings &settings);

    static void onNeedData(GstAppSrc *src, unsigned length, void *user);
    static int onSeekData(GstAppSrc *src, quint64 offset, void *user);

    void needData(GstAppSrc *src);
    bool startRun(GstAppSrc *src);
    bool jumpForward(qint64 afterUtcSec);
    bool jumpBackward(qint64 beforeUtcSec);
    void advance();
    qint64 runningTimeOfPosition() const;
    qint64 stepNs() const;
    void pace(std::unique_lock<std::mutex> &lock);

    const std::shared_ptr<const RecordStore> m_store;
    const Settings m_settings;

    std::mutex m_lock;
    std::unique_ptr<VideoEncoder> m_encoder;
    struct SegmentData;
    std::unique_ptr<SegmentData> m_segment;
    bool m_restart = true;  // a seek happened: start over from the source's segment
    bool m_ended = false;   // past the last recording
    bool m_discont = false; // the next picture starts a recording after a jump
    bool m_key = true;      // the next picture is a key frame
    // The server holds back the first picture of a start or seek while the
    // media prerolls and does not send it, so a run begins with this many
    // key frames: the first one that arrives decodes at once.
    static constexpr int kLeadKeys = 2;
    int m_leadKeys = kLeadKeys;
    double m_rate = 1.0;
    qint64 m_position = 0; // stream time of the next picture
    RecordStore::Recording m_recording;
    std::chrono::steady_clock::time_point m_runStart;
    qint64 m_runFrames = 0;
};

} // namespace devsim
