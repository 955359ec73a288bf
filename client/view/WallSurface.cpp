#include "view/WallSurface.h"

#include "view/ChannelDrag.h"
#include "view/GlWidgetViewWindow.h"

#include <QApplication>
#include <QDropEvent>
#include <QHash>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>
#include <QOpenGLFunctions>
#include <QOpenGLPaintDevice>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QWheelEvent>
#include <QWidget>

namespace {

// The host's background (#141414) between and around the cells.
constexpr float Background = 20.0f / 255.0f;

// A picture this long after the last frame is drawn at once.
constexpr int MaxGapMs = 40;

QHash<QWidget *, WallSurface *> &surfaces()
{
    static QHash<QWidget *, WallSurface *> all;
    return all;
}

} // namespace

WallSurface *WallSurface::of(QWidget *host)
{
    if (!host)
        return nullptr;
    if (WallSurface *s = surfaces().value(host))
        return s;
    return new WallSurface(host);
}

WallSurface::WallSurface(QWidget *host)
    : m_host(host)
{
    surfaces().insert(host, this);
    m_clock.start();
    m_pace.setSingleShot(true);
    m_pace.setTimerType(Qt::PreciseTimer);
    connect(&m_pace, &QTimer::timeout, this, [this] { update(); });
    // The container owns the surface and goes with the host.
    m_container = QWidget::createWindowContainer(this, host);
    m_container->setObjectName(QStringLiteral("wallSurface"));
    m_container->setFocusPolicy(Qt::NoFocus);
    m_container->setGeometry(host->rect());
    m_container->show();
    host->installEventFilter(this);
    // Widgets shown over the host (popups, alerts) need their own native
    // windows to stay above the surface's; theirs alone, not their siblings'
    // (which would cover the surface).
    QCoreApplication::setAttribute(Qt::AA_DontCreateNativeWidgetSiblings);
    qApp->installEventFilter(this);
}

WallSurface::~WallSurface()
{
    if (surfaces().value(m_host) == this)
        surfaces().remove(m_host);
    if (m_host)
        m_host->removeEventFilter(this);
    qApp->removeEventFilter(this);
    const QList<GlWidgetViewWindow *> cells = m_cells;
    m_cells.clear();
    // Cells that are still here free their textures; none left, the context
    // goes with its textures (the native window may be gone already).
    const bool current = !cells.isEmpty() && isValid() && (makeCurrent(), true);
    for (GlWidgetViewWindow *cell : cells)
        cell->detachSurface(current);
    if (current)
        doneCurrent();
}

bool WallSurface::needsParking(const QScreen *screen)
{
    const QScreen *primary = QGuiApplication::primaryScreen();
    return screen && primary && screen != primary && !screen->virtualSiblings().contains(primary);
}

void WallSurface::park()
{
    if (surfaces().value(m_host) == this)
        surfaces().remove(m_host);
    if (m_host)
        m_host->removeEventFilter(this);
    qApp->removeEventFilter(this);
    m_pace.stop();
    m_container->hide();
    m_container->setParent(nullptr);
    hide();
    setParent(static_cast<QWindow *>(nullptr));
    m_host = nullptr;
}

void WallSurface::addCell(GlWidgetViewWindow *cell)
{
    // A native window, the container stays over the cells whatever their stacking.
    if (!m_cells.contains(cell))
        m_cells.append(cell);
}

void WallSurface::removeCell(GlWidgetViewWindow *cell)
{
    if (!m_cells.removeOne(cell))
        return;
    const bool current = isValid() && (makeCurrent(), true);
    cell->detachSurface(current);
    if (current)
        doneCurrent();
    schedule();
}

int WallSurface::pacedGapMs() const
{
    // Pictures of two channels or more share frames; one channel's are
    // drawn as they come.
    int shortest = MaxGapMs;
    int moving = 0;
    for (const GlWidgetViewWindow *cell : m_cells) {
        if (const int t = cell->pictureIntervalMs(); t > 0) {
            ++moving;
            shortest = qMin(shortest, t);
        }
    }
    return moving < 2 ? 0 : shortest * 9 / 10;
}

