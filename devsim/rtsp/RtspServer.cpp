#include "RtspServer.h"

#include "GstSupport.h"
#include "ReplaySource.h"

#include "StreamTaps.h"
#include "TalkRecorder.h"
#include "ToneSource.h"

#include <QDateTime>
#include <QStringList>

#include <atomic>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace devsim {

namespace {

// What a media's appsrc may hold back before it drops the oldest access units.
constexpr guint64 kMaxQueuedBytes = 8 * 1024 * 1024;
// The role the view account's token grants; the mounts let it in.
constexpr const char *kViewerRole = "viewer";

struct MainContextDeleter
{
    void operator()(GMainContext *context) const { g_main_context_unref(context); }
};
struct MainLoopDeleter
{
    void operator()(GMainLoop *loop) const { g_main_loop_unref(loop); }
};
struct TokenDeleter
{
    void operator()(GstRTSPToken *token) const { gst_rtsp_token_unref(token); }
};
struct GFreeDeleter
{
    void operator()(gchar *text) const { g_free(text); }
};

bool initGStreamer(QString *error)
{
    static std::once_flag once;
    static bool ok = false;
    static QString failure;
    std::call_once(once, [] {
        GError *e = nullptr;
        ok = gst_init_check(nullptr, nullptr, &e);
        if (!ok)
            failure = e ? QString::fromUtf8(e->message) : QStringLiteral("gst_init failed");
        g_clear_error(&e);
    });
    if (!ok)
        *error = QStringLiteral("GStreamer: ") + failure;
    return ok;
}

// The live media: video from the taps, the channel's tone as PCMA. A
// client may set up only some of the streams (the back channel alone, or the
// pictures without the sound): the tees let a stream nobody set up run
// unlinked instead of failing the whole media.
QByteArray launchLine(VideoCodec codec, int channel)
{
    const char *video = codec == VideoCodec::H264
                            ? "appsrc name=src ! tee allow-not-linked=true ! h264parse ! "
                              "rtph264pay name=pay0 pt=96 config-interval=-1"
                            : "appsrc name=src ! tee allow-not-linked=true ! h265parse ! "
                              "rtph265pay name=pay0 pt=96 config-interval=-1";
    // ToneSource's level (8000 of 32767) and 40 ms frames.
    return QStringLiteral(
               "( %1 audiotestsrc name=tone is-live=true wave=sine freq=%2 volume=0.2441 "
               "samplesperbuffer=%3 ! audio/x-raw,format=S16LE,rate=%4,channels=1 ! "
               "tee allow-not-linked=true ! alawenc ! rtppcmapay name=pay1 pt=8 )")
        .arg(QLatin1String(video))
        .arg(ToneSource::frequencyFor(channel))
        .arg(ToneSource::frameSamples)
        .arg(ToneSource::sampleRate)
        .toUtf8();
}

// The back channel part the ONVIF factory adds for clients that require it: PCMA, 8 kHz mono,
// handed as A-law bytes to the appsink "talk".
constexpr const char *kBackchannelLaunch =
    "( capsfilter name=depay_backchannel caps=\"application/x-rtp,media=audio,payload=8,"
    "clock-rate=8000,encoding-name=PCMA\" ! rtppcmadepay ! appsink name=talk async=false "
    "sync=false max-buffers=64 drop=true )";

GstPadProbeReturn refuseSeeking(GstPad *, GstPadProbeInfo *info, gpointer)
{
    GstQuery *query = GST_PAD_PROBE_INFO_QUERY(info);
    if (GST_QUERY_TYPE(query) != GST_QUERY_SEEKING)
        return GST_PAD_PROBE_OK;
    gst_query_set_seeking(query, GST_FORMAT_TIME, FALSE, 0, -1);
    return GST_PAD_PROBE_HANDLED;
}

// The replay channel + 1 a client's last DESCRIBE was of (client object data).
constexpr const char *kDescribedReplay = "devsim-described-replay";

const char *const kMountKinds[] = {"main", "sub", "replay"};

} // namespace

