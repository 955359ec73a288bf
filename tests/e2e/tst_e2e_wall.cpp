// The live wall's named layouts end to end: saved from the grid, applied,
// restored at start, shown in a window of their own on a second screen
// (a display with two X screens), and filled by dropping channels from the
// device tree and dragging cells onto each other. Against a simulated
// 4-channel DVR in its solid-colour pattern.

#include "DevsimProcess.h"
#include "E2eClient.h"

#include "config/Config.h"
#include "model/Channel.h"
#include "model/Dev.h"
#include "model/Device.h"
#include "view/ChannelDrag.h"
#include "view/GlWidgetViewWindow.h"
#include "view/ViewControl.h"
#include "view/WallLayouts.h"
#include "view/WallSurface.h"
#include "view/WallWindow.h"

#include <QDir>
#include <QGuiApplication>
#include <QMimeData>
#include <QPainter>
#include <QScreen>
#include <QTemporaryDir>
#include <QtTest>
#include "TestMain.h"

namespace {

const QString Uid = QStringLiteral("E2EWALL4CH000000001");
const QString Password = QStringLiteral("wall-pw");

// devsim's solid pattern: channel n shows palette entry n mod 8 in its upper half.
const QColor Upper[4] = {QColor(255, 0, 0), QColor(0, 255, 0), QColor(0, 0, 255),
                         QColor(255, 255, 0)};

// The channel whose colour the cell shows in its upper half; -1 for none.
int shownChannel(GlWidgetViewWindow *cell)
{
    const QImage img = cell ? cell->grabFramebuffer() : QImage();
    if (img.isNull())
        return -1;
    const QRgb p = img.pixel(img.width() / 2, img.height() * 3 / 10);
    for (int n = 0; n < 4; ++n) {
        if (qAbs(qRed(p) - Upper[n].red()) <= 16 && qAbs(qGreen(p) - Upper[n].green()) <= 16 &&
            qAbs(qBlue(p) - Upper[n].blue()) <= 16)
            return n;
    }
    return -1;
}

QList<int> gridChannels()
{
    QList<int> list;
    for (const GlWidgetViewWindow *w : ViewControl::instance()->windows())
        list.append(w->channel() ? w->channel()->index() : -1);
    return list;
}

} // namespace

class tst_E2eWall : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void dropParsesOnlyKnownChannels_data();
    void dropParsesOnlyKnownChannels();
    void savedLayoutAppliesAndSurvivesRestart();
    void droppedChannelAndDraggedCellTakeTheirCells();
    void secondWindowSharesTheDecodeOnItsScreen();
    void secondWindowComesBackAtStart();

private:
    Channel *channel(int n) const { return device->channel(n); }
    void saveArtifact(const QImage &image, const QString &name);
    // Sends a drag of the channel's data to the surface's point.
    bool dropOn(QWidget *host, GlWidgetViewWindow *cell, const QMimeData *mime);

    QTemporaryDir settingsDir;
    DevsimProcess sim;
    E2eClient client;
    Device *device = nullptr;
};

void tst_E2eWall::initTestCase()
{
    QVERIFY2(!DevsimProcess::executable().isEmpty(), "devsim not built");
    QVERIFY(settingsDir.isValid());
    E2eClient::useSettings(settingsDir.path());
    const quint16 discovery = DevsimProcess::anyDiscoveryPort();
    sim.setDiscoveryPort(discovery);
    QVERIFY2(sim.start({"--uid", Uid, "--type", "1", "--channels", "4", "--account", "admin",
                        "--password", Password, "--pattern", "solid", "--sd", "320x180", "--fps",
                        "10", "--gop", "1"}),
             qPrintable(sim.errorText()));
    DevsimProcess::pointClientAt({&sim}, discovery);
    QVERIFY(E2eClient::registerDevice(Uid, Password, 4));
    client.show();
    QVERIFY(QTest::qWaitForWindowExposed(client.host.get()));
    QTRY_VERIFY_WITH_TIMEOUT(Dev::instance()->deviceByUid(Uid), 10000);
    device = Dev::instance()->deviceByUid(Uid);
    ViewControl::instance()->setWindowMod(WINDOW_MOD_4);
}

