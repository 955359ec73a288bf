// Synchronised playback of the grid's channels: one start for all, the
// group's clock, and what happens to a channel that leads, lags, has nothing
// recorded at the moment, or whose device plays one channel at a time. The
// link is a recorder; the cells' shown recording times are set by the test
// and the clock is injected.

#include "RecordingLink.h"
#include "ViewTestEnv.h"

#include "config/Location.h"
#include "link/DeviceEvents.h"
#include "link/DeviceLinks.h"
#include "view/GlWidgetViewWindow.h"
#include "view/PlaybackSync.h"
#include "view/ViewControl.h"

#include <QtTest>
#include "TestMain.h"

#include <memory>

using namespace Qt::StringLiterals;

namespace {

// 2026-03-02 10:00:00 UTC
constexpr qint64 T0 = 1772445600000;

} // namespace

class tst_PlaybackSync : public QObject
{
    Q_OBJECT

    std::unique_ptr<ViewTestEnv> env;
    std::unique_ptr<QWidget> host;
    std::unique_ptr<PlaybackSync> sync;
    ViewControl *vc = nullptr;
    QStringList calls;
    qint64 wall = 0;
    Device *nvr = nullptr;

    Channel *ch(int i) const { return nvr->channel(i); }
    void show(int i, qint64 ms) { ch(i)->slot(false).shownRecordMs.store(ms); }
    // Advances the injected clock and runs one check.
    void tick(qint64 ms)
    {
        wall += ms;
        QTest::qWait(PlaybackSync::CheckMs + 20);
    }
    QStringList take()
    {
        const QStringList out = calls;
        calls.clear();
        return out;
    }
    // The link reports each channel's playback started.
    void linkStarted()
    {
        for (int i = 0; i < 4; ++i)
            emit DeviceLinks::events()->startReplaySuccessMsg(ch(i));
    }
    // The group plays 4 channels from T0; channels 0..3 showed T0 once.
    void startFour()
    {
        sync->play(T0);
        QCOMPARE(take().filter(u"playReplay"_s).size(), 4);
        linkStarted();
        for (int i = 0; i < 4; ++i)
            show(i, T0);
        tick(0);
    }

private slots:
    void initTestCase()
    {
        env = std::make_unique<ViewTestEnv>();
        Location::instance()->setWindowNum(WINDOW_MOD_4);
        ViewTestEnv::quietLink();
        vc = ViewControl::instance();
        vc->setLink(std::make_unique<RecordingLink>(&calls));
    }

    void init()
    {
        host = std::make_unique<QWidget>();
        host->resize(800, 600);
        host->show();
        QVERIFY(QTest::qWaitForWindowExposed(host.get()));
        vc->setWindowMod(WINDOW_MOD_4);
        vc->attach(host.get());
        vc->changeMod(false);
        nvr = ViewTestEnv::addDevice(u"NVR"_s, 4);
        for (int i = 0; i < 4; ++i)
            vc->openInCell(ch(i), i);
        sync = std::make_unique<PlaybackSync>(vc, Dev::instance());
        wall = 0;
        sync->setTimeSource([this] { return wall; });
        calls.clear();
    }

    void cleanup()
    {
        sync.reset();
        vc->removeWindowsFrom(0);
        vc->changeMod(true);
        ViewTestEnv::flushDeletes();
        host.reset();
        ViewTestEnv::clearDevices();
    }

    void oneStartForEveryCellAndTheClockRunsAtTheSpeed()
    {
        QCOMPARE(sync->channels().size(), 4);
        sync->play(T0);
        const QStringList started = take().filter(u"playReplay"_s);
        QCOMPARE(started.size(), 4);
        for (const QString &line : started)
            QVERIFY2(line.endsWith(QDateTime::fromMSecsSinceEpoch(T0).toString(Qt::ISODate)),
                     qPrintable(line));
        // Before the first picture the clock stands at the start; so it does
        // while the cells still show the stream before the start.
        for (int i = 0; i < 4; ++i)
            show(i, T0 + 600000);
        tick(500);
        QCOMPARE(sync->clockMs(), T0);
        linkStarted();
        for (int i = 0; i < 4; ++i)
            show(i, 0);
        show(2, T0 + 40);
        tick(0);
        QCOMPARE(sync->clockMs(), T0 + 40);
        wall += 1000;
        QCOMPARE(sync->clockMs(), T0 + 1040);
        sync->setSpeed(32);
        QVERIFY(take().filter(u"setReplaySpeed"_s).size() == 4);
        // The clock is anchored again at the first picture after the change.
        show(1, T0 + 1100);
        tick(0);
        wall += 1000;
        QCOMPARE(sync->clockMs(), T0 + 1100 + 4000);
        sync->pause();
        const qint64 paused = sync->clockMs();
        wall += 5000;
        QCOMPARE(sync->clockMs(), paused);
    }

