// The device tree: loading (local and cloud, with the retry), rows, titles,
// icons, colours, selection, filtering and the row signals.

#include "../view/RecordingLink.h"
#include "../view/ViewTestEnv.h"

#include "config/Config.h"
#include "devtree/MenuDevList.h"
#include "devtree/MenuDevTitle.h"
#include "devtree/MenuListDev.h"
#include "link/IoConnect.h"
#include "view/ViewControl.h"
#include "view/WaitingCircle.h"
#include "widgets/LabelFoldBtn.h"

#include <QLabel>
#include <QLineEdit>
#include <QtTest>
#include "TestMain.h"

#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QByteArray CloudReply = R"({"error_code":0,"result":{"datas":[
    {"pk":"1","model":"m","fields":{"UID":"CLOUD-1","Type":7,"ChannelIndex":1,
     "NickName":"Door","View_Account":"","View_Password":"p1"}},
    {"pk":"2","model":"m","fields":{"UID":"CLOUD-2","Type":2,"ChannelIndex":4,
     "NickName":"","View_Account":"viewer","View_Password":"p2"}}]}})";
const QByteArray TruncatedReply = CloudReply.left(CloudReply.size() / 2);

QString labelStyle(MenuListDev *row, const char *name)
{
    return row->findChild<QLabel *>(QLatin1String(name))->styleSheet();
}

// The text states of a row and of its channel rows: "A|NNNFNNNN" (Normal,
// Failed, Active).
QString states(MenuListDev *row)
{
    QString out = QLatin1Char("NFA"[row->textState()]) + QLatin1Char('|');
    for (MenuListDev *channel : row->children())
        out += QLatin1Char("NFA"[channel->textState()]);
    return out;
}

// The first argument of every devLoaded() so far.
QList<bool> results(const QSignalSpy &loaded)
{
    QList<bool> out;
    for (const QList<QVariant> &args : loaded)
        out << args.at(0).toBool();
    return out;
}

} // namespace

