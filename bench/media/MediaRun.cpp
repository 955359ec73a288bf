#include "MediaRun.h"

#include "ProcessStats.h"

#include "DevsimProcess.h"

#include "link/ChannelBufferItem.h"
#include "media/Decode.h"
#include "media/PictureExchange.h"
#include "media/Video.h"
#include "media/VideoFrameTap.h"
#include "model/Channel.h"
#include "model/Dev.h"
#include "model/Device.h"
#include "view/GlWidgetViewWindow.h"

#include <p2p/p2p.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMutex>
#include <QThreadPool>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

namespace {

const char *const Account = "admin";
const char *const Password = "bench-pw";
constexpr int PoolDrainMs = 10000;

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

void runEventsFor(int ms)
{
    waitUntil([] { return false; }, ms);
}

// Value at fraction q (0..1) of sorted values, nearest rank; 0 when empty.
double percentile(const std::vector<double> &sorted, double q)
{
    if (sorted.empty())
        return 0;
    const auto rank = size_t(std::ceil(q * double(sorted.size())));
    return sorted[std::min(sorted.size() - 1, rank > 0 ? rank - 1 : 0)];
}

// Keeps a copy of the first frames of one channel, from its first key frame
// on. Called on pool threads under Video's decode lock.
class BitstreamTap : public VideoFrameTap
{
public:
    explicit BitstreamTap(Channel *channel)
        : m_channel(channel)
    {}

    void videoFrame(Channel *channel, bool, const ChannelBufferItem &item) override
    {
        if (channel != m_channel || item.size <= 0)
            return;
        QMutexLocker lock(&m_lock);
        const bool key = (item.flags() & 0x01) != 0;
        if (m_frames.size() >= MediaRun::MaxRecordedFrames || (m_frames.isEmpty() && !key))
            return;
        m_frames.append(QByteArray(reinterpret_cast<const char *>(item.data), item.size));
    }

    // Any thread.
    QList<QByteArray> frames()
    {
        QMutexLocker lock(&m_lock);
        return m_frames;
    }

private:
    Channel *const m_channel;
    QMutex m_lock;
    QList<QByteArray> m_frames;
};

// The P2P library's client side of one run: the library, a session to the
// device and its AV channels, all closed again by the destructor.
class ClientLink
{
public:
    ClientLink() = default;
    ClientLink(const ClientLink &) = delete;
    ClientLink &operator=(const ClientLink &) = delete;
    ~ClientLink()
    {
        for (int av : m_avs)
            avClientStop(av);
        if (m_session >= 0)
            IOTC_Session_Close(m_session);
        if (m_avStarted)
            avDeInitialize();
        if (m_iotcStarted)
            IOTC_DeInitialize();
    }

    bool connect(const QString &uid, QString *error)
    {
        m_iotcStarted = IOTC_Initialize2(0) == 0;
        m_avStarted = m_iotcStarted && avInitialize(4096) >= 0;
        if (!m_avStarted) {
            *error = QStringLiteral("the P2P library did not start");
            return false;
        }
        const int sid = IOTC_Get_SessionID();
        const int connected =
            sid < 0 ? sid : IOTC_Connect_ByUID_Parallel(uid.toLatin1().constData(), sid);
        if (connected < 0) {
            *error = QStringLiteral("connect failed: %1").arg(connected);
            return false;
        }
        m_session = connected;
        return true;
    }

    // Opens the AV channel of camera channel `channel`: its index, or -1 and *error.
    int openChannel(int channel, QString *error)
    {
        unsigned int serviceType = 0;
        int resend = 0;
        const int av = avClientStart2(m_session, Account, Password, 5, &serviceType,
                                      uint8_t(channel), &resend);
        if (av < 0) {
            *error = QStringLiteral("avClientStart2(%1): %2").arg(channel).arg(av);
            return -1;
        }
        m_avs.push_back(av);
        return av;
    }

    // Asks the device for the channel's live video on AV channel av.
    static void startVideo(int av, int channel)
    {
        const char prepare[2] = {0, 0};
        avSendIOCtrl(av, 0x00FF, prepare, 2);
        const char start[8] = {char(channel), 0, 0, 0, 0, 0, 0, 0};
        avSendIOCtrl(av, 0x01FF, start, 8);
    }

