#include "link/ErrorText.h"

#include <QCoreApplication>
#include <QTranslator>
#include <QtTest>
#include "TestMain.h"

using namespace Qt::StringLiterals;

// Replaces one text of context "QObject", as a loaded catalogue would.
class FakeCatalogue : public QTranslator
{
public:
    QString translate(const char *context, const char *sourceText, const char *, int) const override
    {
        if (QByteArray(context) == "QObject" && QByteArray(sourceText) == "Time out")
            return u"超时"_s;
        return QString();
    }
    bool isEmpty() const override { return false; }
};

class TstErrorText : public QObject
{
    Q_OBJECT

private slots:
    void codes_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("text");
        QTest::newRow("session layer") << -13 << u"Time out"_s;
        QTest::newRow("session layer, last") << -91 << u"Master invalid"_s;
        // Texts are kept exactly, inner and trailing spaces included.
        QTest::newRow("AV layer") << -20022 << u"Sending  is terminated "_s;
        QTest::newRow("AV layer, last") << -20032 << u"Clean buffer "_s;
        QTest::newRow("zero") << 0 << u"No process:0"_s;
        QTest::newRow("gap in the session codes") << -9 << u"No process:-9"_s;
        QTest::newRow("past the session codes") << -92 << u"No process:-92"_s;
        QTest::newRow("past the AV codes") << -20033 << u"No process:-20033"_s;
        QTest::newRow("positive") << 42 << u"No process:42"_s;
        QTest::newRow("INT_MIN") << INT_MIN << u"No process:-2147483648"_s;
    }

    void codes()
    {
        QFETCH(int, code);
        QFETCH(QString, text);
        QCOMPARE(errorText(code), text);
    }

    void textsPassThroughTheTranslator()
    {
        FakeCatalogue catalogue;
        QVERIFY(QCoreApplication::installTranslator(&catalogue));
        QCOMPARE(errorText(-13), u"超时"_s);
        QCOMPARE(errorText(-1), u"No response"_s);
        QCOMPARE(errorText(-9), u"No process:-9"_s);
        QCoreApplication::removeTranslator(&catalogue);
        QCOMPARE(errorText(-13), u"Time out"_s);
    }
};

ORVANE_TEST_GUILESS_MAIN(TstErrorText)
#include "tst_errortext.moc"
