// The device tree: loading (local and cloud, with the retry), rows, titles,
// icons, colours, selection, filtering and the row signals.

#include "../view/RecordingLink.h"
#include "../view/ViewTestEnv.h"

#include "config/Config.h"
#include "devtree/MenuDevList.h"
#include "devtree/MenuDevTitle.h"
#include "devtree/MenuListDev.h"
#include "link/IoConnect.h"
#include "media/WaitingCircle.h"
#include "view/ViewControl.h"
#include "widgets/LabelFoldBtn.h"

#include <QLabel>
#include <QLineEdit>
#include <QtTest>

#include <memory>

namespace {

const QByteArray CloudReply = R"({"error_code":0,"result":{"datas":[
    {"pk":"1","model":"m","fields":{"UID":"CLOUD-1","Type":7,"ChannelIndex":1,
     "NickName":"Door","View_Account":"","View_Password":"p1"}},
    {"pk":"2","model":"m","fields":{"UID":"CLOUD-2","Type":2,"ChannelIndex":4,
     "NickName":"","View_Account":"viewer","View_Password":"p2"}}]}})";

QString nameStyle(MenuListDev *row)
{
    return row->findChild<QLabel *>(QStringLiteral("label_devName"))->styleSheet();
}

} // namespace

class tst_DevTree : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void titlesAndIcons();
    void localListBuildsOneRowPerDeviceWithChannelRows();
    void foldingChangesThePanelHeight();
    void rowColoursFollowTheLink();
    void modeSwitchRecolours();
    void clickSelectsAndRightClickSelectsFirst();
    void doubleClickAsksToPlayTheRowChannel();
    void doubleClickInTheGridSelectsTheRow();
    void searchFiltersRows();
    void cloudListLoadsWithTheToken();
    void malformedCloudReplyLeavesTheRegistry();
    void failedCloudListIsRetriedTenTimes();
    void staleCloudReplyIsDropped();
    void managerButtonsOpenTheManager();

private:
    void saveLocal(const QString &uid, int type, int channels, const QString &nick = QString())
    {
        DeviceRecord r;
        r.uid = uid;
        r.type = type;
        r.channel = channels;
        r.nickname = nick;
        r.username = QStringLiteral("admin");
        r.password = QStringLiteral("pw");
        QVERIFY(Config::instance()->saveDevice(r));
    }
    // Two local devices: a single-channel camera and an 8-channel recorder.
    void loadTwo()
    {
        saveLocal(QStringLiteral("CAM-1"), 7, 1, QStringLiteral("Front door"));
        saveLocal(QStringLiteral("NVR-8"), 2, 8);
        list->loadDevList();
        QCOMPARE(list->rows().size(), 2);
    }

    std::unique_ptr<ViewTestEnv> env;
    std::unique_ptr<MenuDevList> list;
    QStringList calls;
};

void tst_DevTree::initTestCase()
{
    qRegisterMetaType<MenuListDev *>();
    ViewTestEnv::quietLink();
    ViewControl::instance()->setLink(std::make_unique<RecordingLink>(&calls));
}

void tst_DevTree::init()
{
    env = std::make_unique<ViewTestEnv>(); // fresh configuration per test
    list = std::make_unique<MenuDevList>();
    list->resize(240, 500);
    list->show();
}

void tst_DevTree::cleanup()
{
    list.reset();
    ViewTestEnv::clearDevices();
    if (!ViewControl::instance()->isLive())
        ViewControl::instance()->changeMod(true);
    ViewTestEnv::flushDeletes();
    env.reset();
    calls.clear();
}

void tst_DevTree::titlesAndIcons()
{
    QCOMPARE(MenuListDev::titleFor(QStringLiteral("ABCDEFGHIJKL")), QStringLiteral("ABCDEFGHIJKL"));
    QCOMPARE(MenuListDev::titleFor(QStringLiteral("ABCDEFGHIJKLM")),
             QStringLiteral("ABCDEFGHIJK..."));
    QCOMPARE(MenuListDev::titleFor(QStringLiteral("一二三四五六七八九十甲乙丙")),
             QStringLiteral("一二三四五六七八九十甲..."));
    for (int t : {6, 7, 10, 11, 12, 13, 14})
        QVERIFY2(MenuListDev::isCameraType(t), qPrintable(QString::number(t)));
    for (int t : {0, 1, 2, 5, 8, 9, 15, 10001})
        QVERIFY2(!MenuListDev::isCameraType(t), qPrintable(QString::number(t)));
}

