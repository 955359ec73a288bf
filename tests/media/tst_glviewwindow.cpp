// The OpenGL view cell: drawn colours, frame, waiting indicator, badges and the alarm frame.

#include "view/GlWidgetViewWindow.h"
#include "media/PictureExchange.h"
#include "media/Video.h"
#include "model/Channel.h"
#include "model/Dev.h"
#include "model/Device.h"
#include "view/WallSurface.h"

#include <QLabel>
#include <QOpenGLContext>
#include <QOpenGLFunctions>

#include <QtTest>
#include "TestMain.h"

#include <array>
#include <cmath>
#include <cstring>

namespace {

// BT.601 limited range, as written in the standard's own rounded terms.
QColor expectedRgb(int y, int u, int v)
{
    const double Y = 1.164 * (y - 16);
    auto c = [](double x) { return qBound(0, int(x + 0.5), 255); };
    return QColor(c(Y + 1.596 * (v - 128)), c(Y - 0.392 * (u - 128) - 0.813 * (v - 128)),
                  c(Y + 2.017 * (u - 128)));
}

// The Y, U, V samples a stream of the given matrix and range carries for rgb.
std::array<int, 3> encodeYuv(const QColor &rgb, bool bt709, bool fullRange)
{
    const double kr = bt709 ? 0.2126 : 0.299;
    const double kb = bt709 ? 0.0722 : 0.114;
    const double r = rgb.redF(), g = rgb.greenF(), b = rgb.blueF();
    const double y = kr * r + (1 - kr - kb) * g + kb * b;
    const double cb = (b - y) / (2 * (1 - kb));
    const double cr = (r - y) / (2 * (1 - kr));
    auto q = [](double x) { return qBound(0, int(std::lround(x)), 255); };
    if (fullRange)
        return {q(255 * y), q(128 + 255 * cb), q(128 + 255 * cr)};
    return {q(16 + 219 * y), q(128 + 224 * cb), q(128 + 224 * cr)};
}

bool near(QRgb px, const QColor &c, int tol = 4)
{
    return qAbs(qRed(px) - c.red()) <= tol && qAbs(qGreen(px) - c.green()) <= tol &&
           qAbs(qBlue(px) - c.blue()) <= tol;
}

const char *describe(QRgb px)
{
    static QByteArray text;
    text = QByteArray::number(qRed(px)) + "," + QByteArray::number(qGreen(px)) + "," +
           QByteArray::number(qBlue(px));
    return text.constData();
}

// Publishes a w x h picture whose left half has (y1,u1,v1) and right half (y2,u2,v2).
void publish(Channel *channel, int w, int h, uint ts, int y1, int u1, int v1, int y2 = -1,
             int u2 = -1, int v2 = -1, YuvColour colour = {})
{
    if (y2 < 0) {
        y2 = y1;
        u2 = u1;
        v2 = v1;
    }
    std::shared_ptr<PictureExchange> pictures = Video::instance()->pictures(channel, true);
    uint8_t *b = pictures->backBuffer(w, h);
    QVERIFY(b);
    for (int r = 0; r < h; ++r)
        for (int x = 0; x < w; ++x)
            b[r * w + x] = uint8_t(x < w / 2 ? y1 : y2);
    const int cw = w / 2;
    const int ch = h / 2;
    for (int r = 0; r < ch; ++r)
        for (int x = 0; x < cw; ++x) {
            const bool left = x < cw / 2 + (cw % 2);
            b[PictureExchange::uOffset(w, h) + r * cw + x] = uint8_t(left ? u1 : u2);
            b[PictureExchange::vOffset(w, h) + r * cw + x] = uint8_t(left ? v1 : v2);
        }
    pictures->publish(ts, 0, colour);
    emit Video::instance()->decodeSuccess(channel, true, w, h, ts);
}

} // namespace

