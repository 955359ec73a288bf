#pragma once

#include "AvChannel.h"

#include <cstdint>
#include <map>
#include <memory>
#include <utility>
#include <vector>

namespace p2p {

// The AV channels of the client library by AV index, in both roles, and
// which of them are still bound to their session's channel id.
//
// A channel is registered under a free AV index and bound to (session,
// channel id, role) when it starts. It leaves its session when it closes
// (the id may then start again), but keeps its AV index until the caller
// stops it, so that calls on that index keep reporting why it closed.
//
// Threads: not thread-safe; ClientState's mutex guards it.
class AvChannelTable
{
public:
    using ChannelPtr = std::shared_ptr<AvChannel>;

    static constexpr int kMaxChannels = 65536;

    // avInitialize: the number of AV indexes; below 0 the AV layer is down.
    void setLimit(int maxChannels);
    bool isInitialized() const { return limit_ >= 0; }

    // Registers a new channel of session sid under a free AV index and binds
    // it; returns 0 or an AV error code (channel id in use, no free index).
    int open(int sid, std::uint8_t channel, bool server, ChannelPtr &out);

    ChannelPtr find(int av) const;
    // The channel of session sid with that id and role, while it is bound.
    ChannelPtr bound(int sid, std::uint8_t channel, bool server) const;

    // Unbinds c from its session, when it is still the one bound there.
    void unbind(const AvChannel &c);
    // Unbinds every channel of session sid; returns them.
    std::vector<ChannelPtr> unbindSession(int sid);

    // Frees the AV index of c, when c still holds it.
    void remove(const ChannelPtr &c);
    // Frees the AV index av; returns the channel that held it.
    ChannelPtr remove(int av);
    // Frees the AV indexes of session sid (unbinding them); returns the channels.
    std::vector<ChannelPtr> removeSession(int sid);
    // Frees every AV index (unbinding every channel); returns the channels.
    std::vector<ChannelPtr> removeAll();

private:
    using BindKey = std::pair<int, int>; // session id, channel id (+256 for the server role)
    static BindKey bindKey(int sid, std::uint8_t channel, bool server)
    {
        return {sid, channel + (server ? 256 : 0)};
    }
    int allocate();

    int limit_ = -1;
    int next_ = 0;
    std::map<int, ChannelPtr> byIndex_;
    std::map<BindKey, ChannelPtr> bound_;
};

} // namespace p2p
