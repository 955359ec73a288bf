#pragma once

// Byte formats of the link: the TCP message framing, the payloads of each
// message, the UDP discovery datagrams, the LAN search result entry and the
// peer list taken from the environment. Pure functions, no I/O.

#include <p2p/FrameInfo.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace p2p::wire {

using Nonce = std::array<std::uint8_t, 16>;
using Mac = std::array<std::uint8_t, 32>;
// Keying material exported from the session's TLS connection; goes into
// every login MAC, so a login is valid only on the connection it was made on.
using Binding = std::array<std::uint8_t, 32>;

constexpr std::uint8_t kMagic[4] = {'O', 'P', '2', 'P'};
constexpr std::uint8_t kVersion = 1;
constexpr std::size_t kHeaderSize = 12;
constexpr std::size_t kFramePrefixSize = 4 + FrameInfo::kSize; // frame number + frame info

// Header flag: the sender is the AV client of the channel named in the header.
constexpr std::uint8_t kFlagFromAvClient = 0x01;

enum class MsgType : std::uint8_t {
    Hello = 0x01,
    Welcome = 0x02,
    Ping = 0x03,
    Bye = 0x04,
    AvLogin = 0x10,
    AvLoginResult = 0x11,
    AvClose = 0x12,
    IoCtrl = 0x20,
    Video = 0x21,
    Audio = 0x22,
};

struct Header
{
    MsgType type = MsgType::Ping;
    std::uint8_t channel = 0;
    std::uint8_t flags = 0;
    std::uint32_t length = 0;
};

enum class ParseError {
    None,
    BadMagic,
    BadVersion,
    UnknownType,
    BadFlags,
    BadLength,
};

const char *parseErrorText(ParseError e);

// Largest payload accepted for a message type; 0 for an unknown type.
std::size_t maxPayload(MsgType type);
// Smallest payload a message type can have.
std::size_t minPayload(MsgType type);

void encodeHeader(const Header &h, std::uint8_t *out);
ParseError decodeHeader(const std::uint8_t *in, Header &out);

struct Message
{
    Header header;
    std::vector<std::uint8_t> payload;
};

// A message ready to be written: header plus small fields in head, bulk
// bytes (frame data, IO control payload) in body.
struct OutMessage
{
    std::vector<std::uint8_t> head;
    std::vector<std::uint8_t> body;
    std::size_t size() const { return head.size() + body.size(); }
};

OutMessage makeMessage(MsgType type, std::uint8_t channel, std::uint8_t flags,
                       const std::vector<std::uint8_t> &fields,
                       std::vector<std::uint8_t> body = {});

// Payloads.
struct Hello
{
    Nonce nonce{};
    std::string uid;
};
struct Welcome
{
    enum Status : std::uint8_t { Ok = 0, WrongUid = 1, Busy = 2 };
    std::uint8_t status = Ok;
    Nonce nonce{};
    std::string name;
};
struct AvLogin
{
    Nonce nonce{};
    Mac mac{};
    std::uint8_t resend = 0;
    std::string account;
};
struct AvLoginResult
{
    std::int32_t code = 0;
    std::uint32_t serviceType = 0;
    std::uint8_t resend = 0;
};
struct IoCtrlView
{
    std::uint32_t type = 0;
    const std::uint8_t *data = nullptr;
    std::size_t size = 0;
};
struct FrameView
{
    std::uint32_t frameNumber = 0;
    FrameInfo info;
    const std::uint8_t *infoBytes = nullptr;
    const std::uint8_t *data = nullptr;
    std::size_t size = 0;
};

std::vector<std::uint8_t> encodeHello(const Hello &m);
std::vector<std::uint8_t> encodeWelcome(const Welcome &m);
std::vector<std::uint8_t> encodeAvLogin(const AvLogin &m);
std::vector<std::uint8_t> encodeAvLoginResult(const AvLoginResult &m);
std::vector<std::uint8_t> encodeFramePrefix(std::uint32_t frameNumber, const std::uint8_t *info16);
std::vector<std::uint8_t> encodeIoCtrlPrefix(std::uint32_t type);

bool parseHello(const std::vector<std::uint8_t> &p, Hello &out);
bool parseWelcome(const std::vector<std::uint8_t> &p, Welcome &out);
bool parseAvLogin(const std::vector<std::uint8_t> &p, AvLogin &out);
bool parseAvLoginResult(const std::vector<std::uint8_t> &p, AvLoginResult &out);
bool parseIoCtrl(const std::vector<std::uint8_t> &p, IoCtrlView &out);
bool parseFrame(const std::vector<std::uint8_t> &p, FrameView &out);

// Discovery datagrams (UDP).
constexpr std::uint8_t kDiscoveryMagic[4] = {'O', 'P', '2', 'D'};
constexpr std::size_t kMaxDatagram = 512;

struct DiscoveryRequest
{
    std::uint32_t requestId = 0;
    std::string uid; // empty = every device
};
struct DiscoveryAnswer
{
    std::uint32_t requestId = 0;
    std::string uid;
    std::uint16_t tcpPort = 0;
    std::string name;
};

std::vector<std::uint8_t> encodeDiscoveryRequest(const DiscoveryRequest &m);
std::vector<std::uint8_t> encodeDiscoveryAnswer(const DiscoveryAnswer &m);
bool parseDiscoveryRequest(const std::uint8_t *data, std::size_t size, DiscoveryRequest &out);
bool parseDiscoveryAnswer(const std::uint8_t *data, std::size_t size, DiscoveryAnswer &out);

// The 208-byte LAN search result entry (UID at 0, IP text at 21, port u16 LE
// at 68, name at 70; texts NUL-terminated, cut to fit).
void writeSearchEntry(std::uint8_t *entry, const std::string &uid, const std::string &ip,
                      std::uint16_t port, const std::string &name);

// Peers from ORVANE_P2P_PEERS: "UID@host:port;UID@[::1]:port". Malformed
// entries are skipped.
struct Peer
{
    std::string uid;
    std::string host;
    std::uint16_t port = 0;
};
std::vector<Peer> parsePeers(const std::string &text);

// Text fields: UIDs are printable ASCII without spaces; names any bytes but NUL.
bool isValidUid(const std::string &uid);

} // namespace p2p::wire
