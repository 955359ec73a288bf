#include "app/GridKeys.h"

#include "app/ActionNotices.h"
#include "app/ShortcutHelp.h"
#include "diagnostics/Checks.h"
#include "media/VideoRecord.h"
#include "model/Channel.h"
#include "model/Dev.h"
#include "playback/TimelinePanel.h"
#include "ptz/MenuPtz.h"
#include "view/GlWidgetViewWindow.h"
#include "view/ViewControl.h"
#include "widgets/LabelFullScreen.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QShortcut>

GridKeys::GridKeys(const Targets &targets, QObject *parent)
    : QObject(parent)
    , m_targets(targets)
    , m_ptz(targets.ptz)
    , m_view(ViewControl::instance())
{
    ORVANE_CHECK(m_targets.grid, return );
    for (const Shortcuts::GridShortcut &entry : Shortcuts::table()) {
        if (entry.isHold())
            continue;
        auto *shortcut = new QShortcut(entry.sequence(), m_targets.grid);
        shortcut->setContext(Qt::WidgetWithChildrenShortcut);
        // Held, only the moving keys go on: one snapshot or layout per press.
        shortcut->setAutoRepeat(entry.action == Shortcuts::Action::Step ||
                                entry.action == Shortcuts::Action::Select);
        connect(shortcut, &QShortcut::activated, this, [this, &entry] { trigger(entry); });
        m_shortcuts.append({&entry, shortcut});
    }
    m_targets.grid->installEventFilter(this);
    connect(m_view, &ViewControl::changeModMsg, this, &GridKeys::followMode);
    followMode(m_view->isLive());
}

GridKeys::~GridKeys()
{
    stopHold();
    delete m_help;
}

void GridKeys::followMode(bool live)
{
    stopHold();
    for (const auto &[entry, shortcut] : std::as_const(m_shortcuts))
        shortcut->setEnabled(entry->appliesIn(live));
}

void GridKeys::trigger(const Shortcuts::GridShortcut &entry)
{
    using A = Shortcuts::Action;
    Channel *selected = Dev::instance()->selectedChannel();
    const bool live = m_view->isLive();
    switch (entry.action) {
    case A::Layout:
        emit windowModChosen(WINDOW_MOD(entry.arg));
        break;
    case A::FullScreen:
        toggleFullScreen();
        break;
    case A::Escape:
        leave();
        break;
    case A::Step:
        // As the timeline's own arrow keys: a frame while paused, else a step of its scale.
        if (m_targets.timeline)
            emit m_targets.timeline->timeline()->stepRequested(entry.arg);
        break;
    case A::Pause:
        // The button shows while a playback of the selected channel runs.
        if (m_targets.pause && m_targets.pause->isVisible())
            press(m_targets.pause);
        break;
    case A::Snapshot:
        if (selected)
            VideoRecord::instance()->takeSnapshot(selected, live);
        else
            ActionNotices::noChannel(m_targets.grid);
        break;
    case A::Record:
        if (selected)
            m_view->recordChange(selected, !selected->recording(live));
        else
            ActionNotices::noChannel(m_targets.grid);
        break;
    case A::Select:
        selectCell(entry.arg);
        break;
    case A::Info:
        if (GlWidgetViewWindow *cell = m_view->cellOf(selected))
            cell->setInfoShown(!cell->infoShown());
        break;
    case A::Help:
        openHelp();
        break;
    case A::Ptz:
        break; // hold keys come through eventFilter
    }
}

void GridKeys::leave()
{
    GlWidgetViewWindow *cell = m_view->cellOf(Dev::instance()->selectedChannel());
    if (cell && cell->isZoomed())
        cell->resetZoom();
    else if (m_targets.fullScreen && m_targets.fullScreen->isFullScreen())
        toggleFullScreen();
}

void GridKeys::toggleFullScreen()
{
    press(m_targets.fullScreen);
    // The grid moved to a window of its own, or back: its keys go on working there.
    m_targets.grid->activateWindow();
    m_targets.grid->setFocus(Qt::ShortcutFocusReason);
}

void GridKeys::selectCell(int direction)
{
    QList<GlWidgetViewWindow *> cells;
    for (GlWidgetViewWindow *cell : m_view->windows())
        if (cell->hasChannel())
            cells.append(cell);
    if (cells.isEmpty())
        return;
    Dev *dev = Dev::instance();
    const int at = int(cells.indexOf(m_view->cellOf(dev->selectedChannel())));
    const int count = int(cells.size());
    const int next = at < 0 ? (direction > 0 ? 0 : count - 1) : (at + direction + count) % count;
    GlWidgetViewWindow *cell = cells.at(next);
    // As a click on the cell selects it.
    dev->setSelectedDevice(cell->device());
    dev->setSelectedChannel(cell->channel());
}

ShortcutHelp *GridKeys::help() const
{
    return m_help;
}

void GridKeys::openHelp()
{
    if (!m_help) {
        m_help = new ShortcutHelp(m_targets.grid->window());
        m_help->setAttribute(Qt::WA_DeleteOnClose);
    }
    m_help->show();
    m_help->raise();
    m_help->activateWindow();
}

void GridKeys::press(QWidget *button)
{
    ORVANE_CHECK(button, return );
    const QPointF at = QRectF(button->rect()).center();
    QMouseEvent release(QEvent::MouseButtonRelease, at, button->mapToGlobal(at), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(button, &release);
}

bool GridKeys::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_targets.grid) {
        switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
            if (holdKey(static_cast<QKeyEvent *>(event), event->type() == QEvent::KeyPress))
                return true;
            break;
        case QEvent::FocusOut:
        case QEvent::Hide:
            stopHold();
            break;
        default:
            break;
        }
    }
    return QObject::eventFilter(watched, event);
}

bool GridKeys::holdKey(const QKeyEvent *event, bool pressed)
{
    if (!pressed && m_heldKey) {
        // The release of the held key, even when a modifier changed what it
        // reads as meanwhile ('+' let go after Shift reads as '=').
        const bool same = event->key() == m_heldKey ||
                          (m_heldScanCode && event->nativeScanCode() == m_heldScanCode);
        if (!same || event->isAutoRepeat())
            return same;
        stopHold();
        return true;
    }
    const Shortcuts::GridShortcut *entry =
        Shortcuts::holdEntry(event->key(), event->modifiers(), m_view->isLive());
    if (!entry || !m_ptz)
        return false;
    if (!pressed || event->isAutoRepeat())
        return true; // the panel repeats a held move by itself
    stopHold();
    m_heldKey = event->key();
    m_heldScanCode = event->nativeScanCode();
    m_ptz->clickDirection(entry->arg);
    return true;
}

void GridKeys::stopHold()
{
    if (!m_heldKey)
        return;
    m_heldKey = 0;
    m_heldScanCode = 0;
    if (m_ptz)
        m_ptz->stopPtz();
}
