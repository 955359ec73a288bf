#pragma once

#include <QHash>
#include <QList>
#include <QString>

namespace accountd {

// Counts failures per key (a user name, a client address) in a sliding window: once `limit`
// failures lie inside the last `windowMs`, the key is refused until the oldest of them leaves
// the window. Holds at most maxKeys keys; the oldest entries are dropped first. Main thread.
class RateLimiter
{
public:
    static constexpr int maxKeys = 10000;

    RateLimiter(int limit, qint64 windowMs);

    // 0 when the key may try now, else the milliseconds until it may.
    qint64 retryAfterMs(const QString &key, qint64 nowMs);
    void recordFailure(const QString &key, qint64 nowMs);
    void reset(const QString &key);

private:
    void expire(QList<qint64> &times, qint64 nowMs) const;

    int m_limit;
    qint64 m_windowMs;
    QHash<QString, QList<qint64>> m_failures;
};

} // namespace accountd
