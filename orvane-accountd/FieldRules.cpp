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

namespace {

QString streamUrl(const QString &url)
{
    static const QRegularExpression pattern(
        QStringLiteral("^rtsps?://([^/@?#\\s]+)(/[^\\s]*)?$"),
        QRegularExpression::CaseInsensitiveOption);
    if (url.size() > maxUrlLength)
        return QStringLiteral("Streams has a URL longer than %1 characters").arg(maxUrlLength);
    if (hasControlCharacters(url))
        return QStringLiteral("Streams holds control characters");
    const QRegularExpressionMatch m = pattern.match(url);
    if (!m.hasMatch())
        return QStringLiteral("Streams has an entry that is not an rtsp:// URL of a host "
                              "without user name or password");
    return QString();
}

} // namespace

QString deviceSource(const QString &kind, const QString &streams, const QString &onvif,
                     const QString &transport)
{
    if (transport != QLatin1String("") && transport != QLatin1String("tcp") &&
        transport != QLatin1String("udp"))
        return QStringLiteral("Transport must be tcp or udp");
    if (kind.isEmpty() || kind == QLatin1String("p2p")) {
        if (!streams.isEmpty() || !onvif.isEmpty() || !transport.isEmpty())
            return QStringLiteral("a P2P device has no Streams, Onvif or Transport");
        return QString();
    }
    if (kind != QLatin1String("rtsp"))
        return QStringLiteral("Kind must be p2p or rtsp");
    static const QRegularExpression hostPattern(QStringLiteral("^[A-Za-z0-9.:\\[\\]_-]+$"));
    if (onvif.size() > maxHostLength || (!onvif.isEmpty() && !hostPattern.match(onvif).hasMatch()))
        return QStringLiteral("Onvif must be host or host:port");
    if (streams.isEmpty())
        return onvif.isEmpty() ? QStringLiteral("an RTSP device needs Streams or Onvif")
                               : QString();
    const QStringList lines = streams.split(QLatin1Char('\n'));
    if (lines.size() > maxStreams)
        return QStringLiteral("Streams has more than %1 lines").arg(maxStreams);
    for (const QString &line : lines) {
        const QStringList urls = line.split(QLatin1Char('|'));
        if (urls.size() > 2)
            return QStringLiteral("Streams has a line of more than two URLs");
        for (const QString &url : urls) {
            const QString reason = streamUrl(url);
            if (!reason.isEmpty())
                return reason;
        }
    }
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
