#include "../view/RecordingLink.h"
#include "../view/ViewTestEnv.h"
#include "WindowTestEnv.h"

#include "app/MainWindow.h"
#include "app/ShortcutHelp.h"
#include "app/Shortcuts.h"
#include "devtree/MenuDevList.h"
#include "link/DeviceEvents.h"
#include "link/DeviceLinks.h"
#include "media/VideoRecord.h"
#include "playback/TimelinePanel.h"
#include "view/GlWidgetViewWindow.h"
#include "view/ViewControl.h"
#include "view/WallSurface.h"
#include "widgets/LabelFullScreen.h"

#include "TestMain.h"
#include <QLineEdit>
#include <QSignalSpy>
#include <QWheelEvent>

using namespace Qt::StringLiterals;

namespace {

// Writes the PTZ command down too ("ptz CAM/0 3"; 0 is the stop).
class PtzLink : public RecordingLink
{
public:
    explicit PtzLink(QStringList *calls)
        : RecordingLink(calls)
        , m_out(calls)
    {}
    void ptzControl(Channel *ch, quint8 command, quint8, bool) override
    {
        m_out->append(u"ptz %1 %2"_s.arg(name(ch)).arg(command));
    }

private:
    QStringList *m_out;
};

} // namespace

// The grid's keys in the main window: each shortcut of the table sent as real
// key events to the grid's surface, and a text field outside the grid that
// keeps its keys.
class tst_Shortcuts : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        env = std::make_unique<WindowTestEnv>();
        ViewTestEnv::quietLink();
        view->setLink(std::make_unique<PtzLink>(&calls));
        window = new MainWindow;
        window->resize(1200, 760);
        window->start();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        ptz = std::make_unique<PtzLink>(&calls);
        rtsp = DeviceLinks::ofKind(DeviceKind::Rtsp);
        DeviceLinks::install(DeviceKind::Rtsp, ptz.get()); // PTZ goes to the device's link
        Device *cam = ViewTestEnv::addDevice(u"CAM"_s, 3);
        cam->setKind(DeviceKind::Rtsp);
        for (int i = 0; i < 3; ++i) {
            channels << cam->channel(i);
            view->openInCell(cam->channel(i), i);
        }
        surface = WallSurface::of(host());
        QVERIFY(surface && view->cellOf(channels[2]));
    }

    void cleanupTestCase()
    {
        delete window;
        DeviceLinks::install(DeviceKind::Rtsp, rtsp);
        ViewTestEnv::clearDevices();
        view->setLink(nullptr);
        env.reset();
    }

    void init()
    {
        if (auto *full = child<LabelFullScreen>("label_icon_fullGl"); full->isFullScreen())
            QTest::mouseClick(full, Qt::LeftButton);
        if (!view->isLive())
            QTest::mouseClick(child<QWidget>("widget_btn_life"), Qt::LeftButton);
        QVERIFY(view->isLive());
        Dev::instance()->setSelectedChannel(channels[0]);
        focusGrid();
        calls.clear();
    }

    void layoutKeysSetTheWindowCount_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("mod");
        const std::pair<Qt::Key, WINDOW_MOD> rows[] = {
            {Qt::Key_1, WINDOW_MOD_1},  {Qt::Key_2, WINDOW_MOD_4},     {Qt::Key_3, WINDOW_MOD_6},
            {Qt::Key_4, WINDOW_MOD_8},  {Qt::Key_5, WINDOW_MOD_9},     {Qt::Key_6, WINDOW_MOD_13},
            {Qt::Key_7, WINDOW_MOD_16}, {Qt::Key_8, WINDOW_MOD_25},    {Qt::Key_9, WINDOW_MOD_36},
            {Qt::Key_0, WINDOW_MOD_49}, {Qt::Key_Minus, WINDOW_MOD_64}};
        for (const auto &[key, mod] : rows)
            QTest::addRow("Alt+%s: %d windows", qPrintable(QKeySequence(key).toString()),
                          WindowMod::windowCount(mod))
                << int(key) << int(mod);
    }
    void layoutKeysSetTheWindowCount()
    {
        QFETCH(int, key);
        QFETCH(int, mod);
        window->selectWindowMod(mod == WINDOW_MOD_16 ? WINDOW_MOD_4 : WINDOW_MOD_16);
        QTest::keyClick(surface, Qt::Key(key), Qt::AltModifier);
        QCOMPARE(int(view->windowMod()), mod);
        QCOMPARE(int(view->windows().size()), WindowMod::windowCount(mod));
        window->selectWindowMod(WINDOW_MOD_4);
    }

    void f11TogglesFullScreenAndEscLeavesZoomFirst()
    {
        auto *full = child<LabelFullScreen>("label_icon_fullGl");
        QWidget *center = child<QWidget>("widget_center");
        QTest::keyClick(surface, Qt::Key_F11);
        QVERIFY(full->isFullScreen());
        QTRY_VERIFY(center->isWindow() && center->isFullScreen());
        QTRY_VERIFY(host()->hasFocus()); // the keys go on working in the full-screen grid
        QTest::keyClick(surface, Qt::Key_F11);
        QVERIFY(!full->isFullScreen() && !center->isWindow());

        QTest::keyClick(surface, Qt::Key_F11);
        QTRY_VERIFY(host()->hasFocus());
        GlWidgetViewWindow *cell = view->cellOf(channels[0]);
        const QPointF at = QRectF(cell->rect()).center();
        QWheelEvent wheel(at, cell->mapToGlobal(at), QPoint(), QPoint(0, 240), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(cell, &wheel);
        if (!cell->isZoomed())
            QSKIP("a cell without a picture does not zoom; the zoom cannot be set up here");
        QTest::keyClick(surface, Qt::Key_Escape);
        QVERIFY(!cell->isZoomed());
        QVERIFY(full->isFullScreen()); // the first Esc only left the zoom
        QTest::keyClick(surface, Qt::Key_Escape);
        QVERIFY(!full->isFullScreen() && !center->isWindow());
    }

    void ptzKeysMoveWhileHeld_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("command"); // of a recorder (device type 1)
        QTest::newRow("up: tilt up") << int(Qt::Key_Up) << 3;
        QTest::newRow("down: tilt down") << int(Qt::Key_Down) << 4;
        QTest::newRow("left: pan left") << int(Qt::Key_Left) << 1;
        QTest::newRow("right: pan right") << int(Qt::Key_Right) << 2;
        QTest::newRow("plus: zoom in") << int(Qt::Key_Plus) << 12;
        QTest::newRow("minus: zoom out") << int(Qt::Key_Minus) << 11;
    }
    void ptzKeysMoveWhileHeld()
    {
        QFETCH(int, key);
        QFETCH(int, command);
        QTest::keyPress(surface, Qt::Key(key));
        QCOMPARE(calls, QStringList{u"ptz CAM/0 %1"_s.arg(command)});
        for (int i = 0; i < 3; ++i) { // auto-repeat sends nothing more, nor stops
            QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, QString(), true);
            QKeyEvent repeat(QEvent::KeyPress, key, Qt::NoModifier, QString(), true);
            QCoreApplication::sendEvent(surface, &release);
            QCoreApplication::sendEvent(surface, &repeat);
        }
        QCOMPARE(calls.size(), 1);
        QTest::keyRelease(surface, Qt::Key(key));
        QCOMPARE(calls, (QStringList{u"ptz CAM/0 %1"_s.arg(command), u"ptz CAM/0 0"_s}));
    }

    void focusLeavingTheGridStopsTheMove()
    {
        QTest::keyPress(surface, Qt::Key_Up);
        searchField()->setFocus();
        QTRY_COMPARE(calls, (QStringList{u"ptz CAM/0 3"_s, u"ptz CAM/0 0"_s}));
        focusGrid();
        QTest::keyRelease(surface, Qt::Key_Up);
        QCOMPARE(calls.size(), 2);
    }

    void playbackArrowsStepAndSpacePauses()
    {
        QTest::keyClick(surface, Qt::Key_Space); // live: no pause
        QTest::mouseClick(child<QWidget>("widget_btn_playback"), Qt::LeftButton);
        QVERIFY(!view->isLive());
        focusGrid();
        calls.clear();
        PlaybackTimeline *timeline = window->timelinePanel()->timeline();
        const qint64 start = timeline->cursor(); // the day's start: steps forward first
        QTest::keyClick(surface, Qt::Key_Right);
        QTest::keyClick(surface, Qt::Key_Right);
        QCOMPARE(timeline->cursor(), start + 2 * timeline->stepMs());
        QTest::keyClick(surface, Qt::Key_Left);
        QCOMPARE(timeline->cursor(), start + timeline->stepMs());
        QTest::keyClick(surface, Qt::Key_Space); // nothing plays yet: no pause
        emit DeviceLinks::events()->startReplaySuccessMsg(channels[0]);
        QTest::keyClick(surface, Qt::Key_Space);
        QTest::keyClick(surface, Qt::Key_Space);
        QCOMPARE(calls, (QStringList{u"pauseReplay CAM/0"_s, u"resumeReplay CAM/0"_s}));
    }

    void cellKeysActOnTheSelectedChannel()
    {
        QSignalSpy saved(VideoRecord::instance(), &VideoRecord::snapshotSaved);
        QSignalSpy failed(VideoRecord::instance(), &VideoRecord::snapshotFailed);
        Dev::instance()->setSelectedChannel(channels[1]);
        QTest::keyClick(surface, Qt::Key_S);
        QCOMPARE(saved.size() + failed.size(), 1);
        QCOMPARE((saved.isEmpty() ? failed : saved).at(0).at(0).value<Channel *>(), channels[1]);

        QTest::keyClick(surface, Qt::Key_R);
        QVERIFY(channels[1]->recording(true) && !channels[0]->recording(true));
        QTest::keyClick(surface, Qt::Key_R);
        QVERIFY(!channels[1]->recording(true));

        GlWidgetViewWindow *cell = view->cellOf(channels[1]);
        QTest::keyClick(surface, Qt::Key_I);
        QVERIFY(cell->infoShown() && !view->cellOf(channels[0])->infoShown());
        QTest::keyClick(surface, Qt::Key_I);
        QVERIFY(!cell->infoShown());
    }

    void tabMovesTheSelectionBetweenCells()
    {
        QList<int> seen;
        const auto selected = [this] {
            return int(channels.indexOf(Dev::instance()->selectedChannel()));
        };
        for (int i = 0; i < 3; ++i) {
            QTest::keyClick(surface, Qt::Key_Tab);
            seen << selected();
        }
        QTest::keyClick(surface, Qt::Key_Backtab, Qt::ShiftModifier);
        seen << selected();
        QCOMPARE(seen, (QList<int>{1, 2, 0, 2}));
    }

    void f1ListsEveryShortcut()
    {
        QTest::keyClick(surface, Qt::Key_F1);
        auto *help = window->findChild<ShortcutHelp *>();
        QVERIFY(help && help->isVisible());
        const QList<Shortcuts::GridShortcut> &table = Shortcuts::table();
        QCOMPARE(help->rowCount(), int(table.size()));
        for (int row = 0; row < table.size(); ++row) {
            QCOMPARE(help->cell(row, ShortcutHelp::KeyColumn), Shortcuts::keyText(table[row]));
            QCOMPARE(help->cell(row, ShortcutHelp::ActionColumn),
                     Shortcuts::description(table[row]));
            QCOMPARE(help->cell(row, ShortcutHelp::ModeColumn),
                     Shortcuts::modeText(table[row].mode));
        }
        help->close();
        QTRY_VERIFY(!window->findChild<ShortcutHelp *>()); // gone, not only hidden
    }

    void textFieldOutsideTheGridKeepsItsKeys()
    {
        QLineEdit *field = searchField();
        field->clear();
        field->setFocus();
        QTRY_VERIFY(field->hasFocus());
        QTest::keyClicks(field, u"sri "_s);
        QTest::keyClick(field, Qt::Key_2, Qt::AltModifier);
        for (Qt::Key key : {Qt::Key_Up, Qt::Key_Plus, Qt::Key_F11, Qt::Key_F1, Qt::Key_Tab})
            QTest::keyClick(field, key);
        QCOMPARE(field->text(), u"sri 2+"_s); // Alt+2 types as in any field
        QCOMPARE(calls, QStringList());
        QVERIFY(!channels[0]->recording(true) && !view->cellOf(channels[0])->infoShown());
        QCOMPARE(view->windowMod(), WINDOW_MOD_4);
        QVERIFY(!window->findChild<ShortcutHelp *>());
        QVERIFY(!child<LabelFullScreen>("label_icon_fullGl")->isFullScreen());
        field->clear();
    }

private:
    template <class T> T *child(const char *name) { return WindowTestEnv::child<T>(window, name); }
    QWidget *host() { return child<QWidget>("widget_viewBox"); }
    QLineEdit *searchField() { return window->devList()->findChild<QLineEdit *>(); }
    // As a click into the grid leaves it: the grid host has the focus.
    void focusGrid()
    {
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window));
        host()->setFocus(Qt::MouseFocusReason);
        QTRY_VERIFY(host()->hasFocus());
    }

    std::unique_ptr<WindowTestEnv> env;
    ViewControl *view = ViewControl::instance();
    MainWindow *window = nullptr;
    QWindow *surface = nullptr;
    QStringList calls;
    std::unique_ptr<PtzLink> ptz;
    DeviceLink *rtsp = nullptr;
    QList<Channel *> channels;
};

ORVANE_TEST_MAIN(tst_Shortcuts)
#include "tst_shortcuts.moc"
