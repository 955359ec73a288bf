// Live video end to end: a simulated 4-channel DVR in its solid-colour test
// pattern, registered for the local login, shown by the real main window
// (device tree, view grid, link, decoder and OpenGL cells), and closed by the
// close button.

#include "DevsimProcess.h"
#include "RecordProbe.h"

#include "app/LabelSystemBtn.h"
#include "app/MainWindow.h"
#include "config/Config.h"
#include "devtree/MenuDevList.h"
#include "devtree/MenuListDev.h"
#include "view/GlWidgetViewWindow.h"
#include "model/Channel.h"
#include "model/Dev.h"
#include "model/Device.h"
#include "model/DeviceRecord.h"
#include "model/UserInfo.h"
#include "media/Video.h"
#include "media/VideoRecord.h"
#include "view/ViewControl.h"
#include "view/WallSurface.h"

#include <QColor>
#include <QDir>
#include <QElapsedTimer>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include "TestMain.h"

#include <memory>

#ifndef Q_OS_WIN
#include <csignal>
#include <sys/types.h>
#endif

namespace {

const QString Uid = QStringLiteral("E2EDVR4CH0000000001");
const QString Password = QStringLiteral("e2e-pw");
// A recorder whose 16 channels all stream while the client quits.
const QString WallUid = QStringLiteral("E2ENVR16CH000000001");
constexpr int WallChannels = 16;

// devsim's solid pattern: channel n shows palette entry n mod 8 above and
// (n + 1 + n / 8) mod 8 below. The cells must draw the palette's own colours.
const QColor Palette[8] = {QColor(255, 0, 0),     QColor(0, 255, 0),   QColor(0, 0, 255),
                           QColor(255, 255, 0),   QColor(0, 255, 255), QColor(255, 0, 255),
                           QColor(255, 255, 255), QColor(255, 128, 0)};
QColor upperColour(int n)
{
    return Palette[n % 8];
}
QColor lowerColour(int n)
{
    return Palette[(n + 1 + n / 8) % 8];
}

// H.264 at a low rate moves a solid colour by a few steps per component.
bool near(QRgb pixel, const QColor &want, int tolerance = 12)
{
    return qAbs(qRed(pixel) - want.red()) <= tolerance &&
           qAbs(qGreen(pixel) - want.green()) <= tolerance &&
           qAbs(qBlue(pixel) - want.blue()) <= tolerance;
}

QString describe(QRgb pixel)
{
    return QStringLiteral("rgb(%1, %2, %3)").arg(qRed(pixel)).arg(qGreen(pixel)).arg(qBlue(pixel));
}

} // namespace

class tst_E2eLive : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void channelsShowTheirColoursInTheGrid();
    void zoomedCellSwitchesStreamsWithoutABlackFrame();
    void minimisedWindowStopsDecodingUntilRestored();
    void stalledDeviceDimsThenComesBack();
    void restartedDeviceComesBackOnItsPort();
    void closeButtonClosesChannelsAndSessions();

private:
    // True when the cell now shows the channel's two colours (scaled by
    // brightness: a cell under a status text is dimmed).
    bool showsColours(GlWidgetViewWindow *cell, int channel, QString *seen,
                      double brightness = 1.0);
    // Waits until the channel's cell is dimmed under a status text, then
    // until its live colours are back.
    void expectDimmedThenLive(Channel *channel, const char *stateName);
    void saveArtifact(QWidget *widget, const QString &name);
    MenuListDev *channelRow(int index);

    QTemporaryDir settingsDir;
    DevsimProcess sim;
    DevsimProcess restarted; // the device again, on the same port
    DevsimProcess wall;
    QStringList simArguments;
    std::unique_ptr<QWidget> host;
    MainWindow *window = nullptr;
    Device *device = nullptr;
};

