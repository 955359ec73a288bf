#pragma once

#include "AvChannelTable.h"
#include "ClientSession.h"
#include "FrameReady.h"

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>

namespace p2p {

// What the session layer (ClientEngine) and the AV layer (AvLayer) share:
// one mutex over the sessions and the AV channels, and the condition
// variable that every blocked call waits on (every change notifies it).
//
// Threads: any thread, holding m for every field and every …Locked() call.
struct ClientState
{
    mutable std::mutex m;
    std::condition_variable cv;
    bool down = false; // the engine shut down
    std::map<int, std::shared_ptr<ClientSession>> sessions;
    AvChannelTable avs;
    // Frame-ready notes, noted under m and delivered by the io thread after it.
    FrameReady ready;

    std::shared_ptr<ClientSession> sessionLocked(int sid) const;
    // 0 for a connected session, else the AV code that calls on it report.
    int sessionErrorLocked(int sid) const;
    // Closes an AV channel with `code`, unbinding it from its session; with
    // tellPeer, tells the peer when the channel was not closed yet.
    void closeChannelLocked(const std::shared_ptr<AvChannel> &c, int code, bool tellPeer);
};

} // namespace p2p
