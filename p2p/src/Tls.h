#pragma once

// The secure layer under every session: TLS 1.3 only, the device proves a
// long-term key that the client pins per UID. Built with
// ORVANE_P2P_PLAINTEXT (benchmark only) the stream is a bare TCP socket and
// the handshake, fingerprint and binding are empty.

#include "Wire.h"

#include <asio.hpp>
#ifndef ORVANE_P2P_PLAINTEXT
#include <asio/ssl/error.hpp>
#endif

#include <functional>
#include <memory>
#include <string>
#include <vector>

typedef struct ssl_st SSL;

namespace p2p::tls {

// The label of the exported keying material (RFC 8446 section 7.5).
inline constexpr char kBindingLabel[] = "EXPORTER-orvane-p2p-av-login";

// A device's long-term identity: a private key and its self-signed certificate, PEM.
struct Identity
{
    std::string keyPem;
    std::string certPem;
};

// A fresh ECDSA P-256 key and a self-signed certificate for it (subject CN = uid).
bool generateIdentity(const std::string &uid, Identity &out, std::string *error);

// The key and certificate of `uid` kept in `dir` (<uid>.pem, readable by the
// owner only): read when there, else generated and written; of devices
// started at once, the first one written wins. False with a reason when the
// file cannot be written or does not hold a matching pair.
bool loadOrCreateIdentity(const std::string &dir, const std::string &uid, Identity &out,
                          std::string *error);

// SHA-256 of the certificate's SubjectPublicKeyInfo (DER), 64 lowercase hex
// digits; empty when the PEM does not parse.
std::string fingerprintOfCertificate(const std::string &certPem);

// True for 64 lowercase hex digits.
bool isFingerprint(const std::string &text);

class Context;

// The client's context (shared, created on first use) and a device's.
std::shared_ptr<Context> clientContext();
std::shared_ptr<Context> serverContext(const Identity &identity, std::string *error);
// A new OpenSSL session of the context (null in the plaintext build or on failure).
SSL *newSession(Context &context);

// One TCP connection with TLS on it, driven by OpenSSL directly on the
// socket (records go to and come from the kernel without an intermediate
// buffer pair), waiting with the socket's async_wait when OpenSSL wants to.
// At most one read and one write may be in flight; their handlers run on the
// socket's executor, never inside the call that started them.
//
// Threads: the executor's thread only (the blocking calls: any one thread
// that owns the stream alone).
class Stream
{
public:
    using IoHandler = std::function<void(const asio::error_code &, std::size_t)>;
    using Done = std::function<void(const asio::error_code &)>;

    Stream(asio::ip::tcp::socket socket, Context &context);
    ~Stream();
    Stream(const Stream &) = delete;
    Stream &operator=(const Stream &) = delete;

    asio::ip::tcp::socket &socket() { return socket_; }
    asio::any_io_executor get_executor() { return socket_.get_executor(); }
    SSL *ssl() const { return ssl_; }

    void asyncHandshake(bool server, Done done);
    // Reads what is there (at least one byte), up to size.
    void asyncReadSome(void *data, std::size_t size, IoHandler handler);
    // Writes every byte of the buffers (which must stay valid until the handler).
    void asyncWrite(std::vector<asio::const_buffer> buffers, IoHandler handler);

    // Blocking forms (tests, tools).
    void handshake(bool server, asio::error_code &ec);
    std::size_t readSome(void *data, std::size_t size, asio::error_code &ec);
    void write(const void *data, std::size_t size, asio::error_code &ec);

private:
    enum class Step { Done, WaitRead, WaitWrite, Failed };
    Step step(int result, asio::error_code &ec);
    void wait(Step s, std::function<void(const asio::error_code &)> then);
    void continueHandshake(std::shared_ptr<Done> done);
    void continueRead(void *data, std::size_t size, std::shared_ptr<IoHandler> handler);
    void continueWrite(std::shared_ptr<std::vector<asio::const_buffer>> buffers, std::size_t index,
                       std::size_t offset, std::size_t total, std::shared_ptr<IoHandler> handler);
    struct Blocking;

    asio::ip::tcp::socket socket_;
    asio::error_code socketError_; // what the socket said when OpenSSL reports a syscall error
    SSL *ssl_ = nullptr;
};

std::unique_ptr<Stream> makeStream(asio::ip::tcp::socket socket, Context &context);

// Runs the handshake of one side; `done` gets the error (empty on success).
void handshake(Stream &stream, bool server, std::function<void(const asio::error_code &)> done);

// After the handshake: the peer's fingerprint (client side) and the binding.
std::string peerFingerprint(Stream &stream);
bool exportBinding(Stream &stream, wire::Binding &out);

inline asio::ip::tcp::socket &socketOf(Stream &s)
{
    return s.socket();
}

} // namespace p2p::tls