void WallSurface::schedule()
{
    if (m_pace.isActive())
        return; // a frame is already due
    const qint64 since = m_clock.elapsed() - m_lastFrameMs;
    const int gap = pacedGapMs();
    if (since >= gap) {
        // update() alone waits for the window system's next update slot
        // (5 ms without a vertical sync): the request goes out at once.
        update();
        QCoreApplication::postEvent(this, new QEvent(QEvent::UpdateRequest));
    } else
        m_pace.start(int(gap - since));
}

void WallSurface::paintGL()
{
    render(this, true);
}

void WallSurface::render(QPaintDevice *overlays, bool shown)
{
    QOpenGLFunctions *f = context()->functions();
    const qreal dpr = devicePixelRatio();
    const QSize device = size() * dpr;
    if (shown) {
        m_lastFrameMs = m_clock.elapsed();
        ++m_frames;
    }
    f->glDisable(GL_BLEND);
    f->glDisable(GL_DEPTH_TEST);
    f->glDisable(GL_SCISSOR_TEST);
    f->glViewport(0, 0, device.width(), device.height());
    f->glClearColor(Background, Background, Background, 1.0f);
    f->glClear(GL_COLOR_BUFFER_BIT);
    QList<GlWidgetViewWindow *> drawn;
    for (GlWidgetViewWindow *cell : std::as_const(m_cells)) {
        if (!cell->isVisible() || cell->parentWidget() != m_host)
            continue;
        cell->drawPicture(context(), device.height(), dpr, shown);
        if (cell->hasOverlays())
            drawn.append(cell);
    }
    if (drawn.isEmpty())
        return;
    QPainter painter(overlays);
    for (GlWidgetViewWindow *cell : std::as_const(drawn)) {
        painter.save();
        painter.translate(cell->pos());
        painter.setClipRect(QRect(QPoint(), cell->size()));
        cell->drawOverlays(painter);
        painter.restore();
    }
}

QImage WallSurface::grabAll()
{
    if (!isValid())
        return QImage();
    makeCurrent();
    const qreal dpr = devicePixelRatio();
    QOpenGLFramebufferObject fbo(size() * dpr);
    fbo.bind();
    QOpenGLPaintDevice device(size() * dpr);
    device.setDevicePixelRatio(dpr);
    render(&device, false);
    fbo.release();
    QImage image = fbo.toImage();
    doneCurrent();
    return image;
}

QImage WallSurface::grabCell(const GlWidgetViewWindow *cell)
{
    if (!cell || !m_cells.contains(const_cast<GlWidgetViewWindow *>(cell)))
        return QImage();
    const QImage image = grabAll();
    const qreal dpr = devicePixelRatio();
    return image.isNull() ? image : image.copy(QRect(cell->pos() * dpr, cell->size() * dpr));
}

QPixmap WallSurface::grab(QWidget *host)
{
    QPixmap shot = host->grab();
    QPainter painter(&shot);
    for (WallSurface *s : std::as_const(surfaces())) {
        if (!s->m_container->isVisible() || !host->isAncestorOf(s->m_container))
            continue;
        const QImage image = s->grabAll();
        painter.drawImage(QRect(s->m_container->mapTo(host, QPoint()), s->m_container->size()),
                          image);
        // The widgets kept above the surface, over it as on screen.
        for (QWidget *above : std::as_const(s->m_above))
            if (above && above->isVisible() && host->isAncestorOf(above))
                above->render(&painter, above->mapTo(host, QPoint()));
    }
    return shot;
}

QWidget *WallSurface::targetAt(QPointF point) const
{
    const QPoint at = point.toPoint();
    for (auto it = m_cells.crbegin(); it != m_cells.crend(); ++it) {
        if ((*it)->isVisible() && (*it)->geometry().contains(at))
            return *it;
    }
    return m_host;
}

GlWidgetViewWindow *WallSurface::cellAt(QPoint point) const
{
    return qobject_cast<GlWidgetViewWindow *>(targetAt(point));
}

bool WallSurface::event(QEvent *event)
{
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop: {
        auto *drop = static_cast<QDropEvent *>(event);
        GlWidgetViewWindow *cell = cellAt(drop->position().toPoint());
        Channel *channel = cell ? ChannelDrag::channelFrom(drop->mimeData()) : nullptr;
        if (!channel) {
            drop->ignore();
            return true;
        }
        drop->setDropAction(Qt::CopyAction);
        drop->accept();
        if (event->type() == QEvent::Drop)
            emit cell->channelDropped(channel);
        return true;
    }
    default:
        return QOpenGLWindow::event(event);
    }
}

