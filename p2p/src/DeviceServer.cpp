#include <p2p/DeviceServer.h>
#include <p2p/p2p.h>

#include "Auth.h"
#include "Connection.h"
#include "DiscoveryResponder.h"
#include "Net.h"
#include "Wire.h"

#include <cstdio>
#include <future>
#include <map>
#include <mutex>
#include <thread>

namespace p2p {

namespace {
constexpr std::chrono::seconds kHandshakeTimeout{10};
constexpr std::uint32_t kServiceType = 0;
} // namespace

struct DeviceServer::Impl
{
    struct Chan
    {
        std::uint32_t videoNumber = 0;
        std::uint32_t audioNumber = 0;
        bool waitKey = false;
        std::uint64_t dropped = 0;
    };
    struct Talk
    {
        bool open = false;
        wire::Nonce nonce{};
        std::uint32_t audioNumber = 0;
    };
    struct Sess
    {
        int id = 0;
        std::shared_ptr<Connection> conn;
        bool ready = false;
        bool silent = false;
        wire::Nonce nonce{};
        wire::Nonce clientNonce{};
        std::map<int, Chan> chans;
        std::map<int, Talk> talks;
        std::unique_ptr<asio::steady_timer> timer;
    };

    DeviceConfig cfg;
    Callbacks cb;

    mutable std::mutex m;
    DeviceFaults faults;
    bool running = false;
    std::unique_ptr<asio::io_context> io;
    std::unique_ptr<asio::executor_work_guard<asio::io_context::executor_type>> work;
    std::unique_ptr<asio::ip::tcp::acceptor> acceptor;
    std::thread thread;
    std::uint16_t port = 0;
    int nextSession = 1;
    std::map<int, std::shared_ptr<Sess>> sessions;
    std::shared_ptr<DiscoveryResponder> responder;
    int responderId = 0;
    std::atomic<std::uint64_t> dropped{0};

    std::shared_ptr<Sess> readySession(int id) const
    {
        auto it = sessions.find(id);
        if (it == sessions.end() || !it->second->ready)
            return nullptr;
        return it->second;
    }

