// GstRtspReader's pipeline: choosing and linking rtspsrc's streams.

#include "media/GstRtspPipeline.h"

#include <QByteArray>

#include <gst/base/gstbasesink.h>

extern "C" {
#include <libavcodec/codec_id.h>
}

namespace {

bool hasElement(const char *name)
{
    GstElementFactory *f = gst_element_factory_find(name);
    if (f)
        gst_object_unref(f);
    return f != nullptr;
}

// Whether s is an audio stream that a decoder here takes.
bool decodableAudio(const GstStructure *s)
{
    const gchar *media = gst_structure_get_string(s, "media");
    const gchar *encoding = gst_structure_get_string(s, "encoding-name");
    if (!media || !encoding || g_strcmp0(media, "audio") != 0 ||
        gst_structure_has_field(s, "a-sendonly"))
        return false;
    const QByteArray e = QByteArray(encoding).toUpper();
    if (e == "PCMA")
        return hasElement("rtppcmadepay") && hasElement("alawdec");
    if (e == "PCMU")
        return hasElement("rtppcmudepay") && hasElement("mulawdec");
    if (e.startsWith("G726"))
        return hasElement("rtpg726depay") && hasElement("avdec_g726");
    if (e == "MPEG4-GENERIC") {
        const gchar *mode = gst_structure_get_string(s, "mode");
        return (!mode || g_ascii_strncasecmp(mode, "AAC", 3) == 0) && hasElement("rtpmp4gdepay") &&
               (hasElement("avdec_aac") || hasElement("faad"));
    }
    if (e == "MP4A-LATM")
        return hasElement("rtpmp4adepay") && (hasElement("avdec_aac_latm") || hasElement("faad"));
    return false;
}

} // namespace

GstRtspPipeline::GstRtspPipeline(std::function<void()> wakeWorker, std::atomic<bool> &audio)
    : session([this] { wake(); })
    , wake(std::move(wakeWorker))
    , hasAudio(audio)
{}

int GstRtspPipeline::codecOf(const GstStructure *s, QString *name)
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

GstRtspPipeline::~GstRtspPipeline()
{
    session.stop();
}

bool GstRtspPipeline::build(const RtspReader::Options &o, QString *text)
{
    GstRtspSession::Source source{o.shownUrl, o.user, o.password, o.udp, RtspReader::IoTimeoutMs};
    if (!session.create(source, text))
        return false;
    GstElement *src = session.source();
    replay = o.replay.on;
    if (replay) {
        control = std::make_unique<GstReplayControl>(o.replay);
        control->attach(src);
    }
    videoSink = gst_element_factory_make("appsink", nullptr);
    if (!session.add(videoSink)) {
        *text = QStringLiteral("GStreamer could not make its RTSP elements");
        return false;
    }
    setUpSink(videoSink, MaxQueuedFrames,
              "video/x-h264, stream-format=byte-stream, alignment=au; "
              "video/x-h265, stream-format=byte-stream, alignment=au");
    if (o.audio && !buildAudio()) {
        *text = QStringLiteral("GStreamer could not make its sound elements");
        return false;
    }
    g_signal_connect(src, "select-stream", G_CALLBACK(&GstRtspPipeline::selectStream), this);
    g_signal_connect(src, "pad-added", G_CALLBACK(&GstRtspPipeline::padAdded), this);
    return true;
}

bool GstRtspPipeline::buildAudio()
{
    audioIn = gst_element_factory_make("audioconvert", nullptr);
    GstElement *resample = gst_element_factory_make("audioresample", nullptr);
    audioSink = gst_element_factory_make("appsink", nullptr);
    const bool added = session.add(audioIn) && session.add(resample) && session.add(audioSink);
    if (!added)
        return false;
    setUpSink(audioSink, MaxQueuedSounds,
              "audio/x-raw, format=S16LE, layout=interleaved, rate=8000, channels=1");
    wantAudio = gst_element_link_many(audioIn, resample, audioSink, nullptr);
    return wantAudio;
}

void GstRtspPipeline::setUpSink(GstElement *sink, guint queued, const char *caps)
{
    // A replay waits for the worker (the device is held back through
    // TCP) and keeps the frames of every recording time.
    // No preroll: a sink whose stream never comes (a sound branch of a
    // stream without sound) must not hold the pipeline in PAUSED.
    g_object_set(sink, "sync", FALSE, "async", FALSE, "max-buffers", queued, "drop",
                 gboolean(!replay), "enable-last-sample", FALSE, nullptr);
    gst_base_sink_set_drop_out_of_segment(GST_BASE_SINK(sink), FALSE);
    GstCaps *c = gst_caps_from_string(caps);
    gst_app_sink_set_caps(GST_APP_SINK(sink), c);
    gst_caps_unref(c);
    GstAppSinkCallbacks callbacks{};
    callbacks.new_sample = &GstRtspPipeline::sampleReady;
    callbacks.eos = &GstRtspPipeline::eosReached;
    gst_app_sink_set_callbacks(GST_APP_SINK(sink), &callbacks, this, nullptr);
}

