#pragma once

#include "AvLayer.h"
#include "ClientState.h"
#include "Connection.h"
#include "Wire.h"

#include <asio.hpp>

#include <memory>
#include <mutex>
#include <thread>

namespace p2p {

class ConnectAttempt;
class LanSearch;

// The client side of the library behind the C surface: sessions by UID, the
// AV layer inside them (av()), LAN search. One io_context thread does all
// socket work; the calling threads wait on the shared condition variable
// for state changes.
//
// Threads: the public calls come from any thread; the attempt…() reports
// and the connection handlers run on the io thread.
class ClientEngine
{
public:
    static constexpr int kMaxSessions = 256;

    ClientEngine();
    ~ClientEngine();
    ClientEngine(const ClientEngine &) = delete;
    ClientEngine &operator=(const ClientEngine &) = delete;

    bool start();
    // Closes every session and channel, wakes every blocked call, joins the thread.
    void shutdown();

    int getSessionId();
    int connect(const char *uid, int sid);
    int connectStop(int sid);
    int sessionClose(int sid);
    int freeChannel(int sid);
    int sessionFingerprint(int sid, std::string &out);

    int searchStart(int waitMs, int intervalMs);
    int searchResult(void *entries, int maxEntries);
    int searchStop();

    AvLayer &av() { return av_; }
    FrameReady &frameReady() { return state_.ready; }

    // Called by ConnectAttempt on the io thread.
    void attemptFound(int sid, const ConnectAttempt *a);
    void attemptFailed(int sid, const ConnectAttempt *a, int code);
    void attemptConnected(int sid, const ConnectAttempt *a, std::unique_ptr<tls::Stream> stream,
                          const std::string &fingerprint, const wire::Binding &binding);

private:
    // The code a failed connect reports.
    int connectErrorLocked(const ClientSession &s) const;
    void sessionDiedLocked(ClientSession &s, CloseReason reason);
    void onMessage(int sid, const Connection *conn, wire::Message &&msg);
    void onClosed(int sid, const Connection *conn, CloseReason reason);

    asio::io_context io_;
    std::unique_ptr<asio::executor_work_guard<asio::io_context::executor_type>> work_;
    std::thread thread_;

    ClientState state_;
    AvLayer av_{state_};
    int nextSid_ = 0; // guarded by state_.m

    std::mutex searchMutex_;
    std::shared_ptr<LanSearch> search_;
};

} // namespace p2p
