#pragma once

#include "link/DeviceControl.h"
#include "link/onvif/OnvifTypes.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <memory>

class Channel;
class Dev;
class Device;
class DeviceEvents;
class OnvifClient;
class OnvifEventWatch;

// DeviceControl of RTSP devices that have an ONVIF host: PTZ, presets and the
// clock go to the device's PTZ and device services, and the stream URLs come
// from its media profiles. One OnvifClient per device (by UID), connected on
// first use (GetSystemDateAndTime, GetCapabilities, GetProfiles) and again
// after a failure or when the device's host, account or password changed.
//
// Translation of the P2P link's terms:
// - PTZ command codes (short and long form) become ContinuousMove with pan,
//   tilt and zoom velocities of step / 8 (step 1 to 8) in the command's
//   direction, 0 (stop) becomes Stop; focus, iris and cruises are refused.
// - Preset number n is the device's preset n + 1 until a SetPreset answers
//   with another token, which is then kept for n (set again: overwritten).
// - A time zone text "GMT+hh:mm" (the device options page's, the IANA zone's
//   current offset) becomes the POSIX TZ "UTC-hh:mm", sent with the device's
//   current time; a local date-time is sent as UTC with the last zone.
// - Channel i is the device's i-th video source; its profile with the most
//   pixels is the main stream, the one with the fewest the sub stream.
// - Channel i's recording is the one whose SourceId is its video source
//   token (else, when the device keeps one recording per source, the i-th).
//   Its spans come from the recorded RecordingHistory/Track/State events, or
//   are its earliest to latest data when the device has none.
// - Live alarms: one PullPoint subscription per watched device
//   (OnvifEventWatch); an alarm goes to the channel of the video source its
//   message names, to channel 0 when it names none.
//
// Features beyond PTZ, presets and the clock are learned when the session
// connects (0 before): Playback (replay service, and search or recording
// service), Sound (an audio encoder in a profile), Talk (an audio output or
// decoder), Events (event service).
//
// Threads: GUI thread only.
class OnvifDeviceControl final : public QObject, public DeviceControl
{
    Q_OBJECT

public:
    // events: where it reports (null: DeviceLinks::events()); dev: the device
    // registry (null: Dev::instance()).
    explicit OnvifDeviceControl(DeviceEvents *events = nullptr, Dev *dev = nullptr,
                                QObject *parent = nullptr);
    ~OnvifDeviceControl() override;

    // The device service URL of an ONVIF host "host[:port]"; invalid for
    // anything else.
    static QUrl deviceUrl(const QString &onvifHost);
    // The POSIX TZ of a "GMT+hh:mm" / "UTC-hh:mm" text; empty when it is none.
    static QString posixZone(const QString &zoneText);

    // What a camera says about itself when it is added.
    struct Probe
    {
        int channels = 0; // video sources
        QString model;    // "Manufacturer Model"; empty when the device did not say
        bool ptz = false; // a profile carries a PTZ configuration
    };
    // Asks the ONVIF host, with the account, for its device information and
    // media profiles. done runs once on the GUI thread with the answer, or
    // with why not (a device without a media profile included), unless
    // context is gone first.
    static void probe(const QString &onvifHost, const QString &user, const QString &password,
                      QObject *context,
                      std::function<void(const Probe &, const QString &why)> done);

    int features(const Device *d) const override;
    void ptzControl(Channel *ch, quint8 command, quint8 param, bool shortForm) override;
    void ptzPoint(Channel *ch, int preset, bool shortForm) override;
    void ptzGoto(Channel *ch, int preset, bool shortForm) override;
    void setTime(Channel *ch, const QDateTime &dt) override;
    void setTimeZone(Channel *ch, const QString &zone) override;
    void discoverStreams(Device *d, std::function<void(bool ok, const QString &why)> done) override;
    void findRecordings(
        Channel *ch, const QDateTime &from, const QDateTime &to,
        std::function<void(const QList<RecordSpan> &, const QString &why)> done) override;
    void
    findEvents(Channel *ch, const QDateTime &from, const QDateTime &to,
               std::function<void(const QList<EventMark> &, const QString &why)> done) override;
    void replayTarget(Channel *ch,
                      std::function<void(const ReplayTarget &, const QString &why)> done) override;
    void watchEvents(Device *d, bool on) override;

    // The features a device's services and media profiles offer (Playback,
    // Sound, Talk, Events).
    static int featuresOf(const OnvifServices &services, const QList<OnvifProfile> &profiles);

private:
    struct Source
    {
        QString main; // profile tokens
        QString sub;
        QString ptz;                    // the profile PTZ commands name
        QString videoSource;            // its token
        QStringList videoSourceConfigs; // the configuration tokens of its profiles
    };
    struct Session
    {
        OnvifClient *client = nullptr;
        QString key; // host, account and a hash of the password it was connected with
        bool ready = false;
        bool connecting = false;
        QList<Source> sources;
        QList<std::function<void(Session *, const QString &why)>> waiting;
        QHash<int, QString> presets; // (channel << 16 | number) -> token
        QString zone;                // the last POSIX TZ sent
        int features = 0;            // learned on connecting
    };
    using Ready = std::function<void(Session *, const QString &why)>;
    using Found = std::function<void(Session *, const OnvifRecording &, const QString &why)>;

    // Calls then with the device's connected session, or null and why not.
    void withSession(Device *d, Ready then);
    void connected(const QString &uid, const QString &why);
    Session *session(const QString &uid) const;
    // Runs command on ch's session and channel source; failures go to failed.
    void run(Channel *ch, void (DeviceEvents::*failed)(Channel *, int, QString),
             std::function<void(Session *, const Source &, const QString &uid)> command);
    void report(const QString &uid, int index, const OnvifError *error,
                void (DeviceEvents::*succeeded)(Channel *),
                void (DeviceEvents::*failed)(Channel *, int, QString));
    static QList<Source> sourcesOf(const QList<OnvifProfile> &profiles);
    // Calls found with ch's session and recording, or null and why not.
    void withRecording(Channel *ch, Found found);
    void alarm(const QString &uid, const OnvifEvent &e);

    DeviceEvents *m_events;
    Dev *m_dev;
    std::map<QString, std::unique_ptr<Session>> m_sessions;
    std::map<QString, std::unique_ptr<OnvifEventWatch>> m_watches; // by UID
};
