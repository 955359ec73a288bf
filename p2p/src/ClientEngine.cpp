#include "ClientEngine.h"

#include "Auth.h"
#include "PinStore.h"
#include "ConnectAttempt.h"
#include "LanSearch.h"
#include "Net.h"

#include <algorithm>
#include <cctype>
#include <future>

namespace p2p {

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::chrono::seconds kFreeChannelHold{30};

bool sameUid(const std::string &a, const std::string &b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) ==
                      std::toupper(static_cast<unsigned char>(y));
           });
}

std::chrono::milliseconds connectTimeout()
{
    const std::string v = net::env(P2P_ENV_CONNECT_TIMEOUT);
    if (!v.empty() && v.size() <= 7 &&
        std::all_of(v.begin(), v.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        const long ms = std::stol(v);
        if (ms > 0)
            return std::chrono::milliseconds(ms);
    }
    return std::chrono::milliseconds(P2P_DEFAULT_CONNECT_TIMEOUT_MS);
}

} // namespace

ClientEngine::ClientEngine() = default;

ClientEngine::~ClientEngine()
{
    shutdown();
}

bool ClientEngine::start()
{
    work_ = std::make_unique<asio::executor_work_guard<asio::io_context::executor_type>>(
        io_.get_executor());
    try {
        thread_ = std::thread([this] { io_.run(); });
    } catch (const std::system_error &) {
        return false;
    }
    return true;
}

void ClientEngine::shutdown()
{
    std::vector<std::shared_ptr<Connection>> conns;
    std::vector<std::shared_ptr<ConnectAttempt>> attempts;
    {
        std::lock_guard<std::mutex> lock(state_.m);
        if (!state_.down) {
            state_.down = true;
            for (auto &[sid, s] : state_.sessions) {
                if (s->conn)
                    conns.push_back(s->conn);
                if (s->attempt)
                    attempts.push_back(s->attempt);
            }
            for (const auto &c : state_.avs.removeAll()) {
                c->state = AvChannel::State::Closed;
                c->closeCode = AV_ER_IOTC_DEINITIALIZED;
            }
            state_.sessions.clear();
        }
    }
    state_.cv.notify_all();
    std::shared_ptr<LanSearch> search;
    {
        std::lock_guard<std::mutex> lock(searchMutex_);
        search = std::move(search_);
    }
    asio::post(io_, [attempts, search] {
        for (const auto &a : attempts)
            a->abort();
        if (search)
            search->stop();
    });
    for (const auto &c : conns)
        c->closeWithBye();
    conns.clear();
    work_.reset();
    if (thread_.joinable()) {
        if (thread_.get_id() == std::this_thread::get_id()) {
            thread_.detach(); // cannot happen through the C surface; never join oneself
            return;
        }
        auto done = std::async(std::launch::async, [this] { thread_.join(); });
        if (done.wait_for(std::chrono::seconds(2)) != std::future_status::ready)
            io_.stop();
        done.wait();
    }
    state_.ready.clear();
}

// ---- session layer ---------------------------------------------------------

int ClientEngine::getSessionId()
{
    std::lock_guard<std::mutex> lock(state_.m);
    if (state_.down)
        return IOTC_ER_NOT_INITIALIZED;
    if (static_cast<int>(state_.sessions.size()) >= kMaxSessions)
        return IOTC_ER_EXCEED_MAX_SESSION;
    constexpr int kSidSpace = kMaxSessions * 16;
    for (int i = 0; i < kSidSpace; ++i) {
        const int sid = (nextSid_ + i) % kSidSpace;
        if (!state_.sessions.count(sid)) {
            nextSid_ = (sid + 1) % kSidSpace;
            auto s = std::make_shared<ClientSession>();
            s->sid = sid;
            state_.sessions[sid] = s;
            return sid;
        }
    }
    return IOTC_ER_EXCEED_MAX_SESSION;
}

