#include "diagnostics/SystemInfo.h"

#include <QtTest>

// Stands in for a widget: the scaling helpers need only these members.
struct FakeWidget
{
    QString sheet;
    QSize minSize;
    QSize maxSize;
    QPoint position;

    QString styleSheet() const { return sheet; }
    void setStyleSheet(const QString &s) { sheet = s; }
    QSize minimumSize() const { return minSize; }
    QSize maximumSize() const { return maxSize; }
    void setMinimumSize(const QSize &s) { minSize = s; }
    void setMaximumSize(const QSize &s) { maxSize = s; }
    QPoint pos() const { return position; }
    void move(const QPoint &p) { position = p; }
};

class TstSystemInfo : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { SystemInfo::instance()->setScale(1.0); }

    void scaleNeverBelowOne();
    void fontSizes_data();
    void fontSizes();
    void fontSheetRewritesEverySize();
    void radiusSheetScalesEachRadius();
    void styleSheetSwapsTheFontFamily();
    void sizeLimits();
    void positions();
    void widgetHelpers();
    void descriptions();
};

void TstSystemInfo::scaleNeverBelowOne()
{
    SystemInfo *s = SystemInfo::instance();
    QCOMPARE(s->scale(), 1.0);
    s->setScale(0.5);
    QCOMPARE(s->scale(), 1.0);
    s->setScale(1.75);
    QCOMPARE(s->scale(), 1.75);
    QVERIFY(SystemInfo::screenScale() >= 1.0);
    QCOMPARE(s->version(), QStringLiteral("1.7.1.209"));
}

void TstSystemInfo::fontSizes_data()
{
    QTest::addColumn<double>("scale");
    QTest::addColumn<int>("small");
    QTest::addColumn<int>("normal");
    QTest::addColumn<int>("large");
    QTest::newRow("1.0") << 1.0 << 10 << 12 << 18;
    QTest::newRow("1.5") << 1.5 << 15 << 18 << 27;
    QTest::newRow("1.25 truncates") << 1.25 << 12 << 15 << 22;
    QTest::newRow("2.0") << 2.0 << 20 << 24 << 36;
}

void TstSystemInfo::fontSizes()
{
    QFETCH(double, scale);
    QFETCH(int, small);
    QFETCH(int, normal);
    QFETCH(int, large);
    SystemInfo *s = SystemInfo::instance();
    s->setScale(scale);
    QCOMPARE(s->smallFontSize(), small);
    QCOMPARE(s->normalFontSize(), normal);
    QCOMPARE(s->largeFontSize(), large);
    QCOMPARE(s->fontSize(SystemInfo::Small), small);
    QCOMPARE(s->fontSize(7), normal); // unknown classes read as normal
}

void TstSystemInfo::fontSheetRewritesEverySize()
{
    SystemInfo *s = SystemInfo::instance();
    s->setScale(1.5);
    const QString sheet =
        QStringLiteral("color: #4e525a;font-size:11px;font-family: \"微软雅黑\";");
    QCOMPARE(s->scaleFontSheet(sheet, SystemInfo::Small),
             QStringLiteral("color: #4e525a;font-size:15px;font-family: \"微软雅黑\";"));
    // Other sizes in the sheet are left alone.
    QCOMPARE(s->scaleFontSheet(QStringLiteral("font-size:11px;border-radius:4px;width:20px"),
                               SystemInfo::Normal),
             QStringLiteral("font-size:18px;border-radius:4px;width:20px"));
    QCOMPARE(s->scaleFontSheet(QStringLiteral("a{font-size: 14px}b{font-size:9.5px}"),
                               SystemInfo::Large),
             QStringLiteral("a{font-size:27px}b{font-size:27px}"));
    QCOMPARE(s->scaleFontSheet(QStringLiteral("color:red"), SystemInfo::Large),
             QStringLiteral("color:red"));
}

void TstSystemInfo::radiusSheetScalesEachRadius()
{
    SystemInfo *s = SystemInfo::instance();
    s->setScale(1.5);
    QCOMPARE(s->scaleRadiusSheet(QStringLiteral("border:1px solid #ccc;\nborder-radius:14px;")),
             QStringLiteral("border:1px solid #ccc;\nborder-radius:21px;"));
    QCOMPARE(s->scaleRadiusSheet(QStringLiteral("a{border-radius:3px}b{border-radius:4px}")),
             QStringLiteral("a{border-radius:4px}b{border-radius:6px}"));
}

void TstSystemInfo::styleSheetSwapsTheFontFamily()
{
    SystemInfo *s = SystemInfo::instance();
    s->setScale(2.0);
    QCOMPARE(s->scaleStyleSheet(QStringLiteral(
                 "color:#6c6c6c;font-size:11px;font-family: \"微软雅黑\";font-weight:bold;")),
             QStringLiteral(
                 "color:#6c6c6c;font-size:24px;font-family: \"HELVETICA NEUE\";font-weight:bold;"));
}

void TstSystemInfo::sizeLimits()
{
    SystemInfo *s = SystemInfo::instance();
    s->setScale(1.5);
    QCOMPARE(s->scaledMaximumSize(QSize(101, 30)), QSize(151, 45));
    QCOMPARE(s->scaledMaximumSize(QSize(16777215, 4999)), QSize(16777215, 7498));
    QCOMPARE(s->scaledMaximumSize(QSize(5000, 20)), QSize(5000, 30));
    QCOMPARE(s->scaledMinimumSize(QSize(5000, 3)), QSize(7500, 4));
}

void TstSystemInfo::positions()
{
    SystemInfo *s = SystemInfo::instance();
    s->setScale(1.5);
    QCOMPARE(s->scaledPos(QPoint(11, 21)), QPoint(16, 31));
    QCOMPARE(s->scaledPos(QPoint(11, 21), 3), QPoint(21, 31));
    QCOMPARE(s->scaled(7), 10);
}

void TstSystemInfo::widgetHelpers()
{
    SystemInfo *s = SystemInfo::instance();
    s->setScale(2.0);
    FakeWidget w{QStringLiteral("font-size:11px;border-radius:4px"), QSize(10, 20),
                 QSize(16777215, 30), QPoint(5, 6)};
    s->scaleFont(&w, SystemInfo::Small);
    s->scaleRadius(&w);
    s->scaleSizeLimits(&w);
    s->scalePos(&w, 3);
    QCOMPARE(w.sheet, QStringLiteral("font-size:20px;border-radius:8px"));
    QCOMPARE(w.minSize, QSize(20, 40));
    QCOMPARE(w.maxSize, QSize(16777215, 60));
    QCOMPARE(w.position, QPoint(16, 12));
}

void TstSystemInfo::descriptions()
{
    SystemInfo *s = SystemInfo::instance();
    const QString os = s->osDescription();
    QVERIFY2(os.endsWith(QStringLiteral(" 64位")) || os.endsWith(QStringLiteral(" 32位")),
             qPrintable(os));
    QVERIFY(os.startsWith(QSysInfo::prettyProductName()));
    if (QSysInfo::WordSize == 64)
        QVERIFY(os.endsWith(QStringLiteral("64位")));
    // The adapter list may be empty on a machine without DRM devices, but
    // never holds empty lines.
    const QString gpu = s->gpuDescription();
    QVERIFY(!gpu.split(QLatin1Char('\n')).contains(QString()) || gpu.isEmpty());
}

QTEST_MAIN(TstSystemInfo)
#include "tst_systeminfo.moc"
