#include "FrameReady.h"

#include <algorithm>

namespace p2p {

void FrameReady::noteLocked(int av, Kind kind)
{
    const std::pair<int, int> note{av, int(kind)};
    if (std::find(pending_.begin(), pending_.end(), note) == pending_.end())
        pending_.push_back(note);
}

std::vector<std::pair<int, int>> FrameReady::takeLocked()
{
    std::vector<std::pair<int, int>> notes;
    notes.swap(pending_);
    return notes;
}

void FrameReady::fire(const std::vector<std::pair<int, int>> &notes)
{
    if (notes.empty())
        return;
    std::lock_guard<std::recursive_mutex> lock(callbackMutex_);
    for (const auto &note : notes) {
        for (const int group : {int(Frames), int(IoMessages)}) {
            const bool wanted =
                note.second == Closed || (group == IoMessages) == (note.second == IoCtrl);
            if (!wanted)
                continue;
            auto it = callbacks_.find({note.first, group});
            if (it == callbacks_.end())
                continue;
            // Copied: the callback may remove itself.
            const auto callback = it->second;
            callback.first(note.first, note.second, callback.second);
        }
    }
}

void FrameReady::set(int av, avFrameReadyFn fn, void *context, Group group)
{
    std::lock_guard<std::recursive_mutex> lock(callbackMutex_);
    if (fn)
        callbacks_[{av, int(group)}] = {fn, context};
    else
        callbacks_.erase({av, int(group)});
}

void FrameReady::clear()
{
    std::lock_guard<std::recursive_mutex> lock(callbackMutex_);
    callbacks_.clear();
}

} // namespace p2p
