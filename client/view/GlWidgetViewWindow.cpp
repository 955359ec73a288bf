#include "view/GlWidgetViewWindow.h"

#include "diagnostics/SystemInfo.h"
#include "link/DeviceEvents.h"
#include "link/DeviceLinks.h"
#include "media/PictureExchange.h"
#include "media/Video.h"
#include "view/CellOverlay.h"
#include "view/ChannelCells.h"
#include "view/WallSurface.h"
#include "view/YuvRenderer.h"
#include "model/Channel.h"
#include "model/Dev.h"

#include <QDateTime>
#include <QMouseEvent>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QPainter>
#include <QPointer>
#include <QTimer>
#include <QWheelEvent>

#include <utility>

namespace {

// A cell with a status text over it draws its picture at this brightness.
constexpr float DimmedBrightness = 0.4f;

std::function<bool()> &modeSource()
{
    static std::function<bool()> source = [] { return true; };
    return source;
}

bool currentLive()
{
    return modeSource()();
}

} // namespace

bool GlWidgetViewWindow::cellLive() const
{
    return m_liveOnly || currentLive();
}

void GlWidgetViewWindow::setModeSource(std::function<bool()> source)
{
    modeSource() = source ? std::move(source) : std::function<bool()>([] { return true; });
}

GlWidgetViewWindow::GlWidgetViewWindow(QWidget *parent)
    : QWidget(parent)
    , m_renderer(std::make_unique<YuvRenderer>())
{
    m_scale = SystemInfo::instance()->scale();
    // Nothing of the widget itself is painted: the surface draws the cell.
    setAttribute(Qt::WA_NoSystemBackground);
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_pictureClock.start();
    m_surface = WallSurface::of(parent);
    if (m_surface)
        m_surface->addCell(this);
    ChannelCells::routePictures();
    connect(DeviceLinks::events(), &DeviceEvents::alarmMsg, this, [this](Channel *channel) {
        if (channel && channel == m_channel)
            refresh();
    });
    connect(Dev::instance(), &Dev::selectChannelMsg, this,
            &GlWidgetViewWindow::showSelectedChannel);
    m_infoTimer.setInterval(1000);
    connect(&m_infoTimer, &QTimer::timeout, this, &GlWidgetViewWindow::updateInfo);
}

GlWidgetViewWindow::~GlWidgetViewWindow()
{
    showChannelOnScreen(nullptr);
    removeWaiting();
    if (m_surface)
        m_surface->removeCell(this);
}

void GlWidgetViewWindow::detachSurface(bool contextCurrent)
{
    // The textures live in the surface's context: freed while it is current.
    if (contextCurrent && m_renderer->isReady())
        m_renderer->release();
    m_surface = nullptr;
}

void GlWidgetViewWindow::refresh()
{
    if (m_surface)
        m_surface->schedule();
}

QImage GlWidgetViewWindow::grabFramebuffer()
{
    return m_surface ? m_surface->grabCell(this) : QImage();
}

void GlWidgetViewWindow::showChannelOnScreen(Channel *channel)
{
    if (m_channel == channel)
        return;
    if (m_channel)
        ChannelCells::remove(m_channel, this);
    m_channel = channel;
    if (channel)
        ChannelCells::add(channel, this);
    updateSeen();
}

QList<GlWidgetViewWindow *> GlWidgetViewWindow::cellsShowing(const Channel *channel)
{
    return ChannelCells::of(channel);
}

void GlWidgetViewWindow::updateSeen()
{
    ChannelCells::updateSeen(m_channel);
}

void GlWidgetViewWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    refresh();
    // The top-level window tells when it is minimised and restored.
    if (window() != m_topLevel) {
        if (m_topLevel)
            m_topLevel->removeEventFilter(this);
        m_topLevel = window();
        if (m_topLevel != this)
            m_topLevel->installEventFilter(this);
    }
    updateSeen();
}

void GlWidgetViewWindow::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    updateSeen();
    refresh();
}

bool GlWidgetViewWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_topLevel && event->type() == QEvent::WindowStateChange)
        updateSeen();
    return QWidget::eventFilter(watched, event);
}

