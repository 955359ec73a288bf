#include "link/ErrorText.h"

#include <QCoreApplication>
#include <QTranslator>
#include <QtTest>

// Replaces one text of context "QObject", as a loaded catalogue would.
class FakeCatalogue : public QTranslator
{
public:
    QString translate(const char *context, const char *sourceText, const char *, int) const override
    {
        if (QByteArray(context) == "QObject" && QByteArray(sourceText) == "Time out")
            return QStringLiteral("超时");
        return QString();
    }
    bool isEmpty() const override { return false; }
};

class TstErrorText : public QObject
{
    Q_OBJECT

private slots:
    void knownCodes_data();
    void knownCodes();
    void unknownCodes_data();
    void unknownCodes();
    void sharedTexts();
    void textsPassThroughTheTranslator();
};

void TstErrorText::knownCodes_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");
    QTest::newRow("-1") << -1 << QStringLiteral("No response");
    QTest::newRow("-2") << -2 << QStringLiteral("Cannot resolve domain name");
    QTest::newRow("-3") << -3 << QStringLiteral("Module already initialized");
    QTest::newRow("-4") << -4 << QStringLiteral("Fails to create Mutexes");
    QTest::newRow("-5") << -5 << QStringLiteral("Fails to create threads");
    QTest::newRow("-6") << -6 << QStringLiteral("Fails to create sockets");
    QTest::newRow("-7") << -7 << QStringLiteral("Fails to set up socket options");
    QTest::newRow("-8") << -8 << QStringLiteral("Fails to bind sockets");
    QTest::newRow("-10") << -10 << QStringLiteral("UID is not licensed or expired");
    QTest::newRow("-11") << -11 << QStringLiteral("Already login");
    QTest::newRow("-12") << -12 << QStringLiteral("Module is not initialized");
    QTest::newRow("-13") << -13 << QStringLiteral("Time out");
    QTest::newRow("-14") << -14 << QStringLiteral("SID invalid");
    QTest::newRow("-15") << -15 << QStringLiteral("Unknown device");
    QTest::newRow("-16") << -16 << QStringLiteral("Fails to get the local IP");
    QTest::newRow("-17") << -17 << QStringLiteral("Already start");
    QTest::newRow("-18") << -18 << QStringLiteral("Sessions has reached maximum");
    QTest::newRow("-19") << -19 << QStringLiteral("Cannot locate the specified device");
    QTest::newRow("-22") << -22 << QStringLiteral("Session already closes");
    QTest::newRow("-23") << -23 << QStringLiteral("Session timeout");
    QTest::newRow("-24") << -24 << QStringLiteral("Fails to connect to a device");
    QTest::newRow("-26") << -26 << QStringLiteral("Channel is not turned on");
    QTest::newRow("-27") << -27 << QStringLiteral("Client stops connecting");
    QTest::newRow("-28") << -28 << QStringLiteral("Too few masters are specified");
    QTest::newRow("-29") << -29 << QStringLiteral("A client fails to pass certification");
    QTest::newRow("-31") << -31 << QStringLiteral("The channels for a session has reached maximum");
    QTest::newRow("-32") << -32 << QStringLiteral("Cannot connect");
    QTest::newRow("-33") << -33 << QStringLiteral("Cannot connect");
    QTest::newRow("-34") << -34 << QStringLiteral("Client does not support mode");
    QTest::newRow("-35") << -35 << QStringLiteral("Client does not support mode");
    QTest::newRow("-36") << -36 << QStringLiteral("A device does not support this mode");
    QTest::newRow("-37") << -37 << QStringLiteral("A device does not support this mode");
    QTest::newRow("-39") << -39 << QStringLiteral("A device stops for this connections");
    QTest::newRow("-40") << -40 << QStringLiteral("No permission");
    QTest::newRow("-41") << -41 << QStringLiteral("Network unreachable");
    QTest::newRow("-42") << -42 << QStringLiteral("Client fails to connect device");
    QTest::newRow("-43") << -43 << QStringLiteral("Client fails to connect device");
    QTest::newRow("-44") << -44 << QStringLiteral("Device login or client connect failed");
    QTest::newRow("-45") << -45 << QStringLiteral("Duplicated loggin and may unconnectable");
    QTest::newRow("-46") << -46 << QStringLiteral("The arguments is invalid");
    QTest::newRow("-47") << -47 << QStringLiteral("The device not support partial encoding");
    QTest::newRow("-48") << -48 << QStringLiteral("Connect session exceed");
    QTest::newRow("-49") << -49 << QStringLiteral("Function is blocking,waiting");
    QTest::newRow("-50") << -50 << QStringLiteral("Session close");
    QTest::newRow("-53") << -53 << QStringLiteral("Buffer size exceed");
    QTest::newRow("-55") << -55 << QStringLiteral("Cannot find a path to write data");
    QTest::newRow("-56") << -56 << QStringLiteral("Start function is not called");
    QTest::newRow("-57") << -57 << QStringLiteral("Already in processing");
    QTest::newRow("-58") << -58 << QStringLiteral("Out of memory");
    QTest::newRow("-59") << -59 << QStringLiteral("The device is banned and locked");
    QTest::newRow("-60") << -60 << QStringLiteral("Master have no response");
    QTest::newRow("-61") << -61 << QStringLiteral("Moudule has some resource problem");
    QTest::newRow("-62") << -62 << QStringLiteral("Send queue is full");
    QTest::newRow("-63") << -63 << QStringLiteral("The feature is not supported");
    QTest::newRow("-64") << -64 << QStringLiteral("Device is in sleep mode");
    QTest::newRow("-65") << -65 << QStringLiteral("Doesn't support this feature");
    QTest::newRow("-66") << -66 << QStringLiteral("WakeUp Init funtion isn't called");
    QTest::newRow("-90") << -90 << QStringLiteral("Device offline");
    QTest::newRow("-91") << -91 << QStringLiteral("Master invalid");
    QTest::newRow("-20000") << -20000 << QStringLiteral("Arguments incorrect");
    QTest::newRow("-20001") << -20001 << QStringLiteral("Buffer is too small");
    QTest::newRow("-20002") << -20002 << QStringLiteral("The channels has reached maximum");
    QTest::newRow("-20003") << -20003 << QStringLiteral("Insufficient memory");
    QTest::newRow("-20004") << -20004 << QStringLiteral("Fails to create threads");
    QTest::newRow("-20005") << -20005 << QStringLiteral("A warning error");
    QTest::newRow("-20006") << -20006 << QStringLiteral("The buffer to be sent exceeds");
    QTest::newRow("-20007") << -20007 << QStringLiteral("Has no response");
    QTest::newRow("-20008") << -20008 << QStringLiteral("Client does not start");
    QTest::newRow("-20009") << -20009 << QStringLiteral("Incorrect view account or password");
    QTest::newRow("-20010") << -20010 << QStringLiteral("Session is not valid");
    QTest::newRow("-20011") << -20011 << QStringLiteral("Timeout has expired");
    QTest::newRow("-20012") << -20012 << QStringLiteral("Not ready for receiving");
    QTest::newRow("-20013") << -20013 << QStringLiteral("Some parts of a frame are lost");
    QTest::newRow("-20014") << -20014 << QStringLiteral("The whole frame is lost");
    QTest::newRow("-20015") << -20015 << QStringLiteral("The remote session already closes");
    QTest::newRow("-20016") << -20016 << QStringLiteral("Session is disconnected");
    QTest::newRow("-20017") << -20017 << QStringLiteral("Server exit");
    QTest::newRow("-20018") << -20018 << QStringLiteral("Client exit");
    QTest::newRow("-20019") << -20019 << QStringLiteral("Module has not been initialized");
    QTest::newRow("-20020") << -20020 << QStringLiteral("Client cannot send data");
    QTest::newRow("-20021") << -20021 << QStringLiteral("Already in sending");
    QTest::newRow("-20022") << -20022 << QStringLiteral("Sending  is terminated ");
    QTest::newRow("-20023") << -20023 << QStringLiteral("No permission");
    QTest::newRow("-20024") << -20024 << QStringLiteral("Password length is wrong");
    QTest::newRow("-20025") << -20025 << QStringLiteral("Session has been closed");
    QTest::newRow("-20026") << -20026 << QStringLiteral("Moudule deinitialized");
    QTest::newRow("-20027") << -20027 << QStringLiteral("Channel is used");
    QTest::newRow("-20028") << -20028 << QStringLiteral("Waiting key frame");
    QTest::newRow("-20029") << -20029 << QStringLiteral("Reset buffer");
    QTest::newRow("-20030") << -20030 << QStringLiteral("Queue is full");
    QTest::newRow("-20031") << -20031 << QStringLiteral("Module is already initialized");
    QTest::newRow("-20032") << -20032 << QStringLiteral("Clean buffer ");
}

