#pragma once

#include <QByteArray>
#include <QString>

namespace accountd {

// Random values and digests from OpenSSL's libcrypto. Any thread.
namespace Secrets {

// `size` bytes from the cryptographic generator; empty when it failed.
QByteArray randomBytes(int size);

// A new bearer token: 256 random bits as unpadded base64url (43 characters, safe in a form
// body and a URL without escaping). Empty when the generator failed.
QString newToken();

// Lower-case hex SHA-256 of the UTF-8 text; tokens are stored only in this form.
QString sha256Hex(const QString &text);

// Comparison whose time does not depend on where the arrays differ.
bool equalConstantTime(const QByteArray &a, const QByteArray &b);

} // namespace Secrets
} // namespace accountd
