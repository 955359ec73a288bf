#pragma once

#include "ExportJob.h"

#include <QByteArray>
#include <QString>

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

namespace devsim {

// The exports of one device (IOCTRL_EXPORT_START / _STOP), at most one per channel per
// session; they do not count as the device's one playback. A job that finished is joined by
// the next call that looks at its place.
//
// Threads: any thread (its own lock); never from a job's finish function.
class ExportManager
{
public:
    enum StartResult : std::uint32_t { Ok = 0, Busy = 1, NothingRecorded = 2, BadRequest = 3 };
    static constexpr int StartSize = 24;
    static constexpr int StopSize = 8;

    struct Outcome
    {
        std::optional<QByteArray> reply; // IOCTRL_EXPORT_RESP payload; none for a refused one
        QString status;                  // "EXPORT ..." detail after the place
    };

    ExportManager(p2p::DeviceServer &server, const DeviceConfig &config, RecordStore store,
                  FrameGrid grid, ExportJob::Finish finish);
    ~ExportManager(); // cancels and joins every job

    ExportManager(const ExportManager &) = delete;
    ExportManager &operator=(const ExportManager &) = delete;

    Outcome start(int session, int controlAv, const QByteArray &payload);
    Outcome stop(int session, const QByteArray &payload);
    // IOCTRL_EXPORT_ACK: channel u32, request id u32, frames received u32.
    Outcome acknowledge(int session, const QByteArray &payload);
    static constexpr int AckSize = 12;
    void channelOpened(int session, int avChannel);
    void channelClosed(int session, int avChannel); // cancels that export
    void sessionClosed(int session);                // cancels the session's exports

private:
    using Key = std::pair<int, int>; // session, device channel
    void reapLocked();

    p2p::DeviceServer &m_server;
    const DeviceConfig m_config;
    const RecordStore m_store;
    const FrameGrid m_grid;
    const ExportJob::Finish m_finish;

    std::mutex m_lock;
    std::map<Key, std::unique_ptr<ExportJob>> m_jobs;
};

} // namespace devsim
