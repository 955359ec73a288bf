#pragma once

#include "link/ChannelRef.h"

#include <QHash>
#include <QObject>
#include <QSet>

#include <optional>

class Channel;
class Dev;

// The IO time-out of each channel and the device replies it still waits for.
//
// Every IO control request arms its channel's time-out (Channel::ioTimeout())
// and its result disarms it; the timer stops once no request of the channel
// is left. A request whose outcome only a later device reply tells (time
// zone, Wi-Fi, quality, playback seek) keeps the time-out armed until that
// reply arrives. When the timer fires, timedOut() names the channel.
//
// Threads: GUI thread only.
class ReplyWatch : public QObject
{
    Q_OBJECT

public:
    ReplyWatch(const Dev *dev, int timeoutMs, QObject *parent = nullptr);

    void setTimeoutMs(int ms) { m_timeoutMs = ms; }
    int timeoutMs() const { return m_timeoutMs; }

    // One more request of ch waits for its result; (re)starts the time-out.
    void arm(Channel *ch);
    // One request of ch has its result; stops the time-out after the last.
    void disarm(Channel *ch);
    // A task's result arrived: disarms its channel (when that still exists)
    // and returns the channel when the result still belongs to its live
    // slot, else null.
    Channel *resultArrived(const TaskContext &ctx);
    // Keeps the time-out armed until a reply of replyType arrives.
    void await(Channel *ch, unsigned int replyType);
    // True when a reply of this type was awaited (and is no longer).
    bool arrived(Channel *ch, unsigned int replyType);
    // The time-out fired: forgets the channel's requests and returns the
    // reply types that never came.
    QSet<unsigned int> expire(Channel *ch);
    // The channel's session is gone: forgets its requests, stops the timer.
    void forget(Channel *ch);

    // The quality a change asked for, held until the device acknowledges it.
    void expectQuality(Channel *ch, bool hd);
    std::optional<bool> takeQuality(Channel *ch);

signals:
    void timedOut(Channel *ch);

private:
    void release(Channel *ch);

    const Dev *m_dev;
    QHash<ChannelRef, int> m_pending; // requests without a result, per channel
    QHash<ChannelRef, QSet<unsigned int>> m_awaiting;
    QHash<ChannelRef, bool> m_quality;
    int m_timeoutMs;
};
