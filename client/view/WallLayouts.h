#pragma once

#include "config/LayoutRecord.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>

#include <optional>

class LayoutTour;
class ViewControl;
class WallWindow;

// The live wall's named layouts: the window count and which channel is in
// which cell, kept in the configuration file under a name. Applies one to
// the grid (a cell the layout leaves empty is emptied, and a stream no cell
// shows any more stops), saves the grid's as one, cycles through chosen ones
// (the tour, which waits while the user works the grid), and opens one in a
// window of its own, which comes back at the next start on the same screen.
//
// One shared instance, instance(). GUI thread only.
class WallLayouts : public QObject
{
    Q_OBJECT

public:
    static WallLayouts *instance();
    explicit WallLayouts(ViewControl *view, QObject *parent = nullptr);
    ~WallLayouts() override;

    QStringList names() const;
    std::optional<LayoutRecord> layout(const QString &name) const;
    // The grid now as a layout called name.
    LayoutRecord capture(const QString &name) const;
    // Stores the grid under the name (replacing a layout of that name, whose
    // own window, if any, stays); false when the name is unusable or the file
    // cannot be written.
    bool save(const QString &name);
    bool remove(const QString &name);
    // Shows the layout in the grid; it becomes the one restored at start.
    bool apply(const QString &name);
    // The layout last applied or saved ("" = none).
    QString currentName() const { return m_current; }

    // Opens the layout in a window of its own on the screen (-1: where it
    // was last, or the primary screen).
    WallWindow *openWindow(const QString &name, int screen = -1, bool fullScreen = false);
    QList<WallWindow *> windows() const;

    // At start: applies `name` (empty: the last one used) and reopens the
    // layouts that had windows of their own. With a screen, `name` opens in
    // its own window, full screen on that screen (a wall display).
    void restore(const QString &name, int screen = -1);
    // What the command line asks for at start: a layout, a screen for it,
    // and whether the grid keeps what it was given (--live) instead of the
    // last layout. restoreOnce() restores that once, when the devices are known.
    void setStartRequest(const QString &name, int screen, bool keepGrid);
    void restoreOnce();
    // Closes the windows, which come back at the next start.
    void shutdown();

    // The tour: the layouts in turn, every `seconds`.
    void startTour(const QStringList &names, int seconds);
    void stopTour();
    bool isTouring() const;
    LayoutTour *tour() const { return m_tour; }

signals:
    void layoutsChanged();
    void currentChanged(const QString &name);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void keepWindow(WallWindow *window, bool open);
    void setCurrent(const QString &name);

    ViewControl *m_view;
    LayoutTour *m_tour;
    QString m_current;
    QString m_startName;
    int m_startScreen = -1;
    bool m_keepGrid = false;
    bool m_restored = false;
    QList<QPointer<WallWindow>> m_windows;
    QTimer m_placeSave;
    QList<QPointer<WallWindow>> m_placeDirty;
};
