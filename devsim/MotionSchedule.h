#pragma once

#include "RecordStore.h"

#include <QList>

namespace devsim {

// When the device sees motion: a daily schedule of spans (UTC, the syntax of the recording
// schedule), and what of it the recordings hold. Plain data, immutable once built; any thread.
class MotionSchedule
{
public:
    MotionSchedule() = default;
    // The daily spans, and the recordings that motion is recorded in.
    MotionSchedule(const QList<RecordStore::Span> &daily, const RecordStore &store);

    // The spans of recorded motion: the daily spans within the recordings, by start, merged
    // where they touch.
    const QList<RecordStore::Recording> &recorded() const { return m_recorded; }
    // Whether the daily schedule has motion at t (seconds since the epoch, UTC), recorded or
    // not: the live state.
    bool activeAt(qint64 t) const;
    bool isEmpty() const { return m_daily.isEmpty(); }

private:
    QList<RecordStore::Span> m_daily;
    QList<RecordStore::Recording> m_recorded;
};

} // namespace devsim
