// Seek benchmark: devsim plays back one recording through the real links,
// decoder and timeline; a press and release on the timeline's minute line at
// a random second of the recording is the click. Two rows, in one run: a P2P
// camera (the device's own playback commands) and an ONVIF camera (recording
// search and RTSP replay with "Range: clock=" seeks). Prints, per row, the
// time from the release to the first decoded picture of that second (p50,
// p95, worst) and how many seeks showed no such picture within 5 s.
//
// Then synchronised playback of N cells of one 16-channel devsim recorder
// (SD 640x360 sub streams): the spread between the cells' shown recording
// times, sampled every 40 ms (p50, p95, worst), at N = 4 and 16; and the
// time from a thumbnail request to its picture.
//
//   xvfb-run -a build/bench/playback/bench_playback [SEEKS] [--sync N[,N...]] [--thumbs]
//
// With --sync or --thumbs only those rows run.

#include "DevsimProcess.h"
#include "SyncRows.h"
#include "TimelineClicks.h"

#include "link/DeviceEvents.h"
#include "link/DeviceLinks.h"
#include "link/IoConnect.h"
#include "link/onvif/OnvifDeviceControl.h"
#include "media/Decode.h"
#include "media/RtspDeviceLink.h"
#include "media/Video.h"
#include "model/Channel.h"
#include "model/Dev.h"
#include "model/Device.h"
#include "playback/PlaybackTimeline.h"
#include "view/ViewControl.h"

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>
#include <QTimeZone>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// Plays ch's recording that starts at start (an hour long) and clicks
// `seeks` random seconds of it; prints the row.
bool measure(const char *row, Channel *ch, PlaybackTimeline &bar, const QDateTime &start, int seeks)
{
    ViewControl *view = ViewControl::instance();
    DeviceLink *link = view->linkOf(ch);
    Dev::instance()->setSelectedChannel(ch);
    view->prepareChannel(ch, true);
    if (!QTest::qWaitFor([&] { return ch->avIndex(true) >= 0; }, 20000)) {
        std::printf("%s: the channel did not open\n", row);
        return false;
    }
    if (!QTest::qWaitFor([&] { return DeviceLinks::has(ch->device(), DeviceLink::Playback); },
                         10000)) {
        std::printf("%s: no playback\n", row);
        return false;
    }
    uint lastTimestamp = 0;
    const QMetaObject::Connection shown =
        QObject::connect(Video::instance(), &Video::decodeSuccess, &bar,
                         [&](Channel *c, bool live, int, int, uint ts) {
                             if (c == ch && !live)
                                 lastTimestamp = ts;
                         });
    view->playReplay(ch, start.toLocalTime(), 0, true, 5);
    if (!QTest::qWaitFor([&] { return lastTimestamp != 0; }, 20000)) {
        std::printf("%s: playback did not start\n", row);
        return false;
    }
    std::vector<double> delays;
    int missed = 0;
    for (int i = 0; i < seeks; ++i) {
        // A second of the recording; the minute window is moved to show it.
        const qint64 target =
            start.toSecsSinceEpoch() + 120 + QRandomGenerator::global()->bounded(3300);
        const int second = QTime(0, 0).secsTo(QDateTime::fromSecsSinceEpoch(target).time());
        const QPoint x = TimelineClicks::pressSecond(&bar, second);
        QElapsedTimer clock;
        TimelineClicks::releaseAt(&bar, x);
        clock.start();
        if (QTest::qWaitFor([&] { return lastTimestamp == uint(target); }, 5000))
            delays.push_back(double(clock.nsecsElapsed()) / 1e6);
        else
            ++missed;
        QTest::qWait(200);
    }
    QObject::disconnect(shown);
    std::sort(delays.begin(), delays.end());
    const auto at = [&](double q) {
        return delays.empty() ? 0.0 : delays[size_t(double(delays.size() - 1) * q)];
    };
    std::printf("%-6s seeks %d  shown %zu  missed %d  p50 %.1f ms  p95 %.1f ms  worst %.1f ms\n",
                row, seeks, delays.size(), missed, at(0.5), at(0.95),
                delays.empty() ? 0.0 : delays.back());
    view->stopChannel(ch);
    link->closeDevice(ch->device());
    return true;
}