struct RtspServer::Private
{
    enum class Kind { Main, Sub, Replay };
    struct Mount
    {
        Private *d;
        int channel;
        Kind kind;
    };
    // What a prepared live media holds: its tap, and its talk session when it has a back channel.
    struct MediaState
    {
        int tap = 0;
        int talkSession = -1;
        int channel = 0;
    };
    // The back channel's appsink callbacks (its streaming thread only).
    struct TalkLink
    {
        Private *d;
        int session;
        int channel;
        bool opened = false;
    };

    Private(const DeviceConfig &c, StreamTaps &t)
        : config(c)
        , taps(t)
        , talk(c.uid, c.talkWav)
    {
        QString error;
        const std::optional<QList<RecordStore::Span>> schedule = RecordStore::parseSchedule(
            c.recordings.isEmpty() ? QLatin1String(RecordStore::DefaultSchedule) : c.recordings,
            &error);
        store =
            std::make_shared<const RecordStore>(schedule.value_or(QList<RecordStore::Span>()),
                                                c.recordDays, QDateTime::currentSecsSinceEpoch());
    }

    static void onMediaConfigure(GstRTSPMediaFactory *, GstRTSPMedia *media, gpointer user);
    static void onMediaUnprepared(GstRTSPMedia *media, gpointer user);
    static GstFlowReturn onTalkSample(GstAppSink *sink, gpointer user);
    static void onClientConnected(GstRTSPServer *, GstRTSPClient *client, gpointer user);
    static void onPlayRequest(GstRTSPClient *, GstRTSPContext *context, gpointer user);
    static void onTeardownRequest(GstRTSPClient *, GstRTSPContext *context, gpointer user);
    static GstRTSPStatusCode onPreDescribe(GstRTSPClient *client, GstRTSPContext *context,
                                           gpointer user);
    static GstRTSPStatusCode onPreSetup(GstRTSPClient *client, GstRTSPContext *context,
                                        gpointer user);
    static gboolean shutDown(gpointer user);
    void configureLive(const Mount &mount, GstRTSPMedia *media, GstElement *bin);
    void configureReplay(const Mount &mount, GstRTSPMedia *media, GstElement *bin);
    static void onReplayUnprepared(GstRTSPMedia *media, gpointer user);
    // (channel, kind) of "/<uid>/<channel>/<kind>[/...]"; channel -1 when it is none of ours.
    std::pair<int, Kind> parsePath(const GstRTSPContext *context) const;
    void setUpAuth();
    void addMounts();

    DeviceConfig config;
    StreamTaps &taps;
    TalkRecorder talk;
    std::shared_ptr<const RecordStore> store;
    std::atomic<int> replays{0}; // replay media configured and not yet unprepared
    std::unique_ptr<GMainContext, MainContextDeleter> context;
    std::unique_ptr<GMainLoop, MainLoopDeleter> loop;
    GObjectPtr<GstRTSPServer> server;
    guint sourceId = 0;
    quint16 port = 0;
    std::thread thread;
    std::vector<std::unique_ptr<Mount>> mounts;

    std::mutex lock;
    std::map<GstRTSPMedia *, MediaState> media; // the prepared live media
    int nextTalkSession = kTalkSessionBase;
};

void RtspServer::Private::onMediaConfigure(GstRTSPMediaFactory *, GstRTSPMedia *media,
                                           gpointer user)
{
    const Mount *mount = static_cast<Mount *>(user);
    GstElement *bin = gst_rtsp_media_get_element(media);
    if (!bin)
        return;
    if (mount->kind == Kind::Replay)
        mount->d->configureReplay(*mount, media, bin);
    else
        mount->d->configureLive(*mount, media, bin);
    gst_object_unref(bin);
}

