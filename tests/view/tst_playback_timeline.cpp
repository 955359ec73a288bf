// The zoomable playback timeline: its scale (zoom around a moment, pan and
// follow inside the day, readable ticks at every zoom), the widget's mouse and
// keys (seeks, steps, the range, previous/next event), the colours it paints,
// the hover thumbnails and their cache.

#include "playback/PlaybackTimeline.h"
#include "playback/ThumbnailCache.h"
#include "playback/TimelineScale.h"

#include <QtTest>
#include "TestMain.h"

using Kind = PlaybackTimeline::Kind;

namespace {
constexpr qint64 S = 1000, M = 60 * S, H = 60 * M;
constexpr int Width = 960; // 90 s a pixel over the whole day
} // namespace

class tst_PlaybackTimeline : public QObject
{
    Q_OBJECT

    const qint64 day0 = QDate(2024, 5, 14).startOfDay().toMSecsSinceEpoch();
    std::unique_ptr<PlaybackTimeline> tl;

    TimelineScale scale(qint64 start, qint64 length) const
    {
        TimelineScale s;
        s.setDay(day0, 24 * H);
        s.setWidth(Width);
        s.setWindow(day0 + start, length);
        return s;
    }
    int left() const { return tl->detailRect().left(); }
    void mouse(QEvent::Type type, QPoint at, Qt::MouseButtons buttons = Qt::LeftButton)
    {
        const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
        QMouseEvent e(type, at, tl->mapToGlobal(at), button, buttons, {});
        QCoreApplication::sendEvent(tl.get(), &e);
    }
    void click(QPoint at)
    {
        mouse(QEvent::MouseButtonPress, at);
        mouse(QEvent::MouseButtonRelease, at, Qt::NoButton);
    }
    void wheel(int x, int delta)
    {
        const QPoint at(left() + x, tl->laneRect(0).center().y());
        QWheelEvent e(at, tl->mapToGlobal(at), {}, {0, delta}, Qt::NoButton, {}, Qt::NoScrollPhase,
                      false);
        QCoreApplication::sendEvent(tl.get(), &e);
    }
    QColor pixel(const QImage &image, qint64 ms, int y) const
    {
        return image.pixelColor(tl->xOf(day0 + ms), y);
    }

private slots:
    void init()
    {
        tl = std::make_unique<PlaybackTimeline>();
        tl->setDay(day0, 24 * H);
        tl->setLanes({{"Front door",
                       {{day0 + 1 * H, day0 + 6 * H, Kind::Continuous},
                        {day0 + 8 * H, day0 + 9 * H, Kind::Motion},
                        {day0 + 10 * H, day0 + 10 * H + M, Kind::Alarm},
                        {day0 + 15 * H, day0 + 15 * H + 10 * M, Kind::Motion},
                        {day0 + 20 * H, day0 + 20 * H, Kind::Alarm}}},
                      {"Yard",
                       {{day0 + 8 * H, day0 + 9 * H, Kind::Alarm},
                        {day0 + 12 * H, day0 + 12 * H + M, Kind::Motion}}}});
        tl->resize(72 + Width, tl->sizeHint().height());
        tl->show();
        QCOMPARE(tl->scale().width(), Width);
    }
    void cleanup() { tl.reset(); }

    void zoomKeepsTheMomentUnderThePointer_data()
    {
        QTest::addColumn<double>("x");
        QTest::addColumn<double>("factor");
        QTest::newRow("in at the left edge") << 0.0 << 4.0;
        QTest::newRow("in at a quarter") << 240.0 << 2.0;
        QTest::newRow("in a notch at the middle") << 480.5 << 1.25;
        QTest::newRow("in at the right edge") << 959.0 << 3.0;
        QTest::newRow("out at a third") << 320.0 << 0.5;
        QTest::newRow("out a notch near the right") << 900.0 << 0.8;
    }
    void zoomKeepsTheMomentUnderThePointer()
    {
        QFETCH(double, x);
        QFETCH(double, factor);
        TimelineScale s = scale(10 * H, 2 * H);
        const qint64 under = s.msAt(x);
        s.zoomAt(x, factor);
        QCOMPARE(s.lengthMs(), qint64(2 * H / factor));
        QVERIFY2(qAbs(s.xOf(under) - x) <= 1.0, qPrintable(QString::number(s.xOf(under))));
    }

