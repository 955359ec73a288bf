#pragma once

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

// IO control message types exchanged with a device over a channel's live AV
// channel ("out" = client to device).
enum ENUM_AVIOCTRL_MSGTYPE : unsigned int {
    IOCTRL_STREAM_PREPARE = 0x00FF,        // out, 2 bytes
    IOCTRL_VIDEO_START = 0x01FF,           // out, 8 bytes
    IOCTRL_VIDEO_STOP = 0x02FF,            // out, 8 bytes
    IOCTRL_AUDIO_START = 0x0300,           // out, 4 bytes
    IOCTRL_AUDIO_STOP = 0x0301,            // out, 4 bytes
    IOCTRL_RECORD_LIST_REQ = 0x0318,       // out, 24 bytes
    IOCTRL_RECORD_LIST_RESP = 0x0319,      // in
    IOCTRL_PLAYBACK_CONTROL = 0x031A,      // out, 24 bytes
    IOCTRL_PLAYBACK_CONTROL_RESP = 0x031B, // in
    IOCTRL_QUALITY_SET = 0x0320,           // out, 8 bytes
    IOCTRL_QUALITY_SET_RESP = 0x0321,      // in
    IOCTRL_PLAYBACK_SEEK = 0x033C,         // out, 20 bytes
    IOCTRL_PLAYBACK_SEEK_RESP = 0x033D,    // in
    IOCTRL_WIFI_SET = 0x0342,              // out, 76 bytes
    IOCTRL_WIFI_SET_RESP = 0x0343,         // in
    IOCTRL_SPEAKER_START = 0x0350,         // out, 8 bytes
    IOCTRL_SPEAKER_STOP = 0x0351,          // out, 8 bytes
    IOCTRL_PLAYBACK_BUSY = 0x0701,         // in
    IOCTRL_PTZ_SHORT = 0x1001,             // out, 8 bytes
    IOCTRL_PTZ_LONG = 0x1012,              // out, 12 bytes
    IOCTRL_VERSION_REQ = 0x331B,           // out, 64 bytes
    IOCTRL_VERSION_RESP = 0x331C,          // in, 64 bytes
    IOCTRL_TIME_SET = 0x331E,              // out, text
    IOCTRL_TIMEZONE_SET = 0x332E,          // out, text
    IOCTRL_TIMEZONE_SET_RESP = 0x332F,     // in
};

// Builders of every IO control payload the client sends and readers of the
// replies it interprets. Integers are little-endian; every byte not set by a
// builder is zero. Pure functions, any thread.
namespace IoCtrl {

// Commands of IOCTRL_PLAYBACK_CONTROL.
enum PlaybackCommand : quint32 {
    PlaybackPause = 0,
    PlaybackStop = 1,
    PlaybackStartTyped = 4, // start flag set, record type other than 5
    PlaybackStartPlain = 5, // start flag clear
    PlaybackStart = 16,     // start flag set with record type 5; also resume
    PlaybackEnded = 7,      // reply only: the recording being played has ended
};

constexpr int WifiPayloadSize = 76;
constexpr int WifiFieldSize = 32; // SSID at 0, password at 32
constexpr int VersionSize = 64;
constexpr int RecordListHeaderSize = 12;
constexpr int RecordListEntrySize = 16;

// A message ready to be sent: type and payload.
struct Message
{
    ENUM_AVIOCTRL_MSGTYPE type;
    QByteArray payload;
};

// The 8-byte device date-time record of dt's fields as they are (no time-zone
// conversion); the weekday byte is 0.
QByteArray deviceTime(const QDateTime &dt);
// Reads an 8-byte device date-time at offset as a UTC date-time; invalid when
// the bytes do not fit or do not form a date-time.
QDateTime readDeviceTimeUtc(const QByteArray &data, int offset);

QByteArray streamPrepare();
QByteArray videoStart(int channel);
QByteArray videoStop(int channel);
QByteArray audioStart();
QByteArray audioStop();
QByteArray qualitySet(int channel, bool hd);
QByteArray versionRequest();
// "year-month-day-hour-minute-second" without leading zeros, no terminator.
QByteArray timeSet(const QDateTime &dt);
QByteArray timeZoneSet(const QString &zone);
// SSID and password as Latin-1, each truncated to its 32-byte field.
QByteArray wifiSet(const QString &ssid, const QString &password);
QByteArray speaker(int freeChannelId);

QByteArray ptzShort(quint8 command, quint8 param, int channel);
QByteArray ptzLong(quint8 command, quint8 param, int channel, quint8 extra);
Message ptzControl(int channel, quint8 command, quint8 param, bool shortForm);
// Presets are numbered from 0; the short form holds two (0 and 1), the long
// form one byte's worth (the message carries number + 1).
Message ptzPoint(int channel, int preset, bool shortForm);
Message ptzCruise(int channel, int preset, bool shortForm);
Message ptzCruisePath(int channel, quint8 command, quint8 param, quint8 extra, bool shortForm);

// Request for the recordings of day (00:00:00 to 23:59:59 local time, sent in UTC).
QByteArray recordListRequest(int channel, const QDate &day);
// The start command for playback from start (local time, sent in UTC).
QByteArray playbackStart(int channel, const QDateTime &start, bool startFlag, int recordType);
QByteArray playbackPause(int channel);
QByteArray playbackResume(int channel, bool legacy);
QByteArray playbackStop(int channel);
// Seek offsetSeconds from replayAt (local time, sent in UTC).
QByteArray playbackSeek(int channel, const QDateTime &replayAt, quint32 offsetSeconds);

// Reply readers; nullopt when the payload is too short.
std::optional<quint32> readU32(const QByteArray &data, int offset);
std::optional<quint8> readU8(const QByteArray &data, int offset);

// One entry of IOCTRL_RECORD_LIST_RESP.
struct RecordEntry
{
    QDateTime startUtc;
    quint32 lengthSeconds = 0;
};
// The entries of a record-list reply; entries cut off by the end of the
// payload are left out. nullopt when the header is missing.
std::optional<QList<RecordEntry>> parseRecordList(const QByteArray &data);

} // namespace IoCtrl
