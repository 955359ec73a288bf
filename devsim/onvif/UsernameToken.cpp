#include "UsernameToken.h"

#include "SecretCompare.h"
#include "SoapNamespaces.h"
#include "XmlNode.h"

#include <QCryptographicHash>
#include <QTimeZone>

namespace devsim {

namespace {

constexpr int kMaxFieldSize = 256; // longer user names, nonces or times are garbage

std::optional<QByteArray> base64(const QString &text)
{
    const auto decoded =
        QByteArray::fromBase64Encoding(text.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || decoded.decoded.isEmpty())
        return std::nullopt;
    return decoded.decoded;
}

} // namespace

UsernameToken::UsernameToken(const QString &account, const QString &password)
    : m_account(account)
    , m_password(password.toUtf8())
{}

const char *UsernameToken::text(Result result)
{
    switch (result) {
    case Result::Ok:
        return "accepted";
    case Result::Missing:
        return "no UsernameToken";
    case Result::Malformed:
        return "malformed UsernameToken";
    case Result::Refused:
        return "wrong user name or password";
    case Result::Expired:
        return "the token's creation time is out of range";
    case Result::Replayed:
        return "the nonce was used before";
    }
    return "?";
}

UsernameToken::Result UsernameToken::check(const XmlNode *header, const QDateTime &now)
{
    const XmlNode *security =
        header ? header->child(SoapNs::Security, QStringLiteral("Security")) : nullptr;
    const XmlNode *token =
        security ? security->child(SoapNs::Security, QStringLiteral("UsernameToken")) : nullptr;
    if (!token)
        return Result::Missing;
    const XmlNode *password = token->child(SoapNs::Security, QStringLiteral("Password"));
    const std::optional<QString> user =
        token->childText(SoapNs::Security, QStringLiteral("Username"));
    const std::optional<QString> nonceText =
        token->childText(SoapNs::Security, QStringLiteral("Nonce"));
    const std::optional<QString> createdText =
        token->childText(SoapNs::Utility, QStringLiteral("Created"));
    if (!password || !user || !nonceText || !createdText || user->size() > kMaxFieldSize ||
        nonceText->size() > kMaxFieldSize || createdText->size() > kMaxFieldSize)
        return Result::Malformed;
    if (password->attribute(QStringLiteral("Type")).value_or(QString()) != SoapNs::PasswordDigest)
        return Result::Refused; // PasswordText or an unknown type
    const std::optional<QByteArray> digest = base64(password->text);
    const std::optional<QByteArray> nonce = base64(*nonceText);
    QDateTime created = QDateTime::fromString(*createdText, Qt::ISODateWithMs);
    if (!digest || !nonce || !created.isValid())
        return Result::Malformed;
    if (created.timeSpec() == Qt::LocalTime) // no zone given: UTC, as the schema's times are
        created = QDateTime(created.date(), created.time(), QTimeZone::utc());
    created = created.toUTC();

    const QByteArray expected = QCryptographicHash::hash(
        *nonce + createdText->toUtf8() + m_password, QCryptographicHash::Sha1);
    // Both compared every time, so that the time taken tells nothing about the user name.
    const bool digestOk = secretEquals(*digest, expected);
    const bool userOk = secretEquals(user->toUtf8(), m_account.toUtf8());
    if (!digestOk || !userOk)
        return Result::Refused;
    if (qAbs(created.secsTo(now)) > MaxAgeSecs)
        return Result::Expired;
    forgetBefore(now);
    if (m_nonces.count(*nonce))
        return Result::Replayed;
    if (static_cast<int>(m_nonces.size()) >= MaxNonces)
        return Result::Replayed; // cannot tell: refuse rather than forget a live nonce
    const QDateTime expiry = std::max(created, now).addSecs(MaxAgeSecs + 1);
    m_nonces.emplace(*nonce, expiry);
    m_nonceExpiry.emplace(expiry, *nonce);
    return Result::Ok;
}

void UsernameToken::forgetBefore(const QDateTime &now)
{
    while (!m_nonceExpiry.empty() && m_nonceExpiry.begin()->first < now) {
        m_nonces.erase(m_nonceExpiry.begin()->second);
        m_nonceExpiry.erase(m_nonceExpiry.begin());
    }
}

} // namespace devsim
