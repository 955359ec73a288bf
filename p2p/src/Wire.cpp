#include "Wire.h"

#include "ByteCursor.h"

#include <p2p/DeviceServer.h>

#include <algorithm>
#include <cstring>

namespace p2p::wire {

namespace {

constexpr std::size_t kMaxAccountLength = 255;

} // namespace

const char *parseErrorText(ParseError e)
{
    switch (e) {
    case ParseError::None:
        return "no error";
    case ParseError::BadMagic:
        return "bad magic";
    case ParseError::BadVersion:
        return "unsupported version";
    case ParseError::UnknownType:
        return "unknown message type";
    case ParseError::BadFlags:
        return "bad flags";
    case ParseError::BadLength:
        return "length out of range";
    }
    return "?";
}

std::size_t maxPayload(MsgType type)
{
    switch (type) {
    case MsgType::Hello:
        return 16 + 1 + kMaxUidLength;
    case MsgType::Welcome:
        return 1 + 16 + 1 + kMaxDeviceNameLength;
    case MsgType::Ping:
        return 0;
    case MsgType::Bye:
        return 1;
    case MsgType::AvLogin:
        return 16 + 32 + 1 + 1 + kMaxAccountLength;
    case MsgType::AvLoginResult:
        return 9;
    case MsgType::AvClose:
        return 0;
    case MsgType::IoCtrl:
        return 4 + kMaxIoCtrlSize;
    case MsgType::Video:
        return kFramePrefixSize + kMaxVideoFrameSize;
    case MsgType::Audio:
        return kFramePrefixSize + kMaxAudioFrameSize;
    }
    return 0;
}

std::size_t minPayload(MsgType type)
{
    switch (type) {
    case MsgType::Hello:
        return 16 + 1;
    case MsgType::Welcome:
        return 1 + 16 + 1;
    case MsgType::Ping:
    case MsgType::Bye:
    case MsgType::AvClose:
        return 0;
    case MsgType::AvLogin:
        return 16 + 32 + 1 + 1;
    case MsgType::AvLoginResult:
        return 9;
    case MsgType::IoCtrl:
        return 4;
    case MsgType::Video:
    case MsgType::Audio:
        return kFramePrefixSize;
    }
    return 0;
}

static bool knownType(std::uint8_t t)
{
    switch (static_cast<MsgType>(t)) {
    case MsgType::Hello:
    case MsgType::Welcome:
    case MsgType::Ping:
    case MsgType::Bye:
    case MsgType::AvLogin:
    case MsgType::AvLoginResult:
    case MsgType::AvClose:
    case MsgType::IoCtrl:
    case MsgType::Video:
    case MsgType::Audio:
        return true;
    }
    return false;
}

void encodeHeader(const Header &h, std::uint8_t *out)
{
    std::memcpy(out, kMagic, 4);
    out[4] = kVersion;
    out[5] = static_cast<std::uint8_t>(h.type);
    out[6] = h.channel;
    out[7] = h.flags;
    putU32(out + 8, h.length);
}

ParseError decodeHeader(const std::uint8_t *in, Header &out)
{
    if (std::memcmp(in, kMagic, 4) != 0)
        return ParseError::BadMagic;
    if (in[4] != kVersion)
        return ParseError::BadVersion;
    if (!knownType(in[5]))
        return ParseError::UnknownType;
    if ((in[7] & ~kFlagFromAvClient) != 0)
        return ParseError::BadFlags;
    out.type = static_cast<MsgType>(in[5]);
    out.channel = in[6];
    out.flags = in[7];
    out.length = getU32(in + 8);
    if (out.length > maxPayload(out.type) || out.length < minPayload(out.type))
        return ParseError::BadLength;
    return ParseError::None;
}

OutMessage makeMessage(MsgType type, std::uint8_t channel, std::uint8_t flags,
                       const std::vector<std::uint8_t> &fields, std::vector<std::uint8_t> body)
{
    OutMessage m;
    m.head.resize(kHeaderSize);
    Header h;
    h.type = type;
    h.channel = channel;
    h.flags = flags;
    h.length = static_cast<std::uint32_t>(fields.size() + body.size());
    encodeHeader(h, m.head.data());
    m.head.insert(m.head.end(), fields.begin(), fields.end());
    m.body = std::move(body);
    return m;
}

std::vector<std::uint8_t> encodeHello(const Hello &m)
{
    std::vector<std::uint8_t> v;
    putBytes(v, m.nonce.data(), m.nonce.size());
    putText(v, m.uid, kMaxUidLength);
    return v;
}

std::vector<std::uint8_t> encodeWelcome(const Welcome &m)
{
    std::vector<std::uint8_t> v;
    v.push_back(m.status);
    putBytes(v, m.nonce.data(), m.nonce.size());
    putText(v, m.name, kMaxDeviceNameLength);
    return v;
}

std::vector<std::uint8_t> encodeAvLogin(const AvLogin &m)
{
    std::vector<std::uint8_t> v;
    putBytes(v, m.nonce.data(), m.nonce.size());
    putBytes(v, m.mac.data(), m.mac.size());
    v.push_back(m.resend);
    putText(v, m.account, kMaxAccountLength);
    return v;
}

std::vector<std::uint8_t> encodeAvLoginResult(const AvLoginResult &m)
{
    std::vector<std::uint8_t> v;
    putU32(v, static_cast<std::uint32_t>(m.code));
    putU32(v, m.serviceType);
    v.push_back(m.resend);
    return v;
}

std::vector<std::uint8_t> encodeFramePrefix(std::uint32_t frameNumber, const std::uint8_t *info16)
{
    std::vector<std::uint8_t> v;
    v.reserve(kFramePrefixSize);
    putU32(v, frameNumber);
    putBytes(v, info16, FrameInfo::kSize);
    return v;
}

std::vector<std::uint8_t> encodeIoCtrlPrefix(std::uint32_t type)
{
    std::vector<std::uint8_t> v;
    putU32(v, type);
    return v;
}

bool parseHello(const std::vector<std::uint8_t> &p, Hello &out)
{
    ByteCursor c(p.data(), p.size());
    return c.bytes(out.nonce.data(), out.nonce.size()) && c.text(out.uid, kMaxUidLength) &&
           c.atEnd();
}

bool parseWelcome(const std::vector<std::uint8_t> &p, Welcome &out)
{
    ByteCursor c(p.data(), p.size());
    return c.u8(out.status) && out.status <= Welcome::Busy &&
           c.bytes(out.nonce.data(), out.nonce.size()) && c.text(out.name, kMaxDeviceNameLength) &&
           c.atEnd();
}

bool parseAvLogin(const std::vector<std::uint8_t> &p, AvLogin &out)
{
    ByteCursor c(p.data(), p.size());
    return c.bytes(out.nonce.data(), out.nonce.size()) && c.bytes(out.mac.data(), out.mac.size()) &&
           c.u8(out.resend) && c.text(out.account, kMaxAccountLength) && c.atEnd();
}

bool parseAvLoginResult(const std::vector<std::uint8_t> &p, AvLoginResult &out)
{
    ByteCursor c(p.data(), p.size());
    std::uint32_t code = 0;
    if (!(c.u32(code) && c.u32(out.serviceType) && c.u8(out.resend) && c.atEnd()))
        return false;
    out.code = static_cast<std::int32_t>(code);
    return out.code <= 0;
}

bool parseIoCtrl(const std::vector<std::uint8_t> &p, IoCtrlView &out)
{
    if (p.size() < 4 || p.size() > 4 + kMaxIoCtrlSize)
        return false;
    out.type = getU32(p.data());
    out.data = p.data() + 4;
    out.size = p.size() - 4;
    return true;
}

bool parseFrame(const std::vector<std::uint8_t> &p, FrameView &out)
{
    if (p.size() < kFramePrefixSize)
        return false;
    out.frameNumber = getU32(p.data());
    out.infoBytes = p.data() + 4;
    out.info = FrameInfo::parse(out.infoBytes);
    out.data = p.data() + kFramePrefixSize;
    out.size = p.size() - kFramePrefixSize;
    return true;
}

namespace {
enum DiscoveryKind : std::uint8_t { kRequest = 1, kAnswer = 2 };

void putDiscoveryHead(std::vector<std::uint8_t> &v, DiscoveryKind kind, std::uint32_t id)
{
    putBytes(v, kDiscoveryMagic, 4);
    v.push_back(kVersion);
    v.push_back(kind);
    putU32(v, id);
}

bool readDiscoveryHead(ByteCursor &c, DiscoveryKind kind, std::uint32_t &id)
{
    std::uint8_t magic[4];
    std::uint8_t version = 0, k = 0;
    return c.bytes(magic, 4) && std::memcmp(magic, kDiscoveryMagic, 4) == 0 && c.u8(version) &&
           version == kVersion && c.u8(k) && k == kind && c.u32(id);
}
} // namespace

std::vector<std::uint8_t> encodeDiscoveryRequest(const DiscoveryRequest &m)
{
    std::vector<std::uint8_t> v;
    putDiscoveryHead(v, kRequest, m.requestId);
    putText(v, m.uid, kMaxUidLength);
    return v;
}

std::vector<std::uint8_t> encodeDiscoveryAnswer(const DiscoveryAnswer &m)
{
    std::vector<std::uint8_t> v;
    putDiscoveryHead(v, kAnswer, m.requestId);
    putText(v, m.uid, kMaxUidLength);
    putU16(v, m.tcpPort);
    putText(v, m.name, kMaxDeviceNameLength);
    return v;
}

bool parseDiscoveryRequest(const std::uint8_t *data, std::size_t size, DiscoveryRequest &out)
{
    if (size > kMaxDatagram)
        return false;
    ByteCursor c(data, size);
    return readDiscoveryHead(c, kRequest, out.requestId) && c.text(out.uid, kMaxUidLength) &&
           c.atEnd() && (out.uid.empty() || isValidUid(out.uid));
}

bool parseDiscoveryAnswer(const std::uint8_t *data, std::size_t size, DiscoveryAnswer &out)
{
    if (size > kMaxDatagram)
        return false;
    ByteCursor c(data, size);
    return readDiscoveryHead(c, kAnswer, out.requestId) && c.text(out.uid, kMaxUidLength) &&
           isValidUid(out.uid) && c.u16(out.tcpPort) && out.tcpPort != 0 &&
           c.text(out.name, kMaxDeviceNameLength) && c.atEnd();
}

void writeSearchEntry(std::uint8_t *entry, const std::string &uid, const std::string &ip,
                      std::uint16_t port, const std::string &name)
{
    std::memset(entry, 0, 208);
    auto copyText = [entry](std::size_t offset, std::size_t room, const std::string &s) {
        std::memcpy(entry + offset, s.data(), std::min(s.size(), room - 1));
    };
    copyText(0, 21, uid);
    copyText(21, 47, ip);
    entry[68] = static_cast<std::uint8_t>(port & 0xff);
    entry[69] = static_cast<std::uint8_t>(port >> 8);
    copyText(70, 208 - 70, name);
}

bool isValidUid(const std::string &uid)
{
    if (uid.empty() || uid.size() > kMaxUidLength)
        return false;
    return std::all_of(uid.begin(), uid.end(), [](char ch) { return ch > 0x20 && ch < 0x7f; });
}

std::vector<Peer> parsePeers(const std::string &text)
{
    std::vector<Peer> peers;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(';', start);
        if (end == std::string::npos)
            end = text.size();
        std::string item = text.substr(start, end - start);
        start = end + 1;
        // Trim blanks around the entry.
        const auto first = item.find_first_not_of(" \t");
        const auto last = item.find_last_not_of(" \t");
        if (first == std::string::npos)
            continue;
        item = item.substr(first, last - first + 1);

        const auto at = item.find('@');
        const auto colon = item.rfind(':');
        if (at == std::string::npos || colon == std::string::npos || colon < at)
            continue;
        Peer p;
        p.uid = item.substr(0, at);
        p.host = item.substr(at + 1, colon - at - 1);
        const std::string portText = item.substr(colon + 1);
        if (!isValidUid(p.uid) || p.host.empty() || portText.empty() || portText.size() > 5 ||
            !std::all_of(portText.begin(), portText.end(),
                         [](char ch) { return ch >= '0' && ch <= '9'; }))
            continue;
        const unsigned long port = std::stoul(portText);
        if (port == 0 || port > 65535)
            continue;
        p.port = static_cast<std::uint16_t>(port);
        if (p.host.front() == '[') {
            if (p.host.size() < 3 || p.host.back() != ']')
                continue;
            p.host = p.host.substr(1, p.host.size() - 2);
        }
        if (p.host.find_first_of("[]@ ") != std::string::npos)
            continue;
        peers.push_back(std::move(p));
    }
    return peers;
}

} // namespace p2p::wire
