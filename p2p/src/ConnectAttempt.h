#pragma once

#include "Tls.h"
#include "Wire.h"

#include <asio.hpp>

#include <deque>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace p2p {

class ClientEngine;

// Finds a device by UID and opens a TLS connection to it: first the peers
// named in the environment, else UDP discovery broadcasts every 500 ms. A
// connection counts only when the device's key matches the UID's pin (or the
// UID has none yet): an address that presents another key is dropped and the
// next peer or discovery answer is tried; when none matches, the attempt
// fails with IOTC_ER_DEVICE_KEY_MISMATCH. Runs on the engine's io thread;
// reports to the engine. The engine owns the time-out and aborts the attempt
// when it gives up.
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
    void nextCandidate();
    void secure();
    void insecure(int code); // this address failed the TLS step
    void connected();
    void fail(int code);

    ClientEngine &engine_;
    asio::io_context &io_;
    int sid_;
    std::string uid_;
    std::vector<wire::Peer> peers_;
    std::size_t peerIndex_ = 0;
    std::uint16_t discoveryPort_;
    bool done_ = false;
    bool connecting_ = false;                        // discovery: an address is being tried
    std::deque<asio::ip::tcp::endpoint> candidates_; // discovery answers not tried yet
    std::set<asio::ip::tcp::endpoint> tried_;
    int tlsFailure_ = 0; // the last TLS step failure, 0 when none

    asio::ip::tcp::resolver resolver_;
    asio::ip::tcp::socket socket_;
    std::unique_ptr<tls::Stream> stream_;
    std::string fingerprint_;
    wire::Binding binding_{};
    asio::ip::udp::socket udp_;
    asio::steady_timer timer_;
    asio::steady_timer grace_; // discovery: waits for another answer after a refused key
    std::vector<asio::ip::address_v4> targets_;
    std::vector<std::uint8_t> request_;
    std::uint32_t requestId_ = 0;
    std::array<std::uint8_t, 1024> buffer_{};
    asio::ip::udp::endpoint from_;
};

} // namespace p2p
