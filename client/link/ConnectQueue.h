#pragma once

#include "link/ChannelRef.h"
#include "link/LinkTaskCore.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>

class Channel;
class Dev;
class ProgressEvent_Connect;
class QTimer;

// The opening of device sessions and then of the channels' live AV channels.
//
// Sessions open in request order, up to MaxAttempts devices at once, so that
// devices which do not answer never hold back one that does; a request names
// a channel, and one queued channel stands for its whole device. An attempt
// runs as a task on its device's executor that posts ProgressEvent_Connect.
// An attempt that takes longer than watchdogMs is cut: stopped in the
// library, its device's requests dropped and the next attempt started; the
// late answer of a cut attempt is recognised once. The SDK is started on the
// first attempt.
//
// A channel's AV channel starts as soon as its device has a session, as a
// task that posts ProgressEvent_GetAvIndex.
//
// Threads: GUI thread only.
class ConnectQueue : public QObject
{
    Q_OBJECT

public:
    // How a connect answer relates to the attempts made.
    enum class Answer {
        Stale,   // of no attempt still expected: drop it
        Late,    // of an attempt the watchdog cut
        Current, // of the running attempt, which has ended with it
    };

    // Attempts running at once, at most.
    static constexpr int MaxAttempts = 4;

    ConnectQueue(LinkTaskCorePtr core, const Dev *dev, int watchdogMs, QObject *parent = nullptr);

    // Queues a session for ref's device.
    void requestSession(const ChannelRef &ref);
    // Queues the live AV channel of ref's channel.
    void requestChannel(const ChannelRef &ref);

    Answer answer(const ProgressEvent_Connect &e);
    // The attempt for ref's device ended: its requests are dropped, the next
    // attempt starts and the device's channels asked for start.
    void finish(const ChannelRef &ref);
    // Stops every running attempt in the library and finishes it.
    void cut();
    // Attempts running now.
    int running() const { return int(m_running.size()); }

    // The AV start task of ref ended.
    void channelStartEnded(const ChannelRef &ref);
    // Drops the channels asked for that have their AV channel (or are gone).
    void checkChannelsOpen();

    // Shutdown: the watchdogs stop and running attempts are told to stop.
    void stop();

signals:
    // A channel asked for already had its AV channel.
    void channelAlreadyOpen(Channel *ch);

private:
    struct Attempt
    {
        ChannelRef ref;
        int sid = -1;
        QTimer *watchdog = nullptr;
    };

    void startNext();
    bool startAttempt(const ChannelRef &head);
    void cutAttempt(quint64 attempt);
    void startChannels();
    bool deviceRunning(const ChannelRef &ref) const;

    LinkTaskCorePtr m_core;
    const Dev *m_dev;
    const int m_watchdogMs;
    QList<ChannelRef> m_sessions;      // devices waiting for an attempt, in request order
    QHash<quint64, Attempt> m_running; // by attempt number
    quint64 m_attempt = 0;             // number of the latest attempt
    QSet<quint64> m_cut;               // cut attempts whose answer is still to come
    QList<ChannelRef> m_channels;      // channels waiting for their AV channel
    QSet<ChannelRef> m_starting;       // an AV start task is running
};
