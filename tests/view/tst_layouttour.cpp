// The layout tour against a clock the test sets: the order of the layouts, the interval, the
// hold after an interaction, stopping and starting; and the layout cell counts the settings
// check against the grid's.

#include "config/Config.h"
#include "view/LayoutTour.h"
#include "view/WindowMod.h"

#include <QtTest>
#include "TestMain.h"

using namespace Qt::StringLiterals;

class tst_LayoutTour : public QObject
{
    Q_OBJECT

private slots:
    // layouts: what setLayouts() gets before the script runs. script: steps "action[=arg][@s]",
    // the clock set to s seconds first: start, stop, poll, touch (noteInteraction), cur=NAME
    // (setCurrent), every=N (setIntervalSeconds), set=A,B (setLayouts). due: every layoutDue
    // as "name@s".
    void tourSwitchesAsScripted_data()
    {
        QTest::addColumn<QStringList>("layouts");
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("due");
        const QStringList abc{u"A"_s, u"B"_s, u"C"_s};
        QTest::newRow("in order every 30 s, wrapping")
            << abc << u"cur=A start@0 poll@29.999 poll@30 poll@59 poll@60 poll@90 poll@120"_s
            << u"B@30 C@60 A@90 B@120"_s;
        QTest::newRow("no layout shown: the first comes first")
            << abc << u"start@0 poll@30 poll@60"_s << u"A@30 B@60"_s;
        QTest::newRow("a late poll switches once")
            << abc << u"start@0 poll@500 poll@529"_s << u"A@500"_s;
        QTest::newRow("an interaction holds the next switch for a full interval")
            << abc
            << u"cur=A start@0 touch@20 poll@30 poll@49.999 poll@50 touch@70 poll@80 poll@100"_s
            << u"B@50 C@100"_s;
        QTest::newRow("stopped: nothing due; started again: a full interval")
            << abc << u"start@0 poll@10 stop@10 poll@40 start@45 poll@74 poll@75"_s << u"A@75"_s;
        QTest::newRow("not started") << abc << u"poll@30 poll@1000"_s << QString();
        QTest::newRow("one layout: no switching")
            << QStringList{u"A"_s} << u"start@0 poll@30 poll@999"_s << QString();
        QTest::newRow("no layouts") << QStringList{} << u"start@0 poll@30"_s << QString();
        QTest::newRow("repeats and empty names count once")
            << QStringList{u"A"_s, u"A"_s, QString()} << u"start@0 poll@30 poll@60"_s << QString();
        QTest::newRow("a second layout added later")
            << QStringList{u"A"_s} << u"cur=A start@0 poll@30 set=A,B@40 poll@40"_s << u"B@40"_s;
        QTest::newRow("shorter interval: due at once")
            << abc << u"start@0 every=5@10 poll@10 poll@14 poll@15"_s << u"A@10 B@15"_s;
        QTest::newRow("interval below 5 s reads as 5")
            << abc << u"every=1 start@0 poll@4 poll@5"_s << u"A@5"_s;
        QTest::newRow("interval above an hour reads as an hour")
            << abc << u"every=99999 start@0 poll@3599 poll@3600"_s << u"A@3600"_s;
        QTest::newRow("new layout list keeps the one shown")
            << abc << u"cur=B start@0 set=C,B,A@1 poll@30"_s << u"A@30"_s;
        QTest::newRow("picked by the user: the tour goes on from it")
            << abc << u"cur=A start@0 cur=C@10 touch@10 poll@40"_s << u"A@40"_s;
    }

    void tourSwitchesAsScripted()
    {
        QFETCH(QStringList, layouts);
        QFETCH(QString, script);
        QFETCH(QString, due);
        qint64 nowMs = 0;
        LayoutTour tour([&nowMs] { return nowMs; }, nullptr);
        QStringList seen;
        connect(&tour, &LayoutTour::layoutDue, this, [&](const QString &name) {
            seen << name + u'@' + QString::number(nowMs / 1000.0);
        });
        tour.setLayouts(layouts);
        for (const QString &step : script.split(u' ')) {
            const QString action = step.section(u'@', 0, 0);
            if (step.contains(u'@'))
                nowMs = qRound64(step.section(u'@', 1).toDouble() * 1000);
            const QString arg = action.section(u'=', 1);
            if (action == u"start")
                tour.start();
            else if (action == u"stop")
                tour.stop();
            else if (action == u"poll")
                tour.poll();
            else if (action == u"touch")
                tour.noteInteraction();
            else if (action.startsWith(u"cur="))
                tour.setCurrent(arg);
            else if (action.startsWith(u"every="))
                tour.setIntervalSeconds(arg.toInt());
            else if (action.startsWith(u"set="))
                tour.setLayouts(arg.split(u','));
            else
                QFAIL(qPrintable(u"unknown step "_s + step));
            // Whatever the state, the time left agrees with what poll() does.
            const qint64 left = tour.msUntilDue();
            QVERIFY2(left >= -1 && left <= qint64(tour.intervalSeconds()) * 1000, qPrintable(step));
            QCOMPARE(left == -1, !tour.isRunning() || tour.layouts().size() < 2);
        }
        QCOMPARE(seen.join(u' '), due);
    }

    void timeLeftCountsDownFromTheLastSwitch()
    {
        qint64 nowMs = 0;
        LayoutTour tour([&nowMs] { return nowMs; }, nullptr);
        tour.setLayouts({u"A"_s, u"B"_s});
        QCOMPARE(tour.msUntilDue(), -1);
        tour.start();
        QCOMPARE(tour.msUntilDue(), 30000);
        nowMs = 12000;
        QCOMPARE(tour.msUntilDue(), 18000);
        tour.noteInteraction();
        QCOMPARE(tour.msUntilDue(), 30000);
        nowMs = 99000;
        QCOMPARE(tour.msUntilDue(), 0);
        tour.poll();
        QCOMPARE(tour.current(), u"A"_s);
        QCOMPARE(tour.msUntilDue(), 30000);
    }

    // The settings check a layout's cells against this table without the view library.
    void layoutCellCountsMatchTheGrid()
    {
        QCOMPARE(StoredLimits::WindowLayouts, WindowMod::Count);
        for (int mod = -1; mod <= WindowMod::Count; ++mod)
            QCOMPARE(StoredLimits::layoutCells(mod), WindowMod::windowCount(mod));
    }
};

ORVANE_TEST_MAIN(tst_LayoutTour)
#include "tst_layouttour.moc"
