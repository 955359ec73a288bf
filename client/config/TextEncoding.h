#pragma once

#include <QString>

// Reversible encoding of the user names, passwords, UIDs and nick names kept
// in the settings files: three rounds of Base64 over the text wrapped in 3, 2
// and 1 random letters or digits, so equal texts are stored differently.
// Not a secret: there is no key. Any thread.
QString encodeText(const QString &text);

// Undoes encodeText. A value that is not a valid encoding (bad Base64, too
// short for its padding, invalid UTF-8) decodes to an empty string.
QString decodeText(const QString &stored);
// The same, telling a valid encoding apart from one that is not: false (and
// *text empty) for a value that is not a valid encoding. The empty value is
// valid: it decodes to the empty string.
bool decodeText(const QString &stored, QString *text);
