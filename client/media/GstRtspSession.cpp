#include "media/GstRtspSession.h"

// GLib's headers name struct members "signals", which Qt defines as a macro.
#pragma push_macro("signals")
#undef signals
#include <gst/gst.h>
#include <gst/rtsp/gstrtsptransport.h>
#pragma pop_macro("signals")

#include <cstring>

extern "C" {
#include <libavutil/error.h>
}

bool GstRtspSession::usable(const char *const *elements, QString *why)
{
    static std::once_flag once;
    static bool started = false;
    static QString failure;
    std::call_once(once, [] {
        GError *e = nullptr;
        started = gst_init_check(nullptr, nullptr, &e);
        if (!started)
            failure = QStringLiteral("GStreamer: %1")
                          .arg(e ? QString::fromUtf8(e->message) : QStringLiteral("no start"));
        g_clear_error(&e);
    });
    if (!started) {
        if (why)
            *why = failure;
        return false;
    }
    static const char *const base[] = {"rtspsrc", "appsink", nullptr};
    for (const char *const *list : {base, elements}) {
        for (; list && *list; ++list) {
            GstElementFactory *f = gst_element_factory_find(*list);
            if (!f) {
                if (why)
                    *why = QStringLiteral("GStreamer has no %1 element").arg(*list);
                return false;
            }
            gst_object_unref(f);
        }
    }
    return true;
}

GstRtspSession::GstRtspSession(std::function<void()> wake)
    : m_wake(std::move(wake))
{}

GstRtspSession::~GstRtspSession()
{
    stop();
    if (m_bus) {
        gst_bus_set_sync_handler(m_bus, nullptr, nullptr, nullptr);
        gst_object_unref(m_bus);
    }
    if (m_pipeline)
        gst_object_unref(m_pipeline);
}

bool GstRtspSession::create(const Source &s, QString *text)
{
    m_pipeline = gst_pipeline_new(nullptr);
    m_source = gst_element_factory_make("rtspsrc", nullptr);
    if (!m_pipeline || !m_source) {
        if (m_source)
            gst_object_unref(m_source);
        m_source = nullptr;
        *text = QStringLiteral("GStreamer could not make its RTSP elements");
        return false;
    }
    gst_object_ref_sink(m_pipeline);
    gst_bin_add(GST_BIN(m_pipeline), m_source);
    const QByteArray location = s.shownUrl.toUtf8();
    const guint64 timeoutUs = guint64(s.ioTimeoutMs) * 1000;
    g_object_set(m_source, "location", location.constData(), "latency", guint(0), "protocols",
                 s.udp ? GST_RTSP_LOWER_TRANS_UDP : GST_RTSP_LOWER_TRANS_TCP, "tcp-timeout",
                 timeoutUs, "timeout", timeoutUs, "user-agent", "Orvane", "do-retransmission",
                 FALSE, nullptr);
    if (!s.user.isEmpty())
        g_object_set(m_source, "user-id", s.user.constData(), "user-pw", s.password.constData(),
                     nullptr);
    m_bus = gst_pipeline_get_bus(GST_PIPELINE(m_pipeline));
    gst_bus_set_sync_handler(
        m_bus,
        [](GstBus *b, GstMessage *m, gpointer self) {
            return GstBusSyncReply(busMessage(b, m, self));
        },
        this, nullptr);
    return true;
}

bool GstRtspSession::add(GstElement *element)
{
    if (!element)
        return false;
    if (!gst_bin_add(GST_BIN(m_pipeline), element)) {
        gst_object_unref(element);
        return false;
    }
    return true;
}

int GstRtspSession::play(QString *text)
{
    m_published.store(true, std::memory_order_release);
    if (gst_element_set_state(m_pipeline, GST_STATE_PLAYING) != GST_STATE_CHANGE_FAILURE)
        return 0;
    const int code = poll(text);
    if (code != 0)
        return code;
    *text = QStringLiteral("GStreamer could not start the stream");
    return AVERROR(EIO);
}

