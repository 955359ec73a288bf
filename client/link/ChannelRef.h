#pragma once

#include <QHash>
#include <QString>

class Channel;
class Device;
class Dev;

// A handle on a channel that stays safe to hold after the channel is gone.
// Tasks and events carry it instead of a Channel*; the GUI thread turns it
// back into the channel with resolve(), which answers null when the device
// was removed from the registry or deleted meanwhile. The device pointer is
// compared, never dereferenced, until the registry confirms it is alive.
struct ChannelRef
{
    const Device *device = nullptr;
    QString uid;
    int index = -1;

    // GUI thread. A null channel gives an empty handle.
    static ChannelRef of(const Channel *channel);

    bool isNull() const { return device == nullptr; }
    // GUI thread: the live channel this handle names, or null.
    Channel *resolve(const Dev *registry) const;
    // GUI thread: the live device this handle names, or null.
    Device *resolveDevice(const Dev *registry) const;

    bool sameDevice(const ChannelRef &other) const
    {
        return device == other.device && uid == other.uid;
    }
    bool operator==(const ChannelRef &other) const
    {
        return sameDevice(other) && index == other.index;
    }
    bool operator!=(const ChannelRef &other) const { return !(*this == other); }
};

inline size_t qHash(const ChannelRef &ref, size_t hashSeed = 0)
{
    return qHashMulti(hashSeed, quintptr(ref.device), ref.uid, ref.index);
}

// What a task was started with: the channel and the session and AV index it
// used. Results whose session or AV index no longer match the channel are
// stale (the channel was closed or reopened meanwhile).
struct TaskContext
{
    ChannelRef ref;
    int sessionId = -1;
    int avIndex = -1;

    // GUI thread: the channel with its session and the AV index of one mode.
    static TaskContext of(const Channel *channel, bool live);
    // GUI thread: the channel a result belongs to, or null when it is gone or
    // the result is stale (its session or AV index no longer match).
    Channel *resolve(const Dev *registry, bool live) const;
};