void RtspServer::Private::configureReplay(const Mount &mount, GstRTSPMedia *media, GstElement *bin)
{
    const GstObjectPtr<GstElement> src(gst_bin_get_by_name_recurse_up(GST_BIN(bin), "src"));
    if (!src)
        return;
    ReplaySource::Settings settings;
    settings.channel = mount.channel;
    settings.codec = config.codec;
    settings.size = config.sd;
    settings.fps = config.fps;
    settings.gopFrames = config.fps * config.gopSec;
    ReplaySource::attach(src.get(), store, settings);
    // Counted from here until unprepared (TEARDOWN, the session or connection ending).
    ++replays;
    g_signal_connect(media, "unprepared", G_CALLBACK(onReplayUnprepared), this);
}

void RtspServer::Private::onReplayUnprepared(GstRTSPMedia *media, gpointer user)
{
    Private *d = static_cast<Private *>(user);
    g_signal_handlers_disconnect_by_func(media, reinterpret_cast<gpointer>(&onReplayUnprepared),
                                         user);
    --d->replays;
}

void RtspServer::Private::configureLive(const Mount &mount, GstRTSPMedia *media, GstElement *bin)
{
    GstElement *src = gst_bin_get_by_name_recurse_up(GST_BIN(bin), "src");
    if (!src)
        return;
    const CapsPtr caps(gst_caps_new_simple(
        config.codec == VideoCodec::H264 ? "video/x-h264" : "video/x-h265", "stream-format",
        G_TYPE_STRING, "byte-stream", "alignment", G_TYPE_STRING, "au", "framerate",
        GST_TYPE_FRACTION, config.fps, 1, nullptr));
    g_object_set(src, "caps", caps.get(), "format", GST_FORMAT_TIME, "is-live", TRUE,
                 "do-timestamp", TRUE, "max-bytes", kMaxQueuedBytes, nullptr);
    gst_util_set_object_arg(G_OBJECT(src), "leaky-type", "downstream");

    // The tap keeps the appsrc alive for as long as the media thread may push into it.
    const std::shared_ptr<GstElement> appsrc(src, [](GstElement *e) { gst_object_unref(e); });
    MediaState state;
    state.channel = mount.channel;
    state.tap = taps.add(
        mount.channel, mount.kind == Kind::Main, [appsrc](const QByteArray &unit, bool key) {
            GstBuffer *buffer =
                gst_buffer_new_memdup(unit.constData(), static_cast<gsize>(unit.size()));
            if (!key)
                GST_BUFFER_FLAG_SET(buffer, GST_BUFFER_FLAG_DELTA_UNIT);
            // takes the buffer
            gst_app_src_push_buffer(GST_APP_SRC(appsrc.get()), buffer);
        });
    // The tone could seek, the pictures cannot: the media must not look seekable.
    if (const GstObjectPtr<GstElement> tone{gst_bin_get_by_name_recurse_up(GST_BIN(bin), "tone")}) {
        const GstObjectPtr<GstPad> pad(gst_element_get_static_pad(tone.get(), "src"));
        gst_pad_add_probe(pad.get(), GST_PAD_PROBE_TYPE_QUERY_UPSTREAM, &refuseSeeking, nullptr,
                          nullptr);
    }
    const GstObjectPtr<GstElement> talkSink(gst_bin_get_by_name_recurse_up(GST_BIN(bin), "talk"));
    {
        std::lock_guard<std::mutex> guard(lock);
        if (talkSink)
            state.talkSession = nextTalkSession++;
        this->media[media] = state;
    }
    if (talkSink) {
        GstAppSinkCallbacks callbacks{};
        callbacks.new_sample = &Private::onTalkSample;
        // The recording opens with the first audio: a DESCRIBE alone records nothing.
        auto *link = new TalkLink{this, state.talkSession, state.channel};
        gst_app_sink_set_callbacks(GST_APP_SINK(talkSink.get()), &callbacks, link,
                                   [](gpointer p) { delete static_cast<TalkLink *>(p); });
    }
    g_signal_connect(media, "unprepared", G_CALLBACK(onMediaUnprepared), this);
}

