#include "link/ReplyWatch.h"

#include "model/Channel.h"
#include "model/ChannelSaveTimeout.h"

ReplyWatch::ReplyWatch(const Dev *dev, int timeoutMs, QObject *parent)
    : QObject(parent)
    , m_dev(dev)
    , m_timeoutMs(timeoutMs)
{}

void ReplyWatch::arm(Channel *ch)
{
    ++m_pending[ChannelRef::of(ch)];
    connect(ch->ioTimeout(), &ChannelSaveTimeout::timeout, this, &ReplyWatch::timedOut,
            Qt::UniqueConnection);
    ch->ioTimeout()->start(m_timeoutMs);
}

void ReplyWatch::disarm(Channel *ch)
{
    const ChannelRef ref = ChannelRef::of(ch);
    const int left = m_pending.value(ref) - 1;
    if (left > 0) {
        // Another request of the channel still waits for its answer.
        m_pending.insert(ref, left);
        return;
    }
    m_pending.remove(ref);
    release(ch);
    ch->ioTimeout()->stop();
}

Channel *ReplyWatch::resultArrived(const TaskContext &ctx)
{
    if (Channel *any = ctx.ref.resolve(m_dev))
        disarm(any);
    return ctx.resolve(m_dev, true);
}

void ReplyWatch::await(Channel *ch, unsigned int replyType)
{
    m_awaiting[ChannelRef::of(ch)].insert(replyType);
    arm(ch);
}

bool ReplyWatch::arrived(Channel *ch, unsigned int replyType)
{
    const auto it = m_awaiting.find(ChannelRef::of(ch));
    if (it == m_awaiting.end() || !it->remove(replyType))
        return false;
    if (it->isEmpty())
        m_awaiting.erase(it);
    disarm(ch);
    return true;
}

QSet<unsigned int> ReplyWatch::expire(Channel *ch)
{
    const ChannelRef ref = ChannelRef::of(ch);
    m_pending.remove(ref);
    release(ch);
    return m_awaiting.take(ref);
}

void ReplyWatch::forget(Channel *ch)
{
    const ChannelRef ref = ChannelRef::of(ch);
    m_pending.remove(ref);
    m_awaiting.remove(ref);
    ch->ioTimeout()->stop();
}

void ReplyWatch::expectQuality(Channel *ch, bool hd)
{
    m_quality.insert(ChannelRef::of(ch), hd);
}

std::optional<bool> ReplyWatch::takeQuality(Channel *ch)
{
    const auto it = m_quality.find(ChannelRef::of(ch));
    if (it == m_quality.end())
        return std::nullopt;
    const bool hd = *it;
    m_quality.erase(it);
    return hd;
}

void ReplyWatch::release(Channel *ch)
{
    disconnect(ch->ioTimeout(), &ChannelSaveTimeout::timeout, this, &ReplyWatch::timedOut);
}
