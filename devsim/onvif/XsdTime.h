#pragma once

#include <QDateTime>
#include <QString>

#include <optional>

namespace devsim {

// XML Schema times as ONVIF messages carry them. Reads untrusted text; plain functions, any
// thread.
namespace XsdTime {

// An xs:duration ("PT10S", "P1DT2H", "PT0.5S") in milliseconds; nullopt when malformed,
// negative, longer than 32 characters or over MaxDurationMs. Years count 365 days, months 30.
inline constexpr qint64 MaxDurationMs = qint64(10) * 366 * 86400 * 1000;
std::optional<qint64> parseDuration(const QString &text);
// "PT<n>S", or with milliseconds "PT<n>.<mmm>S".
QString duration(qint64 ms);

// An xs:dateTime with "Z", an offset or no zone (taken as UTC), years 1970 to 2100; nullopt
// when malformed.
std::optional<QDateTime> parseDateTime(const QString &text);
// UTC, "2024-05-01T12:00:00Z", with ".mmm" when the milliseconds are not zero.
QString dateTime(const QDateTime &at);
QString dateTime(qint64 utcSeconds);

} // namespace XsdTime

} // namespace devsim
