#include "config/EntryReader.h"

#include "config/TextEncoding.h"

#include <QSettings>
#include <QtDebug>

EntryReader::EntryReader(QSettings &s, const QString &array, int index)
    : m_s(s)
    , m_prefix(array + QLatin1Char('/') + QString::number(index + 1) + QLatin1Char('/'))
{}

int EntryReader::arrayEntries(QSettings &s, const QString &array)
{
    s.beginGroup(array);
    const qsizetype present = s.childGroups().size();
    s.endGroup();
    const int size = s.beginReadArray(array);
    s.endArray();
    return qBound(0, size, int(present));
}

int EntryReader::entriesToRead(QSettings &s, const QString &array, int limit)
{
    const int n = arrayEntries(s, array);
    if (n > limit)
        qWarning("settings: %s/size is %d, reading the first %d entries", qPrintable(array), n,
                 limit);
    return qMin(n, limit);
}

int EntryReader::number(const char *field, int fallback, int minimum, int maximum) const
{
    const QVariant stored = m_s.value(QLatin1String(field));
    bool ok = false;
    const int v = stored.toInt(&ok);
    if (!ok) {
        if (stored.isValid())
            warn(field, QStringLiteral("is not a number, using %1").arg(fallback));
        return fallback;
    }
    const int bounded = qBound(minimum, v, maximum);
    if (bounded != v)
        warn(field, QStringLiteral("is out of range, using %1").arg(bounded));
    return bounded;
}

std::optional<int> EntryReader::exactNumber(const char *field, int minimum, int maximum,
                                            const char *consequence, bool mayBeAbsent) const
{
    const QVariant stored = m_s.value(QLatin1String(field));
    bool ok = false;
    const int v = stored.toInt(&ok);
    if (ok && v >= minimum && v <= maximum)
        return v;
    if (stored.isValid() || !mayBeAbsent)
        warn(field, QStringLiteral("is missing or not a number in %1 .. %2, %3")
                        .arg(minimum)
                        .arg(maximum)
                        .arg(QLatin1String(consequence)));
    return std::nullopt;
}

QString EntryReader::text(const char *field) const
{
    return decodeText(m_s.value(QLatin1String(field)).toString());
}

bool EntryReader::encodedText(const char *field, QString *out, const char *consequence) const
{
    // An INI value with a comma reads as a list: never an encoded text.
    const QVariant stored = m_s.value(QLatin1String(field));
    const bool isText = !stored.isValid() || stored.typeId() == QMetaType::QString ||
                        stored.typeId() == QMetaType::QByteArray;
    QString t;
    if (!isText || !decodeText(stored.toString(), &t)) {
        warn(field, QStringLiteral("is not an encoded text, %1").arg(QLatin1String(consequence)));
        return false;
    }
    if (out)
        *out = t;
    return true;
}

QString EntryReader::cutText(const char *field, int maxLength) const
{
    QString t = text(field);
    if (t.size() > maxLength) {
        warn(field, QStringLiteral("is too long, cut to %1 characters").arg(maxLength));
        t.truncate(maxLength);
    }
    return t;
}

void EntryReader::warn(const char *field, const QString &what) const
{
    qWarning("settings: %s%s %s", qUtf8Printable(m_prefix), field, qUtf8Printable(what));
}
