#include "media/GstRtspReader.h"

#include "link/ChannelBufferItem.h"
#include "media/RecordFile.h"

#include <QDateTime>

// GLib's headers name struct members "signals", which Qt defines as a macro.
#pragma push_macro("signals")
#undef signals
#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gst/rtsp/gstrtsptransport.h>
#pragma pop_macro("signals")

#include <atomic>
#include <climits>

extern "C" {
#include <libavcodec/codec_id.h>
#include <libavutil/error.h>
}

namespace {

// The appsink drops the oldest frames beyond this many (the worker is late).
constexpr guint MaxQueuedFrames = 32;

// 0: not video; -1: video in a codec we do not decode; else the codec.
int codecOf(const GstStructure *s, QString *name)
{
    const gchar *media = gst_structure_get_string(s, "media");
    const gchar *encoding = gst_structure_get_string(s, "encoding-name");
    if (!media || !encoding || g_strcmp0(media, "video") != 0)
        return 0;
    if (g_ascii_strcasecmp(encoding, "H264") == 0)
        return AV_CODEC_ID_H264;
    if (g_ascii_strcasecmp(encoding, "H265") == 0)
        return AV_CODEC_ID_HEVC;
    if (name)
        *name = QString::fromUtf8(encoding).left(32);
    return -1;
}

} // namespace

// What GStreamer's threads share with the worker while the pipeline runs.
struct GstRtspReader::Pipeline
{
    explicit Pipeline(GstRtspReader *r)
        : reader(r)
    {}
    ~Pipeline()
    {
        if (bus) {
            gst_bus_set_sync_handler(bus, nullptr, nullptr, nullptr);
            gst_object_unref(bus);
        }
        if (pipeline)
            gst_object_unref(pipeline);
    }

    // rtspsrc, while it sets the session up: the first H.264/H.265 video
    // stream only.
    static gboolean selectStream(GstElement *, guint, GstCaps *caps, gpointer self)
    {
        auto *p = static_cast<Pipeline *>(self);
        QString name;
        const int codec = codecOf(gst_caps_get_structure(caps, 0), &name);
        if (codec > 0) {
            bool none = false;
            return p->selected.compare_exchange_strong(none, true) ? TRUE : FALSE;
        }
        if (codec < 0) {
            std::lock_guard<std::mutex> lock(p->lock);
            if (p->otherCodec.isEmpty())
                p->otherCodec = name;
        }
        return FALSE;
    }

    // rtspsrc, once the stream's RTP pad exists: depayloader to the sink.
    static void padAdded(GstElement *, GstPad *pad, gpointer self)
    {
        auto *p = static_cast<Pipeline *>(self);
        GstCaps *caps = gst_pad_get_current_caps(pad);
        const int codec = caps ? codecOf(gst_caps_get_structure(caps, 0), nullptr) : 0;
        if (caps)
            gst_caps_unref(caps);
        if (codec <= 0 || p->linked.exchange(true))
            return;
        GstElement *depay = gst_element_factory_make(
            codec == AV_CODEC_ID_HEVC ? "rtph265depay" : "rtph264depay", nullptr);
        if (!depay || !gst_bin_add(GST_BIN(p->pipeline), depay)) {
            p->linkFailed = true;
            p->reader->wake();
            return;
        }
        GstPad *in = gst_element_get_static_pad(depay, "sink");
        const bool ok = gst_element_link(depay, p->sink) &&
                        gst_element_sync_state_with_parent(depay) &&
                        gst_pad_link(pad, in) == GST_PAD_LINK_OK;
        gst_object_unref(in);
        if (!ok) {
            p->linkFailed = true;
            p->reader->wake();
        }
    }

    static GstFlowReturn sampleReady(GstAppSink *, gpointer self)
    {
        static_cast<Pipeline *>(self)->reader->wake();
        return GST_FLOW_OK;
    }

    // Any thread that posts: what ends the stream wakes the worker, the rest
    // is dropped here so that nothing piles up on the bus.
    static GstBusSyncReply busMessage(GstBus *, GstMessage *message, gpointer self)
    {
        if (GST_MESSAGE_TYPE(message) != GST_MESSAGE_ERROR &&
            GST_MESSAGE_TYPE(message) != GST_MESSAGE_EOS)
            return GST_BUS_DROP;
        static_cast<Pipeline *>(self)->reader->wake();
        return GST_BUS_PASS;
    }

