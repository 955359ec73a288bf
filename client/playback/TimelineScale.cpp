#include "playback/TimelineScale.h"

#include <QDateTime>

#include <array>
#include <cmath>

namespace {

constexpr qint64 Second = 1000;
constexpr qint64 Minute = 60 * Second;
constexpr qint64 Hour = 60 * Minute;

constexpr std::array<qint64, 14> Steps = {
    Second,      5 * Second, 10 * Second, 30 * Second, Minute,   5 * Minute, 10 * Minute,
    30 * Minute, Hour,       2 * Hour,    3 * Hour,    6 * Hour, 12 * Hour,  24 * Hour};

constexpr int MinMinorSpacingPx = 8;

} // namespace

TimelineScale::TimelineScale() = default;

void TimelineScale::setDay(qint64 dayStartMs, qint64 dayLengthMs)
{
    m_dayStart = dayStartMs;
    m_dayLength = qMax(MinLengthMs, dayLengthMs);
    m_start = m_dayStart;
    m_length = m_dayLength;
}

void TimelineScale::setWidth(int px)
{
    m_width = qMax(1, px);
}

void TimelineScale::setWindow(qint64 startMs, qint64 lengthMs)
{
    m_start = startMs;
    m_length = lengthMs;
    clampWindow();
}

void TimelineScale::clampWindow()
{
    m_length = qBound(MinLengthMs, m_length, m_dayLength);
    m_start = qBound(m_dayStart, m_start, dayEndMs() - m_length);
}

double TimelineScale::xOf(qint64 ms) const
{
    return double(ms - m_start) * m_width / double(m_length);
}

qint64 TimelineScale::msAt(double x) const
{
    return m_start + qint64(std::llround(x * double(m_length) / m_width));
}

void TimelineScale::zoomAt(double x, double factor)
{
    if (!(factor > 0))
        return;
    const double anchor = double(m_start) + x * double(m_length) / m_width;
    const qint64 length = qBound(MinLengthMs, qint64(std::llround(m_length / factor)), m_dayLength);
    m_start = qint64(std::llround(anchor - x * double(length) / m_width));
    m_length = length;
    clampWindow();
}

void TimelineScale::panBy(double dx)
{
    m_start -= qint64(std::llround(dx * msPerPixel()));
    clampWindow();
}

bool TimelineScale::follow(qint64 cursorMs)
{
    const qint64 rightMargin = endMs() - qint64(m_length * FollowMargin);
    if (cursorMs >= m_start && cursorMs < rightMargin)
        return false;
    const qint64 before = m_start;
    m_start = cursorMs - qint64(m_length * LeadFraction);
    clampWindow();
    return m_start != before;
}

qint64 TimelineScale::labelStepMs() const
{
    for (qint64 step : Steps) {
        if (double(step) / msPerPixel() >= MinLabelSpacingPx)
            return step;
    }
    return Steps.back();
}

qint64 TimelineScale::minorStepMs() const
{
    const qint64 label = labelStepMs();
    qint64 minor = 0;
    for (qint64 step : Steps) {
        if (step >= label)
            break;
        if (label % step == 0 && double(step) / msPerPixel() >= MinMinorSpacingPx)
            minor = step;
    }
    return minor;
}

QList<TimelineScale::Tick> TimelineScale::ticks() const
{
    const qint64 label = labelStepMs();
    const qint64 step = minorStepMs() > 0 ? minorStepMs() : label;
    QList<Tick> out;
    const qint64 fromStart = m_start - m_dayStart;
    for (qint64 t = (fromStart + step - 1) / step * step; m_dayStart + t <= endMs(); t += step)
        out.append({m_dayStart + t, xOf(m_dayStart + t), t % label == 0});
    return out;
}

QString TimelineScale::labelText(qint64 ms) const
{
    const bool seconds = labelStepMs() < Minute || m_length < 2 * Minute;
    if (ms == dayEndMs())
        return seconds ? QStringLiteral("24:00:00") : QStringLiteral("24:00");
    const QTime t = QDateTime::fromMSecsSinceEpoch(ms).time();
    return t.toString(seconds ? QStringLiteral("H:mm:ss") : QStringLiteral("H:mm"));
}
