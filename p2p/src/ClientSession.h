#pragma once

#include "Wire.h"

#include <chrono>
#include <map>
#include <memory>
#include <string>

namespace p2p {

class Connection;
class ConnectAttempt;

// One session of the client library, from IOTC_Get_SessionID to
// IOTC_Session_Close. Its AV channels live in the AvChannelTable.
//
// Threads: ClientState's mutex guards every field.
struct ClientSession
{
    enum class State { Reserved, Connecting, Connected, Dead };

    int sid = -1;
    std::string uid;
    State state = State::Reserved;
    bool stopRequested = false;
    bool found = false;
    int connectResult = 0;
    int deadCode = 0;   // session layer code once Dead
    int avDeadCode = 0; // AV layer code once Dead
    wire::Nonce myNonce{};
    wire::Nonce peerNonce{};
    std::string fingerprint; // the device's key, once connected
    wire::Binding binding{}; // of the TLS connection, for login MACs
    std::shared_ptr<Connection> conn;
    std::shared_ptr<ConnectAttempt> attempt;
    std::map<int, wire::AvLogin> earlyLogins; // logins before avServStart3 ran, by channel id
    std::map<int, std::chrono::steady_clock::time_point> reserved; // free channels handed out
};

} // namespace p2p
