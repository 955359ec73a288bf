#include "view/GlWidgetViewWindow.h"

#include "diagnostics/SystemInfo.h"
#include "media/PictureExchange.h"
#include "media/Video.h"
#include "view/WaitingCircle.h"
#include "view/YuvRenderer.h"
#include "model/Channel.h"
#include "model/Dev.h"

#include <QDateTime>
#include <QLabel>
#include <QMouseEvent>
#include <QMultiHash>
#include <QPointer>
#include <QOpenGLContext>
#include <QTimer>

namespace {

// A cell with a status text over it draws its picture at this brightness.
constexpr float DimmedBrightness = 0.4f;

// The cells by channel, so that a decoded picture reaches its cell without
// every cell looking at every picture.
QMultiHash<Channel *, GlWidgetViewWindow *> &cellsByChannel()
{
    static QMultiHash<Channel *, GlWidgetViewWindow *> cells;
    return cells;
}

std::function<bool()> &modeSource()
{
    static std::function<bool()> source = [] { return true; };
    return source;
}

bool currentLive()
{
    return modeSource()();
}

} // namespace

void GlWidgetViewWindow::setModeSource(std::function<bool()> source)
{
    modeSource() = source ? std::move(source) : std::function<bool()>([] { return true; });
}

GlWidgetViewWindow::GlWidgetViewWindow(QWidget *parent)
    : QOpenGLWidget(parent)
    , m_renderer(std::make_unique<YuvRenderer>())
{
    SystemInfo *info = SystemInfo::instance();
    m_scale = info->scale();
    const double s = m_scale;

    m_recordBadge = new QWidget(this);
    m_recordBadge->setStyleSheet(QStringLiteral("background:rgba(0,0,0,0)"));
    m_recordBadge->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_recordDot = new QLabel(m_recordBadge);
    m_recordDot->setGeometry(0, int(5 * s), int(8 * s), int(8 * s));
    m_recordDot->setStyleSheet(
        QStringLiteral("border:0;border-radius:4px;background-color:rgb(255,0,0)"));
    m_recordText = new QLabel(QStringLiteral("REC"), m_recordBadge);
    m_recordText->setGeometry(int(12 * s), 0, int(30 * s), int(18 * s));
    m_recordText->setStyleSheet(
        QStringLiteral("font-size:11px;font-family: \"微软雅黑\";color:rgb(255,0,0)"));
    m_recordText->setStyleSheet(
        info->scaleFontSheet(m_recordText->styleSheet(), SystemInfo::Normal));
    m_recordBadge->hide();

    // Built for pictures that need too much of the machine; not shown yet.
    m_notice = new QWidget(this);
    m_notice->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_noticeText = new QLabel(tr("超高清视频,请关闭其他通道播放以免占用过多资源"), m_notice);
    m_noticeText->setStyleSheet(QStringLiteral("color:rgb(255,0,0)"));
    m_notice->hide();

    m_status = new QLabel(this);
    m_status->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_status->setAlignment(Qt::AlignCenter);
    m_status->setWordWrap(true);
    m_status->setStyleSheet(info->scaleFontSheet(
        QStringLiteral("font-size:14px;color:rgb(255,255,255);background:rgba(0,0,0,0)"),
        SystemInfo::Normal));
    m_status->hide();

    routePictures();
    connect(Dev::instance(), &Dev::selectChannelMsg, this,
            &GlWidgetViewWindow::showSelectedChannel);
}

void GlWidgetViewWindow::routePictures()
{
    static QPointer<Video> routed;
    Video *video = Video::instance();
    if (routed == video)
        return;
    routed = video;
    connect(video, &Video::decodeSuccess, video,
            [](Channel *channel, bool live, int width, int height, uint timestamp) {
                const QList<GlWidgetViewWindow *> cells = cellsByChannel().values(channel);
                for (GlWidgetViewWindow *cell : cells)
                    cell->showImg(channel, live, width, height, timestamp);
            });
}

GlWidgetViewWindow::~GlWidgetViewWindow()
{
    showChannelOnScreen(nullptr);
    releaseGl();
    // The base class destroys the context: this part of the object must not
    // hear of it any more.
    if (QOpenGLContext *ctx = context())
        disconnect(ctx, nullptr, this, nullptr);
}

void GlWidgetViewWindow::releaseGl()
{
    // Runs while the context still exists: before the widget goes, and when
    // the context is replaced (the cell moved to another top-level window,
    // as the full-screen grid does); initializeGL builds them again then.
    if (!m_renderer->isReady() || !context())
        return;
    makeCurrent();
    m_renderer->release();
    doneCurrent();
}

