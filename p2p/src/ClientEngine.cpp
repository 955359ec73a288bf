#include "ClientEngine.h"

#include <p2p/DeviceServer.h>

#include "Auth.h"
#include "ConnectAttempt.h"
#include "LanSearch.h"
#include "Net.h"

#include <algorithm>
#include <cctype>
#include <cstring>
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
        std::lock_guard<std::mutex> lock(m_);
        if (!down_) {
            down_ = true;
            for (auto &[sid, s] : sessions_) {
                if (s->conn)
                    conns.push_back(s->conn);
                if (s->attempt)
                    attempts.push_back(s->attempt);
            }
            for (auto &[av, c] : avs_) {
                c->state = AvChan::State::Closed;
                c->closeCode = AV_ER_IOTC_DEINITIALIZED;
            }
            avs_.clear();
            sessions_.clear();
        }
    }
    cv_.notify_all();
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
}

// ---- helpers ---------------------------------------------------------------

std::shared_ptr<ClientEngine::Session> ClientEngine::sessionLocked(int sid) const
{
    auto it = sessions_.find(sid);
    return it == sessions_.end() ? nullptr : it->second;
}

std::shared_ptr<ClientEngine::AvChan> ClientEngine::chanLocked(int av) const
{
    auto it = avs_.find(av);
    return it == avs_.end() ? nullptr : it->second;
}

int ClientEngine::sessionErrorLocked(int sid) const
{
    auto s = sessionLocked(sid);
    if (!s)
        return AV_ER_INVALID_SID;
    if (s->state == Session::State::Dead)
        return s->avDeadCode;
    return s->state == Session::State::Connected ? 0 : AV_ER_INVALID_SID;
}

int ClientEngine::allocAvLocked()
{
    if (avMax_ <= 0 || static_cast<int>(avs_.size()) >= avMax_)
        return -1;
    for (int i = 0; i < avMax_; ++i) {
        const int av = (nextAv_ + i) % avMax_;
        if (!avs_.count(av)) {
            nextAv_ = (av + 1) % avMax_;
            return av;
        }
    }
    return -1;
}

void ClientEngine::closeChanLocked(const std::shared_ptr<AvChan> &c, int code, bool tellPeer)
{
    auto s = sessionLocked(c->sid);
    if (s) {
        auto it = s->chans.find(chanKey(c->channel, c->server));
        if (it != s->chans.end() && it->second == c)
            s->chans.erase(it);
        if (tellPeer && c->state != AvChan::State::Closed && s->conn &&
            s->state == Session::State::Connected)
            s->conn->send(wire::makeMessage(wire::MsgType::AvClose, c->channel,
                                            c->server ? 0 : wire::kFlagFromAvClient, {}));
    }
    if (c->state != AvChan::State::Closed) {
        c->state = AvChan::State::Closed;
        c->closeCode = code;
    }
    c->video.clear();
    c->videoBytes = 0;
    c->audio.clear();
    cv_.notify_all();
}

void ClientEngine::sessionDiedLocked(Session &s, CloseReason reason)
{
    const bool timeout = reason == CloseReason::Timeout;
    s.state = Session::State::Dead;
    s.deadCode = timeout ? IOTC_ER_REMOTE_TIMEOUT_DISCONNECT : IOTC_ER_SESSION_CLOSE_BY_REMOTE;
    s.avDeadCode = timeout ? AV_ER_REMOTE_TIMEOUT_DISCONNECT : AV_ER_SESSION_CLOSE_BY_REMOTE;
    auto chans = std::move(s.chans);
    s.chans.clear();
    s.earlyLogins.clear();
    for (auto &[key, c] : chans) {
        if (c->state != AvChan::State::Closed) {
            c->state = AvChan::State::Closed;
            c->closeCode = s.avDeadCode;
        }
        c->video.clear();
        c->videoBytes = 0;
        c->audio.clear();
    }
    cv_.notify_all();
}

// ---- session layer ---------------------------------------------------------

