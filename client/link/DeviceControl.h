#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>

class Channel;
class Device;

// Control of a device beside its streams, for links whose streams carry
// none: the ONVIF client implements it for RTSP devices that have an ONVIF
// host (RtspSource::onvifHost) and installs it with
// RtspDeviceLink::setControl(). Commands come in the P2P link's terms (the
// IoCtrl PTZ command codes, a preset number, a local date-time, the
// device's time zone text) so that the PTZ panel and the device options
// page stay as they are; results are reported on DeviceLinks::events(), in
// HTTP's terms (the status the camera answered with or that names the failure)
// (ptzSuccessMsg / ptzFailMsg, setTimeSuccessMsg / setTimeFailMsg,
// setTimeZoneSuccessMsg / setTimeZoneFailMsg).
//
// Threads: GUI thread only.
class DeviceControl
{
public:
    virtual ~DeviceControl() = default;

    // The DeviceLink::Feature bits served for d (Ptz, Clock); 0: none.
    virtual int features(const Device *d) const = 0;

    virtual void ptzControl(Channel *ch, quint8 command, quint8 param, bool shortForm) = 0;
    virtual void ptzPoint(Channel *ch, int preset, bool shortForm) = 0;
    virtual void ptzGoto(Channel *ch, int preset, bool shortForm) = 0;
    virtual void setTime(Channel *ch, const QDateTime &dt) = 0;
    virtual void setTimeZone(Channel *ch, const QString &zone) = 0;

    // Fills d's streams (Device::setRtsp, one channel per video source, the
    // main and sub profile's stream URLs) from the device's media profiles,
    // then calls done (ok, or false and why). Asked when a channel of an
    // RTSP device with an ONVIF host but no stream URL is opened. The device
    // may be gone by then: done is called all the same, and the link checks.
    virtual void discoverStreams(Device *d,
                                 std::function<void(bool ok, const QString &why)> done) = 0;

    // ---- Recordings (feature Playback) ----------------------------------
    // A span of recorded data, UTC.
    struct RecordSpan
    {
        QDateTime start;
        QDateTime end;
    };
    // What happened at a moment of a recording (feature Events).
    enum class AlarmKind { Motion = 1, Tamper = 2, Input = 3 };
    struct EventMark
    {
        QDateTime at; // UTC
        AlarmKind kind = AlarmKind::Motion;
        bool active = true; // the alarm began (true) or ended (false)
    };
    // How ch's recordings are replayed: the RTSP replay URI
    // (credential-free) and what the replay service offers.
    struct ReplayTarget
    {
        QString uri;
        bool reverse = false; // negative Scale is accepted
    };

    // The recorded spans of ch's video source that touch [from, to), by
    // start; done runs once (GUI thread) with them, or with why not (empty
    // list and a non-empty why). The device may be gone by then.
    virtual void
    findRecordings(Channel *ch, const QDateTime &from, const QDateTime &to,
                   std::function<void(const QList<RecordSpan> &, const QString &why)> done) = 0;
    // The recorded alarms (motion, tampering, inputs) of ch's source in
    // [from, to), by time; as findRecordings.
    virtual void
    findEvents(Channel *ch, const QDateTime &from, const QDateTime &to,
               std::function<void(const QList<EventMark> &, const QString &why)> done) = 0;
    // The replay URI of ch's recording; as findRecordings (target.uri empty
    // and why set on failure).
    virtual void
    replayTarget(Channel *ch,
                 std::function<void(const ReplayTarget &, const QString &why)> done) = 0;

    // ---- Live alarms (feature Events) ----------------------------------
    // While watched, the device's alarms are reported as
    // DeviceEvents::alarmMsg(channel, kind, active); a lost subscription is
    // made again. Watching a device that has no event service does nothing.
    virtual void watchEvents(Device *d, bool on) = 0;
};
