// The AV channel half of ClientEngine: logins, IO control, frames, audio.

#include "ClientEngine.h"

#include <p2p/DeviceServer.h>

#include "Auth.h"

#include <algorithm>
#include <cstring>

namespace p2p {

namespace {
using Clock = std::chrono::steady_clock;
constexpr unsigned kDefaultStartTimeoutSec = 5;
constexpr int kMaxAvChannels = 65536;
} // namespace

// ---- AV layer --------------------------------------------------------------

void ClientEngine::setAvMax(int maxChannels)
{
    std::lock_guard<std::mutex> lock(m_);
    avMax_ = std::min(maxChannels, kMaxAvChannels);
}

void ClientEngine::avShutdown()
{
    {
        std::lock_guard<std::mutex> lock(m_);
        for (auto &[av, c] : avs_)
            closeChanLocked(c, AV_ER_IOTC_DEINITIALIZED, true);
        avs_.clear();
        for (auto &[sid, s] : sessions_) {
            for (auto &[key, c] : s->chans) {
                c->state = AvChan::State::Closed;
                c->closeCode = AV_ER_IOTC_DEINITIALIZED;
            }
            s->chans.clear();
        }
        avMax_ = -1;
    }
    cv_.notify_all();
}

int ClientEngine::clientStart(int sid, const char *account, const char *password,
                              unsigned timeoutSec, unsigned *serviceType, std::uint8_t channel,
                              int *resend)
{
    const std::string acc = account ? account : "";
    const std::string pwd = password ? password : "";
    if (acc.size() > 255)
        return AV_ER_WRONG_ACCPWD_LENGTH;

    std::unique_lock<std::mutex> lock(m_);
    std::shared_ptr<Session> s;
    std::shared_ptr<AvChan> c;
    if (const int err = openChanLocked(sid, channel, false, s, c))
        return err;
    const int av = c->av;

    wire::AvLogin login;
    login.nonce = auth::randomNonce();
    login.account = acc;
    login.resend = (resend && *resend) ? 1 : 0;
    login.mac = auth::loginMac(pwd, s->peerNonce, login.nonce, channel, false, acc);
    s->conn->send(wire::makeMessage(wire::MsgType::AvLogin, channel, wire::kFlagFromAvClient,
                                    wire::encodeAvLogin(login)));

    const auto deadline =
        Clock::now() + std::chrono::seconds(timeoutSec ? timeoutSec : kDefaultStartTimeoutSec);
    cv_.wait_until(lock, deadline, [&] {
        return down_ || c->state != AvChan::State::Starting || c->loginResult || c->exitRequested;
    });
    if (c->state == AvChan::State::Open && !c->exitRequested && !down_) {
        if (serviceType)
            *serviceType = c->loginResult->serviceType;
        if (resend)
            *resend = c->loginResult->resend;
        return av;
    }
    int code = AV_ER_TIMEOUT;
    if (down_)
        code = AV_ER_IOTC_DEINITIALIZED;
    else if (c->state == AvChan::State::Closed)
        code = c->closeCode;
    else if (c->exitRequested)
        code = AV_ER_CLIENT_EXIT;
    else if (c->loginResult && c->loginResult->code != 0)
        code = c->loginResult->code;
    auto it = avs_.find(av);
    if (it != avs_.end() && it->second == c)
        avs_.erase(it);
    closeChanLocked(c, code, !c->loginResult || c->loginResult->code == 0);
    return code;
}

int ClientEngine::clientStop(int av)
{
    std::lock_guard<std::mutex> lock(m_);
    auto c = chanLocked(av);
    if (!c || c->server)
        return AV_ER_INVALID_ARG;
    avs_.erase(av);
    closeChanLocked(c, AV_ER_CLIENT_EXIT, true);
    return 0;
}

int ClientEngine::clientExit(int sid, std::uint8_t channel)
{
    std::lock_guard<std::mutex> lock(m_);
    auto s = sessionLocked(sid);
    if (!s)
        return AV_ER_INVALID_SID;
    auto it = s->chans.find(chanKey(channel, false));
    if (it != s->chans.end() && it->second->state == AvChan::State::Starting) {
        it->second->exitRequested = true;
        cv_.notify_all();
    }
    return 0;
}

int ClientEngine::cleanBuf(int av, bool video, bool audio)
{
    std::lock_guard<std::mutex> lock(m_);
    if (avMax_ < 0)
        return AV_ER_NOT_INITIALIZED;
    auto c = chanLocked(av);
    if (!c)
        return AV_ER_INVALID_ARG;
    if (video) {
        c->video.clear();
        c->videoBytes = 0;
    }
    if (audio)
        c->audio.clear();
    return 0;
}

int ClientEngine::sendTargetLocked(int av, std::shared_ptr<AvChan> &c,
                                   std::shared_ptr<Session> &s) const
{
    if (avMax_ < 0)
        return AV_ER_NOT_INITIALIZED;
    c = chanLocked(av);
    if (!c)
        return AV_ER_INVALID_ARG;
    if (c->state != AvChan::State::Open)
        return c->closeCode ? c->closeCode : AV_ER_INVALID_ARG;
    s = sessionLocked(c->sid);
    if (!s || !s->conn)
        return AV_ER_INVALID_SID;
    return 0;
}

int ClientEngine::sendIoCtrl(int av, unsigned type, const char *data, int size)
{
    if (size < 0 || (size > 0 && !data))
        return AV_ER_INVALID_ARG;
    if (static_cast<std::size_t>(size) > kMaxIoCtrlSize)
        return AV_ER_EXCEED_MAX_SIZE;
    std::lock_guard<std::mutex> lock(m_);
    std::shared_ptr<AvChan> c;
    std::shared_ptr<Session> s;
    if (const int err = sendTargetLocked(av, c, s))
        return err;
    const auto *bytes = reinterpret_cast<const std::uint8_t *>(data);
    if (!s->conn->send(wire::makeMessage(
            wire::MsgType::IoCtrl, c->channel, c->server ? 0 : wire::kFlagFromAvClient,
            wire::encodeIoCtrlPrefix(type), std::vector<std::uint8_t>(bytes, bytes + size))))
        return s->conn->isOpen() ? AV_ER_SOCKET_QUEUE_FULL : AV_ER_SESSION_CLOSE_BY_REMOTE;
    return 0;
}

int ClientEngine::recvIoCtrl(int av, unsigned *type, char *buf, int bufSize, unsigned timeoutMs)
{
    if (bufSize < 0 || (bufSize > 0 && !buf))
        return AV_ER_INVALID_ARG;
    std::unique_lock<std::mutex> lock(m_);
    if (avMax_ < 0)
        return AV_ER_NOT_INITIALIZED;
    auto c = chanLocked(av);
    if (!c)
        return AV_ER_INVALID_ARG;
    const std::uint64_t generation = c->ioExitGeneration;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (!c->io.empty()) {
            IoMsg msg = std::move(c->io.front());
            c->io.pop_front();
            c->ioBytes -= msg.data.size();
            if (msg.data.size() > static_cast<std::size_t>(bufSize))
                return AV_ER_BUFPARA_MAXSIZE_INSUFF;
            if (!msg.data.empty())
                std::memcpy(buf, msg.data.data(), msg.data.size());
            if (type)
                *type = msg.type;
            return static_cast<int>(msg.data.size());
        }
        if (down_)
            return AV_ER_IOTC_DEINITIALIZED;
        if (c->state == AvChan::State::Closed)
            return c->closeCode;
        if (c->ioExitGeneration != generation)
            return AV_ER_SENDIOCTRL_EXIT;
        if (timeoutMs == 0)
            return AV_ER_DATA_NOREADY;
        if (Clock::now() >= deadline)
            return AV_ER_TIMEOUT;
        cv_.wait_until(lock, deadline);
    }
}

