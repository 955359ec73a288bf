// The digital zoom's arithmetic (the picture point under the pointer stays
// put, limits, panning at the edges) and the information box's rates.

#include "view/CellInfo.h"
#include "view/CellZoom.h"

#include <QtTest>
#include "TestMain.h"

#include <limits>

using Steps = QList<QPair<QPointF, double>>; // pointer in the cell, factor multiplier
using Samples = QList<CellInfo::Sample>;
Q_DECLARE_METATYPE(Steps)
Q_DECLARE_METATYPE(Samples)

namespace {

bool inside(const QRectF &visible)
{
    const double e = 1e-9;
    return visible.left() >= -e && visible.top() >= -e && visible.right() <= 1 + e &&
           visible.bottom() <= 1 + e;
}

double orUnknown(const std::optional<double> &value)
{
    return value ? *value : -1.0;
}

} // namespace

class tst_CellZoom : public QObject
{
    Q_OBJECT

private slots:
    void zoomKeepsThePointUnderThePointer_data();
    void zoomKeepsThePointUnderThePointer();
    void factorStaysWithinOneToEight_data();
    void factorStaysWithinOneToEight();
    void panStopsAtThePictureEdges_data();
    void panStopsAtThePictureEdges();
    void resetShowsTheWholePicture();
    void ratesOverTheLastSecond_data();
    void ratesOverTheLastSecond();
    void infoTextListsTheFigures();
};

void tst_CellZoom::zoomKeepsThePointUnderThePointer_data()
{
    QTest::addColumn<Steps>("steps");
    QTest::addColumn<double>("factor");
    QTest::newRow("centre, 2x") << Steps{{{0.5, 0.5}, 2.0}} << 2.0;
    QTest::newRow("top left corner, 8x") << Steps{{{0.0, 0.0}, 8.0}} << 8.0;
    QTest::newRow("bottom right, 3x then out to 1.5x")
        << Steps{{{1.0, 1.0}, 3.0}, {{1.0, 1.0}, 0.5}} << 1.5;
    QTest::newRow("off centre, 1.7x then 2x more")
        << Steps{{{0.3, 0.8}, 1.7}, {{0.3, 0.8}, 2.0}} << 3.4;
    QTest::newRow("one point, then in at another")
        << Steps{{{0.2, 0.3}, 2.0}, {{0.9, 0.1}, 1.5}} << 3.0;
    QTest::newRow("4x, then all the way out")
        << Steps{{{0.25, 0.6}, 4.0}, {{0.25, 0.6}, 0.25}} << 1.0;
}

void tst_CellZoom::zoomKeepsThePointUnderThePointer()
{
    QFETCH(Steps, steps);
    QFETCH(double, factor);
    CellZoom zoom;
    for (const auto &[pointer, multiplier] : steps) {
        const QPointF before = zoom.toPicture(pointer);
        QVERIFY(zoom.zoomAt(pointer, multiplier));
        const QPointF after = zoom.toPicture(pointer);
        QVERIFY2(qAbs(after.x() - before.x()) < 1e-9 && qAbs(after.y() - before.y()) < 1e-9,
                 qPrintable(QStringLiteral("(%1, %2) moved to (%3, %4)")
                                .arg(before.x())
                                .arg(before.y())
                                .arg(after.x())
                                .arg(after.y())));
        QVERIFY(inside(zoom.visible()));
    }
    QCOMPARE(zoom.factor(), factor);
    QCOMPARE(zoom.visible().width(), 1.0 / factor);
    QCOMPARE(zoom.isZoomed(), factor > 1.0);
}

void tst_CellZoom::factorStaysWithinOneToEight_data()
{
    QTest::addColumn<QList<double>>("multipliers");
    QTest::addColumn<double>("factor");
    QTest::addColumn<bool>("lastChanged");
    QTest::newRow("16x stops at 8x") << QList<double>{16.0} << 8.0 << true;
    QTest::newRow("3x twice stops at 8x") << QList<double>{3.0, 3.0} << 8.0 << true;
    QTest::newRow("more at 8x changes nothing") << QList<double>{8.0, 1.5} << 8.0 << false;
    QTest::newRow("out at 1x changes nothing") << QList<double>{0.5} << 1.0 << false;
    QTest::newRow("back out past 1x stops at 1x") << QList<double>{5.0, 0.1} << 1.0 << true;
    QTest::newRow("a hair above 1x is 1x") << QList<double>{2.0, 0.5000000001} << 1.0 << true;
    QTest::newRow("zero multiplier ignored") << QList<double>{2.0, 0.0} << 2.0 << false;
    QTest::newRow("negative multiplier ignored") << QList<double>{2.0, -4.0} << 2.0 << false;
    QTest::newRow("NaN multiplier ignored")
        << QList<double>{2.0, std::numeric_limits<double>::quiet_NaN()} << 2.0 << false;
}

void tst_CellZoom::factorStaysWithinOneToEight()
{
    QFETCH(QList<double>, multipliers);
    QFETCH(double, factor);
    QFETCH(bool, lastChanged);
    CellZoom zoom;
    bool changed = false;
    for (double m : multipliers) {
        changed = zoom.zoomAt(QPointF(0.7, 0.2), m);
        QVERIFY(inside(zoom.visible()));
    }
    QCOMPARE(zoom.factor(), factor);
    QCOMPARE(changed, lastChanged);
    if (factor == 1.0)
        QCOMPARE(zoom.visible(), QRectF(0, 0, 1, 1));
}

