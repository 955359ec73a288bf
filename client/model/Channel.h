#pragma once

#include "model/ChannelSlot.h"

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QMetaType>
#include <QSize>
#include <QString>

#include <array>
#include <atomic>
#include <memory>

class Device;
class ChannelSaveTimeout;

// One video channel of a device: the unit that is connected, streamed,
// decoded, shown, recorded and controlled. A plain record owned by its Device.
//
// Every stream and media field exists twice, once per mode: `live` = true is
// the live view (its AV channel also carries every IO control message),
// `live` = false the remote playback. Per-mode accessors take `bool live` as
// their last argument; slot(live) gives the whole per-mode block.
//
// Threads: common fields and stream flags on the GUI thread; the media fields
// of a slot are also used by the receive and decode tasks under their locks.
// The accessors take no lock.
class Channel
{
public:
    static constexpr int VersionInfoSize = 64;

    // Creates the single-shot IO time-out timer bound to this channel.
    Channel(Device *device, int index);
    ~Channel();

    // Called at the start of every Channel's destruction, before anything is
    // freed; the media pipeline drops the channel's decoder state there. Set
    // once at start-up (null = none).
    using DestroyHook = void (*)(Channel *channel);
    static void setDestroyHook(DestroyHook hook);
    // Called on the GUI thread after a mode's AV index, video or audio flag
    // changed; the media pipeline starts or stops the stream there. Set
    // once at start-up (null = none).
    using StreamHook = void (*)(Channel *channel, bool live);
    static void setStreamHook(StreamHook hook);

    Channel(const Channel &) = delete;
    Channel &operator=(const Channel &) = delete;

    // Common fields.
    Device *device() const { return m_device; }
    int index() const { return m_index; }

    // Whether a cell on screen shows the channel. Frames of a channel that
    // is not seen are received (recording goes on) but not decoded. Set on
    // the GUI thread by the cells; read by the decode steps. A channel no
    // cell ever showed counts as seen.
    bool seen() const { return m_seen.load(std::memory_order_relaxed); }
    void setSeen(bool seen) { m_seen.store(seen, std::memory_order_relaxed); }

    // The size of the live HD (main) stream's pictures, once one was shown;
    // empty before.
    QSize hdPictureSize() const { return m_hdPictureSize; }
    void setHdPictureSize(QSize size) { m_hdPictureSize = size; }

    // The last 64-byte reply of the version query, or null when none arrived.
    const char *versionInfo() const { return m_versionInfo ? m_versionInfo->data() : nullptr; }
    // Stores a fresh copy of the 64 bytes at data (null clears the record).
    void setVersionInfo(const void *data);
    // The record as text up to its first zero byte (Latin-1); empty when none.
    QString versionText() const;

    QDateTime replayDateTime() const { return m_replayDateTime; }
    void setReplayDateTime(const QDateTime &dt) { m_replayDateTime = dt; }

    bool recordListReady() const { return m_recordListReady; }
    void setRecordListReady(bool ready) { m_recordListReady = ready; }

    QList<QList<int>> recordTimes() const { return m_recordTimes; }
    void appendRecordTime(const QList<int> &item) { m_recordTimes.append(item); }
    void clearRecordTimes() { m_recordTimes.clear(); }

    QDate recordListDay() const { return m_recordListDay; }
    void setRecordListDay(const QDate &day) { m_recordListDay = day; }

    ChannelSaveTimeout *ioTimeout() const { return m_ioTimeout.get(); }

    // The device's alarms on this channel that are on now: bit 1 << kind
    // for each (kinds 1 to 30, DeviceControl::AlarmKind). GUI thread.
    int alarms() const { return m_alarms; }
    void setAlarm(int kind, bool on)
    {
        if (kind > 0 && kind < 31)
            m_alarms = on ? m_alarms | (1 << kind) : m_alarms & ~(1 << kind);
    }
    // The recorded alarms of the record list's day: [second of the local
    // day, kind] pairs, by time.
    const QList<QList<int>> &eventMarks() const { return m_eventMarks; }
    void setEventMarks(const QList<QList<int>> &marks) { m_eventMarks = marks; }

    // Per-mode state.
    ChannelSlot &slot(bool live) { return live ? m_live : m_replay; }
    const ChannelSlot &slot(bool live) const { return live ? m_live : m_replay; }

    // Any thread.
    int avIndex(bool live) const { return slot(live).avIndex.load(); }
    // GUI thread.
    void setAvIndex(int avIndex, bool live);
    bool quality(bool live) const { return slot(live).quality; }
    void setQuality(bool hd, bool live) { slot(live).quality = hd; }
    bool viewRequested(bool live) const { return slot(live).viewRequested; }
    void setViewRequested(bool on, bool live) { slot(live).viewRequested = on; }
    int rxErrorCount(bool live) const { return slot(live).rxErrorCount; }
    void setRxErrorCount(int count, bool live) { slot(live).rxErrorCount = count; }
    bool waitKeyFrame(bool live) const { return slot(live).waitKeyFrame; }
    void setWaitKeyFrame(bool on, bool live) { slot(live).waitKeyFrame = on; }
    bool videoOn(bool live) const { return slot(live).videoOn; }
    void setVideoOn(bool on, bool live);
    bool audioOn(bool live) const { return slot(live).audioOn; }
    void setAudioOn(bool on, bool live);
    bool paused(bool live) const { return slot(live).paused; }
    void setPaused(bool on, bool live) { slot(live).paused = on; }
    int frameRate(bool live) const { return slot(live).frameRate; }
    void setFrameRate(int fps, bool live) { slot(live).frameRate = fps; }

    bool recording(bool live) const { return slot(live).recording; }
    // Sets the recording request and clears recordKeySeen.
    void setRecording(bool on, bool live);
    bool recordKeySeen(bool live) const { return slot(live).recordKeySeen; }
    void setRecordKeySeen(bool seen, bool live) { slot(live).recordKeySeen = seen; }
    QString recordPath(bool live) const { return slot(live).recordPath; }
    void setRecordPath(const QString &path, bool live) { slot(live).recordPath = path; }

    // Talk state (one copy).
    TalkState &talk() { return m_talk; }
    const TalkState &talk() const { return m_talk; }
    bool talking() const { return m_talk.talking; }
    void setTalking(bool on) { m_talk.talking = on; }
    int talkAvIndex() const { return m_talk.talkAvIndex; }
    void setTalkAvIndex(int index) { m_talk.talkAvIndex = index; }
    int talkChannelId() const { return m_talk.talkChannelId; }
    void setTalkChannelId(int id) { m_talk.talkChannelId = id; }

private:
    Device *m_device;
    int m_index;
    std::atomic<bool> m_seen{true};
    QSize m_hdPictureSize;
    std::unique_ptr<std::array<char, VersionInfoSize>> m_versionInfo;
    QDateTime m_replayDateTime;
    bool m_recordListReady = false;
    QList<QList<int>> m_recordTimes;
    QDate m_recordListDay;
    int m_alarms = 0;
    QList<QList<int>> m_eventMarks;
    std::unique_ptr<ChannelSaveTimeout> m_ioTimeout;
    ChannelSlot m_live;
    ChannelSlot m_replay;
    TalkState m_talk;
};

Q_DECLARE_METATYPE(Channel *)
