#include "AvLayer.h"

#include <p2p/DeviceServer.h>

#include "Auth.h"
#include "Connection.h"

#include <algorithm>
#include <cstring>
#include <map>

namespace p2p {

namespace {

using Clock = std::chrono::steady_clock;
constexpr unsigned kDefaultStartTimeoutSec = 5;

Clock::time_point startDeadline(unsigned timeoutSec)
{
    return Clock::now() + std::chrono::seconds(timeoutSec ? timeoutSec : kDefaultStartTimeoutSec);
}

// A message from the peer's AV client goes to a channel we serve.
bool toServed(const wire::Message &msg)
{
    return (msg.header.flags & wire::kFlagFromAvClient) != 0;
}

int sendFailure(const Connection &conn)
{
    return conn.isOpen() ? AV_ER_SOCKET_QUEUE_FULL : AV_ER_SESSION_CLOSE_BY_REMOTE;
}

} // namespace

AvLayer::AvLayer(ClientState &state)
    : state_(state)
{}

void AvLayer::setMax(int maxChannels)
{
    std::lock_guard<std::mutex> lock(state_.m);
    state_.avs.setLimit(maxChannels);
}

void AvLayer::shutdown()
{
    {
        std::lock_guard<std::mutex> lock(state_.m);
        for (const auto &c : state_.avs.removeAll())
            state_.closeChannelLocked(c, AV_ER_IOTC_DEINITIALIZED, true);
        state_.avs.setLimit(-1);
    }
    state_.cv.notify_all();
}

// ---- starting and stopping channels ------------------------------------------

int AvLayer::openLocked(int sid, std::uint8_t channel, bool server,
                        std::shared_ptr<ClientSession> &s, ChannelPtr &c)
{
    if (!state_.avs.isInitialized() || state_.down)
        return AV_ER_NOT_INITIALIZED;
    if (const int err = state_.sessionErrorLocked(sid))
        return err;
    s = state_.sessionLocked(sid);
    return state_.avs.open(sid, channel, server, c);
}

int AvLayer::failStartLocked(const ChannelPtr &c, int code, bool tellPeer)
{
    state_.avs.remove(c);
    state_.closeChannelLocked(c, code, tellPeer);
    return code;
}

int AvLayer::clientStart(int sid, const char *account, const char *password, unsigned timeoutSec,
                         unsigned *serviceType, std::uint8_t channel, int *resend)
{
    const std::string acc = account ? account : "";
    const std::string pwd = password ? password : "";
    if (acc.size() > 255)
        return AV_ER_WRONG_ACCPWD_LENGTH;

    std::unique_lock<std::mutex> lock(state_.m);
    std::shared_ptr<ClientSession> s;
    ChannelPtr c;
    if (const int err = openLocked(sid, channel, false, s, c))
        return err;

    wire::AvLogin login;
    login.nonce = auth::randomNonce();
    login.account = acc;
    login.resend = (resend && *resend) ? 1 : 0;
    login.mac = auth::loginMac(pwd, s->binding, s->peerNonce, login.nonce, channel, false, acc);
    s->conn->send(wire::makeMessage(wire::MsgType::AvLogin, channel, wire::kFlagFromAvClient,
                                    wire::encodeAvLogin(login)));

    state_.cv.wait_until(lock, startDeadline(timeoutSec), [&] {
        return state_.down || c->state != AvChannel::State::Starting || c->loginResult ||
               c->exitRequested;
    });
    if (c->isOpen() && !c->exitRequested && !state_.down) {
        if (serviceType)
            *serviceType = c->loginResult->serviceType;
        if (resend)
            *resend = c->loginResult->resend;
        return c->av;
    }
    const bool refused = c->loginResult && c->loginResult->code != 0;
    return failStartLocked(c, clientStartErrorLocked(*c), !refused);
}

int AvLayer::clientStartErrorLocked(const AvChannel &c) const
{
    if (state_.down)
        return AV_ER_IOTC_DEINITIALIZED;
    if (c.isClosed())
        return c.closeCode;
    if (c.exitRequested)
        return AV_ER_CLIENT_EXIT;
    if (c.loginResult && c.loginResult->code != 0)
        return c.loginResult->code;
    return AV_ER_TIMEOUT;
}

int AvLayer::clientStop(int av)
{
    std::lock_guard<std::mutex> lock(state_.m);
    auto c = state_.avs.find(av);
    if (!c || c->server)
        return AV_ER_INVALID_ARG;
    state_.avs.remove(c);
    state_.closeChannelLocked(c, AV_ER_CLIENT_EXIT, true);
    return 0;
}

int AvLayer::clientExit(int sid, std::uint8_t channel)
{
    std::lock_guard<std::mutex> lock(state_.m);
    if (!state_.sessionLocked(sid))
        return AV_ER_INVALID_SID;
    auto c = state_.avs.bound(sid, channel, false);
    if (c && c->state == AvChannel::State::Starting) {
        c->exitRequested = true;
        state_.cv.notify_all();
    }
    return 0;
}

int AvLayer::servStart(int sid, avAuthFn authenticate, unsigned timeoutSec, unsigned serviceType,
                       std::uint8_t channel, int *resend)
{
    std::unique_lock<std::mutex> lock(state_.m);
    std::shared_ptr<ClientSession> s;
    ChannelPtr c;
    if (const int err = openLocked(sid, channel, true, s, c))
        return err;
    s->reserved.erase(channel);
    auto early = s->earlyLogins.find(channel);
    if (early != s->earlyLogins.end()) {
        c->pendingLogin = std::move(early->second);
        s->earlyLogins.erase(early);
    }
    const wire::Nonce myNonce = s->myNonce;
    const wire::Binding binding = s->binding;
    const auto deadline = startDeadline(timeoutSec);
    for (;;) {
        state_.cv.wait_until(lock, deadline, [&] {
            return state_.down || c->state != AvChannel::State::Starting ||
                   c->pendingLogin.has_value();
        });
        if (state_.down)
            return failStartLocked(c, AV_ER_IOTC_DEINITIALIZED, false);
        if (c->state != AvChannel::State::Starting)
            return failStartLocked(c, c->closeCode, false);
        if (!c->pendingLogin)
            return failStartLocked(c, AV_ER_TIMEOUT, false);
        const wire::AvLogin login = std::move(*c->pendingLogin);
        c->pendingLogin.reset();

        // The callback is the caller's code: run it without the lock.
        lock.unlock();
        const bool ok = auth::servedLoginAccepted(authenticate, login, binding, myNonce, channel);
        lock.lock();
        if (state_.down || c->state != AvChannel::State::Starting)
            continue; // reported at the top of the loop
        wire::AvLoginResult r;
        r.code = ok ? 0 : AV_ER_WRONG_VIEWACCorPWD;
        r.serviceType = serviceType;
        r.resend = 0;
        s->conn->send(wire::makeMessage(wire::MsgType::AvLoginResult, channel, 0,
                                        wire::encodeAvLoginResult(r)));
        if (ok) {
            c->state = AvChannel::State::Open;
            if (resend)
                *resend = 0;
            return c->av;
        }
    }
}

int AvLayer::servStop(int av)
{
    std::lock_guard<std::mutex> lock(state_.m);
    auto c = state_.avs.find(av);
    if (!c || !c->server)
        return AV_ER_INVALID_ARG;
    state_.avs.remove(c);
    state_.closeChannelLocked(c, AV_ER_SERVER_EXIT, true);
    return 0;
}

int AvLayer::servResendSize(int av, unsigned *size)
{
    std::lock_guard<std::mutex> lock(state_.m);
    auto c = state_.avs.find(av);
    if (!c)
        return AV_ER_INVALID_ARG;
    auto s = state_.sessionLocked(c->sid);
    if (size)
        *size = (s && s->conn) ? static_cast<unsigned>(s->conn->queuedBytes()) : 0;
    return 0;
}

// ---- sending -----------------------------------------------------------------

int AvLayer::sendTargetLocked(int av, ChannelPtr &c, std::shared_ptr<ClientSession> &s) const
{
    if (!state_.avs.isInitialized())
        return AV_ER_NOT_INITIALIZED;
    c = state_.avs.find(av);
    if (!c)
        return AV_ER_INVALID_ARG;
    if (!c->isOpen())
        return c->closeCode ? c->closeCode : AV_ER_INVALID_ARG;
    s = state_.sessionLocked(c->sid);
    if (!s || !s->conn)
        return AV_ER_INVALID_SID;
    return 0;
}

int AvLayer::sendIoCtrl(int av, unsigned type, const char *data, int size)
{
    if (size < 0 || (size > 0 && !data))
        return AV_ER_INVALID_ARG;
    if (static_cast<std::size_t>(size) > kMaxIoCtrlSize)
        return AV_ER_EXCEED_MAX_SIZE;
    std::lock_guard<std::mutex> lock(state_.m);
    ChannelPtr c;
    std::shared_ptr<ClientSession> s;
    if (const int err = sendTargetLocked(av, c, s))
        return err;
    const auto *bytes = reinterpret_cast<const std::uint8_t *>(data);
    if (!s->conn->send(wire::makeMessage(
            wire::MsgType::IoCtrl, c->channel, c->server ? 0 : wire::kFlagFromAvClient,
            wire::encodeIoCtrlPrefix(type), std::vector<std::uint8_t>(bytes, bytes + size))))
        return sendFailure(*s->conn);
    return 0;
}

int AvLayer::sendIoCtrlExit(int av)
{
    {
        std::lock_guard<std::mutex> lock(state_.m);
        auto c = state_.avs.find(av);
        if (!c)
            return AV_ER_INVALID_ARG;
        ++c->ioExitGeneration;
    }
    state_.cv.notify_all();
    return 0;
}

int AvLayer::sendAudio(int av, const char *data, int size, const void *info, int infoSize)
{
    if (size < 0 || (size > 0 && !data) || infoSize < 0 || (infoSize > 0 && !info))
        return AV_ER_INVALID_ARG;
    if (static_cast<std::size_t>(size) > kMaxAudioFrameSize)
        return AV_ER_EXCEED_MAX_SIZE;
    std::uint8_t raw[FrameInfo::kSize] = {0};
    if (info)
        std::memcpy(raw, info,
                    std::min<std::size_t>(static_cast<std::size_t>(infoSize), sizeof(raw)));
    std::lock_guard<std::mutex> lock(state_.m);
    ChannelPtr c;
    std::shared_ptr<ClientSession> s;
    if (const int err = sendTargetLocked(av, c, s))
        return err;
    const auto *bytes = reinterpret_cast<const std::uint8_t *>(data);
    if (!s->conn->send(wire::makeMessage(wire::MsgType::Audio, c->channel,
                                         c->server ? 0 : wire::kFlagFromAvClient,
                                         wire::encodeFramePrefix(c->audioSendNumber++, raw),
                                         std::vector<std::uint8_t>(bytes, bytes + size)),
                       kSendQueueBytes))
        return sendFailure(*s->conn);
    return 0;
}

// ---- receiving ---------------------------------------------------------------

int AvLayer::cleanBuf(int av, bool video, bool audio)
{
    std::lock_guard<std::mutex> lock(state_.m);
    if (!state_.avs.isInitialized())
        return AV_ER_NOT_INITIALIZED;
    auto c = state_.avs.find(av);
    if (!c)
        return AV_ER_INVALID_ARG;
    if (video)
        c->clearVideo();
    if (audio)
        c->clearAudio();
    return 0;
}

int AvLayer::recvIoCtrl(int av, unsigned *type, char *buf, int bufSize, unsigned timeoutMs)
{
    if (bufSize < 0 || (bufSize > 0 && !buf))
        return AV_ER_INVALID_ARG;
    std::unique_lock<std::mutex> lock(state_.m);
    if (!state_.avs.isInitialized())
        return AV_ER_NOT_INITIALIZED;
    auto c = state_.avs.find(av);
    if (!c)
        return AV_ER_INVALID_ARG;
    const std::uint64_t generation = c->ioExitGeneration;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (auto msg = c->popIoCtrl()) {
            if (msg->data.size() > static_cast<std::size_t>(bufSize))
                return AV_ER_BUFPARA_MAXSIZE_INSUFF;
            if (!msg->data.empty())
                std::memcpy(buf, msg->data.data(), msg->data.size());
            if (type)
                *type = msg->type;
            return static_cast<int>(msg->data.size());
        }
        if (state_.down)
            return AV_ER_IOTC_DEINITIALIZED;
        if (c->isClosed())
            return c->closeCode;
        if (c->ioExitGeneration != generation)
            return AV_ER_SENDIOCTRL_EXIT;
        if (timeoutMs == 0)
            return AV_ER_DATA_NOREADY;
        if (Clock::now() >= deadline)
            return AV_ER_TIMEOUT;
        state_.cv.wait_until(lock, deadline);
    }
}

