#include "PinStore.h"

namespace p2p {

PinStore &PinStore::instance()
{
    static PinStore store;
    return store;
}

std::string PinStore::pin(const std::string &uid) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = pins_.find(uid);
    return it == pins_.end() ? std::string() : it->second;
}

void PinStore::setPin(const std::string &uid, const std::string &fingerprint)
{
    std::lock_guard<std::mutex> lock(mutex_);
    pins_[uid] = fingerprint;
    mismatches_.erase(uid);
}

void PinStore::forget(const std::string &uid)
{
    std::lock_guard<std::mutex> lock(mutex_);
    pins_.erase(uid);
    mismatches_.erase(uid);
}

PinStore::Check PinStore::check(const std::string &uid, const std::string &fingerprint)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = pins_.find(uid);
    if (it == pins_.end())
        return Check::Unpinned;
    if (it->second == fingerprint) {
        mismatches_.erase(uid);
        return Check::Matches;
    }
    mismatches_[uid] = fingerprint;
    return Check::Mismatch;
}

bool PinStore::pinIfAbsent(const std::string &uid, const std::string &fingerprint)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto [it, inserted] = pins_.emplace(uid, fingerprint);
    if (inserted || it->second == fingerprint)
        return true;
    mismatches_[uid] = fingerprint;
    return false;
}

std::string PinStore::mismatch(const std::string &uid) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = mismatches_.find(uid);
    return it == mismatches_.end() ? std::string() : it->second;
}

} // namespace p2p
