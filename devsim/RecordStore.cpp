#include "RecordStore.h"

#include <QRegularExpression>
#include <QStringList>

#include <algorithm>

namespace devsim {

namespace {

constexpr int kDay = 86400;

// "HH:MM" or "HH:MM:SS" as seconds of the day; 24:00 is allowed as the end of a day.
std::optional<int> parseClock(const QString &text)
{
    static const QRegularExpression re(QStringLiteral("^(\\d{1,2}):(\\d{2})(?::(\\d{2}))?$"));
    const QRegularExpressionMatch m = re.match(text.trimmed());
    if (!m.hasMatch())
        return std::nullopt;
    const int h = m.captured(1).toInt();
    const int min = m.captured(2).toInt();
    const int s = m.captured(3).isEmpty() ? 0 : m.captured(3).toInt();
    if (min > 59 || s > 59 || h > 24 || (h == 24 && (min || s)))
        return std::nullopt;
    return h * 3600 + min * 60 + s;
}

} // namespace

const char *const RecordStore::DefaultSchedule =
    "00:00-06:00,07:30-07:45,08:15-08:45,12:00-12:00:30,13:00-17:30,19:00-21:00,23:50-00:10";

std::optional<QList<RecordStore::Span>> RecordStore::parseSchedule(const QString &text,
                                                                   QString *error)
{
    const auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return std::nullopt;
    };
    const QStringList parts = text.split(QLatin1Char(','), Qt::SkipEmptyParts);
    if (parts.size() > MaxSpans)
        return fail(QStringLiteral("recordings: at most %1 spans").arg(MaxSpans));
    QList<Span> spans;
    for (const QString &part : parts) {
        const QStringList ends = part.split(QLatin1Char('-'));
        const std::optional<int> from = ends.size() == 2 ? parseClock(ends[0]) : std::nullopt;
        const std::optional<int> to = ends.size() == 2 ? parseClock(ends[1]) : std::nullopt;
        if (!from || !to || *from == kDay || *from == *to)
            return fail(QStringLiteral("recordings: bad span '%1' (HH:MM[:SS]-HH:MM[:SS])")
                            .arg(part.trimmed()));
        spans.append({*from, *to > *from ? *to - *from : *to + kDay - *from});
    }
    std::sort(spans.begin(), spans.end(),
              [](const Span &a, const Span &b) { return a.start < b.start; });
    return spans;
}

RecordStore::RecordStore(const QList<Span> &schedule, int days, qint64 nowUtc)
{
    const qint64 today = nowUtc - nowUtc % kDay;
    days = std::clamp(days, 1, MaxDays);
    for (qint64 day = today - qint64(days - 1) * kDay; day <= today; day += kDay) {
        for (const Span &span : schedule) {
            qint64 start = day + span.start;
            if (start >= nowUtc)
                continue;
            const qint64 end = std::min(start + span.length, nowUtc);
            // A span that runs past midnight into the next day's first one is one recording.
            if (!m_recordings.isEmpty() && start <= m_recordings.last().end()) {
                Recording &last = m_recordings.last();
                last.length = std::max(last.end(), end) - last.start;
            } else if (end > start) {
                m_recordings.append({start, end - start});
            }
        }
    }
}

QList<RecordStore::Recording> RecordStore::overlapping(qint64 from, qint64 to) const
{
    QList<Recording> out;
    for (const Recording &r : m_recordings)
        if (r.start <= to && r.end() > from)
            out.append(r);
    return out;
}

std::optional<RecordStore::Recording> RecordStore::atOrAfter(qint64 t) const
{
    for (const Recording &r : m_recordings)
        if (r.end() > t)
            return r;
    return std::nullopt;
}

} // namespace devsim
