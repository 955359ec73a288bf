#pragma once

#include <QByteArray>

namespace devsim {

// Compares a received secret (digest, response) with the expected one in time that depends
// only on their lengths, so the comparison tells an attacker nothing about the prefix.
inline bool secretEquals(const QByteArray &received, const QByteArray &expected)
{
    if (received.size() != expected.size())
        return false;
    unsigned char diff = 0;
    for (int i = 0; i < received.size(); ++i)
        diff |= static_cast<unsigned char>(received.at(i) ^ expected.at(i));
    return diff == 0;
}

} // namespace devsim
