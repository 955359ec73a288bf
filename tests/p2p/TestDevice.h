#pragma once

// A DeviceServer for link tests that records what its callbacks report, and
// LinkedDevice, the set-up most link tests share: such a device with one
// client session and one AV channel open on it. The device echoes IO control
// messages with type + 1; a talk start (0x0350) opens the talk channel named
// in its first four bytes.

#include <p2p/DeviceServer.h>
#include <p2p/p2p.h>

#include <QtTest>

#include <chrono>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <vector>

constexpr std::uint32_t kTalkStart = 0x0350;

struct AudioRecord
{
    int channel;
    std::vector<std::uint8_t> data;
    p2p::FrameInfo info;
};

class TestDevice
{
public:
    using Tweak = std::function<void(p2p::DeviceConfig &)>;
    explicit TestDevice(const std::string &uid, const std::string &password = "pw",
                        bool discoverable = true, const Tweak &tweak = {})
        : server_(makeConfig(uid, password, discoverable, tweak))
    {
        p2p::DeviceServer::Callbacks cb;
        cb.sessionOpened = [this](int s, const std::string &) { add(sessionsOpened, s); };
        cb.sessionClosed = [this](int s) { add(sessionsClosed, s); };
        cb.channelOpened = [this](int s, int ch) { add(channelsOpened, {s, ch}); };
        cb.channelClosed = [this](int s, int ch) { add(channelsClosed, {s, ch}); };
        cb.ioCtrl = [this](int s, int ch, std::uint32_t type, const std::vector<std::uint8_t> &p) {
            if (type == kTalkStart && p.size() >= 4)
                server_.openTalkChannel(s, p[0] | (p[1] << 8));
            else
                server_.sendIoCtrl(s, ch, type + 1, p);
        };
        cb.talkOpened = [this](int, int, int result) { add(talkResults, result); };
        cb.talkAudio = [this](int, int ch, const std::vector<std::uint8_t> &d,
                              const p2p::FrameInfo &info) {
            add(talkAudio, AudioRecord{ch, d, info});
        };
        cb.talkClosed = [this](int s, int ch) { add(talksClosed, {s, ch}); };
        server_.setCallbacks(cb);
    }

    bool start()
    {
        std::string error;
        const bool ok = server_.start(&error);
        if (!ok)
            qWarning("device start failed: %s", error.c_str());
        return ok;
    }

    p2p::DeviceServer &server() { return server_; }
    std::string uid() const { return server_.config().uid; }
    std::string peerEntry() const { return uid() + "@127.0.0.1:" + std::to_string(server_.port()); }

    template <typename T> std::vector<T> snapshot(const std::vector<T> &v) const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return v;
    }

    std::vector<int> sessionsOpened, sessionsClosed;
    std::vector<std::pair<int, int>> channelsOpened, channelsClosed, talksClosed;
    std::vector<int> talkResults; // what each talk login came to
    std::vector<AudioRecord> talkAudio;

private:
    static p2p::DeviceConfig makeConfig(const std::string &uid, const std::string &password,
                                        bool discoverable, const Tweak &tweak)
    {
        p2p::DeviceConfig c;
        c.uid = uid;
        c.name = "Test " + uid;
        c.account = "admin";
        c.password = password;
        c.discoverable = discoverable;
        if (tweak)
            tweak(c);
        return c;
    }
    template <typename T> void add(std::vector<T> &v, T x)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        v.push_back(std::move(x));
    }

    mutable std::mutex mutex_;
    p2p::DeviceServer server_;
};

// Runs a blocking call on another thread.
template <typename F> auto runAsync(F &&f)
{
    return std::async(std::launch::async, std::forward<F>(f));
}

template <typename T> bool finishesWithin(std::future<T> &f, int seconds)
{
    return f.wait_for(std::chrono::seconds(seconds)) == std::future_status::ready;
}

// An IO control receive on another thread that waits far longer than any test.
inline std::future<int> blockedIoReceive(int av)
{
    return runAsync([av] {
        unsigned type = 0;
        char buf[1024];
        return avRecvIOCtrl(av, &type, buf, sizeof(buf), 120000);
    });
}

inline void setPeers(const std::string &peers)
{
    qputenv(P2P_ENV_PEERS, QByteArray::fromStdString(peers));
}

// Connects a new session to the device: its id, or the connect's error code.
inline int connectTo(const std::string &uid)
{
    const int sid = IOTC_Get_SessionID();
    if (sid < 0)
        return sid;
    const int r = IOTC_Connect_ByUID_Parallel(uid.c_str(), sid);
    return r < 0 ? r : sid;
}

inline int openAv(int sid, int channel = 0, const char *password = "pw",
                  const char *account = "admin")
{
    unsigned serviceType = 0;
    int resend = 0;
    return avClientStart2(sid, account, password, 10, &serviceType,
                          static_cast<unsigned char>(channel), &resend);
}

// A discovery port for this test run, away from the default.
inline void useRandomDiscoveryPort()
{
    const int port = 20000 + static_cast<int>(QRandomGenerator::global()->bounded(30000));
    qputenv(P2P_ENV_DISCOVERY_PORT, QByteArray::number(port));
}

// A started, undiscoverable TestDevice named in the peer list, with a client
// session and an AV channel on it. The destructor stops the channel and
// closes the session.
struct LinkedDevice
{
    explicit LinkedDevice(const std::string &uid)
        : dev(uid, "pw", false)
    {}
    ~LinkedDevice()
    {
        if (av >= 0)
            avClientStop(av);
        if (sid >= 0)
            IOTC_Session_Close(sid);
    }

    // Starts the device, connects and opens an AV channel; waits until the
    // device saw the login. False (with a warning) on failure. `peersBefore`
    // goes in front of the device's entry in the peer list.
    bool open(int channel = 0, const std::string &peersBefore = {})
    {
        if (!dev.start())
            return false;
        setPeers(peersBefore + dev.peerEntry());
        sid = connectTo(dev.uid());
        av = sid < 0 ? sid : openAv(sid, channel);
        if (av < 0) {
            qWarning("connect to or log in on %s: %d", dev.uid().c_str(), av);
            return false;
        }
        return QTest::qWaitFor([this] { return dev.snapshot(dev.channelsOpened).size() > 0; },
                               10000);
    }

    TestDevice dev;
    int sid = -1;
    int av = -1;
};