    // The code and text of an error or end on the bus; 0 when none waits.
    int ended(QString *text)
    {
        GstMessage *m =
            gst_bus_pop_filtered(bus, GstMessageType(GST_MESSAGE_ERROR | GST_MESSAGE_EOS));
        if (!m)
            return 0;
        int code = AVERROR_EOF;
        *text = QStringLiteral("the stream ended");
        if (GST_MESSAGE_TYPE(m) == GST_MESSAGE_ERROR) {
            GError *error = nullptr;
            gst_message_parse_error(m, &error, nullptr);
            *text = error && error->message ? QString::fromUtf8(error->message).left(200)
                                            : QStringLiteral("GStreamer failed");
            code = AVERROR(EIO);
            // A refusal by the camera carries its RTSP status: its own words.
            const GstStructure *details = nullptr;
            gst_message_parse_error_details(m, &details);
            guint status = 0;
            if (details && gst_structure_get_uint(details, "rtsp-status-code", &status) &&
                status >= 300 && status < 1000) {
                const gchar *reason = gst_structure_get_string(details, "rtsp-status-reason");
                *text = QStringLiteral("the camera answered %1 %2")
                            .arg(status)
                            .arg(QString::fromUtf8(reason ? reason : "").left(80));
                code = status == 401   ? AVERROR_HTTP_UNAUTHORIZED
                       : status == 403 ? AVERROR_HTTP_FORBIDDEN
                       : status == 404 ? AVERROR_HTTP_NOT_FOUND
                                       : AVERROR(EIO);
            } else if (error && error->domain == GST_RESOURCE_ERROR &&
                       error->code == GST_RESOURCE_ERROR_NOT_AUTHORIZED) {
                code = AVERROR_HTTP_UNAUTHORIZED;
            } else if (error && error->domain == GST_RESOURCE_ERROR &&
                       error->code == GST_RESOURCE_ERROR_OPEN_READ_WRITE) {
                *text = QStringLiteral("could not connect to the camera");
            }
            g_clear_error(&error);
            std::lock_guard<std::mutex> lock(this->lock);
            if (!selected && !otherCodec.isEmpty()) {
                code = AVERROR_DECODER_NOT_FOUND;
                *text = QStringLiteral("video codec %1 is not H.264 or H.265").arg(otherCodec);
            }
        }
        gst_message_unref(m);
        return code;
    }

    GstRtspReader *reader;
    GstElement *pipeline = nullptr;
    GstElement *source = nullptr; // owned by the pipeline
    GstElement *sink = nullptr;   // owned by the pipeline
    GstBus *bus = nullptr;
    std::atomic<bool> selected{false};
    std::atomic<bool> linked{false};
    std::atomic<bool> linkFailed{false};
    std::mutex lock;
    QString otherCodec; // guarded by lock
};

bool GstRtspReader::usable(QString *why)
{
    static std::once_flag once;
    static bool ok = false;
    static QString failure;
    std::call_once(once, [] {
        GError *e = nullptr;
        ok = gst_init_check(nullptr, nullptr, &e);
        if (!ok)
            failure = QStringLiteral("GStreamer: %1")
                          .arg(e ? QString::fromUtf8(e->message) : QStringLiteral("no start"));
        g_clear_error(&e);
        for (const char *name : {"rtspsrc", "rtph264depay", "rtph265depay", "appsink"}) {
            GstElementFactory *f = ok ? gst_element_factory_find(name) : nullptr;
            if (ok && !f) {
                ok = false;
                failure = QStringLiteral("GStreamer has no %1 element").arg(name);
            }
            if (f)
                gst_object_unref(f);
        }
    });
    if (!ok && why)
        *why = failure;
    return ok;
}

GstRtspReader::GstRtspReader(Options options, Callbacks callbacks)
    : RtspReader(std::move(options), std::move(callbacks))
{}

GstRtspReader::~GstRtspReader()
{
    requestStop();
    if (m_thread.joinable())
        m_thread.join();
}

void GstRtspReader::start()
{
    if (!m_thread.joinable())
        m_thread = std::thread([this] { run(); });
}

void GstRtspReader::requestStop()
{
    m_stop = true;
    wake();
}

void GstRtspReader::abandon()
{
    requestStop();
    if (m_thread.joinable())
        m_thread.detach();
}

void GstRtspReader::wake()
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_work = true;
    }
    m_wake.notify_one();
}

void GstRtspReader::waitForWork(Clock::time_point deadline)
{
    std::unique_lock<std::mutex> lock(m_lock);
    m_wake.wait_until(lock, deadline, [this] { return m_work || m_stop.load(); });
    m_work = false;
}

void GstRtspReader::run()
{
    QString text;
    const int code = stream(&text);
    if (!m_stop.load() && m_callbacks.ended)
        m_callbacks.ended(code, text);
    m_finished = true;
}

