// PTZ and the device options end to end: the real main window against two
// devsim cameras (a PTZ camera, and one that refuses time-zone changes).
// Holding "right" moves the picture in the cell the expected way and the
// release stops it; a preset brings the picture back; the options page sets
// zone then time (a clock that agrees with the zone, daylight-saving time
// included), shows a refused zone, and its Wi-Fi QR code reads back as the
// entered network.

#include "DevsimProcess.h"
#include "E2eClient.h"

#include "admin/DevManage.h"
#include "admin/DevOpt.h"
#include "admin/QRWindow.h"
#include "app/MainWindow.h"
#include "devtree/MenuDevList.h"
#include "devtree/MenuListDev.h"
#include "link/IoConnect.h"
#include "model/Channel.h"
#include "model/Dev.h"
#include "model/Device.h"
#include "ptz/MenuPtz.h"
#include "ptz/Point.h"
#include "ptz/PtzBtn.h"
#include "view/GlWidgetViewWindow.h"
#include "view/ViewControl.h"
#include "view/WallSurface.h"

#include <QComboBox>
#include <QCryptographicHash>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>
#include "TestMain.h"

namespace {

const QString PtzUid = QStringLiteral("E2EPTZCAM000000001");
const QString StubbornUid = QStringLiteral("E2EPTZCAM000000002");

struct Shift
{
    int dx = 0;         // after(x) matches before(x + dx): positive when the scene moved left
    double error = 1e9; // mean absolute grey difference at that shift
};

// The horizontal shift between two pictures of the same scene, from the grey
// levels of the rows below the clock text.
Shift horizontalShift(const QImage &before, const QImage &after)
{
    const int w = 320;
    const QImage a = before.scaledToWidth(w).convertToFormat(QImage::Format_Grayscale8);
    const QImage b = after.scaled(a.size()).convertToFormat(QImage::Format_Grayscale8);
    Shift best;
    for (int dx = -w / 2; dx <= w / 2; ++dx) {
        qint64 sum = 0;
        qint64 n = 0;
        for (int y = a.height() * 2 / 5; y < a.height() * 9 / 10; y += 2) {
            const uchar *ra = a.constScanLine(y);
            const uchar *rb = b.constScanLine(y);
            for (int x = qMax(0, -dx); x < qMin(w, w - dx); ++x) {
                sum += qAbs(int(rb[x]) - int(ra[x + dx]));
                ++n;
            }
        }
        const double error = n ? double(sum) / double(n) : 1e9;
        if (error < best.error)
            best = {dx, error};
    }
    return best;
}

// Device time text "y-M-d-h-m-s" and zone "GMT+hh:mm" back to UTC seconds.
qint64 deviceUtc(const QString &time, const QString &zone)
{
    const QStringList f = time.split(QLatin1Char('-'));
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("^GMT(?:([+-])(\\d\\d):(\\d\\d))?$")).match(zone);
    if (f.size() != 6 || !m.hasMatch())
        return -1;
    const QDateTime wall(QDate(f[0].toInt(), f[1].toInt(), f[2].toInt()),
                         QTime(f[3].toInt(), f[4].toInt(), f[5].toInt()), QTimeZone::utc());
    const int offset = (m.captured(1) == QLatin1String("-") ? -1 : 1) *
                       (m.captured(2).toInt() * 3600 + m.captured(3).toInt() * 60);
    return wall.toSecsSinceEpoch() - offset;
}

} // namespace

class tst_E2ePtz : public QObject
{
    Q_OBJECT

    QTemporaryDir settingsDir;
    DevsimProcess sim;
    E2eClient client;
    MainWindow *window = nullptr;
    Channel *ptz = nullptr;
    Channel *stubborn = nullptr;

