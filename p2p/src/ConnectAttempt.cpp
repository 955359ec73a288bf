#include "ConnectAttempt.h"

#include "Auth.h"
#include "ClientEngine.h"
#include "Net.h"

#include <cstring>

namespace p2p {

namespace {
constexpr std::chrono::milliseconds kProbeInterval{500};

std::uint32_t randomId()
{
    const auto n = auth::randomNonce();
    std::uint32_t id = 0;
    std::memcpy(&id, n.data(), sizeof(id));
    return id;
}
} // namespace

ConnectAttempt::ConnectAttempt(ClientEngine &engine, asio::io_context &io, int sid, std::string uid,
                               std::vector<wire::Peer> peers, std::uint16_t discoveryPort)
    : engine_(engine)
    , sid_(sid)
    , uid_(std::move(uid))
    , peers_(std::move(peers))
    , discoveryPort_(discoveryPort)
    , resolver_(io)
    , socket_(io)
    , udp_(io)
    , timer_(io)
{}

void ConnectAttempt::start()
{
    if (!peers_.empty())
        nextPeer();
    else
        discover();
}

void ConnectAttempt::abort()
{
    done_ = true;
    asio::error_code ec;
    resolver_.cancel();
    timer_.cancel();
    udp_.close(ec);
    socket_.close(ec);
}

void ConnectAttempt::fail(int code)
{
    if (done_)
        return;
    abort();
    engine_.attemptFailed(sid_, this, code);
}

void ConnectAttempt::nextPeer()
{
    if (done_)
        return;
    if (peerIndex_ >= peers_.size()) {
        fail(IOTC_ER_DEVICE_NOT_LISTENING);
        return;
    }
    const wire::Peer &p = peers_[peerIndex_++];
    resolver_.async_resolve(
        p.host, std::to_string(p.port),
        [self = shared_from_this()](asio::error_code ec,
                                    asio::ip::tcp::resolver::results_type results) {
            if (self->done_)
                return;
            if (ec) {
                self->nextPeer();
                return;
            }
            asio::async_connect(self->socket_, results,
                                [self](asio::error_code ec, const asio::ip::tcp::endpoint &) {
                                    if (self->done_)
                                        return;
                                    if (ec) {
                                        asio::error_code ignored;
                                        self->socket_.close(ignored);
                                        self->nextPeer();
                                        return;
                                    }
                                    self->engine_.attemptFound(self->sid_, self.get());
                                    self->connected();
                                });
        });
}

void ConnectAttempt::discover()
{
    asio::error_code ec;
    udp_.open(asio::ip::udp::v4(), ec);
    if (!ec)
        udp_.set_option(asio::socket_base::broadcast(true), ec);
    if (!ec)
        udp_.bind(asio::ip::udp::endpoint(asio::ip::address_v4::any(), 0), ec);
    if (ec) {
        fail(IOTC_ER_FAIL_CREATE_SOCKET);
        return;
    }
    requestId_ = randomId();
    wire::DiscoveryRequest req;
    req.requestId = requestId_;
    req.uid = uid_;
    request_ = wire::encodeDiscoveryRequest(req);
    targets_ = net::broadcastTargets();
    receive();
    probe();
}

void ConnectAttempt::probe()
{
    if (done_)
        return;
    for (const auto &t : targets_) {
        asio::error_code ec; // unreachable targets are expected, e.g. no default route
        udp_.send_to(asio::buffer(request_), asio::ip::udp::endpoint(t, discoveryPort_), 0, ec);
    }
    timer_.expires_after(kProbeInterval);
    timer_.async_wait([self = shared_from_this()](asio::error_code ec) {
        if (!ec)
            self->probe();
    });
}

void ConnectAttempt::receive()
{
    udp_.async_receive_from(asio::buffer(buffer_), from_,
                            [self = shared_from_this()](asio::error_code ec, std::size_t n) {
                                if (self->done_ || ec == asio::error::operation_aborted)
                                    return;
                                wire::DiscoveryAnswer a;
                                if (!ec && wire::parseDiscoveryAnswer(self->buffer_.data(), n, a) &&
                                    a.requestId == self->requestId_ && a.uid == self->uid_) {
                                    asio::error_code ignored;
                                    self->timer_.cancel();
                                    self->udp_.close(ignored);
                                    self->engine_.attemptFound(self->sid_, self.get());
                                    self->connectTo(
                                        asio::ip::tcp::endpoint(self->from_.address(), a.tcpPort));
                                    return;
                                }
                                self->receive();
                            });
}

void ConnectAttempt::connectTo(const asio::ip::tcp::endpoint &ep)
{
    socket_.async_connect(ep, [self = shared_from_this()](asio::error_code ec) {
        if (self->done_)
            return;
        if (ec) {
            self->fail(IOTC_ER_DEVICE_NOT_LISTENING);
            return;
        }
        self->connected();
    });
}

void ConnectAttempt::connected()
{
    done_ = true;
    engine_.attemptConnected(sid_, this, std::move(socket_));
}

} // namespace p2p
