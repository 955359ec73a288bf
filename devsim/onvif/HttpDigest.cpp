#include "HttpDigest.h"

#include "SecretCompare.h"

#include <QCryptographicHash>
#include <QMessageAuthenticationCode>
#include <QRandomGenerator>

namespace devsim {

namespace {

constexpr int kMaxParams = 16;

QByteArray md5Hex(const QByteArray &data)
{
    return QCryptographicHash::hash(data, QCryptographicHash::Md5).toHex();
}

bool isTokenChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           QByteArray("!#$%&'*+-.^_`|~").contains(c);
}

} // namespace

HttpDigest::HttpDigest(const QString &realm, const QString &account, const QString &password)
    : m_realm(realm.toUtf8())
    , m_account(account.toUtf8())
    , m_ha1(md5Hex(account.toUtf8() + ':' + realm.toUtf8() + ':' + password.toUtf8()))
    , m_key(32, '\0')
{
    QRandomGenerator::system()->generate(m_key.begin(), m_key.end());
}

const char *HttpDigest::text(Result result)
{
    switch (result) {
    case Result::Ok:
        return "accepted";
    case Result::Missing:
        return "no digest credentials";
    case Result::Malformed:
        return "malformed digest credentials";
    case Result::Refused:
        return "wrong user name or password";
    case Result::Stale:
        return "the nonce expired";
    case Result::Replayed:
        return "the request was seen before";
    }
    return "?";
}

QByteArray HttpDigest::nonceAt(qint64 ms) const
{
    const QByteArray time = QByteArray::number(ms, 16);
    return time + '-' +
           QMessageAuthenticationCode::hash(time, m_key, QCryptographicHash::Sha256)
               .toHex()
               .left(32);
}

std::optional<qint64> HttpDigest::nonceTime(const QByteArray &nonce) const
{
    const int dash = nonce.indexOf('-');
    if (dash <= 0 || dash > 16)
        return std::nullopt;
    bool ok = false;
    const qint64 ms = nonce.left(dash).toLongLong(&ok, 16);
    if (!ok || !secretEquals(nonce, nonceAt(ms)))
        return std::nullopt;
    return ms;
}

QByteArray HttpDigest::challenge(bool stale, qint64 nowMs) const
{
    return "Digest realm=\"" + m_realm + "\", qop=\"auth\", algorithm=MD5, nonce=\"" +
           nonceAt(nowMs) + "\"" + (stale ? ", stale=true" : "");
}

std::optional<std::map<QByteArray, QByteArray>> HttpDigest::parse(const QByteArray &authorization)
{
    if (authorization.size() > MaxHeaderSize ||
        !authorization.trimmed().toLower().startsWith("digest "))
        return std::nullopt;
    const QByteArray text = authorization.trimmed().mid(7);
    std::map<QByteArray, QByteArray> params;
    int i = 0;
    const auto skipSpace = [&] {
        while (i < text.size() && (text.at(i) == ' ' || text.at(i) == '\t'))
            ++i;
    };
    while (true) {
        skipSpace();
        const int keyStart = i;
        while (i < text.size() && isTokenChar(text.at(i)))
            ++i;
        const QByteArray key = text.mid(keyStart, i - keyStart).toLower();
        skipSpace();
        if (key.isEmpty() || i >= text.size() || text.at(i) != '=')
            return std::nullopt;
        ++i;
        skipSpace();
        QByteArray value;
        if (i < text.size() && text.at(i) == '"') {
            for (++i; i < text.size() && text.at(i) != '"'; ++i) {
                if (text.at(i) == '\\' && ++i >= text.size())
                    return std::nullopt;
                value.append(text.at(i));
            }
            if (i >= text.size())
                return std::nullopt; // unterminated quoted string
            ++i;
        } else {
            const int valueStart = i;
            while (i < text.size() && isTokenChar(text.at(i)))
                ++i;
            value = text.mid(valueStart, i - valueStart);
        }
        if (params.count(key) || static_cast<int>(params.size()) >= kMaxParams)
            return std::nullopt;
        params.emplace(key, value);
        skipSpace();
        if (i >= text.size())
            return params;
        if (text.at(i) != ',')
            return std::nullopt;
        ++i;
    }
}

HttpDigest::Result HttpDigest::check(const QByteArray &method, const QByteArray &target,
                                     const QByteArray &authorization, qint64 nowMs)
{
    if (authorization.isEmpty() || !authorization.trimmed().toLower().startsWith("digest "))
        return Result::Missing;
    const auto params = parse(authorization);
    if (!params)
        return Result::Malformed;
    const auto value = [&](const char *key) {
        const auto it = params->find(key);
        return it == params->end() ? QByteArray() : it->second;
    };
    const QByteArray nonce = value("nonce"), nc = value("nc"), cnonce = value("cnonce");
    const QByteArray response = value("response"), algorithm = value("algorithm");
    bool countOk = false;
    const quint32 count = nc.toUInt(&countOk, 16);
    if (value("username").isEmpty() || nonce.isEmpty() || cnonce.isEmpty() ||
        value("uri").isEmpty() || response.size() != 32 || nc.size() != 8 || !countOk ||
        value("qop") != "auth" ||
        !(algorithm.isEmpty() || algorithm.compare("MD5", Qt::CaseInsensitive) == 0))
        return Result::Malformed;
    if (value("uri") != target || value("realm") != m_realm)
        return Result::Refused;
    const QByteArray ha2 = md5Hex(method + ':' + target);
    const QByteArray expected =
        md5Hex(m_ha1 + ':' + nonce + ':' + nc + ':' + cnonce + ":auth:" + ha2);
    const bool responseOk = secretEquals(response.toLower(), expected);
    const bool userOk = secretEquals(value("username"), m_account);
    if (!responseOk || !userOk)
        return Result::Refused;
    const std::optional<qint64> made = nonceTime(nonce);
    if (!made)
        return Result::Refused;
    if (nowMs - *made > NonceLifetimeSecs * 1000LL || *made - nowMs > 1000)
        return Result::Stale;
    if (static_cast<int>(m_lastCount.size()) >= MaxNonces) {
        for (auto it = m_lastCount.begin(); it != m_lastCount.end();) {
            const std::optional<qint64> t = nonceTime(it->first);
            it = (!t || nowMs - *t > NonceLifetimeSecs * 1000LL) ? m_lastCount.erase(it)
                                                                 : std::next(it);
        }
        if (static_cast<int>(m_lastCount.size()) >= MaxNonces)
            return Result::Stale; // a fresh nonce starts a fresh count
    }
    auto [it, added] = m_lastCount.emplace(nonce, count);
    if (!added) {
        if (count <= it->second)
            return Result::Replayed;
        it->second = count;
    }
    return Result::Ok;
}

} // namespace devsim
