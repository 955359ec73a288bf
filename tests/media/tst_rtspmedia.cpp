// GStreamer's RTSP reader beyond pictures, against a GStreamer ONVIF RTSP
// server run by the test: sound in each codec arrives as 40 ms A-law frames
// that decode to the server's tone; ONVIF replay asks for the right clock
// ranges and stamps every picture with the recording time the packets
// carry, across seeks; talk-back reaches the server's back channel (or ends
// with NoBackChannel). Also the ONVIF replay header extension against
// malformed packets and G.711 against reference codes.

#include "TestMain.h"

#include "link/ChannelBufferItem.h"
#include "media/G711.h"
#include "media/GstRtspReader.h"
#include "media/OnvifReplayHeader.h"
#include "media/RtspTalk.h"

#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#pragma push_macro("signals")
#undef signals
#include <gst/rtp/gstrtpbuffer.h>
extern "C" { // these two lack their own C linkage
#include <gst/rtsp-server/rtsp-onvif-media-factory.h>
#include <gst/rtsp-server/rtsp-onvif-media.h>
#include <gst/rtsp-server/rtsp-onvif-server.h>
}
#pragma pop_macro("signals")

#include <cmath>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

extern "C" {
#include <libavutil/error.h>
}

#if defined(__GNUC__)
#define NOT_TSAN_INSTRUMENTED __attribute__((no_sanitize("thread")))
#else
#define NOT_TSAN_INSTRUMENTED
#endif

namespace {

// A talk client sets up the back channel alone: the tees let the streams it
// leaves out run unlinked instead of failing the media.
const char *const Video =
    "videotestsrc is-live=true ! video/x-raw,width=160,height=96,framerate=10/1"
    " ! tee allow-not-linked=true ! openh264enc gop-size=10 ! h264parse ! rtph264pay name=pay0 "
    "pt=96";

// The server: one mount per case, the last PLAY/PAUSE requests' headers,
// and on /replay the ONVIF extension on every packet, its clock starting
// where the last PLAY's range asked (the test's stand-in for a recorder).
struct Server
{
    GMainContext *context = g_main_context_new();
    GMainLoop *loop = g_main_loop_new(context, FALSE);
    GstRTSPServer *server = gst_rtsp_onvif_server_new();
    std::thread thread;
    int port = 0;
    std::mutex lock;
    QStringList requests;                        // guarded by lock
    qint64 startMs = 0;                          // guarded by lock: the range asked for
    GstClockTime startPts = GST_CLOCK_TIME_NONE; // guarded by lock

    void mount(const char *path, const QString &launch, const QString &backChannel = {},
               bool replay = false)
    {
        GstRTSPMediaFactory *f = gst_rtsp_onvif_media_factory_new();
        gst_rtsp_media_factory_set_launch(f, ("( " + launch + " )").toUtf8().constData());
        gst_rtsp_media_factory_set_media_gtype(f, GST_TYPE_RTSP_ONVIF_MEDIA);
        auto *onvif = GST_RTSP_ONVIF_MEDIA_FACTORY(f);
        if (!backChannel.isEmpty())
            gst_rtsp_onvif_media_factory_set_backchannel_launch(
                onvif, ("( " + backChannel + " )").toUtf8().constData());
        gst_rtsp_onvif_media_factory_set_replay_support(onvif, replay);
        if (replay)
            g_signal_connect(f, "media-configure", G_CALLBACK(&Server::configure), this);
        GstRTSPMountPoints *mounts = gst_rtsp_server_get_mount_points(server);
        gst_rtsp_mount_points_add_factory(mounts, path, f);
        g_object_unref(mounts);
    }
    bool start()
    {
        g_object_set(server, "service", "0", nullptr);
        g_signal_connect(server, "client-connected", G_CALLBACK(&Server::connected), this);
        if (gst_rtsp_server_attach(server, context) == 0)
            return false;
        port = gst_rtsp_server_get_bound_port(server);
        thread = std::thread([this] { g_main_loop_run(loop); });
        return port > 0;
    }
    ~Server()
    {
        g_main_loop_quit(loop);
        if (thread.joinable())
            thread.join();
        g_object_unref(server);
        g_main_loop_unref(loop);
        g_main_context_unref(context);
    }
    QStringList seen()
    {
        std::lock_guard<std::mutex> l(lock);
        return requests;
    }

