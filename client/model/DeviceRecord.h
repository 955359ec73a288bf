#pragma once

#include "model/DeviceKind.h"
#include "model/RtspSource.h"

#include <QString>

// One locally registered device as the configuration file stores it
// (array "device"). A plain value type.
struct DeviceRecord
{
    int type = 0;
    int channel = 0; // channel count
    QString nickname;
    QString uid;
    QString username; // view account
    QString password; // view password
    DeviceKind kind = DeviceKind::P2p;
    RtspSource rtsp = {}; // RTSP devices: one stream per channel (channel == rtsp.streams.size())

    bool operator==(const DeviceRecord &o) const
    {
        return type == o.type && channel == o.channel && nickname == o.nickname && uid == o.uid &&
               username == o.username && password == o.password && kind == o.kind && rtsp == o.rtsp;
    }
    bool operator!=(const DeviceRecord &o) const { return !(*this == o); }
};
