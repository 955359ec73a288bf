#pragma once

#include <QDateTime>
#include <QString>

// A preset the user set on a device's channel: its number (from 0, also its
// row in the preset table), how many presets had been set on the channel
// before it, and when.
struct PresetRecord
{
    QString uid;
    int channel = 0; // the channel's index, from 0
    int number = 0;
    int index = 0;
    QDateTime time;

    bool operator==(const PresetRecord &o) const
    {
        return uid == o.uid && channel == o.channel && number == o.number && index == o.index &&
               time == o.time;
    }
};
