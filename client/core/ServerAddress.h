#pragma once

#include <QString>

// The account service's address as the user types it: "host", "host:port"
// or a URL. HTTPS is the default scheme; plain HTTP only to this machine
// (loopback), where nothing travels a network. No user name or password in
// the address, no query or fragment; a path (a service below a prefix) is
// kept. Any thread.
namespace ServerAddress {

inline constexpr int MaxLength = 512;

// The base URL to store (no trailing "/"), or an empty text and *error.
QString normalized(const QString &typed, QString *error);

} // namespace ServerAddress
