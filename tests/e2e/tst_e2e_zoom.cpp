// Digital zoom and the information box of a live cell, end to end: a
// simulated DVR in its solid pattern (channel 1: red above, green below),
// shown by the real main window; the wheel, drags and the overview's reset
// button reach the cell through the OpenGL surface, and the surface's
// pictures show the part zoomed into.

#include "DevsimProcess.h"
#include "E2eClient.h"

#include "devtree/MenuDevList.h"
#include "devtree/MenuListDev.h"
#include "diagnostics/SystemInfo.h"
#include "model/Channel.h"
#include "model/Dev.h"
#include "model/Device.h"
#include "view/CellOverlay.h"
#include "view/GlWidgetViewWindow.h"
#include "view/StreamFit.h"
#include "view/ViewControl.h"
#include "view/WallSurface.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include "TestMain.h"

namespace {

const QString Uid = QStringLiteral("E2EZOOM4CH00000001");
const QString Password = QStringLiteral("zoom-pw");
const QColor Upper(255, 0, 0); // channel 1's solid pattern
const QColor Lower(0, 255, 0);

bool near(QRgb pixel, const QColor &want, int tolerance = 40)
{
    return qAbs(qRed(pixel) - want.red()) <= tolerance &&
           qAbs(qGreen(pixel) - want.green()) <= tolerance &&
           qAbs(qBlue(pixel) - want.blue()) <= tolerance;
}

} // namespace

class tst_E2eZoom : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void wheelDragAndResetMoveThePicture();
    void infoBoxListsTheStream();
    void anotherChannelShowsTheWholePicture();

private:
    // Where the picture's red/green edge (its middle row) lies in the cell,
    // as a fraction of the picture area's height; -1 when the cell does not
    // show red above green.
    double edgeInCell();
    // Sends a wheel turn or a mouse event to the surface at a point of the
    // cell given as fractions of its picture area.
    void wheel(QPointF at, int angle);
    void mouse(QEvent::Type type, QPointF at, Qt::MouseButtons buttons);
    QPointF surfacePoint(QPointF at) const;
    void saveArtifact(const QString &name);

    QTemporaryDir settingsDir;
    DevsimProcess sim;
    E2eClient client;
    Channel *channel = nullptr;
    GlWidgetViewWindow *cell = nullptr;
    WallSurface *surface = nullptr;
};

void tst_E2eZoom::initTestCase()
{
    QVERIFY2(!DevsimProcess::executable().isEmpty(), "devsim not built");
    const quint16 discovery = DevsimProcess::anyDiscoveryPort();
    sim.setDiscoveryPort(discovery);
    QVERIFY2(sim.start({"--uid", Uid, "--type", "1", "--channels", "4", "--account", "admin",
                        "--password", Password, "--pattern", "solid", "--sd", "320x180", "--fps",
                        "10", "--gop", "1"}),
             qPrintable(sim.errorText()));
    DevsimProcess::pointClientAt({&sim}, discovery);
    E2eClient::useSettings(settingsDir.path());
    QVERIFY(E2eClient::registerDevice(Uid, Password, 4));
    MainWindow *window = client.show();
    QVERIFY(QTest::qWaitForWindowExposed(client.host.get()));
    QTRY_VERIFY_WITH_TIMEOUT(Dev::instance()->deviceByUid(Uid), 10000);
    Device *device = Dev::instance()->deviceByUid(Uid);
    channel = device->channel(0);
    MenuListDev *row = nullptr;
    for (MenuListDev *r : window->devList()->rows())
        row = r->device() == device ? r->rowOf(channel) : row;
    QVERIFY(row);
    emit row->doubleClicked(row);
    QTRY_VERIFY_WITH_TIMEOUT(ViewControl::instance()->cellOf(channel), 30000);
    cell = ViewControl::instance()->cellOf(channel);
    surface = WallSurface::of(cell->parentWidget());
    QVERIFY(surface);
    QTRY_VERIFY_WITH_TIMEOUT(qAbs(edgeInCell() - 0.5) < 0.03, 30000);
}

void tst_E2eZoom::cleanupTestCase()
{
    client.host.reset();
    sim.stop();
}

