#include "ThumbnailService.h"

#include "IoControl.h"
#include "PlaybackControl.h"
#include "PlaybackPicture.h"

#include <QBuffer>
#include <QImage>

#include <algorithm>
#include <vector>

namespace devsim {

namespace {

constexpr int kRequestSize = 20;
constexpr std::uint32_t kOk = 0, kNothing = 1, kBad = 2;

std::uint8_t clampByte(int v)
{
    return static_cast<std::uint8_t>(std::clamp(v, 0, 255));
}

// BT.601 limited range I420 to RGB888, as the streams' decoders read it.
QImage toImage(const std::vector<std::uint8_t> planes[3], int w, int h)
{
    QImage image(w, h, QImage::Format_RGB888);
    for (int y = 0; y < h; ++y) {
        std::uint8_t *out = image.scanLine(y);
        const std::uint8_t *luma = planes[0].data() + std::size_t(y) * w;
        const std::uint8_t *u = planes[1].data() + std::size_t(y / 2) * (w / 2);
        const std::uint8_t *v = planes[2].data() + std::size_t(y / 2) * (w / 2);
        for (int x = 0; x < w; ++x) {
            const int c = 298 * (luma[x] - 16), d = u[x / 2] - 128, e = v[x / 2] - 128;
            out[3 * x] = clampByte((c + 409 * e + 128) >> 8);
            out[3 * x + 1] = clampByte((c - 100 * d - 208 * e + 128) >> 8);
            out[3 * x + 2] = clampByte((c + 516 * d + 128) >> 8);
        }
    }
    return image;
}

} // namespace

ThumbnailService::ThumbnailService(const DeviceConfig &config, RecordStore store, FrameGrid grid,
                                   Answer answer)
    : m_config(config)
    , m_store(std::move(store))
    , m_grid(grid)
    , m_answer(std::move(answer))
{
    m_thread = std::thread([this] { run(); });
}

ThumbnailService::~ThumbnailService()
{
    stop();
}

void ThumbnailService::stop()
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_stop = true;
        m_queue.clear();
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

QString ThumbnailService::request(int session, int avChannel, const QByteArray &payload)
{
    if (payload.size() < kRequestSize)
        return QStringLiteral("bad thumb");
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (m_stop || m_queue.size() >= MaxQueued)
            return QStringLiteral("thumb %1 - busy")
                .arg(IoControl::readU32(payload, 0).value_or(0));
        m_queue.push_back({session, avChannel, payload});
    }
    m_wake.notify_one();
    return QString();
}

void ThumbnailService::run()
{
    std::unique_lock<std::mutex> lock(m_lock);
    while (true) {
        m_wake.wait(lock, [this] { return m_stop || !m_queue.empty(); });
        if (m_stop)
            return;
        const Job job = m_queue.front();
        m_queue.pop_front();
        lock.unlock();
        serve(job);
        lock.lock();
    }
}

void ThumbnailService::serve(const Job &job)
{
    const std::uint32_t channel = IoControl::readU32(job.payload, 0).value_or(0);
    const std::uint32_t id = IoControl::readU32(job.payload, 12).value_or(0);
    const std::optional<qint64> at = PlaybackControl::readDeviceTime(job.payload, 4);
    const int width = static_cast<std::uint8_t>(job.payload.at(16)) |
                      static_cast<std::uint8_t>(job.payload.at(17)) << 8;
    std::uint32_t result = kOk;
    std::optional<qint64> keyMs;
    QByteArray jpegBytes;
    if (channel >= std::uint32_t(m_config.channels) || !at || width < MinWidth ||
        width > MaxWidth) {
        result = kBad;
    } else if (!(keyMs = nearestKeyMs(m_store, m_grid, *at * 1000))) {
        result = kNothing;
    } else {
        jpegBytes = cachedJpeg(int(channel), *keyMs, width);
        if (jpegBytes.isEmpty())
            result = kBad;
    }
    const qint64 shownMs = result == kOk ? *keyMs : 0;
    QByteArray out = IoControl::u32(channel) + IoControl::u32(id) + IoControl::u32(result);
    out += result == kOk ? PlaybackControl::deviceTime(shownMs / 1000) : QByteArray(8, '\0');
    const std::uint16_t ms = result == kOk ? std::uint16_t(shownMs % 1000) : 0;
    out += char(ms & 0xFF);
    out += char(ms >> 8);
    out += QByteArray(2, '\0');
    out += IoControl::u32(std::uint32_t(jpegBytes.size()));
    out += jpegBytes;
    const QString status =
        QStringLiteral("thumb %1 %2 %3")
            .arg(channel)
            .arg(at ? PlaybackControl::timeText(*at * 1000) : QStringLiteral("-"))
            .arg(result == kOk        ? PlaybackControl::timeText(shownMs, true)
                 : result == kNothing ? QStringLiteral("none")
                                      : QStringLiteral("bad"));
    m_answer(job.session, job.avChannel, out, status);
}

