// The device's remote playback and export: their IO control messages, the
// pictures of each tick and the end of an export.

#include "SimDevice.h"

#include "IoCtrlType.h"
#include "StatusOutput.h"

namespace devsim {

bool SimDevice::handlePlayback(int session, int channel, std::uint32_t type,
                               const QByteArray &payload)
{
    PlaybackControl::Outcome outcome;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (type == IoCtrlType::RecordListReq)
            outcome = m_playback->recordList(payload);
        else if (type == IoCtrlType::PlaybackControl)
            outcome = m_playback->control(session, channel, payload);
        else if (type == IoCtrlType::PlaybackSeek)
            outcome = m_playback->seek(session, payload);
        else if (type == IoCtrlType::PlaybackCapsReq)
            outcome = m_playback->caps(payload);
        else if (type == IoCtrlType::PlaybackSpeed)
            outcome = m_playback->speed(session, payload);
        else if (type == IoCtrlType::PlaybackStep)
            outcome = m_playback->step(session, payload);
        else
            return false;
    }
    if (!outcome.status.isEmpty())
        StatusOutput::line(
            QStringLiteral("PLAYBACK %1 %2").arg(where(session, channel), outcome.status));
    for (const PlaybackControl::Reply &r : outcome.replies)
        sendReply(session, r.avChannel < 0 ? channel : r.avChannel, r.type, r.payload);
    return true;
}

bool SimDevice::handleMediaRequest(int session, int channel, std::uint32_t type,
                                   const QByteArray &payload)
{
    if (type == IoCtrlType::ThumbnailReq) {
        const QString refused = m_thumbnails ? m_thumbnails->request(session, channel, payload)
                                             : QStringLiteral("thumb - - busy");
        if (!refused.isEmpty())
            StatusOutput::line(
                QStringLiteral("PLAYBACK %1 %2").arg(where(session, channel), refused));
        return true;
    }
    if (type != IoCtrlType::ExportStart && type != IoCtrlType::ExportStop &&
        type != IoCtrlType::ExportAck)
        return false;
    if (!m_exports)
        return true;
    if (type == IoCtrlType::ExportAck) {
        const ExportManager::Outcome ack = m_exports->acknowledge(session, payload);
        if (!ack.status.isEmpty())
            StatusOutput::line(
                QStringLiteral("EXPORT %1 %2").arg(where(session, channel), ack.status));
        return true;
    }
    const ExportManager::Outcome o = type == IoCtrlType::ExportStart
                                         ? m_exports->start(session, channel, payload)
                                         : m_exports->stop(session, payload);
    StatusOutput::line(QStringLiteral("EXPORT %1 %2").arg(where(session, channel), o.status));
    if (o.reply)
        sendReply(session, channel, IoCtrlType::ExportResp, *o.reply);
    return true;
}

void SimDevice::exportFinished(const ExportJob::Request &r, ExportJob::Result result,
                               ExportJob::Counts counts)
{
    static const char *const names[] = {"end", "cancel", "failed"};
    StatusOutput::line(
        QStringLiteral("EXPORT %1 %2 %3 %4 %5 %6")
            .arg(where(r.session, r.controlAv), QLatin1String(names[static_cast<int>(result)]))
            .arg(r.channel)
            .arg(r.id)
            .arg(counts.video)
            .arg(counts.audio));
    sendReply(r.session, r.controlAv, IoCtrlType::ExportEnd,
              IoControl::u32(std::uint32_t(r.channel)) + IoControl::u32(r.id) +
                  IoControl::u32(static_cast<std::uint32_t>(result)) +
                  IoControl::u32(counts.video) + IoControl::u32(counts.audio));
}

std::vector<PlaybackControl::Frame> SimDevice::playbackTick()
{
    std::vector<std::pair<PlaybackControl::Frame, PlaybackControl::Reply>> ended;
    std::vector<PlaybackControl::Frame> frames;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        frames = m_playback->tick(&ended);
    }
    for (const auto &[frame, reply] : ended) {
        StatusOutput::line(QStringLiteral("PLAYBACK %1 end %2")
                               .arg(where(frame.session, reply.avChannel))
                               .arg(frame.channel));
        sendReply(frame.session, reply.avChannel, reply.type, reply.payload);
    }
    return frames;
}

} // namespace devsim
