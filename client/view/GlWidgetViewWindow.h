#pragma once

#include "view/CellOverlay.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QSize>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

class Channel;
class Device;
class PictureExchange;
class QOpenGLContext;
class QPainter;
class YuvRenderer;
class WallSurface;

// One cell of the view grid: draws the I420 picture of the channel assigned
// to it with a YUV-to-RGB shader (the matrix and range the stream declares) inside a 2-pixel frame
// (blue when the cell's channel is selected, grey otherwise), shows a "REC" badge while the channel
// records, a waiting indicator while its stream is requested and a status text over the dimmed last
// picture while the stream is lost.
//
// The picture can be zoomed digitally (CellZoom): the wheel zooms around the
// pointer, a left drag pans, and an overview in a corner marks the part
// shown, with a button back to the whole picture. The cell draws that part
// straight from its textures. An information box (resolution, codec, frame
// and bit rates, SD/HD) can be shown over the picture.
//
// The cell is a widget for placement and input; what it shows is drawn by
// its host's WallSurface, which draws every cell of the host in one pass.
//
// The picture is read from the channel's PictureExchange under its lock, so
// a picture is never drawn while the decoder overwrites it. The cell keeps
// its channel's seen flag: a channel whose cell is hidden or whose window is
// minimised is not decoded.
// GUI thread only.
class GlWidgetViewWindow : public QWidget
{
    Q_OBJECT

public:
    // The current mode of the grid (true = live), e.g. ViewControl::isLive.
    static void setModeSource(std::function<bool()> source);

    explicit GlWidgetViewWindow(QWidget *parent = nullptr);
    ~GlWidgetViewWindow() override;

    // A cell of a window of its own shows live video whatever the grid's mode.
    void setLiveOnly(bool on) { m_liveOnly = on; }
    bool isLiveOnly() const { return m_liveOnly; }
    // The cell shows live pictures now (a live-only cell, or the grid is live).
    bool showsLive() const { return cellLive(); }

    // The cells that show the channel, in any window.
    static QList<GlWidgetViewWindow *> cellsShowing(const Channel *channel);

    // Assigns a device and channel (null channel = empty cell).
    void setChannel(Device *device, Channel *channel);
    // Places the cell inside its parent and lays out its overlays.
    void place(int width, int height, int x, int y);
    Channel *channel() const { return m_channel; }
    Device *device() const { return m_device; }
    bool hasChannel() const { return m_channel != nullptr; }

    bool isSelected() const { return m_selected; }
    bool isWaiting() const { return m_overlay.isWaiting(); }
    bool isRecordBadgeShown() const { return m_recordShown; }
    // The badge of the channel's alarms that are on (empty: none).
    static QString alarmText(int alarms);
    // A picture is held for drawing.
    bool hasPicture() const { return m_pictures != nullptr; }
    // The size of the last picture shown.
    QSize pictureSize() const { return QSize(m_width, m_height); }

    // A status text over the cell ("offline", "no video"; empty = none).
    // While it shows, the cell keeps its last picture, dimmed; the next
    // picture of the channel clears it.
    void setStatus(const QString &text);
    QString status() const;

    // Digital zoom of the picture (wheel, drag, overview); 1 = the whole picture.
    // A new channel in the cell starts with the whole picture.
    bool isZoomed() const { return m_overlay.zoom().isZoomed(); }
    const CellZoom &zoom() const { return m_overlay.zoom(); }
    void resetZoom();
    // The size the cell's stream should fit, in device pixels: the cell's
    // size magnified by the zoom (a zoomed small cell wants the HD stream).
    QSize streamFitSize() const;
    // The information overlay: resolution, codec, frame rates, bit rate, SD/HD.
    void setInfoShown(bool shown);
    bool infoShown() const { return m_overlay.infoShown(); }
    // The information box's text (empty while not shown), refreshed every second.
    QString infoText() const { return m_overlay.infoText(); }

    // The cell as drawn now, picture and overlays (null when not drawn).
    QImage grabFramebuffer();

    // For the surface, with its context current:
    // draws the frame and picture into the cell's area of the surface.
    void drawPicture(QOpenGLContext *context, int surfaceHeight, qreal dpr, bool shown);
    bool hasOverlays() const;
    // Draws the badge, status text and waiting indicator (painter at the cell's origin).
    void drawOverlays(QPainter &painter) const;
    // The interval of the channel's recent pictures in ms; 0 when not moving.
    int pictureIntervalMs() const;
    // The surface goes or lets the cell go; frees the textures when current.
    void detachSurface(bool contextCurrent);

signals:
    void doubleClicked(Channel *channel);
    // The zoom changed (the stream choice may follow).
    void zoomChanged();
    // A channel was dropped on the cell (from the device tree).
    void channelDropped(Channel *channel);
    // The cell was dragged onto another cell of its surface (a swap).
    void movedOnto(GlWidgetViewWindow *target);
    // The right button was released over the cell while it shows a channel
    // (now the selected one); sent once the release has been handled.
    void menuRequested(Device *device, Channel *channel, QMouseEvent *event);

public slots:
    void showImg(Channel *channel, bool live, int width, int height, uint timestamp);
    void cleanScreen(Channel *channel);
    void loadRecordStatus(Channel *channel);
    void showSelectedChannel(Channel *channel);
    void reloadImg();
    void showWaiting(Channel *channel);
    void hideWaiting(Channel *channel);

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void refresh();
    // The mode of the pictures the cell shows (true = live).
    bool cellLive() const;
    void removeWaiting();
    bool uploadPicture(uint &timestamp);
    void showChannelOnScreen(Channel *channel);
    void updateSeen();
    void notePicture();
    // After a zoom step: redraws and tells when the view changed.
    void zoomed(bool changed);
    void updateInfo();

    Channel *m_channel = nullptr;
    Device *m_device = nullptr;
    double m_scale = 1.0;

    bool m_recordShown = false;
    QString m_status;

    std::unique_ptr<YuvRenderer> m_renderer;
    QPointer<WallSurface> m_surface;
    QPointer<QWidget> m_topLevel;
    QElapsedTimer m_pictureClock;
    qint64 m_lastPictureMs = -1;
    int m_intervalMs = 0;

    int m_width = 0;
    int m_height = 0;
    std::shared_ptr<PictureExchange> m_pictures; // null = nothing to draw
    bool m_selected = false;
    bool m_liveOnly = false;
    QPointF m_movePress{-1, -1}; // a left press that may drag the cell onto another
    uint m_timestamp = 0;

    CellOverlay m_overlay;       // waiting indicator, zoom, information box
    QTimer m_infoTimer;          // refreshes the information box while shown
    quint64 m_shownPictures = 0; // pictures this cell uploaded of its channel
};
