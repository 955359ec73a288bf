#pragma once

#include <p2p/FrameInfo.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace p2p {

struct DeviceEngine;

// Size limits shared by both ends of the link.
constexpr std::size_t kMaxVideoFrameSize = 2304000;
constexpr std::size_t kMaxAudioFrameSize = 1024;
constexpr std::size_t kMaxIoCtrlSize = 16384;
constexpr std::size_t kMaxUidLength = 20;
constexpr std::size_t kMaxDeviceNameLength = 127;

struct DeviceConfig
{
    std::string uid;           // at most kMaxUidLength characters
    std::string name;          // answered to LAN search, at most kMaxDeviceNameLength bytes
    std::string account;       // view account a client must log in with
    std::string password;      // view password (never sent on the wire)
    std::uint16_t tcpPort = 0; // 0 = any free port; see DeviceServer::port()
    std::uint16_t discoveryPort =
        0;                    // 0 = ORVANE_P2P_DISCOVERY_PORT, else P2P_DEFAULT_DISCOVERY_PORT
    bool discoverable = true; // answer discovery broadcasts (LAN search, UID lookup)
    std::size_t sendQueueBytes = 8 * 1024 * 1024; // per session bound for queued frames
    std::size_t maxSessions = 64; // sessions past the handshake; more are answered busy
    // Failed AV logins: after a session's n-th failure in a row its next login
    // is answered loginDelay * 2^(n-1) later, at most loginDelayMax; an address
    // with loginFailureLimit failures within loginLockout is refused (wrong
    // account or password) for loginLockout.
    std::chrono::milliseconds loginDelay{100};
    std::chrono::milliseconds loginDelayMax{5000};
    int loginFailureLimit = 10;
    std::chrono::milliseconds loginLockout{60000};
    // The device's long-term TLS identity (PEM): a private key and its
    // certificate. Empty: a key made for this run only (tests); devices keep
    // theirs with loadOrCreateIdentity().
    std::string tlsKeyPem;
    std::string tlsCertPem;
};

// The TLS identity of `uid` kept in `dir` (<uid>.pem: key and certificate,
// readable by the owner only): read when there, generated and written when
// not. An unreadable file or a mismatched pair is an error, never replaced.
bool loadOrCreateIdentity(const std::string &dir, const std::string &uid, std::string &keyPem,
                          std::string &certPem, std::string *error = nullptr);
// SHA-256 of a PEM certificate's public key as 64 lowercase hex digits (the
// fingerprint clients pin); empty when it does not parse.
std::string certificateFingerprint(const std::string &certPem);

// Fault injection; may be changed at any time with DeviceServer::setFaults().
struct DeviceFaults
{
    bool refuseConnections = false; // close every new connection at once
    bool silentHandshake = false;   // accept a connection but never answer its handshake
    int dropSessionAfterSec = 0;    // > 0: cut each session that long after it opened, no goodbye
    bool frozen = false; // send nothing (keep-alives included) and ignore what arrives on open
                         // sessions, as if the device vanished from the network
};

enum class SendResult {
    Queued,    // handed to the session's send queue
    Dropped,   // queue full or waiting for a key frame: the frame was dropped (counted)
    NoChannel, // no such session, channel not open, or frame too large
    Full,      // trySend...: the send queue lacks room; nothing was sent, try again later
};

// One simulated device: answers discovery, accepts client sessions on a TCP
// port, authenticates AV channel logins and carries IO control messages,
// video and audio frames. Several instances may run in one process; they
// share one discovery responder per discovery port.
//
// Sessions are identified by an int unique within this DeviceServer (never
// reused); channels by their channel id 0..255 within a session.
//
// Threads: every method may be called from any thread. Callbacks run on this
// server's network thread, one at a time; they must not block, and may call
// any method except stop()/abort() (which would wait for that same thread).
class DeviceServer
{
public:
    struct Callbacks
    {
        // A client session passed the handshake. peer: "ip:port".
        std::function<void(int session, const std::string &peer)> sessionOpened;
        // A client logged in on AV channel `channel` (the client's avClientStart2).
        std::function<void(int session, int channel)> channelOpened;
        // A login on AV channel `channel` was refused (wrong account or password,
        // a channel already open, a replayed nonce).
        std::function<void(int session, int channel)> loginRefused;
        // IO control message from a client's AV channel.
        std::function<void(int session, int channel, std::uint32_t type,
                           const std::vector<std::uint8_t> &payload)>
            ioCtrl;
        // The client closed the AV channel (avClientStop) or its session ended.
        std::function<void(int session, int channel)> channelClosed;
        // The session ended (client closed it, vanished, or it was dropped).
        std::function<void(int session)> sessionClosed;
        // Result of openTalkChannel(): 0 = open, < 0 = an AV_ER_* code.
        std::function<void(int session, int channel, int result)> talkOpened;
        // An audio frame the client sent on an open talk channel (avSendAudioData).
        std::function<void(int session, int channel, const std::vector<std::uint8_t> &data,
                           const FrameInfo &info)>
            talkAudio;
        // The talk channel closed (client avServStop, closeTalkChannel, session end).
        std::function<void(int session, int channel)> talkClosed;
    };

