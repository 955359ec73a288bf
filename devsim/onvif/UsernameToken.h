#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <map>

namespace devsim {

class XmlNode;

// Checks the WS-Security UsernameToken of SOAP requests against one account: the password
// digest Base64(SHA-1(nonce + created + password)), a creation time at most MaxAgeSecs old
// (and no more than that ahead of the device's clock), and a nonce not seen before. Nonces are
// remembered until their token could no longer pass; at most MaxNonces at once.
// Plain passwords (PasswordText) are refused: they would travel in clear.
//
// Threads: one at a time (the ONVIF server's).
class UsernameToken
{
public:
    static constexpr int MaxAgeSecs = 300;
    static constexpr int MaxNonces = 4096;

    enum class Result { Ok, Missing, Malformed, Refused, Expired, Replayed };

    UsernameToken(const QString &account, const QString &password);

    // `header` is the request's SOAP header (may be null); `now` the device's clock.
    Result check(const XmlNode *header, const QDateTime &now);

    static const char *text(Result result);

private:
    void forgetBefore(const QDateTime &now);

    QString m_account;
    QByteArray m_password;
    std::multimap<QDateTime, QByteArray> m_nonceExpiry; // when each nonce may go
    std::map<QByteArray, QDateTime> m_nonces;
};

} // namespace devsim
