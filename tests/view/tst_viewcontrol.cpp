// The view grid: window creation and layout, dealing channels out to windows,
// the single-window zoom, the live/playback switch, stream control and the
// record-length timer. Devices are fake records; the link is a recorder.

#include "RecordingLink.h"
#include "ViewTestEnv.h"

#include "config/Location.h"
#include "link/IoConnect.h"
#include "media/GlWidgetViewWindow.h"
#include "model/ChannelSaveTimeout.h"
#include "view/ViewControl.h"

#include <QtTest>

#include <memory>

class tst_ViewControl : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void attachCreatesTheStoredLayoutAndPlacesIt();
    void invalidStoredModeCreatesNoWindows();
    void growingDealsRequestedChannelsAgainFromWindowZero();
    void shrinkingDropsWindowsButKeepsTheStreams();
    void busyGridLeavesANewChannelWithoutWindowUntilGrowth();
    void doubleClickZoomsToOneWindowAndBack();
    void selectingAChannelInSingleModeReplacesIt();
    void prepareChannelConnectsOnlyWhatIsMissing();
    void connectedChannelIsShownOnlyWhenRequestedLive();
    void connectFailureReleasesTheDeviceWindows();
    void stopChannelStopsTheStreamOfTheCurrentMode();
    void modeSwitchPausesAndResumesWithoutClosing();
    void stopAllClosesChannelsThenSessions();
    void closeDeviceReleasesWindowsAndClosesTheLink();
    void recordingStopsByItselfAfterTheTimeLength();
    void rightClickOnACellAsksForTheMenuAfterSelecting();

private:
    GlWidgetViewWindow *window(int i) const { return vc->windows().at(i); }
    // Marks the channel requested for live view and reports it connected.
    void connectLive(Channel *ch)
    {
        ch->setViewRequested(true, true);
        ch->setAvIndex(ch->index(), true);
        emit IoConnect::instance()->connectChannelSuccessMsg(ch);
    }

    std::unique_ptr<ViewTestEnv> env;
    ViewControl *vc = nullptr;
    QStringList calls;
    std::unique_ptr<QWidget> host;
};

void tst_ViewControl::initTestCase()
{
    env = std::make_unique<ViewTestEnv>();
    Location::instance()->setWindowNum(WINDOW_MOD_4);
    ViewTestEnv::quietLink();
    vc = ViewControl::instance();
    vc->setLink(std::make_unique<RecordingLink>(&calls));
}

void tst_ViewControl::init()
{
    host = std::make_unique<QWidget>();
    host->resize(1001, 601);
    host->show();
    QVERIFY(QTest::qWaitForWindowExposed(host.get()));
    vc->setWindowMod(WINDOW_MOD_4);
    vc->attach(host.get());
    calls.clear();
}

void tst_ViewControl::cleanup()
{
    vc->removeWindowsFrom(0);
    if (!vc->isLive())
        vc->changeMod(true);
    ViewTestEnv::flushDeletes();
    host.reset();
    ViewTestEnv::clearDevices();
    calls.clear();
}

void tst_ViewControl::attachCreatesTheStoredLayoutAndPlacesIt()
{
    QCOMPARE(vc->windows().size(), 4);
    QCOMPARE(window(0)->parentWidget(), host.get());
    QCOMPARE(window(0)->geometry(), QRect(1, 1, 498, 298));
    QCOMPARE(window(1)->geometry(), QRect(501, 1, 498, 298));
    QCOMPARE(window(2)->geometry(), QRect(1, 301, 498, 298));
    QCOMPARE(window(3)->geometry(), QRect(501, 301, 498, 298));

    QSignalSpy resized(vc, &ViewControl::resizeMsg);
    QSignalSpy counted(vc, &ViewControl::windowNumberChangeMsg);
    vc->setWindowMod(WINDOW_MOD_6);
    QCOMPARE(vc->windows().size(), 6);
    QCOMPARE(counted.size(), 1);
    QVERIFY(resized.size() >= 1);
    QCOMPARE(Location::instance()->windowNum(), int(WINDOW_MOD_6));
    QCOMPARE(window(0)->geometry(), QRect(1, 1, 665, 398));
    QCOMPARE(window(5)->geometry(), QRect(668, 201, 331, 198));

    vc->setSize(800, 600);
    QCOMPARE(window(0)->geometry(), QRect(1, 1, 531, 398));
}

