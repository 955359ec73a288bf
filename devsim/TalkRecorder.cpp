#include "TalkRecorder.h"

#include "ALaw.h"
#include "StatusOutput.h"

namespace devsim {

namespace {

QString where(const QString &uid, int session, int channel)
{
    return QStringLiteral("%1 %2/%3").arg(uid).arg(session).arg(channel);
}

} // namespace

TalkRecorder::TalkRecorder(const QString &uid, const QString &wavPath)
    : m_uid(uid)
    , m_wavPath(wavPath)
{}

void TalkRecorder::opened(int session, int channel, int result)
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (result == 0) {
            finishLocked();
            m_talk = {session, channel};
            m_bytes = 0;
            m_bytesReported = 0;
            m_wav.clear();
        }
    }
    StatusOutput::line(
        QStringLiteral("TALK_OPEN %1 %2").arg(where(m_uid, session, channel)).arg(result));
}

void TalkRecorder::audio(int session, int channel, const std::vector<std::uint8_t> &alaw)
{
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_talk != std::pair<int, int>{session, channel})
        return;
    m_bytes += alaw.size();
    if (!m_wavPath.isEmpty())
        m_wav.append(ALaw::decode(QByteArray(reinterpret_cast<const char *>(alaw.data()),
                                             static_cast<int>(alaw.size()))));
}

void TalkRecorder::closed(int session, int channel)
{
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_talk == std::pair<int, int>{session, channel})
        finishLocked();
}

void TalkRecorder::sessionClosed(int session)
{
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_talk.first == session)
        finishLocked();
}

void TalkRecorder::finish()
{
    std::lock_guard<std::mutex> lock(m_lock);
    finishLocked();
}

void TalkRecorder::reportProgress()
{
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_bytes == m_bytesReported)
        return;
    m_bytesReported = m_bytes;
    StatusOutput::line(QStringLiteral("TALK %1 %2").arg(m_uid).arg(m_bytes));
}

void TalkRecorder::finishLocked()
{
    if (m_talk.first < 0)
        return;
    const std::pair<int, int> talk = m_talk;
    m_talk = {-1, -1};
    if (!m_wavPath.isEmpty()) {
        QString error;
        if (!m_wav.save(m_wavPath, &error))
            StatusOutput::line(QStringLiteral("ERROR %1 talk wav: %2").arg(m_uid, error));
    }
    m_wav.clear();
    if (m_bytes != m_bytesReported) {
        StatusOutput::line(QStringLiteral("TALK %1 %2").arg(m_uid).arg(m_bytes));
        m_bytesReported = m_bytes;
    }
    StatusOutput::line(
        QStringLiteral("TALK_CLOSE %1 %2").arg(where(m_uid, talk.first, talk.second)).arg(m_bytes));
}

} // namespace devsim