int GstRtspReader::stream(QString *text)
{
    if (!usable(text))
        return AVERROR(ENOSYS);
    Pipeline p(this);
    p.pipeline = gst_pipeline_new(nullptr);
    p.source = gst_element_factory_make("rtspsrc", nullptr);
    p.sink = gst_element_factory_make("appsink", nullptr);
    if (!p.pipeline || !p.source || !p.sink) {
        if (p.source)
            gst_object_unref(p.source);
        if (p.sink)
            gst_object_unref(p.sink);
        *text = QStringLiteral("GStreamer could not make its RTSP elements");
        return AVERROR(ENOSYS);
    }
    gst_object_ref_sink(p.pipeline);
    gst_bin_add_many(GST_BIN(p.pipeline), p.source, p.sink, nullptr);
    const QByteArray location = m_options.shownUrl.toUtf8();
    g_object_set(p.source, "location", location.constData(), "latency", guint(0), "protocols",
                 m_options.udp ? GST_RTSP_LOWER_TRANS_UDP : GST_RTSP_LOWER_TRANS_TCP, "tcp-timeout",
                 guint64(IoTimeoutMs) * 1000, "timeout", guint64(IoTimeoutMs) * 1000, "user-agent",
                 "Orvane", "do-retransmission", FALSE, nullptr);
    if (!m_options.user.isEmpty())
        g_object_set(p.source, "user-id", m_options.user.constData(), "user-pw",
                     m_options.password.constData(), nullptr);
    g_object_set(p.sink, "sync", FALSE, "max-buffers", MaxQueuedFrames, "drop", TRUE,
                 "enable-last-sample", FALSE, nullptr);
    GstCaps *caps = gst_caps_from_string("video/x-h264, stream-format=byte-stream, alignment=au; "
                                         "video/x-h265, stream-format=byte-stream, alignment=au");
    gst_app_sink_set_caps(GST_APP_SINK(p.sink), caps);
    gst_caps_unref(caps);
    GstAppSinkCallbacks sinkCallbacks{};
    sinkCallbacks.new_sample = &Pipeline::sampleReady;
    gst_app_sink_set_callbacks(GST_APP_SINK(p.sink), &sinkCallbacks, &p, nullptr);
    g_signal_connect(p.source, "select-stream", G_CALLBACK(&Pipeline::selectStream), &p);
    g_signal_connect(p.source, "pad-added", G_CALLBACK(&Pipeline::padAdded), &p);
    p.bus = gst_pipeline_get_bus(GST_PIPELINE(p.pipeline));
    gst_bus_set_sync_handler(p.bus, &Pipeline::busMessage, &p, nullptr);

    int code = 0;
    if (gst_element_set_state(p.pipeline, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        code = p.ended(text);
        if (code == 0) {
            code = AVERROR(EIO);
            *text = QStringLiteral("GStreamer could not start the stream");
        }
    }
    bool opened = false;
    int64_t firstPts = -1;
    qint64 originMs = 0;
    uint32_t frameNumber = 0;
    QByteArray parameterSets; // the last ones the stream carried
    Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(OpenTimeoutMs);
    while (code == 0 && !m_stop.load()) {
        waitForWork(deadline);
        if (m_stop.load())
            break;
        while (GstSample *sample = gst_app_sink_try_pull_sample(GST_APP_SINK(p.sink), 0)) {
            GstBuffer *buffer = gst_sample_get_buffer(sample);
            const GstCaps *sampleCaps = gst_sample_get_caps(sample);
            const bool hevc =
                sampleCaps &&
                gst_structure_has_name(gst_caps_get_structure(sampleCaps, 0), "video/x-h265");
            const int codec = hevc ? AV_CODEC_ID_HEVC : AV_CODEC_ID_H264;
            GstMapInfo map;
            if (buffer && gst_buffer_map(buffer, &map, GST_MAP_READ)) {
                const int size = map.size > size_t(INT_MAX) ? 0 : int(map.size);
                const QByteArray sets = RecordFile::parameterSets(codec, map.data, size);
                if (!sets.isEmpty())
                    parameterSets = sets;
                const qint64 nowMs = QDateTime::currentMSecsSinceEpoch();
                const GstClockTime pts = GST_BUFFER_PTS(buffer);
                if (firstPts < 0 && GST_CLOCK_TIME_IS_VALID(pts)) {
                    firstPts = int64_t(pts);
                    originMs = nowMs;
                }
                qint64 senderMs = nowMs;
                if (GST_CLOCK_TIME_IS_VALID(pts) && firstPts >= 0)
                    senderMs = originMs + (int64_t(pts) - firstPts) / 1000000;
                // 0 means "no sender clock" to the readers of the record.
                const uint32_t tag = uint32_t(quint64(senderMs)) ? uint32_t(quint64(senderMs)) : 1;
                ChannelBufferItem *item =
                    makeItem(codec, map.data, size, RecordFile::isKeyUnit(codec, map.data, size),
                             parameterSets, uint32_t(nowMs / 1000), tag, ++frameNumber);
                gst_buffer_unmap(buffer, &map);
                if (!opened && !m_stop.load() && m_callbacks.opened)
                    m_callbacks.opened(0, 0);
                opened = true;
                if (item && m_callbacks.frame && !m_stop.load())
                    m_callbacks.frame(item);
                else
                    delete item;
            }
            gst_sample_unref(sample);
            deadline = Clock::now() + std::chrono::milliseconds(IoTimeoutMs);
        }
        code = p.ended(text);
        if (code == 0 && p.linkFailed.load()) {
            code = AVERROR(ENOSYS);
            *text = QStringLiteral("GStreamer could not link the video stream");
        }
        if (code == 0 && Clock::now() >= deadline) {
            code = AVERROR(ETIMEDOUT);
            *text = opened ? QStringLiteral("no frame for %1 s").arg(IoTimeoutMs / 1000)
                           : QStringLiteral("no answer within %1 s").arg(OpenTimeoutMs / 1000);
        }
    }
    gst_element_set_state(p.pipeline, GST_STATE_NULL);
    return code;
}