int ClientEngine::connect(const char *uidText, int sid)
{
    if (!uidText)
        return IOTC_ER_INVALID_ARG;
    const std::string uid(uidText);
    if (!wire::isValidUid(uid))
        return IOTC_ER_INVALID_ARG;

    std::vector<wire::Peer> peers;
    for (auto &p : wire::parsePeers(net::env(P2P_ENV_PEERS)))
        if (sameUid(p.uid, uid))
            peers.push_back(std::move(p));

    std::unique_lock<std::mutex> lock(state_.m);
    if (state_.down)
        return IOTC_ER_NOT_INITIALIZED;
    auto s = state_.sessionLocked(sid);
    if (!s)
        return IOTC_ER_INVALID_SID;
    if (s->state == ClientSession::State::Connecting)
        return IOTC_ER_ALREADY_PROCESSING;
    if (s->state != ClientSession::State::Reserved)
        return IOTC_ER_INVALID_SID;
    if (s->stopRequested) {
        state_.sessions.erase(sid);
        return IOTC_ER_FAIL_CONNECT_SEARCH;
    }
    s->state = ClientSession::State::Connecting;
    s->uid = uid;
    s->myNonce = auth::randomNonce();
    auto attempt = std::make_shared<ConnectAttempt>(*this, io_, sid, uid, std::move(peers),
                                                    net::discoveryPort());
    s->attempt = attempt;
    asio::post(io_, [attempt] { attempt->start(); });

    const auto deadline = Clock::now() + connectTimeout();
    state_.cv.wait_until(lock, deadline, [&] {
        return state_.down || s->state != ClientSession::State::Connecting ||
               s->connectResult != 0 || s->stopRequested;
    });
    s->attempt.reset();
    if (!state_.down && s->state != ClientSession::State::Connecting &&
        s->state != ClientSession::State::Reserved) {
        asio::post(io_, [attempt] { attempt->abort(); });
        return sid;
    }
    const int code = connectErrorLocked(*s);
    auto conn = std::move(s->conn);
    auto it = state_.sessions.find(sid);
    if (it != state_.sessions.end() && it->second == s)
        state_.sessions.erase(it);
    lock.unlock();
    asio::post(io_, [attempt] { attempt->abort(); });
    if (conn)
        conn->close();
    return code;
}

void ClientEngine::attemptFound(int sid, const ConnectAttempt *a)
{
    std::lock_guard<std::mutex> lock(state_.m);
    auto s = state_.sessionLocked(sid);
    if (s && s->attempt.get() == a)
        s->found = true;
}

void ClientEngine::attemptFailed(int sid, const ConnectAttempt *a, int code)
{
    {
        std::lock_guard<std::mutex> lock(state_.m);
        auto s = state_.sessionLocked(sid);
        if (!s || s->attempt.get() != a || s->state != ClientSession::State::Connecting)
            return;
        s->connectResult = code;
    }
    state_.cv.notify_all();
}

void ClientEngine::attemptConnected(int sid, const ConnectAttempt *a,
                                    std::unique_ptr<tls::Stream> stream,
                                    const std::string &fingerprint, const wire::Binding &binding)
{
    std::lock_guard<std::mutex> lock(state_.m);
    auto s = state_.sessionLocked(sid);
    if (!s || s->attempt.get() != a || s->state != ClientSession::State::Connecting) {
        asio::error_code ec;
        tls::socketOf(*stream).close(ec);
        return;
    }
    s->found = true;
    s->fingerprint = fingerprint;
    s->binding = binding;
    auto conn = std::make_shared<Connection>(std::move(stream));
    s->conn = conn;
    const Connection *raw = conn.get();
    conn->start([this, sid, raw](wire::Message &&m) { onMessage(sid, raw, std::move(m)); },
                [this, sid, raw](CloseReason r) { onClosed(sid, raw, r); });
    wire::Hello hello;
    hello.nonce = s->myNonce;
    hello.uid = s->uid;
    conn->send(wire::makeMessage(wire::MsgType::Hello, 0, 0, wire::encodeHello(hello)));
    state_.cv.notify_all();
}

