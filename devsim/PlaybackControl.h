#pragma once

#include "FrameGrid.h"
#include "RecordKinds.h"
#include "RecordStore.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <map>
#include <optional>
#include <utility>
#include <vector>

namespace devsim {

// Remote playback of the recording store: the capabilities, the record-list request, the
// playback control commands (start, pause/resume, stop), the seek, the speed and the frame
// step, for all sessions of one device. A playback is keyed by (session, device channel) and
// plays on its own AV channel, which the client opens on the channel id the start reply names
// (PlaybackAvBase + device channel). Only one session of the device plays back at a time;
// another is answered busy. Pictures lie on the FrameGrid of their recording.
//
// Not thread-safe; the device serialises (its lock).
class PlaybackControl
{
public:
    static constexpr int PlaybackAvBase = 64;
    // Speeds in eighths of real time; negative: backward.
    static constexpr int NormalSpeed = 8;
    static constexpr int FastSpeed = 32; // record type 8: 4 recording seconds per second
    static constexpr int FastRecordType = 8;
    static constexpr int MaxSpeedFactor = 16; // forward and backward, as the caps say
    // Capabilities: speeds, reverse, step, thumbnails, export, record kinds, ms timestamps.
    static constexpr std::uint32_t CapsFlags = 0x7F;
    // The reply counts its entries in one byte: 12-byte header + 255 x 16 bytes.
    static constexpr int MaxListEntries = 255;

    struct Reply
    {
        std::uint32_t type = 0;
        QByteArray payload;
        int avChannel = -1; // the AV channel to answer on; -1: the one the message came on
    };
    struct Outcome
    {
        std::vector<Reply> replies;
        QString status; // "PLAYBACK ..." detail after the place, empty for none
    };

    // One picture to send this tick.
    struct Frame
    {
        int session = 0;
        int avChannel = 0;
        int channel = 0;
        qint64 positionMs = 0;   // recording time, ms since the epoch (UTC)
        bool key = false;        // must be encoded as a key frame
        bool stepTarget = false; // the last frame of a frame step
    };

    PlaybackControl(RecordStore store, RecordKinds kinds, int channels, FrameGrid grid);
    // At most this many channels play back at once (0: all).
    void setChannelLimit(int limit) { m_channelLimit = limit; }

    const RecordStore &store() const { return m_store; }
    const FrameGrid &grid() const { return m_grid; }

    Outcome recordList(const QByteArray &payload) const;
    Outcome control(int session, int avChannel, const QByteArray &payload);
    Outcome seek(int session, const QByteArray &payload);
    Outcome caps(const QByteArray &payload) const;
    Outcome speed(int session, const QByteArray &payload);
    // While paused: queues the pictures from the key frame at or before the target up to it
    // for the next tick and answers where it landed.
    Outcome step(int session, const QByteArray &payload);

    // The client opened or closed an AV channel; a session went away.
    void channelOpened(int session, int avChannel);
    void channelClosed(int session, int avChannel);
    void sessionClosed(int session);

    // The pictures of this tick (frame rate fps) in playing order; advances every playback.
    // A playback that reached the end of its recording stops and its end reply is added to
    // `ended` (with its place for the status line).
    std::vector<Frame> tick(std::vector<std::pair<Frame, Reply>> *ended);

    bool isPlaying(int session, int channel) const;

    // An 8-byte device date-time (UTC) at offset; nullopt when short or not a date-time.
    static std::optional<qint64> readDeviceTime(const QByteArray &data, int offset);
    static QByteArray deviceTime(qint64 utcSeconds);
    // "yyyy-MM-ddThh:mm:ss" (UTC) for status lines; with ".zzz" when withMs.
    static QString timeText(qint64 utcMs, bool withMs = false);
    // Frame information bytes 5..6 of playback and export frames: the milliseconds of the
    // recording time within its second, plus 1.
    static std::uint16_t msField(qint64 utcMs) { return std::uint16_t(utcMs % 1000 + 1); }

private:
    struct Playback
    {
        int controlAv = 0; // where commands come from and the end reply goes
        qint64 recordingStartMs = 0;
        qint64 recordingEndMs = 0;
        qint64 index = 0; // the next picture: frame `index` of the grid of the recording
        int speed = NormalSpeed;
        int ticks = 0; // ticks since the speed was set (slow speeds skip ticks)
        bool opened = false;
        bool paused = false;
        bool ended = false;
        bool needKey = true;
        std::vector<qint64> stepMs; // a frame step's pictures, sent by the next tick
    };
    using Key = std::pair<int, int>; // session, device channel

    Outcome start(int session, int avChannel, int channel, qint64 at, int recordType);
    bool busyFor(int session, int channel) const;
    // Moves to frame `atMs` (rounded down to the grid) of recording `rec`.
    void moveTo(Playback &p, const RecordStore::Recording &rec, qint64 atMs) const;
    // Advances one playing playback by one tick; the picture to send, if any. Sets p.ended.
    std::optional<Frame> advance(const Key &key, Playback &p) const;

    RecordStore m_store;
    RecordKinds m_kinds;
    int m_channelLimit = 0;
    int m_channels;
    FrameGrid m_grid;
    std::map<Key, Playback> m_playbacks;
};

} // namespace devsim