void tst_CellZoom::panStopsAtThePictureEdges_data()
{
    QTest::addColumn<double>("factor"); // zoomed at the centre
    QTest::addColumn<QPointF>("delta");
    QTest::addColumn<QPointF>("origin");
    QTest::newRow("drag right shows more of the left")
        << 2.0 << QPointF(0.2, 0) << QPointF(0.15, 0.25);
    QTest::newRow("drag up shows more of the bottom")
        << 2.0 << QPointF(0, -0.3) << QPointF(0.25, 0.4);
    QTest::newRow("far right stops at the left edge") << 2.0 << QPointF(5, 0) << QPointF(0, 0.25);
    QTest::newRow("far left stops at the right edge")
        << 2.0 << QPointF(-5, 0) << QPointF(0.5, 0.25);
    QTest::newRow("far diagonal stops in the corner") << 4.0 << QPointF(-9, 9) << QPointF(0.75, 0);
    QTest::newRow("no zoom, no pan") << 1.0 << QPointF(0.3, 0.3) << QPointF(0, 0);
    QTest::newRow("NaN delta ignored")
        << 2.0 << QPointF(std::numeric_limits<double>::quiet_NaN(), 0) << QPointF(0.25, 0.25);
}

void tst_CellZoom::panStopsAtThePictureEdges()
{
    QFETCH(double, factor);
    QFETCH(QPointF, delta);
    QFETCH(QPointF, origin);
    CellZoom zoom;
    zoom.zoomAt(QPointF(0.5, 0.5), factor);
    const QRectF before = zoom.visible();
    QCOMPARE(zoom.panBy(delta), before.topLeft() != origin);
    QCOMPARE(zoom.visible(), QRectF(origin, before.size()));
}

void tst_CellZoom::resetShowsTheWholePicture()
{
    CellZoom zoom;
    QVERIFY(zoom.zoomAt(QPointF(0.1, 0.9), 3.0));
    QVERIFY(zoom.panBy(QPointF(-0.2, 0.1)));
    QVERIFY(zoom.centreOn(QPointF(0.9, 0.5)));
    QCOMPARE(zoom.visible().center().x(), 1.0 - 0.5 / 3.0); // as far right as it goes
    QVERIFY(zoom.reset());
    QCOMPARE(zoom.factor(), 1.0);
    QCOMPARE(zoom.visible(), QRectF(0, 0, 1, 1));
    QVERIFY(!zoom.isZoomed());
    QVERIFY(!zoom.reset());
}

void tst_CellZoom::ratesOverTheLastSecond_data()
{
    QTest::addColumn<Samples>("samples");    // ms, frames received, bytes received, frames shown
    QTest::addColumn<double>("receivedFps"); // -1 = unknown
    QTest::addColumn<double>("shownFps");
    QTest::addColumn<double>("kbits");
    const quint64 top = std::numeric_limits<quint64>::max();
    QTest::newRow("steady 25 fps at 1 Mbit/s, 20 shown")
        << Samples{{0, 0, 0, 0}, {1000, 25, 125000, 20}} << 25.0 << 20.0 << 1000.0;
    QTest::newRow("half a second")
        << Samples{{0, 100, 0, 7}, {500, 110, 6250, 12}} << 20.0 << 10.0 << 100.0;
    QTest::newRow("older samples leave the window")
        << Samples{{0, 0, 0, 0}, {500, 100, 0, 0}, {1000, 110, 0, 0}, {1500, 120, 0, 0}} << 20.0
        << 0.0 << 0.0;
    QTest::newRow("one sample: unknown") << Samples{{1000, 5, 5, 5}} << -1.0 << -1.0 << -1.0;
    QTest::newRow("restarted stream: unknown, not negative")
        << Samples{{0, 1000, 900000, 50}, {1000, 10, 9000, 60}} << -1.0 << 10.0 << -1.0;
    QTest::newRow("wrapped counter: unknown, not negative")
        << Samples{{0, top - 4, top - 100, top}, {1000, 3, 50, 2}} << -1.0 << -1.0 << -1.0;
    QTest::newRow("sample from the past ignored")
        << Samples{{1000, 10, 0, 0}, {400, 0, 0, 0}} << -1.0 << -1.0 << -1.0;
}

void tst_CellZoom::ratesOverTheLastSecond()
{
    QFETCH(Samples, samples);
    QFETCH(double, receivedFps);
    QFETCH(double, shownFps);
    QFETCH(double, kbits);
    CellInfo info;
    for (const CellInfo::Sample &s : samples)
        info.add(s);
    const CellInfo::Rates rates = info.rates();
    QCOMPARE(orUnknown(rates.receivedFps), receivedFps);
    QCOMPARE(orUnknown(rates.shownFps), shownFps);
    QCOMPARE(orUnknown(rates.kbitPerSecond), kbits);
}

void tst_CellZoom::infoTextListsTheFigures()
{
    CellInfo::Facts facts{QSize(1280, 720), 78, true, {25.0, 24.5, 2048.4}};
    QCOMPARE(CellInfo::text(facts),
             QStringLiteral("1280\u00d7720  H.264  HD\n25.0 fps received, 24.5 fps shown\n"
                            "2048 kbit/s"));
    facts = CellInfo::Facts{QSize(), 0, false, {}};
    QCOMPARE(CellInfo::text(facts),
             QStringLiteral("-  -  SD\n- fps received, - fps shown\n- kbit/s"));
    QCOMPARE(CellInfo::codecName(80), QStringLiteral("H.265"));
    QCOMPARE(CellInfo::codecName(12), QStringLiteral("12"));
}

ORVANE_TEST_GUILESS_MAIN(tst_CellZoom)
#include "tst_cellzoom.moc"
