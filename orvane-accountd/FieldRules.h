#pragma once

#include <QString>

#include <optional>

namespace accountd {

// Checks of the values that clients send. Each returns an empty string when the value is
// acceptable, else the reason to refuse it, naming `field`. Pure, any thread.
namespace FieldRules {

constexpr int maxNameLength = 64;
constexpr int minPasswordLength = 6;
constexpr int maxPasswordLength = 128;
constexpr int maxTextLength = 128;
constexpr int maxChannels = 64;

// 1 to 64 characters, no control characters, not "Admin" (the client's local account name).
QString userName(const QString &value);
QString password(const QString &field, const QString &value);
// At most maxTextLength characters and no control characters; may be empty.
QString text(const QString &field, const QString &value);
// 1 to 64 characters of A-Z a-z 0-9 "-" "_".
QString deviceUid(const QString &value);

// How a device is reached: kind "" or "p2p" with no streams, ONVIF host or
// transport; kind "rtsp" with a stream list and/or an ONVIF host. Streams:
// at most maxStreams lines "URL" or "URL|URL", each URL rtsp:// or rtsps://,
// at most maxUrlLength characters, without spaces, control characters or
// credentials (they stay with the view account and password). ONVIF host:
// "host[:port]", at most maxHostLength characters. Transport "", "tcp" or
// "udp".
constexpr int maxStreams = 64;
constexpr int maxUrlLength = 2048;
constexpr int maxHostLength = 262;
QString deviceSource(const QString &kind, const QString &streams, const QString &onvif,
                     const QString &transport);

// A decimal integer within [min, max], or nothing.
std::optional<int> integer(const QString &value, int min, int max);

} // namespace FieldRules
} // namespace accountd
