#include "LoginGuard.h"

namespace p2p {

LoginGuard::LoginGuard(int limit, std::chrono::milliseconds window)
    : limit_(limit)
    , window_(window)
{}

bool LoginGuard::locked(const std::string &address, Clock::time_point now) const
{
    auto it = records_.find(address);
    return it != records_.end() && now < it->second.lockedUntil;
}

void LoginGuard::failed(const std::string &address, Clock::time_point now)
{
    auto it = records_.find(address);
    if (it == records_.end()) {
        if (records_.size() >= kMaxAddresses)
            prune(now);
        if (records_.size() >= kMaxAddresses)
            return;
        it = records_.emplace(address, Record{now, 0, {}}).first;
    }
    Record &r = it->second;
    if (now < r.lockedUntil)
        return;
    if (now - r.since > window_)
        r = Record{now, 0, {}};
    if (++r.failures >= limit_) {
        r.lockedUntil = now + window_;
        r.since = r.lockedUntil;
        r.failures = 0;
    }
}

void LoginGuard::succeeded(const std::string &address)
{
    records_.erase(address);
}

void LoginGuard::prune(Clock::time_point now)
{
    for (auto it = records_.begin(); it != records_.end();) {
        const Record &r = it->second;
        const bool stale = now >= r.lockedUntil && now - r.since > window_;
        it = stale ? records_.erase(it) : std::next(it);
    }
}

} // namespace p2p
