#include "view/CellOverlay.h"

#include "diagnostics/SystemInfo.h"
#include "link/DeviceControl.h"
#include "model/StreamCounters.h"
#include "view/WaitingCircle.h"

#include <QGuiApplication>
#include <QFontMetricsF>
#include <QMovie>
#include <QPainter>
#include <QStringList>
#include <QStyleHints>

#include <cmath>
#include <utility>

namespace {

// The width of a cell's frame around its picture.
constexpr double Frame = 2.0;

// The wheel's angle (in eighths of a degree) that doubles the zoom: two
// notches of a common wheel.
constexpr double DoublingAngle = 240.0;

QFont sized(const QPainter &painter, int pixelSize)
{
    QFont font = painter.font();
    font.setPixelSize(qMax(1, pixelSize));
    return font;
}

int smallFont()
{
    return SystemInfo::instance()->normalFontSize() * 11 / 14;
}

} // namespace

CellOverlay::CellOverlay() = default;

CellOverlay::~CellOverlay() = default;

void CellOverlay::startWaiting(QObject *context, std::function<void()> onFrame)
{
    const int side = SystemInfo::instance()->scaled(WaitingCircle::BaseSize);
    m_waiting = std::make_unique<QMovie>(QString::fromLatin1(WaitingCircle::MoviePath));
    m_waiting->setScaledSize(QSize(side, side));
    QObject::connect(m_waiting.get(), &QMovie::frameChanged, context,
                     [onFrame = std::move(onFrame)] { onFrame(); });
    m_waiting->start();
}

bool CellOverlay::stopWaiting()
{
    return std::exchange(m_waiting, nullptr) != nullptr;
}

QString CellOverlay::alarmText(int alarms)
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

QRectF CellOverlay::pictureRect(QSize cell)
{
    return QRectF(QPointF(), QSizeF(cell)).adjusted(Frame, Frame, -Frame, -Frame);
}

QRectF CellOverlay::overviewRect(QSize cell, double scale)
{
    // The picture fills the cell: the overview has the cell's proportions.
    const QRectF area = pictureRect(cell);
    if (area.width() <= 0 || area.height() <= 0)
        return QRectF();
    const double width = qBound(48 * scale, area.width() * 0.22, 160 * scale);
    const double height = width * area.height() / area.width();
    const double margin = 8 * scale;
    return QRectF(area.right() - margin - width, area.bottom() - margin - height, width, height);
}

QRectF CellOverlay::resetButtonRect(QSize cell, double scale)
{
    const QRectF overview = overviewRect(cell, scale);
    const QSizeF size(30 * scale, 18 * scale);
    return QRectF(
        QPointF(overview.left() - 4 * scale - size.width(), overview.bottom() - size.height()),
        size);
}

bool CellOverlay::resetZoom()
{
    m_drag = Drag::None;
    return m_zoom.reset();
}

bool CellOverlay::wheel(QSize cell, QPointF at, int angle)
{
    const QRectF area = pictureRect(cell);
    if (angle == 0 || area.isEmpty())
        return false;
    const QPointF point(qBound(0.0, (at.x() - area.left()) / area.width(), 1.0),
                        qBound(0.0, (at.y() - area.top()) / area.height(), 1.0));
    return m_zoom.zoomAt(point, std::exp2(angle / DoublingAngle));
}

bool CellOverlay::press(QSize cell, double scale, QPointF at)
{
    m_drag = Drag::None;
    m_panning = false;
    if (!m_zoom.isZoomed())
        return false;
    if (resetButtonRect(cell, scale).contains(at))
        return resetZoom();
    if (overviewRect(cell, scale).contains(at)) {
        // The overview moves the view to the point pressed, and along with
        // the pointer while it is held.
        m_drag = Drag::Overview;
        return centreAt(cell, scale, at);
    }
    m_drag = Drag::Picture;
    m_dragFrom = at;
    return false;
}

bool CellOverlay::move(QSize cell, double scale, QPointF at)
{
    if (m_drag == Drag::Overview)
        return centreAt(cell, scale, at);
    if (m_drag != Drag::Picture)
        return false;
    // A press that hardly moves stays a click.
    const QPointF delta = at - m_dragFrom;
    if (!m_panning && delta.manhattanLength() < QGuiApplication::styleHints()->startDragDistance())
        return false;
    m_panning = true;
    m_dragFrom = at;
    const QRectF area = pictureRect(cell);
    return !area.isEmpty() &&
           m_zoom.panBy(QPointF(delta.x() / area.width(), delta.y() / area.height()));
}

bool CellOverlay::centreAt(QSize cell, double scale, QPointF at)
{
    const QRectF overview = overviewRect(cell, scale);
    return !overview.isEmpty() &&
           m_zoom.centreOn(QPointF((at.x() - overview.left()) / overview.width(),
                                   (at.y() - overview.top()) / overview.height()));
}

void CellOverlay::clearInfo()
{
    m_info.clear();
    m_infoText.clear();
}

void CellOverlay::setInfoShown(bool shown)
{
    m_infoShown = shown;
    m_info.clear();
    m_infoText.clear();
}