int ClientEngine::connectStop(int sid)
{
    {
        std::lock_guard<std::mutex> lock(state_.m);
        auto s = state_.sessionLocked(sid);
        if (!s)
            return IOTC_ER_INVALID_SID;
        if (s->state == ClientSession::State::Reserved ||
            s->state == ClientSession::State::Connecting)
            s->stopRequested = true;
    }
    state_.cv.notify_all();
    return IOTC_ER_NoERROR;
}

int ClientEngine::sessionClose(int sid)
{
    std::shared_ptr<Connection> conn;
    {
        std::lock_guard<std::mutex> lock(state_.m);
        auto s = state_.sessionLocked(sid);
        if (!s)
            return IOTC_ER_INVALID_SID;
        if (s->state == ClientSession::State::Connecting) {
            // The blocked connect call gives up and releases the id.
            s->stopRequested = true;
            state_.cv.notify_all();
            return IOTC_ER_NoERROR;
        }
        for (const auto &c : state_.avs.removeSession(sid))
            state_.closeChannelLocked(c, AV_ER_IOTC_SESSION_CLOSED, false);
        conn = std::move(s->conn);
        state_.sessions.erase(sid);
    }
    state_.cv.notify_all();
    if (conn)
        conn->closeWithBye();
    return IOTC_ER_NoERROR;
}

int ClientEngine::freeChannel(int sid)
{
    std::lock_guard<std::mutex> lock(state_.m);
    auto s = state_.sessionLocked(sid);
    if (!s)
        return IOTC_ER_INVALID_SID;
    if (s->state == ClientSession::State::Dead)
        return s->deadCode;
    if (s->state != ClientSession::State::Connected)
        return IOTC_ER_INVALID_SID;
    const auto now = Clock::now();
    for (auto it = s->reserved.begin(); it != s->reserved.end();)
        it = it->second < now ? s->reserved.erase(it) : std::next(it);
    for (int ch = 1; ch < 256; ++ch) {
        const auto id = static_cast<std::uint8_t>(ch);
        if (state_.avs.bound(sid, id, false) || state_.avs.bound(sid, id, true) ||
            s->reserved.count(ch))
            continue;
        s->reserved[ch] = now + kFreeChannelHold;
        return ch;
    }
    return IOTC_ER_EXCEED_MAX_CHANNEL;
}

int ClientEngine::sessionFingerprint(int sid, std::string &out)
{
    std::lock_guard<std::mutex> lock(state_.m);
    auto s = state_.sessionLocked(sid);
    if (!s)
        return IOTC_ER_INVALID_SID;
    out = s->state == ClientSession::State::Connected ? s->fingerprint : std::string();
    return IOTC_ER_NoERROR;
}

int ClientEngine::connectErrorLocked(const ClientSession &s) const
{
    if (state_.down)
        return IOTC_ER_NOT_INITIALIZED;
    if (s.stopRequested)
        return IOTC_ER_FAIL_CONNECT_SEARCH;
    if (s.connectResult != 0)
        return s.connectResult;
    return (s.found || s.conn) ? IOTC_ER_TIMEOUT : IOTC_ER_CAN_NOT_FIND_DEVICE;
}

// ---- incoming --------------------------------------------------------------

void ClientEngine::onMessage(int sid, const Connection *conn, wire::Message &&msg)
{
    std::shared_ptr<Connection> toClose;
    std::vector<std::pair<int, int>> ready;
    {
        std::lock_guard<std::mutex> lock(state_.m);
        auto s = state_.sessionLocked(sid);
        if (!s || s->conn.get() != conn)
            return;
        if (s->state == ClientSession::State::Connecting) {
            wire::Welcome w;
            if (msg.header.type != wire::MsgType::Welcome || !wire::parseWelcome(msg.payload, w)) {
                s->connectResult = IOTC_ER_DEVICE_NOT_LISTENING;
                toClose = s->conn;
            } else if (w.status != wire::Welcome::Ok) {
                s->connectResult = w.status == wire::Welcome::WrongUid ? IOTC_ER_UNKNOWN_DEVICE
                                                                       : IOTC_ER_EXCEED_MAX_SESSION;
                toClose = s->conn;
            } else if (!s->fingerprint.empty() &&
                       !PinStore::instance().pinIfAbsent(s->uid, s->fingerprint)) {
                // Another connect pinned a different key for this UID meanwhile.
                s->connectResult = IOTC_ER_DEVICE_KEY_MISMATCH;
                toClose = s->conn;
            } else {
                s->peerNonce = w.nonce;
                s->state = ClientSession::State::Connected;
            }
            state_.cv.notify_all();
        } else if (s->state == ClientSession::State::Connected) {
            av_.onMessageLocked(*s, std::move(msg));
            ready = state_.ready.takeLocked();
        }
    }
    state_.ready.fire(ready);
    if (toClose)
        toClose->close(CloseReason::ProtocolError);
}

