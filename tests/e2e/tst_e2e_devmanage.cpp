// The device manager end to end: the real main window signed in as the
// local administrator, one devsim serving two devices on the LAN. The search
// page lists both; hovering a row shows a QR code that reads back as its
// UID; pressing a row opens the add page filled from it. Adding, editing
// and deleting a device reach the device tree and the configuration file.

#include "DevsimProcess.h"
#include "E2eClient.h"

#include "core/UserService.h"
#include "admin/AddDev.h"
#include "admin/DevManage.h"
#include "admin/QRWindow.h"
#include "admin/SearchDev.h"
#include "admin/TabBtn.h"
#include "devtree/MenuDevList.h"
#include "devtree/MenuListDev.h"
#include "model/Dev.h"
#include "model/Device.h"
#include "view/WaitingCircle.h"
#include "view/WallSurface.h"

#include <QComboBox>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QStandardItemModel>
#include <QStandardPaths>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>
#include "TestMain.h"

namespace {

const QString CamUid = QStringLiteral("E2EDMCAM0000000001");
const QString DvrUid = QStringLiteral("E2EDMDVR0000000002");

} // namespace

class tst_E2eDevManage : public QObject
{
    Q_OBJECT

    QTemporaryDir settingsDir;
    DevsimProcess sim;
    E2eClient client;
    MainWindow *window = nullptr;

