// Playback of four channels of one devsim recorder on one timeline, through
// the real main window, in UTC. Recordings yesterday 01:00-01:30 (motion
// 01:10-01:12) and 03:00-04:00, a key frame every second at 25 fps. The
// grid's four cells start and seek together; every speed runs at its rate,
// backward too; frame steps while paused; the timeline zooms around the
// pointer, shows a thumbnail on hover and jumps to the next motion.

#include "DevsimProcess.h"
#include "E2eClient.h"
#include "TimelineClicks.h"

#include "app/MainWindow.h"
#include "app/WidgetBtnLive.h"
#include "link/DeviceLink.h"
#include "model/Channel.h"
#include "model/Dev.h"
#include "model/Device.h"
#include "playback/PlaybackButtons.h"
#include "playback/TimelinePanel.h"
#include "view/GlWidgetViewWindow.h"
#include "view/PlaybackSync.h"
#include "view/ViewControl.h"
#include "view/WallSurface.h"

#include <QComboBox>
#include <QDir>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>
#include "TestMain.h"

namespace {

const QString Uid = QStringLiteral("E2EPBSYNC000000001");
const QString OneAtATime = QStringLiteral("E2EPBSYNC000000002"); // plays one channel at a time
constexpr int Cells = 4;
constexpr qint64 Gop = 1000; // --gop 1
constexpr qint64 Frame = 40; // --fps 25

} // namespace

class tst_E2ePlaybackSync : public QObject
{
    Q_OBJECT

    QTemporaryDir settingsDir;
    DevsimProcess sim;
    DevsimProcess single;
    E2eClient client;
    MainWindow *window = nullptr;
    Device *nvr = nullptr;
    QDate yesterday;

    qint64 at(int h, int m, int s) const
    {
        return QDateTime(yesterday, QTime(h, m, s), QTimeZone::utc()).toMSecsSinceEpoch();
    }
    qint64 shown(int i) const { return nvr->channel(i)->slot(false).shownRecordMs.load(); }
    // The cells' shown recording times: lowest and highest.
    std::pair<qint64, qint64> span() const
    {
        qint64 lo = shown(0), hi = shown(0);
        for (int i = 1; i < Cells; ++i) {
            lo = qMin(lo, shown(i));
            hi = qMax(hi, shown(i));
        }
        return {lo, hi};
    }
    // Every cell shows a moment in [from, to), all within one GOP.
    bool together(qint64 from, qint64 to) const
    {
        const auto [lo, hi] = span();
        return lo >= from && hi < to && hi - lo <= Gop;
    }
    PlaybackTimeline *timeline() const { return window->timelinePanel()->timeline(); }
    template <class T> T *child(const char *name)
    {
        return window->findChild<T *>(QLatin1String(name));
    }
    void saveArtifact(const QString &name, QWidget *w)
    {
        const QString dir = qEnvironmentVariable("ORVANE_TEST_ARTIFACTS");
        if (!dir.isEmpty() && QDir().mkpath(dir))
            WallSurface::grab(w).save(QDir(dir).filePath(name));
    }
    void setSpeed(int eighths)
    {
        QComboBox *box = window->timelinePanel()->speedBox();
        const int i = box->findData(eighths);
        QVERIFY(i >= 0);
        box->setCurrentIndex(i);
        emit box->activated(i);
    }

private slots:
    void initTestCase()
    {
        QCOMPARE(QTimeZone::systemTimeZone().offsetFromUtc(QDateTime::currentDateTime()), 0);
        QVERIFY(settingsDir.isValid());
        E2eClient::useSettings(settingsDir.path());
        const quint16 discovery = DevsimProcess::anyDiscoveryPort();
        sim.setDiscoveryPort(discovery);
        QVERIFY2(sim.start({"--uid", Uid, "--password", "pb", "--channels", "4", "--record-days",
                            "3", "--gop", "1", "--fps", "25", "--recordings",
                            "01:00-01:30,03:00-04:00", "--motion", "01:10-01:12"}),
                 qPrintable(sim.errorText()));
        single.setDiscoveryPort(discovery);
        QVERIFY2(single.start({"--uid", OneAtATime, "--password", "pb", "--channels", "2",
                               "--record-days", "3", "--gop", "1", "--recordings", "01:00-01:30",
                               "--playback-channels", "1"}),
                 qPrintable(single.errorText()));
        DevsimProcess::pointClientAt({&sim, &single}, discovery);
        QVERIFY(E2eClient::registerDevice(Uid, QStringLiteral("pb"), Cells));
        QVERIFY(E2eClient::registerDevice(OneAtATime, QStringLiteral("pb"), 2));
        window = client.show();
        QVERIFY(QTest::qWaitForWindowExposed(client.host.get()));
        QTRY_VERIFY_WITH_TIMEOUT(Dev::instance()->deviceByUid(Uid), 10000);
        nvr = Dev::instance()->deviceByUid(Uid);
        yesterday = QDateTime::currentDateTimeUtc().date().addDays(-1);
    }

