#pragma once

#include "media/GstReplayControl.h"
#include "media/GstRtspSession.h"
#include "media/RtspReader.h"

#include <QString>

// GLib's headers name struct members "signals", which Qt defines as a macro.
#pragma push_macro("signals")
#undef signals
#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#pragma pop_macro("signals")

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

// GstRtspReader's pipeline: rtspsrc (GstRtspSession) with the first H.264 or
// H.265 video stream depayloaded into the video appsink and, when sound is
// wanted, the first audio stream that a decoder here takes, decoded,
// converted to 8000 Hz mono S16 and put into the sound appsink; in a replay
// the ONVIF replay control (GstReplayControl) on rtspsrc.
//
// GStreamer's threads only call wake (a sample, the end or a failure waits
// for the worker) and set the flags below; the worker pulls the sinks.
//
// Threads: made, built and destroyed on the reader's worker; the callbacks
// run on GStreamer's threads.
class GstRtspPipeline
{
public:
    // The appsinks hold at most this many samples; a live stream drops the
    // oldest beyond (the worker is late), a replay holds the device back.
    static constexpr guint MaxQueuedFrames = 32;
    static constexpr guint MaxQueuedSounds = 64;

    // wake: tells the worker that something waits; hasAudio: set once a
    // sound stream is chosen, cleared again when its branch cannot link.
    GstRtspPipeline(std::function<void()> wake, std::atomic<bool> &hasAudio);
    // Stops the pipeline: GStreamer's threads use the members until then.
    ~GstRtspPipeline();
    GstRtspPipeline(const GstRtspPipeline &) = delete;
    GstRtspPipeline &operator=(const GstRtspPipeline &) = delete;

    // Builds the elements for the options; false with *text when it cannot.
    bool build(const RtspReader::Options &o, QString *text);
    // Drops what the sinks hold (after a seek that did not flush them).
    void discardQueued();

    GstRtspSession session;
    std::unique_ptr<GstReplayControl> control; // replays only
    GstElement *videoSink = nullptr;           // owned by the pipeline
    GstElement *audioSink = nullptr;           // owned by the pipeline; null without sound
    std::atomic<bool> videoSelected{false};    // rtspsrc found a video stream we decode
    std::atomic<bool> linkFailed{false};       // the video branch could not be linked
    std::mutex lock;
    QString otherCodec; // guarded by lock: the video codec we do not decode, if any

    // 0: not video; -1: video in a codec we do not decode (*name, when
    // given, says which); else the AVCodecID.
    static int codecOf(const GstStructure *s, QString *name);

private:
    // audioconvert ! audioresample ! S16 8000 Hz mono ! appsink; decodebin
    // comes with the stream.
    bool buildAudio();
    void setUpSink(GstElement *sink, guint queued, const char *caps);
    // rtspsrc, while it sets the session up: the first H.264/H.265 video
    // stream and (when wanted) the first audio stream we decode.
    static gboolean selectStream(GstElement *, guint, GstCaps *caps, gpointer self);
    // rtspsrc, once a stream's RTP pad exists: depayloader to the video
    // sink, or decodebin to the sound branch.
    static void padAdded(GstElement *, GstPad *pad, gpointer self);
    // pad ! a new element (! to, where given); the replay's times on pad.
    bool link(GstPad *pad, const char *factory, GstElement *to);
    // decodebin, once it decodes: its raw sound to the sound branch.
    static void decodedPad(GstElement *, GstPad *pad, gpointer self);
    // A sound branch that cannot be linked leaves the pictures playing.
    void fail(bool audio);
    static GstFlowReturn sampleReady(GstAppSink *, gpointer self);
    static void eosReached(GstAppSink *, gpointer self);

    std::function<void()> wake;
    std::atomic<bool> &hasAudio;
    bool replay = false;
    bool wantAudio = false;
    GstElement *audioIn = nullptr; // owned by the pipeline
    std::atomic<bool> audioSelected{false};
    std::atomic<bool> videoLinked{false};
    std::atomic<bool> audioLinked{false};
    std::atomic<bool> audioDecoded{false};
};
