#include "playback/PlaybackTimeline.h"
#include "playback/PlaybackTimelineHover.h"
#include "playback/PlaybackTimelineStyle.h"

#include "diagnostics/Checks.h"

#include <QDateTime>
#include <QKeyEvent>
#include <QPainter>
#include <QPointer>
#include <QWheelEvent>

#include <cmath>

using namespace TimelineStyle;

PlaybackTimeline::PlaybackTimeline(QWidget *parent)
    : QWidget(parent)
    , m_popup(new HoverPopup(this))
{
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_scale.setWidth(width() - NameWidth);
    m_hoverTimer.setSingleShot(true);
    m_hoverTimer.setInterval(HoverDelayMs);
    connect(&m_hoverTimer, &QTimer::timeout, this, &PlaybackTimeline::requestThumbnail);
}

PlaybackTimeline::~PlaybackTimeline() = default;

void PlaybackTimeline::setDay(qint64 dayStartMs, qint64 dayLengthMs)
{
    ORVANE_ASSERT_GUI_THREAD();
    if (dayStartMs == m_scale.dayStartMs() && dayLengthMs == m_scale.dayLengthMs())
        return;
    m_scale.setDay(dayStartMs, dayLengthMs);
    m_cursor = qBound(m_scale.dayStartMs(), m_cursor, m_scale.dayEndMs() - 1);
    m_userMoved.invalidate();
    if (m_rangeStart >= 0 || m_rangeEnd >= 0)
        clearRange();
    notifyEventNavigation();
    update();
}

void PlaybackTimeline::setLanes(QList<Lane> lanes)
{
    ORVANE_ASSERT_GUI_THREAD();
    if (lanes.size() > MaxLanes)
        lanes.resize(MaxLanes);
    m_lanes = std::move(lanes);
    m_selected = qBound(0, m_selected, qMax(0, int(m_lanes.size()) - 1));
    updateGeometry();
    notifyEventNavigation();
    update();
}

void PlaybackTimeline::setSelectedLane(int lane)
{
    ORVANE_ASSERT_GUI_THREAD();
    ORVANE_CHECK(lane >= 0 && lane < qMax(1, int(m_lanes.size())), return );
    m_selected = lane;
    notifyEventNavigation();
    update();
}

void PlaybackTimeline::setCursor(qint64 ms)
{
    ORVANE_ASSERT_GUI_THREAD();
    if (m_drag == Drag::Scrub)
        return; // the user holds the cursor
    const bool paused = m_userMoved.isValid() && m_userMoved.elapsed() < FollowPauseMs;
    const int before = xOf(m_cursor);
    const qint64 windowBefore = m_scale.startMs();
    m_cursor = qBound(m_scale.dayStartMs(), ms, m_scale.dayEndMs() - 1);
    if (!paused)
        m_scale.follow(m_cursor);
    notifyEventNavigation();
    // Frames come many times a second; repaint only when something moved.
    if (xOf(m_cursor) != before || m_scale.startMs() != windowBefore)
        update();
}

void PlaybackTimeline::showWindow(qint64 startMs, qint64 lengthMs)
{
    m_scale.setWindow(startMs, lengthMs);
    userMovedView();
}

void PlaybackTimeline::resumeFollowing()
{
    m_userMoved.invalidate();
    if (m_scale.follow(m_cursor))
        update();
}

void PlaybackTimeline::clearRange()
{
    m_rangeStart = m_rangeEnd = -1;
    emit rangeChanged(-1, -1);
    update();
}

qint64 PlaybackTimeline::stepMs() const
{
    return qMax<qint64>(1000, std::llround(m_scale.lengthMs() / 60000.0) * 1000);
}

void PlaybackTimeline::setThumbnailProvider(ThumbnailProvider provider)
{
    m_provider = std::move(provider);
    m_thumbnails.clear();
}

QColor PlaybackTimeline::spanColor(Kind kind)
{
    switch (kind) {
    case Kind::Motion:
        return {0xf0, 0x8a, 0x00};
    case Kind::Alarm:
        return {0xe0, 0x30, 0x2e};
    case Kind::Continuous:
        break;
    }
    return {0x3b, 0x7d, 0xdd};
}

QRect PlaybackTimeline::detailRect() const
{
    const QRect last = laneRect(int(m_lanes.size()) - 1);
    return {NameWidth, 0, width() - NameWidth,
            last.isValid() ? last.bottom() + 1 : RulerHeight + 1};
}

QRect PlaybackTimeline::laneRect(int lane) const
{
    if (lane < 0 || lane >= m_lanes.size())
        return {};
    int y = RulerHeight + 1;
    for (int i = 0; i < lane; ++i)
        y += (i == m_selected ? SelectedLaneHeight : LaneHeight) + LaneGap;
    return {NameWidth, y, width() - NameWidth,
            lane == m_selected ? SelectedLaneHeight : LaneHeight};
}

QRect PlaybackTimeline::overviewRect() const
{
    return {NameWidth, height() - OverviewHeight, width() - NameWidth, OverviewHeight};
}

