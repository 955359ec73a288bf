#include "view/LayoutTour.h"

#include "config/Config.h"
#include "diagnostics/Checks.h"

#include <chrono>

namespace {

qint64 monotonicMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

LayoutTour::LayoutTour(QObject *parent)
    : LayoutTour(monotonicMs, parent)
{
    m_timer = new QTimer(this);
    m_timer->setSingleShot(true);
    connect(m_timer, &QTimer::timeout, this, &LayoutTour::poll);
}

LayoutTour::LayoutTour(Clock clock, QObject *parent)
    : QObject(parent)
    , m_clock(std::move(clock))
    , m_intervalSeconds(ConfigKey::TourSeconds.defaultValue)
{}

void LayoutTour::setLayouts(const QStringList &names)
{
    ORVANE_ASSERT_GUI_THREAD();
    const QString shown = current();
    m_layouts.clear();
    for (const QString &name : names) {
        if (!name.isEmpty() && !m_layouts.contains(name))
            m_layouts.append(name);
    }
    m_current = int(m_layouts.indexOf(shown));
    schedule();
}

void LayoutTour::setCurrent(const QString &name)
{
    ORVANE_ASSERT_GUI_THREAD();
    m_current = int(m_layouts.indexOf(name));
}

QString LayoutTour::current() const
{
    return m_current >= 0 ? m_layouts.at(m_current) : QString();
}

void LayoutTour::setIntervalSeconds(int seconds)
{
    ORVANE_ASSERT_GUI_THREAD();
    m_intervalSeconds =
        qBound(ConfigKey::TourSeconds.minimum, seconds, ConfigKey::TourSeconds.maximum);
    schedule();
}

void LayoutTour::start()
{
    ORVANE_ASSERT_GUI_THREAD();
    m_running = true;
    m_sinceMs = m_clock();
    schedule();
}

void LayoutTour::stop()
{
    ORVANE_ASSERT_GUI_THREAD();
    m_running = false;
    schedule();
}

void LayoutTour::noteInteraction()
{
    ORVANE_ASSERT_GUI_THREAD();
    // The timer is left as it is: when it fires early, poll() sets it again.
    m_sinceMs = qMax(m_sinceMs, m_clock());
}

qint64 LayoutTour::msUntilDue() const
{
    if (!m_running || m_layouts.size() < 2)
        return -1;
    const qint64 elapsed = qMax<qint64>(0, m_clock() - m_sinceMs);
    return qMax<qint64>(0, qint64(m_intervalSeconds) * 1000 - elapsed);
}

void LayoutTour::poll()
{
    ORVANE_ASSERT_GUI_THREAD();
    if (msUntilDue() == 0) {
        m_current = int((m_current + 1) % m_layouts.size());
        m_sinceMs = m_clock();
        emit layoutDue(m_layouts.at(m_current));
    }
    schedule();
}

void LayoutTour::schedule()
{
    if (!m_timer)
        return;
    const qint64 due = msUntilDue();
    if (due < 0)
        m_timer->stop();
    else
        m_timer->start(int(due)); // at most TourSeconds.maximum seconds: fits an int
}
