#include "AvChannel.h"

#include <p2p/p2p.h>

#include <algorithm>
#include <cstring>

namespace p2p {

void AvChannel::close(int code)
{
    if (state != State::Closed) {
        state = State::Closed;
        closeCode = code;
    }
    clearVideo();
    clearAudio();
}

void AvChannel::clearVideo()
{
    video_.clear();
    videoBytes_ = 0;
}

void AvChannel::pushIoCtrl(const wire::IoCtrlView &msg)
{
    if (io_.size() >= kIoQueueMessages || ioBytes_ + msg.size > kIoQueueBytes)
        return; // the reader is not polling; keep memory bounded
    io_.push_back({msg.type, std::vector<std::uint8_t>(msg.data, msg.data + msg.size)});
    ioBytes_ += msg.size;
}

void AvChannel::pushVideo(std::vector<std::uint8_t> &&payload)
{
    Frame f;
    f.key = (payload[4 + 2] & FrameInfo::kFlagKeyFrame) != 0;
    f.payload = std::move(payload);
    const std::size_t size = f.payload.size();
    if (videoWaitKey_ && !f.key)
        return;
    const bool full = video_.size() >= kVideoQueueFrames || videoBytes_ + size > kVideoQueueBytes;
    if (full) {
        if (!f.key) {
            videoWaitKey_ = true;
            return;
        }
        // The reader fell behind: skip to this key frame.
        clearVideo();
    }
    videoWaitKey_ = false;
    videoBytes_ += size;
    video_.push_back(std::move(f));
}

void AvChannel::pushAudio(std::vector<std::uint8_t> &&payload)
{
    if (audio_.size() >= kAudioQueueFrames)
        audio_.pop_front(); // audio has no key frames: keep the newest
    Frame f;
    f.payload = std::move(payload);
    audio_.push_back(std::move(f));
}

std::optional<AvChannel::IoMsg> AvChannel::popIoCtrl()
{
    if (io_.empty())
        return std::nullopt;
    IoMsg msg = std::move(io_.front());
    io_.pop_front();
    ioBytes_ -= msg.data.size();
    return msg;
}

int AvChannel::popVideo(const FrameOut &out)
{
    return popFrame(video_, &videoBytes_, out);
}

int AvChannel::popAudio(const FrameOut &out)
{
    return popFrame(audio_, nullptr, out);
}

int AvChannel::popFrame(std::deque<Frame> &q, std::size_t *bytes, const FrameOut &out)
{
    if (q.empty())
        return AV_ER_DATA_NOREADY;
    Frame f = std::move(q.front());
    q.pop_front();
    if (bytes)
        *bytes -= f.payload.size();
    wire::FrameView v;
    wire::parseFrame(f.payload, v); // checked on arrival: the prefix is there
    if (out.expectedSize)
        *out.expectedSize = static_cast<int>(v.size);
    if (out.frameNumber)
        *out.frameNumber = v.frameNumber;
    if (v.size > static_cast<std::size_t>(out.bufSize)) {
        if (out.actualSize)
            *out.actualSize = 0;
        return AV_ER_BUFPARA_MAXSIZE_INSUFF;
    }
    if (v.size > 0)
        std::memcpy(out.buf, v.data, v.size);
    const int infoBytes = std::min<int>(out.infoSize, static_cast<int>(FrameInfo::kSize));
    if (out.info && infoBytes > 0)
        std::memcpy(out.info, v.infoBytes, static_cast<std::size_t>(infoBytes));
    if (out.actualInfoSize)
        *out.actualInfoSize = out.info ? std::max(infoBytes, 0) : 0;
    if (out.actualSize)
        *out.actualSize = static_cast<int>(v.size);
    return static_cast<int>(v.size);
}

} // namespace p2p
