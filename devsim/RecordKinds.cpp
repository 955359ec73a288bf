#include "RecordKinds.h"

#include <algorithm>
#include <vector>

namespace devsim {

namespace {

using Spans = QList<RecordStore::Recording>;

// Whether t lies in one of the sorted, non-overlapping spans.
bool covers(const Spans &spans, qint64 t)
{
    const auto it =
        std::upper_bound(spans.cbegin(), spans.cend(), t,
                         [](qint64 v, const RecordStore::Recording &s) { return v < s.start; });
    return it != spans.cbegin() && std::prev(it)->end() > t;
}

// Adds the span edges that fall strictly inside (from, to).
void addCuts(const Spans &spans, qint64 from, qint64 to, std::vector<qint64> &cuts)
{
    auto it =
        std::lower_bound(spans.cbegin(), spans.cend(), from,
                         [](const RecordStore::Recording &s, qint64 v) { return s.end() <= v; });
    for (; it != spans.cend() && it->start < to; ++it) {
        for (const qint64 edge : {it->start, it->end()})
            if (edge > from && edge < to)
                cuts.push_back(edge);
    }
}

} // namespace

RecordKinds::RecordKinds(const RecordStore &store, const Spans &motion, const Spans &alarms)
{
    for (const RecordStore::Recording &r : store.recordings()) {
        std::vector<qint64> cuts{r.start, r.end()};
        addCuts(motion, r.start, r.end(), cuts);
        addCuts(alarms, r.start, r.end(), cuts);
        std::sort(cuts.begin(), cuts.end());
        cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());
        const qsizetype first = m_entries.size();
        for (std::size_t i = 0; i + 1 < cuts.size(); ++i) {
            const qint64 at = cuts[i];
            const Kind kind = covers(alarms, at) ? Alarm : covers(motion, at) ? Motion : Continuous;
            if (m_entries.size() > first && m_entries.last().kind == kind)
                m_entries.last().length = cuts[i + 1] - m_entries.last().start;
            else
                m_entries.append({at, cuts[i + 1] - at, kind});
        }
    }
}

QList<RecordKinds::Entry> RecordKinds::overlapping(qint64 from, qint64 to) const
{
    QList<Entry> out;
    auto it = std::lower_bound(m_entries.cbegin(), m_entries.cend(), from,
                               [](const Entry &e, qint64 v) { return e.end() <= v; });
    for (; it != m_entries.cend() && it->start <= to; ++it)
        out.append(*it);
    return out;
}

} // namespace devsim