void GlWidgetViewWindow::setChannel(Device *device, Channel *channel)
{
    m_device = device;
    if (channel != m_channel) {
        // Another picture: shown whole, its figures counted afresh.
        resetZoom();
        m_overlay.clearInfo();
        m_shownPictures = 0;
    }
    showChannelOnScreen(channel);
    m_pictures.reset();
    m_renderer->forget();
    m_status.clear();
    m_intervalMs = 0;
    m_lastPictureMs = -1;
    if (!channel) {
        removeWaiting();
        m_recordShown = false;
        m_selected = false;
        refresh();
        return;
    }
    // A channel moved into this cell (zoom, another layout) keeps showing
    // its picture; a channel without one shows the waiting indicator.
    const bool live = cellLive();
    if (Video::instance()->pictures(channel, live)->hasPicture() && !channel->waitKeyFrame(live))
        removeWaiting();
    else
        showWaiting(channel);
    m_recordShown = channel->recording(live);
    m_selected = Dev::instance()->selectedChannel() == channel;
    reloadImg();
    refresh();
}

void GlWidgetViewWindow::resetZoom()
{
    zoomed(m_overlay.resetZoom());
}

void GlWidgetViewWindow::zoomed(bool changed)
{
    if (!changed)
        return;
    refresh();
    emit zoomChanged();
}

QSize GlWidgetViewWindow::streamFitSize() const
{
    return size() * (devicePixelRatioF() * m_overlay.zoom().factor());
}

void GlWidgetViewWindow::setInfoShown(bool shown)
{
    if (shown == m_overlay.infoShown())
        return;
    m_overlay.setInfoShown(shown);
    if (shown)
        m_infoTimer.start();
    else
        m_infoTimer.stop();
    updateInfo();
}

void GlWidgetViewWindow::updateInfo()
{
    if (m_channel) {
        const bool live = cellLive();
        const bool held = m_renderer->uploadedSerial() != 0 || m_pictures;
        m_overlay.updateInfo(m_channel->slot(live).counters, m_shownPictures,
                             m_pictureClock.elapsed(), held ? pictureSize() : QSize(),
                             m_channel->quality(live));
    }
    refresh();
}

void GlWidgetViewWindow::place(int width, int height, int x, int y)
{
    setGeometry(x, y, width, height);
}

void GlWidgetViewWindow::moveEvent(QMoveEvent *event)
{
    QWidget::moveEvent(event);
    refresh();
}

void GlWidgetViewWindow::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    refresh();
}

void GlWidgetViewWindow::setStatus(const QString &text)
{
    if (text == m_status)
        return;
    m_status = text;
    if (!text.isEmpty())
        removeWaiting();
    refresh();
}

QString GlWidgetViewWindow::status() const
{
    return m_status;
}

void GlWidgetViewWindow::removeWaiting()
{
    if (m_overlay.stopWaiting())
        refresh();
}

void GlWidgetViewWindow::notePicture()
{
    // The pictures' interval paces the surface's frames.
    const qint64 now = m_pictureClock.elapsed();
    if (m_lastPictureMs >= 0) {
        const int gap = int(qMin<qint64>(now - m_lastPictureMs, 1000));
        m_intervalMs = m_intervalMs == 0 ? gap : (3 * m_intervalMs + gap) / 4;
    }
    m_lastPictureMs = now;
}

int GlWidgetViewWindow::pictureIntervalMs() const
{
    // A channel without a picture for a second is not moving.
    if (m_lastPictureMs < 0 || m_pictureClock.elapsed() - m_lastPictureMs > 1000)
        return 0;
    return m_intervalMs;
}

void GlWidgetViewWindow::showImg(Channel *channel, bool live, int width, int height, uint timestamp)
{
    // A cell shows the pictures of its mode only (a live-only cell's
    // channel may play back in the grid at the same time).
    if (!channel || channel != m_channel || live != cellLive() || !channel->videoOn(live))
        return;
    if (isWaiting() && !channel->waitKeyFrame(live))
        removeWaiting();
    setStatus(QString()); // pictures again: whatever stopped them is over
    if (live && channel->quality(true))
        channel->setHdPictureSize(QSize(width, height));
    m_width = width;
    m_height = height;
    m_pictures = Video::instance()->pictures(channel, live);
    m_timestamp = timestamp;
    notePicture();
    refresh();
}

