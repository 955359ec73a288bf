#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

namespace devsim {

// What the device has been told through IO control, shared by all its clients.
struct DeviceSettings
{
    QByteArray version;          // version text, answered NUL-padded to 64 bytes
    bool refuseTimezone = false; // answer time-zone changes with "refused"
    int channels = 1;
    QString timeText; // last accepted "y-m-d-h-m-s" text
    QString timeZone; // last accepted time-zone text
    QByteArray wifiSsid;
    QByteArray wifiPassword;
    // The clock as ONVIF's SetSystemDateAndTime leaves it.
    qint64 clockOffsetMs = 0; // the device's clock minus the system's
    QString posixZone;        // POSIX TZ string; empty: UTC
    bool ntp = false;
    bool daylightSavings = false;
};

// The state of one client AV channel as IO control leaves it.
struct AvChannelState
{
    int avChannel = 0; // the channel number the client opened the AV channel with
    bool videoOn = false;
    int videoChannel = -1; // device channel whose video is sent
    bool hd = false;       // quality: false SD, true HD
    bool audioOn = false;
    int audioChannel = -1;
    int talkChannelId = -1; // session channel of the open talk, -1 none
};

// What the device must do after one message, besides the state change.
struct IoAction
{
    enum class Kind {
        StartVideo,
        StopVideo,
        SwitchQuality,
        StartAudio,
        StopAudio,
        StartTalk,
        StopTalk
    };
    Kind kind;
    int value = 0; // channel (video/audio), talk channel id (talk)
};

struct IoReply
{
    std::uint32_t type = 0;
    QByteArray payload;
};

struct IoOutcome
{
    bool known = true; // a handler exists for the type
    std::optional<IoReply> reply;
    std::vector<IoAction> actions;
};

// Turns one received IO control message into a reply and actions, updating the state.
// Pure apart from the two state records. Handlers sit in a table by message type (filled in
// the constructor), so further message families (playback, PTZ) add their rows there.
// Not thread-safe; the caller serialises.
class IoControl
{
public:
    explicit IoControl(DeviceSettings &settings);

    IoOutcome handle(AvChannelState &state, std::uint32_t type, const QByteArray &payload);

    static QByteArray u32(std::uint32_t value);
    static std::optional<std::uint32_t> readU32(const QByteArray &payload, int offset);

    // Checks a time text of the form year-month-day-hour-minute-second.
    static bool isValidTimeText(const QString &text);

private:
    using Handler = IoOutcome (IoControl::*)(AvChannelState &, const QByteArray &);

    IoOutcome streamPrepare(AvChannelState &, const QByteArray &);
    IoOutcome videoStart(AvChannelState &, const QByteArray &);
    IoOutcome videoStop(AvChannelState &, const QByteArray &);
    IoOutcome audioStart(AvChannelState &, const QByteArray &);
    IoOutcome audioStop(AvChannelState &, const QByteArray &);
    IoOutcome qualitySet(AvChannelState &, const QByteArray &);
    IoOutcome versionReq(AvChannelState &, const QByteArray &);
    IoOutcome timeSet(AvChannelState &, const QByteArray &);
    IoOutcome timezoneSet(AvChannelState &, const QByteArray &);
    IoOutcome wifiSet(AvChannelState &, const QByteArray &);
    IoOutcome speakerStart(AvChannelState &, const QByteArray &);
    IoOutcome speakerStop(AvChannelState &, const QByteArray &);

    DeviceSettings &m_settings;
    std::map<std::uint32_t, Handler> m_handlers;
};

} // namespace devsim
