#include "RtspServer.h"

#include "StreamTaps.h"

// GLib's headers name struct members "signals", which Qt defines as a macro.
#pragma push_macro("signals")
#undef signals
#include <gst/app/gstappsrc.h>
#include <gst/gst.h>
#include <gst/rtsp-server/rtsp-server.h>
#pragma pop_macro("signals")

#include <QStringList>

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

struct GObjectDeleter
{
    void operator()(gpointer object) const { g_object_unref(object); }
};
template <typename T> using GObjectPtr = std::unique_ptr<T, GObjectDeleter>;
struct MainContextDeleter
{
    void operator()(GMainContext *context) const { g_main_context_unref(context); }
};
struct MainLoopDeleter
{
    void operator()(GMainLoop *loop) const { g_main_loop_unref(loop); }
};
struct CapsDeleter
{
    void operator()(GstCaps *caps) const { gst_caps_unref(caps); }
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

const char *launchLine(VideoCodec codec)
{
    return codec == VideoCodec::H264
               ? "( appsrc name=src ! h264parse ! rtph264pay name=pay0 pt=96 config-interval=-1 )"
               : "( appsrc name=src ! h265parse ! rtph265pay name=pay0 pt=96 config-interval=-1 )";
}

} // namespace

struct RtspServer::Private
{
    struct Mount
    {
        Private *d;
        int channel;
        bool hd;
    };

    Private(const DeviceConfig &c, StreamTaps &t)
        : config(c)
        , taps(t)
    {}

    static void onMediaConfigure(GstRTSPMediaFactory *, GstRTSPMedia *media, gpointer user);
    static void onMediaUnprepared(GstRTSPMedia *media, gpointer user);
    static void onClientConnected(GstRTSPServer *, GstRTSPClient *client, gpointer user);
    static void onPlayRequest(GstRTSPClient *, GstRTSPContext *context, gpointer user);
    static gboolean shutDown(gpointer user);
    void setUpAuth();
    void addMounts();

    DeviceConfig config;
    StreamTaps &taps;
    std::unique_ptr<GMainContext, MainContextDeleter> context;
    std::unique_ptr<GMainLoop, MainLoopDeleter> loop;
    GObjectPtr<GstRTSPServer> server;
    guint sourceId = 0;
    quint16 port = 0;
    std::thread thread;
    std::vector<std::unique_ptr<Mount>> mounts;

    std::mutex lock;
    std::map<GstRTSPMedia *, int> mediaTaps; // the tap of each prepared media
};

void RtspServer::Private::onMediaConfigure(GstRTSPMediaFactory *, GstRTSPMedia *media,
                                           gpointer user)
{
    const Mount *mount = static_cast<Mount *>(user);
    Private *d = mount->d;
    GstElement *bin = gst_rtsp_media_get_element(media);
    GstElement *src = bin ? gst_bin_get_by_name_recurse_up(GST_BIN(bin), "src") : nullptr;
    if (bin)
        gst_object_unref(bin);
    if (!src)
        return;
    const std::unique_ptr<GstCaps, CapsDeleter> caps(gst_caps_new_simple(
        d->config.codec == VideoCodec::H264 ? "video/x-h264" : "video/x-h265", "stream-format",
        G_TYPE_STRING, "byte-stream", "alignment", G_TYPE_STRING, "au", "framerate",
        GST_TYPE_FRACTION, d->config.fps, 1, nullptr));
    g_object_set(src, "caps", caps.get(), "format", GST_FORMAT_TIME, "is-live", TRUE,
                 "do-timestamp", TRUE, "max-bytes", kMaxQueuedBytes, nullptr);
    gst_util_set_object_arg(G_OBJECT(src), "leaky-type", "downstream");

    // The tap keeps the appsrc alive for as long as the media thread may push into it.
    const std::shared_ptr<GstElement> appsrc(src, [](GstElement *e) { gst_object_unref(e); });
    const int id =
        d->taps.add(mount->channel, mount->hd, [appsrc](const QByteArray &unit, bool key) {
            GstBuffer *buffer =
                gst_buffer_new_memdup(unit.constData(), static_cast<gsize>(unit.size()));
            if (!key)
                GST_BUFFER_FLAG_SET(buffer, GST_BUFFER_FLAG_DELTA_UNIT);
            gst_app_src_push_buffer(GST_APP_SRC(appsrc.get()), buffer); // takes the buffer
        });
    {
        std::lock_guard<std::mutex> guard(d->lock);
        d->mediaTaps[media] = id;
    }
    g_signal_connect(media, "unprepared", G_CALLBACK(onMediaUnprepared), d);
}

void RtspServer::Private::onMediaUnprepared(GstRTSPMedia *media, gpointer user)
{
    Private *d = static_cast<Private *>(user);
    std::lock_guard<std::mutex> guard(d->lock);
    const auto it = d->mediaTaps.find(media);
    if (it == d->mediaTaps.end())
        return;
    d->taps.remove(it->second);
    d->mediaTaps.erase(it);
}

void RtspServer::Private::onClientConnected(GstRTSPServer *, GstRTSPClient *client, gpointer user)
{
    g_signal_connect(client, "play-request", G_CALLBACK(onPlayRequest), user);
}

void RtspServer::Private::onPlayRequest(GstRTSPClient *, GstRTSPContext *context, gpointer user)
{
    // A client joining a shared media starts with a key frame rather than wait for the next
    // one: "/<uid>/<channel>/<main|sub>", perhaps with a stream's control part after it.
    Private *d = static_cast<Private *>(user);
    if (!context || !context->uri || !context->uri->abspath)
        return;
    const QStringList parts = QString::fromUtf8(context->uri->abspath).split(QLatin1Char('/'));
    if (parts.size() < 4 || parts.at(1) != d->config.uid)
        return;
    bool ok = false;
    const int channel = parts.at(2).toInt(&ok);
    if (ok && channel >= 0 && channel < d->config.channels &&
        (parts.at(3) == QLatin1String("main") || parts.at(3) == QLatin1String("sub")))
        d->taps.requestKey(channel, parts.at(3) == QLatin1String("main"));
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
        for (const bool hd : {true, false}) {
            GstRTSPMediaFactory *factory = gst_rtsp_media_factory_new();
            gst_rtsp_media_factory_set_launch(factory, launchLine(config.codec));
            gst_rtsp_media_factory_set_shared(factory, TRUE);
            gst_rtsp_media_factory_add_role(
                factory, kViewerRole, GST_RTSP_PERM_MEDIA_FACTORY_ACCESS, G_TYPE_BOOLEAN, TRUE,
                GST_RTSP_PERM_MEDIA_FACTORY_CONSTRUCT, G_TYPE_BOOLEAN, TRUE, nullptr);
            mounts.push_back(std::make_unique<Mount>(Mount{this, channel, hd}));
            g_signal_connect(factory, "media-configure", G_CALLBACK(onMediaConfigure),
                             mounts.back().get());
            const QByteArray where = RtspServer::path(config.uid, channel, hd).toUtf8();
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
    d->server.reset(gst_rtsp_server_new());
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
    std::lock_guard<std::mutex> guard(d->lock);
    for (const auto &[media, id] : d->mediaTaps)
        d->taps.remove(id);
    d->mediaTaps.clear();
}

} // namespace devsim