void WallSurface::forwardMouse(QMouseEvent *event)
{
    const QEvent::Type type = event->type();
    const bool held = type == QEvent::MouseMove ? event->buttons() != Qt::NoButton
                                                : type == QEvent::MouseButtonRelease;
    QWidget *target = held && m_pressed ? m_pressed.data() : targetAt(event->position());
    if (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick)
        m_pressed = target;
    else if (type == QEvent::MouseButtonRelease && event->buttons() == Qt::NoButton)
        m_pressed = nullptr;
    if (!target)
        return;
    const QPointF local = event->position() - QPointF(target == m_host ? QPoint() : target->pos());
    QMouseEvent copy(event->type(), local, event->scenePosition(), event->globalPosition(),
                     event->button(), event->buttons(), event->modifiers(),
                     event->pointingDevice());
    QCoreApplication::sendEvent(target, &copy);
    event->setAccepted(copy.isAccepted());
}

void WallSurface::mousePressEvent(QMouseEvent *event)
{
    if (m_host && m_host->focusPolicy() & Qt::ClickFocus)
        m_host->setFocus(Qt::MouseFocusReason);
    forwardMouse(event);
}

void WallSurface::mouseReleaseEvent(QMouseEvent *event)
{
    forwardMouse(event);
}

void WallSurface::mouseDoubleClickEvent(QMouseEvent *event)
{
    forwardMouse(event);
}

void WallSurface::mouseMoveEvent(QMouseEvent *event)
{
    forwardMouse(event);
}

void WallSurface::wheelEvent(QWheelEvent *event)
{
    // A cell zooms its picture; what it leaves, and the wheel between the
    // cells, goes to the host.
    QWidget *target = targetAt(event->position());
    if (target && target != m_host) {
        QWheelEvent copy(event->position() - QPointF(target->pos()), event->globalPosition(),
                         event->pixelDelta(), event->angleDelta(), event->buttons(),
                         event->modifiers(), event->phase(), event->inverted(), event->source(),
                         event->pointingDevice());
        copy.setAccepted(false);
        QCoreApplication::sendEvent(target, &copy);
        if (copy.isAccepted())
            return;
    }
    if (m_host)
        QCoreApplication::sendEvent(m_host, event);
}

void WallSurface::keyPressEvent(QKeyEvent *event)
{
    if (m_host)
        QCoreApplication::sendEvent(m_host, event);
}

void WallSurface::keyReleaseEvent(QKeyEvent *event)
{
    if (m_host)
        QCoreApplication::sendEvent(m_host, event);
}

bool WallSurface::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_host && event->type() == QEvent::Resize)
        m_container->setGeometry(m_host->rect());
    if ((event->type() == QEvent::Show || event->type() == QEvent::Move) && watched->isWidgetType())
        keepAbove(static_cast<QWidget *>(watched));
    return QOpenGLWindow::eventFilter(watched, event);
}

void WallSurface::keepAbove(QWidget *widget)
{
    // Only widgets laid over the host: its own children other than the cells
    // and the container, and children of its ancestors (the host's siblings
    // and theirs) that overlap it. Their own children go with them.
    if (!m_host || widget == m_container || widget->isWindow() || !widget->isVisible() ||
        widget->testAttribute(Qt::WA_NativeWindow) || qobject_cast<GlWidgetViewWindow *>(widget))
        return;
    QWidget *parent = widget->parentWidget();
    if (!parent || !(parent == m_host || parent->isAncestorOf(m_host)) || widget == m_host ||
        widget->isAncestorOf(m_host))
        return;
    QWidget *top = m_host->window();
    if (widget->window() != top)
        return;
    const QRect over(widget->mapTo(top, QPoint()), widget->size());
    const QRect wall(m_container->mapTo(top, QPoint()), m_container->size());
    if (!over.intersects(wall))
        return;
    widget->setAttribute(Qt::WA_DontCreateNativeAncestors);
    widget->setAttribute(Qt::WA_NativeWindow);
    widget->raise();
    m_above.removeAll(nullptr);
    m_above.append(widget);
}