void tst_ViewControl::invalidStoredModeCreatesNoWindows()
{
    Location::instance()->setWindowNum(42);
    ViewControl other; // not the shared one
    QWidget otherHost;
    otherHost.resize(400, 300);
    other.attach(&otherHost);
    QVERIFY(other.windows().isEmpty());
    other.setSize(400, 300); // nothing to lay out
    other.setWindowMod(WINDOW_MOD_1);
    QCOMPARE(other.windows().size(), 1);
    QCOMPARE(other.windows().first()->geometry(), QRect(0, 0, 400, 300));
}

void tst_ViewControl::growingDealsRequestedChannelsAgainFromWindowZero()
{
    Device *a = ViewTestEnv::addDevice(QStringLiteral("A"), 2);
    Device *b = ViewTestEnv::addDevice(QStringLiteral("B"), 4);
    // Shown in the order they connected: B0, A1, B2.
    connectLive(b->channel(0));
    connectLive(a->channel(1));
    connectLive(b->channel(2));
    QCOMPARE(window(0)->channel(), b->channel(0));
    QCOMPARE(window(1)->channel(), a->channel(1));
    QCOMPARE(window(2)->channel(), b->channel(2));
    QVERIFY(!window(3)->hasChannel());
    QCOMPARE(calls.count(QStringLiteral("startVideo B/0")), 1);

    vc->setWindowMod(WINDOW_MOD_9);
    QCOMPARE(vc->windows().size(), 9);
    // Dealt again in registry and channel order.
    QCOMPARE(window(0)->channel(), a->channel(1));
    QCOMPARE(window(1)->channel(), b->channel(0));
    QCOMPARE(window(2)->channel(), b->channel(2));
    for (int i = 3; i < 9; ++i)
        QVERIFY(!window(i)->hasChannel());
    QCOMPARE(a->channel(1)->window(), window(0));
    QCOMPARE(b->channel(0)->window(), window(1));
    QCOMPARE(b->channel(2)->window(), window(2));
    QVERIFY(!a->channel(0)->window());
}

void tst_ViewControl::shrinkingDropsWindowsButKeepsTheStreams()
{
    Device *d = ViewTestEnv::addDevice(QStringLiteral("NVR"), 9);
    vc->setWindowMod(WINDOW_MOD_9);
    for (int i = 0; i < 9; ++i)
        connectLive(d->channel(i));
    for (int i = 0; i < 9; ++i)
        QCOMPARE(d->channel(i)->window(), window(i));
    calls.clear();

    vc->setWindowMod(WINDOW_MOD_4);
    QCOMPARE(vc->windows().size(), 4);
    for (int i = 0; i < 4; ++i)
        QCOMPARE(d->channel(i)->window(), window(i));
    for (int i = 4; i < 9; ++i) {
        QVERIFY(!d->channel(i)->window());
        QVERIFY(d->channel(i)->viewRequested(true));
    }
    QVERIFY2(calls.isEmpty(), qPrintable(calls.join(QLatin1Char(','))));
    ViewTestEnv::flushDeletes();
    QCOMPARE(host->findChildren<GlWidgetViewWindow *>().size(), 4);
}

void tst_ViewControl::busyGridLeavesANewChannelWithoutWindowUntilGrowth()
{
    Device *d = ViewTestEnv::addDevice(QStringLiteral("NVR"), 10);
    vc->setWindowMod(WINDOW_MOD_9);
    for (int i = 0; i < 10; ++i)
        connectLive(d->channel(i));
    Channel *tenth = d->channel(9);
    QVERIFY(!tenth->window());
    QCOMPARE(calls.count(QStringLiteral("startVideo NVR/9")), 1); // it streams anyway

    // Freeing a window does not by itself pull the waiting channel in.
    vc->stopChannel(d->channel(3));
    QVERIFY(!window(3)->hasChannel());
    QVERIFY(!tenth->window());

    vc->setWindowMod(WINDOW_MOD_16);
    QVERIFY(tenth->window());
    QCOMPARE(tenth->window(), window(8)); // channels 0-2, 4-9 dealt out in order
    QVERIFY(!d->channel(3)->window());
}

