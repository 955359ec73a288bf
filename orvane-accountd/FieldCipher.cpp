#include "FieldCipher.h"

#include "Secrets.h"

#include <QFile>
#include <QSaveFile>

#include <openssl/evp.h>

#include <memory>

namespace accountd {

namespace {

constexpr int keyBytes = 32;
constexpr int nonceBytes = 12;
constexpr int tagBytes = 16;
const QByteArray sealPrefix = QByteArrayLiteral("v1:");
const QByteArray associatedData = QByteArrayLiteral("orvane-accountd field");

struct CipherContextFree
{
    void operator()(EVP_CIPHER_CTX *ctx) const { EVP_CIPHER_CTX_free(ctx); }
};
using CipherContext = std::unique_ptr<EVP_CIPHER_CTX, CipherContextFree>;

unsigned char *bytes(QByteArray &a)
{
    return reinterpret_cast<unsigned char *>(a.data());
}

const unsigned char *bytes(const QByteArray &a)
{
    return reinterpret_cast<const unsigned char *>(a.constData());
}

} // namespace

bool FieldCipher::loadKey(const QString &path, QString *error)
{
    QFile file(path);
    if (file.exists()) {
        if (!file.open(QIODevice::ReadOnly)) {
            *error = QStringLiteral("cannot read key file %1: %2").arg(path, file.errorString());
            return false;
        }
        const QByteArray hex = file.read(256).trimmed();
        const QByteArray key = QByteArray::fromHex(hex);
        if (hex.size() != 2 * keyBytes || key.size() != keyBytes) {
            *error = QStringLiteral("key file %1 does not hold 64 hex digits").arg(path);
            return false;
        }
        m_key = key;
        return true;
    }
    const QByteArray key = Secrets::randomBytes(keyBytes);
    QSaveFile out(path);
    if (key.isEmpty() || !out.open(QIODevice::WriteOnly)) {
        *error = QStringLiteral("cannot create key file %1").arg(path);
        return false;
    }
    out.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    out.write(key.toHex() + '\n');
    if (!out.commit()) {
        *error = QStringLiteral("cannot write key file %1: %2").arg(path, out.errorString());
        return false;
    }
    m_key = key;
    return true;
}

QString FieldCipher::seal(const QString &plain) const
{
    if (m_key.size() != keyBytes)
        return QString();
    const QByteArray nonce = Secrets::randomBytes(nonceBytes);
    const QByteArray in = plain.toUtf8();
    CipherContext ctx(EVP_CIPHER_CTX_new());
    if (nonce.isEmpty() || !ctx)
        return QString();
    QByteArray out(in.size() + tagBytes, Qt::Uninitialized);
    int length = 0, finalLength = 0;
    if (EVP_EncryptInit_ex(ctx.get(), EVP_aes_256_gcm(), nullptr, bytes(m_key), bytes(nonce)) !=
            1 ||
        EVP_EncryptUpdate(ctx.get(), nullptr, &length, bytes(associatedData),
                          int(associatedData.size())) != 1 ||
        EVP_EncryptUpdate(ctx.get(), bytes(out), &length, bytes(in), int(in.size())) != 1 ||
        EVP_EncryptFinal_ex(ctx.get(), bytes(out) + length, &finalLength) != 1 ||
        EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_GET_TAG, tagBytes,
                            bytes(out) + length + finalLength) != 1)
        return QString();
    out.truncate(length + finalLength + tagBytes);
    return QString::fromLatin1(sealPrefix + (nonce + out).toBase64());
}

std::optional<QString> FieldCipher::open(const QString &sealed) const
{
    const QByteArray text = sealed.toLatin1();
    if (m_key.size() != keyBytes || !text.startsWith(sealPrefix))
        return std::nullopt;
    const QByteArray raw = QByteArray::fromBase64(text.mid(sealPrefix.size()));
    if (raw.size() < nonceBytes + tagBytes)
        return std::nullopt;
    const QByteArray nonce = raw.left(nonceBytes);
    const QByteArray cipher = raw.mid(nonceBytes, raw.size() - nonceBytes - tagBytes);
    QByteArray tag = raw.right(tagBytes);
    CipherContext ctx(EVP_CIPHER_CTX_new());
    if (!ctx)
        return std::nullopt;
    QByteArray out(cipher.size() + 16, Qt::Uninitialized);
    int length = 0, finalLength = 0;
    if (EVP_DecryptInit_ex(ctx.get(), EVP_aes_256_gcm(), nullptr, bytes(m_key), bytes(nonce)) !=
            1 ||
        EVP_DecryptUpdate(ctx.get(), nullptr, &length, bytes(associatedData),
                          int(associatedData.size())) != 1 ||
        EVP_DecryptUpdate(ctx.get(), bytes(out), &length, bytes(cipher), int(cipher.size())) != 1 ||
        EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_SET_TAG, tagBytes, bytes(tag)) != 1 ||
        EVP_DecryptFinal_ex(ctx.get(), bytes(out) + length, &finalLength) != 1)
        return std::nullopt;
    out.truncate(length + finalLength);
    return QString::fromUtf8(out);
}

} // namespace accountd