void tst_E2eLive::initTestCase()
{
    QVERIFY2(!DevsimProcess::executable().isEmpty(), "devsim not built");
    QVERIFY(settingsDir.isValid());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDir.path());
    Config::forgetInstance();

    // A discovery port of this test's own keeps parallel tests apart.
    const quint16 discovery = DevsimProcess::anyDiscoveryPort();
    sim.setDiscoveryPort(discovery);
    simArguments =
        QStringList{"--uid",     Uid,       "--type",     "1",      "--channels", "4",
                    "--account", "admin",   "--password", Password, "--pattern",  "solid",
                    "--sd",      "320x180", "--fps",      "10",     "--gop",      "1"};
    QVERIFY2(sim.start(simArguments), qPrintable(sim.errorText()));
    restarted.setDiscoveryPort(discovery);
    wall.setDiscoveryPort(discovery);
    QVERIFY2(wall.start({"--uid", WallUid, "--type", "2", "--channels",
                         QString::number(WallChannels), "--account", "admin", "--password",
                         Password, "--pattern", "solid", "--sd", "320x180", "--fps", "10"}),
             qPrintable(wall.errorText()));
    // Before anything touches the P2P library.
    DevsimProcess::pointClientAt({&sim, &wall}, discovery);

    // The local administrator's device list lives in the configuration file.
    DeviceRecord record;
    record.uid = Uid;
    record.nickname = QStringLiteral("E2E DVR");
    record.type = 1;
    record.channel = 4;
    record.username = QStringLiteral("admin");
    record.password = Password;
    QVERIFY(Config::instance()->saveDevice(record));
    record.uid = WallUid;
    record.nickname = QStringLiteral("E2E NVR");
    record.type = 2;
    record.channel = WallChannels;
    QVERIFY(Config::instance()->saveDevice(record));

    // The login window's hand-over, with a plain host.
    host = std::make_unique<QWidget>();
    host->resize(1080, 720);
    window = new MainWindow(host.get());
    UserInfo admin;
    admin.username = QStringLiteral("Admin");
    window->setUser(admin);
    window->fitToParent();
    window->setWindowFlags(Qt::FramelessWindowHint);
    host->show();
    window->start();
    QVERIFY(QTest::qWaitForWindowExposed(host.get()));

    QTRY_VERIFY_WITH_TIMEOUT(Dev::instance()->deviceByUid(Uid), 10000);
    device = Dev::instance()->deviceByUid(Uid);
    QCOMPARE(device->channelCount(), 4);
    QCOMPARE(ViewControl::instance()->windows().size(), 4);
}

void tst_E2eLive::cleanupTestCase()
{
    host.reset();
    sim.stop();
    restarted.stop();
}

void tst_E2eLive::saveArtifact(QWidget *widget, const QString &name)
{
    const QString dir = qEnvironmentVariable("ORVANE_TEST_ARTIFACTS");
    if (dir.isEmpty())
        return;
    QDir().mkpath(dir);
    WallSurface::grab(widget).save(QDir(dir).filePath(name));
}

MenuListDev *tst_E2eLive::channelRow(int index)
{
    for (MenuListDev *row : window->devList()->rows()) {
        if (row->device() == device)
            return row->rowOf(device->channel(index));
    }
    return nullptr;
}

bool tst_E2eLive::showsColours(GlWidgetViewWindow *cell, int channel, QString *seen,
                               double brightness)
{
    const QImage img = cell->grabFramebuffer();
    if (img.isNull())
        return false;
    const int x = img.width() / 2;
    const QRgb upper = img.pixel(x, img.height() * 3 / 10);
    const QRgb lower = img.pixel(x, img.height() * 7 / 10);
    *seen = describe(upper) + QLatin1String(" over ") + describe(lower);
    const auto scaled = [brightness](const QColor &c) {
        return QColor(int(c.red() * brightness + 0.5), int(c.green() * brightness + 0.5),
                      int(c.blue() * brightness + 0.5));
    };
    return near(upper, scaled(upperColour(channel))) && near(lower, scaled(lowerColour(channel)));
}

