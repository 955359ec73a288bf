#pragma once

#include <QDateTime>
#include <QImage>
#include <QString>

#include "link/ExportStream.h"

#include <functional>
#include <memory>

class Channel;
class Device;

// A device's link, whatever protocol reaches it: the operations that the
// view grid, the device menu and the media pipeline ask of a device's
// channels. Each device kind has one implementation (DeviceLinks picks it):
// P2pDeviceLink over IoConnect (the P2P library) and RtspDeviceLink (an RTSP
// reader per channel, in the media layer).
//
// Every link reports its results through DeviceLinks::events() (sessions,
// channels, streams, quality, offline and online), the one place widgets
// follow, each in its own terms (codes and texts); the channel's slot fields (avIndex >= 0: channel
// open, videoOn, quality, waitKeyFrame) and the device's session id (>= 0: the link is open) and
// link state mean the same for every kind. What a link cannot do it refuses through the operation's
// failure signal.
//
// Threads: GUI thread only.
class DeviceLink
{
public:
    // What a link offers besides live video, for widgets that offer it.
    enum Feature {
        Playback = 0x01, // remote playback of the device's recordings
        Sound = 0x02,    // the channel's sound
        Talk = 0x04,     // talk back
        Ptz = 0x08,      // pan, tilt, zoom, presets
        Clock = 0x10,    // the device's clock and time zone
        Wifi = 0x20,     // the device's Wi-Fi set-up
        Presets = 0x40,  // PTZ presets
        Cruise = 0x80,   // PTZ cruise lines
        Events = 0x100,  // live alarms (motion, tampering, inputs) and recorded ones
    };

    virtual ~DeviceLink() = default;

    virtual int features(const Device *d) const = 0;
    bool has(const Device *d, Feature f) const { return (features(d) & f) != 0; }

    // Sessions and channels.
    virtual void connectChannel(Channel *ch) = 0;
    virtual void startChannel(Channel *ch) = 0;
    virtual void reportChannelReady(Channel *ch) = 0;
    virtual void closeChannel(Channel *ch) = 0;
    virtual void closeDevice(Device *d) = 0;
    // A device whose link was lost: try again now instead of after the wait.
    virtual void reconnectNow(Device *d) = 0;
    // Before the next reconnect of d, in ms: > 0 waiting, 0 trying, -1 none planned.
    virtual int reconnectDelayMs(const Device *d) const = 0;
    // A failure of this link that is not tried again until the user changes
    // the device (refused credentials, another device key, no stream URL).
    virtual bool waitsForUser(int code) const
    {
        (void)code;
        return false;
    }

    // Live stream.
    virtual void startVideo(Channel *ch) = 0;
    virtual void stopVideo(Channel *ch, bool restart) = 0;
    virtual void changeQuality(Channel *ch, bool hd) = 0;
    virtual void audioControl(Channel *ch, bool on) = 0;
    virtual void audioSendControl(Channel *ch, bool on) = 0;
    // Mode switch: pause or resume the stream of one mode.
    virtual void pause(Channel *ch, bool live) = 0;
    virtual void resume(Channel *ch, bool live) = 0;

    // Remote playback.
    virtual void playReplay(Channel *ch, const QDateTime &start, int seekOffset, bool startFlag,
                            int recordType) = 0;
    virtual void changeReplayTime(Channel *ch, int offsetSeconds) = 0;
    virtual void stopReplay(Channel *ch, bool restart, const QDateTime &restartAt) = 0;
    // The recordings of a local day (receiveVideoTimeMsg / ...EmptyMsg).
    virtual void getRecordList(Channel *ch, const QDate &day) = 0;
    // Pauses / resumes the playing recording (the stream keeps its place).
    virtual void pauseReplay(Channel *ch) = 0;
    virtual void resumeReplay(Channel *ch) = 0;
    // Whether a playback start can begin inside a recording (else at its start).
    virtual bool supportsStartSeek(const Channel *ch) const = 0;

    // Playback beyond start, pause, seek and stop. What a channel's playback
    // offers is asked once per session (queryReplayCaps; replayCapsMsg tells
    // when known): a device that does not answer offers none of it.
    enum ReplayCap {
        ReplaySpeeds = 0x01,     // 1/8x to 16x forward (setReplaySpeed)
        ReplayReverse = 0x02,    // backward
        ReplayStep = 0x04,       // frame step while paused (stepReplay)
        ReplayThumbnails = 0x08, // requestThumbnail
        ReplayExport = 0x10,     // ranges sent faster than real time
        ReplayRecordKinds = 0x20,
        ReplayMsTimestamps = 0x40,
    };
    // The ReplayCap bits of ch; -1 while not known yet.
    virtual int replayCaps(const Channel *ch) const
    {
        (void)ch;
        return 0;
    }
    virtual void queryReplayCaps(Channel *ch) { (void)ch; }
    // Speed in eighths of real time (8 = 1x; negative = backward); the
    // answer comes as replaySpeedMsg.
    virtual void setReplaySpeed(Channel *ch, int eighths)
    {
        (void)ch;
        (void)eighths;
    }
    // While paused: shows the picture at (or just before) the moment, UTC
    // ms; replayStepMsg tells where it landed.
    virtual void stepReplay(Channel *ch, qint64 targetUtcMs)
    {
        (void)ch;
        (void)targetUtcMs;
    }
    // A small picture of the key frame nearest to utcMs, at most maxWidth
    // wide: done runs once on the GUI thread, with a null image and -1 when
    // there is none. Returns false (and never calls done) when the link
    // cannot give one.
    using ThumbnailDone = std::function<void(const QImage &image, qint64 keyUtcMs)>;
    virtual bool requestThumbnail(Channel *ch, qint64 utcMs, int maxWidth, ThumbnailDone done)
    {
        (void)ch;
        (void)utcMs;
        (void)maxWidth;
        (void)done;
        return false;
    }
    // The recorded pictures and sound of [fromUtcMs, toUtcMs) of ch, sent
    // faster than real time (ReplayExport); null when the link cannot.
    virtual std::unique_ptr<ExportStream> openExport(Channel *ch, qint64 fromUtcMs, qint64 toUtcMs)
    {
        (void)ch;
        (void)fromUtcMs;
        (void)toUtcMs;
        return nullptr;
    }

    // Device control (features Ptz and Clock), in the P2P link's terms:
    // IoCtrl PTZ command codes and parameters, preset numbers, the device's
    // local date-time and time zone text; other links translate them
    // (DeviceControl). Results: ptz..., setTime..., setTimeZone... signals.
    virtual void ptzControl(Channel *ch, quint8 command, quint8 param, bool shortForm) = 0;
    // Stores the position as preset number `preset` (from 0) / goes to it.
    virtual void ptzPoint(Channel *ch, int preset, bool shortForm) = 0;
    virtual void ptzGoto(Channel *ch, int preset, bool shortForm) = 0;
    virtual void setTime(Channel *ch, const QDateTime &dt) = 0;
    virtual void setTimeZone(Channel *ch, const QString &zone) = 0;
    // A cruise line's step (feature Cruise): command, speed and the extra
    // byte in the P2P link's terms.
    virtual void ptzCruisePath(Channel *ch, quint8 command, quint8 param, quint8 extra,
                               bool shortForm) = 0;
    // The device's Wi-Fi network (feature Wifi): setWifi... signals.
    virtual void setWifi(Channel *ch, const QString &ssid, const QString &password) = 0;

    // Ends all activity of this link (the client quits): every stream and
    // session closes; waits at most waitMs for its workers. Returns whether
    // they all ended.
    virtual bool shutdown(int waitMs) = 0;
};