int PlaybackTimeline::xOf(qint64 ms) const
{
    return NameWidth + int(std::floor(m_scale.xOf(ms)));
}

QSize PlaybackTimeline::sizeHint() const
{
    return {800, detailRect().height() + OverviewGap + OverviewHeight};
}

QSize PlaybackTimeline::minimumSizeHint() const
{
    return {NameWidth + 120, sizeHint().height()};
}

// ---- painting

void PlaybackTimeline::resizeEvent(QResizeEvent *event)
{
    m_scale.setWidth(width() - NameWidth);
    QWidget::resizeEvent(event);
}

// ---- mouse and keys

void PlaybackTimeline::wheelEvent(QWheelEvent *event)
{
    const int notches = event->angleDelta().y();
    if (notches == 0) {
        event->ignore();
        return;
    }
    m_scale.zoomAt(event->position().x() - NameWidth, std::pow(WheelZoomPerNotch, notches / 120.0));
    userMovedView();
    event->accept();
}

void PlaybackTimeline::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    hideHover();
    const QPoint pos = event->position().toPoint();
    m_pressPos = pos;
    if (overviewRect().contains(pos)) {
        m_drag = Drag::Scrub;
        moveCursor(overviewMsAt(pos.x()), true);
    } else if (detailRect().contains(pos)) {
        m_drag = Drag::Press;
        m_pressWindowStart = m_scale.startMs();
    }
}

void PlaybackTimeline::mouseMoveEvent(QMouseEvent *event)
{
    const QPoint pos = event->position().toPoint();
    if (m_drag == Drag::None)
        return hover(pos);
    if (m_drag == Drag::Scrub)
        return moveCursor(overviewMsAt(pos.x()), true);
    const QPoint moved = pos - m_pressPos;
    if (m_drag == Drag::Press && qMax(qAbs(moved.x()), qAbs(moved.y())) > ClickSlopPx)
        m_drag = Drag::Pan;
    if (m_drag == Drag::Pan) {
        m_scale.setWindow(m_pressWindowStart - std::llround(moved.x() * m_scale.msPerPixel()),
                          m_scale.lengthMs());
        userMovedView();
    }
}

void PlaybackTimeline::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return QWidget::mouseReleaseEvent(event);
    const Drag drag = std::exchange(m_drag, Drag::None);
    if (drag == Drag::Scrub)
        seekTo(m_cursor, true);
    else if (drag == Drag::Press)
        seekTo(m_scale.msAt(m_pressPos.x() - NameWidth), false);
}

void PlaybackTimeline::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Left:
        emit stepRequested(-1);
        break;
    case Qt::Key_Right:
        emit stepRequested(1);
        break;
    case Qt::Key_PageUp:
        seekTo(m_cursor - m_scale.lengthMs(), true);
        break;
    case Qt::Key_PageDown:
        seekTo(m_cursor + m_scale.lengthMs(), true);
        break;
    case Qt::Key_Home:
        seekTo(m_scale.dayStartMs(), true);
        break;
    case Qt::Key_End:
        seekTo(m_scale.dayEndMs() - 1000, true);
        break;
    case Qt::Key_BracketLeft:
        markRange(true);
        break;
    case Qt::Key_BracketRight:
        markRange(false);
        break;
    default:
        return QWidget::keyPressEvent(event);
    }
    event->accept();
}

void PlaybackTimeline::leaveEvent(QEvent *event)
{
    hideHover();
    QWidget::leaveEvent(event);
}

void PlaybackTimeline::hideEvent(QHideEvent *event)
{
    hideHover();
    QWidget::hideEvent(event);
}

qint64 PlaybackTimeline::overviewMsAt(int x) const
{
    const QRect r = overviewRect();
    return m_scale.dayStartMs() +
           std::llround(double(x - r.left()) * m_scale.dayLengthMs() / qMax(1, r.width()));
}

int PlaybackTimeline::laneAt(int y) const
{
    for (int i = 0; i < m_lanes.size(); ++i) {
        const QRect r = laneRect(i);
        if (y >= r.top() && y <= r.bottom())
            return i;
    }
    return -1;
}

void PlaybackTimeline::seekTo(qint64 ms, bool follow)
{
    moveCursor(ms, follow);
    emit seekRequested(m_cursor);
}

void PlaybackTimeline::moveCursor(qint64 ms, bool follow)
{
    m_cursor = qBound(m_scale.dayStartMs(), ms, m_scale.dayEndMs() - 1);
    if (follow)
        m_scale.follow(m_cursor);
    notifyEventNavigation();
    update();
}

void PlaybackTimeline::userMovedView()
{
    m_userMoved.start();
    update();
}

void PlaybackTimeline::markRange(bool start)
{
    (start ? m_rangeStart : m_rangeEnd) = m_cursor;
    if (m_rangeStart >= 0 && m_rangeEnd >= 0 && m_rangeStart > m_rangeEnd)
        std::swap(m_rangeStart, m_rangeEnd);
    emit rangeChanged(m_rangeStart, m_rangeEnd);
    update();
}

// ---- events of the selected lane

