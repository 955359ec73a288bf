#include "ReplaySource.h"

#include "GstSupport.h"
#include "StatusOutput.h"
#include "TestPattern.h"
#include "VideoEncoder.h"

#include <QString>

#include <cmath>
#include <thread>

namespace devsim {

namespace {

constexpr qint64 kSecond = 1000000000;          // GST_SECOND as a plain integer
constexpr qint64 kEpochFrom1900 = 2208988800LL; // seconds from 1900-01-01 to 1970-01-01
constexpr const char *kOnvifTimestampEvent = "GstOnvifTimestamp";

// The factory of the replay mounts: an ONVIF factory whose media element is built here, since
// the stream's last element (rtponviftimestamp) must follow the payloader inside "pay0".
struct ReplayFactory
{
    GstRTSPOnvifMediaFactory parent;
};
struct ReplayFactoryClass
{
    GstRTSPOnvifMediaFactoryClass parent;
};

G_DEFINE_TYPE(ReplayFactory, devsim_replay_factory, GST_TYPE_RTSP_ONVIF_MEDIA_FACTORY)

constexpr const char *kCodecKey = "devsim-codec";

GstElement *createReplayElement(GstRTSPMediaFactory *factory, const GstRTSPUrl *)
{
    const bool h264 = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(factory), kCodecKey)) == 0;
    const char *description =
        h264 ? "rtph264pay name=pay pt=96 config-interval=-1 ! rtponviftimestamp name=stamp"
             : "rtph265pay name=pay pt=96 config-interval=-1 ! rtponviftimestamp name=stamp";
    GError *error = nullptr;
    GstElement *pay = gst_parse_bin_from_description(description, TRUE, &error);
    if (!pay) {
        StatusOutput::line(QStringLiteral("ERROR replay pipeline: %1")
                               .arg(QString::fromUtf8(error ? error->message : "?")));
        g_clear_error(&error);
        return nullptr;
    }
    g_clear_error(&error);
    gst_object_set_name(GST_OBJECT(pay), "pay0");
    if (GstElement *stamp = gst_bin_get_by_name(GST_BIN(pay), "stamp")) {
        g_object_set(stamp, "ntp-offset", G_GUINT64_CONSTANT(0), "set-e-bit", TRUE, "set-t-bit",
                     TRUE, "drop-out-of-segment", FALSE, nullptr);
        gst_object_unref(stamp);
    }
    GstElement *bin = gst_bin_new(nullptr);
    GstElement *src = gst_element_factory_make("appsrc", "src");
    gst_bin_add_many(GST_BIN(bin), src, pay, nullptr);
    if (!gst_element_link(src, pay)) {
        gst_object_unref(bin);
        return nullptr;
    }
    return bin;
}

void devsim_replay_factory_class_init(ReplayFactoryClass *klass)
{
    GST_RTSP_MEDIA_FACTORY_CLASS(klass)->create_element = createReplayElement;
}

void devsim_replay_factory_init(ReplayFactory *) {}

} // namespace

struct ReplaySource::SegmentData
{
    GstSegment segment;
};

GstRTSPMediaFactory *ReplaySource::newFactory(VideoCodec codec)
{
    auto *factory = GST_RTSP_MEDIA_FACTORY(g_object_new(devsim_replay_factory_get_type(), nullptr));
    g_object_set_data(G_OBJECT(factory), kCodecKey,
                      GINT_TO_POINTER(codec == VideoCodec::H264 ? 0 : 1));
    gst_rtsp_media_factory_set_media_gtype(factory, GST_TYPE_RTSP_ONVIF_MEDIA);
    gst_rtsp_onvif_media_factory_set_replay_support(GST_RTSP_ONVIF_MEDIA_FACTORY(factory), TRUE);
    gst_rtsp_media_factory_set_shared(factory, FALSE);
    return factory;
}

qint64 ReplaySource::toStreamTime(qint64 utcMs)
{
    return (utcMs + kEpochFrom1900 * 1000) * 1000000;
}

qint64 ReplaySource::toUtcMs(qint64 streamTime)
{
    return streamTime / 1000000 - kEpochFrom1900 * 1000;
}

ReplaySource::ReplaySource(std::shared_ptr<const RecordStore> store, const Settings &settings)
    : m_store(std::move(store))
    , m_settings(settings)
    , m_segment(std::make_unique<SegmentData>())
{
    gst_segment_init(&m_segment->segment, GST_FORMAT_TIME);
}

ReplaySource::~ReplaySource() = default;

