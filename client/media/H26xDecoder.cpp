#include "media/H26xDecoder.h"

#include "media/PictureExchange.h"

#include "av/AvError.h"

#include <QDebug>

#include <atomic>
#include <thread>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libswscale/swscale.h>
}

using namespace DecodeCode;

namespace H26xDecoder {

namespace {

QString ffmpegError(int err)
{
    return QString::fromStdString(AvError(err).text());
}

// Corrupt streams fail on every frame; log the 1st, 2nd, 4th, 8th ... failure.
bool shouldLog()
{
    static std::atomic<quint64> failures{0};
    const quint64 n = ++failures;
    return (n & (n - 1)) == 0;
}

// The stream's parameter sets announce a picture above the limit (the
// decoder then refuses to allocate it, so decoding fails).
bool announcesTooLarge(const AVCodecContext *ctx)
{
    return PictureExchange::packedSize(ctx->width, ctx->height) > PictureExchange::MaxBytes;
}

// The frame's own parameter sets and slice headers, read by the parser
// before the decoder sees them, announce a picture above the limit. The
// decoder would size its tables (and with frame threads, one set per thread)
// for it before it refuses the picture buffers.
bool announcesTooLarge(VideoDecoderSet &set, AVCodecContext *ctx, const uint8_t *data, int size)
{
    uint8_t *out = nullptr;
    int outSize = 0;
    av_parser_parse2(set.parser.get(), ctx, &out, &outSize, data, size, AV_NOPTS_VALUE,
                     AV_NOPTS_VALUE, 0);
    const AVCodecParserContext *p = set.parser.get();
    return PictureExchange::packedSize(qMax(p->width, p->coded_width),
                                       qMax(p->height, p->coded_height)) >
           PictureExchange::MaxBytes;
}

bool isPlanar420(AVPixelFormat fmt)
{
    return fmt == AV_PIX_FMT_YUV420P || fmt == AV_PIX_FMT_YUVJ420P;
}

// Publishes the decoder's current frame into out, without copying when it
// is 8-bit 4:2:0; returns 0 or a code.
int publishFrame(AVFrame *frame, SwsContextPtr &converter, uint32_t timestamp, uint32_t tag,
                 PictureExchange &out, int &width, int &height)
{
    const int w = frame->width;
    const int h = frame->height;
    if (w <= 0 || h <= 0)
        return ReceiveFailed;
    if (PictureExchange::packedSize(w, h) > PictureExchange::MaxBytes)
        return PictureTooLarge;
    const YuvColour colour = YuvColour::of(frame);
    const auto fmt = static_cast<AVPixelFormat>(frame->format);
    if (isPlanar420(fmt) && frame->data[0] && frame->data[1] && frame->data[2]) {
        AVFrame *back = out.backFrame();
        if (!back)
            return NoPictureBuffer;
        av_frame_move_ref(back, frame);
        out.publish(timestamp, tag, colour);
        width = w;
        height = h;
        return 0;
    }
    // Other layouts (4:2:2, 4:4:4, 10-bit ...) are converted to 8-bit 4:2:0.
    const int cw = w & ~1;
    const int ch = h & ~1;
    if (cw == 0 || ch == 0)
        return ReceiveFailed;
    converter.reset(sws_getCachedContext(converter.release(), w, h, fmt, cw, ch, AV_PIX_FMT_YUV420P,
                                         SWS_BILINEAR, nullptr, nullptr, nullptr));
    if (!converter)
        return ReceiveFailed;
    uint8_t *dst = out.backBuffer(cw, ch);
    if (!dst)
        return NoPictureBuffer;
    uint8_t *planes[4] = {dst, dst + PictureExchange::uOffset(cw, ch),
                          dst + PictureExchange::vOffset(cw, ch), nullptr};
    const int strides[4] = {cw, cw / 2, cw / 2, 0};
    if (sws_scale(converter.get(), frame->data, frame->linesize, 0, h, planes, strides) != ch)
        return ReceiveFailed;
    out.publish(timestamp, tag, colour);
    width = cw;
    height = ch;
    return 0;
}

} // namespace

int codecIdForFrame(uint16_t frameCodecId)
{
    switch (frameCodecId) {
    case FrameCodecH264:
        return AV_CODEC_ID_H264;
    case FrameCodecH265:
        return AV_CODEC_ID_HEVC;
    default:
        return AV_CODEC_ID_NONE;
    }
}

int setUp(VideoDecoderSet &set, int codecId, int width, int height, int timeBaseDen,
          Threading threading)
{
    set.reset();
    set.packet = makeAvPacket();
    if (!set.packet)
        return PacketAllocFailed;
    if (codecId != AV_CODEC_ID_H264 && codecId != AV_CODEC_ID_HEVC) {
        set.reset();
        return CodecNotAccepted;
    }
    set.codec = avcodec_find_decoder(static_cast<AVCodecID>(codecId));
    if (!set.codec) {
        set.reset();
        return DecoderNotFound;
    }
    // Held with the decoder; each received frame is one complete packet.
    set.parser = makeAvParser(set.codec->id);
    if (!set.parser) {
        set.reset();
        return ParserFailed;
    }
    // Every received frame is one whole access unit: the parser reads its
    // parameter sets and slice headers without holding data back.
    set.parser->flags |= PARSER_FLAG_COMPLETE_FRAMES;
    set.context = makeAvCodecContext(set.codec);
    if (!set.context) {
        set.reset();
        return ContextFailed;
    }
    AVCodecContext *ctx = set.context.get();
    ctx->time_base = AVRational{1, timeBaseDen > 0 ? timeBaseDen : 1};
    ctx->codec_type = AVMEDIA_TYPE_VIDEO;
    ctx->bit_rate = 0;
    if (threading == Threading::LowDelay) {
        // Every picture leaves the decoder with its own frame: no frame
        // threads (each holds a frame back) and no reordering delay.
        ctx->thread_count = 1;
        ctx->flags |= AV_CODEC_FLAG_LOW_DELAY;
    } else if (std::thread::hardware_concurrency() >= 4) {
        // Frame threads pay for one stream only with cores to spare: on two
        // cores they cost more CPU per frame than one thread and gain no time.
        ctx->thread_count = 4;
        ctx->thread_type = FF_THREAD_FRAME;
    } else {
        ctx->thread_count = 1;
    }
    ctx->width = width;
    ctx->height = height;
    // A stream that announces a larger picture is refused when its parameter
    // sets are read, before the decoder allocates anything for that size.
    ctx->max_pixels = PictureExchange::MaxWidth * PictureExchange::MaxHeight;
    const int ret = avcodec_open2(ctx, set.codec, nullptr);
    if (ret < 0) {
        qWarning() << "video decoder open failed:" << ffmpegError(ret);
        set.reset();
        return OpenFailed;
    }
    set.frame = makeAvFrame();
    if (!set.frame) {
        set.reset();
        return FrameAllocFailed;
    }
    return 0;
}

Result decode(VideoDecoderSet &set, SwsContextPtr &converter, const uint8_t *data, int size,
              uint32_t timestamp, uint32_t tag, PictureExchange &out)
{
    Result r;
    AVPacket *packet = set.packet.get();
    AVCodecContext *ctx = set.context.get();
    AVFrame *frame = set.frame.get();
    if (announcesTooLarge(set, ctx, data, size)) {
        r.code = PictureTooLarge;
        return r;
    }
    packet->data = const_cast<uint8_t *>(data);
    packet->size = size;
    packet->pts = int64_t(timestamp) << 32 | tag;
    int ret = avcodec_send_packet(ctx, packet);
    av_packet_unref(packet); // the decoder keeps its own copy
    if (ret < 0) {
        if (shouldLog())
            qWarning() << "avcodec_send_packet failed:" << ffmpegError(ret);
        r.code = announcesTooLarge(ctx) ? PictureTooLarge : SendFailed;
        return r;
    }
    int lastError = 0;
    for (;;) {
        ret = avcodec_receive_frame(ctx, frame);
        if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF)
            break;
        if (ret < 0) {
            if (shouldLog())
                qWarning() << "avcodec_receive_frame failed:" << ffmpegError(ret);
            lastError = announcesTooLarge(ctx) ? PictureTooLarge : ReceiveFailed;
            break;
        }
        uint32_t ts = timestamp;
        uint32_t frameTag = tag;
        if (frame->pts != AV_NOPTS_VALUE) {
            ts = uint32_t(uint64_t(frame->pts) >> 32);
            frameTag = uint32_t(uint64_t(frame->pts) & 0xFFFFFFFFu);
        }
        const int code = publishFrame(frame, converter, ts, frameTag, out, r.width, r.height);
        r.timestamp = ts;
        av_frame_unref(frame);
        if (code < 0) {
            lastError = code;
            break;
        }
        ++r.pictures;
    }
    av_frame_unref(frame);
    if (r.pictures > 0)
        r.code = Decoded;
    else
        r.code = lastError < 0 ? lastError : NoPicture;
    return r;
}

} // namespace H26xDecoder
