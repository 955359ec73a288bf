#pragma once

#include "view/WindowMod.h"

#include <QList>
#include <QString>

class Dev;
class ViewControl;

// The channels a wall display opens at start ("--live UID:CH[,UID:CH...]"):
// the grid takes the smallest layout that holds them all and entry i goes
// into window i. An entry may also be an RTSP camera,
// "rtsp://[user:password@]host[:port]/path", shown without being set up: it
// becomes a device of this session (not stored) with one channel, or the
// registered device that streams from that URL.
class LiveStartup
{
public:
    // One channel to open: a device's UID and a channel number from 1. An
    // RTSP entry has its URL (credential-free) and credentials besides, the
    // UID its device gets (RtspUrl::deviceUid) and channel 1.
    struct Entry
    {
        QString uid;
        int channel = 0;
        QString url = {};
        QString user = {};
        QString password = {};
    };

    // Entries of one argument; the largest grid holds 64 windows.
    static constexpr int MaxEntries = 64;

    // Any thread.
    // The entries of "UID:CH[,UID:CH...]" in order (spaces around an entry
    // are ignored); an entry that starts with "rtsp://" or "rtsps://" is an
    // RTSP URL (a comma inside one must be written %2C). An entry without a
    // UID, with a UID longer than 64 characters, or with a channel that is
    // not a whole number from 1; a URL that RtspUrl::split refuses; an empty
    // entry; or more than MaxEntries entries make the argument malformed: the
    // result is then empty and *error says which entry and why (never with
    // a URL's credentials).
    static QList<Entry> parse(const QString &text, QString *error);
    // The layout with the fewest windows that holds n (the largest for more).
    static WINDOW_MOD layoutFor(int n);

    // GUI thread.
    // Switches the grid to layoutFor(entries.size()) and opens entry i in
    // window i. A UID that is not registered in dev, or a channel the device
    // does not have, is logged and leaves its window empty; the others still
    // open. An RTSP entry whose device is not registered registers one; the
    // credentials of its URL replace a registered one's for this session.
    static void open(const QList<Entry> &entries, ViewControl *view, Dev *dev);
};