int ClientEngine::getSessionId()
{
    std::lock_guard<std::mutex> lock(m_);
    if (down_)
        return IOTC_ER_NOT_INITIALIZED;
    if (static_cast<int>(sessions_.size()) >= kMaxSessions)
        return IOTC_ER_EXCEED_MAX_SESSION;
    constexpr int kSidSpace = kMaxSessions * 16;
    for (int i = 0; i < kSidSpace; ++i) {
        const int sid = (nextSid_ + i) % kSidSpace;
        if (!sessions_.count(sid)) {
            nextSid_ = (sid + 1) % kSidSpace;
            auto s = std::make_shared<Session>();
            s->sid = sid;
            sessions_[sid] = s;
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

    std::unique_lock<std::mutex> lock(m_);
    if (down_)
        return IOTC_ER_NOT_INITIALIZED;
    auto s = sessionLocked(sid);
    if (!s)
        return IOTC_ER_INVALID_SID;
    if (s->state == Session::State::Connecting)
        return IOTC_ER_ALREADY_PROCESSING;
    if (s->state != Session::State::Reserved)
        return IOTC_ER_INVALID_SID;
    if (s->stopRequested) {
        sessions_.erase(sid);
        return IOTC_ER_FAIL_CONNECT_SEARCH;
    }
    s->state = Session::State::Connecting;
    s->uid = uid;
    s->myNonce = auth::randomNonce();
    auto attempt = std::make_shared<ConnectAttempt>(*this, io_, sid, uid, std::move(peers),
                                                    net::discoveryPort());
    s->attempt = attempt;
    asio::post(io_, [attempt] { attempt->start(); });

    const auto deadline = Clock::now() + connectTimeout();
    cv_.wait_until(lock, deadline, [&] {
        return down_ || s->state != Session::State::Connecting || s->connectResult != 0 ||
               s->stopRequested;
    });
    s->attempt.reset();
    if (!down_ && s->state != Session::State::Connecting && s->state != Session::State::Reserved) {
        asio::post(io_, [attempt] { attempt->abort(); });
        return sid;
    }
    int code = 0;
    if (down_)
        code = IOTC_ER_NOT_INITIALIZED;
    else if (s->stopRequested)
        code = IOTC_ER_FAIL_CONNECT_SEARCH;
    else if (s->connectResult != 0)
        code = s->connectResult;
    else
        code = (s->found || s->conn) ? IOTC_ER_TIMEOUT : IOTC_ER_CAN_NOT_FIND_DEVICE;
    auto conn = std::move(s->conn);
    auto it = sessions_.find(sid);
    if (it != sessions_.end() && it->second == s)
        sessions_.erase(it);
    lock.unlock();
    asio::post(io_, [attempt] { attempt->abort(); });
    if (conn)
        conn->close();
    return code;
}

void ClientEngine::attemptFound(int sid, const ConnectAttempt *a)
{
    std::lock_guard<std::mutex> lock(m_);
    auto s = sessionLocked(sid);
    if (s && s->attempt.get() == a)
        s->found = true;
}

void ClientEngine::attemptFailed(int sid, const ConnectAttempt *a, int code)
{
    {
        std::lock_guard<std::mutex> lock(m_);
        auto s = sessionLocked(sid);
        if (!s || s->attempt.get() != a || s->state != Session::State::Connecting)
            return;
        s->connectResult = code;
    }
    cv_.notify_all();
}

void ClientEngine::attemptConnected(int sid, const ConnectAttempt *a, asio::ip::tcp::socket socket)
{
    std::lock_guard<std::mutex> lock(m_);
    auto s = sessionLocked(sid);
    if (!s || s->attempt.get() != a || s->state != Session::State::Connecting) {
        asio::error_code ec;
        socket.close(ec);
        return;
    }
    s->found = true;
    auto conn = std::make_shared<Connection>(std::move(socket));
    s->conn = conn;
    const Connection *raw = conn.get();
    conn->start([this, sid, raw](wire::Message &&m) { onMessage(sid, raw, std::move(m)); },
                [this, sid, raw](CloseReason r) { onClosed(sid, raw, r); });
    wire::Hello hello;
    hello.nonce = s->myNonce;
    hello.uid = s->uid;
    conn->send(wire::makeMessage(wire::MsgType::Hello, 0, 0, wire::encodeHello(hello)));
    cv_.notify_all();
}

int ClientEngine::connectStop(int sid)
{
    {
        std::lock_guard<std::mutex> lock(m_);
        auto s = sessionLocked(sid);
        if (!s)
            return IOTC_ER_INVALID_SID;
        if (s->state == Session::State::Reserved || s->state == Session::State::Connecting)
            s->stopRequested = true;
    }
    cv_.notify_all();
    return IOTC_ER_NoERROR;
}

int ClientEngine::sessionClose(int sid)
{
    std::shared_ptr<Connection> conn;
    {
        std::lock_guard<std::mutex> lock(m_);
        auto s = sessionLocked(sid);
        if (!s)
            return IOTC_ER_INVALID_SID;
        if (s->state == Session::State::Connecting) {
            // The blocked connect call gives up and releases the id.
            s->stopRequested = true;
            cv_.notify_all();
            return IOTC_ER_NoERROR;
        }
        for (auto it = avs_.begin(); it != avs_.end();) {
            if (it->second->sid == sid) {
                auto c = it->second;
                it = avs_.erase(it);
                closeChanLocked(c, AV_ER_IOTC_SESSION_CLOSED, false);
            } else {
                ++it;
            }
        }
        for (auto &[key, c] : s->chans) {
            c->state = AvChan::State::Closed;
            c->closeCode = AV_ER_IOTC_SESSION_CLOSED;
        }
        s->chans.clear();
        conn = std::move(s->conn);
        sessions_.erase(sid);
    }
    cv_.notify_all();
    if (conn)
        conn->closeWithBye();
    return IOTC_ER_NoERROR;
}

int ClientEngine::freeChannel(int sid)
{
    std::lock_guard<std::mutex> lock(m_);
    auto s = sessionLocked(sid);
    if (!s)
        return IOTC_ER_INVALID_SID;
    if (s->state == Session::State::Dead)
        return s->deadCode;
    if (s->state != Session::State::Connected)
        return IOTC_ER_INVALID_SID;
    const auto now = Clock::now();
    for (auto it = s->reserved.begin(); it != s->reserved.end();)
        it = it->second < now ? s->reserved.erase(it) : std::next(it);
    for (int ch = 1; ch < 256; ++ch) {
        if (s->chans.count(chanKey(static_cast<std::uint8_t>(ch), false)) ||
            s->chans.count(chanKey(static_cast<std::uint8_t>(ch), true)) || s->reserved.count(ch))
            continue;
        s->reserved[ch] = now + kFreeChannelHold;
        return ch;
    }
    return IOTC_ER_EXCEED_MAX_CHANNEL;
}

// ---- incoming --------------------------------------------------------------

void ClientEngine::onMessage(int sid, const Connection *conn, wire::Message &&msg)
{
    std::shared_ptr<Connection> toClose;
    {
        std::lock_guard<std::mutex> lock(m_);
        auto s = sessionLocked(sid);
        if (!s || s->conn.get() != conn)
            return;
        if (s->state == Session::State::Connecting) {
            wire::Welcome w;
            if (msg.header.type != wire::MsgType::Welcome || !wire::parseWelcome(msg.payload, w)) {
                s->connectResult = IOTC_ER_DEVICE_NOT_LISTENING;
                toClose = s->conn;
            } else if (w.status != wire::Welcome::Ok) {
                s->connectResult = w.status == wire::Welcome::WrongUid ? IOTC_ER_UNKNOWN_DEVICE
                                                                       : IOTC_ER_EXCEED_MAX_SESSION;
                toClose = s->conn;
            } else {
                s->peerNonce = w.nonce;
                s->state = Session::State::Connected;
            }
            cv_.notify_all();
        } else if (s->state == Session::State::Connected) {
            onConnectedMessage(*s, std::move(msg));
        }
    }
    if (toClose)
        toClose->close(CloseReason::ProtocolError);
}

void ClientEngine::onClosed(int sid, const Connection *conn, CloseReason reason)
{
    std::lock_guard<std::mutex> lock(m_);
    auto s = sessionLocked(sid);
    if (!s || s->conn.get() != conn)
        return;
    if (s->state == Session::State::Connecting) {
        if (s->connectResult == 0)
            s->connectResult =
                reason == CloseReason::Timeout ? IOTC_ER_TIMEOUT : IOTC_ER_DEVICE_NOT_LISTENING;
        cv_.notify_all();
    } else if (s->state == Session::State::Connected) {
        sessionDiedLocked(*s, reason);
    }
}

void ClientEngine::onConnectedMessage(Session &s, wire::Message &&msg)
{
    const std::uint8_t ch = msg.header.channel;
    // A message from the peer's AV client goes to a channel we serve.
    const bool toServed = (msg.header.flags & wire::kFlagFromAvClient) != 0;
    auto find = [&]() -> std::shared_ptr<AvChan> {
        auto it = s.chans.find(chanKey(ch, toServed));
        return it == s.chans.end() ? nullptr : it->second;
    };
    auto protocolError = [&] { s.conn->close(CloseReason::ProtocolError); };

    switch (msg.header.type) {
    case wire::MsgType::Hello:
    case wire::MsgType::Welcome:
    case wire::MsgType::Ping:
    case wire::MsgType::Bye:
        protocolError();
        return;
    case wire::MsgType::AvLogin: {
        wire::AvLogin login;
        if (!toServed || !wire::parseAvLogin(msg.payload, login)) {
            protocolError();
            return;
        }
        auto c = find();
        if (c && c->state == AvChan::State::Starting) {
            c->pendingLogin = std::move(login);
        } else if (!c) {
            s.earlyLogins[ch] = std::move(login);
        } else {
            wire::AvLoginResult r;
            r.code = AV_ER_IOTC_CHANNEL_IN_USED;
            s.conn->send(wire::makeMessage(wire::MsgType::AvLoginResult, ch, 0,
                                           wire::encodeAvLoginResult(r)));
        }
        break;
    }
    case wire::MsgType::AvLoginResult: {
        wire::AvLoginResult r;
        if (toServed || !wire::parseAvLoginResult(msg.payload, r)) {
            protocolError();
            return;
        }
        auto c = find();
        if (c && c->state == AvChan::State::Starting) {
            c->loginResult = r;
            // Open at once: what the device sends next must not be lost.
            if (r.code == 0)
                c->state = AvChan::State::Open;
        }
        break;
    }
    case wire::MsgType::AvClose: {
        if (toServed)
            s.earlyLogins.erase(ch);
        if (auto c = find())
            closeChanLocked(c, toServed ? AV_ER_CLIENT_EXIT : AV_ER_SERVER_EXIT, false);
        break;
    }
    case wire::MsgType::IoCtrl: {
        wire::IoCtrlView v;
        if (!wire::parseIoCtrl(msg.payload, v)) {
            protocolError();
            return;
        }
        auto c = find();
        if (!c || c->state != AvChan::State::Open)
            break;
        if (c->io.size() >= kIoQueueMessages || c->ioBytes + v.size > kIoQueueBytes)
            break; // the reader is not polling; keep memory bounded
        c->io.push_back({v.type, std::vector<std::uint8_t>(v.data, v.data + v.size)});
        c->ioBytes += v.size;
        break;
    }
    case wire::MsgType::Video: {
        auto c = find();
        if (!toServed && c && c->state == AvChan::State::Open)
            pushVideo(*c, std::move(msg));
        break;
    }
    case wire::MsgType::Audio: {
        auto c = find();
        if (!c || c->state != AvChan::State::Open)
            break;
        if (c->audio.size() >= kAudioQueueFrames)
            c->audio.pop_front(); // audio has no key frames: keep the newest
        Frame f;
        f.payload = std::move(msg.payload);
        c->audio.push_back(std::move(f));
        break;
    }
    }
    cv_.notify_all();
}

void ClientEngine::pushVideo(AvChan &c, wire::Message &&msg)
{
    Frame f;
    f.key = (msg.payload[4 + 2] & FrameInfo::kFlagKeyFrame) != 0;
    f.payload = std::move(msg.payload);
    const std::size_t size = f.payload.size();
    if (c.videoWaitKey && !f.key)
        return;
    const bool full = c.video.size() >= kVideoQueueFrames || c.videoBytes + size > kVideoQueueBytes;
    if (full) {
        if (!f.key) {
            c.videoWaitKey = true;
            return;
        }
        // The reader fell behind: skip to this key frame.
        c.video.clear();
        c.videoBytes = 0;
    }
    c.videoWaitKey = false;
    c.videoBytes += size;
    c.video.push_back(std::move(f));
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
