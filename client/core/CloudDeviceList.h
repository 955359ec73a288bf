#pragma once

#include "model/DeviceKind.h"
#include "model/RtspSource.h"

#include <QByteArray>
#include <QList>
#include <QString>

// One device of the account service's device list reply.
struct CloudDevice
{
    QString pk;
    QString model;
    QString uid;
    QString area;
    int type = 0;
    QString userId;
    QString nickName;
    int channelCount = 1;
    QString viewPassword;
    QString viewAccount;
    // RTSP devices: "Kind" "rtsp", "Streams" (the stored stream list),
    // "Onvif" (host[:port]), "Transport" ("tcp"/"udp"). Absent: a P2P device.
    DeviceKind kind = DeviceKind::P2p;
    RtspSource rtsp;
};

// Reads the reply of "/equipment/queryUserEquipment":
//   {"error_code": 0, "result": {"datas": [{"pk": ..., "model": ...,
//     "fields": {"UID": ..., "area": ..., "Type": n, "userID": ...,
//                "NickName": ..., "ChannelIndex": n, "View_Password": ...,
//                "View_Account": ...}}, ...]}}
// False (and *devices untouched) when the body is not such an object, its
// "error_code" is not 0 or "result"/"datas" are missing. Entries that are not
// objects or carry no UID are skipped: they cannot be reached, and an empty
// UID would merge unrelated devices. A channel count below 1 or above
// MaxCloudChannels reads as 1 or MaxCloudChannels. An entry of an unknown
// Kind or with an invalid RTSP source is skipped too; an RTSP device with
// streams has as many channels as streams.
bool parseCloudDeviceList(const QByteArray &body, QList<CloudDevice> *devices);

inline constexpr int MaxCloudChannels = 64; // as for every device of the client
