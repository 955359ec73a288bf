#include "media/GstReplayControl.h"

#include "media/OnvifReplayHeader.h"

// GLib's headers name struct members "signals", which Qt defines as a macro.
#pragma push_macro("signals")
#undef signals
#include <gst/gst.h>
#include <gst/rtsp/gstrtspmessage.h>
#pragma pop_macro("signals")

#include <cmath>

namespace {

constexpr const char *ReplayRequirement = "onvif-replay";

// Sets a buffer's PTS to the recording time of its extension.
//
// Not instrumented by ThreadSanitizer: GStreamer recycles its buffers through
// GLib's slice allocator, whose hand-over between threads TSan cannot see, so
// this write into a recycled buffer would be reported against whichever
// thread last touched that memory. The function touches nothing but the
// buffer it is handed.
#if defined(__GNUC__)
#define ORVANE_NOT_TSAN_INSTRUMENTED __attribute__((no_sanitize("thread")))
#else
#define ORVANE_NOT_TSAN_INSTRUMENTED
#endif
ORVANE_NOT_TSAN_INSTRUMENTED GstBuffer *stamp(GstBuffer *buffer)
{
    GstMapInfo map;
    OnvifReplayHeader header;
    bool known = false;
    if (gst_buffer_map(buffer, &map, GST_MAP_READ)) {
        known = header.parse(map.data, map.size);
        gst_buffer_unmap(buffer, &map);
    }
    buffer = gst_buffer_make_writable(buffer);
    GST_BUFFER_PTS(buffer) =
        known
            ? ((header.ntp >> 32) * GST_SECOND + (((header.ntp & 0xFFFFFFFFu) * GST_SECOND) >> 32))
            : GST_CLOCK_TIME_NONE;
    GST_BUFFER_DTS(buffer) = GST_CLOCK_TIME_NONE;
    return buffer;
}

GstPadProbeReturn probe(GstPad *, GstPadProbeInfo *info, gpointer)
{
    if (info->type & GST_PAD_PROBE_TYPE_BUFFER) {
        info->data = stamp(GST_PAD_PROBE_INFO_BUFFER(info));
    } else if (info->type & GST_PAD_PROBE_TYPE_BUFFER_LIST) {
        GstBufferList *list = gst_buffer_list_make_writable(GST_PAD_PROBE_INFO_BUFFER_LIST(info));
        const guint n = gst_buffer_list_length(list);
        for (guint i = 0; i < n; ++i) {
            GstBuffer *b = gst_buffer_ref(gst_buffer_list_get(list, i));
            gst_buffer_list_remove(list, i, 1);
            gst_buffer_list_insert(list, gint(i), stamp(b));
        }
        info->data = list;
    }
    return GST_PAD_PROBE_OK;
}

void replaceHeader(GstRTSPMessage *m, GstRTSPHeaderField field, const char *value)
{
    gst_rtsp_message_remove_header(m, field, -1);
    if (value)
        gst_rtsp_message_add_header(m, field, value);
}

} // namespace

GstReplayControl::GstReplayControl(const RtspReader::Replay &replay)
    : m_startUtcMs(replay.startUtcMs)
    , m_scale(replay.scale != 0 && std::isfinite(replay.scale) ? replay.scale : 1)
    , m_rateControl(replay.rateControl)
{}

void GstReplayControl::attach(GstElement *rtspsrc)
{
    g_object_set(rtspsrc, "onvif-mode", TRUE, "onvif-rate-control", gboolean(m_rateControl),
                 nullptr);
    g_signal_connect(rtspsrc, "before-send", G_CALLBACK(&GstReplayControl::beforeSend), this);
}

void GstReplayControl::watchPad(GstPad *pad)
{
    gst_pad_add_probe(pad,
                      GstPadProbeType(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_BUFFER_LIST),
                      &probe, nullptr, nullptr);
}

double GstReplayControl::scale() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_scale;
}

int GstReplayControl::beforeSend(GstElement *, void *message, void *self)
{
    auto *c = static_cast<GstReplayControl *>(self);
    auto *m = static_cast<GstRTSPMessage *>(message);
    if (gst_rtsp_message_get_type(m) != GST_RTSP_MESSAGE_REQUEST)
        return TRUE;
    const GstRTSPMethod method = m->type_data.request.method;
    if (method != GST_RTSP_DESCRIBE && method != GST_RTSP_SETUP && method != GST_RTSP_PLAY &&
        method != GST_RTSP_PAUSE)
        return TRUE;
    replaceHeader(m, GST_RTSP_HDR_REQUIRE, ReplayRequirement);
    if (method != GST_RTSP_PLAY)
        return TRUE;
    std::lock_guard<std::mutex> lock(c->m_lock);
    replaceHeader(m, GST_RTSP_HDR_RATE_CONTROL, c->m_rateControl ? "yes" : "no");
    gst_rtsp_message_remove_header(m, GST_RTSP_HDR_SPEED, -1);
    if (!c->m_sendRange) {
        // A resume: the device goes on from where it paused, at the scale it had.
        gst_rtsp_message_remove_header(m, GST_RTSP_HDR_RANGE, -1);
        return TRUE;
    }
    replaceHeader(m, GST_RTSP_HDR_RANGE,
                  OnvifReplayHeader::clockRange(c->m_startUtcMs).constData());
    char scale[G_ASCII_DTOSTR_BUF_SIZE];
    g_ascii_formatd(scale, sizeof scale, "%.2f", c->m_scale);
    replaceHeader(m, GST_RTSP_HDR_SCALE, c->m_scale != 1 ? scale : nullptr);
    gst_rtsp_message_remove_header_by_name(m, "Immediate", -1);
    if (c->m_immediate)
        gst_rtsp_message_add_header_by_name(m, "Immediate", "yes");
    c->m_sendRange = false;
    c->m_immediate = false;
    return TRUE;
}

bool GstReplayControl::seek(GstElement *pipeline, GstElement *rtspsrc, qint64 utcMs, double scale,
                            bool playing)
{
    if (scale == 0 || !std::isfinite(scale))
        scale = 1;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_startUtcMs = utcMs;
        m_scale = scale;
        m_sendRange = true;
        m_immediate = true;
    }
    // rtspsrc's own range (replaced in beforeSend): [position, open end)
    // forwards, backwards from the position.
    const gint64 at = gint64(OnvifReplayHeader::ntpNsFromUtcMs(utcMs));
    const auto flags =
        GstSeekFlags(GST_SEEK_FLAG_FLUSH | (scale != 1 ? GST_SEEK_FLAG_TRICKMODE : 0));
    GstEvent *event = scale > 0 ? gst_event_new_seek(scale, GST_FORMAT_TIME, flags,
                                                     GST_SEEK_TYPE_SET, at, GST_SEEK_TYPE_NONE, -1)
                                : gst_event_new_seek(scale, GST_FORMAT_TIME, flags,
                                                     GST_SEEK_TYPE_SET, 0, GST_SEEK_TYPE_SET, at);
    if (gst_element_send_event(rtspsrc, event))
        return false;
    // Not seekable to rtspsrc: PAUSE and PLAY again, the PLAY with our range.
    if (playing) {
        gst_element_set_state(pipeline, GST_STATE_PAUSED);
        gst_element_set_state(pipeline, GST_STATE_PLAYING);
    }
    return true;
}
