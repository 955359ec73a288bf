#pragma once

#include <chrono>
#include <cstddef>
#include <map>
#include <string>

namespace p2p {

// Failed AV logins per client address: an address with `limit` failures
// within `window` is locked out for `window`, whatever it sends meanwhile.
// At most kMaxAddresses addresses are tracked; stale ones make room first,
// and an address that finds no room is not tracked (the delays of its
// sessions still apply).
//
// Threads: one thread only (the device's io thread).
class LoginGuard
{
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::size_t kMaxAddresses = 1024;

    LoginGuard(int limit, std::chrono::milliseconds window);

    bool locked(const std::string &address, Clock::time_point now) const;
    void failed(const std::string &address, Clock::time_point now);
    void succeeded(const std::string &address);

private:
    struct Record
    {
        Clock::time_point since; // start of the window the failures count in
        int failures = 0;
        Clock::time_point lockedUntil;
    };
    void prune(Clock::time_point now);

    int limit_;
    std::chrono::milliseconds window_;
    std::map<std::string, Record> records_;
};

} // namespace p2p
