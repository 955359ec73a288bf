#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace accountd {

// Encrypts values that must be given back in clear but should not lie readable in the
// database, such as a device's view password: AES-256-GCM under a key kept in a separate
// file (64 hex digits, created with mode 0600 when missing). Sealed values read
// "v1:<base64 of nonce, ciphertext and tag>". Any thread after loadKey().
class FieldCipher
{
public:
    // Reads the key file, or creates it with a new random key when it does not exist.
    bool loadKey(const QString &path, QString *error);
    void setKey(const QByteArray &key32) { m_key = key32; }

    QString seal(const QString &plain) const;
    // Nothing when the value was not sealed with this key or is damaged.
    std::optional<QString> open(const QString &sealed) const;

private:
    QByteArray m_key;
};

} // namespace accountd