    explicit DeviceServer(DeviceConfig config, Callbacks callbacks = {});
    ~DeviceServer(); // stop()
    DeviceServer(const DeviceServer &) = delete;
    DeviceServer &operator=(const DeviceServer &) = delete;

    // Callbacks can be replaced only while the server is not running.
    void setCallbacks(Callbacks callbacks);

    // Binds the TCP port, joins the discovery responder and starts the
    // network thread. Returns false (and a reason in *error) on failure.
    bool start(std::string *error = nullptr);
    // Says goodbye to every client, closes everything and joins the thread.
    void stop();
    // Vanishes: closes every socket without a goodbye and joins the thread.
    void abort();
    bool isRunning() const;
    std::uint16_t port() const; // bound TCP port, 0 when not running
    const DeviceConfig &config() const;
    // The fingerprint of the key this device proves (known after start()).
    std::string fingerprint() const;

    void setFaults(const DeviceFaults &faults);
    DeviceFaults faults() const;

    std::vector<int> sessions() const;
    bool isChannelOpen(int session, int channel) const;

    // IO control reply to a client's AV channel. False when the channel is
    // not open, the payload is larger than kMaxIoCtrlSize or the session's
    // queue is overfull.
    bool sendIoCtrl(int session, int channel, std::uint32_t type, const std::uint8_t *data,
                    std::size_t size);
    bool sendIoCtrl(int session, int channel, std::uint32_t type,
                    const std::vector<std::uint8_t> &payload);

    // Frames to a client's AV channel; never block. Each channel numbers its
    // frames 0, 1, 2, ... (dropped frames use up their number). When the
    // session's send queue is full the frame is dropped, and so is every
    // following video frame of that channel until a key frame fits.
    SendResult sendVideoFrame(int session, int channel, const std::uint8_t *data, std::size_t size,
                              const FrameInfo &info);
    SendResult sendAudioFrame(int session, int channel, const std::uint8_t *data, std::size_t size,
                              const FrameInfo &info);
    // The same for a sender that must never lose a frame (an export): when the session's
    // send queue lacks room for the frame nothing is sent, no frame number is used, the
    // channel's key-frame wait stays as it was and Full comes back; the caller waits for
    // room (sendQueueRoom()) and tries the same frame again.
    SendResult trySendVideoFrame(int session, int channel, const std::uint8_t *data,
                                 std::size_t size, const FrameInfo &info);
    SendResult trySendAudioFrame(int session, int channel, const std::uint8_t *data,
                                 std::size_t size, const FrameInfo &info);
    // Bytes the session's send queue still takes before frames are dropped (or refused by the
    // trySend... calls): config().sendQueueBytes minus what is queued; 0 when there is no
    // such session. The queue drains as the network thread writes, so the room only grows
    // between calls unless something else sends.
    std::size_t sendQueueRoom(int session) const;
    std::uint64_t droppedFrames() const; // all sessions, since start()
    std::uint64_t droppedFrames(int session, int channel) const;

    // Talk: logs in as AV client on the channel the client serves with
    // avServStart3 (the channel id from IOCTRL_SPEAKER_START), using this
    // device's account and password. Asynchronous: talkOpened reports the
    // result, talkAudio then delivers the client's audio frames.
    bool openTalkChannel(int session, int channel);
    void closeTalkChannel(int session, int channel);

    // Closes a client's AV channel from the device side.
    void closeChannel(int session, int channel);
    // Ends a session with a goodbye.
    void closeSession(int session);
    // Cuts a session without a goodbye.
    void dropSession(int session);
    // Writes bytes as they are onto the session's connection (fault injection).
    bool sendRaw(int session, const std::vector<std::uint8_t> &bytes);

private:
    std::shared_ptr<DeviceEngine> d;
};

} // namespace p2p
