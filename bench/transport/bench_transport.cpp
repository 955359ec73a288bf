// Throughput and added latency of one P2P session on loopback: a
// DeviceServer in this process streams video frames, a client receives
// them through the C surface. Prints frames per second, MB/s and the time
// from the device's send call to the client's receive call.
//
// Usage: bench_transport [seconds per phase, default 4]

#include <p2p/DeviceServer.h>
#include <p2p/p2p.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

std::uint32_t nowMs()
{
    return static_cast<std::uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch())
            .count());
}

std::uint64_t nowUs()
{
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(Clock::now().time_since_epoch())
            .count());
}

void setEnv(const char *name, const std::string &value)
{
#ifdef _WIN32
    _putenv_s(name, value.c_str());
#else
    setenv(name, value.c_str(), 1);
#endif
}

struct Result
{
    std::uint64_t frames = 0;
    std::uint64_t bytes = 0;
    std::uint64_t dropped = 0;
    std::vector<std::uint32_t> latencyMs;
    double seconds = 0;
};

// Streams frames of `size` bytes for `seconds`; fps 0 = as fast as the
// link takes them (every frame a key frame, so a full queue only delays).
Result runPhase(p2p::DeviceServer &dev, int session, int av, std::size_t size, double seconds,
                int fps)
{
    Result r;
    std::atomic<bool> sending{true};
    std::vector<std::uint8_t> payload(size, 0x5a);
    const std::uint64_t droppedBefore = dev.droppedFrames();

    std::thread producer([&] {
        const auto start = Clock::now();
        const auto end = start + std::chrono::duration<double>(seconds);
        std::uint32_t n = 0;
        while (Clock::now() < end) {
            p2p::FrameInfo info;
            info.codecId = 78;
            info.flags = p2p::FrameInfo::kFlagKeyFrame;
            info.timestamp = n;
            info.reserved2 = nowMs();
            if (fps > 0) {
                dev.sendVideoFrame(session, 0, payload.data(), payload.size(), info);
                ++n;
                std::this_thread::sleep_until(start + std::chrono::microseconds(1000000 / fps) * n);
            } else if (dev.sendVideoFrame(session, 0, payload.data(), payload.size(), info) ==
                       p2p::SendResult::Queued) {
                ++n;
            } else {
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
        }
        sending = false;
    });

    std::vector<char> buf(P2P_MAX_VIDEO_FRAME_SIZE);
    char info[16];
    int actual = 0, expected = 0, infoSize = 0;
    unsigned number = 0;
    const std::uint64_t t0 = nowUs();
    std::uint64_t idleSince = 0;
    for (;;) {
        const int n = avRecvFrameData2(av, buf.data(), static_cast<int>(buf.size()), &actual,
                                       &expected, info, 16, &infoSize, &number);
        if (n >= 0) {
            const std::uint32_t sent = static_cast<std::uint32_t>(
                static_cast<std::uint8_t>(info[8]) | (static_cast<std::uint8_t>(info[9]) << 8) |
                (static_cast<std::uint8_t>(info[10]) << 16) |
                (static_cast<std::uint32_t>(static_cast<std::uint8_t>(info[11])) << 24));
            r.latencyMs.push_back(nowMs() - sent);
            ++r.frames;
            r.bytes += static_cast<std::uint64_t>(n);
            idleSince = 0;
            continue;
        }
        if (n != AV_ER_DATA_NOREADY) {
            std::fprintf(stderr, "receive failed: %d\n", n);
            break;
        }
        if (!sending) {
            if (!idleSince)
                idleSince = nowUs();
            else if (nowUs() - idleSince > 300000)
                break; // drained
        }
        std::this_thread::yield();
    }
    r.seconds = static_cast<double>(nowUs() - t0 - (idleSince ? nowUs() - idleSince : 0)) / 1e6;
    producer.join();
    r.dropped = dev.droppedFrames() - droppedBefore;
    return r;
}

void print(const char *label, Result &r)
{
    std::sort(r.latencyMs.begin(), r.latencyMs.end());
    auto pct = [&](double p) -> unsigned {
        if (r.latencyMs.empty())
            return 0;
        return r.latencyMs[std::min(r.latencyMs.size() - 1,
                                    static_cast<std::size_t>(p * r.latencyMs.size()))];
    };
    double mean = 0;
    for (auto v : r.latencyMs)
        mean += v;
    if (!r.latencyMs.empty())
        mean /= static_cast<double>(r.latencyMs.size());
    std::printf("%-28s %8.1f frames/s %9.1f MB/s  latency ms: mean %6.2f p50 %4u p99 %4u max %4u"
                "  (frames %llu, sends refused %llu)\n",
                label, static_cast<double>(r.frames) / r.seconds,
                static_cast<double>(r.bytes) / r.seconds / 1e6, mean, pct(0.5), pct(0.99),
                r.latencyMs.empty() ? 0u : r.latencyMs.back(),
                static_cast<unsigned long long>(r.frames),
                static_cast<unsigned long long>(r.dropped));
}

} // namespace

int main(int argc, char **argv)
{
    const double seconds = argc > 1 ? std::max(1.0, std::atof(argv[1])) : 4.0;

    p2p::DeviceConfig cfg;
    cfg.uid = "BENCH00001";
    cfg.name = "bench";
    cfg.account = "admin";
    cfg.password = "pw";
    cfg.discoverable = false;
    cfg.sendQueueBytes = 16 * 1024 * 1024;
    p2p::DeviceServer dev(cfg);
    std::atomic<int> session{-1};
    p2p::DeviceServer::Callbacks cb;
    cb.channelOpened = [&](int s, int) { session = s; };
    dev.setCallbacks(cb);
    std::string error;
    if (!dev.start(&error)) {
        std::fprintf(stderr, "device: %s\n", error.c_str());
        return 1;
    }
    setEnv(P2P_ENV_PEERS, cfg.uid + "@127.0.0.1:" + std::to_string(dev.port()));

    IOTC_Initialize2(0);
    avInitialize(16);
    const int sid = IOTC_Get_SessionID();
    if (IOTC_Connect_ByUID_Parallel(cfg.uid.c_str(), sid) < 0) {
        std::fprintf(stderr, "connect failed\n");
        return 1;
    }
    unsigned serviceType = 0;
    int resend = 0;
    const int av = avClientStart2(sid, "admin", "pw", 5, &serviceType, 0, &resend);
    while (av >= 0 && session < 0)
        std::this_thread::yield();
    if (av < 0) {
        std::fprintf(stderr, "AV login failed: %d\n", av);
        return 1;
    }

    std::printf("one session on loopback, %.0f s per phase\n", seconds);
    Result small = runPhase(dev, session, av, 100 * 1024, seconds, 0);
    print("100 KB frames, flat out", small);
    Result large = runPhase(dev, session, av, 2 * 1024 * 1024, seconds, 0);
    print("2 MB frames, flat out", large);
    Result paced = runPhase(dev, session, av, 100 * 1024, seconds, 25);
    print("100 KB frames, 25 fps", paced);

    avClientStop(av);
    IOTC_Session_Close(sid);
    avDeInitialize();
    IOTC_DeInitialize();
    dev.stop();
    return 0;
}
