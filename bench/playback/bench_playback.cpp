// Seek benchmark: devsim plays back one recording through the real link,
// decoder and timeline; a press and release on the timeline's minute line at
// a random second of the recording is the click. Prints, over the seeks, the
// time from the release to the first decoded picture of that second (p50,
// p95, worst) and how many seeks showed no such picture within 5 s.
//
//   xvfb-run -a build/bench/playback/bench_playback [SEEKS]

#include "DevsimProcess.h"

#include "link/IoConnect.h"
#include "media/Decode.h"
#include "media/Video.h"
#include "model/Channel.h"
#include "model/Dev.h"
#include "model/Device.h"
#include "playback/ProgressBar.h"
#include "playback/TimeLine.h"
#include "view/ViewControl.h"

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QRandomGenerator>
#include <QTest>
#include <QTimeZone>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

const char *const Uid = "BENCHPB00000000001";

void mouse(QWidget *w, int x, QEvent::Type type)
{
    const QPointF at(x, w->height() / 2);
    QMouseEvent e(type, at, w->mapToGlobal(at), Qt::LeftButton,
                  type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, {});
    QCoreApplication::sendEvent(w, &e);
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const int seeks = argc > 1 ? qBound(1, atoi(argv[1]), 1000) : 20;
    const quint16 discovery = quint16(QRandomGenerator::global()->bounded(40000, 60000));
    DevsimProcess sim;
    sim.setDiscoveryPort(discovery);
    // One recording of an hour, yesterday 10:00 to 11:00 UTC.
    if (!sim.start({"--uid", Uid, "--record-days", "2", "--recordings", "10:00-11:00", "--gop", "1",
                    "--fps", "25"})) {
        std::printf("devsim: %s\n", qPrintable(sim.errorText()));
        return 1;
    }
    qputenv("ORVANE_P2P_PEERS", sim.peersEnv().toLatin1());
    qputenv("ORVANE_P2P_DISCOVERY_PORT", QByteArray::number(discovery));

    auto *device = new Device;
    device->setUid(QString::fromLatin1(Uid));
    device->setChannelCount(1);
    device->setViewAccount(QStringLiteral("admin"));
    device->setViewPassword(QStringLiteral("123456"));
    device = Dev::instance()->addOrUpdate(device);
    Channel *ch = device->channel(0);
    IoConnect *io = IoConnect::instance();
    ViewControl *view = ViewControl::instance();
    Decode decode;
    decode.setModeSource([view] { return view->isLive(); });
    io->setStreamResetHandler([](Channel *c, bool live, bool restarting) {
        Video::instance()->tearDownDecoder(c, live, restarting);
    });
    view->changeMod(false);
    Dev::instance()->setSelectedChannel(ch);

    ProgressBar bar;
    bar.resize(1200, 56);
    bar.show();
    const QDate day = QDateTime::currentDateTimeUtc().date().addDays(-1);
    const QDateTime start(day, QTime(10, 0), QTimeZone::utc());
    view->setReplayDate(start.toLocalTime().date());

    io->connectChannel(ch);
    io->startChannel(ch);
    if (!QTest::qWaitFor([&] { return ch->avIndex(true) >= 0; }, 20000)) {
        std::printf("the channel did not open\n");
        return 1;
    }
    view->playReplay(ch, start.toLocalTime(), 0, true, 5);
    uint lastTimestamp = 0;
    QObject::connect(Video::instance(), &Video::decodeSuccess, &bar,
                     [&](Channel *c, bool live, int, int, uint ts) {
                         if (c == ch && !live)
                             lastTimestamp = ts;
                     });
    if (!QTest::qWaitFor([&] { return lastTimestamp != 0; }, 20000)) {
        std::printf("playback did not start\n");
        return 1;
    }

    std::vector<double> delays;
    int missed = 0;
    for (int i = 0; i < seeks; ++i) {
        // A second of the recording; the minute window is moved to show it.
        const qint64 target =
            start.toSecsSinceEpoch() + 120 + QRandomGenerator::global()->bounded(3300);
        const int second = QTime(0, 0).secsTo(QDateTime::fromSecsSinceEpoch(target).time());
        const int w = bar.hourLine()->width();
        mouse(bar.hourLine(), int(qint64(second) * w / 86400) + 1, QEvent::MouseButtonPress);
        mouse(bar.hourLine(), 0, QEvent::MouseButtonRelease);
        const int x = second - bar.windowStart();
        mouse(bar.minuteLine(), x, QEvent::MouseButtonPress);
        QElapsedTimer clock;
        mouse(bar.minuteLine(), x, QEvent::MouseButtonRelease);
        clock.start();
        if (QTest::qWaitFor([&] { return lastTimestamp == uint(target); }, 5000))
            delays.push_back(double(clock.nsecsElapsed()) / 1e6);
        else
            ++missed;
        QTest::qWait(200);
    }
    std::sort(delays.begin(), delays.end());
    const auto at = [&](double q) {
        return delays.empty() ? 0.0 : delays[size_t(double(delays.size() - 1) * q)];
    };
    std::printf("playback seek, timeline release to the first picture of the second "
                "(loopback, devsim 640x360 25 fps, 1 s GOP)\n");
    std::printf("seeks %d  shown %zu  missed %d  p50 %.1f ms  p95 %.1f ms  worst %.1f ms\n", seeks,
                delays.size(), missed, at(0.5), at(0.95), delays.empty() ? 0.0 : delays.back());
    view->stopChannel(ch);
    io->closeDevice(device);
    decode.stopRun();
    return 0;
}
