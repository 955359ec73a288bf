// The device context menu: entries and markers per mode, its size, and what
// each entry asks of the grid and the link.

#include "../view/RecordingLink.h"
#include "../view/ViewTestEnv.h"

#include "devtree/DevMenu.h"
#include "devtree/DevMenuItem.h"
#include "link/IoConnect.h"
#include "view/ViewControl.h"

#include <QtTest>

#include <memory>

class tst_DevMenu : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void channelEntriesInLiveMode();
    void channelEntriesInPlaybackMode();
    void deviceRowEntries();
    void sizeFollowsTheEntriesOffered();
    void playAndStopAskTheGridAndClose();
    void qualityAndAudioStayOpenAndFollowTheReply();
    void allPlayAndAllStopCoverTheDevice();
    void resetConnectionReleasesAndCloses();
    void talkAndEdit();

private:
    void click(DevMenu &menu, const char *name)
    {
        DevMenuItem *item = menu.item(QLatin1String(name));
        QVERIFY2(item, name);
        QTest::mouseClick(item, Qt::LeftButton);
    }

    std::unique_ptr<ViewTestEnv> env;
    QStringList calls;
};

void tst_DevMenu::initTestCase()
{
    env = std::make_unique<ViewTestEnv>();
    ViewTestEnv::quietLink();
    ViewControl::instance()->setLink(std::make_unique<RecordingLink>(&calls));
}

void tst_DevMenu::cleanup()
{
    if (!ViewControl::instance()->isLive())
        ViewControl::instance()->changeMod(true);
    ViewTestEnv::flushDeletes();
    ViewTestEnv::clearDevices();
    calls.clear();
}

void tst_DevMenu::channelEntriesInLiveMode()
{
    Device *d = ViewTestEnv::addDevice(QStringLiteral("CAM"), 1);
    Channel *ch = d->channel(0);
    ch->setViewRequested(true, true);
    ch->setQuality(true, true);
    ch->setTalking(true);
    DevMenu menu;
    menu.load(d, ch);
    QCOMPARE(menu.shownItems(), QStringList({"widget_play", "widget_stop", "widget_sd", "widget_hd",
                                             "widget_sound", "widget_soundstop", "widget_speech",
                                             "widget_editDevice", "widget_restart"}));
    QCOMPARE(menu.item(QStringLiteral("widget_allplay"))->text(), QStringLiteral("全部播放"));
    QCOMPARE(menu.item(QStringLiteral("widget_restart"))->text(), QStringLiteral("重置连接"));
    QVERIFY(menu.markerShown(QStringLiteral("label_playPoint")));
    QVERIFY(!menu.markerShown(QStringLiteral("label_stopPoint")));
    QVERIFY(menu.markerShown(QStringLiteral("label_hd")));
    QVERIFY(!menu.markerShown(QStringLiteral("label_sd")));
    QVERIFY(!menu.markerShown(QStringLiteral("label_audioAble")));
    QVERIFY(menu.markerShown(QStringLiteral("label_audioDisable")));
    QVERIFY(menu.markerShown(QStringLiteral("label_speechAble")));

    ch->setViewRequested(false, true);
    ch->setQuality(false, true);
    ch->setAudioOn(true, true);
    ch->setTalking(false);
    menu.load(d, ch);
    QVERIFY(!menu.markerShown(QStringLiteral("label_playPoint")));
    QVERIFY(menu.markerShown(QStringLiteral("label_stopPoint")));
    QVERIFY(menu.markerShown(QStringLiteral("label_sd")));
    QVERIFY(!menu.markerShown(QStringLiteral("label_hd")));
    QVERIFY(menu.markerShown(QStringLiteral("label_audioAble")));
    QVERIFY(!menu.markerShown(QStringLiteral("label_speechAble")));
}

void tst_DevMenu::channelEntriesInPlaybackMode()
{
    Device *d = ViewTestEnv::addDevice(QStringLiteral("CAM"), 1);
    Channel *ch = d->channel(0);
    ch->setViewRequested(true, true); // live state must not show here
    ch->setAudioOn(true, true);
    ViewControl::instance()->changeMod(false);
    DevMenu menu;
    menu.load(d, ch);
    QCOMPARE(menu.shownItems(),
             QStringList({"widget_play", "widget_stop", "widget_sound", "widget_soundstop",
                          "widget_editDevice", "widget_restart"}));
    QVERIFY(!menu.markerShown(QStringLiteral("label_playPoint")));
    QVERIFY(menu.markerShown(QStringLiteral("label_stopPoint")));
    QVERIFY(menu.markerShown(QStringLiteral("label_audioDisable")));
    ch->setViewRequested(true, false);
    ch->setAudioOn(true, false);
    menu.load(d, ch);
    QVERIFY(menu.markerShown(QStringLiteral("label_playPoint")));
    QVERIFY(menu.markerShown(QStringLiteral("label_audioAble")));
}