void tst_E2eZoom::saveArtifact(const QString &name)
{
    const QString dir = qEnvironmentVariable("ORVANE_TEST_ARTIFACTS");
    if (dir.isEmpty())
        return;
    QDir().mkpath(dir);
    WallSurface::grab(client.host.get()).save(QDir(dir).filePath(name));
}

double tst_E2eZoom::edgeInCell()
{
    const QImage img = cell->grabFramebuffer();
    if (img.isNull())
        return -1;
    const qreal dpr = cell->devicePixelRatioF();
    const QRectF area = CellOverlay::pictureRect(cell->size());
    // A column clear of the overview (bottom right) and the boxes on the left.
    const int x = int(area.left() + area.width() * 0.45) * dpr;
    const int top = int((area.top() + 4) * dpr);
    if (!near(img.pixel(x, top), Upper))
        return -1;
    for (int y = top; y < int((area.bottom() - 4) * dpr); ++y) {
        if (near(img.pixel(x, y), Lower))
            return (y / dpr - area.top()) / area.height();
    }
    return -1;
}

QPointF tst_E2eZoom::surfacePoint(QPointF at) const
{
    const QRectF area = CellOverlay::pictureRect(cell->size());
    return QPointF(cell->pos()) + area.topLeft() +
           QPointF(at.x() * area.width(), at.y() * area.height());
}