void tst_DevTree::localListBuildsOneRowPerDeviceWithChannelRows()
{
    QSignalSpy loaded(list.get(), &MenuDevList::devLoaded);
    QVERIFY(list->waitingCircle());
    loadTwo();
    QCOMPARE(loaded.size(), 1);
    QCOMPARE(loaded.at(0).at(0).toBool(), true);
    QVERIFY(!list->waitingCircle());

    MenuListDev *cam = list->rows().at(0);
    MenuListDev *nvr = list->rows().at(1);
    Device *camDev = Dev::instance()->deviceByUid(QStringLiteral("CAM-1"));
    Device *nvrDev = Dev::instance()->deviceByUid(QStringLiteral("NVR-8"));
    QVERIFY(camDev && nvrDev);
    QCOMPARE(nvrDev->viewAccount(), QStringLiteral("admin"));
    QCOMPARE(nvrDev->viewPassword(), QStringLiteral("pw"));

    // Single channel: no child rows, the row stands for channel 0.
    QCOMPARE(cam->title(), QStringLiteral("Front door"));
    QVERIFY(cam->children().isEmpty());
    QCOMPARE(cam->channel(), camDev->channel(0));
    QVERIFY(cam->foldButton()->isHidden());
    QVERIFY(cam->findChild<QLabel *>(QStringLiteral("label_icon_devType"))
                ->styleSheet()
                .contains(QLatin1String("c512.png")));

    // Eight channels: titled by the UID, child rows "通道1" ... "通道8".
    QCOMPARE(nvr->title(), QStringLiteral("NVR-8"));
    QVERIFY(!nvr->channel());
    QVERIFY(!nvr->foldButton()->isHidden());
    QVERIFY(nvr->findChild<QLabel *>(QStringLiteral("label_foldPlaceHolder"))->isHidden());
    QVERIFY(nvr->findChild<QLabel *>(QStringLiteral("label_icon_devType"))
                ->styleSheet()
                .contains(QLatin1String("DVR.png")));
    QCOMPARE(nvr->children().size(), 8);
    for (int i = 0; i < 8; ++i) {
        QCOMPARE(nvr->children().at(i)->title(), QStringLiteral("通道%1").arg(i + 1));
        QCOMPARE(nvr->children().at(i)->channel(), nvrDev->channel(i));
    }
    QVERIFY(!nvr->isOpen());
    QVERIFY(nvr->findChild<QWidget *>(QStringLiteral("widget_channelBox"))->isHidden());

    // Loading again updates the registry in place and rebuilds the rows.
    list->loadDevList();
    QCOMPARE(Dev::instance()->devices().size(), 2);
    QCOMPARE(list->rows().size(), 2);
}

void tst_DevTree::foldingChangesThePanelHeight()
{
    loadTwo();
    const int h = list->rowHeight();
    QCOMPARE(h, 24);
    QCOMPARE(list->rowContainer()->height(), 2 * h);
    MenuListDev *nvr = list->rows().at(1);
    QSignalSpy folded(nvr, &MenuListDev::folded);
    QTest::mouseClick(nvr->foldButton(), Qt::LeftButton);
    QCOMPARE(folded.size(), 1);
    QVERIFY(nvr->isOpen());
    QCOMPARE(list->rowContainer()->height(), 2 * h + 8 * h);
    QTest::mouseClick(nvr->foldButton(), Qt::LeftButton);
    QVERIFY(!nvr->isOpen());
    QCOMPARE(list->rowContainer()->height(), 2 * h);
}