bool GlWidgetViewWindow::isRecordBadgeShown() const
{
    return !m_recordBadge->isHidden();
}

void GlWidgetViewWindow::showChannelOnScreen(Channel *channel)
{
    if (m_channel == channel)
        return;
    if (m_channel) {
        cellsByChannel().remove(m_channel, this);
        if (!cellsByChannel().contains(m_channel))
            m_channel->setSeen(false);
    }
    m_channel = channel;
    if (channel)
        cellsByChannel().insert(channel, this);
    updateSeen();
}

void GlWidgetViewWindow::updateSeen()
{
    if (!m_channel)
        return;
    const QWidget *top = window();
    m_channel->setSeen(isVisible() && !(top->windowState() & Qt::WindowMinimized) && width() > 0 &&
                       height() > 0);
}

void GlWidgetViewWindow::showEvent(QShowEvent *event)
{
    QOpenGLWidget::showEvent(event);
    // The top-level window tells when it is minimised and restored.
    if (window() != m_topLevel) {
        if (m_topLevel)
            m_topLevel->removeEventFilter(this);
        m_topLevel = window();
        if (m_topLevel != this)
            m_topLevel->installEventFilter(this);
    }
    updateSeen();
}

void GlWidgetViewWindow::hideEvent(QHideEvent *event)
{
    QOpenGLWidget::hideEvent(event);
    updateSeen();
}

bool GlWidgetViewWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_topLevel && event->type() == QEvent::WindowStateChange)
        updateSeen();
    return QOpenGLWidget::eventFilter(watched, event);
}

void GlWidgetViewWindow::setChannel(Device *device, Channel *channel)
{
    m_device = device;
    showChannelOnScreen(channel);
    m_pictures.reset();
    m_renderer->forget();
    m_status->clear();
    m_status->hide();
    if (!channel) {
        removeWaiting();
        m_recordBadge->hide();
        m_selected = false;
        update();
        return;
    }
    // A channel moved into this cell (zoom, another layout) keeps showing
    // its picture; a channel without one shows the waiting indicator.
    const bool live = currentLive();
    if (Video::instance()->pictures(channel, live)->hasPicture() && !channel->waitKeyFrame(live))
        removeWaiting();
    else
        showWaiting(channel);
    m_recordBadge->setVisible(channel->recording(live));
    m_selected = Dev::instance()->selectedChannel() == channel;
    reloadImg();
    update();
}

void GlWidgetViewWindow::place(int width, int height, int x, int y)
{
    setGeometry(x, y, width, height);
    resizeGL(width, height);
    layoutOverlays();
}

void GlWidgetViewWindow::layoutOverlays()
{
    const double s = m_scale;
    m_recordBadge->setGeometry(int(width() - 40 * s), int(3 * s), int(40 * s), int(18 * s));
    m_notice->setGeometry(int(10 * s), int(3 * s), int(width() - 50 * s), int(18 * s));
    m_noticeText->setGeometry(0, 0, m_notice->width(), m_notice->height());
    m_status->setGeometry(int(8 * s), 0, qMax(0, int(width() - 16 * s)), height());
}

void GlWidgetViewWindow::setStatus(const QString &text)
{
    if (text == m_status->text() && m_status->isVisible() == !text.isEmpty())
        return;
    m_status->setText(text);
    m_status->setVisible(!text.isEmpty());
    if (!text.isEmpty()) {
        removeWaiting();
        m_status->raise();
    }
    update();
}

QString GlWidgetViewWindow::status() const
{
    return m_status->text();
}

void GlWidgetViewWindow::removeWaiting()
{
    delete m_waiting;
    m_waiting = nullptr;
}

void GlWidgetViewWindow::showImg(Channel *channel, bool live, int width, int height, uint timestamp)
{
    if (!channel || channel != m_channel || !channel->videoOn(live))
        return;
    if (m_waiting && !channel->waitKeyFrame(live))
        removeWaiting();
    setStatus(QString()); // pictures again: whatever stopped them is over
    if (live && channel->quality(true))
        channel->setHdPictureSize(QSize(width, height));
    m_width = width;
    m_height = height;
    m_pictures = Video::instance()->pictures(channel, live);
    m_timestamp = timestamp;
    update();
}

void GlWidgetViewWindow::cleanScreen(Channel *channel)
{
    if (channel != m_channel && m_channel)
        return;
    // A restarted stream keeps its last picture until the new one's first.
    if (m_pictures && m_pictures->hasPicture())
        return;
    m_pictures.reset();
    // Under a status text the cell keeps showing its last picture, dimmed.
    if (m_status->text().isEmpty())
        m_renderer->forget();
    update();
}

