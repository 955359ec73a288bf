#include "DiscoveryResponder.h"

#include "Net.h"
#include "Wire.h"

#include <vector>

namespace p2p {

namespace {
std::mutex registryMutex;
std::map<std::uint16_t, std::weak_ptr<DiscoveryResponder>> registry;
} // namespace

std::shared_ptr<DiscoveryResponder> DiscoveryResponder::acquire(std::uint16_t port,
                                                                std::string *error)
{
    std::lock_guard<std::mutex> lock(registryMutex);
    auto it = registry.find(port);
    if (it != registry.end()) {
        if (auto existing = it->second.lock())
            return existing;
    }
    std::shared_ptr<DiscoveryResponder> r(new DiscoveryResponder);
    if (!r->open(port, error))
        return nullptr;
    registry[port] = r;
    return r;
}

DiscoveryResponder::DiscoveryResponder()
    : socket_(io_)
{}

DiscoveryResponder::~DiscoveryResponder()
{
    asio::post(io_, [this] {
        asio::error_code ec;
        socket_.close(ec);
    });
    if (thread_.joinable())
        thread_.join();
}

bool DiscoveryResponder::open(std::uint16_t port, std::string *error)
{
    asio::error_code ec;
    socket_.open(asio::ip::udp::v4(), ec);
    if (!ec) {
        net::allowPortSharing(socket_);
        socket_.set_option(asio::socket_base::broadcast(true), ec);
        socket_.bind(asio::ip::udp::endpoint(asio::ip::address_v4::any(), port), ec);
    }
    if (ec) {
        if (error)
            *error = "discovery port " + std::to_string(port) + ": " + ec.message();
        return false;
    }
    receive();
    thread_ = std::thread([this] { io_.run(); });
    return true;
}

int DiscoveryResponder::add(const Entry &entry)
{
    std::lock_guard<std::mutex> lock(mutex_);
    entries_[nextId_] = entry;
    return nextId_++;
}

void DiscoveryResponder::remove(int id)
{
    std::lock_guard<std::mutex> lock(mutex_);
    entries_.erase(id);
}

void DiscoveryResponder::receive()
{
    socket_.async_receive_from(asio::buffer(buffer_), sender_,
                               [this](asio::error_code ec, std::size_t n) {
                                   if (ec == asio::error::operation_aborted || !socket_.is_open())
                                       return;
                                   wire::DiscoveryRequest req;
                                   if (!ec && wire::parseDiscoveryRequest(buffer_.data(), n, req)) {
                                       std::vector<std::vector<std::uint8_t>> answers;
                                       {
                                           std::lock_guard<std::mutex> lock(mutex_);
                                           for (const auto &[id, e] : entries_) {
                                               if (!req.uid.empty() && req.uid != e.uid)
                                                   continue;
                                               wire::DiscoveryAnswer a;
                                               a.requestId = req.requestId;
                                               a.uid = e.uid;
                                               a.tcpPort = e.tcpPort;
                                               a.name = e.name;
                                               answers.push_back(wire::encodeDiscoveryAnswer(a));
                                           }
                                       }
                                       for (const auto &a : answers) {
                                           asio::error_code sendError;
                                           socket_.send_to(asio::buffer(a), sender_, 0, sendError);
                                       }
                                   }
                                   receive();
                               });
}

} // namespace p2p
