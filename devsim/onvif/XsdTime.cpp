#include "XsdTime.h"

#include <QRegularExpression>
#include <QTimeZone>

namespace devsim {

std::optional<qint64> XsdTime::parseDuration(const QString &text)
{
    static const QRegularExpression re(QStringLiteral(
        "^P(?:(\\d{1,9})Y)?(?:(\\d{1,9})M)?(?:(\\d{1,9})D)?"
        "(?:T(?:(\\d{1,9})H)?(?:(\\d{1,9})M)?(?:(\\d{1,9})(?:\\.(\\d{1,9}))?S)?)?$"));
    const QString t = text.trimmed();
    if (t.size() > 32 || t == QLatin1String("P") || t.endsWith(QLatin1Char('T')))
        return std::nullopt;
    const QRegularExpressionMatch m = re.match(t);
    if (!m.hasMatch())
        return std::nullopt;
    // In double: nine digits in every field cannot overflow it, and the bound follows.
    static const double unitMs[] = {365 * 86400e3, 30 * 86400e3, 86400e3, 3600e3, 60e3, 1e3};
    double ms = 0;
    for (int i = 0; i < 6; ++i)
        ms += m.captured(i + 1).toDouble() * unitMs[i];
    if (!m.captured(7).isEmpty())
        ms += (QStringLiteral("0.") + m.captured(7)).toDouble() * 1e3;
    if (ms > double(MaxDurationMs))
        return std::nullopt;
    return qint64(ms);
}

QString XsdTime::duration(qint64 ms)
{
    if (ms % 1000 == 0)
        return QStringLiteral("PT%1S").arg(ms / 1000);
    return QStringLiteral("PT%1.%2S").arg(ms / 1000).arg(ms % 1000, 3, 10, QLatin1Char('0'));
}

std::optional<QDateTime> XsdTime::parseDateTime(const QString &text)
{
    static const QRegularExpression re(QStringLiteral(
        "^\\d{4}-\\d{2}-\\d{2}T\\d{2}:\\d{2}:\\d{2}(\\.\\d{1,9})?(Z|[+-]\\d{2}:\\d{2})?$"));
    const QString t = text.trimmed();
    if (t.size() > 40 || !re.match(t).hasMatch())
        return std::nullopt;
    QString iso = t;
    const int dot = iso.indexOf(QLatin1Char('.'));
    if (dot > 0) { // Qt reads at most milliseconds
        int end = dot + 1;
        while (end < iso.size() && iso.at(end).isDigit())
            ++end;
        iso.remove(dot + 4, std::max(0, end - dot - 4));
    }
    QDateTime at = QDateTime::fromString(iso, Qt::ISODateWithMs);
    if (!at.isValid())
        return std::nullopt;
    if (!t.endsWith(QLatin1Char('Z')) && at.timeSpec() == Qt::LocalTime)
        at = QDateTime(at.date(), at.time(), QTimeZone::utc());
    at = at.toUTC();
    if (at.date().year() < 1970 || at.date().year() > 2100)
        return std::nullopt;
    return at;
}

QString XsdTime::dateTime(const QDateTime &at)
{
    const QDateTime utc = at.toUTC();
    return utc.toString(utc.time().msec() ? QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz'Z'")
                                          : QStringLiteral("yyyy-MM-ddTHH:mm:ss'Z'"));
}

QString XsdTime::dateTime(qint64 utcSeconds)
{
    return dateTime(QDateTime::fromSecsSinceEpoch(utcSeconds, QTimeZone::utc()));
}

} // namespace devsim