int ClientEngine::sendIoCtrlExit(int av)
{
    {
        std::lock_guard<std::mutex> lock(m_);
        auto c = chanLocked(av);
        if (!c)
            return AV_ER_INVALID_ARG;
        ++c->ioExitGeneration;
    }
    cv_.notify_all();
    return 0;
}

int ClientEngine::openChanLocked(int sid, std::uint8_t channel, bool server,
                                 std::shared_ptr<Session> &s, std::shared_ptr<AvChan> &c)
{
    if (avMax_ < 0 || down_)
        return AV_ER_NOT_INITIALIZED;
    if (const int err = sessionErrorLocked(sid))
        return err;
    s = sessionLocked(sid);
    const int key = chanKey(channel, server);
    if (s->chans.count(key))
        return AV_ER_IOTC_CHANNEL_IN_USED;
    const int av = allocAvLocked();
    if (av < 0)
        return AV_ER_EXCEED_MAX_CHANNEL;
    c = std::make_shared<AvChan>();
    c->av = av;
    c->sid = sid;
    c->channel = channel;
    c->server = server;
    avs_[av] = c;
    s->chans[key] = c;
    return 0;
}

int ClientEngine::servStart(int sid, avAuthFn authenticate, unsigned timeoutSec,
                            unsigned serviceType, std::uint8_t channel, int *resend)
{
    std::unique_lock<std::mutex> lock(m_);
    std::shared_ptr<Session> s;
    std::shared_ptr<AvChan> c;
    if (const int err = openChanLocked(sid, channel, true, s, c))
        return err;
    const int av = c->av;
    s->reserved.erase(channel);
    auto early = s->earlyLogins.find(channel);
    if (early != s->earlyLogins.end()) {
        c->pendingLogin = std::move(early->second);
        s->earlyLogins.erase(early);
    }
    const wire::Nonce myNonce = s->myNonce;
    const auto deadline =
        Clock::now() + std::chrono::seconds(timeoutSec ? timeoutSec : kDefaultStartTimeoutSec);
    int code = AV_ER_TIMEOUT;
    for (;;) {
        cv_.wait_until(lock, deadline, [&] {
            return down_ || c->state != AvChan::State::Starting || c->pendingLogin.has_value();
        });
        if (down_) {
            code = AV_ER_IOTC_DEINITIALIZED;
            break;
        }
        if (c->state != AvChan::State::Starting) {
            code = c->closeCode;
            break;
        }
        if (!c->pendingLogin)
            break; // timed out
        const wire::AvLogin login = std::move(*c->pendingLogin);
        c->pendingLogin.reset();

        // The callback is the caller's code: run it without the lock.
        lock.unlock();
        char expected[P2P_AUTH_PASSWORD_SIZE] = {0};
        const int accepted = authenticate ? authenticate(login.account.c_str(), expected) : 1;
        expected[P2P_AUTH_PASSWORD_SIZE - 1] = 0;
        bool ok = accepted > 0;
        if (ok && expected[0] != 0)
            ok = auth::macEqual(
                auth::loginMac(expected, myNonce, login.nonce, channel, true, login.account),
                login.mac);
        lock.lock();
        if (down_ || c->state != AvChan::State::Starting)
            continue; // reported at the top of the loop
        wire::AvLoginResult r;
        r.code = ok ? 0 : AV_ER_WRONG_VIEWACCorPWD;
        r.serviceType = serviceType;
        r.resend = 0;
        s->conn->send(wire::makeMessage(wire::MsgType::AvLoginResult, channel, 0,
                                        wire::encodeAvLoginResult(r)));
        if (ok) {
            c->state = AvChan::State::Open;
            if (resend)
                *resend = 0;
            return av;
        }
    }
    auto it = avs_.find(av);
    if (it != avs_.end() && it->second == c)
        avs_.erase(it);
    closeChanLocked(c, code, false);
    return code;
}

