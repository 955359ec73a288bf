// The playback timeline: minute labels and the window chosen on the hour
// line, the day's bars on both lines (kept in step through a resize), the
// cursor following frames but not while dragged, one seek on release (a
// moment before the playback's start restarts it there), the date bubble,
// and the day-record look-ups of the grid.

#include "RecordingLink.h"
#include "ViewTestEnv.h"

#include "media/Video.h"
#include "playback/PlaybackButtons.h"
#include "playback/ProgressBar.h"
#include "playback/TimeBox.h"
#include "playback/TimeLine.h"
#include "view/ViewControl.h"
#include "widgets/LabelFullScreen.h"

#include <QtTest>
#include "TestMain.h"

using namespace Qt::StringLiterals;

class tst_Timeline : public QObject
{
    Q_OBJECT

    std::unique_ptr<ViewTestEnv> env;
    QStringList calls;
    ViewControl *vc = nullptr;
    Channel *ch = nullptr;
    std::unique_ptr<ProgressBar> bar;

    void press(TimeLine *line, int x, QEvent::Type type = QEvent::MouseButtonPress)
    {
        const QPointF at(x, line->height() / 2);
        QMouseEvent e(type, at, line->mapToGlobal(at), Qt::LeftButton,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, {});
        QCoreApplication::sendEvent(line, &e);
    }

private slots:
    void initTestCase()
    {
        env = std::make_unique<ViewTestEnv>();
        ViewTestEnv::quietLink();
        vc = ViewControl::instance();
        vc->setLink(std::make_unique<RecordingLink>(&calls));
        vc->changeMod(false);
        ch = ViewTestEnv::addDevice(u"PB"_s, 1)->channel(0);
        Dev::instance()->setSelectedChannel(ch);
        bar = std::make_unique<ProgressBar>();
        bar->resize(1000, 56);
        bar->show();
        QVERIFY(QTest::qWaitForWindowExposed(bar.get()));
    }
    void cleanupTestCase()
    {
        bar.reset();
        ViewTestEnv::clearDevices();
    }

    void minuteWindowFollowsTheHourLine()
    {
        const int length = bar->windowLength();
        QCOMPARE(length, bar->minuteLine()->width());
        QCOMPARE(bar->minuteLabelTexts().value(0), u"0:01"_s); // the first full minute after 0
        const int w = bar->hourLine()->width();
        const int half = int(qint64(length) * w / (2 * 86400));
        press(bar->hourLine(), half - 1);
        QCOMPARE(bar->windowStart(), 0);
        press(bar->hourLine(), w - 2 * half + 1);
        QCOMPARE(bar->windowStart(), 86400 - length);
        press(bar->hourLine(), w / 2 + 3);
        QCOMPARE(bar->windowStart(), int(qint64(w / 2 + 3 - half) * 86400 / w));
        press(bar->hourLine(), w / 2, QEvent::MouseButtonRelease);
        const int start = 13 * 3600 + 4 * 60 + 30;
        press(bar->hourLine(), int(qint64(start) * w / 86400) + half);
        QVERIFY2(bar->minuteLabelTexts().contains(u"13:05"_s),
                 qPrintable(bar->minuteLabelTexts().join(u' ')));
    }

    void dayBarsStayInStepThroughAResize()
    {
        emit IoConnect::instance()->receiveVideoTimeEmptyMsg(ch, 0, QString());
        QVERIFY(bar->isEmptyDayShown());                          // an empty day says so
        emit IoConnect::instance()->connectChannelSuccessMsg(ch); // asks for the day's list
        QVERIFY(!bar->isEmptyDayShown());
        const QList<QList<int>> items = {{3600, 1800, 0}, {7200, 3, 0}};
        for (const QList<int> &item : items)
            emit IoConnect::instance()->receiveVideoTimeMsg(ch, item);
        emit IoConnect::instance()->receiveVideoTimeMsg(nullptr, {0, 60, 0}); // not selected
        QCOMPARE(bar->hourBarCount(), 2);
        QCOMPARE(vc->dayRecords(), items);
        for (const int width : {1000, 601}) {
            bar->resize(width, 56);
            const double p = double(bar->hourLine()->width()) / 86400;
            QCOMPARE(bar->hourBarGeometry(0), QRect(int(3600 * p), 0, int(1800 * p), 4));
            QCOMPARE(bar->hourBarGeometry(1).width(), 1); // 3 s is still one pixel
        }
    }

