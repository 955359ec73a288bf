#include "link/ChannelRef.h"

#include "model/Channel.h"
#include "model/Dev.h"
#include "model/Device.h"

ChannelRef ChannelRef::of(const Channel *channel)
{
    ChannelRef ref;
    if (!channel || !channel->device())
        return ref;
    ref.device = channel->device();
    ref.uid = channel->device()->uid();
    ref.index = channel->index();
    return ref;
}

Device *ChannelRef::resolveDevice(const Dev *registry) const
{
    if (!device || !registry)
        return nullptr;
    for (Device *d : registry->devices()) {
        if (d == device)
            return d->uid() == uid ? d : nullptr;
    }
    return nullptr;
}

Channel *ChannelRef::resolve(const Dev *registry) const
{
    Device *d = resolveDevice(registry);
    if (!d || index < 0 || index >= d->channels().size())
        return nullptr;
    return d->channel(index);
}

TaskContext TaskContext::of(const Channel *channel, bool live)
{
    TaskContext ctx;
    ctx.ref = ChannelRef::of(channel);
    ctx.sessionId = channel->device()->sessionId();
    ctx.avIndex = channel->avIndex(live);
    return ctx;
}

Channel *TaskContext::resolve(const Dev *registry, bool live) const
{
    Channel *ch = ref.resolve(registry);
    if (!ch || ch->device()->sessionId() != sessionId || ch->avIndex(live) != avIndex)
        return nullptr;
    return ch;
}