int ClientEngine::servStop(int av)
{
    std::lock_guard<std::mutex> lock(m_);
    auto c = chanLocked(av);
    if (!c || !c->server)
        return AV_ER_INVALID_ARG;
    avs_.erase(av);
    closeChanLocked(c, AV_ER_SERVER_EXIT, true);
    return 0;
}

int ClientEngine::servResendSize(int av, unsigned *size)
{
    std::lock_guard<std::mutex> lock(m_);
    auto c = chanLocked(av);
    if (!c)
        return AV_ER_INVALID_ARG;
    auto s = sessionLocked(c->sid);
    if (size)
        *size = (s && s->conn) ? static_cast<unsigned>(s->conn->queuedBytes()) : 0;
    return 0;
}

int ClientEngine::sendAudio(int av, const char *data, int size, const void *info, int infoSize)
{
    if (size < 0 || (size > 0 && !data) || infoSize < 0 || (infoSize > 0 && !info))
        return AV_ER_INVALID_ARG;
    if (static_cast<std::size_t>(size) > kMaxAudioFrameSize)
        return AV_ER_EXCEED_MAX_SIZE;
    std::uint8_t raw[FrameInfo::kSize] = {0};
    if (info)
        std::memcpy(raw, info,
                    std::min<std::size_t>(static_cast<std::size_t>(infoSize), sizeof(raw)));
    std::lock_guard<std::mutex> lock(m_);
    std::shared_ptr<AvChan> c;
    std::shared_ptr<Session> s;
    if (const int err = sendTargetLocked(av, c, s))
        return err;
    const auto *bytes = reinterpret_cast<const std::uint8_t *>(data);
    if (!s->conn->send(wire::makeMessage(wire::MsgType::Audio, c->channel,
                                         c->server ? 0 : wire::kFlagFromAvClient,
                                         wire::encodeFramePrefix(c->audioSendNumber++, raw),
                                         std::vector<std::uint8_t>(bytes, bytes + size)),
                       kSendQueueBytes))
        return s->conn->isOpen() ? AV_ER_SOCKET_QUEUE_FULL : AV_ER_SESSION_CLOSE_BY_REMOTE;
    return 0;
}

