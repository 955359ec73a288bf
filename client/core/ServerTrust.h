#pragma once

#include <QString>

class QSslCertificate;
class QUrl;

// Trust in account services whose certificate the system does not vouch
// for: the SHA-256 of the certificate's public key (so that a renewed
// certificate with the same key still passes), pinned per server
// ("host:port") once the user accepted it, like a device key. Certificates
// the system trusts are never pinned. GUI thread only.
namespace ServerTrust {

// What a refused connection showed: the server, its key's fingerprint, who
// issued its certificate, and the fingerprint pinned for it before (empty
// when none: the user may be asked; else the key changed and is refused).
struct Untrusted
{
    QString server;
    QString fingerprint;
    QString issuer;
    QString pinned;

    bool isEmpty() const { return fingerprint.isEmpty(); }
    bool keyChanged() const { return !pinned.isEmpty() && pinned != fingerprint; }
};

// 64 lowercase hex digits of the SHA-256 of the certificate's public key.
QString fingerprint(const QSslCertificate &certificate);
// "AB:CD:..." for people to compare.
QString shown(const QString &fingerprint);
// "host:port" of a URL (443 for https without a port).
QString serverOf(const QUrl &url);

QString pinned(const QString &server);
bool pin(const QString &server, const QString &fingerprint);

} // namespace ServerTrust
