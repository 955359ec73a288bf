#pragma once

#include "MotionSchedule.h"

#include <QDateTime>
#include <QObject>
#include <QTimer>

#include <functional>
#include <vector>

namespace devsim {

// The motion a device sees now, on all its channels at once: the daily motion schedule's
// spans that are happening, and with a period a burst every period seconds (motion on, then
// off BurstMs later; a burst due while one is on is skipped). Each change is reported to the
// listeners and printed as "EVENT <uid> <channel> motion on|off", one line per channel.
//
// Threads: the main thread, whose event loop runs its timers.
class LiveMotion : public QObject
{
public:
    static constexpr int BurstMs = 2000;

    // A change of a channel's motion state at the device's time `at`.
    using Listener = std::function<void(int channel, bool on, const QDateTime &at)>;

    // clock gives the device's time (UTC).
    LiveMotion(const QString &uid, int channels, MotionSchedule schedule, int periodSec,
               std::function<QDateTime()> clock);

    // The state last reported (at start: the schedule's).
    bool active() const { return m_reported; }
    int channels() const { return m_channels; }
    void addListener(Listener listener) { m_listeners.push_back(std::move(listener)); }

private:
    void update();

    QString m_uid;
    int m_channels;
    MotionSchedule m_schedule;
    std::function<QDateTime()> m_clock;
    QTimer m_period;   // starts the bursts
    QTimer m_burstEnd; // ends the one on
    QTimer m_poll;     // follows the daily schedule
    bool m_burst = false;
    bool m_scheduled = false;
    bool m_reported = false;
    std::vector<Listener> m_listeners;
};

} // namespace devsim
