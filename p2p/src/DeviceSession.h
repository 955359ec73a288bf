#pragma once

#include "Connection.h"
#include "Wire.h"

#include <asio.hpp>

#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>

namespace p2p {

// One client session of a DeviceServer, from the accepted connection to its
// close: the AV channels the client logged in on and the talk channels the
// device logged in on.
//
// Threads: DeviceEngine's mutex guards ready, clientNonce, chans and talks;
// the login fields belong to the io thread; the others are set before the
// connection starts.
struct DeviceSession : std::enable_shared_from_this<DeviceSession>
{
    // An AV channel a client logged in on: the frames the device sends on it.
    struct Channel
    {
        std::uint32_t videoNumber = 0;
        std::uint32_t audioNumber = 0;
        bool waitKey = false;
        std::uint64_t dropped = 0;
    };
    // A channel the client serves for talk, with the device as AV client.
    struct Talk
    {
        bool open = false;
        wire::Nonce nonce{};
        std::uint32_t audioNumber = 0;
    };

    int id = 0;
    std::string address; // the client's IP address
    std::shared_ptr<Connection> conn;
    bool ready = false;  // passed the handshake
    bool silent = false; // never answer: fault injection, or the handshake was refused
    wire::Nonce nonce{};
    wire::Nonce clientNonce{};
    wire::Binding binding{}; // of the TLS connection, for login MACs
    std::map<int, Channel> chans;
    std::map<int, Talk> talks;
    std::unique_ptr<asio::steady_timer> timer; // handshake time-out, then the drop fault

    // AV logins: failures in a row, when the next one may be answered, the
    // logins waiting for that, and the login nonces that opened a channel.
    int loginFailures = 0;
    std::chrono::steady_clock::time_point nextLogin{};
    std::deque<std::pair<int, wire::AvLogin>> pendingLogins; // channel, login
    std::unique_ptr<asio::steady_timer> loginTimer;
    std::set<wire::Nonce> usedLoginNonces;
};

} // namespace p2p