    static void connected(GstRTSPServer *, GstRTSPClient *client, Server *s)
    {
        g_signal_connect(client, "pre-play-request", G_CALLBACK(&Server::request), s);
        g_signal_connect(client, "pre-pause-request", G_CALLBACK(&Server::request), s);
    }
    // Notes the request; a replay's range and scale are ours to play, not
    // the (live) media's.
    static GstRTSPStatusCode request(GstRTSPClient *, GstRTSPContext *ctx, Server *s)
    {
        QString line = gst_rtsp_method_as_text(ctx->request->type_data.request.method);
        for (const char *name : {"Require", "Range", "Scale", "Rate-Control", "Immediate"}) {
            gchar *value = nullptr;
            if (gst_rtsp_message_get_header_by_name(ctx->request, name, &value, 0) == GST_RTSP_OK)
                line += QStringLiteral(" %1=%2").arg(name, value);
        }
        std::lock_guard<std::mutex> l(s->lock);
        s->requests << line;
        gchar *range = nullptr;
        if (gst_rtsp_message_get_header(ctx->request, GST_RTSP_HDR_RANGE, &range, 0) ==
                GST_RTSP_OK &&
            g_str_has_prefix(range, "clock=")) {
            QDateTime at =
                QDateTime::fromString(QString(range).mid(6, 19), "yyyyMMdd'T'HHmmss.zzz");
            at.setTimeSpec(Qt::UTC);
            s->startMs = at.toMSecsSinceEpoch();
            s->startPts = GST_CLOCK_TIME_NONE;
            gst_rtsp_message_remove_header(ctx->request, GST_RTSP_HDR_RANGE, -1);
            gst_rtsp_message_remove_header(ctx->request, GST_RTSP_HDR_SCALE, -1);
        }
        return GST_RTSP_STS_OK;
    }
    static void configure(GstRTSPMediaFactory *, GstRTSPMedia *media, Server *s)
    {
        GstElement *pay = gst_bin_get_by_name(GST_BIN(gst_rtsp_media_get_element(media)), "pay0");
        GstPad *pad = gst_element_get_static_pad(pay, "src");
        gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_BUFFER, &Server::stamp, s, nullptr);
        gst_object_unref(pad);
        gst_object_unref(pay);
    }
    // Not instrumented by ThreadSanitizer, as the client's own stamp: its
    // reads of recycled GStreamer buffers are ordered by GLib's slice
    // allocator, which TSan cannot see.
    NOT_TSAN_INSTRUMENTED static GstPadProbeReturn stamp(GstPad *, GstPadProbeInfo *info,
                                                         gpointer self)
    {
        auto *s = static_cast<Server *>(self);
        GstBuffer *buffer = gst_buffer_make_writable(GST_PAD_PROBE_INFO_BUFFER(info));
        info->data = buffer;
        qint64 ms;
        {
            std::lock_guard<std::mutex> l(s->lock);
            if (!GST_CLOCK_TIME_IS_VALID(s->startPts))
                s->startPts = GST_BUFFER_PTS(buffer);
            ms = s->startMs + qint64((GST_BUFFER_PTS(buffer) - s->startPts) / GST_MSECOND);
        }
        const uint64_t ntp = OnvifReplayHeader::ntpNsFromUtcMs(ms);
        GstRTPBuffer rtp = GST_RTP_BUFFER_INIT;
        if (gst_rtp_buffer_map(buffer, GST_MAP_READWRITE, &rtp)) {
            gpointer data = nullptr;
            if (gst_rtp_buffer_set_extension_data(&rtp, OnvifReplayHeader::Profile, 3) &&
                gst_rtp_buffer_get_extension_data(&rtp, nullptr, &data, nullptr)) {
                auto *d = static_cast<uint8_t *>(data);
                GST_WRITE_UINT32_BE(d, uint32_t(ntp / GST_SECOND));
                GST_WRITE_UINT32_BE(d + 4, uint32_t(((ntp % GST_SECOND) << 32) / GST_SECOND));
                GST_WRITE_UINT32_BE(d + 8, 0);
            }
            gst_rtp_buffer_unmap(&rtp);
        }
        return GST_PAD_PROBE_OK;
    }
};

