#include "link/PlaybackRecords.h"

#include <QStringList>
#include <QTime>

namespace PlaybackRecords {

namespace {

constexpr qint64 Day = 86400;

int secondOfDay(const QTime &t)
{
    return QTime(0, 0).secsTo(t);
}

struct VersionParts
{
    bool valid = false; // at least two parts
    bool tag01 = false; // characters 11 and 12 are "01"
    int minor = 0;      // parts[1]
    int patch = 0;      // parts[2]
};

VersionParts versionParts(const QString &version)
{
    VersionParts v;
    const QStringList parts = version.split(QLatin1Char('.'));
    v.valid = parts.size() >= 2;
    v.tag01 = version.mid(11, 2) == QLatin1String("01");
    v.minor = parts.size() > 1 ? parts[1].toInt() : 0;
    v.patch = parts.size() > 2 ? parts[2].toInt() : 0;
    return v;
}

} // namespace

Items toItems(const QList<IoCtrl::RecordEntry> &entries, const QDateTime &now)
{
    Items out;
    const qint64 nowSecs = now.toSecsSinceEpoch();
    for (int i = 0; i < entries.size(); ++i) {
        if (!entries[i].startUtc.isValid())
            continue;
        const QDateTime start = entries[i].startUtc.toLocalTime();
        if (start.toSecsSinceEpoch() > nowSecs + Day)
            continue;
        qint64 length = entries[i].lengthSeconds;
        if (length == 0 || length > Day)
            length = UnknownLength;
        out.day = start.date();
        const int startSecond = secondOfDay(start.time());
        bool tail = false;
        if (i == 0 && start.time().hour() == 23 && entries.size() >= 2 &&
            entries[1].startUtc.isValid()) {
            const int nextSecond = secondOfDay(entries[1].startUtc.toLocalTime().time());
            tail = nextSecond < startSecond;
        }
        if (tail) {
            const int toMidnight = secondOfDay(QTime(23, 59, 59)) - startSecond;
            const QDateTime lastSecond(start.date(), QTime(23, 59, 59));
            out.items.append(
                {0, int(qMax<qint64>(0, length - toMidnight)), int(lastSecond.toSecsSinceEpoch())});
        } else {
            out.items.append({startSecond, int(length), int(start.toSecsSinceEpoch())});
        }
        if (entries[i].kind != IoCtrl::RecordKind::Unknown)
            out.items.last().append(int(entries[i].kind));
    }
    return out;
}

bool touchesDay(const QList<IoCtrl::RecordEntry> &entries, const QDate &day)
{
    const qint64 from = QDateTime(day, QTime(0, 0)).toSecsSinceEpoch();
    const qint64 to = QDateTime(day.addDays(1), QTime(0, 0)).toSecsSinceEpoch();
    bool any = false;
    for (const IoCtrl::RecordEntry &e : entries) {
        if (!e.startUtc.isValid())
            continue;
        any = true;
        const qint64 start = e.startUtc.toSecsSinceEpoch();
        if (start < to && start + qint64(e.lengthSeconds) > from)
            return true;
    }
    return !any;
}

std::optional<QDateTime> nextRecordStart(const QList<QList<int>> &items, const QDateTime &after)
{
    const qint64 t = after.toSecsSinceEpoch();
    std::optional<qint64> best;
    for (const QList<int> &item : items) {
        if (item.size() < 3)
            continue;
        const qint64 start = qint64(uint(item[2]));
        if (start > t && (!best || start < *best))
            best = start;
    }
    if (!best)
        return std::nullopt;
    return QDateTime::fromSecsSinceEpoch(*best);
}

bool isLegacyPlayback(const QString &version)
{
    const VersionParts v = versionParts(version);
    if (!v.valid || v.tag01)
        return false;
    return v.minor <= 4;
}

bool supportsStartSeek(const QString &version)
{
    const VersionParts v = versionParts(version);
    if (!v.valid)
        return false;
    if (v.tag01)
        return v.minor > 3 || (v.minor == 3 && v.patch > 1);
    return v.minor > 5 || (v.minor == 5 && v.patch >= 0);
}

} // namespace PlaybackRecords