void tst_DevTree::rowColoursFollowTheLink()
{
    loadTwo();
    IoConnect *io = IoConnect::instance();
    MenuListDev *cam = list->rows().at(0);
    MenuListDev *nvr = list->rows().at(1);
    Device *nvrDev = nvr->device();
    MenuListDev *ch3 = nvr->children().at(3);
    QCOMPARE(nvr->textState(), MenuListDev::Normal);
    QVERIFY(nameStyle(nvr).contains(QLatin1String("#4e525a")));

    nvrDev->channel(3)->setVideoOn(true, true);
    emit io->videoRequestSuccessMsg(nvrDev->channel(3));
    QCOMPARE(ch3->textState(), MenuListDev::Active);
    QCOMPARE(nvr->textState(), MenuListDev::Active);
    QVERIFY(nameStyle(ch3).contains(QLatin1String("#008000")));
    QCOMPARE(nvr->children().at(2)->textState(), MenuListDev::Normal);

    emit io->connectChannelFailMsg(nvrDev->channel(2), -20019, QStringLiteral("x"));
    QCOMPARE(nvr->children().at(2)->textState(), MenuListDev::Failed);
    QVERIFY(nameStyle(nvr->children().at(2)).contains(QLatin1String("#FF0000")));
    QCOMPARE(ch3->textState(), MenuListDev::Active);

    // The last stream of the device stops: channel row and device row normal.
    nvrDev->channel(3)->setVideoOn(false, true);
    QSignalSpy closed(ch3, &MenuListDev::devClosed);
    emit io->videoRequestStopSuccessMsg(nvrDev->channel(3));
    QCOMPARE(closed.size(), 1);
    QCOMPARE(ch3->textState(), MenuListDev::Normal);
    QCOMPARE(nvr->textState(), MenuListDev::Normal);

    // A device that cannot be reached: its row turns red, a single-channel
    // device's row too; other devices stay as they are.
    emit io->connectDevFailMsg(nvrDev->channel(0), -90, QStringLiteral("x"));
    QCOMPARE(nvr->textState(), MenuListDev::Failed);
    QCOMPARE(cam->textState(), MenuListDev::Normal);
    emit io->connectDevFailMsg(cam->channel(), -90, QStringLiteral("x"));
    QCOMPARE(cam->textState(), MenuListDev::Failed);
}

void tst_DevTree::modeSwitchRecolours()
{
    loadTwo();
    MenuListDev *nvr = list->rows().at(1);
    Device *nvrDev = nvr->device();
    nvrDev->channel(1)->setVideoOn(true, false); // playing back
    nvrDev->channel(0)->setVideoOn(true, true);  // live
    ViewControl::instance()->changeMod(false);
    QCOMPARE(nvr->textState(), MenuListDev::Active);
    QCOMPARE(nvr->children().at(1)->textState(), MenuListDev::Active);
    QCOMPARE(nvr->children().at(0)->textState(), MenuListDev::Normal);
    ViewControl::instance()->changeMod(true);
    QCOMPARE(nvr->children().at(1)->textState(), MenuListDev::Normal);
    QCOMPARE(nvr->children().at(0)->textState(), MenuListDev::Active);
}

void tst_DevTree::clickSelectsAndRightClickSelectsFirst()
{
    loadTwo();
    Dev *dev = Dev::instance();
    MenuListDev *cam = list->rows().at(0);
    MenuListDev *nvr = list->rows().at(1);
    QSignalSpy selected(list.get(), &MenuDevList::selectedDev);

    QTest::mouseClick(cam->titleStrip(), Qt::LeftButton);
    QCOMPARE(selected.size(), 1);
    QCOMPARE(dev->selectedDevice(), cam->device());
    QCOMPARE(dev->selectedChannel(), cam->device()->channel(0));
    QVERIFY(cam->isHighlighted());

    QTest::mouseClick(nvr->titleStrip(), Qt::LeftButton);
    QCOMPARE(dev->selectedDevice(), nvr->device());
    QVERIFY(nvr->isHighlighted());
    QVERIFY(!cam->isHighlighted());

    MenuListDev *ch5 = nvr->children().at(5);
    Device *atMenu = nullptr;
    Channel *channelAtMenu = nullptr;
    QSignalSpy menu(ViewControl::instance(), &ViewControl::openedSubWindowMenuMsg);
    connect(ViewControl::instance(), &ViewControl::openedSubWindowMenuMsg, this,
            [&](Device *, Channel *, QMouseEvent *) {
                atMenu = dev->selectedDevice();
                channelAtMenu = dev->selectedChannel();
            });
    QTest::mousePress(ch5->titleStrip(), Qt::RightButton);
    QCOMPARE(menu.size(), 1);
    QCOMPARE(menu.at(0).at(0).value<Device *>(), nvr->device());
    QCOMPARE(menu.at(0).at(1).value<Channel *>(), nvr->device()->channel(5));
    QCOMPARE(atMenu, nvr->device());
    QCOMPARE(channelAtMenu, nvr->device()->channel(5));
    QVERIFY(ch5->isHighlighted());
    QVERIFY(!nvr->isHighlighted());
    disconnect(ViewControl::instance(), &ViewControl::openedSubWindowMenuMsg, this, nullptr);
}

