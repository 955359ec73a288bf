#include "RateLimiter.h"

namespace accountd {

RateLimiter::RateLimiter(int limit, qint64 windowMs)
    : m_limit(limit)
    , m_windowMs(windowMs)
{}

void RateLimiter::expire(QList<qint64> &times, qint64 nowMs) const
{
    while (!times.isEmpty() && times.first() + m_windowMs <= nowMs)
        times.removeFirst();
}

qint64 RateLimiter::retryAfterMs(const QString &key, qint64 nowMs)
{
    auto it = m_failures.find(key);
    if (it == m_failures.end())
        return 0;
    expire(*it, nowMs);
    if (it->isEmpty()) {
        m_failures.erase(it);
        return 0;
    }
    if (it->size() < m_limit)
        return 0;
    return it->at(it->size() - m_limit) + m_windowMs - nowMs;
}

void RateLimiter::recordFailure(const QString &key, qint64 nowMs)
{
    if (!m_failures.contains(key) && m_failures.size() >= maxKeys) {
        // Forget expired keys; if all are live, forget the one whose last failure is oldest.
        for (auto it = m_failures.begin(); it != m_failures.end();) {
            expire(*it, nowMs);
            it = it->isEmpty() ? m_failures.erase(it) : std::next(it);
        }
        if (m_failures.size() >= maxKeys) {
            auto oldest = m_failures.begin();
            for (auto it = m_failures.begin(); it != m_failures.end(); ++it) {
                if (it->last() < oldest->last())
                    oldest = it;
            }
            m_failures.erase(oldest);
        }
    }
    QList<qint64> &times = m_failures[key];
    expire(times, nowMs);
    times.append(nowMs);
    while (times.size() > m_limit)
        times.removeFirst();
}

void RateLimiter::reset(const QString &key)
{
    m_failures.remove(key);
}

} // namespace accountd