// What a reader reported, from its worker thread.
struct Reports
{
    std::mutex lock;
    std::vector<std::unique_ptr<ChannelBufferItem>> frames;
    std::vector<std::unique_ptr<ChannelBufferItem>> sounds;
    int ends = 0;
    int code = 0;
    QString text;

    RtspReader::Callbacks callbacks()
    {
        RtspReader::Callbacks c;
        c.frame = [this](ChannelBufferItem *item) {
            std::lock_guard<std::mutex> l(lock);
            frames.emplace_back(item);
        };
        c.audio = [this](ChannelBufferItem *item) {
            std::lock_guard<std::mutex> l(lock);
            sounds.emplace_back(item);
        };
        c.ended = [this](int c, const QString &t) {
            std::lock_guard<std::mutex> l(lock);
            ++ends;
            code = c;
            text = t;
        };
        return c;
    }
    int count(bool sound)
    {
        std::lock_guard<std::mutex> l(lock);
        return ends > 0 ? INT_MAX : int(sound ? sounds.size() : frames.size());
    }
};

int16_t alawToLinear(uint8_t a)
{
    a ^= 0x55;
    const int seg = (a & 0x70) >> 4;
    int t = (a & 0x0F) << 4;
    t = seg == 0 ? t + 8 : ((t + 0x108) << (seg - 1));
    return int16_t((a & 0x80) ? t : -t);
}

// The frequency of the tone in 16-bit samples, from its zero crossings.
double toneHz(const std::vector<int16_t> &samples)
{
    int crossings = 0;
    for (size_t i = 1; i < samples.size(); ++i)
        crossings += (samples[i - 1] < 0) != (samples[i] < 0) ? 1 : 0;
    return samples.empty() ? 0 : crossings / 2.0 / (double(samples.size()) / 8000);
}

} // namespace

class tst_RtspMedia : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<Server> server;
    QTemporaryDir dir;

    RtspReader::Options options(const char *path) const
    {
        RtspReader::Options o;
        o.shownUrl = QStringLiteral("rtsp://127.0.0.1:%1%2").arg(server->port).arg(path);
        o.url = o.shownUrl.toUtf8();
        return o;
    }

