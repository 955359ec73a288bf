#pragma once

#include <map>
#include <mutex>
#include <string>

namespace p2p {

// The device keys the client trusts, by UID (trust on first use): the
// application loads the pins it keeps, a first connect to an unpinned UID
// pins the key it met, and a connect that meets another key is refused and
// remembered as a mismatch until the pin is forgotten or replaced.
//
// Threads: any thread.
class PinStore
{
public:
    static PinStore &instance();

    // Empty when the UID has no pin.
    std::string pin(const std::string &uid) const;
    void setPin(const std::string &uid, const std::string &fingerprint);
    void forget(const std::string &uid);

    enum class Check { Unpinned, Matches, Mismatch };
    // Checks a key met for uid; a mismatch is remembered.
    Check check(const std::string &uid, const std::string &fingerprint);
    // Pins the key of a device that passed the handshake when its UID has
    // no pin yet; false (a mismatch) when another key got pinned meanwhile.
    bool pinIfAbsent(const std::string &uid, const std::string &fingerprint);
    // The key of the last refused connect to uid, empty when none.
    std::string mismatch(const std::string &uid) const;

private:
    mutable std::mutex mutex_;
    std::map<std::string, std::string> pins_;
    std::map<std::string, std::string> mismatches_;
};

} // namespace p2p
