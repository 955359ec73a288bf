#include "view/WallWindow.h"

#include "model/Channel.h"
#include "model/Dev.h"
#include "model/Device.h"
#include "link/DeviceLink.h"
#include "view/GlWidgetViewWindow.h"
#include "view/ViewControl.h"
#include "view/WallSurface.h"
#include "view/WindowMod.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QScreen>
#include <QWindow>

WallWindow::WallWindow(const LayoutRecord &layout, int screen, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_layout(layout)
{
    // The screen first: the surface's context belongs to the screen it is
    // made on (X11 screens share no drawables).
    const QList<QScreen *> screens = QGuiApplication::screens();
    m_screen = screen >= 0 && screen < screens.size() ? screens.at(screen)
                                                      : QGuiApplication::primaryScreen();
    if (m_screen)
        setScreen(m_screen);
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("wallWindow"));
    setWindowTitle(layout.name);
    setStyleSheet(QStringLiteral("QWidget#wallWindow { background: #141414; }"));
    m_host = new QWidget(this);
    m_host->setObjectName(QStringLiteral("wallHost"));
    const int count = WindowMod::windowCount(layout.windowMod);
    for (int i = 0; i < count; ++i) {
        auto *cell = new GlWidgetViewWindow(m_host);
        cell->setLiveOnly(true);
        ViewControl::instance()->wireCell(cell);
        connect(cell, &GlWidgetViewWindow::menuRequested, this,
                [this](Device *, Channel *, QMouseEvent *event) { openMenu(event); });
        connect(cell, &GlWidgetViewWindow::channelDropped, this,
                [this, cell](Channel *ch) { showInCell(cell, ch); });
        connect(cell, &GlWidgetViewWindow::movedOnto, this, [this, cell](GlWidgetViewWindow *to) {
            if (!m_cells.contains(to))
                return;
            Channel *moved = cell->channel();
            Channel *other = to->channel();
            cell->setChannel(other ? other->device() : nullptr, other);
            to->setChannel(moved ? moved->device() : nullptr, moved);
        });
        // A double-click shows the cell alone, and the grid again.
        connect(cell, &GlWidgetViewWindow::doubleClicked, this, [this, cell] {
            m_single = m_single == cell ? nullptr : cell;
            placeCells();
        });
        m_cells.append(cell);
    }
    resize(layout.geometry.isValid() ? layout.geometry.size() : QSize(960, 540));
    fillCells();
}

WallWindow::~WallWindow()
{
    teardown();
}

void WallWindow::teardown()
{
    if (!m_host)
        return;
    ViewControl *view = ViewControl::instance();
    QList<Channel *> shown;
    for (GlWidgetViewWindow *cell : std::as_const(m_cells)) {
        if (Channel *ch = cell->channel())
            shown.append(ch);
        cell->setChannel(nullptr, nullptr);
    }
    // The cells and their surface go while the window is still on the
    // screen: they free their textures in its context.
    qDeleteAll(m_cells);
    m_cells.clear();
    m_single = nullptr;
    if (WallSurface::needsParking(m_screen))
        WallSurface::of(m_host)->park();
    delete m_host;
    m_host = nullptr;
    // The streams that no other window shows end with this one.
    for (Channel *ch : std::as_const(shown)) {
        if (GlWidgetViewWindow::cellsShowing(ch).isEmpty() && ch->viewRequested(true) &&
            view->isLive())
            view->stopChannel(ch);
    }
}

void WallWindow::fillCells()
{
    Dev *dev = Dev::instance();
    for (int i = 0; i < m_cells.size() && i < m_layout.cells.size(); ++i) {
        const LayoutCell &c = m_layout.cells.at(i);
        Device *device = c.uid.isEmpty() ? nullptr : dev->deviceByUid(c.uid);
        if (!device || c.channel < 0 || c.channel >= device->channelCount() ||
            c.channel >= device->channels().size())
            continue;
        showInCell(m_cells.at(i), device->channel(c.channel));
    }
}

