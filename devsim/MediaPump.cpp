#include "MediaPump.h"

#include "IoCtrlType.h"
#include "PlaybackPicture.h"
#include "SimDevice.h"
#include "StatusOutput.h"

#include <QDateTime>

#include <algorithm>
#include <chrono>
#include <vector>

namespace devsim {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kAudioPeriod = std::chrono::milliseconds(40);
constexpr auto kTalkReportPeriod = std::chrono::milliseconds(500);
constexpr auto kFramesReportPeriod = std::chrono::seconds(1);
constexpr int kCorruptEvery = 50; // frames between corrupt frames (--corrupt-frame)

std::uint8_t clampCount(int n)
{
    return static_cast<std::uint8_t>(n < 0 ? 0 : (n > 255 ? 255 : n));
}

// Garbage that parses as the start of a slice of the stream's codec and then makes no sense.
QByteArray corruptFrame(VideoCodec codec, std::int64_t salt)
{
    QByteArray bytes("\x00\x00\x00\x01", 4);
    if (codec == VideoCodec::H264)
        bytes.append('\x41');
    else
        bytes.append("\x02\x01", 2);
    std::uint32_t x = static_cast<std::uint32_t>(salt) * 2654435761u + 1;
    for (int i = 0; i < 200; ++i) {
        x = x * 1664525u + 1013904223u;
        bytes.append(static_cast<char>(1 + (x >> 24) % 255)); // never 0: no start codes
    }
    return bytes;
}

} // namespace

MediaPump::MediaPump(SimDevice &device, const DeviceConfig &config)
    : m_device(device)
    , m_config(config)
{}

MediaPump::~MediaPump()
{
    stop();
}

void MediaPump::start()
{
    m_stop = false;
    m_thread = std::thread([this] { run(); });
}

void MediaPump::stop()
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_stop = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
    m_streams.clear();
    m_playbackStreams.clear();
}

std::uint32_t MediaPump::sendTimeMs()
{
    return static_cast<std::uint32_t>(QDateTime::currentMSecsSinceEpoch() & 0xFFFFFFFFLL);
}

p2p::FrameInfo MediaPump::videoInfo(VideoCodec codec, bool key, int channel, int online)
{
    p2p::FrameInfo info;
    info.codecId = codec == VideoCodec::H264 ? CodecId::H264 : CodecId::H265;
    info.flags = key ? p2p::FrameInfo::kFlagKeyFrame : 0;
    info.camIndex = clampCount(channel);
    info.onlineNum = clampCount(online);
    info.reserved2 = sendTimeMs();
    info.timestamp = static_cast<std::uint32_t>(QDateTime::currentSecsSinceEpoch());
    return info;
}

p2p::FrameInfo MediaPump::audioInfo(int channel, int online)
{
    p2p::FrameInfo info;
    info.codecId = CodecId::G711ALaw;
    info.flags = 2; // 8 kHz, 16 bit, mono
    info.camIndex = clampCount(channel);
    info.onlineNum = clampCount(online);
    info.reserved2 = sendTimeMs();
    info.timestamp = static_cast<std::uint32_t>(QDateTime::currentSecsSinceEpoch());
    return info;
}

void MediaPump::run()
{
    const auto videoPeriod = std::chrono::microseconds(1000000 / m_config.fps);
    auto nextVideo = Clock::now();
    auto nextAudio = nextVideo;
    auto nextTalkReport = nextVideo;
    auto nextFramesReport = nextVideo + kFramesReportPeriod;
    std::unique_lock<std::mutex> lock(m_lock);
    while (!m_stop) {
        const auto wakeAt = std::min({nextVideo, nextAudio, nextTalkReport, nextFramesReport});
        if (m_wake.wait_until(lock, wakeAt, [this] { return m_stop; }))
            break;
        lock.unlock();
        const auto now = Clock::now();
        if (now >= nextVideo) {
            m_device.ptzTick();
            videoTick();
            playbackTick();
            nextVideo += videoPeriod;
            if (Clock::now() > nextVideo + videoPeriod)
                nextVideo = Clock::now(); // fell behind: skip, never burst
        }
        if (now >= nextAudio) {
            audioTick();
            nextAudio += kAudioPeriod;
            if (Clock::now() > nextAudio + kAudioPeriod)
                nextAudio = Clock::now();
        }
        if (now >= nextTalkReport) {
            m_device.reportTalkProgress();
            nextTalkReport = now + kTalkReportPeriod;
        }
        if (now >= nextFramesReport) {
            reportFrames();
            nextFramesReport = now + kFramesReportPeriod;
        }
        lock.lock();
    }
}

