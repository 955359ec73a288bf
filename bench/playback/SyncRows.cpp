// The synchronised-playback and thumbnail rows of bench_playback.

#include "SyncRows.h"

#include "DevsimProcess.h"

#include "link/DeviceLink.h"
#include "link/DeviceLinks.h"
#include "model/Channel.h"
#include "model/Dev.h"
#include "model/Device.h"
#include "view/GlWidgetViewWindow.h"
#include "view/PlaybackSync.h"
#include "view/ViewControl.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTest>
#include <QWidget>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

double quantile(std::vector<double> v, double q)
{
    if (v.empty())
        return 0.0;
    std::sort(v.begin(), v.end());
    return v[size_t(double(v.size() - 1) * q)];
}

Device *recorder(const QString &uid, int channels)
{
    auto *device = new Device;
    device->setUid(uid);
    device->setChannelCount(channels);
    device->setViewAccount(QStringLiteral("admin"));
    device->setViewPassword(QStringLiteral("123456"));
    return Dev::instance()->addOrUpdate(device);
}

// Opens the first n channels of d in the grid's first n cells (playback).
bool openChannels(Device *d, int n)
{
    ViewControl *view = ViewControl::instance();
    for (int i = 0; i < n; ++i) {
        Channel *ch = d->channel(i);
        view->prepareChannel(ch, true);
        ch->setViewRequested(true, false);
        view->showChannel(ch);
    }
    return QTest::qWaitFor(
        [&] {
            for (int i = 0; i < n; ++i)
                if (d->channel(i)->avIndex(true) < 0)
                    return false;
            return true;
        },
        30000);
}

} // namespace

bool measureSync(int n, const QDateTime &start, const QString &uid, int seconds)
{
    ViewControl *view = ViewControl::instance();
    view->setWindowMod(n <= 1 ? WINDOW_MOD_1 : n <= 4 ? WINDOW_MOD_4 : WINDOW_MOD_16);
    Device *d = recorder(uid, n);
    if (!openChannels(d, n)) {
        std::printf("sync %d: the channels did not open\n", n);
        return false;
    }
    PlaybackSync *sync = PlaybackSync::instance();
    sync->play(start.toMSecsSinceEpoch() + 60000);
    const auto allShown = [&] {
        for (int i = 0; i < n; ++i)
            if (d->channel(i)->slot(false).shownRecordMs.load() <= 0)
                return false;
        return true;
    };
    if (!QTest::qWaitFor(allShown, 30000)) {
        std::printf("sync %d: not every cell showed a picture\n", n);
        return false;
    }
    QTest::qWait(2000); // the group settles
    std::vector<double> spreads;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < seconds * 1000) {
        qint64 lo = 0, hi = 0;
        for (int i = 0; i < n; ++i) {
            const qint64 t = d->channel(i)->slot(false).shownRecordMs.load();
            lo = i == 0 ? t : qMin(lo, t);
            hi = i == 0 ? t : qMax(hi, t);
        }
        spreads.push_back(double(hi - lo));
        QTest::qWait(40);
    }
    std::printf("sync %-2d cells  samples %zu  spread p50 %.0f ms  p95 %.0f ms  worst %.0f ms\n", n,
                spreads.size(), quantile(spreads, 0.5), quantile(spreads, 0.95),
                quantile(spreads, 1.0));
    sync->stop();
    view->linkOf(d)->closeDevice(d);
    for (int i = 0; i < n; ++i)
        view->releaseWindow(d->channel(i));
    return true;
}

bool measureThumbnails(const QDateTime &start, const QString &uid, int count)
{
    ViewControl *view = ViewControl::instance();
    Device *d = recorder(uid, 1);
    Channel *ch = d->channel(0);
    view->prepareChannel(ch, true);
    DeviceLink *link = view->linkOf(ch);
    if (!QTest::qWaitFor([&] { return ch->avIndex(true) >= 0; }, 20000))
        return false;
    link->queryReplayCaps(ch);
    if (!QTest::qWaitFor([&] { return link->replayCaps(ch) >= 0; }, 5000) ||
        !(link->replayCaps(ch) & DeviceLink::ReplayThumbnails)) {
        std::printf("thumbnails: the device offers none\n");
        return false;
    }
    std::vector<double> delays;
    int failed = 0;
    for (int i = 0; i < count; ++i) {
        const qint64 at =
            start.toMSecsSinceEpoch() + QRandomGenerator::global()->bounded(3600) * 1000;
        bool done = false;
        QElapsedTimer t;
        t.start();
        const bool asked = link->requestThumbnail(ch, at, 160, [&](const QImage &image, qint64) {
            done = true;
            if (image.isNull())
                ++failed;
            else
                delays.push_back(double(t.nsecsElapsed()) / 1e6);
        });
        if (!asked || !QTest::qWaitFor([&] { return done; }, 5000))
            ++failed;
    }
    std::printf("thumbnails  %d asked  failed %d  p50 %.1f ms  p95 %.1f ms  worst %.1f ms\n", count,
                failed, quantile(delays, 0.5), quantile(delays, 0.95), quantile(delays, 1.0));
    link->closeDevice(d);
    return failed == 0;
}
