#include "media/RtspReader.h"

#include "link/ChannelBufferItem.h"
#include "media/GstRtspReader.h"
#include "media/H26xDecoder.h"
#include "media/RecordFile.h"
#include "media/RtspDemuxer.h"

#include <QByteArray>
#include <QDebug>

#include <cstring>

extern "C" {
#include <libavcodec/codec_id.h>
}

RtspReader::RtspReader(Options options, Callbacks callbacks)
    : m_options(std::move(options))
    , m_callbacks(std::move(callbacks))
{}

RtspReader::~RtspReader() = default;

RtspReader::Kind RtspReader::preferredKind()
{
    static const Kind kind = [] {
        const QByteArray named = qgetenv("ORVANE_RTSP_READER").trimmed().toLower();
        if (named == "ffmpeg")
            return Kind::FFmpeg;
        QString why;
        if (GstRtspReader::usable(&why))
            return Kind::GStreamer;
        qWarning().noquote()
            << QStringLiteral("RTSP through FFmpeg's demuxer (one frame later): %1").arg(why);
        return Kind::FFmpeg;
    }();
    return kind;
}

std::shared_ptr<RtspReader> RtspReader::create(Options options, Callbacks callbacks)
{
    // Only GStreamer's reader replays.
    const Kind kind = options.replay.on ? Kind::GStreamer : preferredKind();
    return create(kind, std::move(options), std::move(callbacks));
}

std::shared_ptr<RtspReader> RtspReader::create(Kind kind, Options options, Callbacks callbacks)
{
    if (kind == Kind::GStreamer && GstRtspReader::usable(nullptr))
        return std::make_shared<GstRtspReader>(std::move(options), std::move(callbacks));
    return std::make_shared<RtspDemuxer>(std::move(options), std::move(callbacks));
}

ChannelBufferItem *RtspReader::makeItem(int codecId, const uint8_t *data, int size, bool key,
                                        const QByteArray &parameterSets, uint32_t seconds,
                                        uint32_t senderMs, uint32_t frameNumber)
{
    const uint16_t frameCodec = codecId == AV_CODEC_ID_H264   ? H26xDecoder::FrameCodecH264
                                : codecId == AV_CODEC_ID_HEVC ? H26xDecoder::FrameCodecH265
                                                              : 0;
    if (frameCodec == 0 || !data || size <= 0)
        return nullptr;
    const bool prepend =
        key && !parameterSets.isEmpty() && RecordFile::parameterSets(codecId, data, size).isEmpty();
    const qint64 total = qint64(size) + (prepend ? parameterSets.size() : 0);
    if (total > ChannelBufferItem::VideoCapacity)
        return nullptr;
    auto *item = new ChannelBufferItem(FrameBufferPool::video());
    if (!item->data || total > item->capacity) {
        delete item;
        return nullptr;
    }
    uint8_t *out = item->data;
    if (prepend) {
        std::memcpy(out, parameterSets.constData(), size_t(parameterSets.size()));
        out += parameterSets.size();
    }
    std::memcpy(out, data, size_t(size));
    item->size = int32_t(total);
    item->setFrame(frameCodec, key, seconds, senderMs);
    item->frameNumber = frameNumber;
    return item;
}

ChannelBufferItem *RtspReader::makeAudioItem(const uint8_t *alaw, uint32_t seconds,
                                             uint32_t senderMs, uint32_t frameNumber)
{
    static_assert(AudioFrameBytes <= ChannelBufferItem::AudioCapacity, "frame fits");
    auto *item = new ChannelBufferItem(FrameBufferPool::audio());
    if (!alaw || !item->data || item->capacity < AudioFrameBytes) {
        delete item;
        return nullptr;
    }
    std::memcpy(item->data, alaw, size_t(AudioFrameBytes));
    item->size = AudioFrameBytes;
    item->audioLength = AudioFrameBytes;
    item->setFrame(AlawCodecId, false, seconds, senderMs);
    item->frameNumber = frameNumber;
    return item;
}
