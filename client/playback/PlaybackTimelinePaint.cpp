// The playback timeline's painting: ruler, lanes, overview and marks.

#include "playback/PlaybackTimeline.h"
#include "playback/PlaybackTimelineStyle.h"

#include <QPainter>

using namespace TimelineStyle;

void PlaybackTimeline::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), Background);
    paintRuler(p);
    paintLanes(p);
    const QRect detail = detailRect();
    paintMarks(
        p, detail, [this](qint64 ms) { return NameWidth + m_scale.xOf(ms); }, 2);
    paintOverview(p);
}

void PlaybackTimeline::paintRuler(QPainter &p) const
{
    const QRect area(NameWidth, 0, width() - NameWidth, RulerHeight);
    p.fillRect(area, RulerBackground);
    QFont font = p.font();
    font.setPixelSize(10);
    p.setFont(font);
    p.setPen(LabelColor);
    const QFontMetrics fm(font);
    for (const TimelineScale::Tick &tick : m_scale.ticks()) {
        const int x = qMin(area.right(), area.left() + int(std::floor(tick.x)));
        const int h = tick.labelled ? 6 : 3;
        p.fillRect(x, area.bottom() - h + 1, 1, h, TickColor);
        if (!tick.labelled)
            continue;
        const QString text = m_scale.labelText(tick.ms);
        const int w = fm.horizontalAdvance(text);
        const int left = qBound(area.left() + 1, x - w / 2, area.right() - w);
        p.drawText(left, area.top() + fm.ascent() + 1, text);
    }
}

void PlaybackTimeline::paintLanes(QPainter &p) const
{
    const qint64 from = m_scale.startMs();
    const qint64 to = m_scale.endMs();
    QFont font = p.font();
    for (int i = 0; i < m_lanes.size(); ++i) {
        const QRect r = laneRect(i);
        const bool selected = i == m_selected;
        p.fillRect(r, selected ? SelectedLaneBackground : LaneBackground);
        p.setClipRect(r);
        for (Kind kind : PaintOrder) {
            const QColor colour = spanColor(kind);
            for (const Span &s : m_lanes[i].spans) {
                if (s.kind != kind || s.endMs <= from || s.startMs >= to)
                    continue;
                const auto [x0, x1] =
                    columns(m_scale.xOf(qMax(s.startMs, from)), m_scale.xOf(qMin(s.endMs, to)));
                p.fillRect(r.left() + x0, r.top(), x1 - x0, r.height(), colour);
            }
        }
        p.setClipping(false);
        font.setPixelSize(selected ? 11 : 9);
        font.setBold(selected);
        p.setFont(font);
        p.setPen(selected ? Qt::white : NameColor);
        const QRect name(4, r.top(), NameWidth - 8, r.height());
        p.drawText(name, Qt::AlignLeft | Qt::AlignVCenter,
                   QFontMetrics(font).elidedText(m_lanes[i].name, Qt::ElideRight, name.width()));
    }
}

void PlaybackTimeline::paintOverview(QPainter &p) const
{
    const QRect r = overviewRect();
    p.fillRect(r, OverviewBackground);
    const qint64 day = m_scale.dayStartMs();
    const double perMs = double(r.width()) / m_scale.dayLengthMs();
    const auto toX = [&](qint64 ms) { return r.left() + (ms - day) * perMs; };
    p.setClipRect(r);
    // The window lightens the background under the spans; its outline goes on top.
    const auto [w0, w1] = columns(toX(m_scale.startMs()), toX(m_scale.endMs()));
    const QRect window(w0, r.top(), qMax(3, w1 - w0), r.height());
    p.fillRect(window, WindowFill);
    if (m_selected < m_lanes.size()) {
        for (Kind kind : PaintOrder) {
            for (const Span &s : m_lanes[m_selected].spans) {
                if (s.kind != kind)
                    continue;
                const auto [x0, x1] = columns(toX(s.startMs), toX(s.endMs));
                p.fillRect(x0, r.top() + 2, x1 - x0, r.height() - 4, spanColor(kind));
            }
        }
    }
    p.setPen(WindowEdge);
    p.drawRect(window.adjusted(0, 0, -1, -1));
    p.setClipping(false);
    paintMarks(p, r, toX, 1);
}

void PlaybackTimeline::paintMarks(QPainter &p, const QRect &area,
                                  const std::function<double(qint64)> &toX, int cursorWidth) const
{
    p.setClipRect(area);
    if (m_rangeStart >= 0 && m_rangeEnd >= 0) {
        const auto [x0, x1] = columns(toX(m_rangeStart), toX(m_rangeEnd));
        p.fillRect(x0, area.top(), x1 - x0, area.height(), RangeFill);
        p.fillRect(x1 - 1, area.top(), 1, area.height(), RangeEdgeColor);
    }
    for (qint64 edge : {m_rangeStart, m_rangeEnd}) {
        if (edge >= 0)
            p.fillRect(int(std::floor(toX(edge))), area.top(), 1, area.height(), RangeEdgeColor);
    }
    p.fillRect(int(std::floor(toX(m_cursor))), area.top(), cursorWidth, area.height(), CursorColor);
    p.setClipping(false);
}
