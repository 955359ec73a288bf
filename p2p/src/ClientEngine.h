#pragma once

#include <p2p/p2p.h>

#include "Connection.h"
#include "Wire.h"

#include <asio.hpp>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace p2p {

class ConnectAttempt;
class LanSearch;

// The client side of the library behind the C surface: sessions by UID, AV
// channels inside them, their receive queues, LAN search. One io_context
// thread does all socket work; the calling threads wait on one condition
// variable for state changes (every change notifies it).
class ClientEngine
{
public:
    static constexpr int kMaxSessions = 256;
    static constexpr std::size_t kVideoQueueFrames = 64;
    static constexpr std::size_t kVideoQueueBytes = 16 * 1024 * 1024;
    static constexpr std::size_t kAudioQueueFrames = 128;
    static constexpr std::size_t kIoQueueMessages = 128;
    static constexpr std::size_t kIoQueueBytes = 1024 * 1024;
    static constexpr std::size_t kSendQueueBytes = 4 * 1024 * 1024;

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

    int searchStart(int waitMs, int intervalMs);
    int searchResult(void *entries, int maxEntries);
    int searchStop();

    void setAvMax(int maxChannels);
    void avShutdown();
    int clientStart(int sid, const char *account, const char *password, unsigned timeoutSec,
                    unsigned *serviceType, std::uint8_t channel, int *resend);
    int clientStop(int av);
    int clientExit(int sid, std::uint8_t channel);
    int cleanBuf(int av, bool video, bool audio);
    int sendIoCtrl(int av, unsigned type, const char *data, int size);
    int recvIoCtrl(int av, unsigned *type, char *buf, int bufSize, unsigned timeoutMs);
    int sendIoCtrlExit(int av);
    int servStart(int sid, avAuthFn authenticate, unsigned timeoutSec, unsigned serviceType,
                  std::uint8_t channel, int *resend);
    int servStop(int av);
    int servResendSize(int av, unsigned *size);
    int sendAudio(int av, const char *data, int size, const void *info, int infoSize);
    int recvFrame(int av, char *buf, int bufSize, int *actualSize, int *expectedSize, char *info,
                  int infoSize, int *actualInfoSize, unsigned *frameNumber);
    int checkAudio(int av);
    int recvAudio(int av, char *buf, int bufSize, char *info, int infoSize, unsigned *frameNumber);

    // Called by ConnectAttempt on the io thread.
    void attemptFound(int sid, const ConnectAttempt *a);
    void attemptFailed(int sid, const ConnectAttempt *a, int code);
    void attemptConnected(int sid, const ConnectAttempt *a, asio::ip::tcp::socket socket);

private:
    struct Frame
    {
        std::vector<std::uint8_t> payload; // frame number, frame info, data
        bool key = false;
    };
    struct IoMsg
    {
        std::uint32_t type = 0;
        std::vector<std::uint8_t> data;
    };
    struct AvChan
    {
        enum class State { Starting, Open, Closed };
        int av = -1;
        int sid = -1;
        std::uint8_t channel = 0;
        bool server = false;
        State state = State::Starting;
        int closeCode = 0;
        // Starting, as client: the server's answer.
        std::optional<wire::AvLoginResult> loginResult;
        bool exitRequested = false;
        // Starting, as server: a peer's login waiting to be checked.
        std::optional<wire::AvLogin> pendingLogin;
        std::uint64_t ioExitGeneration = 0;
        std::deque<IoMsg> io;
        std::size_t ioBytes = 0;
        std::deque<Frame> video;
        std::size_t videoBytes = 0;
        bool videoWaitKey = false;
        std::deque<Frame> audio;
        std::uint32_t audioSendNumber = 0;
    };
    struct Session
    {
        enum class State { Reserved, Connecting, Connected, Dead };
        int sid = -1;
        std::string uid;
        State state = State::Reserved;
        bool stopRequested = false;
        bool found = false;
        int connectResult = 0;
        int deadCode = 0;   // session layer code once Dead
        int avDeadCode = 0; // AV layer code once Dead
        wire::Nonce myNonce{};
        wire::Nonce peerNonce{};
        std::shared_ptr<Connection> conn;
        std::shared_ptr<ConnectAttempt> attempt;
        std::map<int, std::shared_ptr<AvChan>> chans; // channel id, +256 for channels we serve
        std::map<int, wire::AvLogin> earlyLogins;     // logins before avServStart3 ran
        std::map<int, std::chrono::steady_clock::time_point> reserved; // free channels handed out
    };

    static int chanKey(std::uint8_t channel, bool server) { return channel + (server ? 256 : 0); }

    std::shared_ptr<Session> sessionLocked(int sid) const;
    std::shared_ptr<AvChan> chanLocked(int av) const;
    // The AV channel that a receive on av reads from, as long as it is not
    // closed; returns 0 or an AV error code (the close code once closed).
    int recvSourceLocked(int av, std::shared_ptr<AvChan> &c) const;
    // The open AV channel and its connected session that a send on av goes
    // through; returns 0 or an AV error code.
    int sendTargetLocked(int av, std::shared_ptr<AvChan> &c, std::shared_ptr<Session> &s) const;
    int sessionErrorLocked(int sid) const; // AV code for a session that is not usable
    int allocAvLocked();
    // Registers a new AV channel of the session (client or server role);
    // returns 0 or an AV error code.
    int openChanLocked(int sid, std::uint8_t channel, bool server, std::shared_ptr<Session> &s,
                       std::shared_ptr<AvChan> &c);
    void closeChanLocked(const std::shared_ptr<AvChan> &c, int code, bool tellPeer);
    void sessionDiedLocked(Session &s, CloseReason reason);
    void onMessage(int sid, const Connection *conn, wire::Message &&msg);
    void onClosed(int sid, const Connection *conn, CloseReason reason);
    void onConnectedMessage(Session &s, wire::Message &&msg);
    void pushVideo(AvChan &c, wire::Message &&msg);
    int popFrame(std::deque<Frame> &q, std::size_t *bytes, char *buf, int bufSize, int *actualSize,
                 int *expectedSize, char *info, int infoSize, int *actualInfoSize,
                 unsigned *frameNumber);

    asio::io_context io_;
    std::unique_ptr<asio::executor_work_guard<asio::io_context::executor_type>> work_;
    std::thread thread_;

    mutable std::mutex m_;
    std::condition_variable cv_;
    bool down_ = false;
    std::map<int, std::shared_ptr<Session>> sessions_;
    int nextSid_ = 0;
    std::map<int, std::shared_ptr<AvChan>> avs_;
    int nextAv_ = 0;
    int avMax_ = -1;

    std::mutex searchMutex_;
    std::shared_ptr<LanSearch> search_;
};

} // namespace p2p