int AvLayer::recvSourceLocked(int av, ChannelPtr &c) const
{
    if (!state_.avs.isInitialized())
        return AV_ER_NOT_INITIALIZED;
    c = state_.avs.find(av);
    if (!c)
        return AV_ER_INVALID_ARG;
    if (c->isClosed())
        return c->closeCode;
    return 0;
}

int AvLayer::recvFrame(int av, const AvChannel::FrameOut &out)
{
    if (out.bufSize < 0 || (out.bufSize > 0 && !out.buf) || out.infoSize < 0)
        return AV_ER_INVALID_ARG;
    std::lock_guard<std::mutex> lock(state_.m);
    ChannelPtr c;
    if (const int err = recvSourceLocked(av, c))
        return err;
    return c->popVideo(out);
}

int AvLayer::checkAudio(int av)
{
    std::lock_guard<std::mutex> lock(state_.m);
    ChannelPtr c;
    if (const int err = recvSourceLocked(av, c))
        return err;
    return static_cast<int>(c->audioFrames());
}

int AvLayer::recvAudio(int av, const AvChannel::FrameOut &out)
{
    if (out.bufSize < 0 || (out.bufSize > 0 && !out.buf) || out.infoSize < 0)
        return AV_ER_INVALID_ARG;
    std::lock_guard<std::mutex> lock(state_.m);
    ChannelPtr c;
    if (const int err = recvSourceLocked(av, c))
        return err;
    return c->popAudio(out);
}

