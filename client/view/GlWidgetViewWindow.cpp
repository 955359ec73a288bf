#include "view/GlWidgetViewWindow.h"

#include "diagnostics/SystemInfo.h"
#include "link/DeviceControl.h"
#include "link/DeviceEvents.h"
#include "link/DeviceLinks.h"
#include "media/PictureExchange.h"
#include "media/Video.h"
#include "view/WaitingCircle.h"
#include "view/WallSurface.h"
#include "view/YuvRenderer.h"
#include "model/Channel.h"
#include "model/Dev.h"

#include <QDateTime>
#include <QFontMetricsF>
#include <QMouseEvent>
#include <QMovie>
#include <QMultiHash>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QPainter>
#include <QPointer>
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
    : QWidget(parent)
    , m_renderer(std::make_unique<YuvRenderer>())
{
    m_scale = SystemInfo::instance()->scale();
    // Nothing of the widget itself is painted: the surface draws the cell.
    setAttribute(Qt::WA_NoSystemBackground);
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_pictureClock.start();
    m_surface = WallSurface::of(parent);
    if (m_surface)
        m_surface->addCell(this);
    routePictures();
    connect(DeviceLinks::events(), &DeviceEvents::alarmMsg, this, [this](Channel *channel) {
        if (channel && channel == m_channel)
            refresh();
    });
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
    removeWaiting();
    if (m_surface)
        m_surface->removeCell(this);
}

void GlWidgetViewWindow::detachSurface(bool contextCurrent)
{
    // The textures live in the surface's context: freed while it is current.
    if (contextCurrent && m_renderer->isReady())
        m_renderer->release();
    m_surface = nullptr;
}

void GlWidgetViewWindow::refresh()
{
    if (m_surface)
        m_surface->schedule();
}

QImage GlWidgetViewWindow::grabFramebuffer()
{
    return m_surface ? m_surface->grabCell(this) : QImage();
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
    QWidget::showEvent(event);
    refresh();
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
    QWidget::hideEvent(event);
    updateSeen();
    refresh();
}

bool GlWidgetViewWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_topLevel && event->type() == QEvent::WindowStateChange)
        updateSeen();
    return QWidget::eventFilter(watched, event);
}

void GlWidgetViewWindow::setChannel(Device *device, Channel *channel)
{
    m_device = device;
    showChannelOnScreen(channel);
    m_pictures.reset();
    m_renderer->forget();
    m_status.clear();
    m_intervalMs = 0;
    m_lastPictureMs = -1;
    if (!channel) {
        removeWaiting();
        m_recordShown = false;
        m_selected = false;
        refresh();
        return;
    }
    // A channel moved into this cell (zoom, another layout) keeps showing
    // its picture; a channel without one shows the waiting indicator.
    const bool live = currentLive();
    if (Video::instance()->pictures(channel, live)->hasPicture() && !channel->waitKeyFrame(live))
        removeWaiting();
    else
        showWaiting(channel);
    m_recordShown = channel->recording(live);
    m_selected = Dev::instance()->selectedChannel() == channel;
    reloadImg();
    refresh();
}

void GlWidgetViewWindow::place(int width, int height, int x, int y)
{
    setGeometry(x, y, width, height);
}

void GlWidgetViewWindow::moveEvent(QMoveEvent *event)
{
    QWidget::moveEvent(event);
    refresh();
}

void GlWidgetViewWindow::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    refresh();
}

void GlWidgetViewWindow::setStatus(const QString &text)
{
    if (text == m_status)
        return;
    m_status = text;
    if (!text.isEmpty())
        removeWaiting();
    refresh();
}

QString GlWidgetViewWindow::status() const
{
    return m_status;
}

void GlWidgetViewWindow::removeWaiting()
{
    if (!m_waiting)
        return;
    delete m_waiting;
    m_waiting = nullptr;
    refresh();
}

