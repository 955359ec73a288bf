#include "media/RtspTalk.h"

#include "media/G711.h"
#include "media/GstRtspSession.h"

#include <QRandomGenerator>

// GLib's headers name struct members "signals", which Qt defines as a macro.
#pragma push_macro("signals")
#undef signals
#include <gst/gst.h>
#pragma pop_macro("signals")

#include <algorithm>
#include <atomic>

extern "C" {
#include <libavutil/error.h>
}

namespace {

constexpr int PacketSamples = 160; // 20 ms at 8000 Hz
constexpr int RtpHeaderBytes = 12;

// What rtspsrc's threads tell the worker about the back channel.
struct BackChannel
{
    std::atomic<int> id{-1};
    std::atomic<int> payload{-1}; // 0 PCMU, 8 PCMA
    std::atomic<bool> offered{false};

    // rtspsrc, while it sets the session up: the back channel only.
    static gboolean selectStream(GstElement *, guint id, GstCaps *caps, gpointer self)
    {
        auto *b = static_cast<BackChannel *>(self);
        const GstStructure *s = gst_caps_get_structure(caps, 0);
        if (!gst_structure_has_field(s, "a-sendonly"))
            return FALSE; // what the camera sends: not wanted here
        b->offered = true;
        const gchar *encoding = gst_structure_get_string(s, "encoding-name");
        gint rate = 0;
        gst_structure_get_int(s, "clock-rate", &rate);
        const int payload = g_ascii_strcasecmp(encoding ? encoding : "", "PCMU") == 0   ? 0
                            : g_ascii_strcasecmp(encoding ? encoding : "", "PCMA") == 0 ? 8
                                                                                        : -1;
        if (payload < 0 || rate != 8000 || b->id.load() >= 0)
            return FALSE;
        gint pt = payload;
        gst_structure_get_int(s, "payload", &pt);
        b->payload = pt >= 0 && pt < 128 ? (payload << 8) | pt : (payload << 8) | payload;
        b->id = int(id);
        return TRUE;
    }
};

// One RTP packet of G.711 (codec 0 or 8, sent with payload type pt).
GstSample *packet(const int16_t *samples, int codec, int pt, uint16_t seq, uint32_t time,
                  uint32_t ssrc, GstCaps *caps)
{
    GstBuffer *buffer = gst_buffer_new_allocate(nullptr, RtpHeaderBytes + PacketSamples, nullptr);
    GstMapInfo map;
    if (!buffer || !gst_buffer_map(buffer, &map, GST_MAP_WRITE)) {
        if (buffer)
            gst_buffer_unref(buffer);
        return nullptr;
    }
    uint8_t *p = map.data;
    p[0] = 0x80; // version 2
    p[1] = uint8_t(pt & 0x7F);
    p[2] = uint8_t(seq >> 8);
    p[3] = uint8_t(seq);
    for (int i = 0; i < 4; ++i) {
        p[4 + i] = uint8_t(time >> (24 - 8 * i));
        p[8 + i] = uint8_t(ssrc >> (24 - 8 * i));
    }
    if (codec == 0)
        G711::encodeUlaw(samples, PacketSamples, p + RtpHeaderBytes);
    else
        G711::encodeAlaw(samples, PacketSamples, p + RtpHeaderBytes);
    gst_buffer_unmap(buffer, &map);
    GstSample *sample = gst_sample_new(buffer, caps, nullptr, nullptr);
    gst_buffer_unref(buffer);
    return sample;
}

} // namespace

bool RtspTalk::usable(QString *why)
{
    return GstRtspSession::usable(nullptr, why);
}

RtspTalk::RtspTalk(Options options, Callbacks callbacks)
    : m_options(std::move(options))
    , m_callbacks(std::move(callbacks))
{}

RtspTalk::~RtspTalk()
{
    requestStop();
    if (m_thread.joinable())
        m_thread.join();
}

void RtspTalk::start()
{
    if (!m_thread.joinable())
        m_thread = std::thread([this] { run(); });
}

void RtspTalk::requestStop()
{
    m_stop = true;
    wake();
}

void RtspTalk::abandon()
{
    requestStop();
    if (m_thread.joinable())
        m_thread.detach();
}

bool RtspTalk::push(const QByteArray &pcm)
{
    bool whole = true;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_queue.append(pcm.right(MaxQueuedBytes));
        if (m_queue.size() > MaxQueuedBytes || pcm.size() > MaxQueuedBytes) {
            // Keep whole samples: drop an even number of bytes.
            m_queue.remove(0, (m_queue.size() - MaxQueuedBytes + 1) & ~1);
            whole = false;
        }
        m_work = true;
    }
    m_wake.notify_one();
    return whole;
}

void RtspTalk::wake()
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_work = true;
    }
    m_wake.notify_one();
}