void GlWidgetViewWindow::cleanScreen(Channel *channel)
{
    if (channel != m_channel && m_channel)
        return;
    // A restarted stream keeps its last picture until the new one's first.
    if (m_pictures && m_pictures->hasPicture())
        return;
    m_pictures.reset();
    // Under a status text the cell keeps showing its last picture, dimmed.
    if (m_status.isEmpty())
        m_renderer->forget();
    refresh();
}

void GlWidgetViewWindow::loadRecordStatus(Channel *channel)
{
    if (!channel || channel != m_channel)
        return;
    const bool shown = channel->recording(cellLive());
    if (shown != m_recordShown) {
        m_recordShown = shown;
        refresh();
    }
}

void GlWidgetViewWindow::showSelectedChannel(Channel *channel)
{
    const bool selected = channel && channel == m_channel;
    if (selected != m_selected) {
        m_selected = selected;
        refresh();
    }
    reloadImg();
}

void GlWidgetViewWindow::reloadImg()
{
    if (!m_channel)
        return;
    const bool live = cellLive();
    std::shared_ptr<PictureExchange> pictures = Video::instance()->pictures(m_channel, live);
    if (!pictures->hasPicture())
        return;
    pictures->frontSize(m_width, m_height);
    m_pictures = pictures;
    refresh();
}

void GlWidgetViewWindow::showWaiting(Channel *channel)
{
    if (!channel || channel != m_channel)
        return;
    m_overlay.startWaiting(this, [this] { refresh(); });
    refresh();
}

void GlWidgetViewWindow::hideWaiting(Channel *channel)
{
    if (!channel || channel != m_channel)
        return;
    removeWaiting();
}

void GlWidgetViewWindow::mouseReleaseEvent(QMouseEvent *event)
{
    m_overlay.release();
    // A picture shown whole, dragged onto another cell, swaps with it.
    const QPointF from = std::exchange(m_movePress, QPointF(-1, -1));
    if (event->button() == Qt::LeftButton && m_channel && from.x() >= 0 && !isZoomed() &&
        !rect().contains(event->position().toPoint()) && m_surface) {
        GlWidgetViewWindow *target = m_surface->cellAt(mapToParent(event->position().toPoint()));
        if (target && target != this) {
            emit movedOnto(target);
            return;
        }
    }
    if (m_channel) {
        Dev *dev = Dev::instance();
        dev->setSelectedDevice(m_device);
        dev->setSelectedChannel(m_channel);
        if (event->button() == Qt::RightButton) {
            std::shared_ptr<QMouseEvent> copy(static_cast<QMouseEvent *>(event->clone()));
            QTimer::singleShot(0, this, [this, copy] {
                if (m_channel)
                    emit menuRequested(m_device, m_channel, copy.get());
            });
        }
    }
    QWidget::mouseReleaseEvent(event);
}

void GlWidgetViewWindow::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (m_channel)
        emit doubleClicked(m_channel);
    QWidget::mouseDoubleClickEvent(event);
}

bool GlWidgetViewWindow::uploadPicture(uint &timestamp)
{
    return m_pictures->withFront([&](const PictureExchange::Picture &p) {
        m_width = p.width;
        m_height = p.height;
        timestamp = p.timestamp;
        if (p.serial == m_renderer->uploadedSerial())
            return; // the textures hold this picture already
        m_renderer->upload(p);
        ++m_shownPictures;
        ChannelSlot &slot = m_channel->slot(cellLive());
        StreamCounters &counters = slot.counters;
        StreamCounters::add(counters.framesDrawn);
        if (p.tag & PictureExchange::RecordMsTag) {
            slot.shownRecordMs.store(qint64(p.timestamp) * 1000 + (p.tag & 0x3FF));
            return;
        }
        if (!cellLive())
            slot.shownRecordMs.store(qint64(p.timestamp) * 1000);
        counters.delayMs.store(StreamCounters::delayOf(p.tag, QDateTime::currentMSecsSinceEpoch()),
                               std::memory_order_relaxed);
    });
}

