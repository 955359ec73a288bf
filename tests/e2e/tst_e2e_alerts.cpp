// Alerts and the control panel end to end: the real main window against
// devsim. Real link failures reach the user as one alert each with the
// link's texts (a refused login, a day without recordings, a device that
// disappears); a burst of one failure is one alert with a count; the
// session's alerts are listed in the control panel.

#include "DevsimProcess.h"
#include "E2eClient.h"

#include "admin/Alert.h"
#include "admin/ControlPanel.h"
#include "app/MainWindow.h"
#include "devtree/MenuDevList.h"
#include "devtree/MenuListDev.h"
#include "link/IoConnect.h"
#include "model/Channel.h"
#include "model/Dev.h"
#include "model/Device.h"
#include "view/WallSurface.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>
#include "TestMain.h"

namespace {

const QString GoodUid = QStringLiteral("E2EALERTGOOD000001");
const QString LockedUid = QStringLiteral("E2EALERTLOCKED0002");

} // namespace

class tst_E2eAlerts : public QObject
{
    Q_OBJECT

    QTemporaryDir settingsDir;
    DevsimProcess sim;
    E2eClient client;
    MainWindow *window = nullptr;

    void saveArtifact(const QString &name)
    {
        const QString dir = qEnvironmentVariable("ORVANE_TEST_ARTIFACTS");
        if (!dir.isEmpty() && QDir().mkpath(dir))
            WallSurface::grab(client.host.get()).save(QDir(dir).filePath(name));
    }
    void play(Channel *ch)
    {
        for (MenuListDev *row : window->devList()->rows())
            if (row->device() == ch->device())
                emit row->rowOf(ch)->doubleClicked(row->rowOf(ch));
    }
    Channel *channel(const QString &uid, int index)
    {
        Device *d = Dev::instance()->deviceByUid(uid);
        return d ? d->channel(index) : nullptr;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(settingsDir.isValid());
        E2eClient::useSettings(settingsDir.path());
        QJsonArray devices;
        devices.append(QJsonObject{{"uid", GoodUid}, {"channels", 2}, {"record-days", 1}});
        devices.append(QJsonObject{{"uid", LockedUid}});
        const QString config = settingsDir.filePath(QStringLiteral("devices.json"));
        QFile file(config);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QJsonDocument(devices).toJson());
        file.close();
        const quint16 discovery = DevsimProcess::anyDiscoveryPort();
        sim.setDiscoveryPort(discovery);
        QVERIFY2(sim.start({"--config", config, "--password", "pw"}, 2),
                 qPrintable(sim.errorText()));
        DevsimProcess::pointClientAt({&sim}, discovery);
        QVERIFY(E2eClient::registerDevice(GoodUid, QStringLiteral("pw"), 2));
        QVERIFY(E2eClient::registerDevice(LockedUid, QStringLiteral("wrong"), 1));
        window = client.show();
        QVERIFY(QTest::qWaitForWindowExposed(client.host.get()));
        QTRY_VERIFY_WITH_TIMEOUT(channel(GoodUid, 1) && channel(LockedUid, 0), 10000);
    }
    void cleanupTestCase()
    {
        client.host.reset();
        sim.stop();
    }

    void refusedLoginShowsTheLinkText()
    {
        QSignalSpy failures(IoConnect::instance(), &IoConnect::connectChannelFailMsg);
        play(channel(LockedUid, 0));
        QTRY_VERIFY_WITH_TIMEOUT(window->alert(), 30000);
        Alert *alert = window->alert();
        QCOMPARE(alert->deviceText(), LockedUid + QStringLiteral("(1)"));
        QVERIFY(!failures.isEmpty());
        QCOMPARE(alert->codeText(), QString::number(failures.first().at(1).toInt()));
        QCOMPARE(alert->entry().text, failures.first().at(2).toString());
        QVERIFY2(alert->messageText().contains(QStringLiteral("password")),
                 qPrintable(alert->messageText()));
        saveArtifact(QStringLiteral("alert.png"));
    }

    // The same failure again and again raises one alert's count; a different
    // failure replaces it; closing removes it.
    void burstCollapsesIntoOneAlert()
    {
        Channel *second = channel(GoodUid, 1);
        const int before = int(window->alertLog().entries().size());
        for (int i = 0; i < 3; ++i)
            emit IoConnect::instance()->ptzFailMsg(second, -20, QStringLiteral("busy"));
        QCOMPARE(window->alertLog().entries().size(), before + 1);
        QCOMPARE(window->alertLog().entries().last().count, 3);
        QCOMPARE(window->alert()->deviceText(), GoodUid + QStringLiteral("(2)"));
        QCOMPARE(window->alert()->messageText(), QStringLiteral("busy (3 times)"));
        emit IoConnect::instance()->startLANSearchFailMsg(-1, QStringLiteral("no network"));
        QCOMPARE(window->alert()->deviceText(), QString());
        QCOMPARE(window->alert()->messageText(), QStringLiteral("no network"));
        window->closeAlert();
        QVERIFY(!window->alert());
    }

    void dayWithoutRecordingsSaysSo()
    {
        Channel *ch = channel(GoodUid, 0);
        play(ch);
        QTRY_VERIFY_WITH_TIMEOUT(ch->avIndex(true) >= 0, 30000);
        IoConnect::instance()->getReplayVideoTime(ch, QDate::currentDate().addDays(-20));
        QTRY_VERIFY_WITH_TIMEOUT(window->alert() && window->alert()->messageText() ==
                                                        QStringLiteral("no record has been found"),
                                 30000);
        QCOMPARE(window->alert()->codeText(), QStringLiteral("0"));
        QCOMPARE(window->alert()->deviceText(), GoodUid + QStringLiteral("(1)"));
    }

    void vanishedDeviceIsReportedOnce()
    {
        window->closeAlert();
        const int before = int(window->alertLog().entries().size());
        sim.stop();
        QTRY_VERIFY_WITH_TIMEOUT(window->alert() && window->alert()->deviceText() == GoodUid,
                                 60000);
        QTest::qWait(1500);
        int reported = 0;
        for (const AlertEntry &e : window->alertLog().entries().mid(before))
            reported += e.device == GoodUid;
        QCOMPARE(reported, 1);
    }

    void controlPanelListsTheSessionsAlerts()
    {
        window->openControlPanel();
        ControlPanel *panel = window->controlPanel();
        QVERIFY(panel);
        // It opens on the local settings; the debug log is a tab too.
        QVERIFY(panel->tab(QStringLiteral("widget_btn_1"))->isSelected());
        QCOMPARE(panel->page()->objectName(), QStringLiteral("LocalSetting"));
        QTest::mouseClick(panel->tab(QStringLiteral("widget_btn_6")), Qt::LeftButton);
        QCOMPARE(panel->page()->objectName(), QStringLiteral("DebugRecord"));
        ControlTab *alerts = panel->tab(QStringLiteral("widget_btn_4"));
        QVERIFY(alerts && alerts->isVisibleTo(panel));
        QVERIFY(!panel->tab(QStringLiteral("widget_btn_3"))->isVisibleTo(panel));
        QTest::mouseClick(alerts, Qt::LeftButton);
        auto *list = qobject_cast<AlertList *>(panel->page());
        QVERIFY(list);
        QCOMPARE(list->rowCount(), int(window->alertLog().entries().size()));
        QCOMPARE(list->cell(0, 1), window->alertLog().entries().last().device);
        saveArtifact(QStringLiteral("control-panel-alerts.png"));
        // The user name opens the panel on the user page.
        window->openUser();
        QVERIFY(window->controlPanel()->tab(QStringLiteral("widget_btn_2"))->isSelected());
        QVERIFY(window->controlPanel()->page());
        saveArtifact(QStringLiteral("control-panel-user.png"));
        window->closeControlPanel();
        QVERIFY(!window->controlPanel());
    }
};

ORVANE_TEST_MAIN(tst_E2eAlerts)
#include "tst_e2e_alerts.moc"
