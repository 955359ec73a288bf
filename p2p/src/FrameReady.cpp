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
        auto it = callbacks_.find(note.first);
        if (it == callbacks_.end())
            continue;
        // Copied: the callback may remove itself.
        const auto callback = it->second;
        callback.first(note.first, note.second, callback.second);
    }
}

void FrameReady::set(int av, avFrameReadyFn fn, void *context)
{
    std::lock_guard<std::recursive_mutex> lock(callbackMutex_);
    if (fn)
        callbacks_[av] = {fn, context};
    else
        callbacks_.erase(av);
}

void FrameReady::clear()
{
    std::lock_guard<std::recursive_mutex> lock(callbackMutex_);
    callbacks_.clear();
}

} // namespace p2p
