#include "view/WallLayouts.h"

#include "config/Config.h"
#include "model/Channel.h"
#include "model/Dev.h"
#include "model/Device.h"
#include "model/SharedInstance.h"
#include "view/GlWidgetViewWindow.h"
#include "view/LayoutTour.h"
#include "view/ViewControl.h"
#include "view/WallWindow.h"
#include "view/WindowMod.h"

#include <QApplication>
#include <QEvent>

namespace {

// A moved or resized window is stored once it has come to rest.
constexpr int PlaceSaveDelayMs = 500;

Channel *channelOf(const LayoutCell &cell)
{
    if (cell.uid.isEmpty() || cell.channel < 0)
        return nullptr;
    Device *device = Dev::instance()->deviceByUid(cell.uid);
    if (!device || cell.channel >= device->channelCount() ||
        cell.channel >= device->channels().size())
        return nullptr;
    return device->channel(cell.channel);
}

} // namespace

WallLayouts *WallLayouts::instance()
{
    return SharedInstance<WallLayouts>::get(
        [] { return new WallLayouts(ViewControl::instance()); });
}

WallLayouts::WallLayouts(ViewControl *view, QObject *parent)
    : QObject(parent)
    , m_view(view)
    , m_tour(new LayoutTour(this))
{
    SharedInstance<WallLayouts>::adopt(this);
    m_current = Config::instance()->get(ConfigKey::LastLayout);
    connect(m_tour, &LayoutTour::layoutDue, this, [this](const QString &name) {
        // The tour shows the layouts without making them the one restored.
        const QString last = m_current;
        if (apply(name))
            Config::instance()->set(ConfigKey::LastLayout, last);
    });
    connect(qApp, &QCoreApplication::aboutToQuit, this, &WallLayouts::shutdown);
    m_placeSave.setSingleShot(true);
    m_placeSave.setInterval(PlaceSaveDelayMs);
    connect(&m_placeSave, &QTimer::timeout, this, [this] {
        const QList<QPointer<WallWindow>> dirty = m_placeDirty;
        m_placeDirty.clear();
        for (const QPointer<WallWindow> &w : dirty)
            if (w)
                keepWindow(w, true);
    });
}

WallLayouts::~WallLayouts()
{
    qApp->removeEventFilter(this);
    if (SharedInstance<WallLayouts>::isShared(this))
        SharedInstance<WallLayouts>::release(this);
}

QStringList WallLayouts::names() const
{
    QStringList list;
    for (const LayoutRecord &r : Config::instance()->readLayouts())
        list.append(r.name);
    return list;
}

std::optional<LayoutRecord> WallLayouts::layout(const QString &name) const
{
    for (const LayoutRecord &r : Config::instance()->readLayouts())
        if (r.name == name)
            return r;
    return std::nullopt;
}

LayoutRecord WallLayouts::capture(const QString &name) const
{
    LayoutRecord r;
    r.name = name;
    r.windowMod = int(m_view->windowMod());
    for (const GlWidgetViewWindow *w : m_view->windows()) {
        LayoutCell cell;
        if (const Channel *ch = w->channel()) {
            cell.uid = ch->device()->uid();
            cell.channel = ch->index();
        }
        r.cells.append(cell);
    }
    // Empty cells at the end are implied.
    while (!r.cells.isEmpty() && r.cells.last().uid.isEmpty())
        r.cells.removeLast();
    return r;
}

bool WallLayouts::save(const QString &name)
{
    const QString trimmed = name.trimmed();
    if (trimmed.isEmpty())
        return false;
    LayoutRecord r = capture(trimmed);
    if (const std::optional<LayoutRecord> old = layout(trimmed)) {
        r.ownWindow = old->ownWindow;
        r.screen = old->screen;
        r.fullScreen = old->fullScreen;
        r.geometry = old->geometry;
    }
    if (!Config::instance()->saveLayout(r) || !layout(trimmed))
        return false;
    setCurrent(trimmed);
    emit layoutsChanged();
    return true;
}

bool WallLayouts::remove(const QString &name)
{
    if (!Config::instance()->removeLayout(name))
        return false;
    if (m_current == name)
        setCurrent(QString());
    emit layoutsChanged();
    return true;
}

bool WallLayouts::apply(const QString &name)
{
    const std::optional<LayoutRecord> r = layout(name);
    // Layouts are of the live wall; playback keeps its own grid.
    if (!r || !m_view->isLive())
        return false;
    m_view->setWindowMod(WINDOW_MOD(r->windowMod));
    const QList<GlWidgetViewWindow *> cells = m_view->windows();
    QList<Channel *> wanted(cells.size(), nullptr);
    for (int i = 0; i < cells.size() && i < r->cells.size(); ++i)
        wanted[i] = channelOf(r->cells.at(i));
    // Cells whose channel goes elsewhere or nowhere empty first, so that a
    // channel moving between cells is never shown twice.
    for (int i = 0; i < cells.size(); ++i)
        if (Channel *ch = cells.at(i)->channel(); ch && ch != wanted.at(i))
            m_view->releaseWindow(ch);
    for (int i = 0; i < cells.size(); ++i)
        if (wanted.at(i))
            m_view->openInCell(wanted.at(i), i);
    // A stream that no cell of any window shows any more stops.
    for (Channel *ch : Dev::instance()->connectedChannels())
        if (ch->viewRequested(true) && GlWidgetViewWindow::cellsShowing(ch).isEmpty())
            m_view->stopChannel(ch);
    // A layout the user picks is where the tour goes on from.
    m_tour->setCurrent(name);
    setCurrent(name);
    return true;
}

