#include "MotionSchedule.h"

#include <algorithm>

namespace devsim {

namespace {
constexpr qint64 kDay = 86400;
} // namespace

MotionSchedule::MotionSchedule(const QList<RecordStore::Span> &daily, const RecordStore &store)
    : m_daily(daily)
{
    const QList<RecordStore::Recording> &recordings = store.recordings();
    if (daily.isEmpty() || recordings.isEmpty())
        return;
    // The daily spans on every day the recordings touch (from the day before the first, for a
    // span running past midnight), merged where they touch; then cut by the recordings.
    QList<RecordStore::Recording> motion;
    const qint64 first = recordings.first().start - recordings.first().start % kDay - kDay;
    const qint64 last = recordings.last().end();
    for (qint64 day = first; day <= last; day += kDay) {
        for (const RecordStore::Span &span : daily) {
            const qint64 start = day + span.start, end = start + span.length;
            if (!motion.isEmpty() && start <= motion.last().end())
                motion.last().length = std::max(motion.last().end(), end) - motion.last().start;
            else
                motion.append({start, end - start});
        }
    }
    auto m = motion.cbegin();
    for (const RecordStore::Recording &r : recordings) {
        while (m != motion.cend() && m->end() <= r.start)
            ++m;
        for (auto it = m; it != motion.cend() && it->start < r.end(); ++it) {
            const qint64 start = std::max(it->start, r.start), end = std::min(it->end(), r.end());
            if (end > start)
                m_recorded.append({start, end - start});
        }
    }
}

bool MotionSchedule::activeAt(qint64 t) const
{
    const qint64 second = ((t % kDay) + kDay) % kDay;
    return std::any_of(m_daily.cbegin(), m_daily.cend(), [second](const RecordStore::Span &s) {
        const qint64 end = s.start + s.length; // past kDay: runs into the next day
        return (second >= s.start && second < end) || second + kDay < end;
    });
}

} // namespace devsim