void tst_E2eWall::cleanupTestCase()
{
    WallLayouts::instance()->shutdown();
    client.host.reset();
    sim.stop();
}

void tst_E2eWall::saveArtifact(const QImage &image, const QString &name)
{
    const QString dir = qEnvironmentVariable("ORVANE_TEST_ARTIFACTS");
    if (dir.isEmpty())
        return;
    QDir().mkpath(dir);
    image.save(QDir(dir).filePath(name));
}

void tst_E2eWall::dropParsesOnlyKnownChannels_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("channel"); // -1: refused
    QTest::newRow("channel 3") << (Uid + "\n2").toUtf8() << 2;
    QTest::newRow("beyond the device's channels") << (Uid + "\n4").toUtf8() << -1;
    QTest::newRow("unknown device") << QByteArray("NOSUCHDEVICE\n0") << -1;
    QTest::newRow("no index") << Uid.toUtf8() << -1;
    QTest::newRow("negative index") << (Uid + "\n-1").toUtf8() << -1;
    QTest::newRow("index not a number") << (Uid + "\n1x").toUtf8() << -1;
    QTest::newRow("empty uid") << QByteArray("\n0") << -1;
    QTest::newRow("uid too long") << (QByteArray(65, 'A') + "\n0") << -1;
    QTest::newRow("huge payload") << (Uid + "\n0" + QString(4000, u' ')).toUtf8() << -1;
    QTest::newRow("control characters") << (Uid + "\x01\n0").toUtf8() << -1;
}

void tst_E2eWall::dropParsesOnlyKnownChannels()
{
    QFETCH(QByteArray, data);
    QFETCH(int, channel);
    QMimeData mime;
    mime.setData(QString::fromLatin1(ChannelDrag::MimeType), data);
    Channel *found = ChannelDrag::channelFrom(&mime);
    QCOMPARE(found ? found->index() : -1, channel);
    // Text of another type is no channel.
    QMimeData text;
    text.setText(QString::fromUtf8(data));
    QVERIFY(!ChannelDrag::channelFrom(&text));
}

