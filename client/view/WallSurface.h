#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QOpenGLWindow>
#include <QPointer>
#include <QTimer>

class GlWidgetViewWindow;
class QPaintDevice;
class QPixmap;
class QScreen;

// The one OpenGL surface that draws every view cell of a host widget: a
// native window laid over the whole host, into which each cell draws its
// picture, frame and overlays at its own geometry. One surface presents the
// whole grid at once, so a wall of moving pictures costs one draw pass and
// one buffer swap per frame instead of one render target and one window
// composition per cell.
//
// Frames are paced: while pictures of two channels or more arrive at
// intervals of t ms, the surface draws at most once per 0.9 t (the channels'
// pictures share a frame); a picture after a longer pause, or of the only
// moving channel, is drawn at once.
//
// Mouse and wheel events over a cell go to the cell's widget, and any other
// input to the host, so the cells keep handling clicks as widgets do. While
// a button is held, the mouse's moves and releases go where it was pressed
// (as a widget grabs the mouse), so a drag that leaves its cell stays its. Widgets shown
// over the host (popups, alerts) get native windows of their own, stacked
// above the surface's.
// GUI thread only.
class WallSurface : public QOpenGLWindow
{
    Q_OBJECT

public:
    // The surface of host, made (and laid over it) on first use.
    static WallSurface *of(QWidget *host);
    // host rendered like QWidget::grab, with what its surfaces show drawn in.
    static QPixmap grab(QWidget *host);

    ~WallSurface() override;

    // Lets the host go without this surface, which stays, hidden, until the
    // process ends: the surface of a window on an X screen of its own (no
    // shared virtual desktop), whose GL context cannot be torn down there
    // once its native window is gone. Call with no cells left.
    void park();
    // True when a window on the screen must park its surface.
    static bool needsParking(const QScreen *screen);

    void addCell(GlWidgetViewWindow *cell);
    void removeCell(GlWidgetViewWindow *cell);
    // A cell's look changed: draws a frame, at once or at the next paced time.
    void schedule();
    // The cell area as drawn now (nothing drawn = null image).
    QImage grabCell(const GlWidgetViewWindow *cell);
    // The cell at the point of the host, or null.
    GlWidgetViewWindow *cellAt(QPoint point) const;
    // Frames drawn since the surface was made.
    quint64 framesDrawn() const { return m_frames; }

protected:
    void paintGL() override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    // Channels dragged from the device tree are dropped on the cell below.
    bool event(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    explicit WallSurface(QWidget *host);
    void render(QPaintDevice *overlays, bool shown);
    QImage grabAll();
    void forwardMouse(QMouseEvent *event);
    // The cell at the point of the surface, else the host.
    QWidget *targetAt(QPointF point) const;
    void keepAbove(QWidget *widget);
    int pacedGapMs() const;

    QPointer<QWidget> m_host;
    QWidget *m_container = nullptr;
    QList<GlWidgetViewWindow *> m_cells;
    QPointer<QWidget> m_pressed;      // gets the mouse while a button is held
    QList<QPointer<QWidget>> m_above; // widgets given native windows to stay above
    QElapsedTimer m_clock;
    QTimer m_pace;
    qint64 m_lastFrameMs = -1000;
    quint64 m_frames = 0;
};