// ---- messages from the peer --------------------------------------------------

void AvLayer::onMessageLocked(ClientSession &s, wire::Message &&msg)
{
    // Session messages (Hello, Welcome, Ping, Bye) have no place on a connected session.
    using Handler = void (AvLayer::*)(ClientSession &, wire::Message &);
    static const std::map<wire::MsgType, Handler> handlers = {
        {wire::MsgType::AvLogin, &AvLayer::onAvLogin},
        {wire::MsgType::AvLoginResult, &AvLayer::onAvLoginResult},
        {wire::MsgType::AvClose, &AvLayer::onAvClose},
        {wire::MsgType::IoCtrl, &AvLayer::onIoCtrl},
        {wire::MsgType::Video, &AvLayer::onVideo},
        {wire::MsgType::Audio, &AvLayer::onAudio},
    };
    auto it = handlers.find(msg.header.type);
    if (it == handlers.end()) {
        s.conn->close(CloseReason::ProtocolError);
        return;
    }
    (this->*(it->second))(s, msg);
    state_.cv.notify_all();
}

void AvLayer::onAvLogin(ClientSession &s, wire::Message &msg)
{
    const std::uint8_t ch = msg.header.channel;
    wire::AvLogin login;
    if (!toServed(msg) || !wire::parseAvLogin(msg.payload, login)) {
        s.conn->close(CloseReason::ProtocolError);
        return;
    }
    auto c = state_.avs.bound(s.sid, ch, true);
    if (c && c->state == AvChannel::State::Starting) {
        c->pendingLogin = std::move(login);
    } else if (!c) {
        s.earlyLogins[ch] = std::move(login);
    } else {
        wire::AvLoginResult r;
        r.code = AV_ER_IOTC_CHANNEL_IN_USED;
        s.conn->send(
            wire::makeMessage(wire::MsgType::AvLoginResult, ch, 0, wire::encodeAvLoginResult(r)));
    }
}