void GlWidgetViewWindow::loadRecordStatus(Channel *channel)
{
    if (!channel || channel != m_channel)
        return;
    m_recordBadge->setVisible(channel->recording(currentLive()));
}

void GlWidgetViewWindow::showSelectedChannel(Channel *channel)
{
    m_selected = channel && channel == m_channel;
    reloadImg();
}

void GlWidgetViewWindow::reloadImg()
{
    if (!m_channel)
        return;
    const bool live = currentLive();
    std::shared_ptr<PictureExchange> pictures = Video::instance()->pictures(m_channel, live);
    if (!pictures->hasPicture())
        return;
    pictures->frontSize(m_width, m_height);
    m_pictures = pictures;
    update();
}

void GlWidgetViewWindow::showWaiting(Channel *channel)
{
    if (!channel || channel != m_channel)
        return;
    removeWaiting();
    m_waiting = new WaitingCircle(this);
    m_waiting->show();
    m_waiting->raise();
}

void GlWidgetViewWindow::hideWaiting(Channel *channel)
{
    if (!channel || channel != m_channel)
        return;
    removeWaiting();
}

void GlWidgetViewWindow::mouseReleaseEvent(QMouseEvent *event)
{
    if (m_channel) {
        Dev *dev = Dev::instance();
        dev->setSelectedDevice(m_device);
        dev->setSelectedChannel(m_channel);
        if (event->button() == Qt::RightButton) {
            std::shared_ptr<QMouseEvent> copy(static_cast<QMouseEvent *>(event->clone()));
            QTimer::singleShot(0, this, [this, copy] {
                if (m_channel)
                    emit menuRequested(m_device, m_channel, copy.get());
            });
        }
    }
    QOpenGLWidget::mouseReleaseEvent(event);
}

void GlWidgetViewWindow::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (m_channel)
        emit doubleClicked(m_channel);
    QOpenGLWidget::mouseDoubleClickEvent(event);
}

void GlWidgetViewWindow::initializeGL()
{
    initializeOpenGLFunctions();
    connect(context(), &QOpenGLContext::aboutToBeDestroyed, this, &GlWidgetViewWindow::releaseGl,
            Qt::ConnectionType(Qt::UniqueConnection | Qt::DirectConnection));
    m_renderer->initialize(context());
}

void GlWidgetViewWindow::resizeGL(int, int)
{
    if (m_waiting)
        m_waiting->relayout();
}

void GlWidgetViewWindow::clearTo(float r, float g, float b)
{
    glClearColor(r, g, b, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

bool GlWidgetViewWindow::uploadPicture(uint &timestamp)
{
    return m_pictures->withFront([&](const PictureExchange::Picture &p) {
        m_width = p.width;
        m_height = p.height;
        timestamp = p.timestamp;
        if (p.serial == m_renderer->uploadedSerial())
            return; // the textures hold this picture already
        m_renderer->upload(p);
        StreamCounters &counters = m_channel->slot(currentLive()).counters;
        StreamCounters::add(counters.framesDrawn);
        counters.delayMs.store(StreamCounters::delayOf(p.tag, QDateTime::currentMSecsSinceEpoch()),
                               std::memory_order_relaxed);
    });
}

void GlWidgetViewWindow::paintGL()
{
    const qreal dpr = devicePixelRatioF();
    glViewport(0, 0, int(width() * dpr), int(height() * dpr));
    const auto sized = [this] { return m_width / 2 >= 1 && m_height / 2 >= 1; };
    uint timestamp = 0;
    // A new picture, or else (under a status text) the last one the
    // textures still hold.
    const bool fresh = m_channel && m_pictures && sized() && uploadPicture(timestamp) && sized();
    const bool dimmed = !m_status->text().isEmpty();
    if (!fresh && !(m_channel && dimmed && m_renderer->uploadedSerial() != 0 && sized())) {
        clearTo(0.99f, 0.99f, 0.99f); // nothing to draw, or the stream stopped meanwhile
        return;
    }
    if (m_selected)
        clearTo(0.1f, 0.5f, 1.0f);
    else
        clearTo(0.5f, 0.5f, 0.5f);
    glViewport(int(2 * dpr), int(2 * dpr), int((width() - 4) * dpr), int((height() - 4) * dpr));

    m_renderer->draw(dimmed ? DimmedBrightness : 1.0f);

    if (fresh)
        Video::instance()->showImageFinish(m_channel, timestamp);
}
