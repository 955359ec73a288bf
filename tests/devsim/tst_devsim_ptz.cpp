// devsim's PTZ camera and settings read-back through the P2P client surface: a movement runs
// until its stop and ends by itself when the stop is lost, short and long forms, presets, and
// the SETTINGS line after time, zone and Wi-Fi changes.

#include "LinkSupport.h"

#include <QRegularExpression>
#include <QtTest>
#include "TestMain.h"

using namespace linktest;

namespace {

constexpr std::uint32_t PtzShort = 0x1001, PtzLong = 0x1012;
const char *const Uid = "PTZCAM000000000001";

QByteArray shortCmd(int command, int speed)
{
    QByteArray p(8, '\0');
    p[0] = char(command);
    p[1] = char(speed);
    return p;
}

QByteArray longCmd(int command, int speed, int extra)
{
    QByteArray p = u32s({0, 0, 0});
    p[0] = char(command);
    p[1] = char(speed);
    p[8] = char(extra);
    return p;
}

} // namespace

class tst_DevsimPtz : public QObject
{
    Q_OBJECT

    DevsimLink link;

    // Sends a PTZ message and returns the pan of the status line that answers it.
    double send(std::uint32_t type, const QByteArray &payload, const QString &name)
    {
        const int mark = link.sim.lineCount();
        if (sendIo(link.av, type, payload) < 0)
            return -1;
        QRegularExpressionMatch m;
        const QRegularExpression re(
            QStringLiteral("^PTZ %1/0 %2 pos=([0-9.]+),([0-9.]+) zoom=([0-9.]+)$")
                .arg(QLatin1String(Uid), name));
        if (link.sim.waitForLineFrom(mark, re, 3000, &m) < 0)
            return -1;
        return m.captured(1).toDouble();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(link.open({"--uid", Uid, "--ptz", "--print-settings", "--password", "ptz"},
                          randomDiscoveryPort(), "admin", "ptz"));
    }

    void movesUntilStoppedAndStopsByItselfWhenTheStopIsLost()
    {
        const double start = send(PtzShort, shortCmd(4, 8), QStringLiteral("right"));
        QVERIFY(start >= 0);
        QTest::qWait(1000);
        const double stopped = send(PtzShort, shortCmd(0, 8), QStringLiteral("stop"));
        QVERIFY2(stopped - start > 0.1 && stopped - start < 0.25,
                 qPrintable(QString::number(stopped - start)));
        QTest::qWait(300);
        QCOMPARE(send(PtzLong, longCmd(1, 1, 0), QStringLiteral("left")), stopped); // long form
        QVERIFY(link.sim.waitForLine(
            QRegularExpression(QStringLiteral("^PTZ %1/0 timeout-stop ").arg(QLatin1String(Uid))),
            6000));
    }

    void presetReturnsToItsPosition()
    {
        const double at = send(PtzLong, longCmd(15, 0, 1), QStringLiteral("preset-set-1"));
        QVERIFY(at >= 0);
        send(PtzLong, longCmd(2, 8, 0), QStringLiteral("right"));
        QTest::qWait(500);
        QVERIFY(send(PtzLong, longCmd(0, 8, 0), QStringLiteral("stop")) > at);
        QCOMPARE(send(PtzLong, longCmd(16, 0, 1), QStringLiteral("preset-go-1")), at);
        QCOMPARE(send(PtzShort, shortCmd(5, 0), QStringLiteral("preset-set-1")), at); // short form
    }

    void settingsAreReadBack()
    {
        QVERIFY(sendIo(link.av, 0x332E, QByteArray("GMT+01:00 Europe/Berlin")) >= 0);
        QVERIFY(link.sim.waitForLine(QRegularExpression("^SETTINGS \\S+ time=- zone=GMT\\+01:00 "),
                                     3000));
        QByteArray wifi(76, '\0');
        wifi.replace(0, 5, "lab5G");
        wifi.replace(32, 4, "p@ss");
        QVERIFY(sendIo(link.av, 0x0342, wifi) >= 0);
        const QString digest = QString::fromLatin1(
            QCryptographicHash::hash("p@ss", QCryptographicHash::Sha256).toHex());
        QVERIFY(link.sim.waitForLine(
            QRegularExpression(QStringLiteral("ssid=%1 password-sha256=%2$")
                                   .arg(QLatin1String(QByteArray("lab5G").toHex()), digest)),
            3000));
    }
};

ORVANE_TEST_GUILESS_MAIN(tst_DevsimPtz)
#include "tst_devsim_ptz.moc"
