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
    static constexpr int MaxListEntries = 256; // profiles, presets, probe matches, recordings
    static constexpr int MaxEvents = 1024;     // notifications in one reply

    // GetCapabilities: the device, media, PTZ and event XAddrs, and those of
    // recording, search and replay (in its Extension).
    static OnvifResult<OnvifServices> capabilities(const QByteArray &reply);
    // GetServices: the XAddrs of the device, media, PTZ (ver20), event,
    // recording, search and replay services.
    static OnvifResult<OnvifServices> services(const QByteArray &reply);
    static OnvifResult<OnvifDeviceInfo> deviceInformation(const QByteArray &reply);
    static OnvifResult<OnvifDateTime> systemDateAndTime(const QByteArray &reply);
    static OnvifResult<QList<OnvifProfile>> profiles(const QByteArray &reply);
    // GetStreamUri (rtsp, rtsps) and GetSnapshotUri (http, https).
    static OnvifResult<QUrl> streamUri(const QByteArray &reply);
    static OnvifResult<QUrl> snapshotUri(const QByteArray &reply);
    static OnvifResult<QList<OnvifPreset>> presets(const QByteArray &reply);
    // GetRecordings (recording service): tokens and sources, no times.
    static OnvifResult<QList<OnvifRecording>> recordings(const QByteArray &reply);
    // FindRecordings, FindEvents: the search's token.
    static OnvifResult<QString> searchToken(const QByteArray &reply);
    static OnvifResult<OnvifSearchPage<OnvifRecording>>
    recordingSearchResults(const QByteArray &reply);
    // Recorded events of the followed topics; results without a time are left out.
    static OnvifResult<OnvifSearchPage<OnvifEvent>> eventSearchResults(const QByteArray &reply);
    static OnvifResult<OnvifRecordingSummary> recordingSummary(const QByteArray &reply);
    // GetReplayUri: an rtsp or rtsps URI.
    static OnvifResult<QUrl> replayUri(const QByteArray &reply);
    static OnvifResult<OnvifReplayCapabilities> replayCapabilities(const QByteArray &reply);
    // CreatePullPointSubscription: an http(s) address is required.
    static OnvifResult<OnvifSubscription> subscription(const QByteArray &reply);
    // PullMessages: the notifications of the followed topics (others left out).
    static OnvifResult<OnvifPull> pullMessages(const QByteArray &reply);
    // Renew: the new termination time.
    static OnvifResult<OnvifPull> renew(const QByteArray &reply);
    // An xs:dateTime as UTC (no zone: UTC); invalid when it is none or out of range.
    static QDateTime dateTime(const QString &text);
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