gboolean GstRtspPipeline::selectStream(GstElement *, guint, GstCaps *caps, gpointer self)
{
    auto *p = static_cast<GstRtspPipeline *>(self);
    const GstStructure *s = gst_caps_get_structure(caps, 0);
    QString name;
    const int codec = codecOf(s, &name);
    bool none = false;
    if (codec > 0)
        return p->videoSelected.compare_exchange_strong(none, true) ? TRUE : FALSE;
    if (codec < 0) {
        std::lock_guard<std::mutex> lock(p->lock);
        if (p->otherCodec.isEmpty())
            p->otherCodec = name;
        return FALSE;
    }
    if (p->wantAudio && decodableAudio(s) && p->audioSelected.compare_exchange_strong(none, true)) {
        p->hasAudio = true;
        return TRUE;
    }
    return FALSE;
}

void GstRtspPipeline::padAdded(GstElement *, GstPad *pad, gpointer self)
{
    auto *p = static_cast<GstRtspPipeline *>(self);
    GstCaps *caps = gst_pad_get_current_caps(pad);
    const GstStructure *s = caps ? gst_caps_get_structure(caps, 0) : nullptr;
    const int codec = s ? codecOf(s, nullptr) : 0;
    const bool audio =
        s && p->wantAudio && g_strcmp0(gst_structure_get_string(s, "media"), "audio") == 0;
    if (caps)
        gst_caps_unref(caps);
    if (codec > 0 && !p->videoLinked.exchange(true)) {
        if (!p->link(pad, codec == AV_CODEC_ID_HEVC ? "rtph265depay" : "rtph264depay",
                     p->videoSink))
            p->fail(false);
    } else if (audio && !p->audioLinked.exchange(true)) {
        if (!p->link(pad, "decodebin", nullptr))
            p->fail(true);
    }
}

bool GstRtspPipeline::link(GstPad *pad, const char *factory, GstElement *to)
{
    GstElement *e = gst_element_factory_make(factory, nullptr);
    if (!session.add(e))
        return false;
    if (!to)
        g_signal_connect(e, "pad-added", G_CALLBACK(&GstRtspPipeline::decodedPad), this);
    if (replay)
        GstReplayControl::watchPad(pad);
    GstPad *in = gst_element_get_static_pad(e, "sink");
    const bool ok = (!to || gst_element_link(e, to)) && gst_element_sync_state_with_parent(e) &&
                    gst_pad_link(pad, in) == GST_PAD_LINK_OK;
    gst_object_unref(in);
    return ok;
}

void GstRtspPipeline::decodedPad(GstElement *, GstPad *pad, gpointer self)
{
    auto *p = static_cast<GstRtspPipeline *>(self);
    GstCaps *caps = gst_pad_get_current_caps(pad);
    const bool raw = caps && gst_structure_has_name(gst_caps_get_structure(caps, 0), "audio/x-raw");
    if (caps)
        gst_caps_unref(caps);
    if (!raw || p->audioDecoded.exchange(true))
        return;
    GstPad *in = gst_element_get_static_pad(p->audioIn, "sink");
    if (gst_pad_link(pad, in) != GST_PAD_LINK_OK)
        p->fail(true);
    gst_object_unref(in);
}

void GstRtspPipeline::fail(bool audio)
{
    if (audio) {
        hasAudio = false;
        return;
    }
    linkFailed = true;
    wake();
}

GstFlowReturn GstRtspPipeline::sampleReady(GstAppSink *, gpointer self)
{
    static_cast<GstRtspPipeline *>(self)->wake();
    return GST_FLOW_OK;
}

void GstRtspPipeline::eosReached(GstAppSink *, gpointer self)
{
    static_cast<GstRtspPipeline *>(self)->wake();
}

void GstRtspPipeline::discardQueued()
{
    for (GstElement *sink : {videoSink, audioSink}) {
        while (GstSample *s = sink ? gst_app_sink_try_pull_sample(GST_APP_SINK(sink), 0) : nullptr)
            gst_sample_unref(s);
    }
}
