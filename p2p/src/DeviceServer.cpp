#include <p2p/DeviceServer.h>
#include <p2p/p2p.h>

#include "Auth.h"
#include "DeviceEngine.h"
#include "Wire.h"

namespace p2p {

DeviceServer::DeviceServer(DeviceConfig config, Callbacks callbacks)
    : d(std::make_shared<DeviceEngine>(std::move(config), std::move(callbacks)))
{}

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
    return d->start(error);
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

std::string DeviceServer::fingerprint() const
{
    std::lock_guard<std::mutex> lock(d->m);
    return d->fingerprint;
}

bool loadOrCreateIdentity(const std::string &dir, const std::string &uid, std::string &keyPem,
                          std::string &certPem, std::string *error)
{
    tls::Identity id;
    if (!tls::loadOrCreateIdentity(dir, uid, id, error))
        return false;
    keyPem = std::move(id.keyPem);
    certPem = std::move(id.certPem);
    return true;
}

std::string certificateFingerprint(const std::string &certPem)
{
    return tls::fingerprintOfCertificate(certPem);
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
    auto s = d->readySessionLocked(session);
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
        auto s = d->readySessionLocked(session);
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

namespace {

// One video or audio frame to a client's AV channel. A full queue drops the frame (and, for
// video, every following one until a key frame fits), or with `refuseWhenFull` leaves
// everything as it was and answers Full.
SendResult sendFrame(DeviceEngine &d, bool video, int session, int channel,
                     const std::uint8_t *data, std::size_t size, const FrameInfo &info,
                     bool refuseWhenFull)
{
    if (size > (video ? kMaxVideoFrameSize : kMaxAudioFrameSize) || (size > 0 && !data))
        return SendResult::NoChannel;
    std::lock_guard<std::mutex> lock(d.m);
    auto s = d.readySessionLocked(session);
    if (!s)
        return SendResult::NoChannel;
    auto it = s->chans.find(channel);
    if (it == s->chans.end())
        return SendResult::NoChannel;
    DeviceSession::Channel &c = it->second;
    const std::size_t queued = s->conn->queuedBytes();
    const bool full = queued > 0 && queued + size > d.cfg.sendQueueBytes;
    if (refuseWhenFull && full)
        return SendResult::Full;
    const std::uint32_t number = video ? c.videoNumber++ : c.audioNumber++;
    const bool skip = video && c.waitKey && !info.isKeyFrame();
    bool drop = skip || full;
    if (!drop) {
        std::uint8_t raw[FrameInfo::kSize];
        info.serialize(raw);
        drop = !s->conn->send(wire::makeMessage(
            video ? wire::MsgType::Video : wire::MsgType::Audio, static_cast<std::uint8_t>(channel),
            0, wire::encodeFramePrefix(number, raw), std::vector<std::uint8_t>(data, data + size)));
    }
    if (video && !skip)
        c.waitKey = drop;
    if (drop) {
        ++c.dropped;
        ++d.dropped;
        return SendResult::Dropped;
    }
    return SendResult::Queued;
}

} // namespace

SendResult DeviceServer::sendVideoFrame(int session, int channel, const std::uint8_t *data,
                                        std::size_t size, const FrameInfo &info)
{
    return sendFrame(*d, true, session, channel, data, size, info, false);
}

SendResult DeviceServer::sendAudioFrame(int session, int channel, const std::uint8_t *data,
                                        std::size_t size, const FrameInfo &info)
{
    return sendFrame(*d, false, session, channel, data, size, info, false);
}

SendResult DeviceServer::trySendVideoFrame(int session, int channel, const std::uint8_t *data,
                                           std::size_t size, const FrameInfo &info)
{
    return sendFrame(*d, true, session, channel, data, size, info, true);
}

SendResult DeviceServer::trySendAudioFrame(int session, int channel, const std::uint8_t *data,
                                           std::size_t size, const FrameInfo &info)
{
    return sendFrame(*d, false, session, channel, data, size, info, true);
}

std::size_t DeviceServer::sendQueueRoom(int session) const
{
    std::lock_guard<std::mutex> lock(d->m);
    auto s = d->readySessionLocked(session);
    if (!s)
        return 0;
    const std::size_t queued = s->conn->queuedBytes();
    return queued >= d->cfg.sendQueueBytes ? 0 : d->cfg.sendQueueBytes - queued;
}

std::uint64_t DeviceServer::droppedFrames() const
{
    return d->dropped.load();
}

std::uint64_t DeviceServer::droppedFrames(int session, int channel) const
{
    std::lock_guard<std::mutex> lock(d->m);
    auto s = d->readySessionLocked(session);
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
        auto s = d->readySessionLocked(session);
        if (!s)
            return false;
        DeviceSession::Talk t;
        t.nonce = auth::randomNonce();
        s->talks[channel] = t;
        login.nonce = t.nonce;
        login.account = d->cfg.account;
        login.mac = auth::loginMac(d->cfg.password, s->binding, s->clientNonce, t.nonce,
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
        auto s = d->readySessionLocked(session);
        if (!s || s->talks.erase(channel) == 0)
            return;
        conn = s->conn;
        if (d->cb.talkClosed)
            asio::post(*d->io, [engine = d.get(), session, channel] {
                engine->cb.talkClosed(session, channel);
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
        auto s = d->readySessionLocked(session);
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
