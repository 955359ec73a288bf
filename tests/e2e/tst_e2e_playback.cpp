// Remote playback end to end, in UTC: the real main window against a devsim
// camera with recordings yesterday at 01:00-01:30, 02:00-02:00:05 and
// 03:00-04:00. Switch to playback, pick yesterday in the calendar, see the
// day's bars, play, click into a recording, play across a gap, fast
// forward, and the full-screen grid.

#include "DevsimProcess.h"
#include "TimelineClicks.h"
#include "E2eClient.h"

#include "app/MainWindow.h"
#include "app/WidgetBtnLive.h"
#include "media/Video.h"
#include "model/Channel.h"
#include "model/Dev.h"
#include "model/Device.h"
#include "playback/PlaybackButtons.h"
#include "playback/TimelinePanel.h"
#include "view/ViewControl.h"
#include "widgets/LabelFullScreen.h"
#include "view/WallSurface.h"

#include <QCalendarWidget>
#include <QDir>
#include <QTemporaryDir>
#include <QtTest>
#include "TestMain.h"

namespace {

const QString Uid = QStringLiteral("E2EPLAYBACK00000001");

} // namespace

class tst_E2ePlayback : public QObject
{
    Q_OBJECT

    QTemporaryDir settingsDir;
    DevsimProcess sim;
    E2eClient client;
    MainWindow *window = nullptr;
    Channel *ch = nullptr;
    QDate yesterday;
    uint shown = 0; // timestamp of the last playback picture

    void saveArtifact(const QString &name)
    {
        const QString dir = qEnvironmentVariable("ORVANE_TEST_ARTIFACTS");
        if (!dir.isEmpty() && QDir().mkpath(dir))
            WallSurface::grab(client.host.get()).save(QDir(dir).filePath(name));
    }
    uint at(int h, int m, int s) const
    {
        return uint(QDateTime(yesterday, QTime(h, m, s), QTimeZone::utc()).toSecsSinceEpoch());
    }
    // Presses and releases the minute line at a second of the day, moving
    // the minute window there first.
    void clickSecond(int second)
    {
        TimelineClicks::clickSecond(window->timelinePanel()->timeline(), second);
    }
    template <class T> T *child(const char *name)
    {
        return window->findChild<T *>(QLatin1String(name));
    }

private slots:
    void initTestCase()
    {
        QCOMPARE(QTimeZone::systemTimeZone().offsetFromUtc(QDateTime::currentDateTime()), 0);
        QVERIFY(settingsDir.isValid());
        E2eClient::useSettings(settingsDir.path());
        const quint16 discovery = DevsimProcess::anyDiscoveryPort();
        sim.setDiscoveryPort(discovery);
        QVERIFY2(sim.start({"--uid", Uid, "--password", "pb", "--record-days", "3", "--gop", "1",
                            "--recordings", "01:00-01:30,02:00-02:00:05,03:00-04:00"}),
                 qPrintable(sim.errorText()));
        DevsimProcess::pointClientAt({&sim}, discovery);
        QVERIFY(E2eClient::registerDevice(Uid, QStringLiteral("pb"), 1));
        window = client.show();
        QVERIFY(QTest::qWaitForWindowExposed(client.host.get()));
        QTRY_VERIFY_WITH_TIMEOUT(Dev::instance()->deviceByUid(Uid), 10000);
        ch = Dev::instance()->deviceByUid(Uid)->channel(0);
        connect(Video::instance(), &Video::decodeSuccess, this,
                [this](Channel *c, bool live, int, int, uint ts) {
                    if (c == ch && !live)
                        shown = ts;
                });
        yesterday = QDate::currentDate().addDays(-1);
    }
    void cleanupTestCase()
    {
        client.host.reset();
        sim.stop();
    }

    void pickedDayShowsItsRecordings()
    {
        QTest::mouseClick(child<WidgetBtnLive>("widget_btn_playback"), Qt::LeftButton);
        QVERIFY(!ViewControl::instance()->isLive());
        QVERIFY(window->timelinePanel()->isVisible());
        Dev::instance()->setSelectedChannel(ch);
        window->openCalendar();
        QVERIFY(window->calendar());
        window->calendar()->setSelectedDate(yesterday);
        QCOMPARE(ViewControl::instance()->replayDate(), yesterday);
        // devsim tells each span's kind: continuous (1).
        const QList<QList<int>> expected = {{3600, 1800, int(at(1, 0, 0)), 1},
                                            {7200, 5, int(at(2, 0, 0)), 1},
                                            {10800, 3600, int(at(3, 0, 0)), 1}};
        QTRY_COMPARE_WITH_TIMEOUT(ViewControl::instance()->dayRecords(), expected, 30000);
        QTRY_COMPARE(TimelineClicks::laneSpans(window->timelinePanel()->timeline(),
                                               PlaybackTimeline::Kind::Continuous),
                     3);
        window->closeCalendar();
        saveArtifact(QStringLiteral("playback-timeline.png"));
    }

    void clickIntoARecordingShowsThatMoment()
    {
        clickSecond(3600 + 60); // 01:01:00: the cursor; then play from there
        QTest::mouseClick(child<PlayBtn>("label_icon_play"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(shown >= at(1, 1, 0) && shown <= at(1, 1, 5), 30000);
        clickSecond(3600 + 20 * 60); // a seek while playing
        QTRY_VERIFY_WITH_TIMEOUT(shown >= at(1, 20, 0) && shown <= at(1, 20, 1), 10000);
        saveArtifact(QStringLiteral("playback-seek.png"));
    }

    void playsAcrossTheGapToTheNextRecording()
    {
        clickSecond(7200 + 1); // 02:00:01, four seconds before that recording ends
        QTRY_VERIFY_WITH_TIMEOUT(shown >= at(2, 0, 1) && shown <= at(2, 0, 5), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(shown >= at(3, 0, 0) && shown <= at(3, 0, 10), 30000);
    }

    void fastForwardAdvancesFaster()
    {
        QTest::mouseClick(child<PlayBtn>("label_icon_play"), Qt::LeftButton); // stop
        QTRY_VERIFY_WITH_TIMEOUT(ch->avIndex(false) < 0, 10000);
        clickSecond(3 * 3600 + 600);
        auto *forward = child<FastBtn>("label_icon_ff");
        QVERIFY(forward);
        QTest::mouseClick(forward, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(shown >= at(3, 10, 0) && shown < at(3, 11, 0), 30000);
        const uint from = shown;
        QTest::qWait(2000);
        QVERIFY2(shown - from >= 5, qPrintable(QString::number(shown - from))); // 4x, not 1x
        QTest::mouseClick(forward, Qt::LeftButton);                             // stop
    }

    void fullScreenToggle()
    {
        auto *full = child<LabelFullScreen>("label_icon_fullGl");
        QVERIFY(full);
        QWidget *center = child<QWidget>("widget_center");
        QTest::mouseClick(full, Qt::RightButton);
        QTRY_VERIFY(center->isWindow());
        QTest::mouseClick(full, Qt::LeftButton);
        QTRY_VERIFY(!center->isWindow());
        QVERIFY(!ViewControl::instance()->windows().isEmpty());
    }
};

ORVANE_TEST_MAIN(tst_E2ePlayback)
#include "tst_e2e_playback.moc"
