#include "LanSearch.h"

#include "Auth.h"
#include "Net.h"
#include "Wire.h"

#include <p2p/p2p.h>

#include <algorithm>
#include <cstring>

namespace p2p {

LanSearch::LanSearch(asio::io_context &io, std::uint16_t discoveryPort)
    : discoveryPort_(discoveryPort)
    , socket_(io)
    , timer_(io)
{}

bool LanSearch::open()
{
    asio::error_code ec;
    socket_.open(asio::ip::udp::v4(), ec);
    if (!ec)
        socket_.set_option(asio::socket_base::broadcast(true), ec);
    if (!ec)
        socket_.bind(asio::ip::udp::endpoint(asio::ip::address_v4::any(), 0), ec);
    return !ec;
}

void LanSearch::start(int waitMs, int intervalMs)
{
    const auto n = auth::randomNonce();
    std::memcpy(&requestId_, n.data(), sizeof(requestId_));
    wire::DiscoveryRequest req;
    req.requestId = requestId_;
    request_ = wire::encodeDiscoveryRequest(req);
    targets_ = net::broadcastTargets();
    interval_ = std::chrono::milliseconds(std::max(intervalMs, 50));
    end_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(waitMs, 0));
    receive();
    probe();
}

void LanSearch::stop()
{
    stopped_ = true;
    asio::error_code ec;
    timer_.cancel();
    socket_.close(ec);
}

int LanSearch::results(void *entries, int maxEntries) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    const int count = std::min(maxEntries, static_cast<int>(results_.size()));
    auto *out = static_cast<std::uint8_t *>(entries);
    for (int i = 0; i < count; ++i) {
        const Result &r = results_[static_cast<std::size_t>(i)];
        wire::writeSearchEntry(out + static_cast<std::size_t>(i) * P2P_SEARCH_ENTRY_SIZE, r.uid,
                               r.ip, r.port, r.name);
    }
    return count;
}

void LanSearch::probe()
{
    if (stopped_)
        return;
    for (const auto &t : targets_) {
        asio::error_code ec;
        socket_.send_to(asio::buffer(request_), asio::ip::udp::endpoint(t, discoveryPort_), 0, ec);
    }
    if (std::chrono::steady_clock::now() + interval_ > end_)
        return;
    timer_.expires_after(interval_);
    timer_.async_wait([self = shared_from_this()](asio::error_code ec) {
        if (!ec)
            self->probe();
    });
}

void LanSearch::receive()
{
    socket_.async_receive_from(
        asio::buffer(buffer_), from_,
        [self = shared_from_this()](asio::error_code ec, std::size_t n) {
            if (self->stopped_ || ec == asio::error::operation_aborted)
                return;
            wire::DiscoveryAnswer a;
            if (!ec && wire::parseDiscoveryAnswer(self->buffer_.data(), n, a) &&
                a.requestId == self->requestId_) {
                std::lock_guard<std::mutex> lock(self->mutex_);
                const bool known = std::any_of(self->results_.begin(), self->results_.end(),
                                               [&](const Result &r) { return r.uid == a.uid; });
                if (!known && self->results_.size() < 1024)
                    self->results_.push_back(
                        {a.uid, self->from_.address().to_string(), a.tcpPort, a.name});
            }
            self->receive();
        });
}

} // namespace p2p