QByteArray ThumbnailService::cachedJpeg(int channel, qint64 keyMs, int width)
{
    for (auto it = m_cache.begin(); it != m_cache.end(); ++it) {
        if (it->channel == channel && it->keyMs == keyMs && it->width == width) {
            m_cache.splice(m_cache.begin(), m_cache, it);
            return m_cache.front().jpeg;
        }
    }
    QByteArray bytes = jpeg(m_config, m_grid, channel, keyMs, width);
    if (!bytes.isEmpty()) {
        m_cache.push_front({channel, keyMs, width, bytes});
        if (m_cache.size() > CacheSize)
            m_cache.pop_back();
    }
    return bytes;
}

std::optional<qint64> ThumbnailService::nearestKeyMs(const RecordStore &store,
                                                     const FrameGrid &grid, qint64 utcMs)
{
    const QList<RecordStore::Recording> &all = store.recordings();
    // The first recording that ends after the time, and the one before it.
    const auto next = std::upper_bound(
        all.cbegin(), all.cend(), utcMs,
        [](qint64 t, const RecordStore::Recording &r) { return t < r.end() * 1000; });
    std::vector<qint64> candidates;
    if (next != all.cend()) {
        const qint64 startMs = next->start * 1000, endMs = next->end() * 1000;
        if (startMs <= utcMs) {
            const qint64 key = grid.keyAtOrBefore(grid.indexAt(startMs, utcMs));
            candidates.push_back(grid.frameMs(startMs, key));
            const qint64 after = grid.frameMs(startMs, key + grid.gopFrames);
            if (after < endMs)
                candidates.push_back(after);
        } else {
            candidates.push_back(startMs);
        }
    }
    if (next != all.cbegin()) {
        const RecordStore::Recording &prev = *std::prev(next);
        const qint64 startMs = prev.start * 1000;
        candidates.push_back(
            grid.frameMs(startMs, grid.keyAtOrBefore(grid.lastIndex(startMs, prev.end() * 1000))));
    }
    std::optional<qint64> best;
    for (const qint64 c : candidates) {
        if (std::abs(c - utcMs) <= ReachMs &&
            (!best || std::abs(c - utcMs) < std::abs(*best - utcMs)))
            best = c;
    }
    return best;
}

QByteArray ThumbnailService::jpeg(const DeviceConfig &config, const FrameGrid &grid, int channel,
                                  qint64 utcMs, int maxWidth)
{
    const int w = config.sd.width(), h = config.sd.height();
    std::vector<std::uint8_t> planes[3] = {std::vector<std::uint8_t>(std::size_t(w) * h),
                                           std::vector<std::uint8_t>(std::size_t(w) * h / 4),
                                           std::vector<std::uint8_t>(std::size_t(w) * h / 4)};
    TestPattern::Picture picture{
        {planes[0].data(), planes[1].data(), planes[2].data()}, {w, w / 2, w / 2}, w, h};
    PlaybackPicture::render(picture, config, grid, channel, utcMs);
    QImage image = toImage(planes, w, h);
    if (maxWidth < w)
        image = image.scaledToWidth(maxWidth, Qt::SmoothTransformation);
    for (int quality = 85; quality > 0; quality -= 15) {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        if (!image.save(&buffer, "JPEG", quality))
            return QByteArray();
        if (bytes.size() <= MaxJpeg)
            return bytes;
    }
    return QByteArray();
}

} // namespace devsim
