#include "DecodeAlone.h"

#include "ProcessStats.h"

#include "av/AvError.h"
#include "av/AvHandles.h"

#include <QElapsedTimer>

#include <utility>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
}

DecodeAlone::DecodeAlone(QList<QByteArray> frames)
    : m_frames(std::move(frames))
{}

int DecodeAlone::decodeOnce(Threads threads, QString *error) const
{
    const AVCodec *codec = avcodec_find_decoder(AV_CODEC_ID_H264);
    if (!codec) {
        *error = QStringLiteral("no H.264 decoder in libavcodec");
        return -1;
    }
    AvCodecContextPtr ctx = makeAvCodecContext(codec);
    AvPacketPtr pkt = makeAvPacket();
    AvFramePtr frame = makeAvFrame();
    if (!ctx || !pkt || !frame) {
        *error = QStringLiteral("out of memory");
        return -1;
    }
    switch (threads) {
    case Threads::Single:
        ctx->thread_count = 1;
        ctx->flags |= AV_CODEC_FLAG_LOW_DELAY;
        break;
    case Threads::FrameThreads:
        ctx->thread_count = 2;
        ctx->thread_type = FF_THREAD_FRAME;
        break;
    case Threads::SliceThreads:
        ctx->thread_count = 2;
        ctx->thread_type = FF_THREAD_SLICE;
        ctx->flags |= AV_CODEC_FLAG_LOW_DELAY;
        break;
    }
    if (const AvError opened = avcodec_open2(ctx.get(), codec, nullptr); opened.failed()) {
        *error = QString::fromStdString(avErrorText("avcodec_open2", opened));
        return -1;
    }
    int decoded = 0;
    auto drain = [&] {
        while (avcodec_receive_frame(ctx.get(), frame.get()) == 0) {
            ++decoded;
            av_frame_unref(frame.get());
        }
    };
    for (const QByteArray &data : m_frames) {
        pkt->data = reinterpret_cast<uint8_t *>(const_cast<char *>(data.constData()));
        pkt->size = int(data.size());
        if (avcodec_send_packet(ctx.get(), pkt.get()) == 0)
            drain();
    }
    // Frame threads hold pictures back; the end of the stream lets them out.
    if (avcodec_send_packet(ctx.get(), nullptr) == 0)
        drain();
    return decoded;
}

int DecodeAlone::decodeInterleavedOnce(int decoders, QString *error) const
{
    const AVCodec *codec = avcodec_find_decoder(AV_CODEC_ID_H264);
    if (!codec) {
        *error = QStringLiteral("no H.264 decoder in libavcodec");
        return -1;
    }
    std::vector<AvCodecContextPtr> contexts;
    for (int i = 0; i < decoders; ++i) {
        AvCodecContextPtr ctx = makeAvCodecContext(codec);
        if (!ctx) {
            *error = QStringLiteral("out of memory");
            return -1;
        }
        ctx->thread_count = 1;
        ctx->flags |= AV_CODEC_FLAG_LOW_DELAY;
        if (const AvError opened = avcodec_open2(ctx.get(), codec, nullptr); opened.failed()) {
            *error = QString::fromStdString(avErrorText("avcodec_open2", opened));
            return -1;
        }
        contexts.push_back(std::move(ctx));
    }
    AvPacketPtr pkt = makeAvPacket();
    AvFramePtr frame = makeAvFrame();
    if (!pkt || !frame) {
        *error = QStringLiteral("out of memory");
        return -1;
    }
    int decoded = 0;
    for (const QByteArray &data : m_frames) {
        for (AvCodecContextPtr &ctx : contexts) {
            pkt->data = reinterpret_cast<uint8_t *>(const_cast<char *>(data.constData()));
            pkt->size = int(data.size());
            if (avcodec_send_packet(ctx.get(), pkt.get()) != 0)
                continue;
            while (avcodec_receive_frame(ctx.get(), frame.get()) == 0) {
                ++decoded;
                av_frame_unref(frame.get());
            }
        }
    }
    return decoded;
}

template <class Pass>
std::optional<DecodeAlone::Figures> DecodeAlone::measurePasses(Pass pass, int minPasses,
                                                               int minWallMs, QString *error) const
{
    if (pass() <= 0) {
        if (error->isEmpty())
            *error = QStringLiteral("the bitstream decodes to no picture");
        return std::nullopt;
    }
    Figures f;
    qint64 decoded = 0;
    const double cpu0 = ProcessStats::cpuSeconds();
    QElapsedTimer wall;
    wall.start();
    while (f.passes < minPasses || wall.elapsed() < minWallMs) {
        const int n = pass();
        if (n < 0)
            return std::nullopt;
        decoded += n;
        ++f.passes;
    }
    const double wallMs = double(wall.nsecsElapsed()) / 1e6;
    const double cpuMs = (ProcessStats::cpuSeconds() - cpu0) * 1000.0;
    if (decoded == 0) {
        *error = QStringLiteral("the bitstream decodes to no picture");
        return std::nullopt;
    }
    f.cpuMsPerFrame = cpuMs / double(decoded);
    f.wallMsPerFrame = wallMs / double(decoded);
    return f;
}

std::optional<DecodeAlone::Figures> DecodeAlone::measure(Threads threads, int minPasses,
                                                         int minWallMs, QString *error) const
{
    return measurePasses([&] { return decodeOnce(threads, error); }, minPasses, minWallMs, error);
}

std::optional<DecodeAlone::Figures>
DecodeAlone::measureInterleaved(int decoders, int minPasses, int minWallMs, QString *error) const
{
    return measurePasses([&] { return decodeInterleavedOnce(decoders, error); }, minPasses,
                         minWallMs, error);
}