    DevManage *manager()
    {
        if (!window->devManage())
            window->openDevManage(nullptr);
        return window->devManage();
    }
    // The pointer's moves over the table and its leaving, sent to the widgets
    // themselves: the display may be shared with other tests' windows.
    static void hover(QTableView *table, const QModelIndex &index)
    {
        const QPoint at = table->visualRect(index).center();
        QMouseEvent move(QEvent::MouseMove, at, table->viewport()->mapToGlobal(at), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(table->viewport(), &move);
    }
    static void leave(SearchDev *page)
    {
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(page->table()->viewport(), &leave);
        QApplication::sendEvent(page, &leave);
    }
    QString readQr(const QImage &code)
    {
        const QString png = settingsDir.filePath(QStringLiteral("uid-qr.png"));
        if (!code.scaled(code.size() * 6, Qt::KeepAspectRatio, Qt::FastTransformation).save(png))
            return QStringLiteral("(not saved)");
        QProcess reader;
        reader.start(QStandardPaths::findExecutable(QStringLiteral("zbarimg")),
                     {QStringLiteral("--raw"), QStringLiteral("-q"), png});
        reader.waitForFinished(10000);
        return QString::fromUtf8(reader.readAllStandardOutput()).trimmed();
    }
    // The captions of the device tree's rows.
    QStringList treeUids()
    {
        QStringList uids;
        for (MenuListDev *row : window->devList()->rows())
            uids << row->device()->uid();
        return uids;
    }
    QList<DeviceRecord> stored() { return Config().readDevices(); }
    static void setField(AddDev *page, const char *name, const QString &text)
    {
        page->findChild<QLineEdit *>(QLatin1String(name))->setText(text);
    }
    static void click(AddDev *page, const char *button)
    {
        QTest::mouseClick(page->findChild<QPushButton *>(QLatin1String(button)), Qt::LeftButton);
    }

private slots:
    void initTestCase()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("zbarimg")).isEmpty())
            QSKIP("zbarimg (zbar-tools) is needed to read the codes back");
        QVERIFY(settingsDir.isValid());
        E2eClient::useSettings(settingsDir.path());
        UserService::instance()->setUserName(QStringLiteral("Admin"));
        QJsonArray devices;
        devices.append(QJsonObject{{"uid", CamUid}, {"name", "IPC-C4"}, {"channels", 4}});
        devices.append(QJsonObject{{"uid", DvrUid}, {"name", "DVR-8"}, {"channels", 8}});
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
        window = client.show();
        QVERIFY(QTest::qWaitForWindowExposed(client.host.get()));
    }

    void searchListsDevicesWithTheirQrCodesAndARowFillsTheAddPage()
    {
        DevManage *dm = manager();
        dm->selectTab(DevManage::SearchTab);
        SearchDev *page = dm->searchPage();
        QVERIFY(page);
        QVERIFY(dm->waitingCircle());
        QTRY_COMPARE_WITH_TIMEOUT(page->model()->rowCount(), 2, 15000);
        QVERIFY(!dm->waitingCircle());
        QStringList rows;
        for (int r = 0; r < 2; ++r) {
            QStringList cells;
            for (int c : {1, 3, 4, 6}) // UID, type, channels, port
                cells << page->model()->item(r, c)->text();
            rows << cells.join(QLatin1Char(' '));
        }
        rows.sort();
        QCOMPARE(rows, (QStringList{CamUid + " IPC-C4 4 " + QString::number(sim.port(CamUid)),
                                    DvrUid + " DVR-8 8 " + QString::number(sim.port(DvrUid))}));

        QTableView *table = page->table();
        for (int r = 0; r < 2; ++r) {
            leave(page);
            QVERIFY(!dm->hoverQr()->isVisible());
            hover(table, page->model()->index(r, 1));
            QVERIFY(dm->hoverQr()->isVisible());
            QCOMPARE(readQr(dm->hoverQr()->codeImage()), page->model()->item(r, 1)->text());
        }
        const QString dir = qEnvironmentVariable("ORVANE_TEST_ARTIFACTS");
        if (!dir.isEmpty() && QDir().mkpath(dir))
            WallSurface::grab(client.host.get())
                .save(QDir(dir).filePath(QStringLiteral("device-manager.png")));
        leave(page);
        QVERIFY(!dm->hoverQr()->isVisible());

        const int dvrRow = page->model()->item(0, 1)->text() == DvrUid ? 0 : 1;
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {},
                          table->visualRect(page->model()->index(dvrRow, 1)).center());
        AddDev *add = dm->addDevPage();
        QVERIFY(add && add->isVisible() && add->isAddMode());
        QVERIFY(dm->tabs().at(DevManage::AddTab)->isSelected());
        QVERIFY(!dm->tabs().at(DevManage::SearchTab)->isSelected());
        QVERIFY(!page->isVisible());
        QCOMPARE(add->entry().uid, DvrUid);
        QCOMPARE(add->entry().channels, QStringLiteral("8"));
    }

    void localAddEditDeleteReachTreeAndConfiguration()
    {
        DevManage *dm = manager();
        dm->selectTab(DevManage::AddTab);
        AddDev *add = dm->addDevPage();
        add->findChild<QComboBox *>("comboBox_devType")->setCurrentIndex(1); // DVR
        setField(add, "textEdit_devUid", DvrUid);
        setField(add, "textEdit_devName", QStringLiteral("后门"));
        setField(add, "lineEdit_password", QStringLiteral("pw"));
        setField(add, "textEdit_channelNum", QStringLiteral("8"));
        click(add, "saveBtn");
        QCOMPARE(add->warningText(), QStringLiteral("添加成功"));
        QCOMPARE(stored().size(), 1);
        QCOMPARE(stored().first(), (DeviceRecord{1, 8, "后门", DvrUid, "admin", "pw"}));
        QTRY_COMPARE(treeUids(), QStringList{DvrUid});
        QCOMPARE(Dev::instance()->deviceByUid(DvrUid)->channels().size(), 8);

        // Edit: the page follows the tree's selection.
        dm->selectTab(DevManage::EditTab);
        AddDev *edit = dm->addDevPage();
        QVERIFY(edit && !edit->isAddMode());
        window->devList()->selectDev(window->devList()->rows().first());
        QCOMPARE(edit->entry().name, QStringLiteral("后门"));
        setField(edit, "textEdit_devName", QStringLiteral("front"));
        click(edit, "saveBtn");
        QCOMPARE(edit->warningText(), QStringLiteral("修改成功"));
        QCOMPARE(stored().first().nickname, QStringLiteral("front"));
        QCOMPARE(Dev::instance()->deviceByUid(DvrUid)->nickName(), QStringLiteral("front"));

        // A new UID replaces the old entry (and the old device) in place of a copy.
        setField(edit, "textEdit_devUid", CamUid);
        click(edit, "saveBtn");
        QCOMPARE(stored().size(), 1);
        QCOMPARE(stored().first().uid, CamUid);
        QTRY_COMPARE(treeUids(), QStringList{CamUid});
        QVERIFY(!Dev::instance()->deviceByUid(DvrUid));

        // Delete: the selected device's entry, whatever the UID field says.
        window->devList()->selectDev(window->devList()->rows().first());
        setField(edit, "textEdit_devUid", QStringLiteral("SOMETHINGELSE"));
        click(edit, "delBtn");
        QCOMPARE(edit->warningText(), QStringLiteral("删除成功"));
        QVERIFY(stored().isEmpty());
        QTRY_VERIFY(treeUids().isEmpty());
        QVERIFY(!Dev::instance()->deviceByUid(CamUid));
        QVERIFY(!Dev::instance()->selectedDevice());
    }

    void headerDragMovesTheWindowWithinTheCentreAndCloseClosesIt()
    {
        DevManage *dm = manager();
        auto *header = dm->findChild<QWidget *>(QStringLiteral("widget_title"));
        const QPoint before = dm->pos();
        QTest::mousePress(header, Qt::LeftButton, {}, QPoint(40, 10));
        QTest::mouseMove(header, QPoint(10, 30));
        QTest::mouseRelease(header, Qt::LeftButton, {}, QPoint(10, 30));
        QTRY_COMPARE(dm->pos(), before + QPoint(-30, 20));
        dm->moveBy(QPoint(-5000, -5000)); // no further than the centre area's corner
        QCOMPARE(dm->pos(), QPoint(0, 0));

        QTest::mouseClick(dm->findChild<QWidget *>(QStringLiteral("widget_close")), Qt::LeftButton);
        QVERIFY(!window->devManage());
        QVERIFY(!window->devOptions());
        QTRY_VERIFY(!window->findChild<DevManage *>());
    }
};

ORVANE_TEST_MAIN(tst_E2eDevManage)
#include "tst_e2e_devmanage.moc"
