#pragma once

#include <QString>

#include <optional>

namespace accountd {

// The client's reversible text encoding of stored user names and passwords: three nested
// rounds of Base64 over the text framed by random prefixes of 3, 2 and 1 characters
// ([a-z0-9]) that repeat at the end of each round. It hides nothing; the client sends login
// passwords in it, so the service undoes it before checking a password. Pure, any thread.
namespace StoredText {

QString encode(const QString &text);

// The encoded text, or nothing when `encoded` is not exactly this encoding (each round must
// be strict Base64 whose decoding starts and ends with the same [a-z0-9] prefix, and the
// innermost text must be valid UTF-8).
std::optional<QString> decode(const QString &encoded);

// A password as a form carried it: the client's encoding is undone when the value is in it,
// otherwise the value is the password as typed. Form decoding turns an unescaped "+" into a
// space, which Base64 never holds, so spaces are read as "+" for the decoding attempt.
QString passwordFromForm(const QString &value);

} // namespace StoredText
} // namespace accountd
