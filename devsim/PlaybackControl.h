#pragma once

#include "RecordStore.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <map>
#include <optional>
#include <utility>
#include <vector>

namespace devsim {

// Remote playback of the recording store: the record-list request, the playback control
// commands (start, pause/resume, stop) and the seek, for all sessions of one device. A
// playback is keyed by (session, device channel) and plays on its own AV channel, which the
// client opens on the channel id the start reply names (PlaybackAvBase + device channel). Only
// one session of the device plays back at a time; another is answered busy.
//
// Not thread-safe; the device serialises (its lock).
class PlaybackControl
{
public:
    static constexpr int PlaybackAvBase = 64;
    static constexpr int FastSpeed = 4; // recording seconds per second, record type 8
    static constexpr int FastRecordType = 8;
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
        qint64 positionMs = 0; // recording time, ms since the epoch (UTC)
        bool key = false;
    };

    PlaybackControl(RecordStore store, int channels);

    const RecordStore &store() const { return m_store; }

    Outcome recordList(const QByteArray &payload) const;
    Outcome control(int session, int avChannel, const QByteArray &payload);
    Outcome seek(int session, const QByteArray &payload);

    // The client opened or closed an AV channel; a session went away.
    void channelOpened(int session, int avChannel);
    void channelClosed(int session, int avChannel);
    void sessionClosed(int session);

    // The pictures of this tick (frame rate fps) in playing order; advances every playback.
    // A playback that reached the end of its recording stops and its end reply is added to
    // `ended` (with its place for the status line).
    std::vector<Frame> tick(int fps, std::vector<std::pair<Frame, Reply>> *ended);

    bool isPlaying(int session, int channel) const;

    // An 8-byte device date-time (UTC) at offset; nullopt when short or not a date-time.
    static std::optional<qint64> readDeviceTime(const QByteArray &data, int offset);
    static QByteArray deviceTime(qint64 utcSeconds);

private:
    struct Playback
    {
        int controlAv = 0; // where commands come from and the end reply goes
        qint64 positionMs = 0;
        qint64 recordingEndMs = 0;
        int speed = 1;
        bool opened = false;
        bool paused = false;
        bool ended = false;
        bool needKey = true;
    };
    using Key = std::pair<int, int>; // session, device channel

    Outcome start(int session, int avChannel, int channel, qint64 at, int recordType);
    bool busyFor(int session) const;

    RecordStore m_store;
    int m_channels;
    std::map<Key, Playback> m_playbacks;
};

} // namespace devsim