    int session() const { return m_session; }

private:
    bool m_iotcStarted = false;
    bool m_avStarted = false;
    int m_session = -1;
    std::vector<int> m_avs;
};

// The client side above the link: the device record, the Decode poll, the
// bitstream tap and, when drawing, one view cell per channel; counts the
// pictures per channel and samples their delay. finish() (or the
// destructor) takes it all down again.
class ClientView
{
public:
    ClientView(const QString &uid, int channels)
        : m_video(Video::instance())
        , m_counts(size_t(channels), 0)
    {
        auto *device = new Device;
        device->setUid(uid);
        device->setChannelCount(channels);
        m_device = Dev::instance()->addOrUpdate(device);
        m_tap = std::make_unique<BitstreamTap>(m_device->channel(0));
        m_video->setFrameTap(m_tap.get());
        m_decode = std::make_unique<Decode>(m_video);
        QObject::connect(m_video, &Video::decodeSuccess, m_decode.get(),
                         [this](Channel *ch, bool live) { pictureReady(ch, live); });
    }
    ClientView(const ClientView &) = delete;
    ClientView &operator=(const ClientView &) = delete;
    ~ClientView() { finish(); }

    void watch(int channel, int av)
    {
        Channel *ch = m_device->channel(channel);
        ch->setAvIndex(av, true);
        ch->setWaitKeyFrame(true, true);
        ch->setVideoOn(true, true);
    }

    void setSession(int session) { m_device->setSessionId(session); }

    void showCells()
    {
        constexpr int W = 640;
        constexpr int H = 360;
        m_host = std::make_unique<QWidget>();
        m_host->resize(W, H);
        const int n = int(m_counts.size());
        const int side = int(std::ceil(std::sqrt(double(n))));
        for (int c = 0; c < n; ++c) {
            auto *cell = new GlWidgetViewWindow(m_host.get());
            cell->place(W / side - 2, H / side - 2, (c % side) * W / side + 1,
                        (c / side) * H / side + 1);
            cell->setChannel(m_device, m_device->channel(c));
        }
        m_host->show();
    }

    // Starts a measuring window: counts and delays from now on.
    void startWindow()
    {
        std::fill(m_counts.begin(), m_counts.end(), 0);
        m_delays.clear();
        m_measuring = true;
    }
    void endWindow() { m_measuring = false; }

    const std::vector<int> &counts() const { return m_counts; }
    int channelsStarted() const
    {
        return int(std::count_if(m_counts.begin(), m_counts.end(), [](int c) { return c > 0; }));
    }
    std::vector<double> &delays() { return m_delays; }
    quint64 droppedFrames() const { return m_video->droppedFrames(); }

    // Stops the streams and takes the client side down.
    void finish()
    {
        if (!m_device)
            return;
        m_decode->stopRun();
        for (Channel *ch : m_device->channels())
            ch->setVideoOn(false, true);
        QThreadPool::globalInstance()->waitForDone(PoolDrainMs);
        QCoreApplication::processEvents();
        m_decode.reset();
        m_host.reset();
        m_video->setFrameTap(nullptr);
        for (Channel *ch : m_device->channels())
            m_video->releaseChannel(ch);
        Dev::instance()->removeDevice(m_device);
        delete m_device;
        m_device = nullptr;
    }

    // Channel 0's recorded frames; complete once finish() ran.
    QList<QByteArray> bitstream() { return m_tap->frames(); }

private:
    void pictureReady(Channel *ch, bool live)
    {
        if (ch->device() != m_device)
            return;
        ++m_counts[size_t(ch->index())];
        if (!m_measuring)
            return;
        m_video->pictures(ch, live)->withFront([this](const PictureExchange::Picture &p) {
            const auto now = uint32_t(QDateTime::currentMSecsSinceEpoch() & 0xFFFFFFFF);
            m_delays.push_back(double(int32_t(now - p.tag)));
        });
    }

    Video *m_video;
    Device *m_device = nullptr; // registered with Dev while the view lives
    std::unique_ptr<BitstreamTap> m_tap;
    std::unique_ptr<Decode> m_decode;
    std::unique_ptr<QWidget> m_host;
    std::vector<int> m_counts; // pictures per channel (GUI thread)
    std::vector<double> m_delays;
    bool m_measuring = false;
};

} // namespace

