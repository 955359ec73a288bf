#pragma once

#include <QString>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

class RecordFile;
struct ChannelBufferItem;

// The files of one channel's export: one fragmented MP4 per recorded span
// (a new one at each frame flagged "span start"), its timeline the frames'
// recording time, with the A-law sound (if any arrives) as AAC. A file is
// written as "<name>.mp4.part" and gets its name when its span is complete:
// at the next span or at finish(). Sound and pictures may arrive a little
// out of step (they are taken from two queues): sound ahead of the pictures
// waits (at most MaxWaitingSoundMs and MaxWaitingSoundFrames), and the previous span's file takes
// late sound until the new span is LateSoundMs old.
//
// Threads: any thread; every method takes the writer's lock.
class ExportWriter
{
public:
    static constexpr uint16_t AlawCodecId = 138;
    static constexpr qint64 MaxWaitingSoundMs = 20000;
    static constexpr size_t MaxWaitingSoundFrames = 1000;
    static constexpr qint64 LateSoundMs = 1000;

    ExportWriter(const QString &folder, const QString &deviceName, int channelNumber,
                 qint64 fromUtcMs, qint64 toUtcMs);
    ~ExportWriter(); // discard(false) unless finished

    // One received frame; owns item. Malformed frames are dropped.
    void frame(ChannelBufferItem *item, bool video);
    // Completes the files of the spans; false and *error when one failed.
    bool finish(QString *error);
    // Removes the files not yet complete and, with completedToo, the complete
    // ones as well; later frames are ignored.
    void discard(bool completedToo);

    QStringList files() const;
    bool failed() const { return m_failedFlag.load(); }
    QString error() const;
    // Recording time of [from, to) covered so far (0..to-from).
    qint64 coveredMs() const { return m_covered.load(); }

    // "<device>_CH<n>_<yyyyMMdd-HHmmss of spanStart, local time>.mp4".
    static QString fileName(const QString &deviceName, int channelNumber, qint64 spanStartUtcMs);
    // The name without the characters file systems refuse (Windows' included).
    static QString sanitized(const QString &name);
    // One G.711 A-law byte as sent on the wire to a 16-bit sample.
    static int16_t alawSample(uint8_t code);

private:
    struct Span
    {
        std::unique_ptr<RecordFile> file;
        QString part;
        QString path;
        qint64 startMs = 0;
        qint64 lastVideoMs = 0;
    };
    struct Sound
    {
        qint64 ms = 0;
        std::vector<int16_t> samples;
    };

    void video(const ChannelBufferItem &item, int size, qint64 ms);
    void sound(const ChannelBufferItem &item, int size, qint64 ms);
    bool openSpan(const ChannelBufferItem &item, int codecId, int size, qint64 ms);
    void closeSpan(std::unique_ptr<Span> &span);
    void writeSound(Span &span, const Sound &s);
    // The waiting sound up to ms (all: everything) to the span it belongs to.
    void placeSound(qint64 ms, bool all);
    QString freePath(qint64 spanStartMs) const;
    void fail(const QString &why);

    const QString m_folder;
    const QString m_deviceName;
    const int m_channelNumber;
    const qint64 m_from;
    const qint64 m_to;

    mutable std::mutex m_lock;
    std::unique_ptr<Span> m_current;  // m_lock
    std::unique_ptr<Span> m_previous; // m_lock: takes late sound
    std::deque<Sound> m_sound;        // m_lock: ahead of the pictures
    bool m_soundSeen = false;         // m_lock
    bool m_closed = false;            // m_lock
    QStringList m_files;              // m_lock: complete
    QStringList m_parts;              // m_lock: being written
    QString m_error;                  // m_lock
    std::atomic<bool> m_failedFlag{false};
    std::atomic<qint64> m_covered{0};
};