MediaPump::Stream &MediaPump::stream(const StreamKey &key)
{
    Stream &s = m_streams[key];
    if (!s.encoder && !s.failed) {
        const QSize size = key.second ? m_config.hd : m_config.sd;
        QString error;
        s.encoder = VideoEncoder::create(m_config.codec, size.width(), size.height(), m_config.fps,
                                         m_config.fps * m_config.gopSec, &error);
        if (!s.encoder) {
            s.failed = true;
            StatusOutput::line(
                QStringLiteral("ERROR %1 video encoder: %2").arg(m_config.uid, error));
        }
    }
    return s;
}

int MediaPump::encodedChannel(int channel) const
{
    return m_config.sharedStream ? 0 : channel;
}

void MediaPump::videoTick()
{
    std::map<StreamKey, std::vector<SimDevice::Viewer>> watched;
    for (const SimDevice::Viewer &v : m_device.viewers()) {
        if (v.videoChannel >= 0)
            watched[{encodedChannel(v.videoChannel), v.hd}].push_back(v);
    }
    // Streams the RTSP server takes are encoded too, with nobody watching over P2P.
    const std::vector<StreamTaps::Want> tapped = m_device.taps().wanted();
    std::map<StreamKey, bool> tapNeedsKey;
    for (const StreamTaps::Want &w : tapped) {
        const StreamKey key{encodedChannel(w.channel), w.hd};
        watched[key];
        tapNeedsKey[key] = tapNeedsKey[key] || w.needKey;
    }
    for (auto it = m_streams.begin(); it != m_streams.end();) {
        if (watched.count(it->first) == 0)
            it = m_streams.erase(it);
        else
            ++it;
    }
    const int online = m_device.sessionCount();
    const std::string clock =
        QDateTime::currentDateTime().toString(QStringLiteral("hh:mm:ss.zzz")).toStdString();
    for (const auto &[key, viewers] : watched) {
        Stream &s = stream(key);
        if (!s.encoder)
            continue;
        const auto tapKey = tapNeedsKey.find(key);
        bool forceKey = tapKey != tapNeedsKey.end() && tapKey->second;
        for (const SimDevice::Viewer &v : viewers)
            forceKey = forceKey || v.needKey;
        TestPattern::Picture picture = s.encoder->picture();
        if (PtzCamera *camera = m_device.ptz(key.first))
            camera->render(picture, key.first, clock);
        else
            TestPattern::render(picture, m_config.pattern, key.first, key.second, s.frameIndex,
                                clock);
        ++s.frameIndex;
        VideoEncoder::Packet packet;
        QString error;
        if (!s.encoder->encode(forceKey, packet, &error)) {
            StatusOutput::line(QStringLiteral("ERROR %1 %2").arg(m_config.uid, error));
            s.encoder.reset();
            s.failed = true;
            continue;
        }
        if (packet.data.isEmpty())
            continue;
        p2p::FrameInfo info = videoInfo(m_config.codec, packet.key, key.first, online);
        const auto *data = reinterpret_cast<const std::uint8_t *>(packet.data.constData());
        for (const SimDevice::Viewer &v : viewers) {
            if (v.needKey && !packet.key)
                continue;
            info.camIndex = clampCount(v.videoChannel); // the viewer's, also on a shared stream
            const p2p::SendResult r = m_device.server().sendVideoFrame(
                v.key.first, v.key.second, data, static_cast<std::size_t>(packet.data.size()),
                info);
            countVideo(v.key.first, v.key.second, static_cast<std::size_t>(packet.data.size()), r);
            if (v.needKey && r == p2p::SendResult::Queued)
                m_device.keyFrameSent(v);
        }
        for (const StreamTaps::Want &w : tapped) {
            if (StreamKey{encodedChannel(w.channel), w.hd} == key)
                m_device.taps().deliver(w.channel, w.hd, packet.data, packet.key);
        }
        if (m_config.corruptFrame && s.frameIndex % kCorruptEvery == kCorruptEvery / 2) {
            const QByteArray junk = corruptFrame(m_config.codec, s.frameIndex);
            p2p::FrameInfo junkInfo = videoInfo(m_config.codec, false, key.first, online);
            for (const SimDevice::Viewer &v : viewers) {
                if (!v.needKey) {
                    junkInfo.camIndex = clampCount(v.videoChannel);
                    const p2p::SendResult r = m_device.server().sendVideoFrame(
                        v.key.first, v.key.second,
                        reinterpret_cast<const std::uint8_t *>(junk.constData()),
                        static_cast<std::size_t>(junk.size()), junkInfo);
                    countVideo(v.key.first, v.key.second, static_cast<std::size_t>(junk.size()), r);
                }
            }
            StatusOutput::line(QStringLiteral("CORRUPT %1 %2").arg(m_config.uid).arg(key.first));
        }
    }
}