void tst_E2eWall::savedLayoutAppliesAndSurvivesRestart()
{
    ViewControl *view = ViewControl::instance();
    WallLayouts *layouts = WallLayouts::instance();
    view->openInCell(channel(0), 0);
    view->openInCell(channel(1), 1);
    QTRY_COMPARE_WITH_TIMEOUT(shownChannel(view->windows().at(1)), 1, 30000);
    QVERIFY(layouts->save(QStringLiteral("Two")));

    // Another arrangement under another name, on a larger grid.
    view->setWindowMod(WINDOW_MOD_9);
    view->openInCell(channel(2), 4);
    view->swapCells(0, 1);
    QVERIFY(layouts->save(QStringLiteral("Nine")));
    QCOMPARE(layouts->names(), QStringList({"Two", "Nine"}));

    // Back to the first: its window count, its cells, and nothing else
    // shown; the stream no cell shows any more stops.
    QVERIFY(layouts->apply(QStringLiteral("Two")));
    QCOMPARE(view->windowMod(), WINDOW_MOD_4);
    QCOMPARE(gridChannels(), QList<int>({0, 1, -1, -1}));
    QTRY_VERIFY_WITH_TIMEOUT(!channel(2)->viewRequested(true), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(shownChannel(view->windows().at(0)), 0, 30000);

    // Another start: a new store reads the layouts and the one last used.
    Config::forgetInstance();
    QCOMPARE(Config::instance()->get(ConfigKey::LastLayout), QStringLiteral("Two"));
    std::optional<LayoutRecord> nine = layouts->layout(QStringLiteral("Nine"));
    QVERIFY(nine);
    QCOMPARE(nine->windowMod, int(WINDOW_MOD_9));
    QCOMPARE(nine->cells.size(), 5);
    QCOMPARE(nine->cells.at(0).channel, 1);
    QCOMPARE(nine->cells.at(4).channel, 2);
    // Emptied, the grid comes back as it was at the restore.
    view->clearCell(0);
    view->clearCell(1);
    QCOMPARE(gridChannels(), QList<int>({-1, -1, -1, -1}));
    layouts->restore(QString());
    QCOMPARE(gridChannels(), QList<int>({0, 1, -1, -1}));
    QTRY_COMPARE_WITH_TIMEOUT(shownChannel(view->windows().at(1)), 1, 30000);
}

bool tst_E2eWall::dropOn(QWidget *host, GlWidgetViewWindow *cell, const QMimeData *mime)
{
    QWindow *surface = WallSurface::of(host);
    const QPointF at = QPointF(cell->geometry().center());
    QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(surface, &enter);
    if (!enter.isAccepted())
        return false;
    QDropEvent drop(at, Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(surface, &drop);
    return drop.isAccepted();
}

void tst_E2eWall::droppedChannelAndDraggedCellTakeTheirCells()
{
    ViewControl *view = ViewControl::instance();
    QWidget *host = view->host();
    // A channel from the tree onto the third cell starts there.
    std::unique_ptr<QMimeData> mime(ChannelDrag::mimeFor(channel(3)));
    QVERIFY(dropOn(host, view->windows().at(2), mime.get()));
    QCOMPARE(gridChannels(), QList<int>({0, 1, 3, -1}));
    QTRY_COMPARE_WITH_TIMEOUT(shownChannel(view->windows().at(2)), 3, 30000);
    // Something that names no channel is refused.
    QMimeData junk;
    junk.setData(QString::fromLatin1(ChannelDrag::MimeType), "nothing");
    QVERIFY(!dropOn(host, view->windows().at(3), &junk));
    QCOMPARE(gridChannels(), QList<int>({0, 1, 3, -1}));

    // The first cell dragged onto the third: the two swap, streams unchanged.
    QWindow *surface = WallSurface::of(host);
    const QPoint from = view->windows().at(0)->geometry().center();
    const QPoint to = view->windows().at(2)->geometry().center();
    QTest::mousePress(surface, Qt::LeftButton, Qt::NoModifier, from);
    QTest::mouseMove(surface, from + QPoint(30, 30));
    QTest::mouseMove(surface, to);
    QTest::mouseRelease(surface, Qt::LeftButton, Qt::NoModifier, to);
    QCOMPARE(gridChannels(), QList<int>({3, 1, 0, -1}));
    QTRY_COMPARE_WITH_TIMEOUT(shownChannel(view->windows().at(0)), 3, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(shownChannel(view->windows().at(2)), 0, 10000);
    // A click without moving only selects.
    QTest::mouseClick(surface, Qt::LeftButton, Qt::NoModifier, to);
    QCOMPARE(gridChannels(), QList<int>({3, 1, 0, -1}));
    QCOMPARE(Dev::instance()->selectedChannel(), channel(0));
}

void tst_E2eWall::secondWindowSharesTheDecodeOnItsScreen()
{
    const QList<QScreen *> screens = QGuiApplication::screens();
    QVERIFY2(screens.size() >= 2, "the test runs on a display with two screens");
    WallLayouts *layouts = WallLayouts::instance();
    // Channel 2 in both the grid and the window of its own, full screen on the second screen.
    QVERIFY(layouts->layout(QStringLiteral("Two")));
    WallWindow *wall = layouts->openWindow(QStringLiteral("Two"), 1, true);
    QVERIFY(wall);
    QVERIFY(QTest::qWaitForWindowExposed(wall));
    QTRY_COMPARE_WITH_TIMEOUT(wall->screenIndex(), 1, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(wall->geometry(), screens.at(1)->geometry(), 5000);
    GlWidgetViewWindow *shared = wall->cells().at(1);
    QCOMPARE(shared->channel(), channel(1));
    QTRY_COMPARE_WITH_TIMEOUT(shownChannel(shared), 1, 30000);
    QTRY_COMPARE_WITH_TIMEOUT(shownChannel(wall->cells().at(0)), 0, 30000);
    QCOMPARE(GlWidgetViewWindow::cellsShowing(channel(1)).size(), 2);

    // Every frame is decoded once, however many cells draw it.
    const StreamCounters &c = channel(1)->slot(true).counters;
    QTest::qWait(500);
    const quint64 received = StreamCounters::read(c.framesReceived);
    const quint64 decoded = StreamCounters::read(c.framesDecoded);
    QTest::qWait(2000);
    const quint64 receivedNow = StreamCounters::read(c.framesReceived) - received;
    const quint64 decodedNow = StreamCounters::read(c.framesDecoded) - decoded;
    QVERIFY2(receivedNow >= 10, qPrintable(QString::number(receivedNow)));
    QVERIFY2(
        decodedNow <= receivedNow + 1,
        qPrintable(QStringLiteral("%1 decoded of %2 received").arg(decodedNow).arg(receivedNow)));
    // Both cells move on.
    QVERIFY(shownChannel(ViewControl::instance()->windows().at(1)) == 1);

    // The main window and the wall side by side, as the two screens show them.
    const QImage main = WallSurface::grab(ViewControl::instance()->host()).toImage();
    const QImage second = WallSurface::grab(wall).toImage();
    QImage both(main.width() + second.width() / 2 + 8, qMax(main.height(), second.height() / 2),
                QImage::Format_RGB32);
    both.fill(Qt::black);
    QPainter painter(&both);
    painter.drawImage(0, 0, main);
    painter.drawImage(QRect(main.width() + 8, 0, second.width() / 2, second.height() / 2), second);
    painter.end();
    saveArtifact(both, QStringLiteral("layout-second-window.png"));

    // The stream follows the larger of its cells: the wall's cell shown
    // alone fills its screen and wants HD, while the grid's stays small.
    QVERIFY(!channel(1)->quality(true));
    QTest::mouseDClick(shared, Qt::LeftButton, Qt::NoModifier, shared->rect().center());
    QTRY_COMPARE(shared->size(), wall->size());
    QTRY_VERIFY_WITH_TIMEOUT(channel(1)->quality(true), 10000);
    QTRY_COMPARE_WITH_TIMEOUT(shownChannel(shared), 1, 10000);
    QTest::mouseDClick(shared, Qt::LeftButton, Qt::NoModifier, shared->rect().center());
    QTRY_VERIFY_WITH_TIMEOUT(!channel(1)->quality(true), 10000);
}

void tst_E2eWall::secondWindowComesBackAtStart()
{
    WallLayouts *layouts = WallLayouts::instance();
    QCOMPARE(layouts->windows().size(), 1);
    // Quitting closes the window without forgetting it.
    layouts->shutdown();
    QTRY_VERIFY(layouts->windows().isEmpty());
    std::optional<LayoutRecord> two = layouts->layout(QStringLiteral("Two"));
    QVERIFY(two && two->ownWindow);
    QCOMPARE(two->screen, 1);
    QVERIFY(two->fullScreen);
    // The grid's channel 1 streams on; the window's other channel was the grid's too.
    QVERIFY(channel(1)->viewRequested(true));

    layouts->restore(QString());
    QTRY_COMPARE(layouts->windows().size(), 1);
    WallWindow *wall = layouts->windows().first();
    QVERIFY(QTest::qWaitForWindowExposed(wall));
    QTRY_COMPARE_WITH_TIMEOUT(wall->screenIndex(), 1, 5000);
    QTRY_VERIFY(wall->isFullScreen());
    QTRY_COMPARE_WITH_TIMEOUT(shownChannel(wall->cells().at(1)), 1, 30000);

    // Closed by the user, it stays closed at the next start.
    wall->close();
    QTRY_VERIFY(layouts->windows().isEmpty());
    QVERIFY(!layouts->layout(QStringLiteral("Two"))->ownWindow);

    // A wall display's start (--layout Two --screen 1): full screen there.
    layouts->restore(QStringLiteral("Two"), 1);
    QTRY_COMPARE(layouts->windows().size(), 1);
    QTRY_VERIFY(layouts->windows().first()->isFullScreen());
    QCOMPARE(layouts->windows().first()->screenIndex(), 1);
}

ORVANE_TEST_MAIN(tst_E2eWall)
#include "tst_e2e_wall.moc"
