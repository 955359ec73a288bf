#include "link/onvif/OnvifTypes.h"

namespace {

const QString NameScope = QStringLiteral("onvif://www.onvif.org/name/");

} // namespace

QString OnvifError::text() const
{
    switch (kind) {
    case Kind::Fault: {
        QString what = code.isEmpty() ? QStringLiteral("Fault") : code;
        if (!subcodes.isEmpty())
            what += QLatin1Char('/') + subcodes.join(QLatin1Char('/'));
        return reason.isEmpty() ? QStringLiteral("device fault %1").arg(what)
                                : QStringLiteral("device fault %1: %2").arg(what, reason);
    }
    case Kind::Malformed:
        return QStringLiteral("malformed reply: %1").arg(reason);
    case Kind::Oversized:
        return QStringLiteral("oversized reply: %1").arg(reason);
    case Kind::NotAuthorized:
        return QStringLiteral("not authorized (wrong user name or password)");
    case Kind::Http:
        return QStringLiteral("HTTP status %1%2")
            .arg(status)
            .arg(reason.isEmpty() ? QString() : QStringLiteral(": ") + reason);
    case Kind::Network:
        return QStringLiteral("network error: %1").arg(reason);
    case Kind::Timeout:
        return QStringLiteral("no reply in time");
    case Kind::Unsupported:
        return QStringLiteral("not supported by the device: %1").arg(reason);
    }
    return reason;
}

QString OnvifProbeMatch::name() const
{
    for (const QString &scope : scopes) {
        if (scope.startsWith(NameScope, Qt::CaseInsensitive))
            return QUrl::fromPercentEncoding(scope.mid(NameScope.size()).toUtf8());
    }
    return {};
}