void tst_E2eZoom::wheel(QPointF at, int angle)
{
    const QPointF p = surfacePoint(at);
    QWheelEvent event(p, surface->mapToGlobal(p), QPoint(), QPoint(0, angle), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(surface, &event);
}

void tst_E2eZoom::mouse(QEvent::Type type, QPointF at, Qt::MouseButtons buttons)
{
    const QPointF p = surfacePoint(at);
    QMouseEvent event(type, p, surface->mapToGlobal(p),
                      type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(surface, &event);
}

// The wheel zooms around the pointer, a drag pans, the overview's button and
// resetZoom() show the whole picture again; a zoomed small cell asks for the
// main stream's size.
void tst_E2eZoom::wheelDragAndResetMoveThePicture()
{
    QSignalSpy changes(cell, &GlWidgetViewWindow::zoomChanged);
    const QSize device = cell->size() * cell->devicePixelRatioF();
    QCOMPARE(cell->streamFitSize(), device);
    QVERIFY2(!StreamFit::wantHd(false, device, channel->hdPictureSize()), "cell too large");

    // Two notches at a quarter of the height: 2x, the pointer's row stays,
    // so the middle row moves from 1/2 to 1 - 1/4 = 3/4 of the cell.
    wheel(QPointF(0.4, 0.25), 240);
    QCOMPARE(cell->zoom().factor(), 2.0);
    QVERIFY(cell->isZoomed());
    QCOMPARE(changes.size(), 1);
    QCOMPARE(cell->streamFitSize(), device * 2);
    double edge = -1;
    QTRY_VERIFY2(qAbs((edge = edgeInCell()) - 0.75) < 0.03, qPrintable(QString::number(edge)));

    // Dragging up by a tenth of the cell moves the picture with the pointer:
    // the part shown starts 0.05 lower, the edge is at (0.5 - 0.175) * 2.
    mouse(QEvent::MouseButtonPress, QPointF(0.5, 0.5), Qt::LeftButton);
    for (int step = 1; step <= 4; ++step)
        mouse(QEvent::MouseMove, QPointF(0.5, 0.5 - 0.025 * step), Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, QPointF(0.5, 0.4), Qt::NoButton);
    QTRY_VERIFY2(qAbs((edge = edgeInCell()) - 0.65) < 0.03, qPrintable(QString::number(edge)));
    QCOMPARE(cell->zoom().factor(), 2.0);
    QCOMPARE(Dev::instance()->selectedChannel(), channel);
    // The overview shows the whole picture, dimmed: its upper colour above
    // its lower, where the zoomed view below it shows only the lower.
    const QRectF overview =
        CellOverlay::overviewRect(cell->size(), SystemInfo::instance()->scale());
    const auto overviewPixel = [&](double y) {
        const QImage img = cell->grabFramebuffer();
        const qreal dpr = cell->devicePixelRatioF();
        const QPointF p(overview.left() + overview.width() * 0.85,
                        overview.top() + overview.height() * y);
        return img.isNull() ? QRgb(0) : img.pixel((p * dpr).toPoint());
    };
    const auto dimmed = [](const QColor &c) {
        return QColor(int(c.red() * 0.8), int(c.green() * 0.8), int(c.blue() * 0.8));
    };
    QTRY_VERIFY2(near(overviewPixel(0.2), dimmed(Upper)),
                 qPrintable(QColor(overviewPixel(0.2)).name()));
    QVERIFY(near(overviewPixel(0.85), dimmed(Lower)));
    saveArtifact(QStringLiteral("zoom.png"));

    // Two more notches: 4x, enough for the main stream.
    wheel(QPointF(0.5, 0.5), 240);
    QCOMPARE(cell->zoom().factor(), 4.0);
    QVERIFY(StreamFit::wantHd(false, cell->streamFitSize(), channel->hdPictureSize()));

    // The overview's "1:1" button.
    const QRectF button =
        CellOverlay::resetButtonRect(cell->size(), SystemInfo::instance()->scale());
    const QRectF area = CellOverlay::pictureRect(cell->size());
    const QPointF at((button.center().x() - area.left()) / area.width(),
                     (button.center().y() - area.top()) / area.height());
    const qsizetype before = changes.size();
    mouse(QEvent::MouseButtonPress, at, Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, at, Qt::NoButton);
    QVERIFY(!cell->isZoomed());
    QCOMPARE(changes.size(), before + 1);
    QCOMPARE(cell->streamFitSize(), device);
    QTRY_VERIFY2(qAbs((edge = edgeInCell()) - 0.5) < 0.03, qPrintable(QString::number(edge)));

    // A click without a move selects, it does not pan; resetZoom() resets.
    wheel(QPointF(0.5, 0.6), 480);
    QCOMPARE(cell->zoom().factor(), 4.0);
    QTRY_VERIFY2(qAbs((edge = edgeInCell()) - 0.2) < 0.03, qPrintable(QString::number(edge)));
    mouse(QEvent::MouseButtonPress, QPointF(0.3, 0.3), Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, QPointF(0.3, 0.3), Qt::NoButton);
    QCOMPARE(cell->zoom().visible(), QRectF(0.375, 0.45, 0.25, 0.25));
    cell->resetZoom();
    QVERIFY(!cell->isZoomed());
    QTRY_VERIFY2(qAbs((edge = edgeInCell()) - 0.5) < 0.03, qPrintable(QString::number(edge)));
}

// The information box lists the picture's size, the codec, SD/HD and,
// from its second refresh on, the rates.
void tst_E2eZoom::infoBoxListsTheStream()
{
    QVERIFY(cell->infoText().isEmpty());
    cell->setInfoShown(true);
    const auto expected = [this] {
        const QSize size = cell->pictureSize();
        return QStringLiteral("%1\u00d7%2  H.264  %3")
            .arg(size.width())
            .arg(size.height())
            .arg(channel->quality(true) ? QStringLiteral("HD") : QStringLiteral("SD"));
    };
    QTRY_VERIFY2(cell->infoText().startsWith(expected()), qPrintable(cell->infoText()));
    QTRY_VERIFY2_WITH_TIMEOUT(!cell->infoText().contains(QLatin1String("- fps")) &&
                                  !cell->infoText().contains(QLatin1String("- kbit")),
                              qPrintable(cell->infoText()), 5000);
    wheel(QPointF(0.7, 0.3), 360);
    saveArtifact(QStringLiteral("zoom-info.png"));
    cell->setInfoShown(false);
    QVERIFY(cell->infoText().isEmpty());
}

// Another channel in the cell starts with the whole picture.
void tst_E2eZoom::anotherChannelShowsTheWholePicture()
{
    if (!cell->isZoomed())
        wheel(QPointF(0.5, 0.5), 240);
    QVERIFY(cell->isZoomed());
    QSignalSpy changes(cell, &GlWidgetViewWindow::zoomChanged);
    cell->setChannel(channel->device(), channel->device()->channel(1));
    QVERIFY(!cell->isZoomed());
    QCOMPARE(changes.size(), 1);
}

ORVANE_TEST_MAIN(tst_E2eZoom)
#include "tst_e2e_zoom.moc"