void tst_E2eLive::expectDimmedThenLive(Channel *channel, const char *stateName)
{
    QString seen;
    QTRY_VERIFY_WITH_TIMEOUT(ViewControl::instance()->cellOf(channel) &&
                                 !ViewControl::instance()->cellOf(channel)->status().isEmpty(),
                             30000);
    GlWidgetViewWindow *cell = ViewControl::instance()->cellOf(channel);
    QTRY_VERIFY2_WITH_TIMEOUT(showsColours(cell, channel->index(), &seen, 0.4),
                              qPrintable(QStringLiteral("dimmed cell shows %1").arg(seen)), 10000);
    saveArtifact(host.get(), QStringLiteral("e2e-live-%1-offline.png").arg(stateName));
    QTRY_VERIFY_WITH_TIMEOUT(device->linkState() == Device::LinkState::Online, 60000);
    QTRY_VERIFY2_WITH_TIMEOUT(cell->status().isEmpty() &&
                                  showsColours(cell, channel->index(), &seen),
                              qPrintable(QStringLiteral("live again shows %1").arg(seen)), 30000);
    saveArtifact(host.get(), QStringLiteral("e2e-live-%1-back.png").arg(stateName));
}

void tst_E2eLive::channelsShowTheirColoursInTheGrid()
{
    // Channels 1 and 3: a double click on their rows in the device tree.
    for (int index : {0, 2}) {
        MenuListDev *row = channelRow(index);
        QVERIFY2(row, "no tree row for the channel");
        emit row->doubleClicked(row);
    }

    Channel *first = device->channel(0);
    Channel *third = device->channel(2);
    QTRY_VERIFY_WITH_TIMEOUT(
        ViewControl::instance()->cellOf(first) && ViewControl::instance()->cellOf(third), 30000);
    QVERIFY(ViewControl::instance()->cellOf(first) != ViewControl::instance()->cellOf(third));
    QVERIFY(!ViewControl::instance()->cellOf(device->channel(1)));

    QString seen;
    for (Channel *ch : {first, third}) {
        GlWidgetViewWindow *cell = ViewControl::instance()->cellOf(ch);
        QTRY_VERIFY2_WITH_TIMEOUT(
            showsColours(cell, ch->index(), &seen),
            qPrintable(QStringLiteral("channel %1 shows %2").arg(ch->index() + 1).arg(seen)),
            30000);
    }
    // Each cell keeps its own channel's picture.
    QVERIFY(!showsColours(ViewControl::instance()->cellOf(third), 0, &seen));
    QVERIFY(sim.waitForLine(QRegularExpression("^ACTION " + Uid + " \\d+/0 video-start 0$"), 1000));
    QVERIFY(sim.waitForLine(QRegularExpression("^ACTION " + Uid + " \\d+/2 video-start 2$"), 1000));
}

// Zoomed to one cell, the channel asks for its main stream; back in the grid,
// for its sub stream: one switch each way, and the cell shows the channel's
// picture throughout (the last picture stays until the new stream's first).
void tst_E2eLive::zoomedCellSwitchesStreamsWithoutABlackFrame()
{
    Channel *first = device->channel(0);
    QVERIFY(ViewControl::instance()->cellOf(first));
    QVERIFY(!first->quality(true));
    const int mark = sim.lineCount();
    const QRegularExpression switched("^ACTION " + Uid + " \\d+/0 quality 0$");
    const auto switches = [&] {
        int n = 0;
        for (const QString &line : sim.lines().mid(mark))
            n += switched.match(line).hasMatch() ? 1 : 0;
        return n;
    };
    // Watches the cell until the wanted stream's pictures show.
    const auto watchUntil = [&](bool hd, const QString &artifact) {
        QString seen;
        QStringList wrong;
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 15000) {
            GlWidgetViewWindow *cell = ViewControl::instance()->cellOf(first);
            if (cell && !showsColours(cell, 0, &seen))
                wrong << seen;
            if (first->quality(true) == hd && cell &&
                cell->pictureSize().width() == (hd ? 1280 : 320))
                break;
            QTest::qWait(15);
        }
        QCOMPARE(first->quality(true), hd);
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(u"; ")));
        saveArtifact(host.get(), artifact);
    };

    ViewControl::instance()->doubleClickScreen(first);
    watchUntil(true, QStringLiteral("e2e-live-zoomed-hd.png"));
    ViewControl::instance()->doubleClickScreen(first);
    watchUntil(false, QStringLiteral("e2e-live-grid-sd.png"));
    QTest::qWait(2 * ViewControl::FitDelayMs);
    QCOMPARE(switches(), 2);
}

