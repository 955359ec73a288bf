#include "core/ServerTrust.h"

#include "config/Config.h"

#include <QCryptographicHash>
#include <QSslCertificate>
#include <QSslKey>
#include <QUrl>

namespace ServerTrust {

QString fingerprint(const QSslCertificate &certificate)
{
    const QByteArray key = certificate.publicKey().toDer();
    if (key.isEmpty())
        return QString();
    return QString::fromLatin1(QCryptographicHash::hash(key, QCryptographicHash::Sha256).toHex());
}

QString shown(const QString &fingerprint)
{
    QString out;
    for (qsizetype i = 0; i < fingerprint.size(); i += 2) {
        if (!out.isEmpty())
            out += QLatin1Char(':');
        out += fingerprint.mid(i, 2).toUpper();
    }
    return out;
}

QString serverOf(const QUrl &url)
{
    return url.host().toLower() + QLatin1Char(':') +
           QString::number(url.port(url.scheme() == QLatin1String("http") ? 80 : 443));
}

QString pinned(const QString &server)
{
    return Config::instance()->serverPin(server);
}

bool pin(const QString &server, const QString &fingerprint)
{
    return Config::instance()->setServerPin(server, fingerprint);
}

} // namespace ServerTrust