void tst_DevMenu::deviceRowEntries()
{
    Device *d = ViewTestEnv::addDevice(QStringLiteral("NVR"), 8);
    DevMenu menu;
    menu.load(d, nullptr);
    QCOMPARE(menu.shownItems(), QStringList({"widget_allplay", "widget_allstop",
                                             "widget_editDevice", "widget_restart"}));
    ViewControl::instance()->changeMod(false);
    menu.load(d, nullptr);
    QCOMPARE(menu.shownItems(),
             QStringList({"widget_allstop", "widget_editDevice", "widget_restart"}));
}

void tst_DevMenu::sizeFollowsTheEntriesOffered()
{
    Device *d = ViewTestEnv::addDevice(QStringLiteral("NVR"), 8);
    DevMenu menu;
    menu.load(d, nullptr);
    menu.place(30, 40);
    const int h = menu.item(QStringLiteral("widget_allplay"))->height();
    QCOMPARE(h, DevMenuItem::BaseHeight);
    QCOMPARE(menu.geometry(), QRect(30, 40, 136, 4 * h + 14));

    menu.load(d, d->channel(0));
    menu.place(5, 6);
    QCOMPARE(menu.geometry(), QRect(5, 6, 136, 9 * h + 10));
}

void tst_DevMenu::playAndStopAskTheGridAndClose()
{
    Device *d = ViewTestEnv::addDevice(QStringLiteral("CAM"), 1, -1);
    Channel *ch = d->channel(0);
    ViewControl *vc = ViewControl::instance();
    QSignalSpy closed(vc, &ViewControl::closeMenuMsg);
    {
        DevMenu menu;
        QSignalSpy own(&menu, &DevMenu::closeMenu);
        menu.load(d, ch);
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

void tst_DevMenu::qualityAndAudioStayOpenAndFollowTheReply()
{
    Device *d = ViewTestEnv::addDevice(QStringLiteral("CAM"), 1);
    Channel *ch = d->channel(0);
    Device *other = ViewTestEnv::addDevice(QStringLiteral("OTHER"), 1);
    DevMenu menu;
    QSignalSpy own(&menu, &DevMenu::closeMenu);
    menu.load(d, ch);
    QVERIFY(menu.markerShown(QStringLiteral("label_sd")));

    click(menu, "widget_hd");
    click(menu, "widget_sound");
    QCOMPARE(calls, QStringList({"changeQuality CAM/0 1", "audioControl CAM/0 1"}));
    QCOMPARE(own.size(), 0);
    QVERIFY(menu.markerShown(QStringLiteral("label_sd"))); // until the device answers

    IoConnect *io = IoConnect::instance();
    ch->setQuality(true, true);
    other->channel(0)->setQuality(false, true);
    emit io->changeQualitySuccessMsg(other->channel(0)); // not this menu's channel
    QVERIFY(menu.markerShown(QStringLiteral("label_sd")));
    emit io->changeQualitySuccessMsg(ch);
    QVERIFY(menu.markerShown(QStringLiteral("label_hd")));
    QVERIFY(!menu.markerShown(QStringLiteral("label_sd")));
    ch->setAudioOn(true, true);
    emit io->audioControlSuccessMsg(ch);
    QVERIFY(menu.markerShown(QStringLiteral("label_audioAble")));

    click(menu, "widget_sd");
    click(menu, "widget_soundstop");
    QCOMPARE(calls.mid(2), QStringList({"changeQuality CAM/0 0", "audioControl CAM/0 0"}));

    ch->setViewRequested(false, true);
    menu.load(d, ch);
    emit io->videoRequestSuccessMsg(ch);
    QVERIFY(menu.markerShown(QStringLiteral("label_playPoint")));
    QVERIFY(!menu.markerShown(QStringLiteral("label_stopPoint")));
}

void tst_DevMenu::allPlayAndAllStopCoverTheDevice()
{
    Device *d = ViewTestEnv::addDevice(QStringLiteral("NVR"), 3, 2);
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

void tst_DevMenu::resetConnectionReleasesAndCloses()
{
    Device *d = ViewTestEnv::addDevice(QStringLiteral("CAM"), 1);
    QWidget host;
    host.resize(400, 300);
    ViewControl *vc = ViewControl::instance();
    vc->attach(&host);
    d->channel(0)->setViewRequested(true, true);
    vc->showChannel(d->channel(0));
    QVERIFY(d->channel(0)->window());
    calls.clear();

    DevMenu menu;
    menu.load(d, d->channel(0));
    click(menu, "widget_restart");
    QCOMPARE(calls, QStringList({"closeDevice CAM"}));
    QVERIFY(!d->channel(0)->window());
    vc->removeWindowsFrom(0);
}

void tst_DevMenu::talkAndEdit()
{
    Device *d = ViewTestEnv::addDevice(QStringLiteral("CAM"), 1);
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

QTEST_MAIN(tst_DevMenu)
#include "tst_devmenu.moc"
