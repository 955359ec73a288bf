// Throughput and added latency of one P2P session on loopback: a
// DeviceServer in this process streams video frames, a client receives
// them through the C surface. Prints frames per second, MB/s and the time
// from the device's send call to the client's receive call.
//
// The session runs TLS 1.3. When bench_transport_plaintext (the same
// benchmark over the transport without TLS, built on request with
// `ninja bench_transport_plaintext`) lies beside this program, it is run
// too and the cost of TLS is printed as ratios.
//
// On a busy machine single runs vary a lot: the comparison runs both
// transports in turns (--rounds, default 3) and keeps each one's best
// throughput and lowest latencies.
//
// Usage: bench_transport [seconds per phase, default 4] [--rounds N] [--machine]

#include <p2p/DeviceServer.h>
#include <p2p/p2p.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

#ifdef ORVANE_BENCH_PLAINTEXT
constexpr const char *kTransport = "plaintext baseline";
#else
constexpr const char *kTransport = "TLS 1.3";
#endif

#ifdef _WIN32
FILE *openPipe(const char *command)
{
    return _popen(command, "r");
}
void closePipe(FILE *f)
{
    _pclose(f);
}
#else
FILE *openPipe(const char *command)
{
    return popen(command, "r");
}
void closePipe(FILE *f)
{
    pclose(f);
}
#endif

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
    std::vector<std::uint32_t> latencyUs;
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
            info.reserved2 = static_cast<std::uint32_t>(nowUs());
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
            r.latencyUs.push_back(static_cast<std::uint32_t>(nowUs()) - sent);
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
        // Nothing to take: a short sleep, not a yield, which on a machine
        // with few cores would take the CPU from the link's own threads.
        std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
    r.seconds = static_cast<double>(nowUs() - t0 - (idleSince ? nowUs() - idleSince : 0)) / 1e6;
    producer.join();
    r.dropped = dev.droppedFrames() - droppedBefore;
    return r;
}

struct Figures
{
    double fps = 0, mbs = 0, meanUs = 0, p50Us = 0, p99Us = 0;
};

Figures figuresOf(Result &r)
{
    std::sort(r.latencyUs.begin(), r.latencyUs.end());
    auto pct = [&](double p) -> double {
        if (r.latencyUs.empty())
            return 0;
        return r.latencyUs[std::min(r.latencyUs.size() - 1,
                                    static_cast<std::size_t>(p * r.latencyUs.size()))];
    };
    Figures f;
    for (auto v : r.latencyUs)
        f.meanUs += v;
    if (!r.latencyUs.empty())
        f.meanUs /= static_cast<double>(r.latencyUs.size());
    f.fps = static_cast<double>(r.frames) / r.seconds;
    f.mbs = static_cast<double>(r.bytes) / r.seconds / 1e6;
    f.p50Us = pct(0.5);
    f.p99Us = pct(0.99);
    return f;
}

void print(const char *label, const Figures &f, const Result &r)
{
    std::printf("%-24s %8.1f frames/s %9.1f MB/s  latency ms: mean %6.3f p50 %6.3f p99 %6.3f"
                "  (frames %llu, sends refused %llu)\n",
                label, f.fps, f.mbs, f.meanUs / 1000, f.p50Us / 1000, f.p99Us / 1000,
                static_cast<unsigned long long>(r.frames),
                static_cast<unsigned long long>(r.dropped));
}

// The baseline's figures, one line per phase: "PHASE i fps mbs mean p50 p99".
std::vector<Figures> runBaseline(const char *self, double seconds)
{
    std::string path(self);
    const auto slash = path.find_last_of("/\\");
    path = (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) +
           "bench_transport_plaintext";
#ifdef _WIN32
    path += ".exe";
#endif
    std::vector<Figures> out;
    if (FILE *probe = std::fopen(path.c_str(), "rb"))
        std::fclose(probe);
    else
        return out;
    const std::string command = "\"" + path + "\" " + std::to_string(seconds) + " --machine";
    FILE *pipe = openPipe(command.c_str());
    if (!pipe)
        return out;
    std::array<char, 512> line{};
    while (std::fgets(line.data(), static_cast<int>(line.size()), pipe)) {
        Figures f;
        int phase = 0;
        if (std::sscanf(line.data(), "PHASE %d %lf %lf %lf %lf %lf", &phase, &f.fps, &f.mbs,
                        &f.meanUs, &f.p50Us, &f.p99Us) == 6)
            out.push_back(f);
    }
    closePipe(pipe);
    return out;
}

} // namespace

