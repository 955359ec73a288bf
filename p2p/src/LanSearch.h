#pragma once

#include <asio.hpp>

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace p2p {

// One LAN search: discovery broadcasts every interval for the wait time,
// answers collected (one per UID, first answer wins) until stop().
// open(), start() and stop() run on the io thread, results() on any thread.
class LanSearch : public std::enable_shared_from_this<LanSearch>
{
public:
    LanSearch(asio::io_context &io, std::uint16_t discoveryPort);

    bool open();
    void start(int waitMs, int intervalMs);
    void stop();
    int results(void *entries, int maxEntries) const;

private:
    struct Result
    {
        std::string uid;
        std::string ip;
        std::uint16_t port = 0;
        std::string name;
    };
    void probe();
    void receive();

    std::uint16_t discoveryPort_;
    asio::ip::udp::socket socket_;
    asio::steady_timer timer_;
    std::chrono::steady_clock::time_point end_;
    std::chrono::milliseconds interval_{1000};
    std::vector<asio::ip::address_v4> targets_;
    std::vector<std::uint8_t> request_;
    std::uint32_t requestId_ = 0;
    std::array<std::uint8_t, 1024> buffer_{};
    asio::ip::udp::endpoint from_;
    bool stopped_ = false;

    mutable std::mutex mutex_;
    std::vector<Result> results_;
};

} // namespace p2p