void MediaPump::playbackTick()
{
    const std::vector<PlaybackControl::Frame> frames = m_device.playbackTick();
    const FrameGrid grid{m_config.fps, m_config.fps * m_config.gopSec};
    std::map<std::pair<int, int>, Stream> kept;
    const int online = m_device.sessionCount();
    for (const PlaybackControl::Frame &f : frames) {
        const std::pair<int, int> key{f.session, f.channel};
        auto found = m_playbackStreams.find(key);
        Stream &s = kept[key];
        if (found != m_playbackStreams.end())
            s = std::move(found->second);
        if (!s.encoder && !s.failed) {
            QString error;
            s.encoder =
                VideoEncoder::create(m_config.codec, m_config.sd.width(), m_config.sd.height(),
                                     m_config.fps, m_config.fps * m_config.gopSec, &error);
            s.failed = !s.encoder;
            if (!s.encoder)
                StatusOutput::line(
                    QStringLiteral("ERROR %1 playback encoder: %2").arg(m_config.uid, error));
        }
        if (!s.encoder)
            continue;
        // The recording's own time, burned in and in the frame record.
        TestPattern::Picture picture = s.encoder->picture();
        PlaybackPicture::render(picture, m_config, grid, f.channel, f.positionMs);
        ++s.frameIndex;
        VideoEncoder::Packet packet;
        QString error;
        if (!s.encoder->encode(f.key, packet, &error) || packet.data.isEmpty())
            continue;
        p2p::FrameInfo info = videoInfo(m_config.codec, packet.key, f.channel, online);
        PlaybackPicture::stamp(info, f.positionMs);
        if (f.stepTarget)
            info.flags |= PlaybackPicture::FlagStepTarget;
        const p2p::SendResult r = m_device.server().sendVideoFrame(
            f.session, f.avChannel, reinterpret_cast<const std::uint8_t *>(packet.data.constData()),
            static_cast<std::size_t>(packet.data.size()), info);
        countVideo(f.session, f.avChannel, static_cast<std::size_t>(packet.data.size()), r);
    }
    // Encoders of playbacks that paused, ended or stopped go; a resumed one starts afresh
    // with a key frame anyway.
    m_playbackStreams.swap(kept);
}

void MediaPump::audioTick()
{
    std::map<int, std::vector<SimDevice::AvKey>> listeners;
    for (const SimDevice::Viewer &v : m_device.viewers()) {
        if (v.audioChannel >= 0)
            listeners[v.audioChannel].push_back(v.key);
    }
    if (listeners.empty())
        return;
    const int online = m_device.sessionCount();
    for (const auto &[channel, keys] : listeners) {
        auto tone = m_tones.find(channel);
        if (tone == m_tones.end())
            tone = m_tones.emplace(channel, ToneSource(channel)).first;
        const QByteArray frame = tone->second.nextFrame();
        const p2p::FrameInfo info = audioInfo(channel, online);
        for (const SimDevice::AvKey &k : keys) {
            const p2p::SendResult r = m_device.server().sendAudioFrame(
                k.first, k.second, reinterpret_cast<const std::uint8_t *>(frame.constData()),
                static_cast<std::size_t>(frame.size()), info);
            if (m_config.printFrames && r == p2p::SendResult::Queued)
                ++m_sent[k].audioFrames;
        }
    }
}

void MediaPump::countVideo(int session, int avChannel, std::size_t bytes, p2p::SendResult result)
{
    if (!m_config.printFrames || result != p2p::SendResult::Queued)
        return;
    SentCount &c = m_sent[{session, avChannel}];
    ++c.videoFrames;
    c.videoBytes += static_cast<std::int64_t>(bytes);
}

void MediaPump::reportFrames()
{
    if (!m_config.printFrames)
        return;
    // Counts of AV channels that closed meanwhile go; one opened again starts from 0.
    const std::vector<SimDevice::AvKey> open = m_device.openChannels();
    for (auto it = m_sent.begin(); it != m_sent.end();) {
        if (std::find(open.begin(), open.end(), it->first) == open.end()) {
            it = m_sent.erase(it);
            continue;
        }
        StatusOutput::line(QStringLiteral("FRAMES %1 %2/%3 %4 %5 %6")
                               .arg(m_config.uid)
                               .arg(it->first.first)
                               .arg(it->first.second)
                               .arg(it->second.videoFrames)
                               .arg(it->second.videoBytes)
                               .arg(it->second.audioFrames));
        ++it;
    }
}

} // namespace devsim
