#pragma once

#include "app/Shortcuts.h"
#include "view/WindowMod.h"

#include <QList>
#include <QObject>
#include <QPointer>

class LabelFullScreen;
class MenuPtz;
class QShortcut;
class QWidget;
class ShortcutHelp;
class TimelinePanel;
class ViewControl;

// Binds the shortcut table (Shortcuts) to the video grid. Every key acts only
// while the grid host or one of its children has the focus (a click into the
// grid gives it), so text fields elsewhere keep their keys.
//
// Trigger keys are QShortcuts on the grid host (Qt::WidgetWithChildrenShortcut),
// enabled in the grid's mode they apply to. Hold keys (PTZ) are read from the
// host's key events, which the wall surface forwards: a press starts the
// move, auto-repeated presses are ignored (the PTZ panel repeats the command
// itself), and the release, the host losing the focus or a change of mode
// stops it.
//
// Full screen and pause act through their control-bar buttons, which keep
// that state and show it.
// GUI thread only.
class GridKeys : public QObject
{
    Q_OBJECT

public:
    struct Targets
    {
        QWidget *grid = nullptr; // the grid host (ViewControl::attach)
        MenuPtz *ptz = nullptr;
        TimelinePanel *timeline = nullptr;
        QWidget *pause = nullptr; // the control bar's pause button
        LabelFullScreen *fullScreen = nullptr;
    };

    GridKeys(const Targets &targets, QObject *parent = nullptr);
    ~GridKeys() override;

    // The help page while it is open, else null.
    ShortcutHelp *help() const;
    void openHelp();

signals:
    // A layout key: the grid should show this many windows.
    void windowModChosen(WINDOW_MOD mod);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void trigger(const Shortcuts::GridShortcut &entry);
    void followMode(bool live);
    bool holdKey(const class QKeyEvent *event, bool pressed);
    void stopHold();
    void leave();
    void toggleFullScreen();
    void selectCell(int direction);
    // Presses a control-bar button as a left click would.
    static void press(QWidget *button);

    Targets m_targets;
    QPointer<MenuPtz> m_ptz; // may go first when the window closes
    ViewControl *m_view;
    QList<QPair<const Shortcuts::GridShortcut *, QShortcut *>> m_shortcuts;
    QPointer<ShortcutHelp> m_help;
    int m_heldKey = 0;
    quint32 m_heldScanCode = 0;
};
