// ONVIF cameras end to end: the real main window against devsim's ONVIF and
// WS-Discovery responders (PTZ camera, solid-colour pattern). The LAN search
// page lists the camera WS-Discovery found; choosing it fills the add page
// with its ONVIF host alone, and once saved the camera's streams come from
// its media profiles and its picture shows. Holding "right" sends a
// continuous move and the release a stop; presets are set and recalled; the
// device options page sets the camera's clock and zone.

#include "DevsimProcess.h"
#include "E2eClient.h"

#include "admin/AddDev.h"
#include "admin/Alert.h"
#include "admin/DevManage.h"
#include "admin/DevOpt.h"
#include "admin/SearchDev.h"
#include "devtree/MenuDevList.h"
#include "devtree/MenuListDev.h"
#include "link/onvif/OnvifDeviceControl.h"
#include "model/Channel.h"
#include "model/Dev.h"
#include "model/Device.h"
#include "ptz/MenuPtz.h"
#include "ptz/Point.h"
#include "ptz/PtzBtn.h"
#include "ptz/PtzTab.h"
#include "view/GlWidgetViewWindow.h"
#include "view/ViewControl.h"

#include "TestMain.h"
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QTimeZone>
#include <QtTest>

namespace {

const QString Uid = QStringLiteral("E2EONVIFCAM0000001");
const QString Password = QStringLiteral("onvif-pw");

// A PTZ camera shows devsim's panorama whatever the pattern: a blue sky
// above the horizon (the middle, at the start position), green ground
// below; grid lines cover a few of the samples.
bool showsPanorama(GlWidgetViewWindow *cell)
{
    const QImage img = cell ? cell->grabFramebuffer() : QImage();
    if (img.isNull())
        return false;
    int sky = 0, ground = 0, samples = 0;
    for (int i = 0; i < 20; ++i, ++samples) {
        const int x = img.width() * (40 + 3 * i) / 100;
        const QRgb up = img.pixel(x, img.height() * 22 / 100);
        const QRgb down = img.pixel(x, img.height() * 9 / 10);
        sky += qBlue(up) > qRed(up) + 30;
        ground += qGreen(down) > qRed(down) + 10 && qGreen(down) > qBlue(down) + 10;
    }
    return sky >= samples * 3 / 4 && ground >= samples * 3 / 4;
}

} // namespace

class tst_E2eOnvif : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void cameraFoundByDiscoveryShowsItsPicture();
    void holdingRightMovesAndTheReleaseStops();
    void presetIsSetAndRecalled();
    void deviceOptionsSetTheCameraClock();
    void onlyWhatTheCameraDoesIsOffered();

private:
    bool ptzLine(int from, const QString &command)
    {
        const QRegularExpression re("^PTZ " + Uid + "/0 " + command + " ");
        return QTest::qWaitFor([&] { return sim.waitForLineFrom(from, re, 20) >= 0; }, 10000);
    }

    QTemporaryDir settingsDir;
    DevsimProcess sim;
    E2eClient client;
    MainWindow *window = nullptr;
    Channel *channel = nullptr;
};

void tst_E2eOnvif::initTestCase()
{
    QVERIFY2(!DevsimProcess::executable().isEmpty(), "devsim not built");
    const quint16 discovery = DevsimProcess::anyDiscoveryPort();
    sim.setDiscoveryPort(discovery);
    QVERIFY2(sim.start({"--uid",   Uid,
                        "--name",  "Yard",
                        "--type",  "10",
                        "--ptz",   "--password",
                        Password,  "--pattern",
                        "solid",   "--sd",
                        "320x180", "--fps",
                        "10",      "--gop",
                        "1",       "--onvif",
                        "0",       "--wsd-port",
                        "0",       "--print-settings"}),
             qPrintable(sim.errorText()));
    QRegularExpressionMatch wsd;
    QVERIFY(sim.waitForLine(QRegularExpression("^WSD (\\d+) "), 10000, &wsd));
    qputenv("ORVANE_WSD_TARGET", "127.0.0.1:" + wsd.captured(1).toLatin1());
    qputenv("ORVANE_P2P_DISCOVERY_PORT", QByteArray::number(discovery));
    E2eClient::useSettings(settingsDir.path());
    window = client.show();
    QVERIFY(QTest::qWaitForWindowExposed(client.host.get()));
}

void tst_E2eOnvif::cleanupTestCase()
{
    client.host.reset();
    sim.stop();
}