int ClientEngine::popFrame(std::deque<Frame> &q, std::size_t *bytes, char *buf, int bufSize,
                           int *actualSize, int *expectedSize, char *info, int infoSize,
                           int *actualInfoSize, unsigned *frameNumber)
{
    Frame f = std::move(q.front());
    q.pop_front();
    if (bytes)
        *bytes -= f.payload.size();
    wire::FrameView v;
    wire::parseFrame(f.payload, v); // checked on arrival: the prefix is there
    if (expectedSize)
        *expectedSize = static_cast<int>(v.size);
    if (frameNumber)
        *frameNumber = v.frameNumber;
    if (v.size > static_cast<std::size_t>(bufSize)) {
        if (actualSize)
            *actualSize = 0;
        return AV_ER_BUFPARA_MAXSIZE_INSUFF;
    }
    if (v.size > 0)
        std::memcpy(buf, v.data, v.size);
    const int infoBytes = std::min<int>(infoSize, static_cast<int>(FrameInfo::kSize));
    if (info && infoBytes > 0)
        std::memcpy(info, v.infoBytes, static_cast<std::size_t>(infoBytes));
    if (actualInfoSize)
        *actualInfoSize = info ? std::max(infoBytes, 0) : 0;
    if (actualSize)
        *actualSize = static_cast<int>(v.size);
    return static_cast<int>(v.size);
}

int ClientEngine::recvSourceLocked(int av, std::shared_ptr<AvChan> &c) const
{
    if (avMax_ < 0)
        return AV_ER_NOT_INITIALIZED;
    c = chanLocked(av);
    if (!c)
        return AV_ER_INVALID_ARG;
    if (c->state == AvChan::State::Closed)
        return c->closeCode;
    return 0;
}

int ClientEngine::recvFrame(int av, char *buf, int bufSize, int *actualSize, int *expectedSize,
                            char *info, int infoSize, int *actualInfoSize, unsigned *frameNumber)
{
    if (bufSize < 0 || (bufSize > 0 && !buf) || infoSize < 0)
        return AV_ER_INVALID_ARG;
    std::lock_guard<std::mutex> lock(m_);
    std::shared_ptr<AvChan> c;
    if (const int err = recvSourceLocked(av, c))
        return err;
    if (c->video.empty())
        return AV_ER_DATA_NOREADY;
    return popFrame(c->video, &c->videoBytes, buf, bufSize, actualSize, expectedSize, info,
                    infoSize, actualInfoSize, frameNumber);
}

int ClientEngine::checkAudio(int av)
{
    std::lock_guard<std::mutex> lock(m_);
    std::shared_ptr<AvChan> c;
    if (const int err = recvSourceLocked(av, c))
        return err;
    return static_cast<int>(c->audio.size());
}

int ClientEngine::recvAudio(int av, char *buf, int bufSize, char *info, int infoSize,
                            unsigned *frameNumber)
{
    if (bufSize < 0 || (bufSize > 0 && !buf) || infoSize < 0)
        return AV_ER_INVALID_ARG;
    std::lock_guard<std::mutex> lock(m_);
    std::shared_ptr<AvChan> c;
    if (const int err = recvSourceLocked(av, c))
        return err;
    if (c->audio.empty())
        return AV_ER_DATA_NOREADY;
    return popFrame(c->audio, nullptr, buf, bufSize, nullptr, nullptr, info, infoSize, nullptr,
                    frameNumber);
}

} // namespace p2p
