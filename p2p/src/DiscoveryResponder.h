#pragma once

#include <asio.hpp>

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace p2p {

// Answers discovery requests for every device of this process that uses the
// same discovery port: one UDP socket (shared with other processes through
// SO_REUSEADDR/SO_REUSEPORT) and one thread per port. Each device answers
// with its own datagram, unicast to the sender.
class DiscoveryResponder
{
public:
    struct Entry
    {
        std::string uid;
        std::string name;
        std::uint16_t tcpPort = 0;
    };

    // The responder for a port, created on first use. Null (with a reason)
    // when the port cannot be bound.
    static std::shared_ptr<DiscoveryResponder> acquire(std::uint16_t port, std::string *error);

    ~DiscoveryResponder();

    int add(const Entry &entry);
    void remove(int id);

private:
    DiscoveryResponder();
    bool open(std::uint16_t port, std::string *error);
    void receive();

    asio::io_context io_;
    asio::ip::udp::socket socket_;
    asio::ip::udp::endpoint sender_;
    std::array<std::uint8_t, 1024> buffer_{};
    std::thread thread_;

    std::mutex mutex_;
    std::map<int, Entry> entries_;
    int nextId_ = 1;
};

} // namespace p2p
