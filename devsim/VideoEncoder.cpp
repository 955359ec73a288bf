#include "VideoEncoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/error.h>
#include <libavutil/opt.h>
}

namespace devsim {

namespace {

QString avErrorText(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return QString::fromLocal8Bit(text);
}

} // namespace

void VideoEncoder::ContextDeleter::operator()(AVCodecContext *c) const
{
    avcodec_free_context(&c);
}

void VideoEncoder::FrameDeleter::operator()(AVFrame *f) const
{
    av_frame_free(&f);
}

void VideoEncoder::PacketDeleter::operator()(AVPacket *p) const
{
    av_packet_free(&p);
}

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
    self->m_context.reset(avcodec_alloc_context3(encoder));
    self->m_frame.reset(av_frame_alloc());
    self->m_packet.reset(av_packet_alloc());
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

    int ret = avcodec_open2(c, encoder, nullptr);
    if (ret < 0) {
        *error = QStringLiteral("cannot open %1: %2").arg(QLatin1String(name), avErrorText(ret));
        return nullptr;
    }
    AVFrame *f = self->m_frame.get();
    f->format = AV_PIX_FMT_YUV420P;
    f->width = width;
    f->height = height;
    ret = av_frame_get_buffer(f, 0);
    if (ret < 0) {
        *error = QStringLiteral("cannot allocate a picture: ") + avErrorText(ret);
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
    int ret = avcodec_send_frame(m_context.get(), f);
    if (ret < 0) {
        *error = QStringLiteral("avcodec_send_frame: ") + avErrorText(ret);
        return false;
    }
    ret = avcodec_receive_packet(m_context.get(), m_packet.get());
    if (ret == AVERROR(EAGAIN))
        return true;
    if (ret < 0) {
        *error = QStringLiteral("avcodec_receive_packet: ") + avErrorText(ret);
        return false;
    }
    out.data = QByteArray(reinterpret_cast<const char *>(m_packet->data), m_packet->size);
    out.key = (m_packet->flags & AV_PKT_FLAG_KEY) != 0;
    av_packet_unref(m_packet.get());
    return true;
}

} // namespace devsim