void WallLayouts::setCurrent(const QString &name)
{
    if (name != m_current) {
        m_current = name;
        emit currentChanged(name);
    }
    Config::instance()->set(ConfigKey::LastLayout, name);
}

WallWindow *WallLayouts::openWindow(const QString &name, int screen, bool fullScreen)
{
    const std::optional<LayoutRecord> r = layout(name);
    if (!r)
        return nullptr;
    // One window per layout: opening it again brings it forward.
    for (const QPointer<WallWindow> &w : std::as_const(m_windows)) {
        if (w && w->layoutName() == name) {
            w->raise();
            w->activateWindow();
            return w;
        }
    }
    const int on = screen >= 0 ? screen : r->screen;
    auto *window = new WallWindow(*r, on);
    m_windows.removeIf([](const QPointer<WallWindow> &w) { return w.isNull(); });
    m_windows.append(window);
    connect(window, &WallWindow::placeChanged, this, [this](WallWindow *w) {
        if (!m_placeDirty.contains(w))
            m_placeDirty.append(w);
        m_placeSave.start();
    });
    connect(window, &WallWindow::closedByUser, this, [this](WallWindow *w) {
        m_placeDirty.removeAll(w);
        keepWindow(w, false);
    });
    connect(window, &WallWindow::screenRequested, this, [this](WallWindow *w, int to) {
        // Another screen is another window, made there.
        const QString moved = w->layoutName();
        const bool full = w->isFullScreen();
        m_placeDirty.removeAll(w);
        w->closeQuietly();
        if (std::optional<LayoutRecord> stored = layout(moved)) {
            stored->geometry = QRect();
            Config::instance()->saveLayout(*stored);
        }
        QTimer::singleShot(0, this, [this, moved, to, full] { openWindow(moved, to, full); });
    });
    window->showOnScreen(fullScreen || (screen < 0 && r->fullScreen));
    keepWindow(window, true);
    return window;
}

QList<WallWindow *> WallLayouts::windows() const
{
    QList<WallWindow *> list;
    for (const QPointer<WallWindow> &w : m_windows)
        if (w)
            list.append(w);
    return list;
}

void WallLayouts::keepWindow(WallWindow *window, bool open)
{
    std::optional<LayoutRecord> stored = layout(window->layoutName());
    if (!stored)
        return; // deleted meanwhile
    const LayoutRecord place = window->record();
    stored->ownWindow = open;
    stored->screen = place.screen;
    stored->fullScreen = place.fullScreen;
    stored->geometry = place.geometry;
    Config::instance()->saveLayout(*stored);
}

void WallLayouts::setStartRequest(const QString &name, int screen, bool keepGrid)
{
    m_startName = name;
    m_startScreen = screen;
    m_keepGrid = keepGrid;
}

void WallLayouts::restoreOnce()
{
    if (m_restored)
        return;
    m_restored = true;
    restore(m_startName, m_startScreen);
}

void WallLayouts::restore(const QString &name, int screen)
{
    QString wanted = name;
    if (wanted.isEmpty() && !m_keepGrid)
        wanted = Config::instance()->get(ConfigKey::LastLayout);
    if (!wanted.isEmpty() && layout(wanted)) {
        if (screen >= 0 && !name.isEmpty())
            openWindow(wanted, screen, true);
        else
            apply(wanted);
    } else if (!name.isEmpty()) {
        qWarning("layout \"%s\" not found", qUtf8Printable(name.left(64)));
    }
    for (const LayoutRecord &r : Config::instance()->readLayouts())
        if (r.ownWindow && !(screen >= 0 && r.name == wanted))
            openWindow(r.name);
}

void WallLayouts::shutdown()
{
    stopTour();
    m_placeSave.stop();
    for (WallWindow *w : windows()) {
        keepWindow(w, true);
        w->closeQuietly();
    }
}

void WallLayouts::startTour(const QStringList &names, int seconds)
{
    Config::instance()->set(ConfigKey::TourSeconds, seconds);
    Config::instance()->saveTourLayouts(names);
    m_tour->setLayouts(names);
    m_tour->setIntervalSeconds(Config::instance()->get(ConfigKey::TourSeconds));
    m_tour->start();
    // The first layout shows at once; the next after the interval.
    const QStringList tour = m_tour->layouts();
    if (!tour.isEmpty() && apply(tour.first()))
        m_tour->setCurrent(tour.first());
    // Working the grid holds the tour back.
    qApp->installEventFilter(this);
}

void WallLayouts::stopTour()
{
    m_tour->stop();
    qApp->removeEventFilter(this);
}

bool WallLayouts::isTouring() const
{
    return m_tour->isRunning();
}

bool WallLayouts::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::Wheel:
    case QEvent::KeyPress:
        m_tour->noteInteraction();
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}