void RtspTalk::waitForWork(Clock::time_point deadline)
{
    std::unique_lock<std::mutex> lock(m_lock);
    m_wake.wait_until(lock, deadline, [this] { return m_work || m_stop.load(); });
    m_work = false;
}

void RtspTalk::run()
{
    QString text;
    const int code = talk(&text);
    if (!m_stop.load() && m_callbacks.ended)
        m_callbacks.ended(code, text);
    m_finished = true;
}

int RtspTalk::talk(QString *text)
{
    if (!usable(text))
        return AVERROR(ENOSYS);
    BackChannel channel;
    GstRtspSession session([this] { wake(); });
    GstRtspSession::Source source{m_options.shownUrl, m_options.user, m_options.password,
                                  m_options.udp, IoTimeoutMs};
    if (!session.create(source, text))
        return AVERROR(ENOSYS);
    gst_util_set_object_arg(G_OBJECT(session.source()), "backchannel", "onvif");
    g_signal_connect(session.source(), "select-stream", G_CALLBACK(&BackChannel::selectStream),
                     &channel);
    int code = session.play(text);
    const auto noBackChannel = [&](const QString &why) {
        *text = why;
        return NoBackChannel;
    };

    bool playing = false;
    int codec = 0;
    int pt = 0;
    GstCaps *caps = nullptr;
    const uint32_t ssrc = QRandomGenerator::global()->generate();
    uint16_t seq = uint16_t(ssrc);
    uint32_t rtpTime = ssrc >> 7;
    Clock::time_point paceOrigin;
    qint64 paced = 0; // samples sent since paceOrigin
    QByteArray pending;
    Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(OpenTimeoutMs);
    while (code == 0 && !m_stop.load()) {
        waitForWork(deadline);
        if (m_stop.load())
            break;
        int progress = 0;
        code = session.poll(text, &progress);
        if (code == AVERROR(ENOTSUP) && !playing)
            code = noBackChannel(QStringLiteral("the camera has no back channel (%1)").arg(*text));
        if (code != 0)
            break;
        if ((progress & GstRtspSession::Opened) && channel.id.load() < 0) {
            code =
                noBackChannel(channel.offered ? QStringLiteral("the camera's back channel is "
                                                               "not G.711 at 8000 Hz")
                                              : QStringLiteral("the camera has no back channel"));
            break;
        }
        if (!playing && (progress & GstRtspSession::Requested) && channel.id.load() >= 0) {
            playing = true;
            codec = channel.payload.load() >> 8;
            pt = channel.payload.load() & 0x7F;
            caps = gst_caps_new_simple("application/x-rtp", "media", G_TYPE_STRING, "audio",
                                       "clock-rate", G_TYPE_INT, 8000, "encoding-name",
                                       G_TYPE_STRING, codec == 0 ? "PCMU" : "PCMA", "payload",
                                       G_TYPE_INT, pt, nullptr);
            if (m_callbacks.opened && !m_stop.load())
                m_callbacks.opened(pt);
        }
        if (!playing) {
            if (Clock::now() >= deadline) {
                code = AVERROR(ETIMEDOUT);
                *text = QStringLiteral("no answer within %1 s").arg(OpenTimeoutMs / 1000);
            }
            continue;
        }
        {
            std::lock_guard<std::mutex> lock(m_lock);
            pending.append(m_queue);
            m_queue.clear();
        }
        // Sends what is due: never ahead of the time the samples play.
        const Clock::time_point now = Clock::now();
        if (paced == 0 || now > paceOrigin + std::chrono::milliseconds(paced / 8 + 200)) {
            paceOrigin = now; // started, or starved: count from now
            paced = 0;
        }
        constexpr int PacketBytes = PacketSamples * 2;
        while (pending.size() >= PacketBytes && paceOrigin + std::chrono::milliseconds(paced / 8) <=
                                                    now + std::chrono::milliseconds(20)) {
            GstSample *sample = packet(reinterpret_cast<const int16_t *>(pending.constData()),
                                       codec, pt, seq++, rtpTime, ssrc, caps);
            rtpTime += PacketSamples;
            paced += PacketSamples;
            pending.remove(0, PacketBytes);
            GstFlowReturn r = GST_FLOW_OK;
            if (sample) // rtspsrc takes the sample
                g_signal_emit_by_name(session.source(), "push-backchannel-sample",
                                      guint(channel.id), sample, &r);
            if (r != GST_FLOW_OK && r != GST_FLOW_FLUSHING) {
                code = AVERROR(EIO);
                *text = QStringLiteral("the back channel refused the sound (%1)")
                            .arg(QString::fromUtf8(gst_flow_get_name(r)));
                break;
            }
        }
        deadline = pending.size() >= PacketBytes ? paceOrigin + std::chrono::milliseconds(paced / 8)
                                                 : Clock::now() + std::chrono::hours(1);
    }
    if (caps)
        gst_caps_unref(caps);
    session.stop();
    return code;
}