void tst_ViewControl::doubleClickZoomsToOneWindowAndBack()
{
    Device *d = ViewTestEnv::addDevice(QStringLiteral("NVR"), 8);
    vc->setWindowMod(WINDOW_MOD_16);
    for (int i = 0; i < 8; ++i)
        connectLive(d->channel(i));
    Channel *ch = d->channel(5);
    QCOMPARE(ch->window(), window(5));
    QSignalSpy zoomed(vc, &ViewControl::doubleClickScreenMsg);

    QTest::mouseDClick(window(5), Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    QCOMPARE(zoomed.size(), 1);
    QCOMPARE(zoomed.at(0).at(0).value<Channel *>(), ch);
    QCOMPARE(vc->windowMod(), WINDOW_MOD_1);
    QCOMPARE(vc->previousMod(), WINDOW_MOD_16);
    QCOMPARE(vc->windows().size(), 1);
    QCOMPARE(window(0)->channel(), ch);
    QCOMPARE(ch->window(), window(0));
    QCOMPARE(window(0)->geometry(), QRect(0, 0, 1001, 601));
    ViewTestEnv::flushDeletes(); // the clicked cell goes only now

    QTest::mouseDClick(window(0), Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    QCOMPARE(zoomed.size(), 2);
    QCOMPARE(vc->windowMod(), WINDOW_MOD_16);
    QCOMPARE(vc->windows().size(), 16);
    for (int i = 0; i < 8; ++i)
        QCOMPARE(d->channel(i)->window(), window(i));
}

void tst_ViewControl::selectingAChannelInSingleModeReplacesIt()
{
    Device *d = ViewTestEnv::addDevice(QStringLiteral("NVR"), 4);
    vc->setWindowMod(WINDOW_MOD_1);
    Dev::instance()->setSelectedChannel(d->channel(1));
    QCOMPARE(window(0)->channel(), d->channel(1));
    Dev::instance()->setSelectedChannel(d->channel(3));
    QCOMPARE(window(0)->channel(), d->channel(3));
    QVERIFY(!d->channel(1)->window());
    QCOMPARE(d->channel(3)->window(), window(0));

    // Outside the single-window mode selection does not move channels.
    vc->setWindowMod(WINDOW_MOD_4);
    Dev::instance()->setSelectedChannel(d->channel(2));
    QVERIFY(!d->channel(2)->window());
}

void tst_ViewControl::prepareChannelConnectsOnlyWhatIsMissing()
{
    Device *off = ViewTestEnv::addDevice(QStringLiteral("OFF"), 2, -1);
    Device *on = ViewTestEnv::addDevice(QStringLiteral("ON"), 2, 3);

    vc->prepareChannel(off->channel(0), false);
    QCOMPARE(calls, QStringList({"connectChannel OFF/0", "startChannel OFF/0"}));
    QVERIFY(off->channel(0)->viewRequested(true));
    calls.clear();

    vc->prepareChannel(on->channel(0), true);
    QCOMPARE(calls, QStringList({"startChannel ON/0"}));
    QVERIFY(!on->channel(0)->viewRequested(true)); // kept as it was
    calls.clear();

    on->channel(1)->setAvIndex(7, true);
    vc->prepareChannel(on->channel(1), false);
    QCOMPARE(calls, QStringList({"reportChannelReady ON/1"}));
    calls.clear();

    vc->prepareChannel(nullptr, false);
    QVERIFY(calls.isEmpty());
}

void tst_ViewControl::connectedChannelIsShownOnlyWhenRequestedLive()
{
    Device *d = ViewTestEnv::addDevice(QStringLiteral("CAM"), 2);
    emit IoConnect::instance()->connectChannelSuccessMsg(d->channel(0)); // not requested
    QVERIFY(!d->channel(0)->window());
    QVERIFY(calls.isEmpty());

    vc->changeMod(false);
    calls.clear();
    d->channel(1)->setViewRequested(true, true);
    emit IoConnect::instance()->connectChannelSuccessMsg(d->channel(1)); // playback mode
    QVERIFY(!d->channel(1)->window());
    QVERIFY(!calls.contains(QStringLiteral("startVideo CAM/1")));

    vc->changeMod(true);
    QCOMPARE(d->channel(1)->window(), window(0)); // dealt by the switch
}

void tst_ViewControl::connectFailureReleasesTheDeviceWindows()
{
    Device *a = ViewTestEnv::addDevice(QStringLiteral("A"), 2);
    Device *b = ViewTestEnv::addDevice(QStringLiteral("B"), 1);
    connectLive(a->channel(0));
    connectLive(b->channel(0));
    connectLive(a->channel(1));
    emit IoConnect::instance()->connectDevFailMsg(a->channel(1), -90, QStringLiteral("x"));
    QVERIFY(!a->channel(0)->window());
    QVERIFY(!a->channel(1)->window());
    QVERIFY(!window(0)->hasChannel());
    QCOMPARE(window(1)->channel(), b->channel(0));
}

void tst_ViewControl::stopChannelStopsTheStreamOfTheCurrentMode()
{
    Device *d = ViewTestEnv::addDevice(QStringLiteral("CAM"), 1);
    connectLive(d->channel(0));
    calls.clear();
    vc->stopChannel(d->channel(0));
    QCOMPARE(calls, QStringList({"stopVideo CAM/0 0"}));
    QVERIFY(!d->channel(0)->viewRequested(true));
    QVERIFY(!window(0)->hasChannel());

    vc->changeMod(false);
    const QDateTime start(QDate(2024, 3, 1), QTime(8, 0));
    vc->playReplay(d->channel(0), start);
    QVERIFY(d->channel(0)->viewRequested(false));
    QCOMPARE(d->channel(0)->replayDateTime(), start);
    QCOMPARE(d->channel(0)->window(), window(0));
    QVERIFY(calls.contains(QStringLiteral("playReplay CAM/0 2024-03-01T08:00:00")));
    calls.clear();
    vc->stopChannel(d->channel(0));
    QCOMPARE(calls, QStringList({"stopReplay CAM/0 0"}));
    QVERIFY(!d->channel(0)->viewRequested(false));
    QVERIFY(!d->channel(0)->window());
}

void tst_ViewControl::modeSwitchPausesAndResumesWithoutClosing()
{
    Device *d = ViewTestEnv::addDevice(QStringLiteral("NVR"), 3);
    Device *offline = ViewTestEnv::addDevice(QStringLiteral("OFF"), 1, -1);
    offline->channel(0)->setViewRequested(true, true);
    connectLive(d->channel(0));
    d->channel(1)->setViewRequested(true, false); // requested for playback earlier
    calls.clear();
    QSignalSpy changed(vc, &ViewControl::changeModMsg);

    vc->changeMod(false);
    QVERIFY(!vc->isLive());
    QCOMPARE(changed.size(), 1);
    QCOMPARE(changed.at(0).at(0).toBool(), false);
    QCOMPARE(calls, QStringList({"pause NVR/0 1", "resume NVR/1 0"}));
    QCOMPARE(window(0)->channel(), d->channel(1));
    QVERIFY(d->channel(1)->waitKeyFrame(false));
    QVERIFY(!d->channel(0)->window());
    QVERIFY(d->channel(0)->viewRequested(true)); // remembered for the way back

    calls.clear();
    vc->changeMod(true);
    QCOMPARE(calls, QStringList({"resume NVR/0 1", "pause NVR/1 0"}));
    QCOMPARE(window(0)->channel(), d->channel(0));
    QVERIFY(d->channel(0)->waitKeyFrame(true));

    // A paused playback is left alone when the grid switches to it.
    d->channel(1)->setPaused(true, false);
    calls.clear();
    vc->changeMod(false);
    QCOMPARE(calls, QStringList({"pause NVR/0 1"}));
    for (const QString &c : std::as_const(calls))
        QVERIFY(!c.startsWith(QLatin1String("close")));
}

void tst_ViewControl::stopAllClosesChannelsThenSessions()
{
    Device *a = ViewTestEnv::addDevice(QStringLiteral("A"), 3, 1);
    Device *b = ViewTestEnv::addDevice(QStringLiteral("B"), 1, 2);
    Device *off = ViewTestEnv::addDevice(QStringLiteral("OFF"), 1, -1);
    a->channel(0)->setAvIndex(0, true);
    a->channel(2)->setAvIndex(4, false); // playback only
    off->channel(0)->setAvIndex(1, true);
    Q_UNUSED(b)
    vc->stopAll();
    QCOMPARE(calls, QStringList({"closeChannel A/0", "closeChannel A/2", "closeDeviceOf A/0",
                                 "closeDeviceOf B/0"}));
}

void tst_ViewControl::closeDeviceReleasesWindowsAndClosesTheLink()
{
    Device *a = ViewTestEnv::addDevice(QStringLiteral("A"), 2);
    connectLive(a->channel(0));
    connectLive(a->channel(1));
    calls.clear();
    vc->closeDevice(a);
    QCOMPARE(calls, QStringList({"closeDevice A"}));
    QVERIFY(!a->channel(0)->window());
    QVERIFY(!window(1)->hasChannel());
    vc->closeDevice(nullptr);
    vc->closeDeviceThenRelease(nullptr);
    QCOMPARE(calls.size(), 1);
}

void tst_ViewControl::recordingStopsByItselfAfterTheTimeLength()
{
    Location::instance()->setTimeLength(30);
    Device *d = ViewTestEnv::addDevice(QStringLiteral("CAM"), 1);
    Channel *ch = d->channel(0);
    connectLive(ch);
    QSignalSpy recorded(vc, &ViewControl::recordMsg);

    vc->recordChange(ch, true);
    QVERIFY(ch->recording(true));
    ChannelSaveTimeout *timer = ch->slot(true).recordTimer;
    QVERIFY(timer);
    QVERIFY(timer->isActive());
    QVERIFY(timer->isSingleShot());
    QCOMPARE(timer->interval(), 30 * 60 * 1000);
    QCOMPARE(recorded.size(), 1);
    QCOMPARE(recorded.at(0).at(1).toBool(), true);

    // The grid switches to playback before the time is up: the live
    // recording still is the one that ends.
    vc->changeMod(false);
    emit timer->timeout(ch);
    QVERIFY(!ch->recording(true));
    QVERIFY(!ch->slot(true).recordTimer);
    QCOMPARE(recorded.size(), 2);
    QCOMPARE(recorded.at(1).at(1).toBool(), false);

    // Stopping by hand removes the timer.
    vc->changeMod(true);
    vc->recordChange(ch, true);
    QVERIFY(ch->slot(true).recordTimer);
    vc->recordChange(ch, false);
    QVERIFY(!ch->slot(true).recordTimer);
    QVERIFY(!ch->recording(true));
}

void tst_ViewControl::rightClickOnACellAsksForTheMenuAfterSelecting()
{
    Device *d = ViewTestEnv::addDevice(QStringLiteral("CAM"), 2);
    connectLive(d->channel(0));
    connectLive(d->channel(1));
    Channel *selectedAtMenu = nullptr;
    connect(vc, &ViewControl::openedSubWindowMenuMsg, this,
            [&](Device *, Channel *, QMouseEvent *) {
                selectedAtMenu = Dev::instance()->selectedChannel();
            });
    QSignalSpy menu(vc, &ViewControl::openedSubWindowMenuMsg);
    QTest::mouseClick(window(1), Qt::RightButton, Qt::NoModifier, QPoint(20, 30));
    QTRY_COMPARE(menu.size(), 1);
    QCOMPARE(menu.at(0).at(0).value<Device *>(), d);
    QCOMPARE(menu.at(0).at(1).value<Channel *>(), d->channel(1));
    QCOMPARE(selectedAtMenu, d->channel(1));

    QTest::mouseClick(window(2), Qt::RightButton); // empty cell: no menu
    QCoreApplication::processEvents();
    QCOMPARE(menu.size(), 1);
    disconnect(vc, &ViewControl::openedSubWindowMenuMsg, this, nullptr);
}

QTEST_MAIN(tst_ViewControl)
#include "tst_viewcontrol.moc"
