// Geometry of the view windows for every grid layout.

#include "view/WindowMod.h"

#include <QtTest>
#include "TestMain.h"

using namespace Qt::StringLiterals;

class tst_WindowLayout : public QObject
{
    Q_OBJECT

private slots:
    void windowCountsFollowTheTable()
    {
        const int expected[] = {1, 4, 6, 8, 9, 13, 16, 25, 36, 49, 64};
        for (int mod = 0; mod < WindowMod::Count; ++mod) {
            QCOMPARE(WindowMod::windowCount(mod), expected[mod]);
            QCOMPARE(WindowMod::cellRects(mod, 1000, 600).size(), expected[mod]);
        }
        // Modes outside the table have no windows.
        QVERIFY(WindowMod::cellRects(-1, 800, 600).isEmpty());
        QVERIFY(WindowMod::cellRects(11, 800, 600).isEmpty());
        QCOMPARE(WindowMod::windowCount(42), 0);
    }

    void irregularLayoutsPlaceEachWindow_data()
    {
        // Host 1001 x 601: W/4 = 250, W/3 = 333, W/2 = 500, 2W/3 = 667, 3W/4 = 750;
        // H/4 = 150, H/3 = 200, H/2 = 300, 2H/3 = 400, 3H/4 = 450. Every cell but
        // the single window leaves one pixel on each side.
        QTest::addColumn<int>("mod");
        QTest::addColumn<QList<QRect>>("expected");
        QTest::newRow("one window fills the host")
            << int(WINDOW_MOD_1) << QList<QRect>{QRect(0, 0, 1001, 601)};
        QTest::newRow("four in quarters")
            << int(WINDOW_MOD_4)
            << QList<QRect>{QRect(1, 1, 498, 298), QRect(501, 1, 498, 298), QRect(1, 301, 498, 298),
                            QRect(501, 301, 498, 298)};
        QTest::newRow("six: small ones below, then right")
            << int(WINDOW_MOD_6)
            << QList<QRect>{QRect(1, 1, 665, 398),     QRect(1, 401, 331, 198),
                            QRect(334, 401, 331, 198), QRect(668, 401, 331, 198),
                            QRect(668, 1, 331, 198),   QRect(668, 201, 331, 198)};
        QTest::newRow("eight: big one and a quarter ring")
            << int(WINDOW_MOD_8)
            << QList<QRect>{QRect(1, 1, 748, 448),     QRect(1, 451, 248, 148),
                            QRect(251, 451, 248, 148), QRect(501, 451, 248, 148),
                            QRect(751, 451, 248, 148), QRect(751, 1, 248, 148),
                            QRect(751, 151, 248, 148), QRect(751, 301, 248, 148)};
        QTest::newRow("thirteen ring the centre")
            << int(WINDOW_MOD_13)
            << QList<QRect>{
                   QRect(251, 151, 498, 298), QRect(1, 1, 248, 148),     QRect(251, 1, 248, 148),
                   QRect(501, 1, 248, 148),   QRect(751, 1, 248, 148),   QRect(1, 151, 248, 148),
                   QRect(751, 151, 248, 148), QRect(1, 301, 248, 148),   QRect(751, 301, 248, 148),
                   QRect(1, 451, 248, 148),   QRect(251, 451, 248, 148), QRect(501, 451, 248, 148),
                   QRect(751, 451, 248, 148)};
    }

    void irregularLayoutsPlaceEachWindow()
    {
        QFETCH(int, mod);
        QFETCH(QList<QRect>, expected);
        QCOMPARE(WindowMod::cellRects(mod, 1001, 601), expected);
    }

    void uniformGridsFillRowsLeftToRight_data()
    {
        QTest::addColumn<int>("mod");
        QTest::addColumn<int>("n");
        QTest::newRow("9") << int(WINDOW_MOD_9) << 3;
        QTest::newRow("16") << int(WINDOW_MOD_16) << 4;
        QTest::newRow("25") << int(WINDOW_MOD_25) << 5;
        QTest::newRow("36") << int(WINDOW_MOD_36) << 6;
        QTest::newRow("49") << int(WINDOW_MOD_49) << 7;
        QTest::newRow("64") << int(WINDOW_MOD_64) << 8;
    }

    void uniformGridsFillRowsLeftToRight()
    {
        QFETCH(int, mod);
        QFETCH(int, n);
        const int W = 1001;
        const int H = 601;
        const QList<QRect> r = WindowMod::cellRects(mod, W, H);
        QCOMPARE(r.size(), n * n);
        // Second window: same row, next column; window n: next row, first column.
        QCOMPARE(r.at(1), QRect(W / n + 1, 1, W / n - 2, H / n - 2));
        QCOMPARE(r.at(n), QRect(1, H / n + 1, W / n - 2, H / n - 2));
        QCOMPARE(r.last().topLeft(), QPoint(((n - 1) * W) / n + 1, ((n - 1) * H) / n + 1));
    }

    void everyLayoutStaysInsideTheHostWithoutOverlap_data()
    {
        QTest::addColumn<int>("mod");
        for (int mod = 0; mod < WindowMod::Count; ++mod)
            QTest::newRow(qPrintable(QString::number(mod))) << mod;
    }

    void everyLayoutStaysInsideTheHostWithoutOverlap()
    {
        QFETCH(int, mod);
        const QRect host(0, 0, 997, 563);
        const QList<QRect> r = WindowMod::cellRects(mod, host.width(), host.height());
        for (int i = 0; i < r.size(); ++i) {
            QVERIFY2(host.contains(r.at(i)), qPrintable(QString::number(i)));
            QVERIFY(r.at(i).width() > 0 && r.at(i).height() > 0);
            for (int j = i + 1; j < r.size(); ++j)
                QVERIFY2(!r.at(i).intersects(r.at(j)), qPrintable(u"%1 and %2"_s.arg(i).arg(j)));
        }
    }
};

ORVANE_TEST_GUILESS_MAIN(tst_WindowLayout)
#include "tst_windowlayout.moc"