int main(int argc, char **argv)
{
    double seconds = 4.0;
    int rounds = 3;
    bool machine = false; // the baseline's output for the comparing run
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--machine")
            machine = true;
        else if (std::string(argv[i]) == "--rounds" && i + 1 < argc)
            rounds = std::max(1, std::atoi(argv[++i]));
        else
            seconds = std::max(1.0, std::atof(argv[i]));
    }
    if (machine)
        rounds = 1;

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

    struct Phase
    {
        const char *label;
        std::size_t size;
        int fps;
    };
    const Phase phases[] = {{"100 KB frames, flat out", 100 * 1024, 0},
                            {"2 MB frames, flat out", 2 * 1024 * 1024, 0},
                            {"100 KB frames, 25 fps", 100 * 1024, 25}};
    if (!machine)
        std::printf("one session on loopback over %s, %.0f s per phase\n", kTransport, seconds);
    std::vector<Figures> mine, base;
    auto keepBest = [](std::vector<Figures> &best, const std::vector<Figures> &now) {
        if (best.empty()) {
            best = now;
            return;
        }
        for (std::size_t i = 0; i < best.size() && i < now.size(); ++i) {
            best[i].fps = std::max(best[i].fps, now[i].fps);
            best[i].mbs = std::max(best[i].mbs, now[i].mbs);
            best[i].meanUs = std::min(best[i].meanUs, now[i].meanUs);
            best[i].p50Us = std::min(best[i].p50Us, now[i].p50Us);
            best[i].p99Us = std::min(best[i].p99Us, now[i].p99Us);
        }
    };
    for (int round = 0; round < rounds; ++round) {
        std::vector<Figures> now;
        for (const Phase &p : phases) {
            Result r = runPhase(dev, session, av, p.size, seconds, p.fps);
            now.push_back(figuresOf(r));
            if (machine)
                std::printf("PHASE %zu %.3f %.3f %.3f %.3f %.3f\n", now.size() - 1, now.back().fps,
                            now.back().mbs, now.back().meanUs, now.back().p50Us, now.back().p99Us);
            else
                print(p.label, now.back(), r);
        }
        keepBest(mine, now);
#ifndef ORVANE_BENCH_PLAINTEXT
        if (!machine)
            keepBest(base, runBaseline(argv[0], seconds));
#endif
    }

    avClientStop(av);
    IOTC_Session_Close(sid);
    avDeInitialize();
    IOTC_DeInitialize();
    dev.stop();
    if (machine)
        return 0;

#ifndef ORVANE_BENCH_PLAINTEXT
    if (base.size() != mine.size()) {
        std::printf("no baseline: build it with `ninja bench_transport_plaintext` to compare\n");
        return 0;
    }
    std::printf("\nTLS against the plaintext baseline measured in turns in this run (best of %d "
                "rounds each):\n",
                rounds);
    for (std::size_t i = 0; i < mine.size(); ++i)
        std::printf("%-24s TLS %7.1f MB/s, baseline %7.1f MB/s: %5.1f%%; latency added: "
                    "mean %+.3f ms, p50 %+.3f ms\n",
                    phases[i].label, mine[i].mbs, base[i].mbs, 100 * mine[i].mbs / base[i].mbs,
                    (mine[i].meanUs - base[i].meanUs) / 1000,
                    (mine[i].p50Us - base[i].p50Us) / 1000);
#endif
    return 0;
}