// A minimised window decodes nothing; restored, its cells have a picture
// again within one group of pictures (1 s here).
void tst_E2eLive::minimisedWindowStopsDecodingUntilRestored()
{
    Video *video = Video::instance();
    QTRY_VERIFY(ViewControl::instance()->cellOf(device->channel(0)));
    host->showMinimized();
    QTest::qWait(300); // pictures on their way
    const quint64 before = video->decodedFrames();
    QTest::qWait(1500);
    QCOMPARE(video->decodedFrames(), before);
    host->showNormal();
    QTRY_VERIFY_WITH_TIMEOUT(video->decodedFrames() > before, 1500);
    QString seen;
    QVERIFY2(showsColours(ViewControl::instance()->cellOf(device->channel(0)), 0, &seen),
             qPrintable(seen));
}

// A device that stops answering (SIGSTOP) past the keep-alive is dropped:
// its cells dim under a status text, and once it answers again (SIGCONT)
// the client reconnects by itself and the picture returns.
void tst_E2eLive::stalledDeviceDimsThenComesBack()
{
#ifdef Q_OS_WIN
    QSKIP("stops the device process with POSIX signals");
#else
    Channel *first = device->channel(0);
    QVERIFY(ViewControl::instance()->cellOf(first));
    const qint64 pid = sim.process().processId();
    QVERIFY(::kill(pid_t(pid), SIGSTOP) == 0);
    QTRY_VERIFY_WITH_TIMEOUT(device->linkState() == Device::LinkState::Offline, 30000);
    QCOMPARE(device->sessionId(), -1);
    QVERIFY(::kill(pid_t(pid), SIGCONT) == 0);
    expectDimmedThenLive(first, "stalled");
#endif
}

// A device that dies and starts again on the same port is found again.
void tst_E2eLive::restartedDeviceComesBackOnItsPort()
{
    Channel *third = device->channel(2);
    QVERIFY(ViewControl::instance()->cellOf(third));
    const quint16 port = sim.port(Uid);
    sim.kill();
    QTRY_VERIFY_WITH_TIMEOUT(device->linkState() == Device::LinkState::Offline, 30000);
    QTRY_VERIFY_WITH_TIMEOUT(!ViewControl::instance()->cellOf(third)->status().isEmpty(), 10000);
    QVERIFY2(restarted.start(simArguments + QStringList{"--port", QString::number(port)}),
             qPrintable(restarted.errorText()));
    expectDimmedThenLive(third, "restarted");
}

