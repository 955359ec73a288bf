#pragma once

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QTime>

// Where playback stands on its day: the date and time of day the grid plays
// back, and the day's recordings as the device listed them (each entry's
// third value is its start in seconds since the epoch).
class ReplayPosition
{
public:
    QDate date;
    QTime time;
    QList<QList<int>> records;

    QDateTime dateTime() const { return QDateTime(date, time); }
    // The start of the last recording that began at or before dateTime(),
    // and the seconds from there; an invalid date-time and 0 when none did.
    QDateTime recordStartBefore(int *offsetSeconds) const;
    // The start of the first recording at or after dateTime(); invalid when none.
    QDateTime nextRecordStart() const;
};
