#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QOpenGLWindow>
#include <QPointer>
#include <QTimer>

class GlWidgetViewWindow;
class QPaintDevice;
class QPixmap;

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
// Mouse events over a cell go to the cell's widget, and any other input to
// the host, so the cells keep handling clicks as widgets do. Widgets shown
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

    void addCell(GlWidgetViewWindow *cell);
    void removeCell(GlWidgetViewWindow *cell);
    // A cell's look changed: draws a frame, at once or at the next paced time.
    void schedule();
    // The cell area as drawn now (nothing drawn = null image).
    QImage grabCell(const GlWidgetViewWindow *cell);
    // Frames drawn since the surface was made.
    quint64 framesDrawn() const { return m_frames; }

protected:
    void paintGL() override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    explicit WallSurface(QWidget *host);
    void render(QPaintDevice *overlays, bool shown);
    QImage grabAll();
    void forwardMouse(QMouseEvent *event);
    void keepAbove(QWidget *widget);
    int pacedGapMs() const;

    QPointer<QWidget> m_host;
    QWidget *m_container = nullptr;
    QList<GlWidgetViewWindow *> m_cells;
    QList<QPointer<QWidget>> m_above; // widgets given native windows to stay above
    QElapsedTimer m_clock;
    QTimer m_pace;
    qint64 m_lastFrameMs = -1000;
    quint64 m_frames = 0;
};