void tst_DevTree::doubleClickAsksToPlayTheRowChannel()
{
    loadTwo();
    QSignalSpy connected(list.get(), &MenuDevList::connectedDev);
    MenuListDev *cam = list->rows().at(0);
    QTest::mouseDClick(cam->titleStrip(), Qt::LeftButton);
    QCOMPARE(connected.size(), 1);
    auto *row = connected.at(0).at(0).value<MenuListDev *>();
    QCOMPARE(row, cam);
    QCOMPARE(row->channel(), cam->device()->channel(0));

    MenuListDev *ch2 = list->rows().at(1)->children().at(2);
    QTest::mouseDClick(ch2->titleStrip(), Qt::LeftButton);
    QCOMPARE(connected.size(), 2);
    QCOMPARE(connected.at(1).at(0).value<MenuListDev *>(), ch2);
}

void tst_DevTree::doubleClickInTheGridSelectsTheRow()
{
    loadTwo();
    Device *nvrDev = list->rows().at(1)->device();
    emit ViewControl::instance()->doubleClickScreenMsg(nvrDev->channel(6));
    QCOMPARE(Dev::instance()->selectedDevice(), nvrDev);
    QCOMPARE(Dev::instance()->selectedChannel(), nvrDev->channel(6));
    QVERIFY(list->rows().at(1)->children().at(6)->isHighlighted());
}

void tst_DevTree::searchFiltersRows()
{
    loadTwo();
    list->searchEdit()->setText(QStringLiteral("nvr"));
    QCOMPARE(list->rows().size(), 1);
    QCOMPARE(list->rows().first()->title(), QStringLiteral("NVR-8"));
    list->searchEdit()->setText(QStringLiteral("door")); // nick name, any case
    QCOMPARE(list->rows().size(), 1);
    QCOMPARE(list->rows().first()->device()->uid(), QStringLiteral("CAM-1"));
    list->searchEdit()->setText(QStringLiteral("zzz"));
    QVERIFY(list->rows().isEmpty());
    QCOMPARE(list->rowContainer()->height(), 0);
    list->searchEdit()->clear();
    QCOMPARE(list->rows().size(), 2);
    ViewTestEnv::flushDeletes();
    QCOMPARE(list->rowContainer()
                 ->findChildren<MenuListDev *>(QString(), Qt::FindDirectChildrenOnly)
                 .size(),
             2);
}

void tst_DevTree::cloudListLoadsWithTheToken()
{
    QString url;
    QByteArray params;
    MenuDevList::Done reply;
    list->setUser(QStringLiteral("bob@example.com"), QStringLiteral("tok123"));
    list->setServiceBase(QStringLiteral("https://api.example.com"));
    list->setCloudRequest([&](const QString &u, const QByteArray &p, MenuDevList::Done done) {
        url = u;
        params = p;
        reply = done;
    });
    QSignalSpy loaded(list.get(), &MenuDevList::devLoaded);
    list->loadDevList();
    QCOMPARE(url, QStringLiteral("https://api.example.com/equipment/queryUserEquipment"));
    QCOMPARE(params, QByteArray("token=tok123"));
    QVERIFY(list->waitingCircle());
    QVERIFY(list->requestPending());

    reply(true, CloudReply);
    QCOMPARE(loaded.size(), 1);
    QCOMPARE(loaded.at(0).at(0).toBool(), true);
    QVERIFY(!list->waitingCircle());
    QCOMPARE(list->rows().size(), 2);
    Device *d = Dev::instance()->deviceByUid(QStringLiteral("CLOUD-1"));
    QVERIFY(d);
    QCOMPARE(d->pk(), QStringLiteral("1"));
    QCOMPARE(d->viewAccount(), QStringLiteral("Admin"));
    QCOMPARE(list->rows().at(1)->children().size(), 4);
    QCOMPARE(list->rows().at(1)->title(), QStringLiteral("CLOUD-2"));
}