GstFlowReturn RtspServer::Private::onTalkSample(GstAppSink *sink, gpointer user)
{
    auto *link = static_cast<TalkLink *>(user);
    const SamplePtr sample(gst_app_sink_pull_sample(sink));
    GstBuffer *buffer = sample ? gst_sample_get_buffer(sample.get()) : nullptr;
    GstMapInfo map;
    if (!buffer || !gst_buffer_map(buffer, &map, GST_MAP_READ))
        return GST_FLOW_OK;
    const std::vector<std::uint8_t> alaw(map.data, map.data + map.size);
    gst_buffer_unmap(buffer, &map);
    if (!link->opened) {
        link->opened = true;
        link->d->talk.opened(link->session, link->channel, 0);
    }
    link->d->talk.audio(link->session, link->channel, alaw);
    return GST_FLOW_OK;
}

void RtspServer::Private::onMediaUnprepared(GstRTSPMedia *media, gpointer user)
{
    Private *d = static_cast<Private *>(user);
    MediaState state;
    {
        std::lock_guard<std::mutex> guard(d->lock);
        const auto it = d->media.find(media);
        if (it == d->media.end())
            return;
        state = it->second;
        d->media.erase(it);
    }
    d->taps.remove(state.tap);
    if (state.talkSession >= 0)
        d->talk.closed(state.talkSession, state.channel);
}

void RtspServer::Private::onClientConnected(GstRTSPServer *, GstRTSPClient *client, gpointer user)
{
    g_signal_connect(client, "play-request", G_CALLBACK(onPlayRequest), user);
    g_signal_connect(client, "teardown-request", G_CALLBACK(onTeardownRequest), user);
    g_signal_connect(client, "pre-describe-request", G_CALLBACK(onPreDescribe), user);
    g_signal_connect(client, "pre-setup-request", G_CALLBACK(onPreSetup), user);
}

std::pair<int, RtspServer::Private::Kind>
RtspServer::Private::parsePath(const GstRTSPContext *context) const
{
    if (!context || !context->uri || !context->uri->abspath)
        return {-1, Kind::Main};
    const QStringList parts = QString::fromUtf8(context->uri->abspath).split(QLatin1Char('/'));
    if (parts.size() < 4 || parts.at(1) != config.uid)
        return {-1, Kind::Main};
    bool ok = false;
    const int channel = parts.at(2).toInt(&ok);
    if (!ok || channel < 0 || channel >= config.channels)
        return {-1, Kind::Main};
    for (int k = 0; k < 3; ++k) {
        if (parts.at(3) == QLatin1String(kMountKinds[k]))
            return {channel, static_cast<Kind>(k)};
    }
    return {-1, Kind::Main};
}

void RtspServer::Private::onTeardownRequest(GstRTSPClient *, GstRTSPContext *context, gpointer user)
{
    // A talk ends with its TEARDOWN: its media may be unprepared only
    // seconds later (a slow machine), and the WAV must not wait for that.
    Private *d = static_cast<Private *>(user);
    GstRTSPMedia *media = context && context->sessmedia
                              ? gst_rtsp_session_media_get_media(context->sessmedia)
                              : (context ? context->media : nullptr);
    MediaState state;
    {
        std::lock_guard<std::mutex> guard(d->lock);
        const auto it = d->media.find(media);
        if (it == d->media.end())
            return;
        state = it->second;
    }
    if (state.talkSession >= 0)
        d->talk.closed(state.talkSession, state.channel);
}

void RtspServer::Private::onPlayRequest(GstRTSPClient *, GstRTSPContext *context, gpointer user)
{
    // A client joining a shared media starts with a key frame rather than wait for the next
    // one: "/<uid>/<channel>/<main|sub>", perhaps with a stream's control suffix after it.
    Private *d = static_cast<Private *>(user);
    const auto [channel, kind] = d->parsePath(context);
    if (channel >= 0 && kind != Kind::Replay)
        d->taps.requestKey(channel, kind == Kind::Main);
}