    void zoomStopsAtAMinuteAndTheWholeDay()
    {
        TimelineScale s = scale(0, 24 * H);
        s.zoomAt(480, 1e6);
        QCOMPARE(s.lengthMs(), TimelineScale::MinLengthMs);
        QCOMPARE(s.startMs(), day0 + 12 * H - 30 * S);
        s.zoomAt(100, 1e-6);
        QVERIFY(s.isWholeDay());
        QCOMPARE(s.startMs(), day0);
        s = scale(23 * H + 50 * M, 10 * M);
        s.zoomAt(900, 0.5);
        QCOMPARE(s.endMs(), day0 + 24 * H); // stopped by the day's end, not past it
    }

    void panStopsAtTheDaysEdges()
    {
        TimelineScale s = scale(1 * H, 1 * H);
        s.panBy(480); // half the window, dragged to the right: earlier moments
        QCOMPARE(s.startMs(), day0 + 30 * M);
        s.panBy(1e6);
        QCOMPARE(s.startMs(), day0);
        s.panBy(-1e7);
        QCOMPARE(s.endMs(), day0 + 24 * H);
        QCOMPARE(s.lengthMs(), 1 * H);
    }

    void followPutsTheCursorAtAQuarter_data()
    {
        QTest::addColumn<qint64>("cursor");
        QTest::addColumn<qint64>("start");
        QTest::newRow("inside: stays") << 10 * H + 30 * M << 10 * H;
        QTest::newRow("before the window") << 9 * H << 8 * H + 45 * M;
        QTest::newRow("within 5% of the right edge") << 10 * H + 58 * M << 10 * H + 43 * M;
        QTest::newRow("past the end") << 13 * H << 12 * H + 45 * M;
        QTest::newRow("near the day's end") << 23 * H + 59 * M << 23 * H;
    }
    void followPutsTheCursorAtAQuarter()
    {
        QFETCH(qint64, cursor);
        QFETCH(qint64, start);
        TimelineScale s = scale(10 * H, 1 * H);
        QCOMPARE(s.follow(day0 + cursor), start != 10 * H);
        QCOMPARE(s.startMs() - day0, start);
    }

    void labelledTicksNeverCrowdAtAnyZoom()
    {
        for (int width : {120, 480, 1917}) {
            for (qint64 dayLength : {23 * H, 24 * H, 25 * H}) {
                TimelineScale s;
                s.setDay(day0, dayLength);
                s.setWidth(width);
                for (double length = dayLength; length >= M; length /= 1.15) {
                    s.setWindow(day0 + 7 * H + 13 * S, qint64(length));
                    const QString at =
                        QStringLiteral("width %1, window %2 ms").arg(width).arg(s.lengthMs());
                    QList<TimelineScale::Tick> labelled;
                    for (const auto &t : s.ticks()) {
                        if (t.labelled)
                            labelled.append(t);
                    }
                    QVERIFY2(width < 480 || !labelled.isEmpty(), qPrintable(at));
                    for (int i = 1; i < labelled.size(); ++i) {
                        QVERIFY2(labelled[i].x - labelled[i - 1].x >=
                                     TimelineScale::MinLabelSpacingPx - 1e-6,
                                 qPrintable(at));
                        // Distinct texts, except the same clock time a day later.
                        QVERIFY2(labelled[i].ms - labelled[i - 1].ms >= 24 * H ||
                                     s.labelText(labelled[i].ms) != s.labelText(labelled[i - 1].ms),
                                 qPrintable(at + u' ' + s.labelText(labelled[i].ms)));
                    }
                }
            }
        }
        const TimelineScale day = scale(0, 24 * H);
        QCOMPARE(day.labelText(day.ticks().first().ms), QStringLiteral("0:00"));
        QCOMPARE(day.labelText(day.ticks().last().ms), QStringLiteral("24:00"));
        QCOMPARE(scale(H, 90 * S).labelText(day0 + H + 30 * S), QStringLiteral("1:00:30"));
    }

    void wheelZoomsAroundThePointer()
    {
        QCOMPARE(tl->stepMs(), 24 * H / 60);
        const qint64 under = tl->scale().msAt(300);
        wheel(300, 120);
        QCOMPARE(tl->scale().lengthMs(), qint64(24 * H / 1.25));
        QVERIFY(qAbs(tl->scale().xOf(under) - 300) <= 1.0);
        wheel(300, -240);
        QVERIFY(tl->scale().isWholeDay());
        for (int i = 0; i < 40; ++i)
            wheel(700, 120);
        QCOMPARE(tl->scale().lengthMs(), TimelineScale::MinLengthMs);
        QCOMPARE(tl->stepMs(), S);
    }