    void aLeaderWaitsAndALaggardSkipsAhead()
    {
        startFour();
        show(0, T0 + 1000);
        show(1, T0 + 1000);
        show(2, T0 + 1000 + PlaybackSync::HoldMs + 200); // leads
        show(3, T0 + 1000 - PlaybackSync::LagMs - 500);  // lags
        tick(1000);
        QStringList c = take();
        QVERIFY2(c.contains(u"pauseReplay NVR/2"_s), qPrintable(c.join('\n')));
        QVERIFY2(c.filter(u"NVR/3"_s).size() == 1 &&
                     (c.filter(u"changeReplayTime NVR/3"_s).size() == 1 ||
                      c.filter(u"stopReplay NVR/3 1"_s).size() == 1),
                 qPrintable(c.join('\n')));
        QCOMPARE(sync->state(ch(2)), PlaybackSync::State::Holding);
        QVERIFY(c.filter(u"NVR/0"_s).isEmpty() && c.filter(u"NVR/1"_s).isEmpty());
        // The leader goes on when the clock reaches its picture.
        tick(300);
        QVERIFY(!take().contains(u"resumeReplay NVR/2"_s));
        tick(PlaybackSync::HoldMs);
        QVERIFY(take().contains(u"resumeReplay NVR/2"_s));
    }

    void aChannelWithoutRecordingHereJoinsLater()
    {
        startFour();
        show(1, T0 + 60000); // it jumped to its next recording
        tick(40);
        QVERIFY(take().contains(u"stopReplay NVR/1 0"_s));
        QCOMPARE(sync->state(ch(1)), PlaybackSync::State::NoRecording);
        QCOMPARE(vc->cellOf(ch(1))->status(), PlaybackSync::noRecordingText());
        tick(59900);
        const QStringList c = take();
        QVERIFY2(c.filter(u"playReplay NVR/1"_s).size() == 1, qPrintable(c.join('\n')));
        QCOMPARE(vc->cellOf(ch(1))->status(), QString());
    }

    void theClockFollowsWhenEveryChannelCrossesAGap()
    {
        startFour();
        for (int i = 0; i < 4; ++i)
            show(i, T0 + 60000);
        tick(40);
        QVERIFY(take().filter(u"stopReplay"_s).isEmpty());
        QVERIFY(qAbs(sync->clockMs() - (T0 + 60000)) <= 40);
        // Nothing recorded at the start moment at all: the clock starts
        // with the earliest recording any channel went on to.
        sync->play(T0);
        take();
        linkStarted();
        for (int i = 0; i < 4; ++i)
            show(i, T0 + 90000 + i * 1000);
        tick(40);
        QCOMPARE(sync->clockMs(), T0 + 90000);
    }

    void aBusyDevicePlaysTheSelectedChannelOnly()
    {
        Dev::instance()->setSelectedChannel(ch(2));
        startFour();
        emit DeviceLinks::events()->replayBusyMsg(ch(3));
        const QStringList c = take();
        for (int i : {0, 1, 3}) {
            QCOMPARE(sync->state(ch(i)), PlaybackSync::State::Busy);
            QCOMPARE(vc->cellOf(ch(i))->status(), PlaybackSync::busyText());
        }
        QVERIFY(sync->state(ch(2)) != PlaybackSync::State::Busy);
        QVERIFY2(c.contains(u"stopReplay NVR/0 0"_s), qPrintable(c.join('\n')));
        Dev::instance()->setSelectedChannel(nullptr);
    }

    void stepsWhilePausedFromTheShownPicture()
    {
        startFour();
        sync->step(1);
        QVERIFY(take().filter(u"stepReplay"_s).isEmpty()); // not paused
        sync->pause();
        QCOMPARE(take().filter(u"pauseReplay"_s).size(), 4);
        sync->step(1);
        QStringList c = take();
        QCOMPARE(c.filter(u"stepReplay"_s).size(), 4);
        QVERIFY(c.contains(u"stepReplay NVR/0 %1"_s.arg(T0 + PlaybackSync::FrameMs)));
        sync->step(-1);
        QVERIFY(take().contains(u"stepReplay NVR/0 %1"_s.arg(T0 - 1)));
    }
};

ORVANE_TEST_MAIN(tst_PlaybackSync)
#include "tst_playbacksync.moc"