MediaRun::MediaRun(const RunSpec &spec, quint16 discoveryPort)
    : m_spec(spec)
    , m_discoveryPort(discoveryPort)
{}

void MediaRun::warmUpDrawing()
{
    QWidget host;
    host.resize(640, 360);
    auto *cell = new GlWidgetViewWindow(&host);
    cell->place(638, 358, 1, 1);
    host.show();
    runEventsFor(500);
}

RunResult MediaRun::run(bool recordBitstream)
{
    RunResult result;
    result.spec = m_spec;
    const int n = m_spec.channels;
    const QString uid = QStringLiteral("BENCH%1N%2%3")
                            .arg(m_spec.size.height())
                            .arg(n)
                            .arg(m_spec.draw ? QLatin1Char('D') : QLatin1Char('N'));
    const QString size = QStringLiteral("%1x%2").arg(m_spec.size.width()).arg(m_spec.size.height());

    DevsimProcess sim; // stopped by its destructor on every way out
    sim.setDiscoveryPort(m_discoveryPort);
    if (!sim.start({"--uid", uid, "--account", Account, "--password", Password, "--channels",
                    QString::number(n), "--fps", QString::number(SourceFps), "--sd", size,
                    "--pattern", "moving", "--shared-stream"})) {
        result.error = QStringLiteral("devsim: ") + sim.errorText();
        return result;
    }
    qputenv(P2P_ENV_PEERS, sim.peersEnv().toLatin1());
    qputenv(P2P_ENV_DISCOVERY_PORT, QByteArray::number(m_discoveryPort));

    ClientLink link;
    if (!link.connect(uid, &result.error))
        return result;
    ProcessStats::trimHeap();
    const double rssBefore = ProcessStats::residentMiB();

    ClientView view(uid, n);
    for (int c = 0; c < n; ++c) {
        const int av = link.openChannel(c, &result.error);
        if (av < 0)
            return result;
        view.watch(c, av);
        ClientLink::startVideo(av, c);
    }
    view.setSession(link.session());
    if (m_spec.draw)
        view.showCells();

    waitUntil([&] { return view.channelsStarted() == n; }, StartTimeoutMs);
    result.channelsStarted = view.channelsStarted();
    if (result.channelsStarted == 0) {
        result.error = QStringLiteral("no picture within %1 s").arg(StartTimeoutMs / 1000);
        return result;
    }
    if (result.channelsStarted < n) {
        std::fprintf(stderr, "%s N=%d: only %d channels delivered a picture within %d s\n",
                     qPrintable(size), n, result.channelsStarted, StartTimeoutMs / 1000);
    }

    runEventsFor(SettleMs);
    const qint64 devsimPid = sim.process().processId();
    view.startWindow();
    const quint64 dropped0 = view.droppedFrames();
    const double devsimCpu0 = ProcessStats::cpuSecondsOf(devsimPid);
    const double cpu0 = ProcessStats::cpuSeconds();
    QElapsedTimer window;
    window.start();
    runEventsFor(MeasureMs);
    const double seconds = double(window.nsecsElapsed()) / 1e9;
    const double cpu = ProcessStats::cpuSeconds() - cpu0;
    const double devsimCpu1 = ProcessStats::cpuSecondsOf(devsimPid);
    const double rssAfter = ProcessStats::residentMiB();
    result.dropped = qint64(view.droppedFrames() - dropped0);
    view.endWindow();

    int total = 0;
    double minFps = 1e9;
    for (int c : view.counts()) {
        total += c;
        minFps = std::min(minFps, c / seconds);
    }
    std::vector<double> &delays = view.delays();
    std::sort(delays.begin(), delays.end());
    result.ok = true;
    result.fpsMean = total / seconds / n;
    result.fpsMin = minFps;
    result.cpuMsPerFrame = total ? cpu * 1000.0 / total : 0;
    result.delayP50Ms = percentile(delays, 0.50);
    result.delayP95Ms = percentile(delays, 0.95);
    result.rssMiBPerChannel = (rssAfter - rssBefore) / n;
    if (devsimCpu0 >= 0 && devsimCpu1 >= 0)
        result.devsimCpuPercent = (devsimCpu1 - devsimCpu0) / seconds * 100.0;

    view.finish();
    if (recordBitstream)
        result.bitstream = view.bitstream();
    return result;
}