    void dragPansAndAClickSeeks()
    {
        wheel(480, 4 * 120);
        QSignalSpy seeks(tl.get(), &PlaybackTimeline::seekRequested);
        const int y = tl->laneRect(1).center().y();
        const qint64 start = tl->scale().startMs();
        const qint64 at = tl->scale().msAt(400);
        mouse(QEvent::MouseButtonPress, {left() + 400, y});
        mouse(QEvent::MouseMove, {left() + 403, y + 3});
        mouse(QEvent::MouseButtonRelease, {left() + 403, y + 3}, Qt::NoButton);
        QCOMPARE(seeks.size(), 1);
        QCOMPARE(seeks.takeFirst().at(0).toLongLong(), at);
        QCOMPARE(tl->cursor(), at);
        QCOMPARE(tl->scale().startMs(), start);

        const double msPerPixel = tl->scale().msPerPixel();
        mouse(QEvent::MouseButtonPress, {left() + 400, y});
        mouse(QEvent::MouseMove, {left() + 500, y});
        mouse(QEvent::MouseButtonRelease, {left() + 500, y}, Qt::NoButton);
        QCOMPARE(seeks.size(), 0);
        QVERIFY(qAbs(tl->scale().startMs() - (start - qint64(100 * msPerPixel))) <= 1);
    }

    void overviewClickSeeksAndTheWindowFollows()
    {
        wheel(100, 10 * 120);
        QSignalSpy seeks(tl.get(), &PlaybackTimeline::seekRequested);
        const QRect ov = tl->overviewRect();
        mouse(QEvent::MouseButtonPress, {ov.left() + 720, ov.center().y()});
        QCOMPARE(seeks.size(), 0); // the seek comes on release
        QCOMPARE(tl->cursor(), day0 + 18 * H);
        QCOMPARE(tl->scale().startMs(), tl->cursor() - tl->scale().lengthMs() / 4);
        mouse(QEvent::MouseButtonRelease, {ov.left() + 720, ov.center().y()}, Qt::NoButton);
        QCOMPARE(seeks.size(), 1);
        QCOMPARE(seeks.at(0).at(0).toLongLong(), day0 + 18 * H);
    }

