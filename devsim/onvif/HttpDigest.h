#pragma once

#include <QByteArray>
#include <QString>

#include <map>
#include <optional>

namespace devsim {

// HTTP Digest access authentication (RFC 7616, RFC 2617) of one account, server side: MD5,
// qop "auth". Nonces are made here, carry their time and an HMAC under a key of this object,
// and live NonceLifetimeSecs (then "stale"); each nonce's count (nc) must grow, so a request is
// not taken twice. Only H(account:realm:password) is kept, not the password.
//
// Threads: one at a time (the ONVIF server's).
class HttpDigest
{
public:
    static constexpr int NonceLifetimeSecs = 300;
    static constexpr int MaxNonces = 4096;
    static constexpr int MaxHeaderSize = 4096;

    enum class Result { Ok, Missing, Malformed, Refused, Stale, Replayed };

    HttpDigest(const QString &realm, const QString &account, const QString &password);

    // The value of the WWW-Authenticate header of a 401 answer; `stale` tells the client that
    // only the nonce expired.
    QByteArray challenge(bool stale, qint64 nowMs) const;
    // Checks an Authorization header of a request with this method and request target.
    Result check(const QByteArray &method, const QByteArray &target,
                 const QByteArray &authorization, qint64 nowMs);

    // The parameters of "Digest k=v, k="v", ..." (keys lower-case); nullopt when malformed.
    static std::optional<std::map<QByteArray, QByteArray>> parse(const QByteArray &authorization);

    static const char *text(Result result);

private:
    QByteArray nonceAt(qint64 ms) const;
    // The time a nonce of ours was made, or nullopt when it is not ours.
    std::optional<qint64> nonceTime(const QByteArray &nonce) const;

    QByteArray m_realm;
    QByteArray m_account;
    QByteArray m_ha1;
    QByteArray m_key;
    std::map<QByteArray, quint32> m_lastCount; // by nonce
};

} // namespace devsim
