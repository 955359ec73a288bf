#include "AvChannelTable.h"

#include <p2p/p2p.h>

#include <algorithm>

namespace p2p {

void AvChannelTable::setLimit(int maxChannels)
{
    limit_ = std::min(maxChannels, kMaxChannels);
}

int AvChannelTable::allocate()
{
    if (limit_ <= 0 || static_cast<int>(byIndex_.size()) >= limit_)
        return -1;
    for (int i = 0; i < limit_; ++i) {
        const int av = (next_ + i) % limit_;
        if (!byIndex_.count(av)) {
            next_ = (av + 1) % limit_;
            return av;
        }
    }
    return -1;
}

int AvChannelTable::open(int sid, std::uint8_t channel, bool server, ChannelPtr &out)
{
    const BindKey key = bindKey(sid, channel, server);
    if (bound_.count(key))
        return AV_ER_IOTC_CHANNEL_IN_USED;
    const int av = allocate();
    if (av < 0)
        return AV_ER_EXCEED_MAX_CHANNEL;
    out = std::make_shared<AvChannel>(av, sid, channel, server);
    byIndex_[av] = out;
    bound_[key] = out;
    return 0;
}

AvChannelTable::ChannelPtr AvChannelTable::find(int av) const
{
    auto it = byIndex_.find(av);
    return it == byIndex_.end() ? nullptr : it->second;
}

AvChannelTable::ChannelPtr AvChannelTable::bound(int sid, std::uint8_t channel, bool server) const
{
    auto it = bound_.find(bindKey(sid, channel, server));
    return it == bound_.end() ? nullptr : it->second;
}

void AvChannelTable::unbind(const AvChannel &c)
{
    auto it = bound_.find(bindKey(c.sid, c.channel, c.server));
    if (it != bound_.end() && it->second.get() == &c)
        bound_.erase(it);
}

std::vector<AvChannelTable::ChannelPtr> AvChannelTable::unbindSession(int sid)
{
    std::vector<ChannelPtr> out;
    auto it = bound_.lower_bound({sid, 0});
    while (it != bound_.end() && it->first.first == sid) {
        out.push_back(it->second);
        it = bound_.erase(it);
    }
    return out;
}

void AvChannelTable::remove(const ChannelPtr &c)
{
    auto it = byIndex_.find(c->av);
    if (it != byIndex_.end() && it->second == c)
        byIndex_.erase(it);
}

AvChannelTable::ChannelPtr AvChannelTable::remove(int av)
{
    auto it = byIndex_.find(av);
    if (it == byIndex_.end())
        return nullptr;
    ChannelPtr c = std::move(it->second);
    byIndex_.erase(it);
    return c;
}

std::vector<AvChannelTable::ChannelPtr> AvChannelTable::removeSession(int sid)
{
    std::vector<ChannelPtr> out;
    for (auto it = byIndex_.begin(); it != byIndex_.end();) {
        if (it->second->sid == sid) {
            unbind(*it->second);
            out.push_back(std::move(it->second));
            it = byIndex_.erase(it);
        } else {
            ++it;
        }
    }
    return out;
}

std::vector<AvChannelTable::ChannelPtr> AvChannelTable::removeAll()
{
    std::vector<ChannelPtr> out;
    for (auto &entry : byIndex_)
        out.push_back(std::move(entry.second));
    byIndex_.clear();
    bound_.clear();
    return out;
}

} // namespace p2p