namespace {

// Fills the device rectangle (origin bottom left) with the colour.
void fill(QOpenGLFunctions *f, const QRect &r, float red, float green, float blue)
{
    f->glEnable(GL_SCISSOR_TEST);
    f->glScissor(r.x(), r.y(), r.width(), r.height());
    f->glClearColor(red, green, blue, 1.0f);
    f->glClear(GL_COLOR_BUFFER_BIT);
    f->glDisable(GL_SCISSOR_TEST);
}

} // namespace

void GlWidgetViewWindow::drawPicture(QOpenGLContext *context, int surfaceHeight, qreal dpr,
                                     bool shown)
{
    QOpenGLFunctions *f = context->functions();
    // The cell's area in device pixels, origin at the surface's bottom left.
    const QRect area(int(x() * dpr), surfaceHeight - int((y() + height()) * dpr),
                     int(width() * dpr), int(height() * dpr));
    if (!m_renderer->isReady())
        m_renderer->initialize(context);
    const auto sized = [this] { return m_width / 2 >= 1 && m_height / 2 >= 1; };
    uint timestamp = 0;
    // A new picture, or else (under a status text) the last one the
    // textures still hold.
    const bool fresh = m_channel && m_pictures && sized() && uploadPicture(timestamp) && sized();
    const bool dimmed = !m_status.isEmpty();
    if (!fresh && !(m_channel && dimmed && m_renderer->uploadedSerial() != 0 && sized())) {
        // Nothing to draw, or the stream stopped meanwhile; a status text
        // (white) without a picture reads on dark grey.
        if (dimmed && m_channel)
            fill(f, area, 0.2f, 0.2f, 0.2f);
        else
            fill(f, area, 0.99f, 0.99f, 0.99f);
        return;
    }
    if (m_selected)
        fill(f, area, 0.1f, 0.5f, 1.0f);
    else
        fill(f, area, 0.5f, 0.5f, 0.5f);
    const int frame = int(2 * dpr);
    f->glViewport(area.x() + frame, area.y() + frame, qMax(0, area.width() - 2 * frame),
                  qMax(0, area.height() - 2 * frame));
    m_renderer->draw(dimmed ? DimmedBrightness : 1.0f, m_overlay.zoom().visible());
    if (isZoomed()) {
        // The whole picture, small, in the overview (its frame is an overlay).
        const QRectF o = CellOverlay::overviewRect(size(), m_scale);
        f->glViewport(area.x() + int(o.left() * dpr), area.y() + int((height() - o.bottom()) * dpr),
                      int(o.width() * dpr), int(o.height() * dpr));
        m_renderer->draw(DimmedBrightness * 2, QRectF(0, 0, 1, 1));
    }

    if (fresh && shown)
        Video::instance()->showImageFinish(m_channel, timestamp);
}

QString GlWidgetViewWindow::alarmText(int alarms)
{
    return CellOverlay::alarmText(alarms);
}

bool GlWidgetViewWindow::hasOverlays() const
{
    return m_channel && (m_recordShown || isWaiting() || !m_status.isEmpty() ||
                         m_channel->alarms() != 0 || isZoomed() || infoShown());
}

void GlWidgetViewWindow::drawOverlays(QPainter &painter) const
{
    CellOverlay::State state;
    state.cell = size();
    state.scale = m_scale;
    state.recording = m_recordShown;
    state.alarms = m_channel ? m_channel->alarms() : 0;
    state.status = m_status;
    m_overlay.draw(painter, state);
}

void GlWidgetViewWindow::wheelEvent(QWheelEvent *event)
{
    if (!m_channel) {
        event->ignore();
        return;
    }
    zoomed(m_overlay.wheel(size(), event->position(), event->angleDelta().y()));
    event->accept();
}

void GlWidgetViewWindow::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && m_channel) {
        m_movePress = isZoomed() ? QPointF(-1, -1) : event->position();
        zoomed(m_overlay.press(size(), m_scale, event->position()));
    }
    QWidget::mousePressEvent(event);
}

void GlWidgetViewWindow::mouseMoveEvent(QMouseEvent *event)
{
    if (event->buttons() & Qt::LeftButton)
        zoomed(m_overlay.move(size(), m_scale, event->position()));
    QWidget::mouseMoveEvent(event);
}