void TstErrorText::knownCodes()
{
    QFETCH(int, code);
    QFETCH(QString, text);
    QCOMPARE(errorText(code), text);
}

void TstErrorText::unknownCodes_data()
{
    QTest::addColumn<int>("code");
    for (int code : {0,   1,   42,  -9,  -20,   -21,    -25,    -30,    -38,     -51,    -52,
                     -54, -67, -89, -92, -1000, -19999, -20033, -30000, INT_MIN, INT_MAX})
        QTest::newRow(QByteArray::number(code).constData()) << code;
}

void TstErrorText::unknownCodes()
{
    QFETCH(int, code);
    QCOMPARE(errorText(code), QStringLiteral("No process:") + QString::number(code));
}

void TstErrorText::sharedTexts()
{
    QCOMPARE(errorText(-40), errorText(-20023));
    QCOMPARE(errorText(-32), errorText(-33));
    QCOMPARE(errorText(-34), errorText(-35));
    QCOMPARE(errorText(-36), errorText(-37));
    QCOMPARE(errorText(-42), errorText(-43));
    QCOMPARE(errorText(-5), errorText(-20004));
    QCOMPARE(errorText(0), QStringLiteral("No process:0"));
    QCOMPARE(errorText(-20022), QStringLiteral("Sending  is terminated "));
    QCOMPARE(errorText(-20032), QStringLiteral("Clean buffer "));
}

void TstErrorText::textsPassThroughTheTranslator()
{
    FakeCatalogue catalogue;
    QVERIFY(QCoreApplication::installTranslator(&catalogue));
    QCOMPARE(errorText(-13), QStringLiteral("超时"));
    QCOMPARE(errorText(-1), QStringLiteral("No response"));
    QCOMPARE(errorText(-9), QStringLiteral("No process:-9"));
    QCoreApplication::removeTranslator(&catalogue);
    QCOMPARE(errorText(-13), QStringLiteral("Time out"));
}

QTEST_GUILESS_MAIN(TstErrorText)
#include "tst_errortext.moc"
