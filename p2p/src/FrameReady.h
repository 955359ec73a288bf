#pragma once

#include <p2p/p2p.h>

#include <map>
#include <mutex>
#include <utility>
#include <vector>

namespace p2p {

// The ready notifications of avSetFrameReadyCallback (frames) and
// avSetIoCtrlReadyCallback (IO control messages): the callbacks by AV index
// and group, and the notifications noted while the state's mutex was held,
// delivered once it is released. A close reaches both groups.
//
// Threads: note() with ClientState's mutex held (any thread); take() the
// same; fire() on the io thread without ClientState's mutex; set() any
// thread. The callback mutex is taken before ClientState's mutex, never
// after, so a callback may call the av… receive functions; it is recursive
// so that a callback may replace or remove itself.
class FrameReady
{
public:
    enum Kind { Video = 0, Audio = 1, Closed = 2, IoCtrl = 3 };
    enum Group { Frames = 0, IoMessages = 1 };

    // With ClientState's mutex held: something happened on av. Notes the same
    // (av, kind) once until it is taken.
    void noteLocked(int av, Kind kind);
    // With ClientState's mutex held: the notes so far, handed to fire().
    std::vector<std::pair<int, int>> takeLocked();

    // Calls the callbacks of the notes. No ClientState lock held.
    void fire(const std::vector<std::pair<int, int>> &notes);

    // Registers (fn non-null) or removes the callback of av. Once it returns,
    // a removed callback is neither running (except on this very thread)
    // nor called again.
    void set(int av, avFrameReadyFn fn, void *context, Group group = Frames);
    // Forgets every callback (the engine shuts down).
    void clear();

private:
    std::vector<std::pair<int, int>> pending_; // ClientState's mutex
    std::recursive_mutex callbackMutex_;
    // By (AV index, group).
    std::map<std::pair<int, int>, std::pair<avFrameReadyFn, void *>> callbacks_; // callbackMutex_
};

} // namespace p2p