    void cursorFollowsFramesAndSeeksOnceOnRelease()
    {
        const QDate day = vc->replayDate();
        ch->setVideoOn(true, false);
        ch->setReplayDateTime(QDateTime(day, QTime(13, 5, 0)));
        press(bar->hourLine(), bar->hourLine()->width() / 2, QEvent::MouseButtonRelease);
        const auto frame = [&](const QTime &t) {
            emit Video::instance()->showImageFinishMsg(ch,
                                                       uint(QDateTime(day, t).toSecsSinceEpoch()));
        };
        frame(QTime(13, 6, 40));
        QCOMPARE(bar->cursorSecond(), 13 * 3600 + 400);
        calls.clear();
        const int x = 13 * 3600 + 600 - bar->windowStart(); // 13:10:00
        press(bar->minuteLine(), x);
        press(bar->minuteLine(), x, QEvent::MouseMove);
        frame(QTime(13, 7, 0)); // the user holds the cursor
        QCOMPARE(bar->cursorSecond(), 13 * 3600 + 600);
        QCOMPARE(bar->minuteCursor()->x(), x);
        press(bar->minuteLine(), x, QEvent::MouseButtonRelease);
        QCOMPARE(calls, QStringList{u"changeReplayTime PB/0 300"_s});
        // Before the playback's start: played again from there.
        calls.clear();
        press(bar->minuteLine(), x - 600);
        press(bar->minuteLine(), x - 600, QEvent::MouseButtonRelease);
        QCOMPARE(calls, QStringList{u"stopReplay PB/0 1"_s});
    }

    void dateBubbleAndDayLookUps()
    {
        TimeBox box;
        QCOMPARE(TimeBox::text(QDateTime(QDate(2024, 3, 5), QTime(9, 5, 7))),
                 u"2024-3-5 09:05:07"_s);
        box.place(10, 0, 200);
        box.setShown(true);
        for (const auto &[x, visible] :
             QList<std::pair<int, bool>>{{0, true}, {197, true}, {198, false}, {-1, false}}) {
            box.showAt(x, QDateTime::currentDateTime());
            QCOMPARE(box.isVisible(), visible);
        }
        const QDate day(2026, 3, 2);
        const int at10 = int(QDateTime(day, QTime(10, 0)).toSecsSinceEpoch());
        vc->setDayRecords({{36000, 600, at10}, {43200, 60, at10 + 7200}});
        vc->setReplayDate(day);
        vc->setReplayTime(QTime(11, 0));
        int offset = -1;
        QCOMPARE(vc->recordStartBefore(&offset), QDateTime(day, QTime(10, 0)));
        QCOMPARE(offset, 3600);
        QCOMPARE(vc->nextRecordStart(), QDateTime(day, QTime(12, 0)));
        vc->setReplayTime(QTime(12, 0, 1));
        QVERIFY(!vc->nextRecordStart().isValid());
    }

    void controlBarButtons()
    {
        const QDate day(2026, 3, 2);
        vc->setReplayDate(day);
        vc->setReplayTime(QTime(10, 5));
        ch->setVideoOn(false, false);
        calls.clear();
        const auto release = [](QWidget *w, Qt::MouseButton b = Qt::LeftButton) {
            QTest::mouseRelease(w, b, {}, QPoint(2, 2));
        };
        // A device without seek after start plays from the cursor itself.
        PlayBtn play;
        release(&play);
        QVERIFY(play.isPlaying());
        QCOMPARE(calls.last(), u"playReplay PB/0 2026-03-02T10:05:00"_s);
        release(&play);
        QCOMPARE(calls.last(), u"stopReplay PB/0 0"_s);
        FastBtn forward;
        release(&forward);
        QVERIFY(forward.isActive() && calls.last().startsWith(u"playReplay PB/0"_s));
        // In live mode fast and pause only flip.
        vc->changeMod(true);
        calls.clear();
        PauseBtn pause;
        release(&forward);
        release(&pause);
        QVERIFY(!forward.isActive() && pause.isPaused());
        QVERIFY2(calls.filter(u"Replay"_s).isEmpty(), qPrintable(calls.join(u';')));
        vc->changeMod(false);
        LabelFullScreen full;
        QSignalSpy toggled(&full, &LabelFullScreen::clickMsg);
        release(&full, Qt::RightButton);
        QCOMPARE(toggled.value(0).value(0).toBool(), true);
    }
};

ORVANE_TEST_MAIN(tst_Timeline)
#include "tst_timeline.moc"