void WallWindow::showInCell(GlWidgetViewWindow *cell, Channel *ch)
{
    ViewControl *view = ViewControl::instance();
    Channel *old = cell->channel();
    cell->setChannel(ch->device(), ch);
    if (old && old != ch && GlWidgetViewWindow::cellsShowing(old).isEmpty() && view->isLive())
        view->stopChannel(old);
    // The stream starts (or goes on) live, whatever the main grid shows.
    ch->setViewRequested(true, true);
    if (ch->videoOn(true))
        return;
    if (ch->avIndex(true) >= 0)
        view->linkOf(ch)->startVideo(ch);
    else
        view->prepareChannel(ch, true);
}

LayoutRecord WallWindow::record() const
{
    LayoutRecord r = m_layout;
    r.ownWindow = true;
    r.screen = screenIndex();
    r.fullScreen = isFullScreen();
    r.geometry = isFullScreen() ? m_layout.geometry : geometry();
    return r;
}

int WallWindow::screenIndex() const
{
    const QScreen *s = windowHandle() ? windowHandle()->screen() : screen();
    return int(QGuiApplication::screens().indexOf(const_cast<QScreen *>(s)));
}

void WallWindow::showOnScreen(bool fullScreen)
{
    if (!m_screen)
        return;
    const QRect area = m_screen->availableGeometry();
    QRect place = m_layout.geometry;
    if (!place.isValid() || !area.intersects(place))
        place = QRect(area.topLeft() + QPoint(40, 40), size().boundedTo(area.size()));
    setGeometry(place);
    if (fullScreen) {
        setGeometry(m_screen->geometry());
        showFullScreen();
    } else {
        showNormal();
    }
}

void WallWindow::setFullScreen(bool on)
{
    if (on == isFullScreen())
        return;
    if (on) {
        m_layout.geometry = geometry();
        showFullScreen();
    } else {
        showNormal();
        if (m_layout.geometry.isValid())
            setGeometry(m_layout.geometry);
    }
    emit placeChanged(this);
}

void WallWindow::closeQuietly()
{
    m_quiet = true;
    close();
}

void WallWindow::placeCells()
{
    if (!m_host)
        return;
    m_host->setGeometry(rect());
    const QList<QRect> rects = WindowMod::cellRects(m_layout.windowMod, width(), height());
    for (int i = 0; i < m_cells.size() && i < rects.size(); ++i) {
        GlWidgetViewWindow *cell = m_cells.at(i);
        const QRect r = m_single == cell ? rect() : rects.at(i);
        cell->place(r.width(), r.height(), r.x(), r.y());
        cell->setVisible(!m_single || m_single == cell);
    }
    // The streams follow the cells' new sizes.
    emit ViewControl::instance()->resizeMsg();
}

void WallWindow::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    placeCells();
    if (!isFullScreen())
        m_layout.geometry = geometry();
    emit placeChanged(this);
}

void WallWindow::moveEvent(QMoveEvent *event)
{
    QWidget::moveEvent(event);
    if (!isFullScreen())
        m_layout.geometry = geometry();
    emit placeChanged(this);
}

void WallWindow::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        emit placeChanged(this);
}

void WallWindow::closeEvent(QCloseEvent *event)
{
    if (!m_quiet)
        emit closedByUser(this);
    teardown();
    QWidget::closeEvent(event);
}

void WallWindow::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_F11)
        setFullScreen(!isFullScreen());
    else if (event->key() == Qt::Key_Escape && isFullScreen())
        setFullScreen(false);
    else
        QWidget::keyPressEvent(event);
}

void WallWindow::openMenu(QMouseEvent *event)
{
    QMenu menu(this);
    menu.addAction(isFullScreen() ? tr("Exit full screen") : tr("Full screen"), this,
                   [this] { setFullScreen(!isFullScreen()); });
    const QList<QScreen *> screens = QGuiApplication::screens();
    if (screens.size() > 1) {
        QMenu *move = menu.addMenu(tr("Move to screen"));
        for (int i = 0; i < screens.size(); ++i) {
            QAction *a = move->addAction(tr("Screen %1 (%2)").arg(i + 1).arg(screens.at(i)->name()),
                                         this, [this, i] { emit screenRequested(this, i); });
            a->setEnabled(i != screenIndex());
        }
    }
    menu.addSeparator();
    menu.addAction(tr("Close window"), this, &QWidget::close);
    menu.exec(event ? event->globalPosition().toPoint() : QCursor::pos());
}