class tst_DevTree : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qRegisterMetaType<MenuListDev *>();
        ViewTestEnv::quietLink();
        ViewControl::instance()->setLink(std::make_unique<RecordingLink>(&calls));
    }

    void init()
    {
        env = std::make_unique<ViewTestEnv>(); // fresh configuration per test
        list = std::make_unique<MenuDevList>();
        list->resize(240, 500);
        list->show();
    }

    void cleanup()
    {
        list.reset();
        ViewTestEnv::clearDevices();
        if (!ViewControl::instance()->isLive())
            ViewControl::instance()->changeMod(true);
        ViewTestEnv::flushDeletes();
        env.reset();
        calls.clear();
        requests.clear();
        replies.clear();
    }

    void localListBuildsOneRowPerDeviceWithChannelRows()
    {
        QSignalSpy loaded(list.get(), &MenuDevList::devLoaded);
        QVERIFY(list->waitingCircle());
        loadTwo();
        QCOMPARE(results(loaded), QList<bool>{true});
        QVERIFY(!list->waitingCircle());
        MenuListDev *cam = list->rows().at(0);
        MenuListDev *nvr = list->rows().at(1);
        Device *nvrDev = Dev::instance()->deviceByUid(u"NVR-8"_s);
        QVERIFY(nvrDev && nvr->device() == nvrDev);

        // Single channel: no child rows, the row stands for channel 0.
        QCOMPARE(cam->title(), u"Front door"_s);
        QCOMPARE(states(cam), u"N|"_s);
        QCOMPARE(cam->channel(), cam->device()->channel(0));
        QVERIFY(cam->foldButton()->isHidden());
        QVERIFY(labelStyle(cam, "label_icon_devType").contains(QLatin1String("c512.png")));

        // Eight channels: titled by the UID, child rows "通道1" ... "通道8", folded.
        QCOMPARE(nvr->title(), u"NVR-8"_s);
        QVERIFY(!nvr->channel());
        QVERIFY(!nvr->foldButton()->isHidden());
        QVERIFY(labelStyle(nvr, "label_icon_devType").contains(QLatin1String("DVR.png")));
        QCOMPARE(states(nvr), u"N|NNNNNNNN"_s);
        for (int i = 0; i < 8; ++i) {
            QCOMPARE(nvr->children().at(i)->title(), u"通道%1"_s.arg(i + 1));
            QCOMPARE(nvr->children().at(i)->channel(), nvrDev->channel(i));
        }
        QVERIFY(!nvr->isOpen());
        QVERIFY(nvr->findChild<QWidget *>(u"widget_channelBox"_s)->isHidden());

        // Loading again updates the registry in place and rebuilds the rows.
        list->loadDevList();
        QCOMPARE(Dev::instance()->devices().size(), 2);
        QCOMPARE(list->rows().size(), 2);
    }

    void rowColoursFollowTheLinkAndTheMode()
    {
        loadTwo();
        IoConnect *io = IoConnect::instance();
        MenuListDev *cam = list->rows().at(0);
        MenuListDev *nvr = list->rows().at(1);
        Device *nvrDev = nvr->device();
        QVERIFY(labelStyle(nvr, "label_devName").contains(QLatin1String("#4e525a")));

        nvrDev->channel(3)->setVideoOn(true, true);
        emit io->videoRequestSuccessMsg(nvrDev->channel(3));
        QCOMPARE(states(nvr), u"A|NNNANNNN"_s);
        QVERIFY(
            labelStyle(nvr->children().at(3), "label_devName").contains(QLatin1String("#008000")));
        emit io->connectChannelFailMsg(nvrDev->channel(2), -20019, u"x"_s);
        QCOMPARE(states(nvr), u"A|NNFANNNN"_s);
        QVERIFY(
            labelStyle(nvr->children().at(2), "label_devName").contains(QLatin1String("#FF0000")));

        // The last stream of the device stops: channel row and device row normal.
        nvrDev->channel(3)->setVideoOn(false, true);
        QSignalSpy closed(nvr->children().at(3), &MenuListDev::devClosed);
        emit io->videoRequestStopSuccessMsg(nvrDev->channel(3));
        QCOMPARE(closed.size(), 1);
        QCOMPARE(states(nvr), u"N|NNFNNNNN"_s);

        // The mode switch recolours from the streams of the new mode.
        nvrDev->channel(1)->setVideoOn(true, false);
        nvrDev->channel(0)->setVideoOn(true, true);
        ViewControl::instance()->changeMod(false);
        QCOMPARE(states(nvr), u"A|NANNNNNN"_s);
        ViewControl::instance()->changeMod(true);
        QCOMPARE(states(nvr), u"A|ANNNNNNN"_s);

        // A device that cannot be reached: its row turns red, a single-channel
        // device's row too; other devices stay as they are.
        emit io->connectDevFailMsg(nvrDev->channel(0), -90, u"x"_s);
        QCOMPARE(nvr->textState(), MenuListDev::Failed);
        QCOMPARE(states(cam), u"N|"_s);
        emit io->connectDevFailMsg(cam->channel(), -90, u"x"_s);
        QCOMPARE(states(cam), u"F|"_s);
    }

    void clicksSelectRowsAndRightClickSelectsFirst()
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
        QVERIFY(nvr->isHighlighted() && !cam->isHighlighted());

        MenuListDev *ch5 = nvr->children().at(5);
        Channel *selectedAtMenu = nullptr;
        QSignalSpy menu(ViewControl::instance(), &ViewControl::openedSubWindowMenuMsg);
        connect(ViewControl::instance(), &ViewControl::openedSubWindowMenuMsg, this,
                [&] { selectedAtMenu = dev->selectedChannel(); });
        QTest::mousePress(ch5->titleStrip(), Qt::RightButton);
        QCOMPARE(menu.size(), 1);
        QCOMPARE(menu.at(0).at(0).value<Device *>(), nvr->device());
        QCOMPARE(menu.at(0).at(1).value<Channel *>(), nvr->device()->channel(5));
        QCOMPARE(selectedAtMenu, nvr->device()->channel(5));
        QVERIFY(ch5->isHighlighted() && !nvr->isHighlighted());
        disconnect(ViewControl::instance(), &ViewControl::openedSubWindowMenuMsg, this, nullptr);

        // A double click in the grid selects the row of that channel.
        emit ViewControl::instance()->doubleClickScreenMsg(nvr->device()->channel(6));
        QCOMPARE(dev->selectedChannel(), nvr->device()->channel(6));
        QVERIFY(nvr->children().at(6)->isHighlighted() && !ch5->isHighlighted());
    }

    void doubleClickAsksToPlayTheRowChannel()
    {
        loadTwo();
        QSignalSpy connected(list.get(), &MenuDevList::connectedDev);
        MenuListDev *cam = list->rows().at(0);
        MenuListDev *ch2 = list->rows().at(1)->children().at(2);
        QTest::mouseDClick(cam->titleStrip(), Qt::LeftButton);
        QTest::mouseDClick(ch2->titleStrip(), Qt::LeftButton);
        QCOMPARE(connected.size(), 2);
        QCOMPARE(connected.at(0).at(0).value<MenuListDev *>(), cam);
        QCOMPARE(connected.at(1).at(0).value<MenuListDev *>(), ch2);
    }

    void searchFiltersRows()
    {
        loadTwo();
        list->searchEdit()->setText(u"nvr"_s);
        QCOMPARE(titles(), QStringList{"NVR-8"});
        list->searchEdit()->setText(u"door"_s); // nick name, any case
        QCOMPARE(titles(), QStringList{"Front door"});
        list->searchEdit()->setText(u"zzz"_s);
        QVERIFY(list->rows().isEmpty());
        QCOMPARE(list->rowContainer()->height(), 0);
        list->searchEdit()->clear();
        QCOMPARE(titles(), (QStringList{"Front door", "NVR-8"}));
        ViewTestEnv::flushDeletes();
        QCOMPARE(list->rowContainer()
                     ->findChildren<MenuListDev *>(QString(), Qt::FindDirectChildrenOnly)
                     .size(),
                 2);
    }

    void cloudListLoadsWithTheToken()
    {
        useCloud();
        QSignalSpy loaded(list.get(), &MenuDevList::devLoaded);
        list->loadDevList();
        QCOMPARE(requests, QStringList{"https://api.example.com/equipment/queryUserEquipment?"
                                       "token=tok123"});
        QVERIFY(list->waitingCircle() && list->requestPending());

        replies.at(0)(true, CloudReply);
        QCOMPARE(results(loaded), QList<bool>{true});
        QVERIFY(!list->waitingCircle());
        QCOMPARE(titles(), (QStringList{"Door", "CLOUD-2"}));
        QCOMPARE(list->rows().at(1)->children().size(), 4);
        Device *d = Dev::instance()->deviceByUid(u"CLOUD-1"_s);
        QVERIFY(d);
        QCOMPARE(d->viewAccount(), u"Admin"_s);
    }

    void unusableCloudRepliesLeaveTheRegistry()
    {
        ViewTestEnv::addDevice(u"KEPT"_s, 1);
        useCloud();
        QSignalSpy loaded(list.get(), &MenuDevList::devLoaded);
        list->loadDevList();
        list->loadDevList();
        replies.at(0)(false, QByteArray()); // the older one: ignored, no retry
        QVERIFY(loaded.isEmpty());
        replies.at(1)(true, TruncatedReply);
        QCOMPARE(results(loaded), QList<bool>{false});
        QVERIFY(!list->listStatus().isEmpty());   // says so instead of an empty tree
        QVERIFY(!list->retryTimer()->isActive()); // an answer, not a failure: no retry
        replies.at(1)(true, CloudReply);          // a second call of the same reply
        QCOMPARE(loaded.size(), 1);
        QCOMPARE(requests.size(), 2);
        QCOMPARE(uidsOf(Dev::instance()->devices()), QStringList{"KEPT"});

        // A reply after the panel is gone touches nothing.
        list->loadDevList();
        MenuDevList::Done late = replies.last();
        list.reset();
        late(true, CloudReply);
        QCOMPARE(Dev::instance()->devices().size(), 1);
    }

    void failedCloudListIsRetriedTenTimes()
    {
        useCloud(true);
        list->retryTimer()->setInterval(1);
        QSignalSpy loaded(list.get(), &MenuDevList::devLoaded);

        list->loadDevList();
        QCOMPARE(requests.size(), 1);
        QVERIFY(list->retryTimer()->isActive());
        QTRY_VERIFY_WITH_TIMEOUT(requests.size() == 11 && !list->retryTimer()->isActive(), 20000);
        QCOMPARE(list->retryCount(), 0);
        QCOMPARE(results(loaded), QList<bool>(11, false));
        // Given up: no more waiting, a message instead.
        QVERIFY(!list->waitingCircle());
        QVERIFY(!list->listStatus().isEmpty());

        // The next load waits again and gets its retries again.
        list->loadDevList();
        QVERIFY(list->waitingCircle() && list->listStatus().isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(requests.size() == 22 && !list->retryTimer()->isActive(), 20000);
    }

    void managerButtonsOpenTheManager()
    {
        QSignalSpy manage(ViewControl::instance(), &ViewControl::openDevManageMsg);
        for (const char *name : {"label_devManage", "label_addDevice"}) {
            auto *button = list->findChild<QLabel *>(QLatin1String(name));
            QVERIFY2(button, name);
            QTest::mouseClick(button, Qt::RightButton); // only the left button opens it
            QTest::mouseClick(button, Qt::LeftButton);
        }
        QCOMPARE(manage.size(), 2);
        QCOMPARE(manage.at(0).at(0).value<Device *>(), nullptr);
    }

private:
    // Two local devices: a single-channel camera and an 8-channel recorder.
    void loadTwo()
    {
        const QString admin = u"admin"_s;
        const QString pw = u"pw"_s;
        QVERIFY(Config::instance()->saveDevice({7, 1, u"Front door"_s, u"CAM-1"_s, admin, pw}));
        QVERIFY(Config::instance()->saveDevice({2, 8, QString(), u"NVR-8"_s, admin, pw}));
        list->loadDevList();
        QCOMPARE(list->rows().size(), 2);
    }

    QStringList titles() const
    {
        QStringList out;
        for (const MenuListDev *row : list->rows())
            out << row->title();
        return out;
    }

    static QStringList uidsOf(const QList<Device *> &devices)
    {
        QStringList out;
        for (const Device *d : devices)
            out << d->uid();
        return out;
    }

    // Sends the list's cloud requests nowhere: each is written down as
    // "<url>?<params>" and its answer kept, or answered at once with a failure.
    void useCloud(bool failAtOnce = false)
    {
        list->setUser(u"bob@example.com"_s, u"tok123"_s);
        list->setServiceBase(u"https://api.example.com"_s);
        list->setCloudRequest([this, failAtOnce](const QString &url, const QByteArray &params,
                                                 MenuDevList::Done done) {
            requests << url + QLatin1Char('?') + QString::fromLatin1(params);
            replies << done;
            if (failAtOnce)
                done(false, QByteArray());
        });
    }

    std::unique_ptr<ViewTestEnv> env;
    std::unique_ptr<MenuDevList> list;
    QStringList calls;
    QStringList requests;
    QList<MenuDevList::Done> replies;
};

ORVANE_TEST_MAIN(tst_DevTree)
#include "tst_devtree.moc"