const PlaybackTimeline::Span *PlaybackTimeline::eventBefore() const
{
    const Span *best = nullptr;
    if (m_selected >= m_lanes.size())
        return best;
    for (const Span &s : m_lanes[m_selected].spans) {
        if (s.kind != Kind::Continuous && s.startMs >= m_scale.dayStartMs() &&
            s.startMs < m_cursor - EventGraceMs && (!best || s.startMs > best->startMs))
            best = &s;
    }
    return best;
}

const PlaybackTimeline::Span *PlaybackTimeline::eventAfter() const
{
    const Span *best = nullptr;
    if (m_selected >= m_lanes.size())
        return best;
    for (const Span &s : m_lanes[m_selected].spans) {
        if (s.kind != Kind::Continuous && s.startMs < m_scale.dayEndMs() && s.startMs > m_cursor &&
            (!best || s.startMs < best->startMs))
            best = &s;
    }
    return best;
}

bool PlaybackTimeline::hasEventBefore() const
{
    return eventBefore() != nullptr;
}

bool PlaybackTimeline::hasEventAfter() const
{
    return eventAfter() != nullptr;
}

void PlaybackTimeline::previousEvent()
{
    if (const Span *s = eventBefore())
        seekTo(s->startMs, true);
}

void PlaybackTimeline::nextEvent()
{
    if (const Span *s = eventAfter())
        seekTo(s->startMs, true);
}

void PlaybackTimeline::notifyEventNavigation()
{
    const bool before = hasEventBefore();
    const bool after = hasEventAfter();
    if (before == m_hadEventBefore && after == m_hadEventAfter)
        return;
    m_hadEventBefore = before;
    m_hadEventAfter = after;
    emit eventNavigationChanged();
}

// ---- hover and thumbnails

bool PlaybackTimeline::isHoverShown() const
{
    return m_popup->isVisible();
}

void PlaybackTimeline::hover(const QPoint &pos)
{
    int lane = m_selected;
    qint64 ms = 0;
    double msPerPixel = 0;
    if (detailRect().contains(pos)) {
        if (const int under = laneAt(pos.y()); under >= 0)
            lane = under;
        ms = m_scale.msAt(pos.x() - NameWidth);
        msPerPixel = m_scale.msPerPixel();
    } else if (overviewRect().contains(pos)) {
        ms = overviewMsAt(pos.x());
        msPerPixel = double(m_scale.dayLengthMs()) / qMax(1, overviewRect().width());
    } else {
        return hideHover();
    }
    if (lane >= m_lanes.size())
        lane = -1;
    if (lane != m_hoverLane)
        m_hoverImage = QImage();
    m_hoverLane = lane;
    m_hoverMs = ms;
    m_hoverText = clockText(ms);
    ++m_thumbnailRequest; // answers to earlier requests no longer count
    m_hoverTimer.stop();
    if (lane >= 0) {
        const qint64 tolerance = qMax<qint64>(1000, std::llround(3 * msPerPixel));
        const QImage cached = m_thumbnails.find(laneKey(lane), ms, tolerance);
        if (!cached.isNull())
            m_hoverImage = cached;
        else if (m_provider)
            m_hoverTimer.start();
    }
    m_popup->set(m_hoverText, m_hoverImage);
    m_popup->move(mapToGlobal(pos) - QPoint(m_popup->width() / 2, m_popup->height() + 8));
    m_popup->show();
}

void PlaybackTimeline::hideHover()
{
    m_hoverTimer.stop();
    m_popup->hide();
}

void PlaybackTimeline::requestThumbnail()
{
    if (!m_provider || m_hoverLane < 0 || !isHoverShown())
        return;
    const quint64 request = ++m_thumbnailRequest;
    QPointer<PlaybackTimeline> self(this);
    m_provider(m_hoverLane, m_hoverMs,
               [self, request, key = laneKey(m_hoverLane)](const QImage &image, qint64 keyMs) {
                   if (self)
                       self->thumbnailArrived(request, key, image, keyMs);
               });
}

void PlaybackTimeline::thumbnailArrived(quint64 request, const QString &key, const QImage &image,
                                        qint64 keyMs)
{
    ORVANE_ASSERT_GUI_THREAD();
    if (image.isNull())
        return;
    const QImage small =
        image.width() > ThumbnailSize.width() || image.height() > ThumbnailSize.height()
            ? image.scaled(ThumbnailSize, Qt::KeepAspectRatio, Qt::SmoothTransformation)
            : image;
    m_thumbnails.insert(key, keyMs, small);
    if (request != m_thumbnailRequest || !isHoverShown())
        return;
    m_hoverImage = small;
    const QPoint bottomCentre = m_popup->geometry().bottomLeft() + QPoint(m_popup->width() / 2, 0);
    m_popup->set(m_hoverText, m_hoverImage);
    m_popup->move(bottomCentre - QPoint(m_popup->width() / 2, m_popup->height() - 1));
}

QString PlaybackTimeline::laneKey(int lane) const
{
    return QString::number(lane) + QLatin1Char('/') + m_lanes.value(lane).name;
}
