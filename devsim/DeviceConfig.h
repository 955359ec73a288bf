#pragma once

#include <QMap>
#include <QSize>
#include <QString>

#include <optional>

namespace devsim {

enum class VideoCodec { H264, H265 };
enum class PatternMode { Moving, Solid, Clock };
enum class ConnectFault { None, Refuse, Silent };
enum class OnvifAuth { WsSecurity, HttpDigest };

// Everything that describes one simulated device. Plain value type.
struct DeviceConfig
{
    QString uid;
    QString name = QStringLiteral("devsim");
    int type = 7; // "IPC"
    int channels = 1;
    QString account = QStringLiteral("admin");
    QString password = QStringLiteral("123456");
    QString version = QStringLiteral("V1.0.0.0 devsim");
    VideoCodec codec = VideoCodec::H264;
    int fps = 25;
    QSize sd{640, 360};
    QSize hd{1280, 720};
    int port = 0;
    PatternMode pattern = PatternMode::Moving;
    bool refuseTimezone = false;
    QString talkWav;
    ConnectFault fault = ConnectFault::None;
    int dropAfterSec = 0; // 0 = never
    bool stallIo = false;
    bool corruptFrame = false;
    bool sharedStream = false;  // every channel sends channel 1's stream (one encoder per quality)
    bool ptz = false;           // the channels are PTZ cameras (also types 10 and 10001)
    bool printSettings = false; // a SETTINGS status line after each time, zone or Wi-Fi change
    bool printFrames = false;   // a FRAMES status line per streaming AV channel every second

    bool isPtz() const { return ptz || type == 10 || type == 10001; }
    // "IPC(PTZ)", "DVR", ... for the type code; "type <n>" for unknown codes.
    QString typeName() const;
    int gopSec = 2;
    QString recordings;       // daily schedule of recordings (RecordStore); empty = the default
    int recordDays = 7;       // days of recordings up to today
    QString motion;           // daily schedule of motion (MotionSchedule); empty = none
    QString alarms;           // daily schedule of alarms (recorded as kind 3); empty = none
    int motionEverySec = 0;   // a live motion burst every N seconds; 0 = none
    int playbackChannels = 0; // channels that play back at once; 0 = all
    int maxSessions = 64;
    // Where the device keeps its TLS key and certificate (kept across runs);
    // empty: a key for this run only.
    QString stateDir;
    int rtspPort = -1;  // RTSP server port, 0 any free one, -1 none (--onvif implies 0)
    int onvifPort = -1; // ONVIF server port, 0 any free one, -1 none
    OnvifAuth onvifAuth = OnvifAuth::WsSecurity;

    bool servesRtsp() const { return rtspPort >= 0 || onvifPort >= 0; }

    // Option name (as on the command line, without "--") to its text value.
    using OptionMap = QMap<QString, QString>;

    // Builds a configuration from option texts. Unknown keys, missing UID and values out of
    // range are errors; the first one found is written to *error.
    static std::optional<DeviceConfig> fromOptions(const OptionMap &options, QString *error);

    // Parses "WxH" (both even, 16..4096).
    static std::optional<QSize> parseSize(const QString &text);

    // The option names fromOptions() knows, flags (no value) first.
    static const QStringList &flagNames();
    static const QStringList &valueNames();
};

} // namespace devsim