void tst_E2eOnvif::cameraFoundByDiscoveryShowsItsPicture()
{
    window->openDevManage(nullptr);
    window->devManage()->selectTab(DevManage::SearchTab);
    SearchDev *search = window->devManage()->searchPage();
    QVERIFY(search);
    int row = -1;
    QTRY_VERIFY_WITH_TIMEOUT((row =
                                  [search] {
                                      for (int r = 0; r < search->model()->rowCount(); ++r)
                                          if (search->model()->item(r, 3)->text() == "ONVIF")
                                              return r;
                                      return -1;
                                  }()) >= 0,
                             10000);
    QCOMPARE(search->model()->item(row, 1)->text(), QStringLiteral("Yard"));
    QRegularExpressionMatch onvif;
    QVERIFY(sim.waitForLine(QRegularExpression("^ONVIF " + Uid + " http://(127.0.0.1:\\d+)/"), 1000,
                            &onvif));
    ViewControl::instance()->clickRow(row);
    AddDev *page = window->devManage()->addDevPage();
    QVERIFY(page);
    QCOMPARE(page->entry().kind, DeviceKind::Rtsp);
    QCOMPARE(page->entry().onvifHost, onvif.captured(1));
    QVERIFY(page->entry().urls.isEmpty());
    page->findChild<QLineEdit *>("textEdit_userName")->setText("admin");
    auto *password = page->findChild<QLineEdit *>("lineEdit_password");
    auto *channels = page->findChild<QLineEdit *>("textEdit_channelNum");
    QVERIFY(password && channels);
    // The camera is asked before it is stored: a wrong password stores nothing.
    password->setText("wrong-pw");
    QSignalSpy added(page, &AddDev::addDevSuccess);
    QSignalSpy failed(page, &AddDev::addDevFailed);
    QTest::mouseClick(page->findChild<QPushButton *>("saveBtn"), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(failed.count(), 1, 15000);
    QCOMPARE(added.count(), 0);
    QVERIFY(Dev::instance()->devices().isEmpty());
    // Its channel count comes from its video sources, whatever was typed.
    password->setText(Password);
    channels->setText("4");
    QTest::mouseClick(page->findChild<QPushButton *>("saveBtn"), Qt::LeftButton);
    QTRY_VERIFY2_WITH_TIMEOUT(added.count() == 1, qPrintable(page->warningText()), 15000);
    QCOMPARE(channels->text(), QStringLiteral("1"));

    QTRY_VERIFY_WITH_TIMEOUT(Dev::instance()->devices().size() == 1, 10000);
    Device *device = Dev::instance()->devices().first();
    QCOMPARE(device->type(), 10);
    QCOMPARE(device->channelCount(), 1);
    QVERIFY(device->rtsp().streams.isEmpty());
    channel = device->channel(0);
    MenuListDev *treeRow = nullptr;
    QTRY_VERIFY_WITH_TIMEOUT((treeRow = [this, device]() -> MenuListDev * {
                                 for (MenuListDev *r : window->devList()->rows())
                                     if (r->device() == device)
                                         return r->rowOf(channel);
                                 return nullptr;
                             }()),
                             10000);
    emit treeRow->doubleClicked(treeRow);
    QTRY_VERIFY_WITH_TIMEOUT(ViewControl::instance()->cellOf(channel) &&
                                 showsPanorama(ViewControl::instance()->cellOf(channel)),
                             30000);
    // The streams came from the media profiles (credential-free).
    QCOMPARE(device->rtsp().streams.size(), 1);
    QVERIFY(device->rtsp().streams.first().main.endsWith("/" + Uid + "/0/main"));
    QVERIFY(device->rtsp().streams.first().sub.endsWith("/" + Uid + "/0/sub"));
    QVERIFY(!device->rtsp().streams.first().main.contains(Password));
    const QString dir = qEnvironmentVariable("ORVANE_TEST_ARTIFACTS");
    if (!dir.isEmpty() && QDir().mkpath(dir))
        ViewControl::instance()->cellOf(channel)->grabFramebuffer().save(
            QDir(dir).filePath(QStringLiteral("onvif-live.png")));
    window->devManage()->closeWindow();
}

void tst_E2eOnvif::holdingRightMovesAndTheReleaseStops()
{
    QVERIFY(channel);
    Dev::instance()->setSelectedChannel(channel);
    if (!window->ptzPanel()->isVisible())
        QTest::mouseClick(window->findChild<QWidget *>("label_deviceManageMenu_fold"),
                          Qt::LeftButton);
    QTRY_VERIFY(window->ptzPanel()->isVisible());
    // Presets yes, cruise lines no: the camera's PTZ service has no tours.
    QVERIFY(!window->ptzPanel()->tab("widget_point")->isHidden());
    QVERIFY(window->ptzPanel()->tab("widget_cruise")->isHidden());
    const int mark = sim.lineCount();
    PtzBtn *right = window->ptzPanel()->button(3);
    QTest::mousePress(right, Qt::LeftButton);
    QVERIFY(ptzLine(mark, "right"));
    QTest::mouseRelease(right, Qt::LeftButton);
    // The move carries a zero zoom velocity, which devsim logs as a stop
    // before the pan: what counts is that the last command is a stop.
    const QRegularExpression anyPtz("^PTZ " + Uid + "/0 ");
    QVERIFY(QTest::qWaitFor(
        [&] { return sim.matchingLines(anyPtz, mark).last().contains(" stop "); }, 10000));
    QTest::qWait(2500); // longer than the panel's resend interval
    QVERIFY(sim.matchingLines(anyPtz, mark).last().contains(" stop "));
    QVERIFY(sim.matchingLines(QRegularExpression("^SOAP " + Uid + " \\S+ fault"), mark).isEmpty());
}

void tst_E2eOnvif::presetIsSetAndRecalled()
{
    QVERIFY(channel);
    Point *points = window->ptzPanel()->pointPanel();
    int mark = sim.lineCount();
    QTest::mouseClick(points->addButton(), Qt::LeftButton);
    QVERIFY(ptzLine(mark, "preset-set-1"));
    mark = sim.lineCount();
    QTest::mouseClick(points->goButton(), Qt::LeftButton);
    QVERIFY(ptzLine(mark, "preset-go-1"));
}

void tst_E2eOnvif::deviceOptionsSetTheCameraClock()
{
    QVERIFY(channel);
    window->openDevManage(nullptr);
    window->devManage()->selectTab(DevManage::DevOptTab);
    DevOpt *page = window->devOptions();
    QVERIFY(page);
    Dev::instance()->setSelectedChannel(channel);
    const QString zone = QStringLiteral("Asia/Kolkata"); // +05:30 all year
    page->selectZone(page->zoneBox()->findText(zone));
    const int mark = sim.lineCount();
    QTest::mouseClick(page->findChild<QPushButton *>("pushButton_timeSubmit"), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(page->alertText(), QStringLiteral("时间修改成功"), 15000);
    const QStringList lines = sim.matchingLines(
        QRegularExpression("^SETTINGS " + Uid + " time=\\S+ zone=UTC-05:30 "), mark);
    QCOMPARE(lines.size(), 2); // the zone, then the time
    // The camera's local time is the page's (Kolkata's) wall clock, to the minute.
    const QDateTime kolkata = QDateTime::currentDateTime().toTimeZone(QTimeZone(zone.toLatin1()));
    const QString time = lines.last().section(' ', 2, 2).mid(5);
    const QDateTime got = QDateTime::fromString(time, "yyyy-M-d-H-m-s");
    QVERIFY2(qAbs(got.secsTo(QDateTime(kolkata.date(), kolkata.time()))) <= 90, qPrintable(time));
    QCOMPARE(OnvifDeviceControl::posixZone(
                 DevOpt::deviceZoneText(QTimeZone(zone.toLatin1()), QDateTime::currentDateTime())),
             QStringLiteral("UTC-05:30"));
}

// Switching to playback with the camera in the grid raises no alert, and
// its options page offers the clock but no Wi-Fi set-up, which ONVIF lacks.
void tst_E2eOnvif::onlyWhatTheCameraDoesIsOffered()
{
    QVERIFY(channel);
    const int alerts = int(window->alertLog().entries().size());
    QTest::mouseClick(window->findChild<QWidget *>("widget_btn_playback"), Qt::LeftButton);
    QTRY_VERIFY(!ViewControl::instance()->isLive());
    Dev::instance()->setSelectedChannel(channel);
    QTest::qWait(1500);
    QCOMPARE(int(window->alertLog().entries().size()), alerts);
    QVERIFY(!window->alert() || !window->alert()->isVisible());
    QTest::mouseClick(window->findChild<QWidget *>("widget_btn_life"), Qt::LeftButton);
    QTRY_VERIFY(ViewControl::instance()->isLive());

    window->openDevManage(nullptr);
    window->devManage()->selectTab(DevManage::DevOptTab);
    DevOpt *page = window->devOptions();
    Dev::instance()->setSelectedChannel(channel);
    page->checkDevSelected();
    QVERIFY(!page->findChild<QPushButton *>("pushButton_wifiSubmit")->isEnabled());
    QVERIFY(page->findChild<QPushButton *>("pushButton_timeSubmit")->isEnabled());
}

ORVANE_TEST_MAIN(tst_E2eOnvif)
#include "tst_e2e_onvif.moc"
