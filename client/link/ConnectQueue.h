#pragma once

#include "link/ChannelRef.h"
#include "link/LinkTaskCore.h"

#include <QList>
#include <QObject>
#include <QSet>

class Channel;
class Dev;
class ProgressEvent_Connect;
class QTimer;

// The opening of device sessions and then of the channels' live AV channels.
//
// Sessions open one at a time, in request order; a request names a channel,
// and one queued channel stands for its whole device. An attempt runs as a
// task that posts ProgressEvent_Connect. The watchdog fires when an attempt
// takes longer than watchdogMs; cut() then stops it in the library and lets
// the queue move on, and the late answer of the cut attempt is recognised
// once. The SDK is started on the first attempt.
//
// AV channels start once no session is waiting, all at once, each as a task
// that posts ProgressEvent_GetAvIndex; further sessions wait until every
// channel asked for has its AV channel or has failed.
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

    ConnectQueue(LinkTaskCorePtr core, const Dev *dev, int watchdogMs, QObject *parent = nullptr);

    // Queues a session for ref's device.
    void requestSession(const ChannelRef &ref);
    // Queues the live AV channel of ref's channel.
    void requestChannel(const ChannelRef &ref);

    Answer answer(const ProgressEvent_Connect &e);
    // The attempt for ref's device ended: its requests are dropped and the
    // next attempt (or, with no session left, the AV channels) starts.
    void finish(const ChannelRef &ref);
    // Watchdog: stops the running attempt in the library and finishes it.
    void cut();

    // The AV start task of ref ended.
    void channelStartEnded(const ChannelRef &ref);
    // Once every channel asked for has its AV channel (or is gone), the list
    // is cleared and waiting sessions go on.
    void checkChannelsOpen();

    // Shutdown: the watchdog stops and a running attempt is told to stop.
    void stop();

signals:
    void watchdogExpired();
    // A channel asked for already had its AV channel.
    void channelAlreadyOpen(Channel *ch);

private:
    void startNext();
    void startChannels();

    LinkTaskCorePtr m_core;
    const Dev *m_dev;
    QTimer *m_watchdog;
    QList<ChannelRef> m_sessions; // first: the device of the running attempt
    ChannelRef m_current;         // the channel of the running attempt
    int m_currentSid = -1;
    bool m_running = false;
    quint64 m_attempt = 0;        // number of the latest attempt
    QSet<quint64> m_cut;          // cut attempts whose answer is still to come
    QList<ChannelRef> m_channels; // channels waiting for their AV channel
    QSet<ChannelRef> m_starting;  // an AV start task is running
};
