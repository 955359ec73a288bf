#include "LiveMotion.h"

#include "StatusOutput.h"

namespace devsim {

LiveMotion::LiveMotion(const QString &uid, int channels, MotionSchedule schedule, int periodSec,
                       std::function<QDateTime()> clock)
    : m_uid(uid)
    , m_channels(channels)
    , m_schedule(std::move(schedule))
    , m_clock(std::move(clock))
{
    if (periodSec > 0) {
        m_burstEnd.setSingleShot(true);
        connect(&m_burstEnd, &QTimer::timeout, this, [this] {
            m_burst = false;
            update();
        });
        connect(&m_period, &QTimer::timeout, this, [this] {
            if (m_burst)
                return;
            m_burst = true;
            m_burstEnd.start(BurstMs);
            update();
        });
        m_period.start(periodSec * 1000);
    }
    if (!m_schedule.isEmpty()) {
        connect(&m_poll, &QTimer::timeout, this, &LiveMotion::update);
        m_poll.start(1000);
        m_scheduled = m_schedule.activeAt(m_clock().toSecsSinceEpoch());
        m_reported = m_scheduled; // the state at start is no change
    }
}

void LiveMotion::update()
{
    const QDateTime at = m_clock();
    if (!m_schedule.isEmpty())
        m_scheduled = m_schedule.activeAt(at.toSecsSinceEpoch());
    const bool on = m_burst || m_scheduled;
    if (on == m_reported)
        return;
    m_reported = on;
    for (int channel = 0; channel < m_channels; ++channel) {
        StatusOutput::line(QStringLiteral("EVENT %1 %2 motion %3")
                               .arg(m_uid)
                               .arg(channel)
                               .arg(on ? QStringLiteral("on") : QStringLiteral("off")));
        for (const Listener &listener : m_listeners)
            listener(channel, on, at);
    }
}

} // namespace devsim
