#pragma once

#include "link/IoCtrl.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

// The device's record list turned into the items the timeline draws, and the
// look-ups playback needs. Pure functions, any thread.
//
// A record item is [start second of the local day (0..86399), length in
// seconds, start in seconds since the epoch (UTC)], and a fourth element, the
// IoCtrl::RecordKind, where the device tells what the span holds.
namespace PlaybackRecords {

// Lengths the device reports as 0 or longer than a day are read as this.
constexpr int UnknownLength = 600;

struct Items
{
    QList<QList<int>> items;
    QDate day; // the local day of the last item's start (invalid when none)
};

// The items of a record-list reply's entries, now being the current time:
// entries starting more than a day after now are left out; a first entry at
// 23 o'clock local followed by one earlier in the local day is the tail of a
// recording that crossed into the requested day and becomes an item from
// 00:00:00 of length minus the seconds up to 23:59:59.
Items toItems(const QList<IoCtrl::RecordEntry> &entries, const QDateTime &now);

// Whether a reply's entries belong to the local day (none at all counts).
bool touchesDay(const QList<IoCtrl::RecordEntry> &entries, const QDate &day);

// The start of the first item that begins after `after`, as local time;
// nullopt when none does.
std::optional<QDateTime> nextRecordStart(const QList<QList<int>> &items, const QDateTime &after);

// The version predicates of the channel's 64-byte version text (empty when
// none was received).
bool isLegacyPlayback(const QString &version);
bool supportsStartSeek(const QString &version);

} // namespace PlaybackRecords