GstRTSPStatusCode RtspServer::Private::onPreDescribe(GstRTSPClient *client, GstRTSPContext *context,
                                                     gpointer user)
{
    // A new replay media would run one more encoder. The client keeps the media of its
    // DESCRIBE for the SETUP that follows, which then makes none.
    const Private *d = static_cast<Private *>(user);
    const auto [channel, kind] = d->parsePath(context);
    if (channel < 0 || kind != Kind::Replay)
        return GST_RTSP_STS_OK;
    if (d->replays.load() >= kMaxReplays)
        return GST_RTSP_STS_SERVICE_UNAVAILABLE;
    g_object_set_data(G_OBJECT(client), kDescribedReplay, GINT_TO_POINTER(channel + 1));
    return GST_RTSP_STS_OK;
}

GstRTSPStatusCode RtspServer::Private::onPreSetup(GstRTSPClient *client, GstRTSPContext *context,
                                                  gpointer user)
{
    const Private *d = static_cast<Private *>(user);
    const auto [channel, kind] = d->parsePath(context);
    if (channel < 0 || kind != Kind::Replay ||
        GPOINTER_TO_INT(g_object_get_data(G_OBJECT(client), kDescribedReplay)) == channel + 1)
        return GST_RTSP_STS_OK;
    return d->replays.load() >= kMaxReplays ? GST_RTSP_STS_SERVICE_UNAVAILABLE : GST_RTSP_STS_OK;
}

gboolean RtspServer::Private::shutDown(gpointer user)
{
    Private *d = static_cast<Private *>(user);
    if (GSource *listening = g_main_context_find_source_by_id(d->context.get(), d->sourceId))
        g_source_destroy(listening);
    GList *kept = gst_rtsp_server_client_filter(
        d->server.get(),
        [](GstRTSPServer *, GstRTSPClient *, gpointer) { return GST_RTSP_FILTER_REMOVE; }, nullptr);
    g_list_free_full(kept, g_object_unref);
    g_main_loop_quit(d->loop.get());
    return G_SOURCE_REMOVE;
}

void RtspServer::Private::setUpAuth()
{
    GObjectPtr<GstRTSPAuth> auth(gst_rtsp_auth_new());
    gst_rtsp_auth_set_supported_methods(
        auth.get(), static_cast<GstRTSPAuthMethod>(GST_RTSP_AUTH_BASIC | GST_RTSP_AUTH_DIGEST));
    const QByteArray realm = QStringLiteral("devsim %1").arg(config.uid).toUtf8();
    gst_rtsp_auth_set_realm(auth.get(), realm.constData());
    const std::unique_ptr<GstRTSPToken, TokenDeleter> token(
        gst_rtsp_token_new(GST_RTSP_TOKEN_MEDIA_FACTORY_ROLE, G_TYPE_STRING, kViewerRole, nullptr));
    const QByteArray account = config.account.toUtf8();
    const QByteArray password = config.password.toUtf8();
    const std::unique_ptr<gchar, GFreeDeleter> basic(
        gst_rtsp_auth_make_basic(account.constData(), password.constData()));
    gst_rtsp_auth_add_basic(auth.get(), basic.get(), token.get());
    gst_rtsp_auth_add_digest(auth.get(), account.constData(), password.constData(), token.get());
    gst_rtsp_server_set_auth(server.get(), auth.get());
}

