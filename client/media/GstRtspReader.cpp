#include "media/GstRtspReader.h"

#include "link/ChannelBufferItem.h"
#include "media/G711.h"
#include "media/GstReplayControl.h"
#include "media/GstRtspPipeline.h"
#include "media/GstRtspSession.h"
#include "media/OnvifReplayHeader.h"
#include "media/RecordFile.h"

#include <QDateTime>

// GLib's headers name struct members "signals", which Qt defines as a macro.
#pragma push_macro("signals")
#undef signals
#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#pragma pop_macro("signals")

#include <array>
#include <atomic>
#include <climits>
#include <cmath>

extern "C" {
#include <libavcodec/codec_id.h>
#include <libavutil/error.h>
}

namespace {

constexpr int SampleRate = 8000;
constexpr GstClockTime SampleNs = GST_SECOND / SampleRate;
// A jump in the sound's times beyond this starts a new frame.
constexpr GstClockTime SoundJumpNs = 100 * GST_MSECOND;

qint64 clampToSender(qint64 ms)
{
    // 0 means "no sender clock" to the readers of the record.
    return uint32_t(quint64(ms)) ? ms : ms + 1;
}

} // namespace

// The worker's state while it streams: the clocks and the sound framing.
struct GstRtspReader::Worker
{
    bool replay = false;
    bool opened = false;
    bool paused = false;
    bool awaitKey = false; // after a seek: nothing before the next key frame
    uint32_t frameNumber = 0;
    uint32_t soundNumber = 0;
    QByteArray parameterSets; // the last ones the stream carried
    // Live: the stream's clock from the wall clock at its first sample.
    int64_t firstPts = -1;
    qint64 originMs = 0;
    // Replay: the recording time of the last frame.
    qint64 lastRecordingMs = 0;
    // The A-law frame being filled and the time of its first sample.
    std::array<uint8_t, AudioFrameBytes> sound{};
    int soundFill = 0;
    GstClockTime soundStart = GST_CLOCK_TIME_NONE;
    GstClockTime soundNext = GST_CLOCK_TIME_NONE;

    // The (timestamp, tag) pair of a sample at pts.
    std::pair<uint32_t, uint32_t> times(GstClockTime pts)
    {
        const qint64 nowMs = QDateTime::currentMSecsSinceEpoch();
        if (replay) {
            if (GST_CLOCK_TIME_IS_VALID(pts))
                lastRecordingMs = OnvifReplayHeader::utcMsFromNtpNs(pts);
            const qint64 at = lastRecordingMs;
            return {uint32_t(at / 1000), uint32_t(quint64(clampToSender(at)))};
        }
        if (firstPts < 0 && GST_CLOCK_TIME_IS_VALID(pts)) {
            firstPts = int64_t(pts);
            originMs = nowMs;
        }
        qint64 senderMs = nowMs;
        if (GST_CLOCK_TIME_IS_VALID(pts) && firstPts >= 0)
            senderMs = originMs + (int64_t(pts) - firstPts) / 1000000;
        return {uint32_t(nowMs / 1000), uint32_t(quint64(clampToSender(senderMs)))};
    }

    void resetSound()
    {
        soundFill = 0;
        soundStart = soundNext = GST_CLOCK_TIME_NONE;
    }
};

bool GstRtspReader::usable(QString *why)
{
    static const char *const elements[] = {"rtph264depay", "rtph265depay", nullptr};
    return GstRtspSession::usable(elements, why);
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

bool GstRtspReader::ask(void (*change)(Requests &, qint64, double), qint64 at, double scale)
{
    if (!m_options.replay.on)
        return false;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        change(m_requests, at, scale);
        m_work = true;
    }
    m_wake.notify_one();
    return true;
}

bool GstRtspReader::seek(qint64 utcMs)
{
    return ask(
        [](Requests &r, qint64 at, double) {
            r.seek = true;
            r.seekUtcMs = at;
        },
        utcMs, 0);
}

bool GstRtspReader::setScale(double scale)
{
    if (scale == 0 || !std::isfinite(scale) || std::abs(scale) > 64)
        return false;
    return ask(
        [](Requests &r, qint64, double s) {
            r.scale = true;
            r.scaleValue = s;
        },
        0, scale);
}

bool GstRtspReader::pause()
{
    return ask([](Requests &r, qint64, double) { r.pause = 1; }, 0, 0);
}

bool GstRtspReader::resume()
{
    return ask([](Requests &r, qint64, double) { r.pause = 2; }, 0, 0);
}