void tst_DevTree::malformedCloudReplyLeavesTheRegistry()
{
    ViewTestEnv::addDevice(QStringLiteral("KEPT"), 1);
    int requests = 0;
    MenuDevList::Done reply;
    list->setUser(QStringLiteral("bob"), QStringLiteral("t"));
    list->setServiceBase(QStringLiteral("https://api.example.com"));
    list->setCloudRequest([&](const QString &, const QByteArray &, MenuDevList::Done done) {
        ++requests;
        reply = done;
    });
    QSignalSpy loaded(list.get(), &MenuDevList::devLoaded);
    list->loadDevList();
    reply(true, QByteArray(R"({"error_code":0,"result":{"datas":[{"fields":{"UID":"NEW"}})"));
    QCOMPARE(loaded.size(), 1);
    QCOMPARE(loaded.at(0).at(0).toBool(), false);
    QCOMPARE(Dev::instance()->devices().size(), 1);
    QVERIFY(!list->retryTimer()->isActive()); // an answer, not a failure: no retry
    reply(true, CloudReply);                  // a second call of the same reply
    QCOMPARE(requests, 1);
    QCOMPARE(Dev::instance()->devices().size(), 1);
}

void tst_DevTree::failedCloudListIsRetriedTenTimes()
{
    int requests = 0;
    list->setUser(QStringLiteral("bob"), QStringLiteral("t"));
    list->setServiceBase(QStringLiteral("https://api.example.com"));
    list->setCloudRequest([&](const QString &, const QByteArray &, MenuDevList::Done done) {
        ++requests;
        done(false, QByteArray());
    });
    QCOMPARE(list->retryTimer()->interval(), 1000);
    QVERIFY(list->retryTimer()->isSingleShot());
    list->retryTimer()->setInterval(1);
    QSignalSpy loaded(list.get(), &MenuDevList::devLoaded);

    list->loadDevList();
    QCOMPARE(requests, 1);
    QVERIFY(list->retryTimer()->isActive());
    QTRY_VERIFY_WITH_TIMEOUT(requests == 11 && !list->retryTimer()->isActive(), 20000);
    QCOMPARE(list->retryCount(), 0);
    QCOMPARE(loaded.size(), 11);
    for (const QList<QVariant> &args : std::as_const(loaded))
        QCOMPARE(args.at(0).toBool(), false);
    QVERIFY(list->waitingCircle()); // still waiting for a list

    // The next load gets its retries again.
    list->loadDevList();
    QTRY_VERIFY_WITH_TIMEOUT(requests == 22 && !list->retryTimer()->isActive(), 20000);
}

void tst_DevTree::staleCloudReplyIsDropped()
{
    QList<MenuDevList::Done> replies;
    list->setUser(QStringLiteral("bob"), QStringLiteral("t"));
    list->setServiceBase(QStringLiteral("https://api.example.com"));
    list->setCloudRequest(
        [&](const QString &, const QByteArray &, MenuDevList::Done done) { replies.append(done); });
    QSignalSpy loaded(list.get(), &MenuDevList::devLoaded);
    list->loadDevList();
    list->loadDevList();
    QCOMPARE(replies.size(), 2);
    replies.at(0)(false, QByteArray()); // the older one: ignored, no retry
    QCOMPARE(loaded.size(), 0);
    QVERIFY(!list->retryTimer()->isActive());
    replies.at(1)(true, CloudReply);
    QCOMPARE(loaded.size(), 1);

    // A reply after the panel is gone touches nothing.
    list->loadDevList();
    MenuDevList::Done late = replies.last();
    list.reset();
    late(true, CloudReply);
}

void tst_DevTree::managerButtonsOpenTheManager()
{
    QSignalSpy manage(ViewControl::instance(), &ViewControl::openDevManageMsg);
    for (const char *name : {"label_devManage", "label_addDevice"}) {
        auto *button = list->findChild<QLabel *>(QLatin1String(name));
        QVERIFY2(button, name);
        QTest::mouseClick(button, Qt::LeftButton);
    }
    QCOMPARE(manage.size(), 2);
    QCOMPARE(manage.at(0).at(0).value<Device *>(), nullptr);
}

QTEST_MAIN(tst_DevTree)
#include "tst_devtree.moc"
