#include "ConnectAttempt.h"

#include "Auth.h"
#include "ClientEngine.h"
#include "Net.h"
#include "PinStore.h"

#include <cstring>

namespace p2p {

namespace {
constexpr std::chrono::milliseconds kProbeInterval{500};
// After a discovered address presented the wrong key, how long other
// answers may still bring the right device.
constexpr std::chrono::milliseconds kMismatchGrace{1500};

std::uint32_t randomId()
{
    const auto n = auth::randomNonce();
    std::uint32_t id = 0;
    std::memcpy(&id, n.data(), sizeof(id));
    return id;
}

// A peer that closes or resets during the TLS handshake is not listening
// (a device refusing connections); anything else is a failed handshake.
int handshakeCode(const asio::error_code &ec)
{
    if (ec == asio::error::eof || ec == asio::error::connection_reset ||
        ec == asio::error::connection_aborted || ec == asio::error::broken_pipe)
        return IOTC_ER_DEVICE_NOT_LISTENING;
    return IOTC_ER_SECURE_HANDSHAKE_FAILED;
}
} // namespace

ConnectAttempt::ConnectAttempt(ClientEngine &engine, asio::io_context &io, int sid, std::string uid,
                               std::vector<wire::Peer> peers, std::uint16_t discoveryPort)
    : engine_(engine)
    , io_(io)
    , sid_(sid)
    , uid_(std::move(uid))
    , peers_(std::move(peers))
    , discoveryPort_(discoveryPort)
    , resolver_(io)
    , socket_(io)
    , udp_(io)
    , timer_(io)
    , grace_(io)
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
    grace_.cancel();
    udp_.close(ec);
    socket_.close(ec);
    if (stream_)
        tls::socketOf(*stream_).close(ec);
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
        fail(tlsFailure_ ? tlsFailure_ : IOTC_ER_DEVICE_NOT_LISTENING);
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
                                    self->secure();
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
                                    // An answer only names an address to try: the key decides.
                                    const asio::ip::tcp::endpoint ep(self->from_.address(),
                                                                     a.tcpPort);
                                    if (self->tried_.insert(ep).second) {
                                        self->engine_.attemptFound(self->sid_, self.get());
                                        self->candidates_.push_back(ep);
                                        if (!self->connecting_)
                                            self->nextCandidate();
                                    }
                                }
                                self->receive();
                            });
}

void ConnectAttempt::nextCandidate()
{
    if (done_ || connecting_ || candidates_.empty())
        return;
    const auto ep = candidates_.front();
    candidates_.pop_front();
    connectTo(ep);
}

void ConnectAttempt::connectTo(const asio::ip::tcp::endpoint &ep)
{
    connecting_ = true;
    socket_.async_connect(ep, [self = shared_from_this()](asio::error_code ec) {
        if (self->done_)
            return;
        if (ec) {
            asio::error_code ignored;
            self->socket_.close(ignored);
            self->insecure(IOTC_ER_DEVICE_NOT_LISTENING);
            return;
        }
        self->secure();
    });
}

void ConnectAttempt::secure()
{
    stream_ = tls::makeStream(std::move(socket_), *tls::clientContext());
    socket_ = asio::ip::tcp::socket(io_);
    tls::handshake(*stream_, false, [self = shared_from_this()](const asio::error_code &ec) {
        if (self->done_)
            return;
        if (ec) {
            self->insecure(handshakeCode(ec));
            return;
        }
        self->fingerprint_ = tls::peerFingerprint(*self->stream_);
        if (!tls::exportBinding(*self->stream_, self->binding_)) {
            self->insecure(IOTC_ER_SECURE_HANDSHAKE_FAILED);
            return;
        }
        if (!self->fingerprint_.empty() &&
            PinStore::instance().check(self->uid_, self->fingerprint_) ==
                PinStore::Check::Mismatch) {
            self->insecure(IOTC_ER_DEVICE_KEY_MISMATCH);
            return;
        }
        self->connected();
    });
}

void ConnectAttempt::insecure(int code)
{
    if (stream_) {
        asio::error_code ignored;
        tls::socketOf(*stream_).close(ignored);
        stream_.reset();
    }
    // A wrong key outranks every other failure in what is reported.
    if (tlsFailure_ != IOTC_ER_DEVICE_KEY_MISMATCH && code != IOTC_ER_DEVICE_NOT_LISTENING)
        tlsFailure_ = code;
    if (!peers_.empty()) {
        nextPeer();
        return;
    }
    connecting_ = false;
    if (!candidates_.empty()) {
        nextCandidate();
        return;
    }
    if (tlsFailure_ == 0) {
        fail(code);
        return;
    }
    // Discovery: another answer may still bring the device with the right key.
    grace_.expires_after(kMismatchGrace);
    grace_.async_wait([self = shared_from_this()](asio::error_code ec) {
        if (!ec && !self->done_ && !self->connecting_)
            self->fail(self->tlsFailure_);
    });
}

void ConnectAttempt::connected()
{
    done_ = true;
    asio::error_code ec;
    timer_.cancel();
    grace_.cancel();
    udp_.close(ec);
    engine_.attemptConnected(sid_, this, std::move(stream_), fingerprint_, binding_);
}

} // namespace p2p
