#pragma once

#include "DeviceConfig.h"
#include "FrameGrid.h"
#include "RecordStore.h"

#include <p2p/FrameInfo.h>

#include <QList>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

namespace p2p {
class DeviceServer;
}

namespace devsim {

// One export of a channel's recordings (IOCTRL_EXPORT_START): once the client opened the
// export AV channel, every picture of the recorded spans in [from, to) on the recordings'
// FrameGrid, each span starting with a key frame flagged "span start", and the channel's
// A-law tone (40 ms frames) in time order, all stamped with the recording time. It sends as
// fast as the session's send queue takes the frames and waits for room rather than drop one.
// The pictures are drawn and encoded on the job's own thread.
//
// Threads: construct, cancel and destroy from any thread (the destructor cancels and joins;
// never from the finish function). channelOpened() from any thread. The finish function runs
// once, on the job's thread, as its last act (isFinished() is already true then).
class ExportJob
{
public:
    static constexpr int AvBase = 128;          // export AV channel = AvBase + device channel
    static constexpr int OpenTimeoutMs = 30000; // the client must open the AV channel by then
    static constexpr int AudioFrameMs = 40;
    // Flow control: frames (video and audio) sent and not yet acknowledged
    // (IOCTRL_EXPORT_ACK), at most; below the client's queues (64 video,
    // 128 audio frames), so that a slow reader loses nothing. Until the
    // first acknowledgement the job sends at most PacedSpeed times real time.
    static constexpr std::uint32_t Window = 48;
    static constexpr int PacedSpeed = 8;
    static constexpr int AckTimeoutMs = 10000; // no acknowledgement for this long: failed

    enum class Result : std::uint32_t { Complete = 0, Cancelled = 1, Failed = 2 };
    struct Request
    {
        int session = 0;
        int controlAv = 0; // where the request came from and END goes
        int channel = 0;
        qint64 fromMs = 0;
        qint64 toMs = 0;
        std::uint32_t id = 0;
    };
    struct Counts
    {
        std::uint32_t video = 0;
        std::uint32_t audio = 0;
    };
    // One recorded span to send, within its recording (whose start anchors the grid).
    struct Span
    {
        qint64 recordingStartMs = 0;
        qint64 fromMs = 0;
        qint64 toMs = 0;
    };
    using Finish = std::function<void(const Request &, Result, Counts)>;

    // The spans of the recordings within [request.fromMs, request.toMs).
    static QList<Span> spansOf(const RecordStore &store, qint64 fromMs, qint64 toMs);

    ExportJob(p2p::DeviceServer &server, const DeviceConfig &config, FrameGrid grid,
              QList<Span> spans, Request request, Finish finish);
    ~ExportJob();

    ExportJob(const ExportJob &) = delete;
    ExportJob &operator=(const ExportJob &) = delete;

    const Request &request() const { return m_request; }
    void channelOpened();
    // The client received this many frames of the export (video and audio).
    void acknowledge(std::uint32_t received);
    void cancel();
    bool isFinished() const { return m_finished.load(); }

private:
    enum class Sent { Ok, Cancelled, Failed };

    void run();
    Result sendAll(Counts &counts);
    Sent send(bool video, const QByteArray &data, const p2p::FrameInfo &info);
    // Waits until the flow control lets the next frame go (recordingMs: its
    // moment, for the pace before the first acknowledgement).
    Sent waitForCredit(qint64 recordingMs);
    bool cancelled();

    p2p::DeviceServer &m_server;
    const DeviceConfig m_config;
    const FrameGrid m_grid;
    const QList<Span> m_spans;
    const Request m_request;
    const Finish m_finish;

    std::mutex m_lock; // guards m_opened, m_cancelled, m_acked, m_ackSeen
    std::uint32_t m_acked = 0;
    bool m_ackSeen = false;
    std::uint32_t m_sent = 0; // the job's thread only
    qint64 m_firstMs = -1;    // the job's thread only: recording moment of the first frame
    qint64 m_startedWall = 0; // the job's thread only: steady ms when it was sent
    std::condition_variable m_wake;
    bool m_opened = false;
    bool m_cancelled = false;
    std::atomic<bool> m_finished{false};
    std::thread m_thread;
};

} // namespace devsim
