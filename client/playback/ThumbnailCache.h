#pragma once

#include <QImage>
#include <QString>

#include <list>
#include <map>

// Thumbnails of recorded key frames, least recently used first out, bounded
// by a count and by the bytes of the images. Keyed by a lane (channel) key
// and the key frame's moment; find() accepts any key frame within a
// tolerance of the moment asked for, so hovering near a key frame reuses it.
// Plain value type; one thread at a time.
class ThumbnailCache
{
public:
    explicit ThumbnailCache(int maxCount = 256, qint64 maxBytes = 32 * 1024 * 1024);

    // Replaces an image of the same key frame. An image larger than the byte
    // bound, or a null one, is not kept.
    void insert(const QString &key, qint64 keyMs, const QImage &image);
    // The cached key frame of key nearest to ms, if within toleranceMs
    // (a null image otherwise); it becomes the most recently used. Its
    // moment goes to *keyMs when given.
    QImage find(const QString &key, qint64 ms, qint64 toleranceMs, qint64 *keyMs = nullptr);
    bool contains(const QString &key, qint64 keyMs) const;
    void clear();

    int count() const { return int(m_order.size()); }
    qint64 bytes() const { return m_bytes; }

private:
    struct Entry
    {
        QString key;
        qint64 keyMs;
        QImage image;
    };
    using Order = std::list<Entry>; // most recently used first

    void evict();
    void remove(Order::iterator it);

    int m_maxCount;
    qint64 m_maxBytes;
    qint64 m_bytes = 0;
    Order m_order;
    std::map<QString, std::map<qint64, Order::iterator>> m_index;
};
