// Media pipeline benchmark: N devsim channels at 25 fps through the receive
// steps, the decoder and the hand-over to the view cells, with and without
// drawing. Prints per N the delivered frame rate per channel against the
// source rate, CPU time per frame against libavcodec decoding the same
// bitstream alone, the delay from devsim's send to the picture being ready
// on the GUI thread, and resident memory per channel.
//
//   xvfb-run -a build/bench/media/bench_media     (drawing needs a display)

#include "DevsimProcess.h"

#include "link/ChannelBufferItem.h"
#include "media/Decode.h"
#include "view/GlWidgetViewWindow.h"
#include "media/PictureExchange.h"
#include "media/Video.h"
#include "media/VideoFrameTap.h"
#include "model/Channel.h"
#include "model/Dev.h"
#include "model/Device.h"

#include "av/AvError.h"
#include "av/AvHandles.h"

#include <p2p/p2p.h>

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QFile>
#include <QMutex>
#include <QRandomGenerator>
#include <QThreadPool>
#include <QWidget>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <cstdio>
#include <ctime>
#include <vector>

#ifdef Q_OS_UNIX
#include <sys/resource.h>
#include <unistd.h>
#endif

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace {

constexpr int SourceFps = 25;
constexpr int MeasureMs = 4000;
const char *const Account = "admin";
const char *const Password = "bench-pw";

double cpuSeconds()
{
#ifdef Q_OS_UNIX
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
#else
    return double(std::clock()) / CLOCKS_PER_SEC;
#endif
}

double residentMiB()
{
#ifdef Q_OS_LINUX
    QFile f(QStringLiteral("/proc/self/statm"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> parts = f.readAll().split(' ');
    if (parts.size() < 2)
        return -1;
    return double(parts[1].toLongLong()) * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
#else
    return -1;
#endif
}

// Runs the event loop until done() holds (checked every 20 ms) or the time is up.
bool waitUntil(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        const qint64 left = timeoutMs - t.elapsed();
        if (left <= 0)
            return false;
        QEventLoop loop;
        QTimer::singleShot(int(std::min<qint64>(left, 20)), &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

// Keeps a copy of the first frames of one channel for the offline decode.
class BitstreamTap : public VideoFrameTap
{
public:
    explicit BitstreamTap(Channel *channel)
        : m_channel(channel)
    {}
    void videoFrame(Channel *channel, bool, const ChannelBufferItem &item) override
    {
        QMutexLocker lock(&m_lock);
        if (channel != m_channel || frames.size() >= 300 || item.size <= 0)
            return;
        frames.append({QByteArray(reinterpret_cast<const char *>(item.data), item.size),
                       QByteArray(reinterpret_cast<const char *>(item.frameInfo), 16)});
    }
    struct Frame
    {
        QByteArray data;
        QByteArray info;
    };
    QList<Frame> frames;

private:
    Channel *m_channel;
    QMutex m_lock;
};

struct RunResult
{
    bool ok = false;
    double minFps = 0;
    double meanFps = 0;
    double cpuMsPerFrame = 0;
    double latencyMeanMs = 0;
    double latencyP95Ms = 0;
    double rssPerChannelMiB = 0;
    QList<BitstreamTap::Frame> bitstream;
};

RunResult runOnce(int n, bool draw, quint16 discoveryPort)
{
    RunResult result;
    const QString uid = QStringLiteral("BENCH%1%2").arg(n).arg(draw ? "D" : "N");
    DevsimProcess sim;
    sim.setDiscoveryPort(discoveryPort);
    if (!sim.start({"--uid", uid, "--account", Account, "--password", Password, "--channels",
                    QString::number(n), "--fps", QString::number(SourceFps)})) {
        std::printf("devsim: %s\n", qPrintable(sim.errorText()));
        return result;
    }
    qputenv(P2P_ENV_PEERS, sim.peersEnv().toLatin1());
    qputenv(P2P_ENV_DISCOVERY_PORT, QByteArray::number(discoveryPort));
    if (IOTC_Initialize2(0) != 0 || avInitialize(4096) < 0) {
        std::printf("library start failed\n");
        return result;
    }
    const int sid0 = IOTC_Get_SessionID();
    const int sid = sid0 < 0 ? sid0 : IOTC_Connect_ByUID_Parallel(uid.toLatin1().constData(), sid0);
    if (sid < 0) {
        std::printf("connect failed: %d\n", sid);
        return result;
    }

    const double rssBefore = residentMiB();
    auto *device = new Device;
    device->setUid(uid);
    device->setChannelCount(n);
    device = Dev::instance()->addOrUpdate(device);
    std::vector<int> avs;
    for (int c = 0; c < n; ++c) {
        unsigned int serviceType = 0;
        int resend = 0;
        const int av = avClientStart2(sid, Account, Password, 5, &serviceType, uint8_t(c), &resend);
        if (av < 0) {
            std::printf("avClientStart2(%d): %d\n", c, av);
            return result;
        }
        avs.push_back(av);
        Channel *ch = device->channel(c);
        ch->setAvIndex(av, true);
        ch->setWaitKeyFrame(true, true);
        ch->setVideoOn(true, true);
        const char prepare[2] = {0, 0};
        avSendIOCtrl(av, 0x00FF, prepare, 2);
        const char start[8] = {char(c), 0, 0, 0, 0, 0, 0, 0};
        avSendIOCtrl(av, 0x01FF, start, 8);
    }
    device->setSessionId(sid);

    Video *video = Video::instance();
    BitstreamTap tap(device->channel(0));
    video->setFrameTap(&tap);

    std::unique_ptr<QWidget> host;
    if (draw) {
        host = std::make_unique<QWidget>();
        host->resize(640, 360);
        const int side = int(std::ceil(std::sqrt(double(n))));
        for (int c = 0; c < n; ++c) {
            auto *cell = new GlWidgetViewWindow(host.get());
            cell->place(640 / side - 2, 360 / side - 2, (c % side) * 640 / side + 1,
                        (c / side) * 360 / side + 1);
            cell->setChannel(device, device->channel(c));
        }
        host->show();
    }

    std::vector<int> counts(size_t(n), 0);
    std::vector<double> lags;
    bool measuring = false;
    auto *decode = new Decode(video);
    QObject::connect(video, &Video::decodeSuccess, decode, [&](Channel *ch, bool live) {
        if (ch->device() != device)
            return;
        ++counts[size_t(ch->index())];
        if (!measuring)
            return;
        video->pictures(ch, live)->withFront([&](const PictureExchange::Picture &p) {
            const auto now = uint32_t(QDateTime::currentMSecsSinceEpoch() & 0xFFFFFFFF);
            lags.push_back(double(int32_t(now - p.tag)));
        });
    });

    const bool started = waitUntil(
        [&] { return std::all_of(counts.begin(), counts.end(), [](int c) { return c > 0; }); },
        20000);
    if (started) {
        waitUntil([] { return false; }, 1000); // settle
        std::fill(counts.begin(), counts.end(), 0);
        measuring = true;
        const double cpu0 = cpuSeconds();
        QElapsedTimer window;
        window.start();
        waitUntil([] { return false; }, MeasureMs);
        const double seconds = window.elapsed() / 1000.0;
        const double cpu = cpuSeconds() - cpu0;
        measuring = false;
        int total = 0;
        double minFps = 1e9;
        for (int c : counts) {
            total += c;
            minFps = std::min(minFps, c / seconds);
        }
        result.ok = true;
        result.minFps = minFps;
        result.meanFps = total / seconds / n;
        result.cpuMsPerFrame = total ? cpu * 1000.0 / total : 0;
        std::sort(lags.begin(), lags.end());
        if (!lags.empty()) {
            double sum = 0;
            for (double l : lags)
                sum += l;
            result.latencyMeanMs = sum / double(lags.size());
            result.latencyP95Ms = lags[size_t(double(lags.size() - 1) * 0.95)];
        }
        result.rssPerChannelMiB = (residentMiB() - rssBefore) / n;
    } else {
        std::printf("N=%d: not every channel delivered a picture\n", n);
    }

    decode->stopRun();
    for (Channel *ch : device->channels())
        ch->setVideoOn(false, true);
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::processEvents();
    delete decode;
    host.reset();
    video->setFrameTap(nullptr);
    for (Channel *ch : device->channels())
        video->releaseChannel(ch);
    result.bitstream = tap.frames;
    for (int av : avs)
        avClientStop(av);
    IOTC_Session_Close(sid);
    avDeInitialize();
    IOTC_DeInitialize();
    Dev::instance()->removeDevice(device);
    delete device;
    sim.stop();
    return result;
}

// CPU milliseconds per frame of a bare libavcodec decoder (the client's
// thread settings) over the bitstream, repeated; 0 when the decoder cannot
// be opened (the reason goes to stderr).
double bareDecodeMs(const QList<BitstreamTap::Frame> &frames, AVCodecID id, int repeat)
{
    const AVCodec *codec = avcodec_find_decoder(id);
    int decoded = 0;
    const double cpu0 = cpuSeconds();
    for (int r = 0; r < repeat; ++r) {
        AvCodecContextPtr ctx = makeAvCodecContext(codec);
        AvPacketPtr pkt = makeAvPacket();
        AvFramePtr frame = makeAvFrame();
        if (!ctx || !pkt || !frame)
            return 0;
        ctx->thread_count = 4;
        ctx->thread_type = FF_THREAD_FRAME;
        if (const AvError opened = avcodec_open2(ctx.get(), codec, nullptr); opened.failed()) {
            std::fprintf(stderr, "%s\n", avErrorText("avcodec_open2", opened).c_str());
            return 0;
        }
        for (const auto &f : frames) {
            pkt->data = reinterpret_cast<uint8_t *>(const_cast<char *>(f.data.constData()));
            pkt->size = int(f.data.size());
            if (avcodec_send_packet(ctx.get(), pkt.get()) == 0)
                while (avcodec_receive_frame(ctx.get(), frame.get()) == 0) {
                    ++decoded;
                    av_frame_unref(frame.get());
                }
        }
    }
    return decoded ? (cpuSeconds() - cpu0) * 1000.0 / decoded : 0;
}

// CPU milliseconds per picture of the client's decode step (decoder, copy
// into the hand-over, result event) over the same bitstream.
double clientDecodeMs(const QList<BitstreamTap::Frame> &frames, int repeat)
{
    Video video;
    Device device;
    device.setChannelCount(1);
    Channel *ch = device.channel(0);
    ch->setVideoOn(true, true);
    int decoded = 0;
    QObject::connect(&video, &Video::decodeSuccess, [&] { ++decoded; });
    const double cpu0 = cpuSeconds();
    for (int r = 0; r < repeat; ++r) {
        for (const auto &f : frames) {
            auto *item = new ChannelBufferItem(FrameBufferPool::video());
            std::memcpy(item->data, f.data.constData(), size_t(f.data.size()));
            std::memcpy(item->frameInfo, f.info.constData(), 16);
            item->size = int(f.data.size());
            Video::decodeStep(&video, true, ch, item);
        }
        QCoreApplication::processEvents();
        video.tearDownDecoder(ch, true);
    }
    const double ms = decoded ? (cpuSeconds() - cpu0) * 1000.0 / decoded : 0;
    video.releaseChannel(ch);
    return ms;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QString platform = QGuiApplication::platformName();
    const bool canDraw =
        platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
    const quint16 port = quint16(QRandomGenerator::global()->bounded(40000, 60000));

    std::printf("media pipeline, devsim 640x360 H.264 at %d fps, %d ms per run, platform %s\n",
                SourceFps, MeasureMs, qPrintable(platform));
    std::printf("%-4s %-5s %10s %10s %12s %12s %12s %10s\n", "N", "draw", "fps/ch", "min fps",
                "cpu ms/frm", "delay ms", "delay p95", "RSS MiB/ch");
    QList<BitstreamTap::Frame> bitstream;
    for (int n : {1, 4, 9, 16}) {
        for (bool draw : {false, true}) {
            if (draw && !canDraw)
                continue;
            const RunResult r = runOnce(n, draw, port);
            if (!r.ok) {
                std::printf("%-4d %-5s failed\n", n, draw ? "yes" : "no");
                continue;
            }
            if (bitstream.isEmpty())
                bitstream = r.bitstream;
            std::printf("%-4d %-5s %10.1f %10.1f %12.2f %12.1f %12.1f %10.1f\n", n,
                        draw ? "yes" : "no", r.meanFps, r.minFps, r.cpuMsPerFrame, r.latencyMeanMs,
                        r.latencyP95Ms, r.rssPerChannelMiB);
            std::fflush(stdout);
        }
    }
    if (!canDraw)
        std::printf("(no display: drawing not measured; run under xvfb-run -a)\n");
    std::printf("source rate %d fps per channel; cpu ms/frm is the whole client process\n"
                "(receive, P2P library, decode, hand-over, drawing) per delivered picture\n",
                SourceFps);

    if (!bitstream.isEmpty()) {
        const double bare = bareDecodeMs(bitstream, AV_CODEC_ID_H264, 5);
        const double client = clientDecodeMs(bitstream, 5);
        std::printf("decode alone over %lld recorded frames: libavcodec %.3f ms/frame, "
                    "client decode step %.3f ms/frame (ratio %.2f)\n",
                    qlonglong(bitstream.size()), bare, client, bare > 0 ? client / bare : 0.0);
    }
    return 0;
}
