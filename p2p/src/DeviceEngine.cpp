#include "DeviceEngine.h"

#include "Auth.h"
#include "Net.h"

#include <algorithm>
#include <cstdio>
#include <future>

namespace p2p {

namespace {
constexpr std::chrono::seconds kHandshakeTimeout{10};
// After a failed accept (out of descriptors or memory, mostly) the pending
// connection stays queued and the acceptor stays ready: accepting again at
// once would spin. Wait this long, doubling up to the maximum.
constexpr std::chrono::milliseconds kAcceptBackoffMin{50};
constexpr std::chrono::milliseconds kAcceptBackoffMax{1000};
} // namespace

DeviceEngine::DeviceEngine(DeviceConfig config, DeviceServer::Callbacks callbacks)
    : cfg(std::move(config))
    , cb(std::move(callbacks))
    , loginGuard(cfg.loginFailureLimit, cfg.loginLockout)
    , requests_(*this)
{}

std::shared_ptr<DeviceSession> DeviceEngine::readySessionLocked(int id) const
{
    auto it = sessions.find(id);
    if (it == sessions.end() || !it->second->ready)
        return nullptr;
    return it->second;
}

// ---- starting and stopping ---------------------------------------------------

bool DeviceEngine::start(std::string *error)
{
    std::lock_guard<std::mutex> lock(m);
    if (running)
        return true;
    if (!wire::isValidUid(cfg.uid)) {
        if (error)
            *error = "invalid UID";
        return false;
    }
    if (!tlsContext) {
        if (cfg.tlsKeyPem.empty() || cfg.tlsCertPem.empty()) {
            // No long-term key given: a key for this run only.
            tls::Identity id;
            if (!tls::generateIdentity(cfg.uid, id, error))
                return false;
            cfg.tlsKeyPem = id.keyPem;
            cfg.tlsCertPem = id.certPem;
        }
        tlsContext = tls::serverContext({cfg.tlsKeyPem, cfg.tlsCertPem}, error);
        if (!tlsContext)
            return false;
        fingerprint = tls::fingerprintOfCertificate(cfg.tlsCertPem);
    }
    if (!listen(error))
        return false;
    if (cfg.discoverable)
        announce();
    accept();
    work_ = std::make_unique<asio::executor_work_guard<asio::io_context::executor_type>>(
        io->get_executor());
    thread_ = std::thread([io = io.get()] { io->run(); });
    running = true;
    dropped = 0;
    return true;
}

bool DeviceEngine::listen(std::string *error)
{
    io = std::make_unique<asio::io_context>(1);
    acceptor_ = std::make_unique<asio::ip::tcp::acceptor>(*io);
    acceptTimer_ = std::make_unique<asio::steady_timer>(*io);
    acceptBackoff_ = {};
    asio::error_code ec;
    const asio::ip::tcp::endpoint ep(asio::ip::address_v4::any(), cfg.tcpPort);
    acceptor_->open(ep.protocol(), ec);
    if (!ec)
        acceptor_->set_option(asio::socket_base::reuse_address(true), ec);
    if (!ec)
        acceptor_->bind(ep, ec);
    if (!ec)
        acceptor_->listen(asio::socket_base::max_listen_connections, ec);
    if (ec) {
        if (error)
            *error = "TCP port " + std::to_string(cfg.tcpPort) + ": " + ec.message();
        acceptor_.reset();
        io.reset();
        return false;
    }
    port = acceptor_->local_endpoint(ec).port();
    return true;
}

void DeviceEngine::announce()
{
    const std::uint16_t dport = cfg.discoveryPort ? cfg.discoveryPort : net::discoveryPort();
    std::string why;
    responder_ = DiscoveryResponder::acquire(dport, &why);
    if (responder_)
        responderId_ = responder_->add({cfg.uid, cfg.name, port});
    else
        std::fprintf(stderr, "p2p: device %s is not discoverable (%s)\n", cfg.uid.c_str(),
                     why.c_str());
}

void DeviceEngine::shutdown(bool graceful)
{
    std::vector<std::shared_ptr<DeviceSession>> all;
    {
        std::lock_guard<std::mutex> lock(m);
        if (!running)
            return;
        running = false;
        for (const auto &s : sessions)
            all.push_back(s.second);
    }
    if (responder_) {
        responder_->remove(responderId_);
        responder_.reset();
    }
    asio::post(*io, [this, all, graceful] {
        asio::error_code ec;
        acceptor_->close(ec);
        acceptTimer_->cancel();
        for (const auto &h : handshaking_)
            tls::socketOf(*h).close(ec);
        handshaking_.clear();
        for (const auto &s : all) {
            if (graceful)
                s->conn->closeWithBye();
            else
                s->conn->close();
        }
    });
    work_.reset();
    auto done = std::async(std::launch::async, [this] { thread_.join(); });
    if (done.wait_for(std::chrono::seconds(3)) != std::future_status::ready)
        io->stop();
    done.wait();
    {
        std::lock_guard<std::mutex> lock(m);
        sessions.clear();
        port = 0;
    }
    acceptor_.reset();
    acceptTimer_.reset();
    all.clear();
    io.reset();
}

// ---- sessions ----------------------------------------------------------------

void DeviceEngine::accept()
{
    acceptor_->async_accept([this](asio::error_code ec, asio::ip::tcp::socket socket) {
        if (ec == asio::error::operation_aborted || !acceptor_->is_open())
            return;
        if (ec) {
            acceptFailed(ec);
            return;
        }
        acceptBackoff_ = {};
        secure(std::move(socket));
        accept();
    });
}

void DeviceEngine::acceptFailed(const asio::error_code &ec)
{
    if (acceptBackoff_.count() == 0)
        std::fprintf(stderr, "p2p: device %s cannot accept connections (%s); retrying\n",
                     cfg.uid.c_str(), ec.message().c_str());
    acceptBackoff_ = std::clamp(acceptBackoff_ * 2, kAcceptBackoffMin, kAcceptBackoffMax);
    acceptTimer_->expires_after(acceptBackoff_);
    acceptTimer_->async_wait([this](asio::error_code e) {
        if (!e && acceptor_->is_open())
            accept();
    });
}

void DeviceEngine::secure(asio::ip::tcp::socket socket)
{
    bool refuse = false;
    {
        std::lock_guard<std::mutex> lock(m);
        refuse = faults.refuseConnections;
    }
    if (refuse) {
        asio::error_code ec;
        socket.shutdown(asio::ip::tcp::socket::shutdown_both, ec);
        socket.close(ec);
        return;
    }
    std::shared_ptr<tls::Stream> stream = tls::makeStream(std::move(socket), *tlsContext);
    handshaking_.insert(stream);
    auto timer = std::make_shared<asio::steady_timer>(*io, kHandshakeTimeout);
    std::weak_ptr<tls::Stream> weak = stream;
    timer->async_wait([weak](asio::error_code ec) {
        if (auto st = weak.lock(); !ec && st)
            tls::socketOf(*st).close(ec);
    });
    tls::handshake(*stream, true, [this, stream, timer](const asio::error_code &ec) {
        timer->cancel();
        if (handshaking_.erase(stream) == 0)
            return; // shut down meanwhile
        wire::Binding binding{};
        if (ec || !tls::exportBinding(*stream, binding)) {
            asio::error_code ignored;
            tls::socketOf(*stream).close(ignored);
            return;
        }
        accepted(stream, binding);
    });
}

void DeviceEngine::accepted(std::shared_ptr<tls::Stream> stream, const wire::Binding &binding)
{
    auto s = std::make_shared<DeviceSession>();
    DeviceFaults f;
    {
        std::lock_guard<std::mutex> lock(m);
        f = faults;
        s->id = nextSession_++;
        sessions[s->id] = s;
    }
    s->silent = f.silentHandshake;
    s->binding = binding;
    asio::error_code ec;
    s->address = tls::socketOf(*stream).remote_endpoint(ec).address().to_string();
    s->loginTimer = std::make_unique<asio::steady_timer>(*io);
    s->nonce = auth::randomNonce();
    s->conn = std::make_shared<Connection>(std::move(stream));
    s->timer = std::make_unique<asio::steady_timer>(*io);
    s->timer->expires_after(kHandshakeTimeout);
    std::weak_ptr<DeviceSession> weak = s;
    s->timer->async_wait([weak](asio::error_code ec) {
        auto s = weak.lock();
        if (!ec && s && !s->ready)
            s->conn->close();
    });
    if (f.frozen)
        s->conn->setFrozen(true);
    s->conn->start(
        [this, weak](wire::Message &&msg) {
            if (auto s = weak.lock())
                onMessage(s, std::move(msg));
        },
        [this, s](CloseReason) { onClosed(s); }, !s->silent);
}

void DeviceEngine::onHello(const std::shared_ptr<DeviceSession> &s, const wire::Message &msg)
{
    wire::Hello hello;
    if (msg.header.type != wire::MsgType::Hello || !wire::parseHello(msg.payload, hello)) {
        s->conn->close(CloseReason::ProtocolError);
        return;
    }
    wire::Welcome w;
    w.nonce = s->nonce;
    w.name = cfg.name;
    int dropAfter = 0;
    {
        std::lock_guard<std::mutex> lock(m);
        const auto open = std::count_if(sessions.begin(), sessions.end(),
                                        [](const auto &e) { return e.second->ready; });
        if (hello.uid != cfg.uid)
            w.status = wire::Welcome::WrongUid;
        else if (static_cast<std::size_t>(open) >= cfg.maxSessions)
            w.status = wire::Welcome::Busy;
        s->ready = w.status == wire::Welcome::Ok;
        s->clientNonce = hello.nonce;
        dropAfter = faults.dropSessionAfterSec;
    }
    s->conn->send(wire::makeMessage(wire::MsgType::Welcome, 0, 0, wire::encodeWelcome(w)));
    if (!s->ready) {
        s->silent = true; // refused: what else arrives is ignored
        s->conn->closeWithBye();
        return;
    }
    s->timer->cancel();
    if (dropAfter > 0)
        armDropFault(s, dropAfter);
    if (cb.sessionOpened)
        cb.sessionOpened(s->id, s->conn->peer());
}

void DeviceEngine::armDropFault(const std::shared_ptr<DeviceSession> &s, int afterSec)
{
    std::weak_ptr<DeviceSession> weak = s;
    s->timer->expires_after(std::chrono::seconds(afterSec));
    s->timer->async_wait([weak](asio::error_code ec) {
        if (auto s = weak.lock(); s && !ec)
            s->conn->close();
    });
}

void DeviceEngine::onClosed(const std::shared_ptr<DeviceSession> &s)
{
    std::vector<int> chans, talks;
    bool wasReady = false;
    {
        std::lock_guard<std::mutex> lock(m);
        sessions.erase(s->id);
        wasReady = s->ready;
        for (const auto &c : s->chans)
            chans.push_back(c.first);
        for (const auto &t : s->talks)
            if (t.second.open)
                talks.push_back(t.first);
        s->chans.clear();
        s->talks.clear();
    }
    if (s->timer)
        s->timer->cancel();
    if (s->loginTimer)
        s->loginTimer->cancel();
    if (!wasReady)
        return;
    for (int ch : chans)
        if (cb.channelClosed)
            cb.channelClosed(s->id, ch);
    for (int ch : talks)
        if (cb.talkClosed)
            cb.talkClosed(s->id, ch);
    if (cb.sessionClosed)
        cb.sessionClosed(s->id);
}

// ---- messages from clients ---------------------------------------------------

void DeviceEngine::onMessage(const std::shared_ptr<DeviceSession> &s, wire::Message &&msg)
{
    if (s->silent)
        return;
    if (!s->ready) {
        onHello(s, msg);
        return;
    }
    if (!requests_.handle(*s, msg))
        s->conn->close(CloseReason::ProtocolError);
}

} // namespace p2p
