// The view grid: window creation and layout, dealing channels out to windows,
// the single-window zoom, the live/playback switch, stream control and the
// record-length timer. Devices are fake records; the link is a recorder.

#include "RecordingLink.h"
#include "ViewTestEnv.h"

#include "config/Config.h"
#include "config/Location.h"
#include "link/DeviceEvents.h"
#include "link/DeviceLinks.h"
#include "link/IoConnect.h"
#include "view/GlWidgetViewWindow.h"
#include "model/ChannelSaveTimeout.h"
#include "view/ViewControl.h"

#include <QtTest>
#include "TestMain.h"

#include <memory>

using namespace Qt::StringLiterals;

class tst_ViewControl : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        env = std::make_unique<ViewTestEnv>();
        Location::instance()->setWindowNum(WINDOW_MOD_4);
        ViewTestEnv::quietLink();
        vc = ViewControl::instance();
        vc->setLink(std::make_unique<RecordingLink>(&calls));
    }

    void init()
    {
        host = std::make_unique<QWidget>();
        host->resize(1001, 601);
        host->show();
        QVERIFY(QTest::qWaitForWindowExposed(host.get()));
        vc->setWindowMod(WINDOW_MOD_4);
        vc->attach(host.get());
        calls.clear();
    }

    void cleanup()
    {
        vc->removeWindowsFrom(0);
        if (!vc->isLive())
            vc->changeMod(true);
        ViewTestEnv::flushDeletes();
        host.reset();
        ViewTestEnv::clearDevices();
        calls.clear();
    }

    void attachCreatesTheStoredLayoutAndPlacesIt()
    {
        QCOMPARE(vc->windows().size(), 4);
        QCOMPARE(window(0)->parentWidget(), host.get());
        QCOMPARE(geometries(), WindowMod::cellRects(WINDOW_MOD_4, 1001, 601));

        QSignalSpy resized(vc, &ViewControl::resizeMsg);
        QSignalSpy counted(vc, &ViewControl::windowNumberChangeMsg);
        vc->setWindowMod(WINDOW_MOD_6);
        QCOMPARE(vc->windows().size(), 6);
        QCOMPARE(counted.size(), 1);
        QVERIFY(resized.size() >= 1);
        QCOMPARE(Location::instance()->windowNum(), int(WINDOW_MOD_6));
        QCOMPARE(geometries(), WindowMod::cellRects(WINDOW_MOD_6, 1001, 601));
        vc->setSize(800, 600);
        QCOMPARE(geometries(), WindowMod::cellRects(WINDOW_MOD_6, 800, 600));
    }

    void growingDealsRequestedChannelsAgainFromWindowZero()
    {
        Device *a = ViewTestEnv::addDevice(u"A"_s, 2);
        Device *b = ViewTestEnv::addDevice(u"B"_s, 4);
        ViewTestEnv::connectLive(b->channel(0));
        ViewTestEnv::connectLive(a->channel(1));
        ViewTestEnv::connectLive(b->channel(2));
        QCOMPARE(shown(), QStringList({"B/0", "A/1", "B/2", "-"})); // in the order they connected
        QCOMPARE(calls.count(u"startVideo B/0"_s), 1);

        vc->setWindowMod(WINDOW_MOD_9); // dealt again in registry and channel order
        QCOMPARE(shown(), QStringList({"A/1", "B/0", "B/2", "-", "-", "-", "-", "-", "-"}));
        QVERIFY(!ViewControl::instance()->cellOf(a->channel(0)));
    }

    void shrinkingDropsWindowsButKeepsTheStreams()
    {
        Device *d = ViewTestEnv::addDevice(u"NVR"_s, 9);
        vc->setWindowMod(WINDOW_MOD_9);
        for (int i = 0; i < 9; ++i)
            ViewTestEnv::connectLive(d->channel(i));
        calls.clear();

        vc->setWindowMod(WINDOW_MOD_4);
        QCOMPARE(shown(), QStringList({"NVR/0", "NVR/1", "NVR/2", "NVR/3"}));
        for (int i = 4; i < 9; ++i)
            QVERIFY(!ViewControl::instance()->cellOf(d->channel(i)) &&
                    d->channel(i)->viewRequested(true));
        QVERIFY2(calls.isEmpty(), qPrintable(calls.join(QLatin1Char(','))));
        ViewTestEnv::flushDeletes();
        QCOMPARE(host->findChildren<GlWidgetViewWindow *>().size(), 4);
    }

    void busyGridLeavesANewChannelWithoutWindowUntilGrowth()
    {
        Device *d = ViewTestEnv::addDevice(u"NVR"_s, 10);
        vc->setWindowMod(WINDOW_MOD_9);
        for (int i = 0; i < 10; ++i)
            ViewTestEnv::connectLive(d->channel(i));
        Channel *tenth = d->channel(9);
        QVERIFY(!ViewControl::instance()->cellOf(tenth));
        QCOMPARE(calls.count(u"startVideo NVR/9"_s), 1); // it streams anyway, not decoded
        QVERIFY(!tenth->seen());

        // Freeing a window does not by itself pull the waiting channel in.
        vc->stopChannel(d->channel(3));
        QCOMPARE(shown().at(3), u"-"_s);
        QVERIFY(!ViewControl::instance()->cellOf(tenth));

        vc->setWindowMod(WINDOW_MOD_16);
        QCOMPARE(shown().mid(0, 10), QStringList({"NVR/0", "NVR/1", "NVR/2", "NVR/4", "NVR/5",
                                                  "NVR/6", "NVR/7", "NVR/8", "NVR/9", "-"}));
        QVERIFY(tenth->seen());
    }

    void doubleClickZoomsToOneWindowAndBack()
    {
        Device *d = ViewTestEnv::addDevice(u"NVR"_s, 8);
        vc->setWindowMod(WINDOW_MOD_16);
        for (int i = 0; i < 8; ++i)
            ViewTestEnv::connectLive(d->channel(i));
        const QStringList before = shown();
        QSignalSpy zoomed(vc, &ViewControl::doubleClickScreenMsg);

        QTest::mouseDClick(window(5), Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
        QCOMPARE(zoomed.size(), 1);
        QCOMPARE(zoomed.at(0).at(0).value<Channel *>(), d->channel(5));
        QCOMPARE(vc->windowMod(), WINDOW_MOD_1);
        QCOMPARE(vc->previousMod(), WINDOW_MOD_16);
        QCOMPARE(shown(), QStringList{"NVR/5"});
        QCOMPARE(window(0)->geometry(), QRect(0, 0, 1001, 601));
        ViewTestEnv::flushDeletes(); // the clicked cell goes only now

        QTest::mouseDClick(window(0), Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
        QCOMPARE(zoomed.size(), 2);
        QCOMPARE(vc->windowMod(), WINDOW_MOD_16);
        QCOMPARE(shown(), before);
    }

    void selectingAChannelInSingleModeReplacesIt()
    {
        Device *d = ViewTestEnv::addDevice(u"NVR"_s, 4);
        vc->setWindowMod(WINDOW_MOD_1);
        Dev::instance()->setSelectedChannel(d->channel(1));
        QCOMPARE(shown(), QStringList{"NVR/1"});
        Dev::instance()->setSelectedChannel(d->channel(3));
        QCOMPARE(shown(), QStringList{"NVR/3"});
        QVERIFY(!ViewControl::instance()->cellOf(d->channel(1)));

        // Outside the single-window mode selection does not move channels.
        vc->setWindowMod(WINDOW_MOD_4);
        Dev::instance()->setSelectedChannel(d->channel(2));
        QVERIFY(!ViewControl::instance()->cellOf(d->channel(2)));
    }

    void prepareChannelConnectsOnlyWhatIsMissing()
    {
        Device *off = ViewTestEnv::addDevice(u"OFF"_s, 2, -1);
        Device *on = ViewTestEnv::addDevice(u"ON"_s, 2, 3);

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

    void connectedChannelIsShownOnlyWhenRequestedLive()
    {
        Device *d = ViewTestEnv::addDevice(u"CAM"_s, 2);
        emit IoConnect::instance()->connectChannelSuccessMsg(d->channel(0)); // not requested
        QVERIFY(!ViewControl::instance()->cellOf(d->channel(0)));
        QVERIFY(calls.isEmpty());

        vc->changeMod(false);
        calls.clear();
        d->channel(1)->setViewRequested(true, true);
        emit IoConnect::instance()->connectChannelSuccessMsg(d->channel(1)); // playback mode
        QVERIFY(!ViewControl::instance()->cellOf(d->channel(1)));
        QVERIFY(!calls.contains(u"startVideo CAM/1"_s));

        vc->changeMod(true);
        QCOMPARE(ViewControl::instance()->cellOf(d->channel(1)), window(0)); // dealt by the switch
    }

    // A connect failure releases the device's windows, unless it waits for
    // the user (refused credentials, another key): then they stay and say so.
    void connectFailureReleasesTheDeviceWindowsUnlessTheUserMustAct_data()
    {
        QTest::addColumn<bool>("channelLevel");
        QTest::addColumn<int>("code");
        QTest::addColumn<QStringList>("cells");
        QTest::addColumn<int>("saying"); // cells with the refusal's text
        QTest::newRow("device not reached")
            << false << -90 << QStringList{"-", "B/0", "-", "-"} << 0;
        QTest::newRow("device refused") << false << int(RecordingLink::RefusedCode)
                                        << QStringList{"A/0", "B/0", "A/1", "-"} << 2;
        QTest::newRow("channel refused") << true << int(RecordingLink::RefusedCode)
                                         << QStringList{"A/0", "B/0", "A/1", "-"} << 1;
    }
    void connectFailureReleasesTheDeviceWindowsUnlessTheUserMustAct()
    {
        QFETCH(bool, channelLevel);
        QFETCH(int, code);
        QFETCH(QStringList, cells);
        QFETCH(int, saying);
        Device *a = ViewTestEnv::addDevice(u"A"_s, 2);
        Device *b = ViewTestEnv::addDevice(u"B"_s, 1);
        ViewTestEnv::connectLive(a->channel(0));
        ViewTestEnv::connectLive(b->channel(0));
        ViewTestEnv::connectLive(a->channel(1));
        if (channelLevel)
            emit DeviceLinks::events()->connectChannelFailMsg(a->channel(1), code, u"why"_s);
        else
            emit DeviceLinks::events()->connectDevFailMsg(a->channel(1), code, u"why"_s);
        QCOMPARE(shown(), cells);
        const QString refused =
            QCoreApplication::translate("ViewControl", "已被设备拒绝 — 请编辑设备");
        int said = 0;
        for (const GlWidgetViewWindow *w : vc->windows())
            said += w->status() == refused + u"\nwhy"_s;
        QCOMPARE(said, saying);
        if (channelLevel)
            QCOMPARE(vc->cellOf(a->channel(1))->status(), refused + u"\nwhy"_s);

        // The refused streams are not open; once the user edits the device
        // (a new password), its waiting cells try again and say so no more.
        // An edit that changes nothing of how it is reached tries nothing.
        const QList<Channel *> refusedChannels =
            channelLevel ? QList<Channel *>{a->channel(1)} : a->channels();
        for (Channel *ch : refusedChannels)
            ch->setAvIndex(-1, true);
        calls.clear();
        const auto edit = [](const QString &password) {
            auto *e = new Device();
            e->setUid(u"A"_s);
            e->setType(1);
            e->setChannelCount(2);
            e->setViewPassword(password);
            Dev::instance()->addOrUpdate(e);
        };
        edit(QString());
        QCOMPARE(calls, QStringList());
        edit(u"mended"_s);
        QStringList retried;
        for (Channel *ch : refusedChannels)
            if (vc->cellOf(ch))
                retried << u"startChannel A/%1"_s.arg(ch->index());
        QCOMPARE(calls.filter(u"startChannel"_s), retried);
        for (const GlWidgetViewWindow *w : vc->windows())
            QVERIFY2(w->status() != refused + u"\nwhy"_s, qPrintable(w->status()));
    }

    // A device that cannot be reached is tried again: the channels wanted
    // from it keep (or get) a cell that says so, with the next try's time.
    void offlineDeviceKeepsItsWantedChannelsInCells()
    {
        Device *d = ViewTestEnv::addDevice(u"OFF"_s, 2, -1);
        d->channel(1)->setViewRequested(true, true);
        d->setLinkState(Device::LinkState::Offline);
        RecordingLink::nextTryMs = 4000;
        const QTime expected = QTime::currentTime().addMSecs(4000);
        emit DeviceLinks::events()->deviceOfflineMsg(d, -13, u"x"_s);
        RecordingLink::nextTryMs = -1;
        GlWidgetViewWindow *cell = vc->cellOf(d->channel(1));
        QVERIFY(cell);
        QVERIFY(!vc->cellOf(d->channel(0)));
        const QStringList lines = cell->status().split(u'\n');
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines.at(0), QCoreApplication::translate("ViewControl", "离线 — 正在重新连接…"));
        const QRegularExpressionMatch at =
            QRegularExpression(u"(\\d\\d:\\d\\d:\\d\\d)$"_s).match(lines.at(1));
        QVERIFY2(at.hasMatch(), qPrintable(lines.at(1)));
        QVERIFY(qAbs(QTime::fromString(at.captured(1), u"HH:mm:ss"_s).secsTo(expected)) <= 1);
    }

    void stopChannelStopsTheStreamOfTheCurrentMode()
    {
        Device *d = ViewTestEnv::addDevice(u"CAM"_s, 1);
        ViewTestEnv::connectLive(d->channel(0));
        calls.clear();
        vc->stopChannel(d->channel(0));
        QCOMPARE(calls, QStringList({"stopVideo CAM/0 0"}));
        QVERIFY(!d->channel(0)->viewRequested(true));
        QCOMPARE(shown().first(), u"-"_s);

        vc->changeMod(false);
        const QDateTime start(QDate(2024, 3, 1), QTime(8, 0));
        vc->playReplay(d->channel(0), start);
        QVERIFY(d->channel(0)->viewRequested(false));
        QCOMPARE(d->channel(0)->replayDateTime(), start);
        QCOMPARE(shown().first(), u"CAM/0"_s);
        QVERIFY(calls.contains(u"playReplay CAM/0 2024-03-01T08:00:00"_s));
        calls.clear();
        vc->stopChannel(d->channel(0));
        QCOMPARE(calls, QStringList({"stopReplay CAM/0 0"}));
        QVERIFY(!d->channel(0)->viewRequested(false));
        QVERIFY(!ViewControl::instance()->cellOf(d->channel(0)));
    }

    void modeSwitchPausesAndResumesWithoutClosing()
    {
        Device *d = ViewTestEnv::addDevice(u"NVR"_s, 3);
        Device *offline = ViewTestEnv::addDevice(u"OFF"_s, 1, -1);
        offline->channel(0)->setViewRequested(true, true);
        ViewTestEnv::connectLive(d->channel(0));
        d->channel(1)->setViewRequested(true, false); // requested for playback earlier
        calls.clear();
        QSignalSpy changed(vc, &ViewControl::changeModMsg);

        vc->changeMod(false);
        QVERIFY(!vc->isLive());
        QCOMPARE(changed.size(), 1);
        QCOMPARE(changed.at(0).at(0).toBool(), false);
        QCOMPARE(calls, QStringList({"pause NVR/0 1", "resume NVR/1 0"}));
        QCOMPARE(shown(), QStringList({"NVR/1", "-", "-", "-"}));
        QVERIFY(d->channel(1)->waitKeyFrame(false));
        QVERIFY(d->channel(0)->viewRequested(true)); // remembered for the way back

        calls.clear();
        vc->changeMod(true);
        QCOMPARE(calls, QStringList({"resume NVR/0 1", "pause NVR/1 0"}));
        QCOMPARE(shown(), QStringList({"NVR/0", "-", "-", "-"}));
        QVERIFY(d->channel(0)->waitKeyFrame(true));

        // A paused playback is left alone when the grid switches to it.
        d->channel(1)->setPaused(true, false);
        calls.clear();
        vc->changeMod(false);
        QCOMPARE(calls, QStringList({"pause NVR/0 1"}));
    }

    void stopAllClosesChannelsThenSessions()
    {
        Device *a = ViewTestEnv::addDevice(u"A"_s, 3, 1);
        Device *b = ViewTestEnv::addDevice(u"B"_s, 1, 2);
        Device *off = ViewTestEnv::addDevice(u"OFF"_s, 1, -1);
        a->channel(0)->setAvIndex(0, true);
        a->channel(2)->setAvIndex(4, false); // playback only
        off->channel(0)->setAvIndex(1, true);
        Q_UNUSED(b)
        vc->stopAll();
        QCOMPARE(calls, QStringList({"closeChannel A/0", "closeChannel A/2", "closeDevice A",
                                     "closeDevice B"}));
    }

    void closeDeviceReleasesWindowsAndClosesTheLink()
    {
        Device *a = ViewTestEnv::addDevice(u"A"_s, 2);
        ViewTestEnv::connectLive(a->channel(0));
        ViewTestEnv::connectLive(a->channel(1));
        calls.clear();
        vc->closeDevice(a);
        QCOMPARE(calls, QStringList({"closeDevice A"}));
        QCOMPARE(shown(), QStringList({"-", "-", "-", "-"}));
        vc->closeDevice(nullptr);
        vc->closeDeviceThenRelease(nullptr);
        QCOMPARE(calls.size(), 1);
    }

    // Grid sizes (4 cells) and the quality change each asks for; "" = none.
    // Between the thresholds the stream stays what it is.
    void cellSizeChoosesTheStreamOnceWithHysteresis()
    {
        Device *d = ViewTestEnv::addDevice(u"FIT"_s, 1);
        Channel *ch = d->channel(0);
        ViewTestEnv::connectLive(ch);
        calls.clear();
        const QList<QPair<QSize, QString>> steps = {
            {{1000, 600}, ""},                       // 500 x 300 cells: SD
            {{2400, 1400}, "changeQuality FIT/0 1"}, // zoomed past 3/4 of 1280 x 720
            {{2400, 1400}, ""},                      // still waiting for the answer
            {{1600, 900}, ""},                       // in the band
            {{2000, 1100}, ""},
            {{1600, 900}, ""},
            {{1000, 600}, "changeQuality FIT/0 0"}}; // well below: SD again
        for (const auto &[size, expected] : steps) {
            vc->setSize(size.width(), size.height());
            vc->fitStreams();
            QCOMPARE(calls.join(u';'), expected);
            if (!calls.isEmpty()) {
                ch->setQuality(calls.first().endsWith(u'1'), true);
                emit IoConnect::instance()->changeQualitySuccessMsg(ch);
            }
            calls.clear();
        }
        // The grid's own timer fits the cells once their size settles.
        Config::instance()->set(ConfigKey::StreamQuality, 1); // always HD
        vc->setSize(1000, 600);
        QTRY_COMPARE(calls, QStringList{u"changeQuality FIT/0 1"_s});
        Config::instance()->set(ConfigKey::StreamQuality, 0);
    }

    void recordingStopsByItselfAfterTheTimeLength()
    {
        Location::instance()->setTimeLength(30);
        Device *d = ViewTestEnv::addDevice(u"CAM"_s, 1);
        Channel *ch = d->channel(0);
        ViewTestEnv::connectLive(ch);
        QSignalSpy recorded(vc, &ViewControl::recordMsg);

        vc->recordChange(ch, true);
        QVERIFY(ch->recording(true));
        ChannelSaveTimeout *timer = ch->slot(true).recordTimer;
        QVERIFY(timer && timer->isActive() && timer->isSingleShot());
        QCOMPARE(timer->interval(), 30 * 60 * 1000);
        QCOMPARE(recorded.size(), 1);
        QCOMPARE(recorded.at(0).at(1).toBool(), true);

        // The grid switches to playback before the time is up: the live
        // recording still is the one that ends.
        vc->changeMod(false);
        emit timer->timeout(ch);
        QVERIFY(!ch->recording(true) && !ch->slot(true).recordTimer);
        QCOMPARE(recorded.size(), 2);
        QCOMPARE(recorded.at(1).at(1).toBool(), false);

        // Stopping by hand removes the timer.
        vc->changeMod(true);
        vc->recordChange(ch, true);
        QVERIFY(ch->slot(true).recordTimer);
        vc->recordChange(ch, false);
        QVERIFY(!ch->recording(true) && !ch->slot(true).recordTimer);
    }

    void rightClickOnACellAsksForTheMenuAfterSelecting()
    {
        Device *d = ViewTestEnv::addDevice(u"CAM"_s, 2);
        ViewTestEnv::connectLive(d->channel(0));
        ViewTestEnv::connectLive(d->channel(1));
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

private:
    GlWidgetViewWindow *window(int i) const { return vc->windows().at(i); }
    // Per window, its channel as "<uid>/<index>" or "-" for none; "?" when
    // the channel does not point back at that window.
    QStringList shown() const
    {
        QStringList out;
        for (GlWidgetViewWindow *w : vc->windows())
            out << (!w->channel()                   ? u"-"_s
                    : vc->cellOf(w->channel()) == w ? RecordingLink::name(w->channel())
                                                    : u"?"_s);
        return out;
    }
    QList<QRect> geometries() const { return ViewTestEnv::geometries(vc->windows()); }

    std::unique_ptr<ViewTestEnv> env;
    ViewControl *vc = nullptr;
    QStringList calls;
    std::unique_ptr<QWidget> host;
};

ORVANE_TEST_MAIN(tst_ViewControl)
#include "tst_viewcontrol.moc"
