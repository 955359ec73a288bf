#pragma once

#include <QOpenGLFunctions>
#include <QOpenGLWidget>
#include <QPointer>
#include <QSize>

#include <functional>
#include <memory>

class Channel;
class Device;
class PictureExchange;
class QLabel;
class YuvRenderer;
class WaitingCircle;

// One cell of the view grid: draws the I420 picture of the channel assigned
// to it with a YUV-to-RGB shader (the matrix and range the stream declares) inside a 2-pixel frame
// (blue when the cell's channel is selected, grey otherwise), shows a "REC" badge while the channel
// records, a waiting indicator while its stream is requested and a status text over the dimmed last
// picture while the stream is lost.
//
// The picture is read from the channel's PictureExchange under its lock, so
// a picture is never drawn while the decoder overwrites it. The cell keeps
// its channel's seen flag: a channel whose cell is hidden or whose window is
// minimised is not decoded.
// GUI thread only.
class GlWidgetViewWindow : public QOpenGLWidget, protected QOpenGLFunctions
{
    Q_OBJECT

public:
    // The current mode of the grid (true = live), e.g. ViewControl::isLive.
    static void setModeSource(std::function<bool()> source);

    explicit GlWidgetViewWindow(QWidget *parent = nullptr);
    ~GlWidgetViewWindow() override;

    // Assigns a device and channel (null channel = empty cell).
    void setChannel(Device *device, Channel *channel);
    // Places the cell inside its parent and lays out its overlays.
    void place(int width, int height, int x, int y);
    Channel *channel() const { return m_channel; }
    Device *device() const { return m_device; }
    bool hasChannel() const { return m_channel != nullptr; }

    bool isSelected() const { return m_selected; }
    bool isWaiting() const { return m_waiting != nullptr; }
    bool isRecordBadgeShown() const;
    // A picture is held for drawing.
    bool hasPicture() const { return m_pictures != nullptr; }
    // The size of the last picture shown.
    QSize pictureSize() const { return QSize(m_width, m_height); }

    // A status text over the cell ("offline", "no video"; empty = none).
    // While it shows, the cell keeps its last picture, dimmed; the next
    // picture of the channel clears it.
    void setStatus(const QString &text);
    QString status() const;

signals:
    void doubleClicked(Channel *channel);
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
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void initializeGL() override;
    void resizeGL(int w, int h) override;
    void paintGL() override;

private:
    void layoutOverlays();
    void removeWaiting();
    void clearTo(float r, float g, float b);
    bool uploadPicture(uint &timestamp);
    // Decoded pictures of a channel go to the cells that show it.
    static void routePictures();
    void showChannelOnScreen(Channel *channel);
    void updateSeen();
    void releaseGl();

    Channel *m_channel = nullptr;
    Device *m_device = nullptr;
    double m_scale = 1.0;

    QWidget *m_recordBadge = nullptr;
    QLabel *m_recordDot = nullptr;
    QLabel *m_recordText = nullptr;
    QWidget *m_notice = nullptr; // hidden "ultra HD" notice
    QLabel *m_noticeText = nullptr;
    WaitingCircle *m_waiting = nullptr;
    QLabel *m_status = nullptr;

    std::unique_ptr<YuvRenderer> m_renderer;
    QPointer<QWidget> m_topLevel;

    int m_width = 0;
    int m_height = 0;
    std::shared_ptr<PictureExchange> m_pictures; // null = nothing to draw
    bool m_selected = false;
    uint m_timestamp = 0;
};
