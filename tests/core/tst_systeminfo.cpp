#include "diagnostics/SystemInfo.h"

#include <QtTest>
#include "TestMain.h"

using namespace Qt::StringLiterals;

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

    void scaleNeverBelowOne()
    {
        SystemInfo *s = SystemInfo::instance();
        QCOMPARE(s->scale(), 1.0);
        s->setScale(0.5);
        QCOMPARE(s->scale(), 1.0);
        s->setScale(1.75);
        QCOMPARE(s->scale(), 1.75);
    }

    void styleSheetsFollowTheScale()
    {
        SystemInfo *s = SystemInfo::instance();
        s->setScale(1.5);
        const QString sheet = u"color: #4e525a;font-size:11px;font-family: \"微软雅黑\";"_s;
        QCOMPARE(s->scaleFontSheet(sheet, SystemInfo::Small),
                 u"color: #4e525a;font-size:15px;font-family: \"微软雅黑\";"_s);
        // Other sizes in the sheet are left alone.
        QCOMPARE(
            s->scaleFontSheet(u"font-size:11px;border-radius:4px;width:20px"_s, SystemInfo::Normal),
            u"font-size:18px;border-radius:4px;width:20px"_s);
        QCOMPARE(s->scaleFontSheet(u"a{font-size: 14px}b{font-size:9.5px}"_s, SystemInfo::Large),
                 u"a{font-size:27px}b{font-size:27px}"_s);
        QCOMPARE(s->scaleFontSheet(u"color:red"_s, SystemInfo::Large), u"color:red"_s);
        QCOMPARE(s->scaleRadiusSheet(u"border:1px solid #ccc;\nborder-radius:14px;"_s),
                 u"border:1px solid #ccc;\nborder-radius:21px;"_s);
        QCOMPARE(s->scaleRadiusSheet(u"a{border-radius:3px}b{border-radius:4px}"_s),
                 u"a{border-radius:4px}b{border-radius:6px}"_s);
        s->setScale(2.0);
        QCOMPARE(
            s->scaleStyleSheet(QStringLiteral(
                "color:#6c6c6c;font-size:11px;font-family: \"微软雅黑\";font-weight:bold;")),
            QStringLiteral(
                "color:#6c6c6c;font-size:24px;font-family: \"HELVETICA NEUE\";font-weight:bold;"));
    }

    void geometryFollowsTheScale()
    {
        SystemInfo *s = SystemInfo::instance();
        s->setScale(1.5);
        QCOMPARE(s->scaledMaximumSize(QSize(101, 30)), QSize(151, 45));
        QCOMPARE(s->scaledMaximumSize(QSize(16777215, 4999)), QSize(16777215, 7498));
        QCOMPARE(s->scaledMaximumSize(QSize(5000, 20)), QSize(5000, 30));
        QCOMPARE(s->scaledMinimumSize(QSize(5000, 3)), QSize(7500, 4));
        QCOMPARE(s->scaledPos(QPoint(11, 21)), QPoint(16, 31));
        QCOMPARE(s->scaledPos(QPoint(11, 21), 3), QPoint(21, 31));
        QCOMPARE(s->scaled(7), 10);

        s->setScale(2.0);
        FakeWidget w{u"font-size:11px;border-radius:4px"_s, QSize(10, 20), QSize(16777215, 30),
                     QPoint(5, 6)};
        s->scaleFont(&w, SystemInfo::Small);
        s->scaleRadius(&w);
        s->scaleSizeLimits(&w);
        s->scalePos(&w, 3);
        QCOMPARE(w.sheet, u"font-size:20px;border-radius:8px"_s);
        QCOMPARE(w.minSize, QSize(20, 40));
        QCOMPARE(w.maxSize, QSize(16777215, 60));
        QCOMPARE(w.position, QPoint(16, 12));
    }
};

ORVANE_TEST_MAIN(TstSystemInfo)
#include "tst_systeminfo.moc"