void GlWidgetViewWindow::notePicture()
{
    // The pictures' interval paces the surface's frames.
    const qint64 now = m_pictureClock.elapsed();
    if (m_lastPictureMs >= 0) {
        const int gap = int(qMin<qint64>(now - m_lastPictureMs, 1000));
        m_intervalMs = m_intervalMs == 0 ? gap : (3 * m_intervalMs + gap) / 4;
    }
    m_lastPictureMs = now;
}

int GlWidgetViewWindow::pictureIntervalMs() const
{
    // A channel without a picture for a second is not moving.
    if (m_lastPictureMs < 0 || m_pictureClock.elapsed() - m_lastPictureMs > 1000)
        return 0;
    return m_intervalMs;
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
    notePicture();
    refresh();
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
    if (m_status.isEmpty())
        m_renderer->forget();
    refresh();
}

void GlWidgetViewWindow::loadRecordStatus(Channel *channel)
{
    if (!channel || channel != m_channel)
        return;
    const bool shown = channel->recording(currentLive());
    if (shown != m_recordShown) {
        m_recordShown = shown;
        refresh();
    }
}

void GlWidgetViewWindow::showSelectedChannel(Channel *channel)
{
    const bool selected = channel && channel == m_channel;
    if (selected != m_selected) {
        m_selected = selected;
        refresh();
    }
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
    refresh();
}

void GlWidgetViewWindow::showWaiting(Channel *channel)
{
    if (!channel || channel != m_channel)
        return;
    removeWaiting();
    const int side = SystemInfo::instance()->scaled(WaitingCircle::BaseSize);
    m_waiting = new QMovie(QString::fromLatin1(WaitingCircle::MoviePath), QByteArray(), this);
    m_waiting->setScaledSize(QSize(side, side));
    connect(m_waiting, &QMovie::frameChanged, this, &GlWidgetViewWindow::refresh);
    m_waiting->start();
    refresh();
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
    QWidget::mouseReleaseEvent(event);
}

void GlWidgetViewWindow::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (m_channel)
        emit doubleClicked(m_channel);
    QWidget::mouseDoubleClickEvent(event);
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
        ChannelSlot &slot = m_channel->slot(currentLive());
        StreamCounters &counters = slot.counters;
        StreamCounters::add(counters.framesDrawn);
        if (p.tag & PictureExchange::RecordMsTag) {
            slot.shownRecordMs.store(qint64(p.timestamp) * 1000 + (p.tag & 0x3FF));
            return;
        }
        if (!currentLive())
            slot.shownRecordMs.store(qint64(p.timestamp) * 1000);
        counters.delayMs.store(StreamCounters::delayOf(p.tag, QDateTime::currentMSecsSinceEpoch()),
                               std::memory_order_relaxed);
    });
}

namespace {

// Fills the device rectangle (origin bottom left) with the colour.
void fill(QOpenGLFunctions *f, const QRect &r, float red, float green, float blue)
{
    f->glEnable(GL_SCISSOR_TEST);
    f->glScissor(r.x(), r.y(), r.width(), r.height());
    f->glClearColor(red, green, blue, 1.0f);
    f->glClear(GL_COLOR_BUFFER_BIT);
    f->glDisable(GL_SCISSOR_TEST);
}

} // namespace