    void saveArtifact(const QImage &image, const QString &name)
    {
        const QString dir = qEnvironmentVariable("ORVANE_TEST_ARTIFACTS");
        if (!dir.isEmpty() && QDir().mkpath(dir))
            image.save(QDir(dir).filePath(name));
    }
    // The cell's picture once the stream has caught up with the camera.
    QImage settledPicture()
    {
        QTest::qWait(700);
        return ViewControl::instance()->cellOf(ptz)->grabFramebuffer();
    }
    // The index of the first SETTINGS line of uid from line `from` on, or -1.
    int settingsLine(int from, const QString &uid, QRegularExpressionMatch *match)
    {
        const QRegularExpression re(QStringLiteral("^SETTINGS %1 time=(\\S+) zone=(\\S+) "
                                                   "ssid=(\\S+) password-sha256=(\\S+)$")
                                        .arg(uid));
        int at = -1;
        (void)QTest::qWaitFor([&] { return (at = sim.waitForLineFrom(from, re, 20)) >= 0; }, 10000);
        if (at >= 0)
            *match = re.match(sim.lines().at(at));
        return at;
    }
    bool ptzLine(int from, const QString &command)
    {
        const QRegularExpression re("^PTZ " + PtzUid + "/0 " + command + " ");
        return QTest::qWaitFor([&] { return sim.waitForLineFrom(from, re, 20) >= 0; }, 5000);
    }
    void holdRight(int ms)
    {
        const int mark = sim.lineCount();
        PtzBtn *right = window->ptzPanel()->button(3);
        QTest::mousePress(right, Qt::LeftButton);
        QTest::qWait(ms);
        QTest::mouseRelease(right, Qt::LeftButton);
        QVERIFY(ptzLine(mark, QStringLiteral("stop")));
    }

private slots:
    void initTestCase()
    {
        QVERIFY(settingsDir.isValid());
        E2eClient::useSettings(settingsDir.path());
        QJsonArray devices;
        devices.append(QJsonObject{{"uid", PtzUid}, {"type", 10}, {"ptz", true}});
        devices.append(QJsonObject{{"uid", StubbornUid}, {"type", 7}, {"refuse-timezone", true}});
        const QString config = settingsDir.filePath(QStringLiteral("devices.json"));
        QFile file(config);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QJsonDocument(devices).toJson());
        file.close();
        const quint16 discovery = DevsimProcess::anyDiscoveryPort();
        sim.setDiscoveryPort(discovery);
        QVERIFY2(sim.start(
                     {"--config", config, "--password", "pw", "--print-settings", "--gop", "1"}, 2),
                 qPrintable(sim.errorText()));
        DevsimProcess::pointClientAt({&sim}, discovery);
        QVERIFY(E2eClient::registerDevice(PtzUid, QStringLiteral("pw"), 1, 10));
        QVERIFY(E2eClient::registerDevice(StubbornUid, QStringLiteral("pw"), 1, 7));
        window = client.show();
        QVERIFY(QTest::qWaitForWindowExposed(client.host.get()));
        QTRY_VERIFY_WITH_TIMEOUT(Dev::instance()->deviceByUid(PtzUid) &&
                                     Dev::instance()->deviceByUid(StubbornUid),
                                 10000);
        ptz = Dev::instance()->deviceByUid(PtzUid)->channel(0);
        stubborn = Dev::instance()->deviceByUid(StubbornUid)->channel(0);
        for (MenuListDev *row : window->devList()->rows())
            if (row->device() == ptz->device())
                emit row->rowOf(ptz)->doubleClicked(row->rowOf(ptz));
        QTRY_VERIFY_WITH_TIMEOUT(
            ViewControl::instance()->cellOf(ptz) &&
                !ViewControl::instance()->cellOf(ptz)->grabFramebuffer().isNull(),
            30000);
        Dev::instance()->setSelectedChannel(ptz);
        // The PTZ section of the side column, opened as the user does.
        QTest::mouseClick(window->findChild<QWidget *>("label_deviceManageMenu_fold"),
                          Qt::LeftButton);
        QTRY_VERIFY(window->ptzPanel()->isVisible());
    }
    void cleanupTestCase()
    {
        client.host.reset();
        sim.stop();
    }

    void holdingRightMovesThePictureAndTheReleaseStopsIt()
    {
        auto *step = window->ptzPanel()->findChild<QComboBox *>();
        step->setCurrentIndex(1); // step 2: a fifth of the view per second
        const QImage before = settledPicture();
        holdRight(1000);
        const QImage after = settledPicture();
        saveArtifact(before, QStringLiteral("ptz-before.png"));
        saveArtifact(after, QStringLiteral("ptz-after.png"));
        saveArtifact(WallSurface::grab(client.host.get()).toImage(),
                     QStringLiteral("ptz-window.png"));
        const Shift moved = horizontalShift(before, after);
        qInfo("moved by %d of 320 (error %.1f)", moved.dx, moved.error);
        QVERIFY2(moved.dx >= 20 && moved.error < 20, "the scene did not move left");
        // Stopped: the picture stands still.
        const Shift still = horizontalShift(after, settledPicture());
        QVERIFY2(qAbs(still.dx) <= 2, qPrintable(QString::number(still.dx)));
    }

    void aPresetBringsThePictureBack()
    {
        Point *points = window->ptzPanel()->pointPanel();
        int mark = sim.lineCount();
        QTest::mouseClick(points->addButton(), Qt::LeftButton);
        QVERIFY(ptzLine(mark, QStringLiteral("preset-set-1")));
        const QImage home = settledPicture();
        holdRight(800);
        QVERIFY(horizontalShift(home, settledPicture()).dx >= 10);
        mark = sim.lineCount();
        QTest::mouseClick(points->goButton(), Qt::LeftButton);
        QVERIFY(ptzLine(mark, QStringLiteral("preset-go-1")));
        const Shift back = horizontalShift(home, settledPicture());
        QVERIFY2(qAbs(back.dx) <= 3 && back.error < 20,
                 qPrintable(QStringLiteral("%1 / %2").arg(back.dx).arg(back.error)));
    }

    // Zone first, then the time; the two agree on the moment, whatever the
    // zone's daylight-saving state (Sydney in December, Berlin in July).
    void zoneThenTimeArriveInOrder_data()
    {
        QTest::addColumn<QString>("zone");
        QTest::newRow("Sydney") << QStringLiteral("Australia/Sydney");
        QTest::newRow("Berlin") << QStringLiteral("Europe/Berlin");
        QTest::newRow("Shanghai") << QStringLiteral("Asia/Shanghai");
    }
    void zoneThenTimeArriveInOrder()
    {
        QFETCH(QString, zone);
        if (!window->devOptions()) {
            window->openDevManage(nullptr);
            window->devManage()->selectTab(DevManage::DevOptTab);
        }
        DevOpt *page = window->devOptions();
        QVERIFY(page);
        Dev::instance()->setSelectedChannel(ptz);
        const int index = page->zoneBox()->findText(zone);
        QVERIFY(index >= 0);
        page->selectZone(index);
        const int mark = sim.lineCount();
        QTest::mouseClick(page->findChild<QPushButton *>("pushButton_timeSubmit"), Qt::LeftButton);
        QRegularExpressionMatch first, second;
        const int at = settingsLine(mark, PtzUid, &first);
        QVERIFY(at >= 0);
        const QString sentZone =
            DevOpt::deviceZoneText(QTimeZone(zone.toLatin1()), QDateTime::currentDateTime());
        QCOMPARE(first.captured(2), sentZone);
        QVERIFY(settingsLine(at + 1, PtzUid, &second) > at);
        QCOMPARE(second.captured(2), sentZone);
        QVERIFY(first.captured(1) != second.captured(1)); // the time came after the zone
        const qint64 utc = deviceUtc(second.captured(1), sentZone);
        QVERIFY2(qAbs(utc - QDateTime::currentSecsSinceEpoch()) <= 5,
                 qPrintable(second.captured(0)));
        QTRY_COMPARE(page->alertText(), QStringLiteral("时间修改成功"));
    }

    void refusedZoneSendsNoTime()
    {
        DevOpt *page = window->devOptions();
        QVERIFY(page);
        Dev::instance()->setSelectedChannel(stubborn);
        const int mark = sim.lineCount();
        QTest::mouseClick(page->findChild<QPushButton *>("pushButton_timeSubmit"), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(page->alertText(), QStringLiteral("[0]设备无法修改时区"), 15000);
        QTest::qWait(1000);
        // The zone message arrived (devsim reports it though it refused it); no time followed.
        const QStringList lines =
            sim.lines().mid(mark).filter(QStringLiteral("SETTINGS ") + StubbornUid);
        QCOMPARE(lines.size(), 1);
        QVERIFY2(lines.first().contains(QStringLiteral(" time=- zone=- ")),
                 qPrintable(lines.first()));
        // A result for another channel leaves the page alone.
        emit IoConnect::instance()->setTimeSuccessMsg(ptz);
        QCOMPARE(page->alertText(), QStringLiteral("[0]设备无法修改时区"));
    }

    void wifiQrCodeReadsBackAsTheNetwork()
    {
        DevOpt *page = window->devOptions();
        QVERIFY(page);
        Dev::instance()->setSelectedChannel(ptz);
        const QString name = QStringLiteral("Cafe \"5\"; 中文");
        const QString password = QStringLiteral("p@ss;w\"rd=");
        page->findChild<QLineEdit *>("lineEdit_wifiName")->setText(name);
        page->findChild<QLineEdit *>("lineEdit_wifiPas")->setText(password);
        const QImage code = page->qrWindow()->codeImage();
        QVERIFY(!code.isNull());
        const QString png = settingsDir.filePath(QStringLiteral("wifi-qr.png"));
        const QImage big =
            code.scaled(code.size() * 6, Qt::KeepAspectRatio, Qt::FastTransformation);
        QVERIFY(big.save(png));
        saveArtifact(big, QStringLiteral("wifi-qr.png"));
        const QString zbarimg = QStandardPaths::findExecutable(QStringLiteral("zbarimg"));
        if (zbarimg.isEmpty())
            QFAIL("zbarimg (zbar-tools) is needed to read the code back");
        QProcess reader;
        reader.start(zbarimg, {QStringLiteral("--raw"), QStringLiteral("-q"), png});
        QVERIFY(reader.waitForFinished(10000));
        QCOMPARE(QString::fromUtf8(reader.readAllStandardOutput()).chopped(1),
                 QStringLiteral("sid=\"") + name + QStringLiteral("\";psk=") + password);

        // Sent to the camera: the name and (as devsim's digest) the password.
        page->findChild<QLineEdit *>("lineEdit_wifiName")->setText(QStringLiteral("Cafe \"5\"&x"));
        const int mark = sim.lineCount();
        QTest::mouseClick(page->findChild<QPushButton *>("pushButton_wifiSubmit"), Qt::LeftButton);
        QRegularExpressionMatch line;
        QVERIFY(settingsLine(mark, PtzUid, &line) >= 0);
        QCOMPARE(line.captured(3), QString::fromLatin1(QByteArray("Cafe \"5\"&x").toHex()));
        QCOMPARE(
            line.captured(4),
            QString::fromLatin1(
                QCryptographicHash::hash(password.toLatin1(), QCryptographicHash::Sha256).toHex()));
        QTRY_COMPARE(page->alertText(), QStringLiteral("wifi配置成功"));

        // An empty name: no code, and nothing sent.
        page->findChild<QLineEdit *>("lineEdit_wifiName")->clear();
        QVERIFY(page->qrWindow()->codeImage().isNull());
        QTest::mouseClick(page->findChild<QPushButton *>("pushButton_wifiSubmit"), Qt::LeftButton);
        QTRY_COMPARE(page->alertText(), QStringLiteral("wifi名不能为空"));
    }

    // The clock boxes: carries ripple upwards and wrap at both ends.
    void clockBoxesCarryAndWrap()
    {
        DevOpt *page = window->devOptions();
        QVERIFY(page);
        page->hourBox()->setValue(23);
        page->minuteBox()->setValue(59);
        page->minuteBox()->setValue(60);
        QCOMPARE(page->minuteBox()->value(), 0);
        QCOMPARE(page->hourBox()->value(), 0);
        QCOMPARE(page->hourBox()->text(), QStringLiteral("00"));
        page->secondBox()->setValue(-1);
        QCOMPARE(page->secondBox()->value(), 59);
        QCOMPARE(page->minuteBox()->value(), 59);
        QCOMPARE(page->hourBox()->value(), 23);
        saveArtifact(WallSurface::grab(client.host.get()).toImage(),
                     QStringLiteral("device-options.png"));
    }
};

ORVANE_TEST_MAIN(tst_E2ePtz)
#include "tst_e2e_ptz.moc"
