#pragma once

#include "RecordStore.h"

#include <QList>

#include <cstdint>

namespace devsim {

// The recordings as the record list names them: each recording cut where its kind changes,
// alarm over motion over continuous. A recording without motion or alarms stays one entry;
// playback still plays a recording whole. Plain data, immutable once built; any thread.
class RecordKinds
{
public:
    enum Kind : std::uint8_t { NotTold = 0, Continuous = 1, Motion = 2, Alarm = 3 };
    struct Entry
    {
        qint64 start = 0; // seconds since the epoch (UTC)
        qint64 length = 0;
        Kind kind = Continuous;
        qint64 end() const { return start + length; }
    };

    RecordKinds() = default;
    // motion and alarms: the spans of each within the recordings, by start, not overlapping
    // (MotionSchedule::recorded()).
    RecordKinds(const RecordStore &store, const QList<RecordStore::Recording> &motion,
                const QList<RecordStore::Recording> &alarms);

    const QList<Entry> &entries() const { return m_entries; }
    // Entries with any part in [from, to], by start.
    QList<Entry> overlapping(qint64 from, qint64 to) const;

private:
    QList<Entry> m_entries; // by start, touching within a recording
};

} // namespace devsim