void RtspServer::Private::addMounts()
{
    GObjectPtr<GstRTSPMountPoints> points(gst_rtsp_server_get_mount_points(server.get()));
    for (int channel = 0; channel < config.channels; ++channel) {
        for (const Kind kind : {Kind::Main, Kind::Sub, Kind::Replay}) {
            GstRTSPMediaFactory *factory = nullptr;
            if (kind == Kind::Replay) {
                factory = ReplaySource::newFactory(config.codec);
            } else {
                factory = gst_rtsp_onvif_media_factory_new();
                gst_rtsp_media_factory_set_media_gtype(factory, GST_TYPE_RTSP_ONVIF_MEDIA);
                gst_rtsp_media_factory_set_launch(factory,
                                                  launchLine(config.codec, channel).constData());
                // Clients that require the back channel get a media of their own.
                gst_rtsp_media_factory_set_shared(factory, TRUE);
                if (kind == Kind::Main)
                    gst_rtsp_onvif_media_factory_set_backchannel_launch(
                        GST_RTSP_ONVIF_MEDIA_FACTORY(factory), kBackchannelLaunch);
            }
            gst_rtsp_media_factory_add_role(
                factory, kViewerRole, GST_RTSP_PERM_MEDIA_FACTORY_ACCESS, G_TYPE_BOOLEAN, TRUE,
                GST_RTSP_PERM_MEDIA_FACTORY_CONSTRUCT, G_TYPE_BOOLEAN, TRUE, nullptr);
            mounts.push_back(std::make_unique<Mount>(Mount{this, channel, kind}));
            g_signal_connect(factory, "media-configure", G_CALLBACK(onMediaConfigure),
                             mounts.back().get());
            const QByteArray where =
                (kind == Kind::Replay ? RtspServer::replayPath(config.uid, channel)
                                      : RtspServer::path(config.uid, channel, kind == Kind::Main))
                    .toUtf8();
            gst_rtsp_mount_points_add_factory(points.get(), where.constData(), factory);
        }
    }
}

RtspServer::RtspServer(const DeviceConfig &config, StreamTaps &taps)
    : d(std::make_unique<Private>(config, taps))
{}

RtspServer::~RtspServer()
{
    stop();
}

QString RtspServer::path(const QString &uid, int channel, bool main)
{
    return QStringLiteral("/%1/%2/%3")
        .arg(uid)
        .arg(channel)
        .arg(main ? QStringLiteral("main") : QStringLiteral("sub"));
}

QString RtspServer::replayPath(const QString &uid, int channel)
{
    return QStringLiteral("/%1/%2/replay").arg(uid).arg(channel);
}

quint16 RtspServer::port() const
{
    return d->port;
}

bool RtspServer::start(QString *error)
{
    if (!initGStreamer(error))
        return false;
    d->context.reset(g_main_context_new());
    d->loop.reset(g_main_loop_new(d->context.get(), FALSE));
    d->server.reset(gst_rtsp_onvif_server_new());
    const QByteArray service = QByteArray::number(std::max(d->config.rtspPort, 0));
    gst_rtsp_server_set_service(d->server.get(), service.constData());
    // Clients and media are served on this server's thread, not on a pool of GStreamer's.
    GObjectPtr<GstRTSPThreadPool> pool(gst_rtsp_server_get_thread_pool(d->server.get()));
    gst_rtsp_thread_pool_set_max_threads(pool.get(), 0);
    d->setUpAuth();
    d->addMounts();
    g_signal_connect(d->server.get(), "client-connected", G_CALLBACK(Private::onClientConnected),
                     d.get());

    d->sourceId = gst_rtsp_server_attach(d->server.get(), d->context.get());
    if (d->sourceId == 0) {
        *error = QStringLiteral("cannot listen on RTSP port %1").arg(QLatin1String(service));
        d->server.reset();
        return false;
    }
    d->port = static_cast<quint16>(gst_rtsp_server_get_bound_port(d->server.get()));
    Private *p = d.get();
    d->thread = std::thread([p] {
        g_main_context_push_thread_default(p->context.get());
        g_main_loop_run(p->loop.get());
        g_main_context_pop_thread_default(p->context.get());
    });
    return true;
}

void RtspServer::stop()
{
    if (!d->thread.joinable())
        return;
    GSource *idle = g_idle_source_new();
    g_source_set_callback(idle, &Private::shutDown, d.get(), nullptr);
    g_source_attach(idle, d->context.get());
    g_source_unref(idle);
    d->thread.join();
    // Whatever the closed clients left (sessions, shared media) goes with the server; media
    // still prepared are unprepared on the way, which drops their taps.
    d->server.reset();
    std::map<GstRTSPMedia *, Private::MediaState> left;
    {
        std::lock_guard<std::mutex> guard(d->lock);
        left.swap(d->media);
    }
    for (const auto &[media, state] : left)
        d->taps.remove(state.tap);
    d->talk.finish();
}

} // namespace devsim
