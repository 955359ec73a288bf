#pragma once

// What the video decoding tests share: frame records as the link hands them
// over, pictures coded by devsim's encoder, and one Video with a channel of
// one device whose decode outcomes are recorded.

#include "FakeSdk.h"
#include "VideoEncoder.h"

#include "link/ChannelBufferItem.h"
#include "media/Video.h"
#include "model/Channel.h"
#include "model/Device.h"

#include <QCoreApplication>
#include <QSize>
#include <QThreadPool>

#include <cstring>
#include <memory>

inline ChannelBufferItem *makeItem(const QByteArray &data, uint16_t codec, uint8_t flags,
                                   uint32_t ts = 0, FrameBufferPool *pool = nullptr)
{
    auto *item = pool ? new ChannelBufferItem(*pool) : new ChannelBufferItem;
    if (!pool) {
        item->capacity = int(qMax<qsizetype>(data.size(), 1));
        item->data = new uint8_t[size_t(item->capacity)];
    }
    std::memcpy(item->data, data.constData(), size_t(data.size()));
    item->size = int(data.size());
    const QByteArray info = frameInfo(codec, flags, ts);
    item->setFrameInfo(reinterpret_cast<const uint8_t *>(info.constData()));
    return item;
}

// Records the codes of the decode steps as they reach the GUI thread.
class CodeRecorder : public QObject
{
public:
    explicit CodeRecorder(Video *video)
    {
        connect(video, &Video::decodeOutcome, this,
                [this](Channel *, bool, int code, int width, int height) {
                    codes.append(code);
                    sizes.append(QSize(width, height));
                });
    }
    QList<int> codes;
    QList<QSize> sizes;
};

using devsim::VideoCodec;

struct EncodedFrame
{
    QByteArray data;
    bool key = false;
};

// `count` pictures of one colour (y, u, v) coded by devsim's encoder: one access unit per
// picture, in decode order; empty when the encoder is not available.
inline QList<EncodedFrame> encodeSolid(VideoCodec codec, int width, int height, int count,
                                       uint8_t y, uint8_t u, uint8_t v)
{
    QList<EncodedFrame> out;
    QString error;
    const auto encoder = devsim::VideoEncoder::create(codec, width, height, 25, 25, &error);
    const uint8_t values[3] = {y, u, v};
    for (int i = 0; encoder && i < count; ++i) {
        devsim::TestPattern::Picture p = encoder->picture();
        for (int plane = 0; plane < 3; ++plane)
            for (int row = 0; row < (plane ? height / 2 : height); ++row)
                std::memset(p.planes[plane] + row * p.strides[plane], values[plane],
                            size_t(plane ? width / 2 : width));
        devsim::VideoEncoder::Packet packet;
        if (!encoder->encode(false, packet, &error))
            break;
        if (!packet.data.isEmpty())
            out.append({packet.data, packet.key});
    }
    return out;
}

// A Video and the main stream of one channel, set up for each test function
// (init) and taken down after it (cleanup).
class VideoDecodeFixture
{
protected:
    void setUpChannel()
    {
        m_video = std::make_unique<Video>();
        m_recorder = std::make_unique<CodeRecorder>(m_video.get());
        m_device = std::make_unique<Device>();
        m_device->setChannelCount(1);
        m_channel = m_device->channel(0);
        m_channel->setVideoOn(true, true);
        m_channel->setVideoOn(true, false);
    }
    void tearDownChannel()
    {
        QThreadPool::globalInstance()->waitForDone();
        QCoreApplication::processEvents();
        m_video->releaseChannel(m_channel);
        m_device.reset();
        m_video.reset();
    }

    std::unique_ptr<Video> m_video;
    std::unique_ptr<CodeRecorder> m_recorder;
    std::unique_ptr<Device> m_device;
    Channel *m_channel = nullptr;
};
