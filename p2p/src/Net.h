#pragma once

// Small platform seams for the discovery sockets.

#include <asio.hpp>

#include <cstdint>
#include <string>
#include <vector>

namespace p2p::net {

// Where discovery requests go: 255.255.255.255, every interface's broadcast
// address, the loopback broadcast 127.255.255.255 and 127.0.0.1.
std::vector<asio::ip::address_v4> broadcastTargets();

// Lets several sockets (and processes) bind the same UDP port.
void allowPortSharing(asio::ip::udp::socket &socket);

// ORVANE_P2P_DISCOVERY_PORT, or P2P_DEFAULT_DISCOVERY_PORT when unset or invalid.
std::uint16_t discoveryPort();

// Value of an environment variable, empty when unset.
std::string env(const char *name);

} // namespace p2p::net
