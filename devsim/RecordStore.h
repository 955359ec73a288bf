#pragma once

#include <QList>
#include <QString>

#include <optional>

namespace devsim {

// The recordings a device keeps, without files: a daily schedule of recording spans applied to
// the last N days (device clock = UTC). A span whose end is earlier than its start runs past
// midnight into the next day; spans that touch or overlap make one recording. Recordings never
// reach into the future: the one running now ends at the moment the store was built, later ones
// do not exist yet.
class RecordStore
{
public:
    // One span of the daily schedule, in seconds of the day.
    struct Span
    {
        int start = 0;
        int length = 0;
    };
    // One recording, in seconds since the epoch (UTC).
    struct Recording
    {
        qint64 start = 0;
        qint64 length = 0;
        qint64 end() const { return start + length; }
    };

    // The schedule used when none is configured: a working day with gaps, one span across
    // midnight.
    static const char *const DefaultSchedule;
    static constexpr int DefaultDays = 7;
    static constexpr int MaxDays = 366;
    static constexpr int MaxSpans = 255; // a day's record list carries at most 255

    // Parses "HH:MM[:SS]-HH:MM[:SS]" spans separated by commas; nullopt with *error when a span
    // is malformed, empty, longer than a day, or there are more than MaxSpans.
    static std::optional<QList<Span>> parseSchedule(const QString &text, QString *error);

    RecordStore() = default;
    // The recordings of the schedule on the `days` UTC days up to and including the one of
    // nowUtc.
    RecordStore(const QList<Span> &schedule, int days, qint64 nowUtc);

    const QList<Recording> &recordings() const { return m_recordings; }
    // Recordings with any part in [from, to], by start time.
    QList<Recording> overlapping(qint64 from, qint64 to) const;
    // The recording that holds t, else the first one starting after t.
    std::optional<Recording> atOrAfter(qint64 t) const;

private:
    QList<Recording> m_recordings; // by start, not overlapping
};

} // namespace devsim
