#include "FieldRules.h"

#include <QRegularExpression>

namespace accountd::FieldRules {

namespace {

bool hasControlCharacters(const QString &value)
{
    for (const QChar c : value) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f || c.category() == QChar::Other_Control)
            return true;
    }
    return false;
}

} // namespace

QString userName(const QString &value)
{
    if (value.isEmpty())
        return QStringLiteral("userName is missing");
    if (value.size() > maxNameLength)
        return QStringLiteral("userName is longer than %1 characters").arg(maxNameLength);
    if (hasControlCharacters(value))
        return QStringLiteral("userName holds control characters");
    if (value == QLatin1String("Admin"))
        return QStringLiteral("the name Admin is kept for the client's local account");
    return QString();
}

QString password(const QString &field, const QString &value)
{
    if (value.size() < minPasswordLength)
        return QStringLiteral("%1 must have at least %2 characters")
            .arg(field)
            .arg(minPasswordLength);
    if (value.size() > maxPasswordLength)
        return QStringLiteral("%1 is longer than %2 characters").arg(field).arg(maxPasswordLength);
    if (hasControlCharacters(value))
        return QStringLiteral("%1 holds control characters").arg(field);
    return QString();
}

QString text(const QString &field, const QString &value)
{
    if (value.size() > maxTextLength)
        return QStringLiteral("%1 is longer than %2 characters").arg(field).arg(maxTextLength);
    if (hasControlCharacters(value))
        return QStringLiteral("%1 holds control characters").arg(field);
    return QString();
}

QString deviceUid(const QString &value)
{
    static const QRegularExpression pattern(QStringLiteral("^[A-Za-z0-9_-]{1,64}$"));
    if (value.isEmpty())
        return QStringLiteral("UID is missing");
    if (!pattern.match(value).hasMatch())
        return QStringLiteral("UID must be 1 to 64 letters, digits, '-' or '_'");
    return QString();
}

std::optional<int> integer(const QString &value, int min, int max)
{
    static const QRegularExpression pattern(QStringLiteral("^-?[0-9]{1,10}$"));
    if (!pattern.match(value).hasMatch())
        return std::nullopt;
    bool ok = false;
    const qlonglong n = value.toLongLong(&ok);
    if (!ok || n < min || n > max)
        return std::nullopt;
    return int(n);
}

} // namespace accountd::FieldRules
