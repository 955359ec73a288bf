#pragma once

#include "DeviceConfig.h"
#include "TestPattern.h"

#include "av/AvHandles.h"

#include <QByteArray>
#include <QString>

#include <memory>

namespace devsim {

// One H.264 or H.265 encoder (libx264 / libx265 through libavcodec), tuned for low cost
// and no delay: ultrafast, zero latency, no B-frames, one thread, in-band parameter sets.
// Owned and used by one thread at a time.
class VideoEncoder
{
public:
    struct Packet
    {
        QByteArray data;
        bool key = false;
    };

    // nullptr and *error on failure.
    static std::unique_ptr<VideoEncoder> create(VideoCodec codec, int width, int height, int fps,
                                                int gopFrames, QString *error);
    ~VideoEncoder();

    VideoEncoder(const VideoEncoder &) = delete;
    VideoEncoder &operator=(const VideoEncoder &) = delete;

    // The picture the next encode() takes; draw into it first.
    TestPattern::Picture picture();

    // Encodes the picture, as a key frame when forceKey. False with *error on failure;
    // true with out.data empty when the encoder held the frame back.
    bool encode(bool forceKey, Packet &out, QString *error);

    int width() const;
    int height() const;

private:
    VideoEncoder() = default;

    AvCodecContextPtr m_context;
    AvFramePtr m_frame;
    AvPacketPtr m_packet;
    long long m_pts = 0;
};

} // namespace devsim