    void accept();
    void accepted(asio::ip::tcp::socket socket);
    void onMessage(const std::shared_ptr<Sess> &s, wire::Message &&msg);
    void onHello(const std::shared_ptr<Sess> &s, const wire::Message &msg);
    void onClosed(const std::shared_ptr<Sess> &s);
    void shutdown(bool graceful);
};

void DeviceServer::Impl::accept()
{
    acceptor->async_accept([this](asio::error_code ec, asio::ip::tcp::socket socket) {
        if (ec == asio::error::operation_aborted || !acceptor->is_open())
            return;
        if (!ec)
            accepted(std::move(socket));
        accept();
    });
}

void DeviceServer::Impl::accepted(asio::ip::tcp::socket socket)
{
    auto s = std::make_shared<Sess>();
    DeviceFaults f;
    {
        std::lock_guard<std::mutex> lock(m);
        f = faults;
        if (!f.refuseConnections) {
            s->id = nextSession++;
            sessions[s->id] = s;
        }
    }
    if (f.refuseConnections) {
        asio::error_code ec;
        socket.shutdown(asio::ip::tcp::socket::shutdown_both, ec);
        socket.close(ec);
        return;
    }
    s->silent = f.silentHandshake;
    s->nonce = auth::randomNonce();
    s->conn = std::make_shared<Connection>(std::move(socket));
    s->timer = std::make_unique<asio::steady_timer>(*io);
    s->timer->expires_after(kHandshakeTimeout);
    std::weak_ptr<Sess> weak = s;
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

void DeviceServer::Impl::onHello(const std::shared_ptr<Sess> &s, const wire::Message &msg)
{
    wire::Hello hello;
    if (msg.header.type != wire::MsgType::Hello || !wire::parseHello(msg.payload, hello)) {
        s->conn->close(CloseReason::ProtocolError);
        return;
    }
    wire::Welcome w;
    w.nonce = s->nonce;
    w.name = cfg.name;
    if (hello.uid != cfg.uid) {
        w.status = wire::Welcome::WrongUid;
        s->conn->send(wire::makeMessage(wire::MsgType::Welcome, 0, 0, wire::encodeWelcome(w)));
        s->conn->closeWithBye();
        return;
    }
    int dropAfter = 0;
    {
        std::lock_guard<std::mutex> lock(m);
        s->ready = true;
        s->clientNonce = hello.nonce;
        dropAfter = faults.dropSessionAfterSec;
    }
    s->conn->send(wire::makeMessage(wire::MsgType::Welcome, 0, 0, wire::encodeWelcome(w)));
    s->timer->cancel();
    if (dropAfter > 0) {
        std::weak_ptr<Sess> weak = s;
        s->timer->expires_after(std::chrono::seconds(dropAfter));
        s->timer->async_wait([weak](asio::error_code ec) {
            if (auto s = weak.lock(); s && !ec)
                s->conn->close();
        });
    }
    if (cb.sessionOpened)
        cb.sessionOpened(s->id, s->conn->peer());
}

void DeviceServer::Impl::onMessage(const std::shared_ptr<Sess> &s, wire::Message &&msg)
{
    if (s->silent)
        return;
    if (!s->ready) {
        onHello(s, msg);
        return;
    }
    const int ch = msg.header.channel;
    const bool fromClient = (msg.header.flags & wire::kFlagFromAvClient) != 0;
    switch (msg.header.type) {
    case wire::MsgType::Hello:
    case wire::MsgType::Welcome:
    case wire::MsgType::Ping:
    case wire::MsgType::Bye:
    case wire::MsgType::Video:
        if (msg.header.type != wire::MsgType::Video)
            s->conn->close(CloseReason::ProtocolError);
        return;
    case wire::MsgType::AvLogin: {
        wire::AvLogin login;
        if (!fromClient || !wire::parseAvLogin(msg.payload, login)) {
            s->conn->close(CloseReason::ProtocolError);
            return;
        }
        const auto expected = auth::loginMac(cfg.password, s->nonce, login.nonce,
                                             static_cast<std::uint8_t>(ch), false, login.account);
        const bool ok = login.account == cfg.account && auth::macEqual(expected, login.mac);
        wire::AvLoginResult r;
        r.code = ok ? 0 : AV_ER_WRONG_VIEWACCorPWD;
        r.serviceType = kServiceType;
        r.resend = 0;
        {
            std::lock_guard<std::mutex> lock(m);
            if (ok)
                s->chans[ch] = Chan{};
        }
        s->conn->send(wire::makeMessage(wire::MsgType::AvLoginResult, static_cast<std::uint8_t>(ch),
                                        0, wire::encodeAvLoginResult(r)));
        if (ok && cb.channelOpened)
            cb.channelOpened(s->id, ch);
        return;
    }
    case wire::MsgType::AvLoginResult: {
        wire::AvLoginResult r;
        if (fromClient || !wire::parseAvLoginResult(msg.payload, r)) {
            s->conn->close(CloseReason::ProtocolError);
            return;
        }
        bool known = false;
        {
            std::lock_guard<std::mutex> lock(m);
            auto it = s->talks.find(ch);
            if (it != s->talks.end() && !it->second.open) {
                known = true;
                if (r.code == 0)
                    it->second.open = true;
                else
                    s->talks.erase(it);
            }
        }
        if (known && cb.talkOpened)
            cb.talkOpened(s->id, ch, r.code);
        return;
    }
    case wire::MsgType::AvClose: {
        bool was = false;
        {
            std::lock_guard<std::mutex> lock(m);
            was = fromClient ? s->chans.erase(ch) > 0 : s->talks.erase(ch) > 0;
        }
        if (was && fromClient && cb.channelClosed)
            cb.channelClosed(s->id, ch);
        if (was && !fromClient && cb.talkClosed)
            cb.talkClosed(s->id, ch);
        return;
    }
    case wire::MsgType::IoCtrl: {
        wire::IoCtrlView v;
        if (!wire::parseIoCtrl(msg.payload, v)) {
            s->conn->close(CloseReason::ProtocolError);
            return;
        }
        bool open = false;
        {
            std::lock_guard<std::mutex> lock(m);
            open = fromClient && s->chans.count(ch) > 0;
        }
        if (open && cb.ioCtrl)
            cb.ioCtrl(s->id, ch, v.type, std::vector<std::uint8_t>(v.data, v.data + v.size));
        return;
    }
    case wire::MsgType::Audio: {
        wire::FrameView f;
        if (!wire::parseFrame(msg.payload, f)) {
            s->conn->close(CloseReason::ProtocolError);
            return;
        }
        bool open = false;
        {
            std::lock_guard<std::mutex> lock(m);
            auto it = s->talks.find(ch);
            open = !fromClient && it != s->talks.end() && it->second.open;
        }
        if (open && cb.talkAudio)
            cb.talkAudio(s->id, ch, std::vector<std::uint8_t>(f.data, f.data + f.size), f.info);
        return;
    }
    }
}

void DeviceServer::Impl::onClosed(const std::shared_ptr<Sess> &s)
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

void DeviceServer::Impl::shutdown(bool graceful)
{
    std::vector<std::shared_ptr<Sess>> all;
    {
        std::lock_guard<std::mutex> lock(m);
        if (!running)
            return;
        running = false;
        for (const auto &s : sessions)
            all.push_back(s.second);
    }
    if (responder) {
        responder->remove(responderId);
        responder.reset();
    }
    asio::post(*io, [this, all, graceful] {
        asio::error_code ec;
        acceptor->close(ec);
        for (const auto &s : all) {
            if (graceful)
                s->conn->closeWithBye();
            else
                s->conn->close();
        }
    });
    work.reset();
    auto done = std::async(std::launch::async, [this] { thread.join(); });
    if (done.wait_for(std::chrono::seconds(3)) != std::future_status::ready)
        io->stop();
    done.wait();
    {
        std::lock_guard<std::mutex> lock(m);
        sessions.clear();
        port = 0;
    }
    acceptor.reset();
    all.clear();
    io.reset();
}

DeviceServer::DeviceServer(DeviceConfig config, Callbacks callbacks)
    : d(std::make_shared<Impl>())
{
    d->cfg = std::move(config);
    d->cb = std::move(callbacks);
}

DeviceServer::~DeviceServer()
{
    stop();
}

void DeviceServer::setCallbacks(Callbacks callbacks)
{
    std::lock_guard<std::mutex> lock(d->m);
    if (!d->running)
        d->cb = std::move(callbacks);
}

bool DeviceServer::start(std::string *error)
{
    std::lock_guard<std::mutex> lock(d->m);
    if (d->running)
        return true;
    if (!wire::isValidUid(d->cfg.uid)) {
        if (error)
            *error = "invalid UID";
        return false;
    }
    d->io = std::make_unique<asio::io_context>(1);
    d->acceptor = std::make_unique<asio::ip::tcp::acceptor>(*d->io);
    asio::error_code ec;
    const asio::ip::tcp::endpoint ep(asio::ip::address_v4::any(), d->cfg.tcpPort);
    d->acceptor->open(ep.protocol(), ec);
    if (!ec)
        d->acceptor->set_option(asio::socket_base::reuse_address(true), ec);
    if (!ec)
        d->acceptor->bind(ep, ec);
    if (!ec)
        d->acceptor->listen(asio::socket_base::max_listen_connections, ec);
    if (ec) {
        if (error)
            *error = "TCP port " + std::to_string(d->cfg.tcpPort) + ": " + ec.message();
        d->acceptor.reset();
        d->io.reset();
        return false;
    }
    d->port = d->acceptor->local_endpoint(ec).port();
    if (d->cfg.discoverable) {
        const std::uint16_t dport =
            d->cfg.discoveryPort ? d->cfg.discoveryPort : net::discoveryPort();
        std::string why;
        d->responder = DiscoveryResponder::acquire(dport, &why);
        if (d->responder)
            d->responderId = d->responder->add({d->cfg.uid, d->cfg.name, d->port});
        else
            std::fprintf(stderr, "p2p: device %s is not discoverable (%s)\n", d->cfg.uid.c_str(),
                         why.c_str());
    }
    d->accept();
    d->work = std::make_unique<asio::executor_work_guard<asio::io_context::executor_type>>(
        d->io->get_executor());
    d->thread = std::thread([io = d->io.get()] { io->run(); });
    d->running = true;
    d->dropped = 0;
    return true;
}

void DeviceServer::stop()
{
    d->shutdown(true);
}

void DeviceServer::abort()
{
    d->shutdown(false);
}

bool DeviceServer::isRunning() const
{
    std::lock_guard<std::mutex> lock(d->m);
    return d->running;
}

std::uint16_t DeviceServer::port() const
{
    std::lock_guard<std::mutex> lock(d->m);
    return d->port;
}

const DeviceConfig &DeviceServer::config() const
{
    return d->cfg;
}

void DeviceServer::setFaults(const DeviceFaults &faults)
{
    std::vector<std::shared_ptr<Connection>> conns;
    {
        std::lock_guard<std::mutex> lock(d->m);
        d->faults = faults;
        for (const auto &s : d->sessions)
            conns.push_back(s.second->conn);
    }
    for (const auto &c : conns)
        c->setFrozen(faults.frozen);
}

DeviceFaults DeviceServer::faults() const
{
    std::lock_guard<std::mutex> lock(d->m);
    return d->faults;
}

std::vector<int> DeviceServer::sessions() const
{
    std::lock_guard<std::mutex> lock(d->m);
    std::vector<int> ids;
    for (const auto &s : d->sessions)
        if (s.second->ready)
            ids.push_back(s.first);
    return ids;
}

bool DeviceServer::isChannelOpen(int session, int channel) const
{
    std::lock_guard<std::mutex> lock(d->m);
    auto s = d->readySession(session);
    return s && s->chans.count(channel) > 0;
}

bool DeviceServer::sendIoCtrl(int session, int channel, std::uint32_t type,
                              const std::uint8_t *data, std::size_t size)
{
    if (size > kMaxIoCtrlSize || (size > 0 && !data))
        return false;
    std::shared_ptr<Connection> conn;
    {
        std::lock_guard<std::mutex> lock(d->m);
        auto s = d->readySession(session);
        if (!s || !s->chans.count(channel))
            return false;
        conn = s->conn;
    }
    return conn->send(wire::makeMessage(wire::MsgType::IoCtrl, static_cast<std::uint8_t>(channel),
                                        0, wire::encodeIoCtrlPrefix(type),
                                        std::vector<std::uint8_t>(data, data + size)));
}

bool DeviceServer::sendIoCtrl(int session, int channel, std::uint32_t type,
                              const std::vector<std::uint8_t> &payload)
{
    return sendIoCtrl(session, channel, type, payload.data(), payload.size());
}

SendResult DeviceServer::sendVideoFrame(int session, int channel, const std::uint8_t *data,
                                        std::size_t size, const FrameInfo &info)
{
    if (size > kMaxVideoFrameSize || (size > 0 && !data))
        return SendResult::NoChannel;
    std::lock_guard<std::mutex> lock(d->m);
    auto s = d->readySession(session);
    if (!s)
        return SendResult::NoChannel;
    auto it = s->chans.find(channel);
    if (it == s->chans.end())
        return SendResult::NoChannel;
    Impl::Chan &c = it->second;
    const std::uint32_t number = c.videoNumber++;
    const bool key = info.isKeyFrame();
    const std::size_t queued = s->conn->queuedBytes();
    bool drop = c.waitKey && !key;
    if (!drop && queued > 0 && queued + size > d->cfg.sendQueueBytes) {
        drop = true;
        c.waitKey = true;
    }
    if (!drop) {
        std::uint8_t raw[FrameInfo::kSize];
        info.serialize(raw);
        drop = !s->conn->send(wire::makeMessage(
            wire::MsgType::Video, static_cast<std::uint8_t>(channel), 0,
            wire::encodeFramePrefix(number, raw), std::vector<std::uint8_t>(data, data + size)));
        c.waitKey = drop;
    }
    if (drop) {
        ++c.dropped;
        ++d->dropped;
        return SendResult::Dropped;
    }
    return SendResult::Queued;
}

SendResult DeviceServer::sendAudioFrame(int session, int channel, const std::uint8_t *data,
                                        std::size_t size, const FrameInfo &info)
{
    if (size > kMaxAudioFrameSize || (size > 0 && !data))
        return SendResult::NoChannel;
    std::lock_guard<std::mutex> lock(d->m);
    auto s = d->readySession(session);
    if (!s)
        return SendResult::NoChannel;
    auto it = s->chans.find(channel);
    if (it == s->chans.end())
        return SendResult::NoChannel;
    Impl::Chan &c = it->second;
    const std::uint32_t number = c.audioNumber++;
    const std::size_t queued = s->conn->queuedBytes();
    bool drop = queued > 0 && queued + size > d->cfg.sendQueueBytes;
    if (!drop) {
        std::uint8_t raw[FrameInfo::kSize];
        info.serialize(raw);
        drop = !s->conn->send(wire::makeMessage(
            wire::MsgType::Audio, static_cast<std::uint8_t>(channel), 0,
            wire::encodeFramePrefix(number, raw), std::vector<std::uint8_t>(data, data + size)));
    }
    if (drop) {
        ++c.dropped;
        ++d->dropped;
        return SendResult::Dropped;
    }
    return SendResult::Queued;
}

std::uint64_t DeviceServer::droppedFrames() const
{
    return d->dropped.load();
}

std::uint64_t DeviceServer::droppedFrames(int session, int channel) const
{
    std::lock_guard<std::mutex> lock(d->m);
    auto s = d->readySession(session);
    if (!s)
        return 0;
    auto it = s->chans.find(channel);
    return it == s->chans.end() ? 0 : it->second.dropped;
}

bool DeviceServer::openTalkChannel(int session, int channel)
{
    if (channel < 0 || channel > 255)
        return false;
    std::shared_ptr<Connection> conn;
    wire::AvLogin login;
    {
        std::lock_guard<std::mutex> lock(d->m);
        auto s = d->readySession(session);
        if (!s)
            return false;
        Impl::Talk t;
        t.nonce = auth::randomNonce();
        s->talks[channel] = t;
        login.nonce = t.nonce;
        login.account = d->cfg.account;
        login.mac = auth::loginMac(d->cfg.password, s->clientNonce, t.nonce,
                                   static_cast<std::uint8_t>(channel), true, d->cfg.account);
        conn = s->conn;
    }
    return conn->send(wire::makeMessage(wire::MsgType::AvLogin, static_cast<std::uint8_t>(channel),
                                        wire::kFlagFromAvClient, wire::encodeAvLogin(login)));
}

void DeviceServer::closeTalkChannel(int session, int channel)
{
    std::shared_ptr<Connection> conn;
    {
        std::lock_guard<std::mutex> lock(d->m);
        auto s = d->readySession(session);
        if (!s || s->talks.erase(channel) == 0)
            return;
        conn = s->conn;
        if (d->cb.talkClosed)
            asio::post(*d->io, [impl = d.get(), session, channel] {
                impl->cb.talkClosed(session, channel);
            });
    }
    conn->send(wire::makeMessage(wire::MsgType::AvClose, static_cast<std::uint8_t>(channel),
                                 wire::kFlagFromAvClient, {}));
}

void DeviceServer::closeChannel(int session, int channel)
{
    std::shared_ptr<Connection> conn;
    {
        std::lock_guard<std::mutex> lock(d->m);
        auto s = d->readySession(session);
        if (!s || s->chans.erase(channel) == 0)
            return;
        conn = s->conn;
    }
    conn->send(
        wire::makeMessage(wire::MsgType::AvClose, static_cast<std::uint8_t>(channel), 0, {}));
}

void DeviceServer::closeSession(int session)
{
    std::lock_guard<std::mutex> lock(d->m);
    auto it = d->sessions.find(session);
    if (it != d->sessions.end())
        it->second->conn->closeWithBye();
}

void DeviceServer::dropSession(int session)
{
    std::lock_guard<std::mutex> lock(d->m);
    auto it = d->sessions.find(session);
    if (it != d->sessions.end())
        it->second->conn->close();
}

bool DeviceServer::sendRaw(int session, const std::vector<std::uint8_t> &bytes)
{
    std::lock_guard<std::mutex> lock(d->m);
    auto it = d->sessions.find(session);
    return it != d->sessions.end() && it->second->conn->sendRaw(bytes);
}

} // namespace p2p
