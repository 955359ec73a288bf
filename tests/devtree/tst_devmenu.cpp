// The device context menu: entries and markers per mode, its size, and what
// each entry asks of the grid and the link.

#include "../view/RecordingLink.h"
#include "../view/ViewTestEnv.h"

#include "devtree/DevMenu.h"
#include "devtree/DevMenuItem.h"
#include "link/DeviceEvents.h"
#include "link/DeviceLinks.h"
#include "view/ViewControl.h"

#include <QtTest>
#include "TestMain.h"

#include <memory>

using namespace Qt::StringLiterals;

namespace {

// The markers shown now, without their "label_" prefix.
QStringList markers(const DevMenu &menu)
{
    QStringList shown;
    for (const char *name :
         {"playPoint", "stopPoint", "sd", "hd", "audioAble", "audioDisable", "speechAble"}) {
        if (menu.markerShown(QLatin1String("label_") + QLatin1String(name)))
            shown << QLatin1String(name);
    }
    return shown;
}

} // namespace

class tst_DevMenu : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        env = std::make_unique<ViewTestEnv>();
        ViewTestEnv::quietLink();
        ViewControl::instance()->setLink(std::make_unique<RecordingLink>(&calls));
    }

    void cleanup()
    {
        if (!ViewControl::instance()->isLive())
            ViewControl::instance()->changeMod(true);
        ViewTestEnv::flushDeletes();
        ViewTestEnv::clearDevices();
        calls.clear();
    }

    void entriesAndMarkersFollowTheMode()
    {
        Device *d = ViewTestEnv::addDevice(u"CAM"_s, 1);
        Device *nvr = ViewTestEnv::addDevice(u"NVR"_s, 8);
        Channel *ch = d->channel(0);
        ch->setViewRequested(true, true);
        ch->setQuality(true, true);
        ch->setTalking(true);
        DevMenu menu;
        menu.load(d, ch);
        QCOMPARE(menu.shownItems(),
                 QStringList({"widget_play", "widget_stop", "widget_sd", "widget_hd",
                              "widget_sound", "widget_soundstop", "widget_speech",
                              "widget_editDevice", "widget_restart"}));
        QCOMPARE(menu.item(u"widget_allplay"_s)->text(), u"全部播放"_s);
        QCOMPARE(menu.item(u"widget_restart"_s)->text(), u"重置连接"_s);
        QCOMPARE(markers(menu), QStringList({"playPoint", "hd", "audioDisable", "speechAble"}));

        ch->setViewRequested(false, true);
        ch->setQuality(false, true);
        ch->setAudioOn(true, true);
        ch->setTalking(false);
        menu.load(d, ch);
        QCOMPARE(markers(menu), QStringList({"stopPoint", "sd", "audioAble"}));
        menu.load(nvr, nullptr); // a device row
        QCOMPARE(menu.shownItems(), QStringList({"widget_allplay", "widget_allstop",
                                                 "widget_editDevice", "widget_restart"}));

        // Playback shows the playback state of the channel, not the live one.
        ch->setViewRequested(true, true);
        ViewControl::instance()->changeMod(false);
        DevMenu playback;
        playback.load(d, ch);
        QCOMPARE(playback.shownItems(),
                 QStringList({"widget_play", "widget_stop", "widget_sound", "widget_soundstop",
                              "widget_editDevice", "widget_restart"}));
        QCOMPARE(markers(playback), QStringList({"stopPoint", "audioDisable"}));
        ch->setViewRequested(true, false);
        ch->setAudioOn(true, false);
        playback.load(d, ch);
        QCOMPARE(markers(playback), QStringList({"playPoint", "audioAble"}));
        playback.load(nvr, nullptr);
        QCOMPARE(playback.shownItems(),
                 QStringList({"widget_allstop", "widget_editDevice", "widget_restart"}));
    }

    // A device whose link lacks sound, talk and playback (an RTSP camera) is
    // offered none of them.
    void entriesFollowWhatTheDeviceOffers()
    {
        Device *cam = ViewTestEnv::addDevice(u"RTSPCAM"_s, 1);
        cam->setKind(DeviceKind::Rtsp);
        DevMenu menu;
        menu.load(cam, cam->channel(0));
        QCOMPARE(menu.shownItems(),
                 QStringList({"widget_play", "widget_stop", "widget_sd", "widget_hd",
                              "widget_editDevice", "widget_restart"}));
        ViewControl::instance()->changeMod(false);
        menu.load(cam, cam->channel(0));
        QCOMPARE(menu.shownItems(), QStringList({"widget_editDevice", "widget_restart"}));
        // Asked to play back all the same, the grid does not ask the link.
        ViewControl::instance()->playReplay(cam->channel(0), QDateTime::currentDateTime(), 0, true,
                                            0);
        QVERIFY(calls.filter(u"RTSPCAM"_s).isEmpty());
    }

    void sizeFollowsTheEntriesOffered()
    {
        Device *d = ViewTestEnv::addDevice(u"NVR"_s, 8);
        DevMenu menu;
        menu.load(d, nullptr);
        menu.place(30, 40);
        const int h = menu.item(u"widget_allplay"_s)->height();
        QCOMPARE(h, DevMenuItem::BaseHeight);
        QCOMPARE(menu.geometry(), QRect(30, 40, 136, 4 * h + 14));

        menu.load(d, d->channel(0));
        menu.place(5, 6);
        QCOMPARE(menu.geometry(), QRect(5, 6, 136, 9 * h + 10));
    }

    void playAndStopAskTheGridAndClose()
    {
        Device *d = ViewTestEnv::addDevice(u"CAM"_s, 1, -1);
        Channel *ch = d->channel(0);
        ViewControl *vc = ViewControl::instance();
        QSignalSpy closed(vc, &ViewControl::closeMenuMsg);
        {
            DevMenu menu;
            QSignalSpy own(&menu, &DevMenu::closeMenu);
            menu.load(d, ch);
            click(menu, "widget_play", Qt::RightButton); // entries answer the left button only
            QVERIFY(calls.isEmpty());
            click(menu, "widget_play");
            QCOMPARE(calls, QStringList({"connectChannel CAM/0", "startChannel CAM/0"}));
            QVERIFY(ch->viewRequested(true));
            QCOMPARE(own.size(), 1);
        }
        QTRY_COMPARE(closed.size(), 1);

        calls.clear();
        DevMenu menu;
        menu.load(d, ch);
        click(menu, "widget_stop");
        QCOMPARE(calls, QStringList({"stopVideo CAM/0 0"}));
        QVERIFY(!ch->viewRequested(true));
        QTRY_COMPARE(closed.size(), 2);

        // Playback: play at the grid's playback position.
        calls.clear();
        vc->changeMod(false);
        vc->setReplayDate(QDate(2024, 5, 20));
        vc->setReplayTime(QTime(7, 4, 38));
        menu.load(d, ch);
        click(menu, "widget_play");
        QCOMPARE(calls, QStringList({"playReplay CAM/0 2024-05-20T07:04:38"}));
        QCOMPARE(ch->replayDateTime(), QDateTime(QDate(2024, 5, 20), QTime(7, 4, 38)));
    }

    void qualityAndAudioStayOpenAndFollowTheReply()
    {
        Device *d = ViewTestEnv::addDevice(u"CAM"_s, 1);
        Channel *ch = d->channel(0);
        Device *other = ViewTestEnv::addDevice(u"OTHER"_s, 1);
        DevMenu menu;
        QSignalSpy own(&menu, &DevMenu::closeMenu);
        menu.load(d, ch);
        QCOMPARE(markers(menu), QStringList({"stopPoint", "sd", "audioDisable"}));

        click(menu, "widget_hd");
        click(menu, "widget_sound");
        QCOMPARE(calls, QStringList({"changeQuality CAM/0 1", "audioControl CAM/0 1"}));
        QCOMPARE(own.size(), 0);
        QVERIFY(menu.markerShown(u"label_sd"_s)); // until the device answers

        DeviceEvents *io = DeviceLinks::events();
        ch->setQuality(true, true);
        other->channel(0)->setQuality(false, true);
        emit io->changeQualitySuccessMsg(other->channel(0)); // not this menu's channel
        QVERIFY(menu.markerShown(u"label_sd"_s));
        emit io->changeQualitySuccessMsg(ch);
        ch->setAudioOn(true, true);
        emit io->audioControlSuccessMsg(ch);
        emit io->videoRequestSuccessMsg(ch); // the request is not looked at again
        QCOMPARE(markers(menu), QStringList({"playPoint", "hd", "audioAble"}));

        click(menu, "widget_sd");
        click(menu, "widget_soundstop");
        QCOMPARE(calls.mid(2), QStringList({"changeQuality CAM/0 0", "audioControl CAM/0 0"}));
    }

    void allPlayAndAllStopCoverTheDevice()
    {
        Device *d = ViewTestEnv::addDevice(u"NVR"_s, 3, 2);
        DevMenu menu;
        menu.load(d, nullptr);
        click(menu, "widget_allplay");
        QCOMPARE(calls,
                 QStringList({"startChannel NVR/0", "startChannel NVR/1", "startChannel NVR/2"}));
        for (int i = 0; i < 3; ++i)
            QVERIFY(d->channel(i)->viewRequested(true));

        calls.clear();
        d->channel(0)->setAvIndex(0, true);
        d->channel(2)->setAvIndex(1, true);
        click(menu, "widget_allstop");
        QCOMPARE(calls, QStringList({"stopVideo NVR/0 0", "stopVideo NVR/2 0"}));
    }

    void resetConnectionReleasesAndCloses()
    {
        Device *d = ViewTestEnv::addDevice(u"CAM"_s, 1);
        QWidget host;
        host.resize(400, 300);
        ViewControl *vc = ViewControl::instance();
        vc->attach(&host);
        d->channel(0)->setViewRequested(true, true);
        vc->showChannel(d->channel(0));
        QVERIFY(ViewControl::instance()->cellOf(d->channel(0)));
        calls.clear();

        DevMenu menu;
        menu.load(d, d->channel(0));
        click(menu, "widget_restart");
        QCOMPARE(calls, QStringList({"closeDevice CAM"}));
        QVERIFY(!ViewControl::instance()->cellOf(d->channel(0)));
        vc->removeWindowsFrom(0);
    }

    void talkAndEdit()
    {
        Device *d = ViewTestEnv::addDevice(u"CAM"_s, 1);
        Channel *ch = d->channel(0);
        DevMenu menu;
        menu.load(d, ch);
        click(menu, "widget_speech");
        ch->setTalking(true);
        click(menu, "widget_speech");
        QCOMPARE(calls, QStringList({"audioSendControl CAM/0 1", "audioSendControl CAM/0 0"}));

        QSignalSpy manage(ViewControl::instance(), &ViewControl::openDevManageMsg);
        click(menu, "widget_editDevice");
        QCOMPARE(manage.size(), 1);
        QCOMPARE(manage.at(0).at(0).value<Device *>(), d);
    }

private:
    void click(DevMenu &menu, const char *name, Qt::MouseButton button = Qt::LeftButton)
    {
        DevMenuItem *item = menu.item(QLatin1String(name));
        QVERIFY2(item, name);
        QTest::mouseClick(item, button);
    }

    std::unique_ptr<ViewTestEnv> env;
    QStringList calls;
};

ORVANE_TEST_MAIN(tst_DevMenu)
#include "tst_devmenu.moc"
