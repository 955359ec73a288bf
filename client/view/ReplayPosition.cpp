#include "view/ReplayPosition.h"

#include <optional>

QDateTime ReplayPosition::recordStartBefore(int *offsetSeconds) const
{
    const quint32 t = quint32(dateTime().toSecsSinceEpoch());
    quint32 best = 0;
    for (const QList<int> &item : records)
        if (item.size() > 2 && quint32(item[2]) <= t && quint32(item[2]) > best)
            best = quint32(item[2]);
    if (offsetSeconds)
        *offsetSeconds = best ? int(t - best) : 0;
    return best ? QDateTime::fromSecsSinceEpoch(best) : QDateTime();
}

QDateTime ReplayPosition::nextRecordStart() const
{
    const quint32 t = quint32(dateTime().toSecsSinceEpoch());
    std::optional<quint32> best;
    for (const QList<int> &item : records)
        if (item.size() > 2 && quint32(item[2]) >= t && (!best || quint32(item[2]) < *best))
            best = quint32(item[2]);
    return best ? QDateTime::fromSecsSinceEpoch(*best) : QDateTime();
}