void ReplaySource::attach(GstElement *appsrc, std::shared_ptr<const RecordStore> store,
                          const Settings &settings)
{
    auto *source = new ReplaySource(std::move(store), settings);
    const CapsPtr caps(gst_caps_new_simple(
        settings.codec == VideoCodec::H264 ? "video/x-h264" : "video/x-h265", "stream-format",
        G_TYPE_STRING, "byte-stream", "alignment", G_TYPE_STRING, "au", "width", G_TYPE_INT,
        settings.size.width(), "height", G_TYPE_INT, settings.size.height(), "framerate",
        GST_TYPE_FRACTION, settings.fps, 1, nullptr));
    g_object_set(appsrc, "caps", caps.get(), "format", GST_FORMAT_TIME, "is-live", FALSE,
                 "handle-segment-change", TRUE, "max-buffers", G_GUINT64_CONSTANT(2), nullptr);
    gst_app_src_set_stream_type(GST_APP_SRC(appsrc), GST_APP_STREAM_TYPE_SEEKABLE);
    GstAppSrcCallbacks callbacks{};
    callbacks.need_data = &ReplaySource::onNeedData;
    callbacks.seek_data =
        reinterpret_cast<gboolean (*)(GstAppSrc *, guint64, gpointer)>(&ReplaySource::onSeekData);
    gst_app_src_set_callbacks(GST_APP_SRC(appsrc), &callbacks, source,
                              [](gpointer p) { delete static_cast<ReplaySource *>(p); });
}

void ReplaySource::onNeedData(GstAppSrc *src, unsigned, void *user)
{
    static_cast<ReplaySource *>(user)->needData(src);
}

int ReplaySource::onSeekData(GstAppSrc *, quint64, void *user)
{
    auto *self = static_cast<ReplaySource *>(user);
    std::lock_guard<std::mutex> guard(self->m_lock);
    self->m_restart = true; // the segment of the seek is read with the next picture
    return TRUE;
}

qint64 ReplaySource::stepNs() const
{
    return static_cast<qint64>(std::llround(std::abs(m_rate) * kSecond / m_settings.fps));
}

qint64 ReplaySource::runningTimeOfPosition() const
{
    const GstSegment &s = m_segment->segment;
    const double distance =
        m_rate > 0 ? double(m_position - qint64(s.start)) : double(qint64(s.stop) - m_position);
    return qint64(s.base) + qint64(distance / std::abs(m_rate));
}

bool ReplaySource::startRun(GstAppSrc *src)
{
    GstSegment seek;
    GST_OBJECT_LOCK(src);
    gst_segment_copy_into(&GST_BASE_SRC(src)->segment, &seek);
    GST_OBJECT_UNLOCK(src);
    m_rate = seek.rate != 0.0 ? seek.rate : 1.0;
    m_segment->segment = seek;
    m_key = true;
    m_leadKeys = kLeadKeys;
    m_discont = false;
    m_runStart = std::chrono::steady_clock::now();
    m_runFrames = 0;
    qint64 target = m_position;
    if (m_rate > 0 && seek.start != GST_CLOCK_TIME_NONE)
        target = qint64(seek.start);
    else if (m_rate < 0 && seek.stop != GST_CLOCK_TIME_NONE)
        target = qint64(seek.stop);
    m_position = target;
    const qint64 utcMs = toUtcMs(target);
    const qint64 utcSec = utcMs >= 0 ? utcMs / 1000 : -((-utcMs + 999) / 1000);
    if (m_rate > 0) {
        const std::optional<RecordStore::Recording> r = m_store->atOrAfter(utcSec);
        if (!r)
            return false;
        m_recording = *r;
        if (utcSec < r->start)
            m_position = toStreamTime(r->start * 1000);
        GstSegment &s = m_segment->segment;
        s.start = s.time = s.position = guint64(m_position);
        return true;
    }
    const QList<RecordStore::Recording> &all = m_store->recordings();
    for (auto it = all.crbegin(); it != all.crend(); ++it) {
        if (it->start * 1000 < utcMs) {
            m_recording = *it;
            if (utcMs > it->end() * 1000)
                m_position = toStreamTime(it->end() * 1000 - 1);
            GstSegment &s = m_segment->segment;
            s.start = s.time = 0;
            s.stop = s.position = guint64(m_position);
            return true;
        }
    }
    return false;
}

bool ReplaySource::jumpForward(qint64 afterUtcSec)
{
    const std::optional<RecordStore::Recording> next = m_store->atOrAfter(afterUtcSec);
    if (!next || next->start < afterUtcSec)
        return false;
    GstSegment &s = m_segment->segment;
    s.base = guint64(runningTimeOfPosition());
    m_recording = *next;
    m_position = toStreamTime(next->start * 1000);
    s.start = s.time = s.position = guint64(m_position);
    return true;
}

