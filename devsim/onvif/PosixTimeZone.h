#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>

#include <optional>

namespace devsim {

// A POSIX TZ string as ONVIF's TimeZone carries it: "std offset [dst [offset]
// [,start[/time],end[/time]]]", names alphabetic or <quoted>, offsets [+-]hh[:mm[:ss]] west of
// Greenwich, rules Jn, n or Mm.w.d; daylight saving without rules follows M3.2.0,M11.1.0.
// Value type; any thread.
class PosixTimeZone
{
public:
    static constexpr int MaxLength = 64;

    // nullopt when the text is no valid TZ string.
    static std::optional<PosixTimeZone> parse(const QString &text);

    // Seconds to add to UTC for the local time at the instant `utc`.
    int offsetAt(const QDateTime &utc) const;
    QDateTime localTime(const QDateTime &utc) const;
    bool hasDaylightSaving() const { return m_hasDst; }
    QString text() const { return m_text; }

private:
    struct Rule
    {
        enum class Kind { Julian1, Julian0, Month } kind = Kind::Month;
        int day = 0; // Jn: 1..365, n: 0..365
        int month = 0, week = 0, weekday = 0;
        int timeSecs = 7200;
    };
    class Reader;
    static std::optional<Rule> readRule(Reader &r);
    static QDate ruleDate(const Rule &rule, int year);

    QString m_text;
    int m_stdEast = 0; // seconds east of UTC
    int m_dstEast = 0;
    bool m_hasDst = false;
    Rule m_start, m_end;
};

} // namespace devsim
