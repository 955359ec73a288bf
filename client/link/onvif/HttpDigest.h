#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// HTTP Digest access authentication, client side (qop "auth" or none;
// MD5, MD5-sess, SHA-256, SHA-256-sess): reads the server's challenge from
// its WWW-Authenticate headers and computes the Authorization header of a
// request. Basic is never answered: it would send the password in clear.
//
// Threads: any (pure functions).
class HttpDigest
{
public:
    struct Challenge
    {
        QString realm;
        QString nonce;
        QString opaque; // null when the server sent none
        QString algorithm = QStringLiteral("MD5");
        bool qopAuth = false; // qop="auth" offered (else the old form without qop)
        bool stale = false;   // the nonce expired, the credentials were fine
    };

    static constexpr qsizetype MaxHeaderBytes = 8192;

    // The best Digest challenge among the values of the WWW-Authenticate
    // headers (SHA-256 before MD5); nothing when there is none we can answer.
    static std::optional<Challenge> parse(const QList<QByteArray> &wwwAuthenticate);

    // The Authorization header value for one request. nonceCount counts the
    // requests made with this challenge's nonce, from 1; cnonce is the
    // client's random text (drawn when empty).
    static QByteArray authorization(const Challenge &challenge, const QString &user,
                                    const QString &password, const QByteArray &method,
                                    const QByteArray &uri, quint32 nonceCount,
                                    QByteArray cnonce = QByteArray());
};
