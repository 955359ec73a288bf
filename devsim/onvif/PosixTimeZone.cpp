#include "PosixTimeZone.h"

#include <QTimeZone>

namespace devsim {

// A cursor over the TZ text.
class PosixTimeZone::Reader
{
public:
    explicit Reader(const QString &text)
        : m_text(text)
    {}

    bool atEnd() const { return m_pos >= m_text.size(); }
    QChar peek() const { return atEnd() ? QChar() : m_text.at(m_pos); }
    bool take(QChar c)
    {
        if (peek() != c)
            return false;
        ++m_pos;
        return true;
    }
    // An unsigned decimal number of 1 to maxDigits digits.
    std::optional<int> number(int maxDigits)
    {
        int value = 0, digits = 0;
        while (!atEnd() && peek().isDigit() && digits < maxDigits) {
            value = value * 10 + peek().digitValue();
            ++m_pos;
            ++digits;
        }
        return digits ? std::optional<int>(value) : std::nullopt;
    }
    // A zone name: three or more letters, or <...> of letters, digits, + and -.
    bool name()
    {
        int length = 0;
        if (take(QLatin1Char('<'))) {
            while (!atEnd() && (peek().isLetterOrNumber() || peek() == QLatin1Char('+') ||
                                peek() == QLatin1Char('-'))) {
                ++m_pos;
                ++length;
            }
            return take(QLatin1Char('>')) && length >= 3;
        }
        while (!atEnd() && peek().isLetter() && peek().unicode() < 128) {
            ++m_pos;
            ++length;
        }
        return length >= 3;
    }
    // [+-]hh[:mm[:ss]] in seconds, hours up to maxHours.
    std::optional<int> duration(int maxHours)
    {
        const int sign = take(QLatin1Char('-')) ? -1 : (take(QLatin1Char('+')), 1);
        const std::optional<int> h = number(3);
        if (!h || *h > maxHours)
            return std::nullopt;
        int secs = *h * 3600;
        for (int unit : {60, 1}) {
            if (!take(QLatin1Char(':')))
                break;
            const std::optional<int> part = number(2);
            if (!part || *part > 59)
                return std::nullopt;
            secs += *part * unit;
        }
        return sign * secs;
    }

private:
    const QString &m_text;
    int m_pos = 0;
};

std::optional<PosixTimeZone::Rule> PosixTimeZone::readRule(Reader &r)
{
    Rule rule;
    if (r.take(QLatin1Char('M'))) {
        const std::optional<int> m = r.number(2);
        const bool dot1 = r.take(QLatin1Char('.'));
        const std::optional<int> w = r.number(1);
        const bool dot2 = r.take(QLatin1Char('.'));
        const std::optional<int> d = r.number(1);
        if (!m || !w || !d || !dot1 || !dot2 || *m < 1 || *m > 12 || *w < 1 || *w > 5 || *d > 6)
            return std::nullopt;
        rule.month = *m;
        rule.week = *w;
        rule.weekday = *d;
    } else {
        rule.kind = r.take(QLatin1Char('J')) ? Rule::Kind::Julian1 : Rule::Kind::Julian0;
        const std::optional<int> n = r.number(3);
        const int min = rule.kind == Rule::Kind::Julian1 ? 1 : 0;
        if (!n || *n < min || *n > 365)
            return std::nullopt;
        rule.day = *n;
    }
    if (r.take(QLatin1Char('/'))) {
        const std::optional<int> time = r.duration(167);
        if (!time)
            return std::nullopt;
        rule.timeSecs = *time;
    }
    return rule;
}

std::optional<PosixTimeZone> PosixTimeZone::parse(const QString &text)
{
    if (text.isEmpty() || text.size() > MaxLength)
        return std::nullopt;
    PosixTimeZone zone;
    zone.m_text = text;
    Reader r(text);
    if (!r.name())
        return std::nullopt;
    const std::optional<int> stdWest = r.duration(24);
    if (!stdWest)
        return std::nullopt;
    zone.m_stdEast = -*stdWest;
    if (r.atEnd())
        return zone;
    if (!r.name())
        return std::nullopt;
    zone.m_hasDst = true;
    zone.m_dstEast = zone.m_stdEast + 3600;
    if (!r.atEnd() && r.peek() != QLatin1Char(',')) {
        const std::optional<int> dstWest = r.duration(24);
        if (!dstWest)
            return std::nullopt;
        zone.m_dstEast = -*dstWest;
    }
    if (r.atEnd()) { // the rules POSIX systems assume without any
        Reader rules(QStringLiteral("M3.2.0,M11.1.0"));
        zone.m_start = *readRule(rules);
        rules.take(QLatin1Char(','));
        zone.m_end = *readRule(rules);
        return zone;
    }
    if (!r.take(QLatin1Char(',')))
        return std::nullopt;
    const std::optional<Rule> start = readRule(r);
    if (!start || !r.take(QLatin1Char(',')))
        return std::nullopt;
    const std::optional<Rule> end = readRule(r);
    if (!end || !r.atEnd())
        return std::nullopt;
    zone.m_start = *start;
    zone.m_end = *end;
    return zone;
}

QDate PosixTimeZone::ruleDate(const Rule &rule, int year)
{
    switch (rule.kind) {
    case Rule::Kind::Julian1: { // 1..365, February 29 never counted
        const QDate d = QDate(year, 1, 1).addDays(rule.day - 1);
        return QDate::isLeapYear(year) && d.month() > 2 ? d.addDays(1) : d;
    }
    case Rule::Kind::Julian0:
        return QDate(year, 1, 1).addDays(rule.day);
    case Rule::Kind::Month:
        break;
    }
    const QDate first(year, rule.month, 1);
    const int weekday = first.dayOfWeek() % 7; // 0 Sunday
    QDate d = first.addDays((rule.weekday - weekday + 7) % 7 + 7 * (rule.week - 1));
    while (d.month() != rule.month) // week 5: the last such day of the month
        d = d.addDays(-7);
    return d;
}

int PosixTimeZone::offsetAt(const QDateTime &utc) const
{
    if (!m_hasDst)
        return m_stdEast;
    const qint64 t = utc.toSecsSinceEpoch();
    const int year = utc.addSecs(m_stdEast).date().year();
    const auto at = [year](const Rule &rule, int eastOfUtc) {
        const QDateTime midnight(ruleDate(rule, year), QTime(0, 0), QTimeZone::utc());
        return midnight.toSecsSinceEpoch() + rule.timeSecs - eastOfUtc;
    };
    const qint64 start = at(m_start, m_stdEast); // in local standard time
    const qint64 end = at(m_end, m_dstEast);     // in local daylight-saving time
    const bool dst = start < end ? (t >= start && t < end) : (t >= start || t < end);
    return dst ? m_dstEast : m_stdEast;
}

QDateTime PosixTimeZone::localTime(const QDateTime &utc) const
{
    const QDateTime shifted = utc.toUTC().addSecs(offsetAt(utc));
    return QDateTime(shifted.date(), shifted.time(), QTimeZone::utc());
}

} // namespace devsim
