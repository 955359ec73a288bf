#include "core/ServerAddress.h"

#include <QCoreApplication>
#include <QHostAddress>
#include <QUrl>

namespace ServerAddress {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("ServerAddress", text);
}

bool isLoopback(const QString &host)
{
    const QHostAddress address(host);
    return host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0 ||
           (!address.isNull() && address.isLoopback());
}

} // namespace

QString normalized(const QString &typed, QString *error)
{
    QString text = typed.trimmed();
    if (text.isEmpty() || text.size() > MaxLength) {
        *error = tr("Enter the server's address, e.g. https://accounts.example.com:8443");
        return QString();
    }
    if (!text.contains(QLatin1String("://")))
        text.prepend(QLatin1String("https://"));
    const QUrl url(text, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() ||
        (scheme != QLatin1String("https") && scheme != QLatin1String("http"))) {
        *error = tr("This is not a server address: %1").arg(typed.trimmed().left(80));
        return QString();
    }
    if (!url.userInfo().isEmpty() || url.hasQuery() || url.hasFragment()) {
        *error = tr("The server's address holds no name, password, query or fragment.");
        return QString();
    }
    if (scheme == QLatin1String("http") && !isLoopback(url.host())) {
        *error = tr("Use https:// for a server on another machine: passwords would travel "
                    "unencrypted.");
        return QString();
    }
    QString out = url.toString(QUrl::NormalizePathSegments);
    while (out.endsWith(QLatin1Char('/')))
        out.chop(1);
    return out;
}

} // namespace ServerAddress
