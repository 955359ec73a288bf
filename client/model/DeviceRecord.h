#pragma once

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

    bool operator==(const DeviceRecord &o) const
    {
        return type == o.type && channel == o.channel && nickname == o.nickname && uid == o.uid &&
               username == o.username && password == o.password;
    }
    bool operator!=(const DeviceRecord &o) const { return !(*this == o); }
};