private slots:
    void initTestCase()
    {
        QString why;
        if (!GstRtspReader::usable(&why))
            QSKIP(qPrintable(why));
        server = std::make_unique<Server>();
        const QString tone = "audiotestsrc is-live=true freq=400 volume=0.5 ! audio/x-raw,rate=%1,"
                             "channels=1 ! tee allow-not-linked=true ! %2 name=pay1";
        server->mount("/pcma", Video + (" " + tone.arg(8000).arg("alawenc ! rtppcmapay")),
                      "capsfilter caps=\"application/x-rtp,media=audio,payload=8,clock-rate=8000,"
                      "encoding-name=PCMA\" name=depay_backchannel ! rtppcmadepay ! alawdec ! "
                      "filesink async=false buffer-mode=unbuffered location=" +
                          dir.filePath("talk.raw"));
        server->mount("/pcmu", Video + (" " + tone.arg(8000).arg("mulawenc ! rtppcmupay")));
        server->mount("/g726",
                      Video + (" " + tone.arg(8000).arg("avenc_g726 bitrate=32000 ! rtpg726pay")));
        server->mount("/aac", Video + (" " + tone.arg(16000).arg("avenc_aac ! rtpmp4gpay")));
        server->mount("/video", Video);
        server->mount("/nobc", Video);
        server->mount("/replay", Video, {}, true);
        QVERIFY(server->start());
    }
    void cleanupTestCase() { server.reset(); }

    void headerExtensionIsReadOrRefused_data()
    {
        QTest::addColumn<QByteArray>("packet");
        QTest::addColumn<bool>("ok");
        // 2021-01-01T00:00:00.500Z: NTP 3818448000 s + 2^31, flags C and D.
        const QByteArray head = QByteArray::fromHex("90600001000000000000000a");
        const QByteArray ext = QByteArray::fromHex("abac0003e398e48080000000a0070000");
        QTest::newRow("valid") << head + ext.left(16) << true;
        QTest::newRow("valid after a CSRC")
            << QByteArray::fromHex("91600001000000000000000a11223344") + ext.left(16) << true;
        QTest::newRow("no extension bit")
            << QByteArray::fromHex("80600001000000000000000a") + ext.left(16) << false;
        QTest::newRow("RTP version 1")
            << QByteArray::fromHex("50600001000000000000000a") + ext.left(16) << false;
        QTest::newRow("other profile")
            << head + QByteArray::fromHex("beef") + ext.mid(2, 14) << false;
        QTest::newRow("other length")
            << head + QByteArray::fromHex("abac0002") + ext.mid(4, 12) << false;
        QTest::newRow("truncated") << head + ext.left(12) << false;
        QTest::newRow("CSRCs beyond the packet")
            << QByteArray::fromHex("9f600001000000000000000a") + ext.left(16) << false;
        QTest::newRow("no time") << head + QByteArray::fromHex("abac0003ffffffffffffffff80000000")
                                 << false;
        QTest::newRow("empty") << QByteArray() << false;
    }
    void headerExtensionIsReadOrRefused()
    {
        QFETCH(QByteArray, packet);
        QFETCH(bool, ok);
        OnvifReplayHeader h;
        QCOMPARE(
            h.parse(reinterpret_cast<const uint8_t *>(packet.constData()), size_t(packet.size())),
            ok);
        if (!ok)
            return;
        QCOMPARE(h.utcMs,
                 QDateTime(QDate(2021, 1, 1), QTime(0, 0, 0, 500), Qt::UTC).toMSecsSinceEpoch());
        QVERIFY(h.cleanPoint && h.discontinuity && !h.endOfSpan && !h.terminal);
        QCOMPARE(h.cseq, uint8_t(7));
        QCOMPARE(OnvifReplayHeader::clockRange(h.utcMs), QByteArray("clock=20210101T000000.500Z-"));
    }

    void g711MatchesTheReference_data()
    {
        QTest::addColumn<int>("sample");
        QTest::addColumn<int>("alaw");
        QTest::addColumn<int>("ulaw");
        QTest::newRow("silence") << 0 << 0xD5 << 0xFF;
        QTest::newRow("smallest negative") << -1 << 0x55 << 0x7E;
        QTest::newRow("loudest") << 32767 << 0xAA << 0x80;
        QTest::newRow("quietest") << -32768 << 0x2A << 0x00;
        QTest::newRow("1000") << 1000 << 0xFA << 0xCE;
    }
    void g711MatchesTheReference()
    {
        QFETCH(int, sample);
        QFETCH(int, alaw);
        QFETCH(int, ulaw);
        QCOMPARE(int(G711::alaw(int16_t(sample))), alaw);
        QCOMPARE(int(G711::ulaw(int16_t(sample))), ulaw);
    }

    void soundArrivesAsAlawFrames_data()
    {
        QTest::addColumn<QByteArray>("path");
        QTest::newRow("PCMA") << QByteArray("/pcma");
        QTest::newRow("PCMU") << QByteArray("/pcmu");
        QTest::newRow("G.726") << QByteArray("/g726");
        QTest::newRow("AAC 16 kHz") << QByteArray("/aac");
        QTest::newRow("no sound") << QByteArray("/video");
    }
    void soundArrivesAsAlawFrames()
    {
        QFETCH(QByteArray, path);
        const bool sound = path != "/video";
        Reports r;
        RtspReader::Options o = options(path.constData());
        o.audio = true;
        GstRtspReader reader(o, r.callbacks());
        reader.start();
        QTRY_VERIFY_WITH_TIMEOUT(r.count(sound) >= 60, 20000);
        reader.requestStop();
        QTRY_VERIFY_WITH_TIMEOUT(reader.finished(), 5000);
        QVERIFY2(r.ends == 0, qPrintable(r.text));
        QCOMPARE(reader.hasAudio(), sound);
        if (!sound) {
            QCOMPARE(int(r.sounds.size()), 0);
            return;
        }
        std::vector<int16_t> samples;
        uint32_t lastTag = 0;
        for (size_t i = 0; i < r.sounds.size(); ++i) {
            const ChannelBufferItem &item = *r.sounds[i];
            QCOMPARE(item.codecId(), RtspReader::AlawCodecId);
            QCOMPARE(item.size, RtspReader::AudioFrameBytes);
            QCOMPARE(item.audioLength, RtspReader::AudioFrameBytes);
            QVERIFY(item.tag() >= lastTag);
            lastTag = item.tag();
            if (i >= 10) // past the decoders' start
                for (int k = 0; k < item.size; ++k)
                    samples.push_back(alawToLinear(item.data[k]));
        }
        // Frames of 40 ms carry tags 40 ms apart (within the jitter of the sound's clock).
        const double spanMs = double(r.sounds.back()->tag() - r.sounds[10]->tag());
        QVERIFY2(std::abs(spanMs / (r.sounds.size() - 11) - 40) < 4,
                 qPrintable(QString::number(spanMs)));
        const double hz = toneHz(samples);
        QVERIFY2(std::abs(hz - 400) < 20, qPrintable(QString::number(hz)));
    }

    void talkReachesTheBackChannel()
    {
        int opened = -1;
        int code = 0;
        std::mutex lock;
        RtspTalk::Callbacks c;
        c.opened = [&](int pt) {
            std::lock_guard<std::mutex> l(lock);
            opened = pt;
        };
        QString why;
        c.ended = [&](int e, const QString &t) {
            std::lock_guard<std::mutex> l(lock);
            code = e;
            why = t;
        };
        const auto state = [&] {
            std::lock_guard<std::mutex> l(lock);
            return code != 0 ? code : opened;
        };
        RtspTalk none({QStringLiteral("rtsp://127.0.0.1:%1/nobc").arg(server->port)}, c);
        none.start();
        QTRY_VERIFY_WITH_TIMEOUT(none.finished(), 15000);
        QVERIFY2(code == RtspTalk::NoBackChannel, qPrintable(why));
        code = 0;
        RtspTalk talk({QStringLiteral("rtsp://127.0.0.1:%1/pcma").arg(server->port)}, c);
        talk.start();
        QTRY_VERIFY_WITH_TIMEOUT(state() != -1, 15000);
        QCOMPARE(state(), 8);
        // Two seconds of a 1 kHz tone, pushed as a microphone would.
        for (int block = 0; block < 20; ++block) {
            QByteArray pcm(1600, Qt::Uninitialized);
            auto *s = reinterpret_cast<int16_t *>(pcm.data());
            for (int i = 0; i < 800; ++i)
                s[i] = int16_t(8000 * std::sin(2 * M_PI * 1000 * (block * 800 + i) / 8000.0));
            QVERIFY(talk.push(pcm));
            QTest::qWait(100);
        }
        QTest::qWait(500);
        talk.requestStop();
        QTRY_VERIFY_WITH_TIMEOUT(talk.finished(), 5000);
        QFile file(dir.filePath("talk.raw"));
        QTRY_VERIFY_WITH_TIMEOUT(file.size() >= 8000, 5000); // half a second at least, under load
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray raw = file.readAll();
        std::vector<int16_t> heard(size_t(raw.size() / 2));
        memcpy(heard.data(), raw.constData(), heard.size() * 2);
        const double hz = toneHz(heard);
        QVERIFY2(std::abs(hz - 1000) < 20, qPrintable(QString::number(hz)));
        QCOMPARE(code, 0);
    }

    // Last: the stand-in recorder's media takes a while to go after it.
    void replayCarriesRecordingTimes()
    {
        const qint64 start =
            QDateTime(QDate(2024, 5, 6), QTime(7, 8, 9), Qt::UTC).toMSecsSinceEpoch();
        Reports r;
        RtspReader::Options o = options("/replay");
        o.replay.on = true;
        o.replay.startUtcMs = start;
        o.replay.rateControl = false;
        GstRtspReader reader(o, r.callbacks());
        reader.start();
        QTRY_VERIFY_WITH_TIMEOUT(r.count(false) >= 5, 20000);
        const auto firstAt = [&](size_t from) {
            std::lock_guard<std::mutex> l(r.lock);
            return from < r.frames.size() ? r.frames[from]->timestamp() : 0u;
        };
        QVERIFY(std::abs(qint64(firstAt(0)) - start / 1000) <= 1);
        QVERIFY(std::abs(qint64(r.frames[0]->tag()) - qint64(uint32_t(start))) <= 1000);
        // Each picture has its own time: five at 10 fps span 400 ms.
        QVERIFY(std::abs(qint64(r.frames[4]->tag() - r.frames[0]->tag()) - 400) <= 50);
        // A seek: from the first picture at the new place on, only new places.
        const qint64 target = start + 3600 * 1000;
        const size_t mark = size_t(r.count(false));
        QVERIFY(reader.seek(target));
        QTRY_VERIFY_WITH_TIMEOUT(
            r.count(false) >= int(mark) + 5 &&
                std::abs(qint64(firstAt(size_t(r.count(false)) - 1)) - target / 1000) <= 2,
            20000);
        {
            std::lock_guard<std::mutex> l(r.lock);
            size_t i = mark;
            while (i < r.frames.size() &&
                   std::abs(qint64(r.frames[i]->timestamp()) - target / 1000) > 1)
                ++i;
            QVERIFY(i < r.frames.size());
            QVERIFY(r.frames[i]->keyFrame());
            for (; i < r.frames.size(); ++i)
                QVERIFY(std::abs(qint64(r.frames[i]->timestamp()) - target / 1000) <= 10);
        }
        // Faster, then a pause and a resume: one request each.
        QVERIFY(reader.setScale(4));
        QTRY_VERIFY_WITH_TIMEOUT(server->seen().join(' ').contains("Scale"), 10000);
        QVERIFY(reader.pause());
        QTRY_VERIFY_WITH_TIMEOUT(server->seen().filter("onvif-replay").last().startsWith("PAUSE"),
                                 10000);
        QVERIFY(reader.resume());
        QTRY_VERIFY_WITH_TIMEOUT(server->seen().filter("onvif-replay").last().startsWith("PLAY"),
                                 10000);
        reader.requestStop();
        QTRY_VERIFY_WITH_TIMEOUT(reader.finished(), 5000);
        QCOMPARE(r.ends, 0);
        // This session's requests (others' sessions may still be closing).
        const QStringList seen = server->seen().filter("Require=onvif-replay");
        QVERIFY2(seen.value(0).startsWith(
                     "PLAY Require=onvif-replay Range=clock=20240506T070809.000Z- Rate-Control=no"),
                 qPrintable(seen.join('\n')));
        QVERIFY2(seen.join('\n').contains(
                     "Range=clock=20240506T080809.000Z- Rate-Control=no Immediate=yes"),
                 qPrintable(seen.join('\n')));
        QVERIFY2(seen.join('\n').contains("Scale=4.00"), qPrintable(seen.join('\n')));
        QVERIFY2(seen.last().startsWith("PLAY") && !seen.last().contains("Range"),
                 qPrintable(seen.join('\n')));
    }
};

ORVANE_TEST_GUILESS_MAIN(tst_RtspMedia)
#include "tst_rtspmedia.moc"