void tst_E2eLive::closeButtonClosesChannelsAndSessions()
{
    DevsimProcess &sim = restarted; // the device that runs now
    QVERIFY(device->sessionId() >= 0);
    const int mark = sim.lineCount();
    auto *closeBtn = window->findChild<LabelSystemBtn *>("label_icon_close");
    QVERIFY(closeBtn);
    QSignalSpy quits(ViewControl::instance(), &ViewControl::quitMsg);

    // The recorder's 16 channels stream beside the two channels shown so far.
    ViewControl *view = ViewControl::instance();
    Device *nvr = Dev::instance()->deviceByUid(WallUid);
    QVERIFY(nvr);
    view->setWindowMod(WINDOW_MOD_25);
    for (int i = 0; i < WallChannels; ++i)
        view->openInCell(nvr->channel(i), 2 + i);
    for (int i = 0; i < WallChannels; ++i) {
        const StreamCounters &drawn = nvr->channel(i)->slot(true).counters;
        QTRY_VERIFY2_WITH_TIMEOUT(drawn.framesDrawn.load() > 0,
                                  qPrintable(QStringLiteral("wall channel %1").arg(i)), 60000);
    }
    QVERIFY(view->cellOf(device->channel(2)));
    const int wallMark = wall.lineCount();

    // A recording runs as the client quits: it is finished, not cut off.
    QTemporaryDir videos;
    VideoRecord *record = VideoRecord::instance();
    record->setVideoPath(videos.path());
    QSignalSpy started(record, &VideoRecord::recordStarted);
    QSignalSpy finished(record, &VideoRecord::recordFinished);
    Channel *recorded = device->channel(2);
    Dev::instance()->setSelectedChannel(recorded);
    ViewControl::instance()->recordChange(recorded, true);
    QTRY_VERIFY_WITH_TIMEOUT(!started.isEmpty(), 20000);
    QTest::qWait(1500);

    // A loop that the button does not end ends with 7 after 30 s.
    QTimer guard;
    guard.setSingleShot(true);
    connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(7); });
    guard.start(30000);
    QElapsedTimer quitting;
    QTimer::singleShot(0, closeBtn, [closeBtn, &quitting] {
        quitting.start();
        QTest::mouseClick(closeBtn, Qt::LeftButton);
    });
    QCOMPARE(QCoreApplication::exec(), 0);
    const qint64 quitMs = quitting.elapsed();
    qInfo("the close button took %lld ms", quitMs);
    QVERIFY2(quitMs < 2000, "quitting waited on something");
    QCOMPARE(quits.count(), 1);
    QCOMPARE(device->sessionId(), -1);
    QCOMPARE(finished.size(), 1);
    const QString path = finished.first().at(2).toString();
    if (haveTools()) {
        const Probe p = probe(path);
        QVERIFY2(p.errors.isEmpty(), qPrintable(p.errors));
        QVERIFY2(p.videoSeconds >= 1.0, qPrintable(QString::number(p.videoSeconds)));
    }

    QRegularExpressionMatch opened;
    QVERIFY(
        sim.waitForLine(QRegularExpression("^SESSION_OPEN " + Uid + " (\\d+) "), 1000, &opened));
    const QString session = opened.captured(1);
    for (int ch : {0, 2}) {
        const QRegularExpression closed("^CHANNEL_CLOSE " + Uid + " " + session + "/" +
                                        QString::number(ch) + "$");
        QVERIFY2(sim.waitForLineFrom(mark, closed, 20000) >= 0, qPrintable(closed.pattern()));
    }
    QVERIFY(sim.waitForLineFrom(mark,
                                QRegularExpression("^SESSION_CLOSE " + Uid + " " + session + "$"),
                                20000) >= 0);
    // Channels were closed before their session.
    const QStringList after = sim.lines().mid(mark);
    int lastChannel = -1;
    int sessionClose = -1;
    for (int i = 0; i < after.size(); ++i) {
        if (after.at(i).startsWith(QLatin1String("CHANNEL_CLOSE ")))
            lastChannel = i;
        else if (after.at(i).startsWith(QLatin1String("SESSION_CLOSE ")) && sessionClose < 0)
            sessionClose = i;
    }
    QVERIFY(lastChannel >= 0 && lastChannel < sessionClose);
    // The recorder's session ends too.
    QVERIFY(wall.waitForLineFrom(wallMark, QRegularExpression("^SESSION_CLOSE " + WallUid + " "),
                                 20000) >= 0);
}

ORVANE_TEST_MAIN(tst_E2eLive)
#include "tst_e2e_live.moc"
