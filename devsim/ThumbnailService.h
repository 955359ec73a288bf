#pragma once

#include "DeviceConfig.h"
#include "FrameGrid.h"
#include "RecordStore.h"

#include <QByteArray>
#include <QString>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <list>
#include <mutex>
#include <optional>
#include <thread>

namespace devsim {

// Thumbnails of the recordings (IOCTRL_THUMBNAIL_REQ): a JPEG of the picture playback shows at
// the key frame nearest to the asked time, scaled down to the asked width, at most MaxJpeg
// bytes (the quality drops until it fits). Requests are checked on the caller's thread and
// made on the service's own worker thread, so the network thread never waits for a picture;
// the last few pictures are kept.
//
// Threads: request() from any thread; the answer function runs on the worker thread;
// stop() (also the destructor) from the thread that owns the service, and waits for the
// picture being made.
class ThumbnailService
{
public:
    static constexpr int MaxJpeg = 16000;
    static constexpr int MinWidth = 16;
    static constexpr int MaxWidth = 640;
    static constexpr qint64 ReachMs = 10 * 60 * 1000; // a key frame this near the time, at most
    static constexpr std::size_t MaxQueued = 64;
    static constexpr std::size_t CacheSize = 8;

    // The reply payload for (session, AV channel), and the status detail ("thumb ...").
    using Answer = std::function<void(int session, int avChannel, const QByteArray &payload,
                                      const QString &status)>;

    ThumbnailService(const DeviceConfig &config, RecordStore store, FrameGrid grid, Answer answer);
    ~ThumbnailService();

    ThumbnailService(const ThumbnailService &) = delete;
    ThumbnailService &operator=(const ThumbnailService &) = delete;

    // Takes a request; an empty string when it is queued (answered later), else the status
    // detail of a request refused without an answer (short payload, queue full).
    QString request(int session, int avChannel, const QByteArray &payload);
    void stop();

    // The key frame nearest to utcMs (any recording) within ReachMs; its time in ms.
    static std::optional<qint64> nearestKeyMs(const RecordStore &store, const FrameGrid &grid,
                                              qint64 utcMs);
    // The JPEG of the playback picture of `channel` at utcMs, width min(maxWidth, SD width);
    // empty when it cannot be made within MaxJpeg bytes.
    static QByteArray jpeg(const DeviceConfig &config, const FrameGrid &grid, int channel,
                           qint64 utcMs, int maxWidth);

private:
    struct Job
    {
        int session = 0;
        int avChannel = 0;
        QByteArray payload;
    };
    struct Cached
    {
        int channel = 0;
        qint64 keyMs = 0;
        int width = 0;
        QByteArray jpeg;
    };

    void run();
    void serve(const Job &job);
    QByteArray cachedJpeg(int channel, qint64 keyMs, int width);

    const DeviceConfig m_config;
    const RecordStore m_store;
    const FrameGrid m_grid;
    const Answer m_answer;

    std::mutex m_lock; // guards the queue and m_stop
    std::condition_variable m_wake;
    std::deque<Job> m_queue;
    bool m_stop = false;
    std::list<Cached> m_cache; // worker thread only; most recent first
    std::thread m_thread;
};

} // namespace devsim