    void cleanupTestCase()
    {
        PlaybackSync::instance()->stop();
        delete window;
        client.host.reset();
        sim.stop();
        single.stop();
    }

    void fourCellsStartAndSeekTogether()
    {
        QTest::mouseClick(child<WidgetBtnLive>("widget_btn_playback"), Qt::LeftButton);
        ViewControl *view = ViewControl::instance();
        QVERIFY(!view->isLive());
        view->setReplayDate(yesterday);
        // The recorder's four channels in the grid, the first selected.
        for (int i = 0; i < Cells; ++i) {
            Channel *ch = nvr->channel(i);
            view->prepareChannel(ch, true);
            ch->setViewRequested(true, false);
            view->showChannel(ch);
        }
        Dev::instance()->setSelectedChannel(nvr->channel(0));
        QTRY_COMPARE_WITH_TIMEOUT(window->timelinePanel()->laneChannels().size(), Cells, 20000);
        QTRY_VERIFY_WITH_TIMEOUT(!timeline()->lanes().value(0).spans.isEmpty(), 20000);

        TimelineClicks::clickSecond(timeline(), 3600 + 60); // 01:01:00
        QTest::mouseClick(child<PlayBtn>("label_icon_play"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(together(at(1, 1, 0), at(1, 1, 10)), 30000);
        QTest::qWait(1500);
        QVERIFY2(span().second - span().first <= Gop,
                 qPrintable(QString::number(span().second - span().first)));
        saveArtifact(QStringLiteral("playback-sync.png"), window);

        TimelineClicks::clickSecond(timeline(), 3600 + 20 * 60); // a seek of all four
        QTRY_VERIFY_WITH_TIMEOUT(together(at(1, 20, 0), at(1, 20, 10)), 20000);
    }

    void everySpeedRunsAtItsRate_data()
    {
        QTest::addColumn<int>("eighths");
        for (int s : {1, 4, 16, 64, 128, -8, -32})
            QTest::newRow(qPrintable(TimelinePanel::speedText(s))) << s;
    }

    void everySpeedRunsAtItsRate()
    {
        QFETCH(int, eighths);
        TimelineClicks::clickSecond(timeline(), 3 * 3600 + 30 * 60); // 03:30:00, inside an hour
        QTRY_VERIFY_WITH_TIMEOUT(together(at(3, 30, 0), at(3, 30, 10)), 20000);
        setSpeed(eighths);
        QTRY_COMPARE_WITH_TIMEOUT(PlaybackSync::instance()->speed(), eighths, 5000);
        QTest::qWait(1500); // the new speed's first pictures
        const qint64 from = shown(0);
        QElapsedTimer wall;
        wall.start();
        QTest::qWait(4000);
        const double rate = double(shown(0) - from) / double(wall.elapsed()) * 8.0;
        qInfo("speed %s: %.2f recording seconds per second",
              qPrintable(TimelinePanel::speedText(eighths)), rate / 8.0);
        // Wide margins: the sanitizer builds decode slowly.
        QVERIFY2(rate * eighths > 0 && qAbs(rate) >= qAbs(eighths) * 0.5 &&
                     qAbs(rate) <= qAbs(eighths) * 1.6,
                 qPrintable(QString::number(rate / 8.0)));
        const auto [lo, hi] = span();
        QVERIFY2(hi - lo <= Gop * qMax(1, qAbs(eighths) / 8), qPrintable(QString::number(hi - lo)));
        setSpeed(8);
        QTRY_COMPARE_WITH_TIMEOUT(PlaybackSync::instance()->speed(), 8, 5000);
    }

    void framesStepWhilePaused()
    {
        TimelineClicks::clickSecond(timeline(), 3 * 3600 + 10 * 60);
        QTRY_VERIFY_WITH_TIMEOUT(together(at(3, 10, 0), at(3, 10, 10)), 20000);
        QTest::mouseClick(child<PauseBtn>("label_icon_pause"), Qt::LeftButton);
        QVERIFY(PlaybackSync::instance()->isPaused());
        QTest::qWait(500);
        const qint64 before = shown(0);
        auto *forward = child<QToolButton>("button_stepForward");
        auto *back = child<QToolButton>("button_stepBack");
        QVERIFY(forward && back && forward->isEnabled());
        forward->click();
        QTRY_COMPARE_WITH_TIMEOUT(shown(0), before + Frame, 5000);
        back->click();
        QTRY_COMPARE_WITH_TIMEOUT(shown(0), before, 5000);
        back->click();
        QTRY_COMPARE_WITH_TIMEOUT(shown(0), before - Frame, 5000);
        for (int i = 1; i < Cells; ++i)
            QTRY_COMPARE_WITH_TIMEOUT(shown(i), before - Frame, 5000);
        QTest::mouseClick(child<PauseBtn>("label_icon_pause"), Qt::LeftButton);
        QVERIFY(!PlaybackSync::instance()->isPaused());
    }

    void timelineZoomsAroundThePointerAndShowsThumbnails()
    {
        PlaybackTimeline *t = timeline();
        t->showWindow(t->scale().dayStartMs(), t->scale().dayLengthMs());
        const QPoint pointer(t->xOf(at(1, 15, 0)), t->laneRect(0).center().y());
        const int left = t->detailRect().x(); // the lane names' margin
        const qint64 under = t->scale().msAt(pointer.x() - left);
        for (int i = 0; i < 10; ++i) {
            QWheelEvent wheel(pointer, t->mapToGlobal(pointer), {}, QPoint(0, 120), Qt::NoButton,
                              {}, Qt::NoScrollPhase, false);
            QCoreApplication::sendEvent(t, &wheel);
        }
        QVERIFY(t->scale().lengthMs() < t->scale().dayLengthMs() / 4);
        QVERIFY(qAbs(t->scale().xOf(under) + left - pointer.x()) <= 1);
        // Hovering a recorded moment shows it and its key frame's picture.
        QMouseEvent move(QEvent::MouseMove, QPointF(pointer), t->mapToGlobal(QPointF(pointer)),
                         Qt::NoButton, Qt::NoButton, {});
        QCoreApplication::sendEvent(t, &move);
        QTRY_VERIFY_WITH_TIMEOUT(t->isHoverShown(), 5000);
        QTRY_VERIFY2_WITH_TIMEOUT(!t->hoverImage().isNull(), qPrintable(t->hoverText()), 5000);
        QVERIFY(t->hoverText().contains(QStringLiteral("1:1")));
        saveArtifact(QStringLiteral("timeline-zoom.png"), window->timelinePanel());
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(t, &leave);
    }

    void nextEventJumpsToTheMotion()
    {
        TimelineClicks::clickSecond(timeline(), 3600 + 5 * 60); // 01:05:00
        QTRY_VERIFY_WITH_TIMEOUT(together(at(1, 5, 0), at(1, 5, 10)), 20000);
        auto *next = child<QToolButton>("button_nextEvent");
        QVERIFY(next);
        QTRY_VERIFY(next->isEnabled());
        next->click();
        QCOMPARE(timeline()->cursor(), at(1, 10, 0));
        QTRY_VERIFY_WITH_TIMEOUT(together(at(1, 10, 0), at(1, 10, 10)), 20000);
    }

    void aDeviceThatPlaysOneChannelPlaysTheSelectedOne()
    {
        ViewControl *view = ViewControl::instance();
        PlaybackSync::instance()->stop();
        for (int i = 0; i < Cells; ++i) {
            nvr->channel(i)->setViewRequested(false, false);
            view->releaseWindow(nvr->channel(i));
        }
        Device *one = Dev::instance()->deviceByUid(OneAtATime);
        QVERIFY(one);
        for (int i = 0; i < 2; ++i) {
            view->prepareChannel(one->channel(i), true);
            one->channel(i)->setViewRequested(true, false);
            view->showChannel(one->channel(i));
        }
        QTRY_VERIFY_WITH_TIMEOUT(
            one->channel(0)->avIndex(true) >= 0 && one->channel(1)->avIndex(true) >= 0, 20000);
        Dev::instance()->setSelectedChannel(one->channel(1));
        TimelineClicks::clickSecond(timeline(), 3600 + 60);
        QTest::mouseClick(child<PlayBtn>("label_icon_play"), Qt::LeftButton);
        const auto shownOf = [&](int i) {
            return one->channel(i)->slot(false).shownRecordMs.load();
        };
        QTRY_VERIFY_WITH_TIMEOUT(shownOf(1) >= at(1, 1, 0), 20000);
        QTRY_COMPARE_WITH_TIMEOUT(view->cellOf(one->channel(0))->status(), PlaybackSync::busyText(),
                                  10000);
        QCOMPARE(PlaybackSync::instance()->state(one->channel(0)), PlaybackSync::State::Busy);
        QVERIFY(view->cellOf(one->channel(1))->status().isEmpty());
    }
};

ORVANE_TEST_MAIN(tst_E2ePlaybackSync)
#include "tst_e2e_playback_sync.moc"
