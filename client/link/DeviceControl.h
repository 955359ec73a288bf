#pragma once

#include <QDateTime>
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
};
