#pragma once

#include <QHash>
#include <QList>
#include <QPair>
#include <QtGlobal>

class Channel;

// Watches the streams that Decode drives, for the two ways a stream dies
// without saying so:
//   - silence: the stream is on and its device online, yet no frame came
//     for NoVideoMs (the caller shows "No video" and restarts the stream);
//   - a lost link: a receive fails with a session-ending code, or fails hard
//     (any error but "no data yet") HardFailureStreak times in a row (the
//     caller reports the device's link lost).
//
// Keys are (channel, mode) pointers only; nothing here dereferences a
// channel, so a channel that went away is simply pruned.
// Threads: GUI thread (Decode's events and tick).
class StreamWatch
{
public:
    static constexpr qint64 NoVideoMs = 5000;
    static constexpr int HardFailureStreak = 25;

    using Stream = QPair<Channel *, bool>; // (channel, live)

    // A frame of the stream arrived.
    void frameArrived(Channel *channel, bool live, qint64 nowMs);
    // A receive of the stream failed with code; true when the device's link
    // is to be reported lost (once per streak).
    bool receiveFailed(Channel *channel, bool live, int code, bool linkLostCode);

    // Given the streams that should be delivering now, returns those silent
    // for NoVideoMs or longer; each is reported once, then watched again
    // from nowMs. Streams not listed are forgotten.
    QList<Stream> silentStreams(const QList<Stream> &streaming, qint64 nowMs);

private:
    struct State
    {
        qint64 lastFrameMs = -1; // or the time the watch began
        int hardFailures = 0;
    };
    QHash<Stream, State> m_streams;
};