Device *addDevice(const QString &uid, DeviceKind kind, const QString &onvifHost)
{
    auto *device = new Device;
    device->setUid(uid);
    device->setChannelCount(1);
    device->setViewAccount(QStringLiteral("admin"));
    device->setViewPassword(QStringLiteral("123456"));
    if (kind == DeviceKind::Rtsp) {
        device->setKind(kind);
        RtspSource rtsp;
        rtsp.onvifHost = onvifHost;
        device->setRtsp(rtsp);
    }
    return Dev::instance()->addOrUpdate(device);
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    int seeks = 20;
    QList<int> syncCells;
    bool thumbs = false;
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--sync") && i + 1 < args.size()) {
            for (const QString &n : args[++i].split(QLatin1Char(',')))
                syncCells.append(qBound(1, n.toInt(), 16));
        } else if (args[i] == QLatin1String("--thumbs")) {
            thumbs = true;
        } else {
            seeks = qBound(1, args[i].toInt(), 1000);
        }
    }
    const bool seekRows = syncCells.isEmpty() && !thumbs;
    if (seekRows) {
        syncCells = {4, 16};
        thumbs = true;
    }
    const quint16 discovery = quint16(QRandomGenerator::global()->bounded(40000, 60000));
    // One recording of an hour, yesterday 10:00 to 11:00 UTC, on each camera.
    const QStringList common = {"--record-days", "2", "--recordings", "10:00-11:00",
                                "--gop",         "1", "--fps",        "25"};
    DevsimProcess p2p, onvif, recorder;
    p2p.setDiscoveryPort(discovery);
    onvif.setDiscoveryPort(discovery);
    recorder.setDiscoveryPort(discovery);
    QRegularExpressionMatch host;
    if (!p2p.start(QStringList{"--uid", "BENCHPB00000000001"} + common) ||
        !onvif.start(QStringList{"--uid", "BENCHPB00000000002", "--onvif", "0", "--wsd-port", "0"} +
                     common) ||
        !onvif.waitForLine(QRegularExpression("^ONVIF \\S+ http://(127.0.0.1:\\d+)/"), 10000,
                           &host)) {
        std::printf("devsim: %s%s\n", qPrintable(p2p.errorText()), qPrintable(onvif.errorText()));
        return 1;
    }
    if (!recorder.start(QStringList{"--uid", "BENCHPB00000000003", "--channels", "16"} + common)) {
        std::printf("devsim: %s\n", qPrintable(recorder.errorText()));
        return 1;
    }
    qputenv("ORVANE_P2P_PEERS",
            (p2p.peersEnv() + QLatin1Char(';') + recorder.peersEnv()).toLatin1());
    qputenv("ORVANE_P2P_DISCOVERY_PORT", QByteArray::number(discovery));

    ViewControl *view = ViewControl::instance();
    Decode decode;
    decode.setModeSource([view] { return view->isLive(); });
    const auto reset = [](Channel *c, bool live, bool restarting) {
        Video::instance()->tearDownDecoder(c, live, restarting);
    };
    IoConnect::instance()->setStreamResetHandler(reset);
    RtspDeviceLink rtsp(nullptr, &decode); // the shared RTSP link, on this decoder
    rtsp.setStreamResetHandler(reset);
    DeviceLinks::install(DeviceKind::Rtsp, &rtsp);
    OnvifDeviceControl control;
    rtsp.setControl(&control);
    view->changeMod(false);

    const QDate day = QDateTime::currentDateTimeUtc().date().addDays(-1);
    const QDateTime start(day, QTime(10, 0), QTimeZone::utc());
    view->setReplayDate(start.toLocalTime().date());
    // The timeline's seeks go to the selected channel's playback.
    PlaybackTimeline bar;
    bar.resize(1200, 80);
    const QDate local = start.toLocalTime().date();
    const qint64 dayStart = QDateTime(local, QTime(0, 0)).toMSecsSinceEpoch();
    bar.setDay(dayStart, QDateTime(local.addDays(1), QTime(0, 0)).toMSecsSinceEpoch() - dayStart);
    QObject::connect(&bar, &PlaybackTimeline::seekRequested, &bar, [view](qint64 ms) {
        view->seekReplay(QDateTime::fromMSecsSinceEpoch(ms).time());
    });
    bar.show();

    for (auto failed : {&DeviceEvents::connectDevFailMsg, &DeviceEvents::connectChannelFailMsg,
                        &DeviceEvents::startReplayFailMsg})
        QObject::connect(
            DeviceLinks::events(), failed, &bar, [](Channel *c, int code, const QString &text) {
                std::printf("%s: %d %s\n", qPrintable(c->device()->uid()), code, qPrintable(text));
            });
    std::printf("playback seek, timeline release to the first picture of the second "
                "(loopback, devsim 640x360 25 fps, 1 s GOP)\n");
    bool ok = true;
    if (seekRows)
        ok =
            measure("P2P", addDevice("BENCHPB00000000001", DeviceKind::P2p, {})->channel(0), bar,
                    start, seeks) &&
            measure("ONVIF",
                    addDevice("BENCHPB00000000002", DeviceKind::Rtsp, host.captured(1))->channel(0),
                    bar, start, seeks);
    // The wall the synchronised cells draw on.
    QWidget wall;
    wall.resize(1280, 720);
    view->attach(&wall);
    wall.show();
    if (ok && !syncCells.isEmpty())
        std::printf("synchronised playback, spread of the cells' shown recording times "
                    "(one devsim recorder, 640x360 25 fps)\n");
    for (int n : syncCells)
        ok = ok && measureSync(n, start, QStringLiteral("BENCHPB00000000003"), 15);
    if (ok && thumbs)
        ok = measureThumbnails(start, QStringLiteral("BENCHPB00000000001"), 40);
    rtsp.setControl(nullptr);
    DeviceLinks::install(DeviceKind::Rtsp, nullptr);
    decode.stopRun();
    return ok ? 0 : 1;
}
