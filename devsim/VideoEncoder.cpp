#include "VideoEncoder.h"

#include "av/AvError.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/opt.h>
}

namespace devsim {

namespace {

QString errorText(const char *what, AvError error)
{
    return QString::fromStdString(avErrorText(what, error));
}

} // namespace

std::unique_ptr<VideoEncoder> VideoEncoder::create(VideoCodec codec, int width, int height, int fps,
                                                   int gopFrames, QString *error)
{
    const char *name = codec == VideoCodec::H264 ? "libx264" : "libx265";
    const AVCodec *encoder = avcodec_find_encoder_by_name(name);
    if (!encoder) {
        *error = QStringLiteral("encoder %1 not available").arg(QLatin1String(name));
        return nullptr;
    }
    std::unique_ptr<VideoEncoder> self(new VideoEncoder);
    self->m_context = makeAvCodecContext(encoder);
    self->m_frame = makeAvFrame();
    self->m_packet = makeAvPacket();
    if (!self->m_context || !self->m_frame || !self->m_packet) {
        *error = QStringLiteral("out of memory");
        return nullptr;
    }
    AVCodecContext *c = self->m_context.get();
    c->width = width;
    c->height = height;
    c->pix_fmt = AV_PIX_FMT_YUV420P;
    c->time_base = AVRational{1, fps};
    c->framerate = AVRational{fps, 1};
    c->gop_size = gopFrames;
    c->max_b_frames = 0;
    c->thread_count = 1;
    c->bit_rate = static_cast<int64_t>(width) * height * 2; // about 1.8 Mbit/s at 720p
    av_opt_set(c->priv_data, "preset", "ultrafast", 0);
    av_opt_set(c->priv_data, "tune", "zerolatency", 0);
    av_opt_set_int(c->priv_data, "forced-idr", 1, 0);
    if (codec == VideoCodec::H265)
        av_opt_set(c->priv_data, "x265-params", "log-level=error:pools=1:frame-threads=1", 0);

    if (const AvError opened = avcodec_open2(c, encoder, nullptr); opened.failed()) {
        *error = QStringLiteral("cannot open %1: %2")
                     .arg(QLatin1String(name), QString::fromStdString(opened.text()));
        return nullptr;
    }
    AVFrame *f = self->m_frame.get();
    f->format = AV_PIX_FMT_YUV420P;
    f->width = width;
    f->height = height;
    if (const AvError allocated = av_frame_get_buffer(f, 0); allocated.failed()) {
        *error = errorText("cannot allocate a picture", allocated);
        return nullptr;
    }
    return self;
}

VideoEncoder::~VideoEncoder() = default;

int VideoEncoder::width() const
{
    return m_context->width;
}

int VideoEncoder::height() const
{
    return m_context->height;
}

TestPattern::Picture VideoEncoder::picture()
{
    AVFrame *f = m_frame.get();
    av_frame_make_writable(f);
    return TestPattern::Picture{{f->data[0], f->data[1], f->data[2]},
                                {f->linesize[0], f->linesize[1], f->linesize[2]},
                                f->width,
                                f->height};
}

bool VideoEncoder::encode(bool forceKey, Packet &out, QString *error)
{
    AVFrame *f = m_frame.get();
    f->pts = m_pts++;
    f->pict_type = forceKey ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
    out.data.clear();
    out.key = false;
    if (const AvError sent = avcodec_send_frame(m_context.get(), f); sent.failed()) {
        *error = errorText("avcodec_send_frame", sent);
        return false;
    }
    const AvError received = avcodec_receive_packet(m_context.get(), m_packet.get());
    if (received.code() == AVERROR(EAGAIN))
        return true;
    if (received.failed()) {
        *error = errorText("avcodec_receive_packet", received);
        return false;
    }
    out.data = QByteArray(reinterpret_cast<const char *>(m_packet->data), m_packet->size);
    out.key = (m_packet->flags & AV_PKT_FLAG_KEY) != 0;
    av_packet_unref(m_packet.get());
    return true;
}

} // namespace devsim