void ClientEngine::onClosed(int sid, const Connection *conn, CloseReason reason)
{
    std::vector<std::pair<int, int>> ready;
    {
        std::lock_guard<std::mutex> lock(state_.m);
        auto s = state_.sessionLocked(sid);
        if (!s || s->conn.get() != conn)
            return;
        if (s->state == ClientSession::State::Connecting) {
            if (s->connectResult == 0)
                s->connectResult =
                    reason == CloseReason::Timeout ? IOTC_ER_TIMEOUT : IOTC_ER_DEVICE_NOT_LISTENING;
            state_.cv.notify_all();
        } else if (s->state == ClientSession::State::Connected) {
            sessionDiedLocked(*s, reason);
        }
        ready = state_.ready.takeLocked();
    }
    state_.ready.fire(ready);
}

void ClientEngine::sessionDiedLocked(ClientSession &s, CloseReason reason)
{
    const bool timeout = reason == CloseReason::Timeout;
    s.state = ClientSession::State::Dead;
    s.deadCode = timeout ? IOTC_ER_REMOTE_TIMEOUT_DISCONNECT : IOTC_ER_SESSION_CLOSE_BY_REMOTE;
    s.avDeadCode = timeout ? AV_ER_REMOTE_TIMEOUT_DISCONNECT : AV_ER_SESSION_CLOSE_BY_REMOTE;
    s.earlyLogins.clear();
    for (const auto &c : state_.avs.unbindSession(s.sid)) {
        if (!c->isClosed())
            state_.ready.noteLocked(c->av, FrameReady::Closed);
        c->close(s.avDeadCode);
    }
    state_.cv.notify_all();
}

// ---- LAN search ------------------------------------------------------------

int ClientEngine::searchStart(int waitMs, int intervalMs)
{
    if (waitMs < 0 || intervalMs < 0)
        return IOTC_ER_INVALID_ARG;
    auto search = std::make_shared<LanSearch>(io_, net::discoveryPort());
    std::shared_ptr<LanSearch> old;
    {
        std::lock_guard<std::mutex> lock(searchMutex_);
        old = std::move(search_);
        search_ = search;
    }
    // The sockets live on the io thread: open there and wait for the outcome.
    auto opened = std::make_shared<std::promise<bool>>();
    auto result = opened->get_future();
    asio::post(io_, [old, search, waitMs, intervalMs, opened] {
        if (old)
            old->stop();
        const bool ok = search->open();
        if (ok)
            search->start(waitMs, intervalMs);
        opened->set_value(ok);
    });
    if (result.wait_for(std::chrono::seconds(5)) != std::future_status::ready || !result.get()) {
        std::lock_guard<std::mutex> lock(searchMutex_);
        if (search_ == search)
            search_.reset();
        return IOTC_ER_FAIL_CREATE_SOCKET;
    }
    return IOTC_ER_NoERROR;
}

int ClientEngine::searchResult(void *entries, int maxEntries)
{
    if (!entries || maxEntries < 0)
        return IOTC_ER_INVALID_ARG;
    std::lock_guard<std::mutex> lock(searchMutex_);
    return search_ ? search_->results(entries, maxEntries) : 0;
}

int ClientEngine::searchStop()
{
    std::shared_ptr<LanSearch> old;
    {
        std::lock_guard<std::mutex> lock(searchMutex_);
        old = std::move(search_);
    }
    if (old)
        asio::post(io_, [old] { old->stop(); });
    return IOTC_ER_NoERROR;
}

} // namespace p2p