class TestGlViewWindow : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_host = std::make_unique<QWidget>();
        m_host->resize(420, 200);
        m_cell = new GlWidgetViewWindow(m_host.get());
        m_cell->place(200, 150, 0, 0);
        m_empty = new GlWidgetViewWindow(m_host.get());
        m_empty->place(200, 150, 210, 0);
        m_device = std::make_unique<Device>();
        m_device->setUid(QStringLiteral("GL1"));
        m_device->setChannelCount(2);
        m_channel = m_device->channel(0);
        m_channel->setVideoOn(true, true);
        m_host->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_host.get()));
    }
    void cleanup()
    {
        Dev::instance()->setSelectedChannel(nullptr);
        m_host.reset();
        Video::instance()->releaseChannel(m_channel);
        Video::instance()->releaseChannel(m_device->channel(1));
        m_device.reset();
    }

    void drawsTrueColoursForTheDeclaredMatrixAndRange_data()
    {
        QTest::addColumn<QColor>("colour");
        QTest::addColumn<bool>("bt709");
        QTest::addColumn<bool>("fullRange");
        const QList<QPair<const char *, QColor>> colours = {{"red", Qt::red},
                                                            {"green", Qt::green},
                                                            {"blue", Qt::blue},
                                                            {"white", Qt::white},
                                                            {"black", Qt::black}};
        for (const auto &[name, colour] : colours)
            for (const bool bt709 : {false, true})
                for (const bool full : {false, true})
                    QTest::addRow("%s %s %s", name, bt709 ? "bt709" : "bt601",
                                  full ? "full" : "limited")
                        << colour << bt709 << full;
    }
    void drawsTrueColoursForTheDeclaredMatrixAndRange()
    {
        QFETCH(QColor, colour);
        QFETCH(bool, bt709);
        QFETCH(bool, fullRange);
        m_cell->setChannel(m_device.get(), m_channel);
        QSignalSpy finished(Video::instance(), &Video::showImageFinishMsg);
        const std::array<int, 3> yuv = encodeYuv(colour, bt709, fullRange);
        publish(m_channel, 64, 48, 1234, yuv[0], yuv[1], yuv[2], -1, -1, -1,
                YuvColour{bt709, fullRange});
        // The surface draws the picture in its next frame.
        QTRY_VERIFY(!finished.isEmpty());
        const QImage img = m_cell->grabFramebuffer();
        QCOMPARE(img.size(), QSize(200, 150));
        const QRgb centre = img.pixel(100, 75);
        QVERIFY2(near(centre, colour), describe(centre));
        QCOMPARE(finished.last().at(0).value<Channel *>(), m_channel);
        QCOMPARE(finished.last().at(1).toUInt(), 1234u);
    }

    void oddChromaWidthsKeepTheirRows()
    {
        // 10 x 6: chroma planes of 5 x 3, rows not multiples of 4 bytes.
        m_cell->setChannel(m_device.get(), m_channel);
        publish(m_channel, 10, 6, 1, 120, 60, 200, 120, 200, 60);
        const QImage img = m_cell->grabFramebuffer();
        const QRgb left = img.pixel(20, 75);
        const QRgb right = img.pixel(180, 75);
        QVERIFY2(near(left, expectedRgb(120, 60, 200), 6), describe(left));
        QVERIFY2(near(right, expectedRgb(120, 200, 60), 6), describe(right));
        // The painter that draws the overlays next uploads its glyphs with
        // rows padded to 4 bytes: the picture's upload leaves the unpack
        // alignment at that default, or every text over a picture is skewed.
        WallSurface *surface = WallSurface::of(m_host.get());
        surface->makeCurrent();
        GLint alignment = 0;
        surface->context()->functions()->glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
        surface->doneCurrent();
        QCOMPARE(alignment, 4);
    }

    void alarmFramesTheCellAndNamesItself()
    {
        m_cell->setChannel(m_device.get(), m_channel);
        publish(m_channel, 32, 32, 1, 200, 128, 128);
        QCOMPARE(GlWidgetViewWindow::alarmText(0), QString());
        QCOMPARE(GlWidgetViewWindow::alarmText(1 << 1 | 1 << 3), QStringLiteral("MOTION ALARM IN"));
        m_channel->setAlarm(1, true);
        QImage img = m_cell->grabFramebuffer();
        QVERIFY2(near(img.pixel(100, 1), QColor(255, 140, 0), 8), describe(img.pixel(100, 1)));
        QVERIFY2(near(img.pixel(8, 140), QColor(255, 140, 0), 8), describe(img.pixel(8, 140)));
        m_channel->setAlarm(1, false);
        img = m_cell->grabFramebuffer();
        QVERIFY(!near(img.pixel(100, 1), QColor(255, 140, 0), 30));
    }

    void channelIsSeenOnlyWhileItsCellIsOnScreen()
    {
        m_cell->setChannel(m_device.get(), m_channel);
        QVERIFY(m_channel->seen());
        m_host->showMinimized();
        QVERIFY(!m_channel->seen());
        m_host->showNormal();
        QVERIFY(m_channel->seen());
        m_cell->hide();
        QVERIFY(!m_channel->seen());
        m_cell->show();
        QVERIFY(m_channel->seen());
        // Another channel in the cell: the first one is no longer shown.
        m_cell->setChannel(m_device.get(), m_device->channel(1));
        QVERIFY(!m_channel->seen());
        QVERIFY(m_device->channel(1)->seen());
    }

    void frameColourShowsTheSelection()
    {
        m_cell->setChannel(m_device.get(), m_channel);
        publish(m_channel, 32, 32, 1, 200, 128, 128);
        QImage img = m_cell->grabFramebuffer();
        QVERIFY2(near(img.pixel(0, 0), QColor(128, 128, 128), 2), describe(img.pixel(0, 0)));
        QVERIFY2(near(img.pixel(1, 140), QColor(128, 128, 128), 2), describe(img.pixel(1, 140)));
        QVERIFY(!near(img.pixel(3, 3), QColor(128, 128, 128), 2));

        Dev::instance()->setSelectedChannel(m_channel);
        QVERIFY(m_cell->isSelected());
        img = m_cell->grabFramebuffer();
        QVERIFY2(near(img.pixel(0, 0), QColor(26, 128, 255), 2), describe(img.pixel(0, 0)));
        QVERIFY2(near(img.pixel(199, 149), QColor(26, 128, 255), 2), describe(img.pixel(199, 149)));

        Dev::instance()->setSelectedChannel(m_device->channel(1));
        QVERIFY(!m_cell->isSelected());
    }

    void waitingIndicatorStaysUntilTheFirstPicture()
    {
        QVERIFY(!m_cell->isWaiting());
        m_channel->setWaitKeyFrame(true, true);
        m_cell->setChannel(m_device.get(), m_channel);
        QVERIFY(m_cell->isWaiting());
        m_cell->hideWaiting(m_device->channel(1)); // another channel: no effect
        QVERIFY(m_cell->isWaiting());
        publish(m_channel, 32, 32, 1, 30, 128, 128); // still waiting for a key frame
        QVERIFY(m_cell->isWaiting());
        m_channel->setWaitKeyFrame(false, true);
        publish(m_channel, 32, 32, 2, 30, 128, 128);
        QVERIFY(!m_cell->isWaiting());

        m_cell->showWaiting(m_channel);
        QVERIFY(m_cell->isWaiting());
        m_cell->hideWaiting(m_channel);
        QVERIFY(!m_cell->isWaiting());
        m_cell->showWaiting(m_channel);
        m_cell->setChannel(nullptr, nullptr);
        QVERIFY(!m_cell->isWaiting());
    }

    void clicksOnTheSurfaceReachTheCellUnderThem()
    {
        // The surface covers both cells; the second one (at x 210) is empty.
        m_cell->setChannel(m_device.get(), m_channel);
        WallSurface *surface = WallSurface::of(m_host.get());
        QSignalSpy dbl(m_cell, &GlWidgetViewWindow::doubleClicked);
        QTest::mouseClick(surface, Qt::LeftButton, {}, QPoint(260, 50));
        QCOMPARE(Dev::instance()->selectedChannel(), nullptr);
        QTest::mouseClick(surface, Qt::LeftButton, {}, QPoint(50, 50));
        QCOMPARE(Dev::instance()->selectedChannel(), m_channel);
        QCOMPARE(Dev::instance()->selectedDevice(), m_device.get());
        // As the window system reports a second press in time.
        QMouseEvent twice(QEvent::MouseButtonDblClick, QPointF(50, 50), QPointF(50, 50),
                          surface->mapToGlobal(QPointF(50, 50)), Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
        QCoreApplication::sendEvent(surface, &twice);
        QCOMPARE(dbl.size(), 1);
        QCOMPARE(dbl.first().at(0).value<Channel *>(), m_channel);
    }

    void widgetsShownOverTheWallStayAboveIt()
    {
        auto *popup = new QLabel(QStringLiteral("popup"), m_host.get());
        popup->setGeometry(150, 20, 100, 40);
        popup->show();
        QVERIFY(popup->testAttribute(Qt::WA_NativeWindow));
        // Children of the popup go with it.
        auto *inner = new QLabel(QStringLiteral("inner"), popup);
        inner->show();
        QVERIFY(!inner->testAttribute(Qt::WA_NativeWindow));
    }

    void picturesOfAWallShareFrames()
    {
        // Two channels at 25 pictures a second, out of step: about 25 frames
        // a second, not one per picture.
        Channel *other = m_device->channel(1);
        other->setVideoOn(true, true);
        m_cell->setChannel(m_device.get(), m_channel);
        m_empty->setChannel(m_device.get(), other);
        WallSurface *surface = WallSurface::of(m_host.get());
        QElapsedTimer clock;
        clock.start();
        uint ts = 0;
        quint64 first = 0;
        while (clock.elapsed() < 1200) {
            publish(m_channel, 32, 32, ++ts, 100, 128, 128);
            QTest::qWait(20);
            publish(other, 32, 32, ts, 100, 128, 128);
            QTest::qWait(20);
            if (first == 0 && clock.elapsed() >= 400)
                first = surface->framesDrawn();
        }
        const quint64 frames = surface->framesDrawn() - first;
        QVERIFY2(frames >= 12 && frames <= 27, QByteArray::number(frames).constData());
    }

private:
    std::unique_ptr<QWidget> m_host;
    GlWidgetViewWindow *m_cell = nullptr;
    GlWidgetViewWindow *m_empty = nullptr;
    std::unique_ptr<Device> m_device;
    Channel *m_channel = nullptr;
};

ORVANE_TEST_MAIN(TestGlViewWindow)
#include "tst_glviewwindow.moc"
