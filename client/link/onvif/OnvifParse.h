#pragma once

#include "link/onvif/OnvifTypes.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>

// Readers of the device's SOAP replies and of WS-Discovery ProbeMatches.
// Elements are matched by namespace URI and local name, never by prefix.
// Each reader returns its value, or an error: the device's SOAP fault (code,
// subcodes, reason), Malformed (not XML, not a SOAP 1.2 envelope, not the
// expected answer), or Oversized (over MaxReplyBytes, nested deeper than
// MaxDepth). Fields are validated and bounded: an over-long token, a URI of
// the wrong scheme or an impossible size is left out, not passed on.
//
// Threads: any (pure functions).
class OnvifParse
{
public:
    static constexpr qsizetype MaxReplyBytes = 1024 * 1024;
    static constexpr int MaxDepth = 32;
    static constexpr int MaxTokenLength = 64;  // ReferenceToken
    static constexpr int MaxTextLength = 256;  // names, device information
    static constexpr int MaxListEntries = 256; // profiles, presets, probe matches

    // GetCapabilities: the device, media and PTZ XAddrs.
    static OnvifResult<OnvifServices> capabilities(const QByteArray &reply);
    // GetServices: the XAddrs of the device, media and PTZ (ver20) services.
    static OnvifResult<OnvifServices> services(const QByteArray &reply);
    static OnvifResult<OnvifDeviceInfo> deviceInformation(const QByteArray &reply);
    static OnvifResult<OnvifDateTime> systemDateAndTime(const QByteArray &reply);
    static OnvifResult<QList<OnvifProfile>> profiles(const QByteArray &reply);
    // GetStreamUri (rtsp, rtsps) and GetSnapshotUri (http, https).
    static OnvifResult<QUrl> streamUri(const QByteArray &reply);
    static OnvifResult<QUrl> snapshotUri(const QByteArray &reply);
    static OnvifResult<QList<OnvifPreset>> presets(const QByteArray &reply);
    // SetPreset: the new preset's token.
    static OnvifResult<QString> presetToken(const QByteArray &reply);
    // An answer without content: the response element named operation + "Response"
    // in the namespace of the service (SetSystemDateAndTime, ContinuousMove, Stop,
    // GotoPreset ...).
    static OnvifResult<OnvifDone> empty(const QByteArray &reply, const QString &ns,
                                        const QString &operation);
    // Any reply: its fault, when it is one.
    static std::optional<OnvifError> fault(const QByteArray &reply);

    static OnvifResult<OnvifProbeMatches> probeMatches(const QByteArray &datagram);
};
