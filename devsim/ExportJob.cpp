#include "ExportJob.h"

#include "MediaPump.h"
#include "PlaybackPicture.h"
#include "ToneSource.h"
#include "VideoEncoder.h"

#include <p2p/DeviceServer.h>

#include <algorithm>
#include <chrono>

namespace devsim {

namespace {

// How long a full send queue is left to drain before the next try.
constexpr auto kRoomWait = std::chrono::milliseconds(2);

} // namespace

QList<ExportJob::Span> ExportJob::spansOf(const RecordStore &store, qint64 fromMs, qint64 toMs)
{
    QList<Span> spans;
    if (toMs <= fromMs)
        return spans;
    for (const RecordStore::Recording &r : store.overlapping(fromMs / 1000, (toMs - 1) / 1000)) {
        const qint64 from = std::max(fromMs, r.start * 1000);
        const qint64 to = std::min(toMs, r.end() * 1000);
        if (to > from)
            spans.append({r.start * 1000, from, to});
    }
    return spans;
}

ExportJob::ExportJob(p2p::DeviceServer &server, const DeviceConfig &config, FrameGrid grid,
                     QList<Span> spans, Request request, Finish finish)
    : m_server(server)
    , m_config(config)
    , m_grid(grid)
    , m_spans(std::move(spans))
    , m_request(request)
    , m_finish(std::move(finish))
{
    m_thread = std::thread([this] { run(); });
}

ExportJob::~ExportJob()
{
    cancel();
    if (m_thread.joinable())
        m_thread.join();
}

void ExportJob::channelOpened()
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_opened = true;
    }
    m_wake.notify_all();
}

void ExportJob::acknowledge(std::uint32_t received)
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_acked = std::max(m_acked, received);
        m_ackSeen = true;
    }
    m_wake.notify_all();
}

ExportJob::Sent ExportJob::waitForCredit(qint64 recordingMs)
{
    using Clock = std::chrono::steady_clock;
    const auto nowMs = [] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   Clock::now().time_since_epoch())
            .count();
    };
    if (m_firstMs < 0) {
        m_firstMs = recordingMs;
        m_startedWall = nowMs();
    }
    std::unique_lock<std::mutex> lock(m_lock);
    if (!m_ackSeen) {
        // No acknowledgement yet: a pace the client keeps up with.
        const qint64 due = m_startedWall + (recordingMs - m_firstMs) / PacedSpeed;
        const qint64 wait = due - nowMs();
        if (wait > 0 &&
            m_wake.wait_for(lock, std::chrono::milliseconds(wait),
                            [this] { return m_cancelled || m_ackSeen; }) &&
            m_cancelled)
            return Sent::Cancelled;
        if (!m_ackSeen)
            return Sent::Ok;
    }
    const bool open = m_wake.wait_for(lock, std::chrono::milliseconds(AckTimeoutMs),
                                      [this] { return m_cancelled || m_sent - m_acked < Window; });
    if (m_cancelled)
        return Sent::Cancelled;
    return open ? Sent::Ok : Sent::Failed;
}

void ExportJob::cancel()
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_cancelled = true;
    }
    m_wake.notify_all();
}

bool ExportJob::cancelled()
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_cancelled;
}

void ExportJob::run()
{
    Counts counts;
    Result result = Result::Cancelled;
    bool opened = false;
    {
        std::unique_lock<std::mutex> lock(m_lock);
        opened = m_wake.wait_for(lock, std::chrono::milliseconds(OpenTimeoutMs), [this] {
            return m_opened || m_cancelled;
        }) && !m_cancelled;
        if (!opened && !m_cancelled)
            result = Result::Failed; // the client never opened the channel
    }
    if (opened)
        result = sendAll(counts);
    // Finished first: a client that starts the next export as soon as END arrives is not busy.
    m_finished = true;
    m_finish(m_request, result, counts);
}

ExportJob::Result ExportJob::sendAll(Counts &counts)
{
    QString error;
    std::unique_ptr<VideoEncoder> encoder =
        VideoEncoder::create(m_config.codec, m_config.sd.width(), m_config.sd.height(),
                             m_config.fps, m_grid.gopFrames, &error);
    if (!encoder)
        return Result::Failed;
    ToneSource tone(m_request.channel);
    const auto outcome = [](Sent s) {
        return s == Sent::Cancelled ? Result::Cancelled : Result::Failed;
    };
    for (const Span &span : m_spans) {
        qint64 k = m_grid.indexAt(span.recordingStartMs, span.fromMs);
        if (m_grid.frameMs(span.recordingStartMs, k) < span.fromMs)
            ++k;
        qint64 audioMs = span.fromMs;
        bool first = true;
        for (qint64 t; (t = m_grid.frameMs(span.recordingStartMs, k)) < span.toMs; ++k) {
            if (cancelled())
                return Result::Cancelled;
            // The sound up to this picture first, so the two arrive in time order.
            for (; audioMs <= t; audioMs += AudioFrameMs) {
                p2p::FrameInfo info = MediaPump::audioInfo(m_request.channel, 0);
                PlaybackPicture::stamp(info, audioMs);
                if (const Sent s = send(false, tone.nextFrame(), info); s != Sent::Ok)
                    return outcome(s);
                ++counts.audio;
            }
            TestPattern::Picture picture = encoder->picture();
            PlaybackPicture::render(picture, m_config, m_grid, m_request.channel, t);
            VideoEncoder::Packet packet;
            if (!encoder->encode(first, packet, &error))
                return Result::Failed;
            if (packet.data.isEmpty())
                continue;
            p2p::FrameInfo info =
                MediaPump::videoInfo(m_config.codec, packet.key, m_request.channel, 0);
            PlaybackPicture::stamp(info, t);
            if (first)
                info.flags |= PlaybackPicture::FlagSpanStart;
            first = false;
            if (const Sent s = send(true, packet.data, info); s != Sent::Ok)
                return outcome(s);
            ++counts.video;
        }
        for (; audioMs < span.toMs; audioMs += AudioFrameMs) {
            p2p::FrameInfo info = MediaPump::audioInfo(m_request.channel, 0);
            PlaybackPicture::stamp(info, audioMs);
            if (const Sent s = send(false, tone.nextFrame(), info); s != Sent::Ok)
                return outcome(s);
            ++counts.audio;
        }
    }
    return Result::Complete;
}

ExportJob::Sent ExportJob::send(bool video, const QByteArray &data, const p2p::FrameInfo &info)
{
    const int msField = info.reserved1[0] | info.reserved1[1] << 8;
    const qint64 ms = qint64(info.timestamp) * 1000 + std::max(0, msField - 1);
    if (const Sent s = waitForCredit(ms); s != Sent::Ok)
        return s;
    ++m_sent;
    const int av = AvBase + m_request.channel;
    const auto *bytes = reinterpret_cast<const std::uint8_t *>(data.constData());
    const auto size = static_cast<std::size_t>(data.size());
    while (true) {
        const p2p::SendResult r =
            video ? m_server.trySendVideoFrame(m_request.session, av, bytes, size, info)
                  : m_server.trySendAudioFrame(m_request.session, av, bytes, size, info);
        if (r == p2p::SendResult::Queued)
            return Sent::Ok;
        if (r == p2p::SendResult::NoChannel)
            return Sent::Cancelled; // the channel or the session closed
        if (r == p2p::SendResult::Dropped)
            return Sent::Failed;
        std::unique_lock<std::mutex> lock(m_lock);
        if (m_wake.wait_for(lock, kRoomWait, [this] { return m_cancelled; }))
            return Sent::Cancelled;
    }
}

} // namespace devsim
