#pragma once

// Encodes solid-colour test pictures with libx264 / libx265 so that decode
// tests work on real bitstreams of a known size and colour.

#include <QByteArray>
#include <QList>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/opt.h>
}

struct EncodedFrame
{
    QByteArray data;
    bool key = false;
};

// Encodes `count` pictures of width x height filled with (y, u, v); returns
// one complete access unit per picture, in decode order (empty on failure).
inline QList<EncodedFrame> encodeSolid(const char *encoderName, int width, int height, int count,
                                       uint8_t y, uint8_t u, uint8_t v)
{
    QList<EncodedFrame> out;
    const AVCodec *codec = avcodec_find_encoder_by_name(encoderName);
    if (!codec)
        return out;
    AVCodecContext *ctx = avcodec_alloc_context3(codec);
    ctx->width = width;
    ctx->height = height;
    ctx->pix_fmt = AV_PIX_FMT_YUV420P;
    ctx->time_base = AVRational{1, 25};
    ctx->framerate = AVRational{25, 1};
    ctx->gop_size = 25;
    ctx->max_b_frames = 0;
    ctx->thread_count = 1;
    av_opt_set(ctx->priv_data, "preset", "ultrafast", 0);
    av_opt_set(ctx->priv_data, "tune", "zerolatency", 0);
    if (QByteArray(encoderName) == "libx265")
        av_opt_set(ctx->priv_data, "x265-params", "log-level=error", 0);
    if (avcodec_open2(ctx, codec, nullptr) < 0) {
        avcodec_free_context(&ctx);
        return out;
    }
    AVFrame *frame = av_frame_alloc();
    frame->format = AV_PIX_FMT_YUV420P;
    frame->width = width;
    frame->height = height;
    av_frame_get_buffer(frame, 0);
    AVPacket *pkt = av_packet_alloc();
    auto drain = [&] {
        while (avcodec_receive_packet(ctx, pkt) == 0) {
            out.append({QByteArray(reinterpret_cast<const char *>(pkt->data), pkt->size),
                        (pkt->flags & AV_PKT_FLAG_KEY) != 0});
            av_packet_unref(pkt);
        }
    };
    for (int i = 0; i < count; ++i) {
        av_frame_make_writable(frame);
        for (int r = 0; r < height; ++r)
            memset(frame->data[0] + r * frame->linesize[0], y, width);
        for (int r = 0; r < height / 2; ++r) {
            memset(frame->data[1] + r * frame->linesize[1], u, width / 2);
            memset(frame->data[2] + r * frame->linesize[2], v, width / 2);
        }
        frame->pts = i;
        if (avcodec_send_frame(ctx, frame) < 0)
            break;
        drain();
    }
    avcodec_send_frame(ctx, nullptr);
    drain();
    av_packet_free(&pkt);
    av_frame_free(&frame);
    avcodec_free_context(&ctx);
    return out;
}
