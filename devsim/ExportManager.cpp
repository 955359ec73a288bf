#include "ExportManager.h"

#include "IoControl.h"
#include "PlaybackControl.h"

#include <p2p/DeviceServer.h>

#include <vector>

namespace devsim {

ExportManager::ExportManager(p2p::DeviceServer &server, const DeviceConfig &config,
                             RecordStore store, FrameGrid grid, ExportJob::Finish finish)
    : m_server(server)
    , m_config(config)
    , m_store(std::move(store))
    , m_grid(grid)
    , m_finish(std::move(finish))
{}

ExportManager::~ExportManager()
{
    std::map<Key, std::unique_ptr<ExportJob>> jobs;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        jobs.swap(m_jobs);
    }
    for (auto &entry : jobs)
        entry.second->cancel();
    jobs.clear(); // joins, outside the lock
}

void ExportManager::reapLocked()
{
    for (auto it = m_jobs.begin(); it != m_jobs.end();)
        it = it->second->isFinished() ? m_jobs.erase(it) : std::next(it);
}

ExportManager::Outcome ExportManager::start(int session, int controlAv, const QByteArray &payload)
{
    Outcome o;
    if (payload.size() < StartSize) {
        o.status = QStringLiteral("bad start");
        return o;
    }
    const std::uint32_t channel = IoControl::readU32(payload, 0).value_or(0);
    const std::uint32_t id = IoControl::readU32(payload, 20).value_or(0);
    const std::optional<qint64> from = PlaybackControl::readDeviceTime(payload, 4);
    const std::optional<qint64> to = PlaybackControl::readDeviceTime(payload, 12);
    StartResult result = Ok;
    QList<ExportJob::Span> spans;
    std::lock_guard<std::mutex> lock(m_lock);
    reapLocked();
    if (channel >= std::uint32_t(m_config.channels) || !from || !to || *from >= *to) {
        result = BadRequest;
    } else if (m_jobs.count({session, int(channel)})) {
        result = Busy;
    } else {
        spans = ExportJob::spansOf(m_store, *from * 1000, *to * 1000);
        if (spans.isEmpty())
            result = NothingRecorded;
    }
    const int av = ExportJob::AvBase + int(channel);
    o.reply = IoControl::u32(channel) + IoControl::u32(id) + IoControl::u32(result) +
              IoControl::u32(result == Ok ? std::uint32_t(av) : 0);
    static const char *const names[] = {"ok", "busy", "no-data", "bad"};
    o.status = QStringLiteral("start %1 %2 %3 %4 %5")
                   .arg(channel)
                   .arg(id)
                   .arg(from ? PlaybackControl::timeText(*from * 1000) : QStringLiteral("-"))
                   .arg(to ? PlaybackControl::timeText(*to * 1000) : QStringLiteral("-"))
                   .arg(QLatin1String(names[result]));
    if (result != Ok)
        return o;
    ExportJob::Request request{session, controlAv, int(channel), *from * 1000, *to * 1000, id};
    auto job = std::make_unique<ExportJob>(m_server, m_config, m_grid, spans, request, m_finish);
    if (m_server.isChannelOpen(session, av))
        job->channelOpened(); // still open from an earlier export
    m_jobs[{session, int(channel)}] = std::move(job);
    return o;
}

ExportManager::Outcome ExportManager::stop(int session, const QByteArray &payload)
{
    Outcome o;
    if (payload.size() < StopSize) {
        o.status = QStringLiteral("bad stop");
        return o;
    }
    const std::uint32_t channel = IoControl::readU32(payload, 0).value_or(0);
    const std::uint32_t id = IoControl::readU32(payload, 4).value_or(0);
    std::lock_guard<std::mutex> lock(m_lock);
    const auto it = m_jobs.find({session, int(channel)});
    const bool found = it != m_jobs.end() && it->second->request().id == id;
    if (found)
        it->second->cancel();
    o.status = QStringLiteral("stop %1 %2 %3")
                   .arg(channel)
                   .arg(id)
                   .arg(found ? QStringLiteral("ok") : QStringLiteral("none"));
    return o;
}

ExportManager::Outcome ExportManager::acknowledge(int session, const QByteArray &payload)
{
    Outcome o;
    if (payload.size() < AckSize) {
        o.status = QStringLiteral("bad ack");
        return o;
    }
    const std::uint32_t channel = IoControl::readU32(payload, 0).value_or(0);
    const std::uint32_t id = IoControl::readU32(payload, 4).value_or(0);
    const std::uint32_t received = IoControl::readU32(payload, 8).value_or(0);
    std::lock_guard<std::mutex> lock(m_lock);
    const auto it = m_jobs.find({session, int(channel)});
    if (it != m_jobs.end() && it->second->request().id == id)
        it->second->acknowledge(received);
    return o; // acknowledgements are too many for the status output
}

void ExportManager::channelOpened(int session, int avChannel)
{
    std::lock_guard<std::mutex> lock(m_lock);
    const auto it = m_jobs.find({session, avChannel - ExportJob::AvBase});
    if (it != m_jobs.end())
        it->second->channelOpened();
}

void ExportManager::channelClosed(int session, int avChannel)
{
    std::lock_guard<std::mutex> lock(m_lock);
    const auto it = m_jobs.find({session, avChannel - ExportJob::AvBase});
    if (it != m_jobs.end())
        it->second->cancel();
}

void ExportManager::sessionClosed(int session)
{
    std::lock_guard<std::mutex> lock(m_lock);
    for (auto &[key, job] : m_jobs)
        if (key.first == session)
            job->cancel();
    reapLocked();
}

} // namespace devsim