    void keys_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("step");
        QTest::addColumn<int>("windows"); // the seek, in window lengths from the cursor
        QTest::addColumn<qint64>("at");   // or from the day's start
        QTest::newRow("left steps back") << int(Qt::Key_Left) << -1 << 0 << qint64(-1);
        QTest::newRow("right steps forward") << int(Qt::Key_Right) << 1 << 0 << qint64(-1);
        QTest::newRow("page up: a window back") << int(Qt::Key_PageUp) << 0 << -1 << qint64(-1);
        QTest::newRow("page down: a window on") << int(Qt::Key_PageDown) << 0 << 1 << qint64(-1);
        QTest::newRow("home: the day's start") << int(Qt::Key_Home) << 0 << 0 << qint64(0);
        QTest::newRow("end: a second before its end") << int(Qt::Key_End) << 0 << 0 << 24 * H - S;
    }
    void keys()
    {
        QFETCH(int, key);
        QFETCH(int, step);
        QFETCH(int, windows);
        QFETCH(qint64, at);
        QCOMPARE(tl->focusPolicy(), Qt::StrongFocus);
        wheel(480, 4 * 120);
        tl->setCursor(day0 + 12 * H);
        const qint64 length = tl->scale().lengthMs();
        QSignalSpy steps(tl.get(), &PlaybackTimeline::stepRequested);
        QSignalSpy seeks(tl.get(), &PlaybackTimeline::seekRequested);
        QTest::keyClick(tl.get(), Qt::Key(key));
        QCOMPARE(steps.size(), step ? 1 : 0);
        QCOMPARE(seeks.size(), step ? 0 : 1);
        if (step) {
            QCOMPARE(steps.at(0).at(0).toInt(), step);
            return;
        }
        const qint64 expected = at >= 0 ? day0 + at : day0 + 12 * H + windows * length;
        QCOMPARE(seeks.at(0).at(0).toLongLong(), expected);
        QCOMPARE(tl->cursor(), expected);
        QVERIFY(tl->scale().startMs() <= expected && expected < tl->scale().endMs());
    }

    void rangeMarksSwapReversedEnds()
    {
        QSignalSpy ranges(tl.get(), &PlaybackTimeline::rangeChanged);
        const auto mark = [&](qint64 cursor, Qt::Key key) {
            tl->setCursor(day0 + cursor);
            QTest::keyClick(tl.get(), key);
            const QList<QVariant> last = ranges.takeLast();
            return std::pair(last.at(0).toLongLong(), last.at(1).toLongLong());
        };
        QCOMPARE(mark(14 * H, Qt::Key_BracketRight), std::pair(qint64(-1), day0 + 14 * H));
        QCOMPARE(mark(13 * H, Qt::Key_BracketLeft), std::pair(day0 + 13 * H, day0 + 14 * H));
        QCOMPARE(mark(15 * H, Qt::Key_BracketLeft), std::pair(day0 + 14 * H, day0 + 15 * H));
        QCOMPARE(tl->rangeStart(), day0 + 14 * H);
        QCOMPARE(tl->rangeEnd(), day0 + 15 * H);
        tl->clearRange();
        QCOMPARE(tl->rangeStart(), -1);
        QCOMPARE(tl->rangeEnd(), -1);
    }

    void previousAndNextEventOfTheSelectedLane()
    {
        QSignalSpy seeks(tl.get(), &PlaybackTimeline::seekRequested);
        tl->setCursor(day0 + 9 * H);
        QVERIFY(tl->hasEventBefore());
        const QList<qint64> forward = {10 * H, 15 * H, 20 * H}; // not the Yard's 12:00
        for (qint64 at : forward) {
            QVERIFY(tl->hasEventAfter());
            tl->nextEvent();
            QCOMPARE(tl->cursor(), day0 + at);
        }
        QVERIFY(!tl->hasEventAfter());
        tl->nextEvent();
        QCOMPARE(seeks.size(), 3);
        tl->setCursor(day0 + 10 * H + 500); // just past an event's start: the one before
        tl->previousEvent();
        QCOMPARE(tl->cursor(), day0 + 8 * H);
        QVERIFY(!tl->hasEventBefore());
        tl->previousEvent();
        QCOMPARE(seeks.size(), 4);
        tl->setSelectedLane(1);
        tl->nextEvent();
        QCOMPARE(tl->cursor(), day0 + 12 * H);
    }

    void paintsSpansByKindAndEmphasisesTheSelectedLane()
    {
        tl->setCursor(day0 + 16 * H);
        QImage image = tl->grab().toImage();
        const int y0 = tl->laneRect(0).center().y(), y1 = tl->laneRect(1).center().y();
        const int ov = tl->overviewRect().center().y();
        QVERIFY(tl->laneRect(0).height() > tl->laneRect(1).height());
        QCOMPARE(pixel(image, 3 * H, y0), PlaybackTimeline::spanColor(Kind::Continuous));
        QCOMPARE(pixel(image, 8 * H + 30 * M, y0), PlaybackTimeline::spanColor(Kind::Motion));
        QCOMPARE(pixel(image, 10 * H, y0), PlaybackTimeline::spanColor(Kind::Alarm));
        QCOMPARE(pixel(image, 20 * H, y0), PlaybackTimeline::spanColor(Kind::Alarm)); // instant
        QCOMPARE(pixel(image, 16 * H, y0), QColor(Qt::white));                        // cursor
        QCOMPARE(pixel(image, 8 * H + 30 * M, ov), PlaybackTimeline::spanColor(Kind::Motion));
        const QColor selected = pixel(image, 13 * H, y0);
        QVERIFY(selected != pixel(image, 13 * H, y1));

        tl->setSelectedLane(1);
        image = tl->grab().toImage();
        QVERIFY(tl->laneRect(1).height() > tl->laneRect(0).height());
        QCOMPARE(pixel(image, 13 * H, tl->laneRect(1).center().y()), selected);
        QCOMPARE(pixel(image, 8 * H + 30 * M, ov), PlaybackTimeline::spanColor(Kind::Alarm));
    }

    void hoverShowsTheTimeAndOnlyTheLatestThumbnail()
    {
        struct Request
        {
            int lane;
            qint64 ms;
            PlaybackTimeline::ThumbnailDone done;
        };
        QList<Request> requests;
        tl->setThumbnailProvider([&](int lane, qint64 ms, PlaybackTimeline::ThumbnailDone done) {
            requests.append({lane, ms, std::move(done)});
        });
        const int y = tl->laneRect(1).center().y();
        for (int x : {100, 150, 200})
            mouse(QEvent::MouseMove, {left() + x, y}, Qt::NoButton);
        QVERIFY(tl->isHoverShown());
        QCOMPARE(tl->hoverText(), QStringLiteral("5:00:00"));
        QTRY_COMPARE(requests.size(), 1); // the pointer rested only at 5:00
        QCOMPARE(requests[0].lane, 1);
        QCOMPARE(requests[0].ms, day0 + 5 * H);
        mouse(QEvent::MouseMove, {left() + 600, y}, Qt::NoButton);
        QCOMPARE(tl->hoverText(), QStringLiteral("15:00:00"));
        QTRY_COMPARE(requests.size(), 2);

        QImage first(32, 18, QImage::Format_RGB32), second = first;
        first.fill(Qt::green);
        second.fill(Qt::red);
        requests[1].done(second, day0 + 15 * H - 2 * S);
        QCOMPARE(tl->hoverImage(), second);
        requests[0].done(first, day0 + 5 * H - S); // too late to be shown
        QCOMPARE(tl->hoverImage(), second);
        mouse(QEvent::MouseMove, {left() + 200, y}, Qt::NoButton);
        QCOMPARE(tl->hoverImage(), first); // from the cache, at once

        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(tl.get(), &leave);
        QVERIFY(!tl->isHoverShown());
    }

    void cursorFollowsUnlessTheUserMovedTheView()
    {
        wheel(480, 8 * 120);
        const qint64 start = tl->scale().startMs();
        tl->setCursor(day0 + 2 * H);
        QCOMPARE(tl->cursor(), day0 + 2 * H);
        QCOMPARE(tl->scale().startMs(), start); // the user just zoomed
        tl->resumeFollowing();
        QCOMPARE(tl->scale().startMs(), day0 + 2 * H - tl->scale().lengthMs() / 4);
        tl->setCursor(day0 + 20 * H);
        QCOMPARE(tl->scale().startMs(), day0 + 20 * H - tl->scale().lengthMs() / 4);
    }

    void thumbnailCacheEvictsTheLeastRecentlyUsed()
    {
        QImage image(10, 10, QImage::Format_RGB32);
        image.fill(Qt::blue);
        ThumbnailCache cache(3, 3 * image.sizeInBytes());
        cache.insert("0/A", 1000, image);
        cache.insert("0/A", 5000, image);
        cache.insert("1/B", 1000, image);
        QVERIFY(!cache.find("0/A", 1000, 0).isNull()); // now the most recent
        cache.insert("1/B", 1000, image);              // a replacement, not a fourth
        QCOMPARE(cache.count(), 3);
        QCOMPARE(cache.bytes(), 3 * image.sizeInBytes());
        cache.insert("1/B", 9000, image);
        QCOMPARE(cache.count(), 3);
        QVERIFY(!cache.contains("0/A", 5000));
        QVERIFY(cache.contains("0/A", 1000));

        ThumbnailCache small(100, 2 * image.sizeInBytes()); // bounded by bytes
        for (qint64 ms : {1000, 2000, 3000})
            small.insert("0/A", ms, image);
        QCOMPARE(small.count(), 2);
        QVERIFY(!small.contains("0/A", 1000));
        small.insert("0/A", 4000, QImage(100, 100, QImage::Format_RGB32)); // larger than all
        QCOMPARE(small.count(), 2);
        QVERIFY(!small.contains("0/A", 4000));
    }

    void thumbnailCacheFindsTheNearestKeyFrame_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<qint64>("ms");
        QTest::addColumn<qint64>("tolerance");
        QTest::addColumn<qint64>("found"); // -1: none
        QTest::newRow("exact") << "0/A" << qint64(10000) << qint64(0) << qint64(10000);
        QTest::newRow("after a key frame")
            << "0/A" << qint64(10900) << qint64(1000) << qint64(10000);
        QTest::newRow("nearer the next") << "0/A" << qint64(11600) << qint64(2000) << qint64(12000);
        QTest::newRow("beyond the tolerance")
            << "0/A" << qint64(14000) << qint64(1000) << qint64(-1);
        QTest::newRow("another lane") << "1/A" << qint64(10000) << qint64(1000) << qint64(-1);
    }
    void thumbnailCacheFindsTheNearestKeyFrame()
    {
        QFETCH(QString, key);
        QFETCH(qint64, ms);
        QFETCH(qint64, tolerance);
        QFETCH(qint64, found);
        ThumbnailCache cache;
        QImage image(4, 4, QImage::Format_RGB32);
        cache.insert("0/A", 10000, image);
        cache.insert("0/A", 12000, image);
        qint64 keyMs = -1;
        QCOMPARE(cache.find(key, ms, tolerance, &keyMs).isNull(), found < 0);
        QCOMPARE(keyMs, found);
    }
};

ORVANE_TEST_MAIN(tst_PlaybackTimeline)
#include "tst_playback_timeline.moc"
