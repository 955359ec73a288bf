#pragma once

#include "DeviceConfig.h"
#include "ToneSource.h"
#include "VideoEncoder.h"

#include <p2p/DeviceServer.h>
#include <p2p/FrameInfo.h>

#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

namespace devsim {

class SimDevice;

// The media thread of one device. At the configured frame rate it encodes one picture for
// every (channel, quality) stream that some client watches, once however many watch it, and
// sends it to each of them; every 40 ms it sends an A-law tone frame to each listener.
// Encoders exist only while their stream is watched. With a shared stream every channel
// sends channel 1's pictures (one encoder per quality for the whole device), each frame
// still carrying the receiving channel's camera index. Streams tapped by the RTSP server
// (StreamTaps) are encoded the same way and handed to their taps.
class MediaPump
{
public:
    MediaPump(SimDevice &device, const DeviceConfig &config);
    ~MediaPump();

    MediaPump(const MediaPump &) = delete;
    MediaPump &operator=(const MediaPump &) = delete;

    void start(); // main thread
    void stop();  // main thread; joins

    // Milliseconds of the system clock, wrapped to 32 bits: the send time in frame information.
    static std::uint32_t sendTimeMs();
    // Frame information for a video or audio frame sent now.
    static p2p::FrameInfo videoInfo(VideoCodec codec, bool key, int channel, int online);
    static p2p::FrameInfo audioInfo(int channel, int online);

private:
    using StreamKey = std::pair<int, bool>; // channel whose pictures are encoded, hd
    struct Stream
    {
        std::unique_ptr<VideoEncoder> encoder;
        std::int64_t frameIndex = 0;
        bool failed = false;
    };

    // Frames and bytes handed to an AV channel's send queue since it opened (--print-frames).
    struct SentCount
    {
        std::int64_t videoFrames = 0;
        std::int64_t videoBytes = 0;
        std::int64_t audioFrames = 0;
    };

    void run();
    void countVideo(int session, int avChannel, std::size_t bytes, p2p::SendResult result);
    void reportFrames();
    void videoTick();
    void playbackTick();
    void audioTick();
    Stream &stream(const StreamKey &key);
    int encodedChannel(int channel) const; // the channel whose pictures `channel` sends

    SimDevice &m_device;
    DeviceConfig m_config;
    std::map<StreamKey, Stream> m_streams;
    std::map<std::pair<int, int>, Stream> m_playbackStreams; // (session, channel)
    std::map<int, ToneSource> m_tones;
    std::map<std::pair<int, int>, SentCount> m_sent; // (session, AV channel); media thread

    std::thread m_thread;
    std::mutex m_lock;
    std::condition_variable m_wake;
    bool m_stop = false;
};

} // namespace devsim
