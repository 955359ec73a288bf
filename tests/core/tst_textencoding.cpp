#include "config/TextEncoding.h"

#include <QtTest>
#include "TestMain.h"

using namespace Qt::StringLiterals;

class TstTextEncoding : public QObject
{
    Q_OBJECT

private slots:
    void roundTrip_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("empty") << QString();
        QTest::newRow("ascii") << u"Admin"_s;
        QTest::newRow("chinese") << u"客厅摄像头"_s;
        QTest::newRow("form characters") << u"p@ss&w=rd+/ 1"_s;
        QTest::newRow("long") << QString(500, QLatin1Char('x'));
        QTest::newRow("emoji") << u"门口 \U0001F600"_s;
    }

    void roundTrip()
    {
        QFETCH(QString, text);
        for (int i = 0; i < 20; ++i)
            QCOMPARE(decodeText(encodeText(text)), text);
    }

    void equalTextsAreStoredAsDifferentBase64()
    {
        static const QRegularExpression base64(u"^[A-Za-z0-9+/]+=*$"_s);
        const QString a = encodeText(u"UID-客厅"_s);
        QString b;
        // Random prefixes: a repeat of all six characters has odds of about 1e-9.
        for (int i = 0; i < 5 && (b.isEmpty() || b == a); ++i)
            b = encodeText(u"UID-客厅"_s);
        QVERIFY(a != b);
        QCOMPARE(decodeText(a), decodeText(b));
        QVERIFY2(base64.match(a).hasMatch(), qPrintable(a));
        QVERIFY(!a.contains(u"UID"_s));
    }

    void decodesValuesOfAnIndependentEncoder_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("text");
        QTest::newRow("Admin") << u"Y2MzRmFWMHA1VVZkU2RHRlhOV3haYmtrOWMzRT1j"_s << u"Admin"_s;
        QTest::newRow("chinese")
            << u"OWFEbFpNMHA2TldFMmFUVlpOa1kxY0VkRk5WbFBVRFZoVXpCWk0wcDZhRGs9OQ=="_s
            << u"客厅摄像头"_s;
        QTest::newRow("form characters")
            << u"dlpUbE5SRUY1WTBWQ2VtTjVXak5RV0VwclMzazRaMDFVUVhkTlp6MDlaVGs9dg=="_s
            << u"p@ss&w=rd+/ 1"_s;
    }

    void decodesValuesOfAnIndependentEncoder()
    {
        QFETCH(QString, stored);
        QFETCH(QString, text);
        QCOMPARE(decodeText(stored), text);
    }

    void malformedValuesDecodeToEmpty_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::newRow("empty") << QString();
        QTest::newRow("plain text") << u"Admin"_s;
        QTest::newRow("not base64") << u"!!!!****"_s;
        QTest::newRow("one round only") << QString::fromLatin1(QByteArray("aAdmina").toBase64());
        QTest::newRow("too short") << u"YQ=="_s;
        QTest::newRow("two bytes") << u"YWI="_s;
        QTest::newRow("chinese characters") << u"客厅摄像头"_s;
        // Valid outer rounds around bytes that are not UTF-8.
        const QByteArray inner = QByteArray("abc\xff\xfe\xfd"
                                            "abc")
                                     .toBase64();
        const QByteArray middle = QByteArray("xy" + inner + "xy").toBase64();
        QTest::newRow("invalid utf-8")
            << QString::fromLatin1(QByteArray("z" + middle + "z").toBase64());
        QTest::newRow("truncated") << u"Y2MzRmFWMHA1VVZkU2RHRlhO"_s;
    }

    void malformedValuesDecodeToEmpty()
    {
        QFETCH(QString, stored);
        QCOMPARE(decodeText(stored), QString());
    }
};

ORVANE_TEST_GUILESS_MAIN(TstTextEncoding)
#include "tst_textencoding.moc"
