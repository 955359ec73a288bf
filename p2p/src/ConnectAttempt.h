#pragma once

#include "Wire.h"

#include <asio.hpp>

#include <memory>
#include <string>
#include <vector>

namespace p2p {

class ClientEngine;

// Finds a device by UID and opens a TCP connection to it: first the peers
// named in the environment, else UDP discovery broadcasts every 500 ms.
// Runs on the engine's io thread; reports to the engine. The engine owns the
// time-out and aborts the attempt when it gives up.
class ConnectAttempt : public std::enable_shared_from_this<ConnectAttempt>
{
public:
    ConnectAttempt(ClientEngine &engine, asio::io_context &io, int sid, std::string uid,
                   std::vector<wire::Peer> peers, std::uint16_t discoveryPort);

    void start();
    void abort();

private:
    void nextPeer();
    void discover();
    void probe();
    void receive();
    void connectTo(const asio::ip::tcp::endpoint &ep);
    void connected();
    void fail(int code);

    ClientEngine &engine_;
    int sid_;
    std::string uid_;
    std::vector<wire::Peer> peers_;
    std::size_t peerIndex_ = 0;
    std::uint16_t discoveryPort_;
    bool done_ = false;

    asio::ip::tcp::resolver resolver_;
    asio::ip::tcp::socket socket_;
    asio::ip::udp::socket udp_;
    asio::steady_timer timer_;
    std::vector<asio::ip::address_v4> targets_;
    std::vector<std::uint8_t> request_;
    std::uint32_t requestId_ = 0;
    std::array<std::uint8_t, 1024> buffer_{};
    asio::ip::udp::endpoint from_;
};

} // namespace p2p