void AvLayer::onAvLoginResult(ClientSession &s, wire::Message &msg)
{
    wire::AvLoginResult r;
    if (toServed(msg) || !wire::parseAvLoginResult(msg.payload, r)) {
        s.conn->close(CloseReason::ProtocolError);
        return;
    }
    auto c = state_.avs.bound(s.sid, msg.header.channel, false);
    if (c && c->state == AvChannel::State::Starting) {
        c->loginResult = r;
        // Open at once: what the device sends next must not be lost.
        if (r.code == 0)
            c->state = AvChannel::State::Open;
    }
}

void AvLayer::onAvClose(ClientSession &s, wire::Message &msg)
{
    const bool served = toServed(msg);
    if (served)
        s.earlyLogins.erase(msg.header.channel);
    if (auto c = state_.avs.bound(s.sid, msg.header.channel, served))
        state_.closeChannelLocked(c, served ? AV_ER_CLIENT_EXIT : AV_ER_SERVER_EXIT, false);
}

void AvLayer::onIoCtrl(ClientSession &s, wire::Message &msg)
{
    wire::IoCtrlView v;
    if (!wire::parseIoCtrl(msg.payload, v)) {
        s.conn->close(CloseReason::ProtocolError);
        return;
    }
    auto c = state_.avs.bound(s.sid, msg.header.channel, toServed(msg));
    if (c && c->isOpen()) {
        c->pushIoCtrl(v);
        state_.ready.noteLocked(c->av, FrameReady::IoCtrl);
    }
}

void AvLayer::onVideo(ClientSession &s, wire::Message &msg)
{
    if (toServed(msg))
        return;
    auto c = state_.avs.bound(s.sid, msg.header.channel, false);
    if (c && c->isOpen()) {
        c->pushVideo(std::move(msg.payload));
        state_.ready.noteLocked(c->av, FrameReady::Video);
    }
}

void AvLayer::onAudio(ClientSession &s, wire::Message &msg)
{
    auto c = state_.avs.bound(s.sid, msg.header.channel, toServed(msg));
    if (c && c->isOpen()) {
        c->pushAudio(std::move(msg.payload));
        state_.ready.noteLocked(c->av, FrameReady::Audio);
    }
}

} // namespace p2p