void CellOverlay::updateInfo(const StreamCounters &counters, quint64 picturesShown, qint64 msNow,
                             QSize resolution, bool hd)
{
    if (!m_infoShown)
        return;
    m_info.add({msNow, StreamCounters::read(counters.framesReceived),
                StreamCounters::read(counters.bytesReceived), picturesShown});
    m_infoText = CellInfo::text(
        {resolution, counters.codecId.load(std::memory_order_relaxed), hd, m_info.rates()});
}

void CellOverlay::draw(QPainter &painter, const State &state) const
{
    painter.setRenderHint(QPainter::Antialiasing);
    if (m_zoom.isZoomed())
        drawOverview(painter, state);
    if (!m_infoText.isEmpty())
        drawInfo(painter, state);
    if (state.recording)
        drawRecording(painter, state);
    if (const QString alarm = alarmText(state.alarms); !alarm.isEmpty())
        drawAlarm(painter, state, alarm);
    const double s = state.scale;
    if (!state.status.isEmpty()) {
        painter.setFont(sized(painter, SystemInfo::instance()->normalFontSize()));
        painter.setPen(Qt::white);
        painter.drawText(
            QRectF(8 * s, 0, qMax(0.0, state.cell.width() - 16 * s), state.cell.height()),
            Qt::AlignCenter | Qt::TextWordWrap, state.status);
    } else if (m_waiting) {
        const QPixmap frame = m_waiting->currentPixmap();
        painter.drawPixmap((state.cell.width() - frame.width()) / 2,
                           (state.cell.height() - frame.height()) / 2, frame);
    }
}

void CellOverlay::drawRecording(QPainter &painter, const State &state)
{
    const double s = state.scale;
    const QPointF badge(state.cell.width() - 40 * s, 3 * s);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 0, 0));
    painter.drawEllipse(QRectF(badge + QPointF(0, 5 * s), QSizeF(8 * s, 8 * s)));
    painter.setFont(sized(painter, smallFont()));
    painter.setPen(QColor(255, 0, 0));
    painter.drawText(QRectF(badge + QPointF(12 * s, 0), QSizeF(30 * s, 18 * s)),
                     Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("REC"));
}

void CellOverlay::drawAlarm(QPainter &painter, const State &state, const QString &alarm)
{
    const double s = state.scale;
    const QFont font = sized(painter, smallFont());
    painter.setFont(font);
    // An orange frame, the name at the foot (clear of the camera's text).
    const QColor orange(255, 140, 0);
    painter.setPen(QPen(orange, 3 * s));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(
        QRectF(QPointF(), QSizeF(state.cell)).adjusted(1.5 * s, 1.5 * s, -1.5 * s, -1.5 * s));
    const QRectF badge(6 * s, state.cell.height() - 26 * s,
                       QFontMetricsF(font).horizontalAdvance(alarm) + 14 * s, 20 * s);
    painter.setPen(Qt::NoPen);
    painter.setBrush(orange);
    painter.drawRoundedRect(badge, 3 * s, 3 * s);
    painter.setPen(Qt::black);
    painter.drawText(badge, Qt::AlignCenter, alarm);
}

void CellOverlay::drawInfo(QPainter &painter, const State &state) const
{
    const double s = state.scale;
    const QFont font = sized(painter, smallFont());
    painter.setFont(font);
    const QFontMetricsF metrics(font);
    const QStringList lines = m_infoText.split(QLatin1Char('\n'));
    double width = 0;
    for (const QString &line : lines)
        width = qMax(width, metrics.horizontalAdvance(line));
    const double pad = 5 * s;
    const QRectF box(6 * s, 6 * s, width + 2 * pad, lines.size() * metrics.height() + 2 * pad);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 0, 150));
    painter.drawRoundedRect(box, 3 * s, 3 * s);
    painter.setPen(Qt::white);
    painter.drawText(box.adjusted(pad, pad, -pad, -pad), Qt::AlignLeft | Qt::AlignTop, m_infoText);
}

void CellOverlay::drawOverview(QPainter &painter, const State &state) const
{
    const double s = state.scale;
    const QRectF overview = overviewRect(state.cell, s);
    if (overview.isEmpty())
        return;
    // Each shape filled, then outlined: dark boxes with light edges.
    const auto box = [&painter](const QRectF &r, const QColor &fill, const QPen &edge) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(fill);
        painter.drawRect(r);
        painter.setPen(edge);
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(r);
    };
    // Opaque pens: a translucent one is stroked through the stencil buffer,
    // which a surface or grab without one turns into a filled box.
    const QPen light(QColor(225, 225, 225), 1 * s);
    // The whole picture is drawn below, dimmed: the frame alone here.
    box(overview, QColor(0, 0, 0, 0), light);
    // The part shown, at least a few pixels wide so that it stays visible.
    const QRectF v = m_zoom.visible();
    QRectF shown(overview.left() + v.left() * overview.width(),
                 overview.top() + v.top() * overview.height(), v.width() * overview.width(),
                 v.height() * overview.height());
    shown.setSize(shown.size().expandedTo(QSizeF(3 * s, 3 * s)));
    box(shown, QColor(255, 210, 0, 60), QPen(QColor(255, 210, 0), 1.5 * s));

    const QRectF button = resetButtonRect(state.cell, s);
    box(button, QColor(0, 0, 0, 160), light);
    painter.setFont(sized(painter, smallFont()));
    painter.setPen(Qt::white);
    painter.drawText(button, Qt::AlignCenter, resetLabel());
}
