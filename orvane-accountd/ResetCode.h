#pragma once

#include <QString>

namespace accountd {

// One-time codes with which a user sets a new password without the old one, handed out by
// an administrator (`orvane-accountd reset-password NAME`). A code is 80 random bits written
// as 16 characters of Crockford's base-32 alphabet in groups of four ("7K3M-QX9P-2HRT-WC4N"),
// easy to read out and safe in a URL. The database keeps only its digest. Pure, any thread.
namespace ResetCode {

constexpr qint64 lifetimeMs = 30 * 60 * 1000;
constexpr int maxTextLength = 64; // longer input is not a code, whatever it holds

// A new code; empty when the random generator failed.
QString create();

// Lower-case hex SHA-256 of the code's canonical form (upper case, without "-" and spaces,
// O read as 0 and I, L as 1), so that a code typed loosely still matches. Empty when `text`
// cannot be a code.
QString digest(const QString &text);

} // namespace ResetCode
} // namespace accountd