bool ReplaySource::jumpBackward(qint64 beforeUtcSec)
{
    const QList<RecordStore::Recording> &all = m_store->recordings();
    for (auto it = all.crbegin(); it != all.crend(); ++it) {
        if (it->end() <= beforeUtcSec) {
            GstSegment &s = m_segment->segment;
            s.base = guint64(runningTimeOfPosition());
            m_recording = *it;
            m_position = toStreamTime(it->end() * 1000 - 1);
            s.stop = s.position = guint64(m_position);
            return true;
        }
    }
    return false;
}

void ReplaySource::advance()
{
    if (m_rate > 0) {
        m_position += stepNs();
        if (toUtcMs(m_position) < m_recording.end() * 1000)
            return;
        m_ended = !jumpForward(m_recording.end());
    } else {
        m_position -= stepNs();
        if (toUtcMs(m_position) >= m_recording.start * 1000)
            return;
        m_ended = !jumpBackward(m_recording.start);
    }
    m_discont = m_key = !m_ended;
}

void ReplaySource::pace(std::unique_lock<std::mutex> &lock)
{
    // Rate-Control no lets the sinks take pictures as fast as they come; keep it bounded.
    const auto due =
        m_runStart + std::chrono::microseconds(m_runFrames * 1000000 /
                                               (qint64(m_settings.fps) * kMaxPaceFactor));
    ++m_runFrames;
    const auto now = std::chrono::steady_clock::now();
    if (due <= now)
        return;
    lock.unlock();
    std::this_thread::sleep_for(due - now);
    lock.lock();
}

void ReplaySource::needData(GstAppSrc *src)
{
    std::unique_lock<std::mutex> lock(m_lock);
    if (m_restart) {
        m_restart = false;
        m_ended = !startRun(src);
    }
    if (m_ended) {
        lock.unlock();
        gst_app_src_end_of_stream(src);
        return;
    }
    pace(lock);
    if (!m_encoder) {
        QString error;
        m_encoder = VideoEncoder::create(m_settings.codec, m_settings.size.width(),
                                         m_settings.size.height(), m_settings.fps,
                                         m_settings.gopFrames, &error);
        if (!m_encoder) {
            StatusOutput::line(QStringLiteral("ERROR replay encoder: %1").arg(error));
            lock.unlock();
            gst_app_src_end_of_stream(src);
            return;
        }
    }
    const bool key = m_key || m_rate < 0 || m_leadKeys > 0;
    if (m_leadKeys > 0)
        --m_leadKeys;
    VideoEncoder::Packet packet;
    for (int attempt = 0; attempt < 3 && packet.data.isEmpty(); ++attempt) {
        TestPattern::Picture picture = m_encoder->picture();
        TestPattern::renderClock(picture, toUtcMs(m_position));
        QString error;
        if (!m_encoder->encode(key, packet, &error)) {
            StatusOutput::line(QStringLiteral("ERROR replay encoder: %1").arg(error));
            break;
        }
    }
    if (packet.data.isEmpty()) {
        lock.unlock();
        gst_app_src_end_of_stream(src);
        return;
    }
    GstBuffer *buffer =
        gst_buffer_new_memdup(packet.data.constData(), static_cast<gsize>(packet.data.size()));
    GST_BUFFER_PTS(buffer) = GST_BUFFER_DTS(buffer) = guint64(m_position);
    GST_BUFFER_DURATION(buffer) = guint64(stepNs());
    if (!packet.key)
        GST_BUFFER_FLAG_SET(buffer, GST_BUFFER_FLAG_DELTA_UNIT);
    if (m_discont) {
        GST_BUFFER_FLAG_SET(buffer, GST_BUFFER_FLAG_DISCONT);
        // rtponviftimestamp marks the end of the last span (E) and this start (D).
        gst_element_send_event(
            GST_ELEMENT(src),
            gst_event_new_custom(GST_EVENT_CUSTOM_DOWNSTREAM,
                                 gst_structure_new(kOnvifTimestampEvent, "ntp-offset",
                                                   G_TYPE_UINT64, G_GUINT64_CONSTANT(0), "discont",
                                                   G_TYPE_BOOLEAN, TRUE, nullptr)));
    }
    m_discont = m_key = false;
    const SamplePtr sample(gst_sample_new(buffer, nullptr, &m_segment->segment, nullptr));
    gst_buffer_unref(buffer);
    advance();
    lock.unlock();
    gst_app_src_push_sample(src, sample.get());
}

} // namespace devsim
