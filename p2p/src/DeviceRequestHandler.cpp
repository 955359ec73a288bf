#include "DeviceRequestHandler.h"

#include <p2p/p2p.h>

#include "Auth.h"
#include "DeviceEngine.h"

#include <algorithm>
#include <map>

namespace p2p {

namespace {

constexpr std::uint32_t kServiceType = 0;
// Logins waiting for their answer after a failure, per session; more close it.
constexpr std::size_t kMaxPendingLogins = 16;
// Logins accepted per session; the session is closed at this many (a client
// that reconnects gets a fresh device nonce).
constexpr std::size_t kMaxLoginsPerSession = 1024;

// The sender is the AV client of the channel: a client's own AV channel
// rather than a talk channel the device logged in on.
bool fromAvClient(const wire::Message &msg)
{
    return (msg.header.flags & wire::kFlagFromAvClient) != 0;
}
} // namespace

DeviceRequestHandler::DeviceRequestHandler(DeviceEngine &engine)
    : engine_(engine)
{}

bool DeviceRequestHandler::handle(DeviceSession &s, const wire::Message &msg)
{
    // Session messages (Hello, Welcome) have no place after the handshake;
    // Ping and Bye never get here (the connection answers them).
    using Handler = bool (DeviceRequestHandler::*)(DeviceSession &, const wire::Message &);
    static const std::map<wire::MsgType, Handler> handlers = {
        {wire::MsgType::AvLogin, &DeviceRequestHandler::onAvLogin},
        {wire::MsgType::AvLoginResult, &DeviceRequestHandler::onAvLoginResult},
        {wire::MsgType::AvClose, &DeviceRequestHandler::onAvClose},
        {wire::MsgType::IoCtrl, &DeviceRequestHandler::onIoCtrl},
        {wire::MsgType::Audio, &DeviceRequestHandler::onTalkAudio},
        {wire::MsgType::Video, &DeviceRequestHandler::onVideo},
    };
    auto it = handlers.find(msg.header.type);
    return it != handlers.end() && (this->*(it->second))(s, msg);
}

bool DeviceRequestHandler::onAvLogin(DeviceSession &s, const wire::Message &msg)
{
    wire::AvLogin login;
    if (!fromAvClient(msg) || !wire::parseAvLogin(msg.payload, login))
        return false;
    // After a failure the next answer waits; logins arriving meanwhile queue
    // up behind it, in order.
    if (s.pendingLogins.empty() && std::chrono::steady_clock::now() >= s.nextLogin) {
        answerLogin(s, msg.header.channel, login);
        return true;
    }
    if (s.pendingLogins.size() >= kMaxPendingLogins)
        return false;
    s.pendingLogins.emplace_back(msg.header.channel, std::move(login));
    if (s.pendingLogins.size() == 1)
        armLoginTimer(s);
    return true;
}

void DeviceRequestHandler::armLoginTimer(DeviceSession &s)
{
    s.loginTimer->expires_at(s.nextLogin);
    s.loginTimer->async_wait([this, weak = s.weak_from_this()](asio::error_code ec) {
        auto s = weak.lock();
        if (ec || !s || !s->conn->isOpen() || s->pendingLogins.empty())
            return;
        const auto [ch, login] = std::move(s->pendingLogins.front());
        s->pendingLogins.pop_front();
        answerLogin(*s, ch, login);
        if (!s->pendingLogins.empty())
            armLoginTimer(*s);
    });
}

void DeviceRequestHandler::answerLogin(DeviceSession &s, int ch, const wire::AvLogin &login)
{
    if (s.usedLoginNonces.size() >= kMaxLoginsPerSession) {
        s.conn->close(CloseReason::ProtocolError);
        return;
    }
    const auto now = std::chrono::steady_clock::now();
    const auto expected = auth::loginMac(engine_.cfg.password, s.binding, s.nonce, login.nonce,
                                         static_cast<std::uint8_t>(ch), false, login.account);
    bool ok = !engine_.loginGuard.locked(s.address, now) && login.account == engine_.cfg.account &&
              auth::macEqual(expected, login.mac);
    {
        // A login opens its channel once: not while the channel is open, and
        // never again with the same nonce (a replay), also after AvClose.
        std::lock_guard<std::mutex> lock(engine_.m);
        ok = ok && s.chans.count(ch) == 0 && s.usedLoginNonces.insert(login.nonce).second;
        if (ok)
            s.chans[ch] = DeviceSession::Channel{};
    }
    if (ok) {
        s.loginFailures = 0;
        engine_.loginGuard.succeeded(s.address);
    } else {
        engine_.loginGuard.failed(s.address, now);
        auto delay = engine_.cfg.loginDelay; // doubled for each failure before this one
        for (int i = 0; i < s.loginFailures && delay < engine_.cfg.loginDelayMax; ++i)
            delay *= 2;
        ++s.loginFailures;
        s.nextLogin = now + std::min(delay, engine_.cfg.loginDelayMax);
    }
    wire::AvLoginResult r;
    r.code = ok ? 0 : AV_ER_WRONG_VIEWACCorPWD;
    r.serviceType = kServiceType;
    r.resend = 0;
    s.conn->send(wire::makeMessage(wire::MsgType::AvLoginResult, static_cast<std::uint8_t>(ch), 0,
                                   wire::encodeAvLoginResult(r)));
    if (ok && engine_.cb.channelOpened)
        engine_.cb.channelOpened(s.id, ch);
    else if (!ok && engine_.cb.loginRefused)
        engine_.cb.loginRefused(s.id, ch);
}

bool DeviceRequestHandler::onAvLoginResult(DeviceSession &s, const wire::Message &msg)
{
    const int ch = msg.header.channel;
    wire::AvLoginResult r;
    if (fromAvClient(msg) || !wire::parseAvLoginResult(msg.payload, r))
        return false;
    bool known = false;
    {
        std::lock_guard<std::mutex> lock(engine_.m);
        auto it = s.talks.find(ch);
        if (it != s.talks.end() && !it->second.open) {
            known = true;
            if (r.code == 0)
                it->second.open = true;
            else
                s.talks.erase(it);
        }
    }
    if (known && engine_.cb.talkOpened)
        engine_.cb.talkOpened(s.id, ch, r.code);
    return true;
}

bool DeviceRequestHandler::onAvClose(DeviceSession &s, const wire::Message &msg)
{
    const int ch = msg.header.channel;
    const bool fromClient = fromAvClient(msg);
    bool was = false;
    {
        std::lock_guard<std::mutex> lock(engine_.m);
        was = fromClient ? s.chans.erase(ch) > 0 : s.talks.erase(ch) > 0;
    }
    if (was && fromClient && engine_.cb.channelClosed)
        engine_.cb.channelClosed(s.id, ch);
    if (was && !fromClient && engine_.cb.talkClosed)
        engine_.cb.talkClosed(s.id, ch);
    return true;
}

bool DeviceRequestHandler::onIoCtrl(DeviceSession &s, const wire::Message &msg)
{
    const int ch = msg.header.channel;
    wire::IoCtrlView v;
    if (!wire::parseIoCtrl(msg.payload, v))
        return false;
    bool open = false;
    {
        std::lock_guard<std::mutex> lock(engine_.m);
        open = fromAvClient(msg) && s.chans.count(ch) > 0;
    }
    if (open && engine_.cb.ioCtrl)
        engine_.cb.ioCtrl(s.id, ch, v.type, std::vector<std::uint8_t>(v.data, v.data + v.size));
    return true;
}

bool DeviceRequestHandler::onTalkAudio(DeviceSession &s, const wire::Message &msg)
{
    const int ch = msg.header.channel;
    wire::FrameView f;
    if (!wire::parseFrame(msg.payload, f))
        return false;
    bool open = false;
    {
        std::lock_guard<std::mutex> lock(engine_.m);
        auto it = s.talks.find(ch);
        open = !fromAvClient(msg) && it != s.talks.end() && it->second.open;
    }
    if (open && engine_.cb.talkAudio)
        engine_.cb.talkAudio(s.id, ch, std::vector<std::uint8_t>(f.data, f.data + f.size), f.info);
    return true;
}

bool DeviceRequestHandler::onVideo(DeviceSession &, const wire::Message &)
{
    return true; // a client sends no video; ignored
}

} // namespace p2p
