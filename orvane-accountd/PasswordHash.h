#pragma once

#include <QString>

namespace accountd {

// Salted scrypt hashes of account passwords, stored as
// "scrypt$<log2 N>$<r>$<p>$<salt base64>$<hash base64>" so that the cost can be raised later
// without invalidating stored hashes. Any thread; a hash costs about 32 MiB and a few tens of
// milliseconds.
namespace PasswordHash {

// A new hash with a fresh 16-byte random salt; empty when libcrypto failed.
QString create(const QString &password);

// Whether `password` matches `stored`. A malformed or unknown stored form never matches.
bool verify(const QString &password, const QString &stored);

// Spends the time of one verification without a stored hash, so that a login for an unknown
// user name takes as long as one with a wrong password.
void spendVerificationTime(const QString &password);

} // namespace PasswordHash
} // namespace accountd
