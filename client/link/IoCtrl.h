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
    IOCTRL_PLAYBACK_CAPS_REQ = 0x0740,     // out, 4 bytes
    IOCTRL_PLAYBACK_CAPS_RESP = 0x0741,    // in, 12 bytes
    IOCTRL_PLAYBACK_SPEED = 0x0742,        // out, 8 bytes
    IOCTRL_PLAYBACK_SPEED_RESP = 0x0743,   // in, 12 bytes
    IOCTRL_PLAYBACK_STEP = 0x0744,         // out, 16 bytes
    IOCTRL_PLAYBACK_STEP_RESP = 0x0745,    // in, 20 bytes
    IOCTRL_THUMBNAIL_REQ = 0x0746,         // out, 20 bytes
    IOCTRL_THUMBNAIL_RESP = 0x0747,        // in, 28 bytes + JPEG
    IOCTRL_EXPORT_START = 0x0748,          // out, 24 bytes
    IOCTRL_EXPORT_RESP = 0x0749,           // in, 16 bytes
    IOCTRL_EXPORT_END = 0x074A,            // in, 20 bytes
    IOCTRL_EXPORT_STOP = 0x074B,           // out, 8 bytes
    IOCTRL_EXPORT_ACK = 0x074C,            // out, 12 bytes
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

// What a span of a record list holds (the device may not tell: Unknown).
enum class RecordKind : quint8 { Unknown = 0, Continuous = 1, Motion = 2, Alarm = 3 };

// One entry of IOCTRL_RECORD_LIST_RESP.
struct RecordEntry
{
    QDateTime startUtc;
    quint32 lengthSeconds = 0;
    RecordKind kind = RecordKind::Unknown;
};
// The entries of a record-list reply; entries cut off by the end of the
// payload are left out. nullopt when the header is missing.
std::optional<QList<RecordEntry>> parseRecordList(const QByteArray &data);

// ---- Playback beyond the basic controls (IoCtrlPlayback.cpp) ---------------
// What a device's playback offers besides start, pause, seek and stop
// (IOCTRL_PLAYBACK_CAPS_RESP); a device that does not answer offers none.
enum PlaybackCap : quint32 {
    CapSpeeds = 0x01,       // 1/8x to 16x forward
    CapReverse = 0x02,      // backward
    CapStep = 0x04,         // frame step while paused
    CapThumbnails = 0x08,   // key-frame pictures of the recordings
    CapExport = 0x10,       // a range sent as fast as the link takes it
    CapRecordKinds = 0x20,  // record-list entries say continuous, motion or alarm
    CapMsTimestamps = 0x40, // frames carry the milliseconds of their recording time
};
struct PlaybackCaps
{
    quint32 flags = 0;
    int maxForward = 1; // times real time
    int maxReverse = 0;
};
// Playback speeds travel in eighths of real time (8 = 1x, negative = backward).
constexpr int SpeedUnit = 8;
bool isValidSpeed(int eighths);
// The flags of a playback or export frame record (byte 2) besides the key-frame bit.
constexpr quint8 FrameStepTarget = 0x02; // the last frame a step sends
constexpr quint8 FrameSpanStart = 0x04;  // export: the first frame after a gap

QByteArray playbackCapsRequest(int channel);
// nullopt when too short or for another channel.
std::optional<PlaybackCaps> parsePlaybackCaps(const QByteArray &data, int channel);

QByteArray playbackSpeed(int channel, int eighths);
struct SpeedReply
{
    quint32 result = 0; // 0 ok, 1 no playback, 2 not offered
    int speed = SpeedUnit;
};
std::optional<SpeedReply> parseSpeedReply(const QByteArray &data, int channel);

// The moment of a step, a thumbnail or an export bound: UTC milliseconds.
QByteArray playbackStep(int channel, qint64 targetUtcMs);
struct StepReply
{
    quint32 result = 0; // 0 ok, 1 not paused, 2 nothing recorded there
    qint64 landedUtcMs = 0;
};
std::optional<StepReply> parseStepReply(const QByteArray &data, int channel);

QByteArray thumbnailRequest(int channel, qint64 utcMs, quint32 requestId, int maxWidth);
struct ThumbnailReply
{
    quint32 requestId = 0;
    quint32 result = 0; // 0 ok, 1 nothing recorded near, 2 refused
    qint64 keyUtcMs = 0;
    QByteArray jpeg; // at most MaxThumbnailBytes
};
constexpr int MaxThumbnailBytes = 16000;
std::optional<ThumbnailReply> parseThumbnailReply(const QByteArray &data, int channel);

QByteArray exportStart(int channel, qint64 fromUtcMs, qint64 toUtcMs, quint32 requestId);
QByteArray exportStop(int channel, quint32 requestId);
// Flow control: the frames of the export received so far (video and audio).
constexpr int ExportAckEvery = 16;
QByteArray exportAck(int channel, quint32 requestId, quint32 framesReceived);
struct ExportReply
{
    quint32 requestId = 0;
    quint32 result = 0; // 0 ok, 1 busy, 2 nothing recorded, 3 refused
    int avChannel = -1; // the AV channel id to open (0..255)
};
std::optional<ExportReply> parseExportReply(const QByteArray &data, int channel);
struct ExportEnd
{
    quint32 requestId = 0;
    quint32 result = 0; // 0 complete, 1 cancelled, 2 failed
    quint32 videoFrames = 0;
    quint32 audioFrames = 0;
};
std::optional<ExportEnd> parseExportEnd(const QByteArray &data, int channel);

} // namespace IoCtrl
