#include "admin/Sparkline.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>

Sparkline::Sparkline(int capacity, QWidget *parent)
    : QWidget(parent)
    , m_capacity(qMax(2, capacity))
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void Sparkline::append(double value)
{
    m_values.append(qMax(0.0, value));
    while (m_values.size() > m_capacity)
        m_values.removeFirst();
    update();
}

void Sparkline::clear()
{
    m_values.clear();
    update();
}

QSize Sparkline::sizeHint() const
{
    return QSize(m_capacity * 3, 36);
}

void Sparkline::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QRectF area = QRectF(rect()).adjusted(1, 2, -1, -2);
    painter.fillRect(rect(), QColor(0xee, 0xf0, 0xf5));
    if (m_values.size() < 2 || area.width() <= 0 || area.height() <= 0)
        return;
    // Headroom above the largest value, so that a steady rate is no flat top edge.
    const double top = std::max(1.0, *std::max_element(m_values.begin(), m_values.end()) * 1.25);
    // The newest value sits on the right edge; the slots fill leftwards.
    const double step = area.width() / (m_capacity - 1);
    const double x0 = area.right() - step * (m_values.size() - 1);
    QPainterPath line;
    for (int i = 0; i < m_values.size(); ++i) {
        const QPointF p(x0 + step * i, area.bottom() - area.height() * m_values.at(i) / top);
        if (i == 0)
            line.moveTo(p);
        else
            line.lineTo(p);
    }
    QPainterPath fill = line;
    fill.lineTo(area.right(), area.bottom());
    fill.lineTo(x0, area.bottom());
    fill.closeSubpath();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillPath(fill, QColor(0x40, 0x8c, 0xff, 60));
    painter.setPen(QPen(QColor(0x40, 0x8c, 0xff), 1.5));
    painter.drawPath(line);
}