void GlWidgetViewWindow::drawPicture(QOpenGLContext *context, int surfaceHeight, qreal dpr,
                                     bool shown)
{
    QOpenGLFunctions *f = context->functions();
    // The cell's area in device pixels, origin at the surface's bottom left.
    const QRect area(int(x() * dpr), surfaceHeight - int((y() + height()) * dpr),
                     int(width() * dpr), int(height() * dpr));
    if (!m_renderer->isReady())
        m_renderer->initialize(context);
    const auto sized = [this] { return m_width / 2 >= 1 && m_height / 2 >= 1; };
    uint timestamp = 0;
    // A new picture, or else (under a status text) the last one the
    // textures still hold.
    const bool fresh = m_channel && m_pictures && sized() && uploadPicture(timestamp) && sized();
    const bool dimmed = !m_status.isEmpty();
    if (!fresh && !(m_channel && dimmed && m_renderer->uploadedSerial() != 0 && sized())) {
        // Nothing to draw, or the stream stopped meanwhile; a status text
        // (white) without a picture reads on dark grey.
        if (dimmed && m_channel)
            fill(f, area, 0.2f, 0.2f, 0.2f);
        else
            fill(f, area, 0.99f, 0.99f, 0.99f);
        return;
    }
    if (m_selected)
        fill(f, area, 0.1f, 0.5f, 1.0f);
    else
        fill(f, area, 0.5f, 0.5f, 0.5f);
    const int frame = int(2 * dpr);
    f->glViewport(area.x() + frame, area.y() + frame, qMax(0, area.width() - 2 * frame),
                  qMax(0, area.height() - 2 * frame));
    m_renderer->draw(dimmed ? DimmedBrightness : 1.0f);

    if (fresh && shown)
        Video::instance()->showImageFinish(m_channel, timestamp);
}

QString GlWidgetViewWindow::alarmText(int alarms)
{
    QStringList names;
    if (alarms & (1 << int(DeviceControl::AlarmKind::Motion)))
        names << tr("MOTION");
    if (alarms & (1 << int(DeviceControl::AlarmKind::Tamper)))
        names << tr("TAMPER");
    if (alarms & (1 << int(DeviceControl::AlarmKind::Input)))
        names << tr("ALARM IN");
    return names.join(QLatin1Char(' '));
}

bool GlWidgetViewWindow::hasOverlays() const
{
    return m_channel &&
           (m_recordShown || m_waiting || !m_status.isEmpty() || m_channel->alarms() != 0);
}

void GlWidgetViewWindow::drawOverlays(QPainter &painter) const
{
    const double s = m_scale;
    painter.setRenderHint(QPainter::Antialiasing);
    if (m_recordShown) {
        const QPointF badge(width() - 40 * s, 3 * s);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(255, 0, 0));
        painter.drawEllipse(QRectF(badge + QPointF(0, 5 * s), QSizeF(8 * s, 8 * s)));
        QFont font = painter.font();
        font.setPixelSize(SystemInfo::instance()->normalFontSize() * 11 / 14);
        painter.setFont(font);
        painter.setPen(QColor(255, 0, 0));
        painter.drawText(QRectF(badge + QPointF(12 * s, 0), QSizeF(30 * s, 18 * s)),
                         Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("REC"));
    }
    if (const QString alarm = alarmText(m_channel ? m_channel->alarms() : 0); !alarm.isEmpty()) {
        QFont font = painter.font();
        font.setPixelSize(SystemInfo::instance()->normalFontSize() * 11 / 14);
        painter.setFont(font);
        // An orange frame, the name at the foot (clear of the camera's text).
        const QColor orange(255, 140, 0);
        painter.setPen(QPen(orange, 3 * s));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(QRectF(rect()).adjusted(1.5 * s, 1.5 * s, -1.5 * s, -1.5 * s));
        const QRectF badge(6 * s, height() - 26 * s,
                           QFontMetricsF(font).horizontalAdvance(alarm) + 14 * s, 20 * s);
        painter.setPen(Qt::NoPen);
        painter.setBrush(orange);
        painter.drawRoundedRect(badge, 3 * s, 3 * s);
        painter.setPen(Qt::black);
        painter.drawText(badge, Qt::AlignCenter, alarm);
    }
    if (!m_status.isEmpty()) {
        QFont font = painter.font();
        font.setPixelSize(SystemInfo::instance()->normalFontSize());
        painter.setFont(font);
        painter.setPen(Qt::white);
        painter.drawText(QRectF(8 * s, 0, qMax(0.0, width() - 16 * s), height()),
                         Qt::AlignCenter | Qt::TextWordWrap, m_status);
    } else if (m_waiting) {
        const QPixmap frame = m_waiting->currentPixmap();
        painter.drawPixmap((width() - frame.width()) / 2, (height() - frame.height()) / 2, frame);
    }
}