GstRtspReader::Requests GstRtspReader::takeRequests()
{
    std::lock_guard<std::mutex> lock(m_lock);
    Requests r = m_requests;
    m_requests = Requests();
    return r;
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
    GstRtspPipeline p([this] { wake(); }, m_hasAudio);
    if (!p.build(m_options, text))
        return AVERROR(ENOSYS);
    Worker w;
    w.replay = m_options.replay.on;
    w.lastRecordingMs = m_options.replay.startUtcMs;
    int code = p.session.play(text);
    Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(OpenTimeoutMs);

    const auto handOn = [this](ChannelBufferItem *item, const decltype(Callbacks::frame) &to) {
        if (item && to && !m_stop.load())
            to(item);
        else
            delete item;
    };
    const auto pullVideo = [&](GstSample *sample) {
        GstBuffer *buffer = gst_sample_get_buffer(sample);
        const GstCaps *caps = gst_sample_get_caps(sample);
        const bool hevc =
            caps && gst_structure_has_name(gst_caps_get_structure(caps, 0), "video/x-h265");
        const int codec = hevc ? AV_CODEC_ID_HEVC : AV_CODEC_ID_H264;
        GstMapInfo map;
        if (!buffer || !gst_buffer_map(buffer, &map, GST_MAP_READ))
            return;
        const int size = map.size > size_t(INT_MAX) ? 0 : int(map.size);
        const QByteArray sets = RecordFile::parameterSets(codec, map.data, size);
        if (!sets.isEmpty())
            w.parameterSets = sets;
        const bool key = RecordFile::isKeyUnit(codec, map.data, size);
        const auto [seconds, tag] = w.times(GST_BUFFER_PTS(buffer));
        ChannelBufferItem *item = nullptr;
        if (key || !w.awaitKey) {
            w.awaitKey = false;
            item = makeItem(codec, map.data, size, key, w.parameterSets, seconds, tag,
                            ++w.frameNumber);
        }
        gst_buffer_unmap(buffer, &map);
        if (!w.opened && !m_stop.load() && m_callbacks.opened)
            m_callbacks.opened(0, 0);
        w.opened = true;
        handOn(item, m_callbacks.frame);
    };
    const auto pullSound = [&](GstSample *sample) {
        GstBuffer *buffer = gst_sample_get_buffer(sample);
        GstMapInfo map;
        if (!w.opened || !buffer || !gst_buffer_map(buffer, &map, GST_MAP_READ))
            return; // sound before the first picture is dropped
        const auto *samples = reinterpret_cast<const int16_t *>(map.data);
        const int count = int(std::min<gsize>(map.size / 2, INT_MAX));
        const GstClockTime pts = GST_BUFFER_PTS(buffer);
        if (GST_CLOCK_TIME_IS_VALID(pts) && GST_CLOCK_TIME_IS_VALID(w.soundNext) &&
            (pts > w.soundNext + SoundJumpNs || pts + SoundJumpNs < w.soundNext))
            w.resetSound(); // a gap or a jump: the frame starts anew
        GstClockTime at = GST_CLOCK_TIME_IS_VALID(pts) ? pts : w.soundNext;
        for (int i = 0; i < count;) {
            if (w.soundFill == 0)
                w.soundStart = at;
            const int n = std::min(count - i, AudioFrameBytes - w.soundFill);
            G711::encodeAlaw(samples + i, n, w.sound.data() + w.soundFill);
            w.soundFill += n;
            i += n;
            if (GST_CLOCK_TIME_IS_VALID(at))
                at += GstClockTime(n) * SampleNs;
            if (w.soundFill < AudioFrameBytes)
                continue;
            w.soundFill = 0;
            const auto [seconds, tag] = w.times(w.soundStart);
            handOn(makeAudioItem(w.sound.data(), seconds, tag, ++w.soundNumber), m_callbacks.audio);
        }
        w.soundNext = at;
        gst_buffer_unmap(buffer, &map);
    };

    while (code == 0 && !m_stop.load()) {
        waitForWork(w.paused ? Clock::now() + std::chrono::hours(1) : deadline);
        if (m_stop.load())
            break;
        if (w.replay) {
            const Requests r = takeRequests();
            if (r.pause == 1 && !w.paused) {
                gst_element_set_state(p.session.pipeline(), GST_STATE_PAUSED);
                w.paused = true;
            }
            if (r.seek || r.scale) {
                const qint64 at = r.seek ? r.seekUtcMs : w.lastRecordingMs;
                const double scale = r.scale ? r.scaleValue : p.control->scale();
                if (p.control->seek(p.session.pipeline(), p.session.source(), at, scale, !w.paused))
                    p.discardQueued();
                w.awaitKey = true;
                w.lastRecordingMs = at;
                w.resetSound();
                deadline = Clock::now() + std::chrono::milliseconds(OpenTimeoutMs);
            }
            if (r.pause == 2 && w.paused) {
                gst_element_set_state(p.session.pipeline(), GST_STATE_PLAYING);
                w.paused = false;
                deadline = Clock::now() + std::chrono::milliseconds(OpenTimeoutMs);
            }
        }
        bool pulled = false;
        while (GstSample *s = gst_app_sink_try_pull_sample(GST_APP_SINK(p.videoSink), 0)) {
            pullVideo(s);
            gst_sample_unref(s);
            pulled = true;
        }
        while (GstSample *s = p.audioSink
                                  ? gst_app_sink_try_pull_sample(GST_APP_SINK(p.audioSink), 0)
                                  : nullptr) {
            pullSound(s);
            gst_sample_unref(s);
        }
        if (pulled)
            deadline = Clock::now() + std::chrono::milliseconds(IoTimeoutMs);
        code = p.session.poll(text);
        if (code == 0 && gst_app_sink_is_eos(GST_APP_SINK(p.videoSink))) {
            code = AVERROR_EOF;
            *text = QStringLiteral("the stream ended");
        }
        if (code == AVERROR_EOF && w.replay) {
            code = EndOfRecordings;
            *text = QStringLiteral("end of recordings");
        }
        if (code != 0 && code != AVERROR_EOF && code != EndOfRecordings) {
            std::lock_guard<std::mutex> lock(p.lock);
            if (!p.videoSelected && !p.otherCodec.isEmpty()) {
                code = AVERROR_DECODER_NOT_FOUND;
                *text = QStringLiteral("video codec %1 is not H.264 or H.265").arg(p.otherCodec);
            }
        }
        if (code == 0 && p.linkFailed.load()) {
            code = AVERROR(ENOSYS);
            *text = QStringLiteral("GStreamer could not link the video stream");
        }
        if (code == 0 && !w.paused && Clock::now() >= deadline) {
            code = AVERROR(ETIMEDOUT);
            *text = w.opened ? QStringLiteral("no frame for %1 s").arg(IoTimeoutMs / 1000)
                             : QStringLiteral("no answer within %1 s").arg(OpenTimeoutMs / 1000);
        }
    }
    p.session.stop();
    return code;
}
