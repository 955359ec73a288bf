#pragma once

#include "model/DeviceKind.h"
#include "model/DeviceRecord.h"

#include <QCoreApplication>
#include <QList>
#include <QString>

// A device as typed on the device page, its checks and the record it is
// stored as. The access kind chooses how the device is reached: P2P (by
// UID) or RTSP (by stream URLs, RtspUrl::parseStreams: one per channel,
// "MAIN|SUB" pairs, or a pattern with {ch}, {ch0} and {stream} for the
// channel count given). An RTSP camera may be known by its ONVIF host alone:
// its streams come from its media profiles then. Any thread (no shared state).
struct DeviceEntry
{
    // The texts are the device page's and are translated with it.
    Q_DECLARE_TR_FUNCTIONS(AddDev)

public:
    int type = 0;
    QString name;
    QString uid;
    QString account;
    QString password;
    QString channels;
    DeviceKind kind = DeviceKind::P2p;
    QString urls;      // RTSP: the stream list as typed
    QString onvifHost; // RTSP: "host[:port]" of the ONVIF service, or empty
    bool udp = false;  // RTSP: RTP over UDP instead of the RTSP connection (TCP)

    // The picker's device types; 0 (no type) only prompts for a choice.
    struct TypeItem
    {
        const char *text;
        int type;
    };
    static QList<TypeItem> typeItems();
    static constexpr int PtzCameraType = 10;

    // Why the entry cannot be stored, or an empty text when it can.
    QString problem() const;
    // The entry as it is stored (RTSP: fillRtsp, the URL's credentials over
    // the typed ones); false when an RTSP entry's URLs do not parse.
    bool toRecord(DeviceRecord *record) const;
    // An RTSP camera known by its ONVIF host alone: it is asked for its
    // channels before it is stored.
    bool needsOnvifProbe() const;

    // Why RTSP fields cannot be stored, or an empty text when they can
    // (channels: the form's channel count, used by a pattern). An ONVIF host
    // without URLs is enough: the streams come from the device then.
    static QString rtspProblem(const QString &urls, const QString &channels,
                               const QString &onvifHost);
    // Fills the RTSP part of record: kind, UID (RtspUrl::deviceUid of the
    // first URL), channel count, streams, ONVIF host and transport, and the
    // URL's credentials over its account and password when it had any.
    // False when the URLs do not parse.
    static bool fillRtsp(const QString &urls, const QString &channels, const QString &onvifHost,
                         bool udp, DeviceRecord *record);
};
