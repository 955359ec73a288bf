#pragma once

#include <p2p/DeviceServer.h>

#include "DeviceRequestHandler.h"
#include "DeviceSession.h"
#include "DiscoveryResponder.h"
#include "LoginGuard.h"
#include "Tls.h"
#include "Wire.h"

#include <asio.hpp>

#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <set>
#include <thread>

namespace p2p {

// The network side of one DeviceServer: the io thread, the TCP acceptor, the
// sessions with their handshake; what a session sends after the handshake
// goes to its DeviceRequestHandler. DeviceServer's calls work on its fields.
//
// Threads: start() and shutdown() from any thread (not the io thread); the
// handlers run on the io thread. m guards the fields marked so.
struct DeviceEngine
{
    DeviceEngine(DeviceConfig config, DeviceServer::Callbacks callbacks);

    bool start(std::string *error);
    void shutdown(bool graceful);
    // A session that passed the handshake; m held.
    std::shared_ptr<DeviceSession> readySessionLocked(int id) const;

    DeviceConfig cfg;
    DeviceServer::Callbacks cb;

    mutable std::mutex m;
    DeviceFaults faults;                                    // m
    bool running = false;                                   // m
    std::uint16_t port = 0;                                 // m
    std::map<int, std::shared_ptr<DeviceSession>> sessions; // m
    std::unique_ptr<asio::io_context> io;
    std::shared_ptr<tls::Context> tlsContext;
    std::string fingerprint; // of this device's key
    std::atomic<std::uint64_t> dropped{0};
    LoginGuard loginGuard; // io thread

private:
    bool listen(std::string *error);
    void announce();
    void accept();
    void acceptFailed(const asio::error_code &ec);
    void secure(asio::ip::tcp::socket socket);
    void accepted(std::shared_ptr<tls::Stream> stream, const wire::Binding &binding);
    void armDropFault(const std::shared_ptr<DeviceSession> &s, int afterSec);
    void onMessage(const std::shared_ptr<DeviceSession> &s, wire::Message &&msg);
    void onHello(const std::shared_ptr<DeviceSession> &s, const wire::Message &msg);
    void onClosed(const std::shared_ptr<DeviceSession> &s);

    std::unique_ptr<asio::executor_work_guard<asio::io_context::executor_type>> work_;
    std::unique_ptr<asio::ip::tcp::acceptor> acceptor_;
    std::unique_ptr<asio::steady_timer> acceptTimer_; // waits out a failed accept
    std::chrono::milliseconds acceptBackoff_{0};      // 0 while accepting works
    std::thread thread_;
    int nextSession_ = 1;                                // m
    std::set<std::shared_ptr<tls::Stream>> handshaking_; // io thread
    std::shared_ptr<DiscoveryResponder> responder_;
    int responderId_ = 0;
    DeviceRequestHandler requests_; // io thread
};

} // namespace p2p
