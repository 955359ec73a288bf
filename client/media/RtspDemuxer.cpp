#include "media/RtspDemuxer.h"

#include "av/AvError.h"
#include "av/AvHandles.h"
#include "link/ChannelBufferItem.h"
#include "media/H26xDecoder.h"
#include "media/RecordFile.h"

#include <QDateTime>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace {

QString errorText(int code)
{
    return QString::fromStdString(AvError(code).text());
}

} // namespace

RtspDemuxer::RtspDemuxer(Options options, Callbacks callbacks)
    : RtspReader(std::move(options), std::move(callbacks))
{}

RtspDemuxer::~RtspDemuxer()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
}

void RtspDemuxer::start()
{
    if (!m_thread.joinable())
        m_thread = std::thread([this] { run(); });
}

void RtspDemuxer::abandon()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.detach();
}

int RtspDemuxer::interrupted(void *self)
{
    const auto *d = static_cast<const RtspDemuxer *>(self);
    if (d->m_stop.load())
        return 1;
    const Clock::rep deadline = d->m_deadline.load();
    return deadline != 0 && Clock::now().time_since_epoch().count() > deadline ? 1 : 0;
}

void RtspDemuxer::armDeadline(int ms)
{
    m_deadline = (Clock::now() + std::chrono::milliseconds(ms)).time_since_epoch().count();
}

void RtspDemuxer::run()
{
    QString text;
    const int code = stream(&text);
    if (!m_stop.load() && m_callbacks.ended)
        m_callbacks.ended(code, text);
    m_finished = true;
}

int RtspDemuxer::stream(QString *text)
{
    if (m_options.replay.on) {
        *text = QStringLiteral("replay needs GStreamer's RTSP reader");
        return AVERROR(ENOSYS);
    }
    AVFormatContext *raw = avformat_alloc_context();
    if (!raw) {
        *text = errorText(AVERROR(ENOMEM));
        return AVERROR(ENOMEM);
    }
    raw->interrupt_callback.callback = &RtspDemuxer::interrupted;
    raw->interrupt_callback.opaque = this;
    raw->probesize = ProbeBytes;
    raw->max_analyze_duration = int64_t(AnalyzeMs) * 1000;

    AVDictionary *rawOptions = nullptr;
    av_dict_set(&rawOptions, "rtsp_transport", m_options.udp ? "udp" : "tcp", 0);
    av_dict_set_int(&rawOptions, "timeout", int64_t(IoTimeoutMs) * 1000, 0);
    av_dict_set(&rawOptions, "allowed_media_types", "video", 0);
    av_dict_set(&rawOptions, "user_agent", "Orvane", 0);
    AvDictionaryPtr options(rawOptions);

    armDeadline(OpenTimeoutMs);
    rawOptions = options.release();
    int r = avformat_open_input(&raw, m_options.url.constData(), nullptr, &rawOptions);
    options.reset(rawOptions);
    AvInputFormatPtr format(raw); // null when the open failed (FFmpeg freed it)
    if (r >= 0)
        r = avformat_find_stream_info(format.get(), nullptr);
    const int index =
        r >= 0 ? av_find_best_stream(format.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0) : r;
    if (r < 0 || index < 0) {
        const bool late = interrupted(this) && !m_stop.load();
        *text = late ? QStringLiteral("no answer within %1 s").arg(OpenTimeoutMs / 1000)
                     : errorText(r < 0 ? r : index);
        return late ? AVERROR(ETIMEDOUT) : (r < 0 ? r : index);
    }
    const AVStream *video = format->streams[index];
    const AVCodecParameters *par = video->codecpar;
    const uint16_t frameCodec = par->codec_id == AV_CODEC_ID_H264   ? H26xDecoder::FrameCodecH264
                                : par->codec_id == AV_CODEC_ID_HEVC ? H26xDecoder::FrameCodecH265
                                                                    : 0;
    if (frameCodec == 0) {
        *text = QStringLiteral("video codec %1 is not H.264 or H.265")
                    .arg(QString::fromLatin1(avcodec_get_name(par->codec_id)));
        return AVERROR_DECODER_NOT_FOUND;
    }
    // Parameter sets of the session description, for key frames without any.
    const QByteArray parameterSets =
        par->extradata && par->extradata_size > 0
            ? RecordFile::parameterSets(par->codec_id, par->extradata, par->extradata_size)
            : QByteArray();
    if (m_callbacks.opened && !m_stop.load())
        m_callbacks.opened(par->width, par->height);

    AvPacketPtr packet = makeAvPacket();
    if (!packet) {
        *text = errorText(AVERROR(ENOMEM));
        return AVERROR(ENOMEM);
    }
    const AVRational ms{1, 1000};
    int64_t firstPts = AV_NOPTS_VALUE;
    qint64 originMs = 0;
    uint32_t frameNumber = 0;
    for (;;) {
        armDeadline(IoTimeoutMs);
        r = av_read_frame(format.get(), packet.get());
        if (r == AVERROR(EAGAIN))
            continue;
        if (r < 0) {
            const bool silent = interrupted(this) && !m_stop.load();
            *text = silent ? QStringLiteral("no packet for %1 s").arg(IoTimeoutMs / 1000)
                    : r == AVERROR_EOF ? QStringLiteral("the stream ended")
                                       : errorText(r);
            return silent ? AVERROR(ETIMEDOUT) : r;
        }
        if (packet->stream_index == index && packet->size > 0) {
            const qint64 nowMs = QDateTime::currentMSecsSinceEpoch();
            const int64_t pts = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
            if (firstPts == AV_NOPTS_VALUE && pts != AV_NOPTS_VALUE) {
                firstPts = pts;
                originMs = nowMs;
            }
            qint64 senderMs = nowMs;
            if (pts != AV_NOPTS_VALUE && firstPts != AV_NOPTS_VALUE)
                senderMs = originMs + av_rescale_q(pts - firstPts, video->time_base, ms);
            // 0 means "no sender clock" to the readers of the record.
            const uint32_t tag = uint32_t(quint64(senderMs)) ? uint32_t(quint64(senderMs)) : 1;
            ChannelBufferItem *item = makeItem(
                par->codec_id, packet->data, packet->size, (packet->flags & AV_PKT_FLAG_KEY) != 0,
                parameterSets, uint32_t(nowMs / 1000), tag, ++frameNumber);
            if (item && m_callbacks.frame && !m_stop.load())
                m_callbacks.frame(item);
            else
                delete item;
        }
        av_packet_unref(packet.get());
    }
}
