#pragma once

#include "media/RtspReader.h"

#include <mutex>

typedef struct _GstElement GstElement;
typedef struct _GstPad GstPad;

// The ONVIF replay side of a GstRtspReader's rtspsrc. rtspsrc runs in
// onvif-mode (onvif-rate-control from Replay::rateControl); every request
// it sends passes beforeSend(), which puts "Require: onvif-replay" on
// DESCRIBE, SETUP, PLAY and PAUSE and, on the first PLAY and on each one
// after a seek or a change of speed, "Range: clock=<start>-",
// "Scale: <scale>" (when not 1), "Rate-Control" and, within a session,
// "Immediate: yes". The recording time of each packet comes from its ONVIF
// header extension: watchPad() rewrites the PTS of the RTP buffers that
// leave rtspsrc to that time (ns since 1900, the clock= epoch that rtspsrc
// itself uses in onvif-mode; none when a packet lacks the extension), and
// the depayloaders carry it on to the frames. (rtponvifparse does the same
// but maps every packet for writing, which GStreamer 1.22 refuses for
// shared memory.)
//
// Threads: beforeSend() runs on whichever thread sends the request
// (rtspsrc's or the worker's during a seek), so the requests it writes are
// guarded; the rest on the worker.
class GstReplayControl
{
public:
    explicit GstReplayControl(const RtspReader::Replay &replay);

    // Sets rtspsrc up for replay.
    void attach(GstElement *rtspsrc);
    // Rewrites the PTS of each RTP buffer leaving pad.
    static void watchPad(GstPad *pad);

    // Plays from utcMs at scale: a flushing seek of rtspsrc (PAUSE, then
    // PLAY with the new range and "Immediate: yes"); where rtspsrc refuses
    // the seek, the pipeline pauses and plays again with the same requests
    // (true then: the frames already under way are not flushed).
    // Returns false when the seek was flushed, true when the owner must
    // drop what was already under way itself.
    bool seek(GstElement *pipeline, GstElement *rtspsrc, qint64 utcMs, double scale, bool playing);
    double scale() const;

private:
    static int beforeSend(GstElement *, void *message, void *self);

    mutable std::mutex m_lock;
    qint64 m_startUtcMs;      // guarded by m_lock
    double m_scale;           // guarded by m_lock
    bool m_sendRange = true;  // guarded by m_lock: the next PLAY carries the range
    bool m_immediate = false; // guarded by m_lock
    const bool m_rateControl;
};
