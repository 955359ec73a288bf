#pragma once

#include "config/LayoutRecord.h"

#include <QList>
#include <QWidget>

class Channel;
class GlWidgetViewWindow;
class QMouseEvent;
class QScreen;

// A named layout in a top-level window of its own, for a second screen or a
// wall display: its own grid of cells drawn by its own surface. It shows live
// video whatever the main grid shows. A channel that the main grid or another
// window shows too streams and is decoded once; each cell draws the same
// pictures, and the stream's SD/HD choice follows the largest of its cells.
//
// A double-click shows a cell alone and the grid again. F11 or the cells'
// menu switches full screen, Esc leaves it; the menu also moves the window to
// another screen. GUI thread only.
class WallWindow : public QWidget
{
    Q_OBJECT

public:
    // On the screen (an index missing now: the primary screen), which the
    // window keeps: a move to another is a new window (screenRequested).
    WallWindow(const LayoutRecord &layout, int screen, QWidget *parent = nullptr);
    ~WallWindow() override;

    QString layoutName() const { return m_layout.name; }
    const QList<GlWidgetViewWindow *> &cells() const { return m_cells; }
    // The layout with the window's place now (screen, full screen, geometry).
    LayoutRecord record() const;
    // The index of the screen the window is on (QGuiApplication::screens()).
    int screenIndex() const;

    // Shows the window full screen, or at the geometry the layout keeps.
    void showOnScreen(bool fullScreen);
    void setFullScreen(bool on);
    // The window goes without counting as closed by the user (quitting).
    void closeQuietly();

signals:
    // The window moved, changed size, screen or full screen.
    void placeChanged(WallWindow *window);
    // The user closed the window.
    void closedByUser(WallWindow *window);
    // The user moved the window to another screen.
    void screenRequested(WallWindow *window, int screen);

protected:
    void resizeEvent(QResizeEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void placeCells();
    // Empties the cells and lets them go with their surface.
    void teardown();
    void fillCells();
    // Shows the channel in the cell and starts its live stream.
    void showInCell(GlWidgetViewWindow *cell, Channel *channel);
    void openMenu(QMouseEvent *event);

    LayoutRecord m_layout;
    QWidget *m_host = nullptr;
    QScreen *m_screen = nullptr;
    QList<GlWidgetViewWindow *> m_cells;
    GlWidgetViewWindow *m_single = nullptr; // shown alone (double-click)
    bool m_quiet = false;
};
