#include "config/TextEncoding.h"

#include <QtTest>

class TstTextEncoding : public QObject
{
    Q_OBJECT

private slots:
    void roundTrip_data();
    void roundTrip();
    void equalTextsEncodeDifferently();
    void encodedValueIsPlainBase64();
    void decodesValuesOfAnIndependentEncoder_data();
    void decodesValuesOfAnIndependentEncoder();
    void malformedValuesDecodeToEmpty_data();
    void malformedValuesDecodeToEmpty();
};

void TstTextEncoding::roundTrip_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << QString();
    QTest::newRow("ascii") << QStringLiteral("Admin");
    QTest::newRow("chinese") << QStringLiteral("客厅摄像头");
    QTest::newRow("form characters") << QStringLiteral("p@ss&w=rd+/ 1");
    QTest::newRow("long") << QString(500, QLatin1Char('x'));
    QTest::newRow("emoji") << QStringLiteral("门口 \U0001F600");
}

void TstTextEncoding::roundTrip()
{
    QFETCH(QString, text);
    for (int i = 0; i < 20; ++i)
        QCOMPARE(decodeText(encodeText(text)), text);
}

void TstTextEncoding::equalTextsEncodeDifferently()
{
    const QString a = encodeText(QStringLiteral("客厅摄像头"));
    QString b;
    // Random prefixes: a repeat of all six characters has odds of about 1e-9.
    for (int i = 0; i < 5 && (b.isEmpty() || b == a); ++i)
        b = encodeText(QStringLiteral("客厅摄像头"));
    QVERIFY(a != b);
    QCOMPARE(decodeText(a), decodeText(b));
}

void TstTextEncoding::encodedValueIsPlainBase64()
{
    static const QRegularExpression base64(QStringLiteral("^[A-Za-z0-9+/]+=*$"));
    const QString stored = encodeText(QStringLiteral("UID-123"));
    QVERIFY2(base64.match(stored).hasMatch(), qPrintable(stored));
    QVERIFY(!stored.contains(QStringLiteral("UID")));
}

void TstTextEncoding::decodesValuesOfAnIndependentEncoder_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("text");
    QTest::newRow("Admin") << QStringLiteral("Y2MzRmFWMHA1VVZkU2RHRlhOV3haYmtrOWMzRT1j")
                           << QStringLiteral("Admin");
    QTest::newRow("chinese")
        << QStringLiteral("OWFEbFpNMHA2TldFMmFUVlpOa1kxY0VkRk5WbFBVRFZoVXpCWk0wcDZhRGs9OQ==")
        << QStringLiteral("客厅摄像头");
    QTest::newRow("form characters")
        << QStringLiteral("dlpUbE5SRUY1WTBWQ2VtTjVXak5RV0VwclMzazRaMDFVUVhkTlp6MDlaVGs9dg==")
        << QStringLiteral("p@ss&w=rd+/ 1");
}

void TstTextEncoding::decodesValuesOfAnIndependentEncoder()
{
    QFETCH(QString, stored);
    QFETCH(QString, text);
    QCOMPARE(decodeText(stored), text);
}

void TstTextEncoding::malformedValuesDecodeToEmpty_data()
{
    QTest::addColumn<QString>("stored");
    QTest::newRow("empty") << QString();
    QTest::newRow("plain text") << QStringLiteral("Admin");
    QTest::newRow("not base64") << QStringLiteral("!!!!****");
    QTest::newRow("one round only") << QString::fromLatin1(QByteArray("aAdmina").toBase64());
    QTest::newRow("too short") << QStringLiteral("YQ==");
    QTest::newRow("two bytes") << QStringLiteral("YWI=");
    QTest::newRow("chinese characters") << QStringLiteral("客厅摄像头");
    // Valid outer rounds around bytes that are not UTF-8.
    const QByteArray inner = QByteArray("abc\xff\xfe\xfd"
                                        "abc")
                                 .toBase64();
    const QByteArray middle = QByteArray("xy" + inner + "xy").toBase64();
    QTest::newRow("invalid utf-8")
        << QString::fromLatin1(QByteArray("z" + middle + "z").toBase64());
    QTest::newRow("truncated") << QStringLiteral("Y2MzRmFWMHA1VVZkU2RHRlhO");
}

void TstTextEncoding::malformedValuesDecodeToEmpty()
{
    QFETCH(QString, stored);
    QCOMPARE(decodeText(stored), QString());
}

QTEST_GUILESS_MAIN(TstTextEncoding)
#include "tst_textencoding.moc"
