#pragma once

// The link's TLS from the outside, for tests: TlsClient, a blocking client
// that speaks the wire itself (to send what the library never would), and
// Relay, a machine in the middle on loopback between a client and a device
// that either copies the bytes it carries (recording them) or terminates
// TLS with its own key on both sides and forwards what is inside.

#include "Tls.h"

#include <asio.hpp>

#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

inline std::unique_ptr<p2p::tls::Stream> tlsConnect(asio::io_context &io, std::uint16_t port,
                                                    p2p::wire::Binding *binding = nullptr,
                                                    std::string *fingerprint = nullptr)
{
    asio::ip::tcp::socket socket(io);
    asio::error_code ec;
    socket.connect({asio::ip::make_address("127.0.0.1"), port}, ec);
    if (ec)
        return nullptr;
    auto stream = p2p::tls::makeStream(std::move(socket), *p2p::tls::clientContext());
    stream->handshake(false, ec);
    if (ec)
        return nullptr;
    if (binding)
        p2p::tls::exportBinding(*stream, *binding);
    if (fingerprint)
        *fingerprint = p2p::tls::peerFingerprint(*stream);
    return stream;
}

class Relay
{
public:
    enum class Mode {
        Copy,      // carries the TLS bytes as they are
        Terminate, // its own TLS session with each side, its own key to the client
    };

    Relay(std::uint16_t devicePort, Mode mode)
        : devicePort_(devicePort)
        , mode_(mode)
    {
        acceptor_.open(asio::ip::tcp::v4());
        acceptor_.bind({asio::ip::make_address("127.0.0.1"), 0});
        acceptor_.listen();
        if (mode == Mode::Terminate) {
            p2p::tls::Identity id;
            p2p::tls::generateIdentity("RELAY", id, nullptr);
            fingerprint_ = p2p::tls::fingerprintOfCertificate(id.certPem);
            server_ = p2p::tls::serverContext(id, nullptr);
        }
        accept();
        thread_ = std::thread([this] { io_.run(); });
    }
    ~Relay()
    {
        io_.stop();
        thread_.join();
    }

    std::uint16_t port() const { return acceptor_.local_endpoint().port(); }
    std::string fingerprint() const { return fingerprint_; } // Terminate: the relay's key
    std::vector<std::uint8_t> recorded() const               // both directions, as carried
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return bytes_;
    }

private:
    void record(const std::uint8_t *data, std::size_t n)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        bytes_.insert(bytes_.end(), data, data + n);
    }

    // One direction of a relayed connection: reads from `from`, writes to `to`.
    using Socket = std::shared_ptr<asio::ip::tcp::socket>;
    using Tls = std::shared_ptr<p2p::tls::Stream>;
    void pump(Socket from, Socket to)
    {
        auto buf = std::make_shared<std::array<std::uint8_t, 65536>>();
        from->async_read_some(asio::buffer(*buf), [=](asio::error_code ec, std::size_t n) {
            if (ec) {
                to->close(ec);
                return;
            }
            record(buf->data(), n);
            asio::async_write(*to, asio::buffer(buf->data(), n),
                              [=](asio::error_code ec, std::size_t) {
                                  if (!ec)
                                      pump(from, to);
                              });
        });
    }
    void pump(Tls from, Tls to)
    {
        auto buf = std::make_shared<std::array<std::uint8_t, 65536>>();
        from->asyncReadSome(buf->data(), buf->size(), [=](asio::error_code ec, std::size_t n) {
            if (ec) {
                to->socket().close(ec);
                return;
            }
            record(buf->data(), n);
            to->asyncWrite({asio::buffer(buf->data(), n)}, [=](asio::error_code ec, std::size_t) {
                if (!ec)
                    pump(from, to);
            });
        });
    }

    void accept()
    {
        acceptor_.async_accept([this](asio::error_code ec, asio::ip::tcp::socket client) {
            if (ec)
                return;
            accept();
            auto device = std::make_shared<asio::ip::tcp::socket>(io_);
            device->connect({asio::ip::make_address("127.0.0.1"), devicePort_}, ec);
            if (ec)
                return;
            if (mode_ == Mode::Copy) {
                auto c = std::make_shared<asio::ip::tcp::socket>(std::move(client));
                pump(c, device);
                pump(device, c);
                return;
            }
            auto inner = std::shared_ptr<p2p::tls::Stream>(
                p2p::tls::makeStream(std::move(client), *server_));
            auto outer = std::shared_ptr<p2p::tls::Stream>(
                p2p::tls::makeStream(std::move(*device), *p2p::tls::clientContext()));
            outer->handshake(false, ec);
            if (ec)
                return;
            inner->asyncHandshake(true, [this, inner, outer](const asio::error_code &ec) {
                if (ec)
                    return;
                pump(inner, outer);
                pump(outer, inner);
            });
        });
    }

    asio::io_context io_;
    asio::ip::tcp::acceptor acceptor_{io_};
    std::uint16_t devicePort_;
    Mode mode_;
    std::shared_ptr<p2p::tls::Context> server_;
    std::string fingerprint_;
    std::thread thread_;
    mutable std::mutex mutex_;
    std::vector<std::uint8_t> bytes_;
};
