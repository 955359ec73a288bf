#include "playback/ThumbnailCache.h"

ThumbnailCache::ThumbnailCache(int maxCount, qint64 maxBytes)
    : m_maxCount(qMax(1, maxCount))
    , m_maxBytes(qMax<qint64>(1, maxBytes))
{}

void ThumbnailCache::insert(const QString &key, qint64 keyMs, const QImage &image)
{
    if (const auto lane = m_index.find(key); lane != m_index.end()) {
        if (const auto old = lane->second.find(keyMs); old != lane->second.end())
            remove(old->second);
    }
    if (image.isNull() || image.sizeInBytes() > m_maxBytes)
        return;
    m_order.push_front({key, keyMs, image});
    m_index[key][keyMs] = m_order.begin();
    m_bytes += image.sizeInBytes();
    evict();
}

QImage ThumbnailCache::find(const QString &key, qint64 ms, qint64 toleranceMs, qint64 *keyMs)
{
    const auto lane = m_index.find(key);
    if (lane == m_index.end())
        return {};
    const auto &frames = lane->second;
    auto best = frames.end();
    // The nearest key frame is the first one at or after ms, or the one before it.
    auto after = frames.lower_bound(ms);
    if (after != frames.end() && after->first - ms <= toleranceMs)
        best = after;
    if (after != frames.begin()) {
        auto before = std::prev(after);
        if (ms - before->first <= toleranceMs &&
            (best == frames.end() || ms - before->first <= best->first - ms))
            best = before;
    }
    if (best == frames.end())
        return {};
    m_order.splice(m_order.begin(), m_order, best->second);
    if (keyMs)
        *keyMs = best->first;
    return best->second->image;
}

bool ThumbnailCache::contains(const QString &key, qint64 keyMs) const
{
    const auto lane = m_index.find(key);
    return lane != m_index.end() && lane->second.count(keyMs) > 0;
}

void ThumbnailCache::clear()
{
    m_order.clear();
    m_index.clear();
    m_bytes = 0;
}

void ThumbnailCache::evict()
{
    while (!m_order.empty() && (count() > m_maxCount || m_bytes > m_maxBytes))
        remove(std::prev(m_order.end()));
}

void ThumbnailCache::remove(Order::iterator it)
{
    m_bytes -= it->image.sizeInBytes();
    auto lane = m_index.find(it->key);
    lane->second.erase(it->keyMs);
    if (lane->second.empty())
        m_index.erase(lane);
    m_order.erase(it);
}
