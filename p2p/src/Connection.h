#pragma once

#include "MessageReader.h"
#include "Tls.h"
#include "Wire.h"

#include <asio.hpp>

#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace p2p {

enum class CloseReason {
    Local,         // this end closed it
    RemoteBye,     // the peer said goodbye
    RemoteEof,     // the peer closed the socket without a goodbye
    Timeout,       // nothing arrived for the keep-alive's dead time
    ProtocolError, // malformed bytes arrived
    IoError,
};

// One framed connection over an established TLS stream, used by both ends
// (the handshake ran before: ConnectAttempt, DeviceEngine). Reads messages with a
// wire::MessageReader, writes a queue of messages, answers nothing itself
// but sends a Ping when idle and closes when the peer falls silent.
//
// Threads: start() and the handlers run on the io_context's single thread;
// send(), sendRaw(), close(), closeWithBye(), setFrozen() and the getters may
// be called from any thread.
class Connection : public std::enable_shared_from_this<Connection>
{
public:
    using MessageFn = std::function<void(wire::Message &&)>;
    using CloseFn = std::function<void(CloseReason)>;

    static constexpr std::chrono::milliseconds kPingInterval{1000};
    static constexpr std::chrono::milliseconds kDeadAfter{4000};
    static constexpr std::size_t kHardQueueLimit = 48 * 1024 * 1024;
    // A message must arrive whole within this time from its first byte, plus
    // as much again per MiB it announces (10 s; 32 s for the largest frame),
    // or the connection closes as timed out: a peer that drips a message
    // keeps the keep-alive content but must not hold the channel forever.
    static constexpr std::chrono::milliseconds kMessageDeadline{10000};
    // Changes that base time for every connection (tests); any thread.
    static void setMessageDeadline(std::chrono::milliseconds base);

    explicit Connection(std::shared_ptr<tls::Stream> stream);
    ~Connection();
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    // Starts reading. onMessage gets every message but Ping and Bye; onClose
    // is called once, when the connection closes for whatever reason.
    // keepAlive off: no pings are sent and silence is not fatal.
    void start(MessageFn onMessage, CloseFn onClose, bool keepAlive = true);

    // Queues a message; false when closed or the queue holds more than limit bytes.
    bool send(wire::OutMessage &&m, std::size_t limit = kHardQueueLimit);
    bool sendRaw(std::vector<std::uint8_t> bytes);
    std::size_t queuedBytes() const;

    // Abrupt close (no goodbye is sent).
    void close(CloseReason reason = CloseReason::Local);
    // Sends a goodbye after what is queued, then closes (gives up after 500 ms).
    void closeWithBye();
    // Fault injection: send nothing and drop what arrives.
    void setFrozen(bool frozen);

    bool isOpen() const { return !closed_.load(); }
    std::string peer() const { return peer_; }

private:
    void doRead();
    void doWrite();
    void doClose(CloseReason reason);
    void armTimer();
    void onTick();

    std::shared_ptr<tls::Stream> stream_;
    asio::steady_timer timer_;
    std::string peer_;
    MessageFn onMessage_;
    CloseFn onClose_;
    bool keepAlive_ = true;
    wire::MessageReader reader_;
    std::vector<std::uint8_t> readBuffer_;
    std::chrono::steady_clock::time_point lastRx_;
    std::chrono::steady_clock::time_point lastTx_;
    std::chrono::steady_clock::time_point closeDeadline_;
    bool partial_ = false;        // a message is under way...
    std::uint64_t partialOf_ = 0; // ...the one after this many completed ones,
    std::chrono::steady_clock::time_point partialSince_; // since then

    mutable std::mutex mutex_; // guards the fields below
    std::deque<wire::OutMessage> queue_;
    std::size_t queuedBytes_ = 0;
    bool writing_ = false;
    bool closing_ = false; // goodbye queued, close when drained
    bool sendClosed_ = false;
    wire::OutMessage inflight_;

    std::atomic<bool> closed_{false};
    std::atomic<bool> frozen_{false};
};

} // namespace p2p