void GstRtspSession::stop()
{
    if (m_pipeline)
        gst_element_set_state(m_pipeline, GST_STATE_NULL);
}

int GstRtspSession::busMessage(GstBus *, GstMessage *message, void *self)
{
    // What ends the stream or reports a finished request wakes the worker;
    // the rest is dropped here so that nothing piles up on the bus.
    switch (GST_MESSAGE_TYPE(message)) {
    case GST_MESSAGE_ERROR:
    case GST_MESSAGE_EOS:
    case GST_MESSAGE_PROGRESS: {
        auto *session = static_cast<GstRtspSession *>(self);
        // Synchronises with play() (the value itself does not matter: before
        // it, only the worker posts).
        (void)session->m_published.load(std::memory_order_acquire);
        session->m_wake();
        return GST_BUS_PASS;
    }
    default:
        return GST_BUS_DROP;
    }
}

int GstRtspSession::poll(QString *text, int *progress)
{
    while (GstMessage *m = gst_bus_pop(m_bus)) {
        int code = 0;
        if (GST_MESSAGE_TYPE(m) == GST_MESSAGE_EOS) {
            code = AVERROR_EOF;
            *text = QStringLiteral("the stream ended");
        } else if (GST_MESSAGE_TYPE(m) == GST_MESSAGE_ERROR) {
            code = errorOf(m, text);
        } else if (GST_MESSAGE_TYPE(m) == GST_MESSAGE_PROGRESS && progress) {
            GstProgressType type;
            gchar *what = nullptr;
            gst_message_parse_progress(m, &type, &what, nullptr);
            if (type == GST_PROGRESS_TYPE_COMPLETE && g_strcmp0(what, "open") == 0)
                *progress |= Opened;
            if (type == GST_PROGRESS_TYPE_COMPLETE && g_strcmp0(what, "request") == 0)
                *progress |= Requested;
            g_free(what);
        }
        gst_message_unref(m);
        if (code != 0)
            return code;
    }
    return 0;
}

int GstRtspSession::errorOf(GstMessage *m, QString *text)
{
    GError *error = nullptr;
    gchar *debug = nullptr;
    gst_message_parse_error(m, &error, &debug);
    // rtspsrc turns a refused DESCRIBE (551 for a Require it does not meet)
    // into "no SDP" without the status; its (untranslated) details say so.
    const bool noDescription = debug && strstr(debug, "can not provide an SDP");
    g_free(debug);
    *text = error && error->message ? QString::fromUtf8(error->message).left(200)
                                    : QStringLiteral("GStreamer failed");
    int code = AVERROR(EIO);
    // A refusal by the camera carries its RTSP status: its own words.
    const GstStructure *details = nullptr;
    gst_message_parse_error_details(m, &details);
    guint status = 0;
    if (details && gst_structure_get_uint(details, "rtsp-status-code", &status) && status >= 300 &&
        status < 1000) {
        const gchar *reason = gst_structure_get_string(details, "rtsp-status-reason");
        *text = QStringLiteral("the camera answered %1 %2")
                    .arg(status)
                    .arg(QString::fromUtf8(reason ? reason : "").left(80));
        code = status == 401   ? AVERROR_HTTP_UNAUTHORIZED
               : status == 403 ? AVERROR_HTTP_FORBIDDEN
               : status == 404 ? AVERROR_HTTP_NOT_FOUND
               : status == 551 ? AVERROR(ENOTSUP)
                               : AVERROR(EIO);
    } else if (error && error->domain == GST_RESOURCE_ERROR &&
               error->code == GST_RESOURCE_ERROR_NOT_AUTHORIZED) {
        code = AVERROR_HTTP_UNAUTHORIZED;
    } else if (error && error->domain == GST_RESOURCE_ERROR &&
               error->code == GST_RESOURCE_ERROR_OPEN_READ_WRITE) {
        *text = QStringLiteral("could not connect to the camera");
    } else if (noDescription) {
        code = AVERROR(ENOTSUP);
    }
    g_clear_error(&error);
    return code;
}
