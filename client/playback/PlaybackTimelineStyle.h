#pragma once

// The playback timeline's sizes, colours and small helpers, shared by its
// source files (PlaybackTimeline.cpp, PlaybackTimelinePaint.cpp).

#include "playback/PlaybackTimeline.h"

#include <QColor>
#include <QDateTime>
#include <QSize>

#include <cmath>
#include <utility>

namespace TimelineStyle {

inline constexpr int NameWidth = 72;
inline constexpr int RulerHeight = 18;
inline constexpr int LaneHeight = 10;
inline constexpr int SelectedLaneHeight = 18;
inline constexpr int LaneGap = 1;
inline constexpr int OverviewGap = 4;
inline constexpr int OverviewHeight = 10;
inline constexpr int ClickSlopPx = 4;
inline constexpr double WheelZoomPerNotch = 1.25;
inline constexpr QSize ThumbnailSize(160, 90);

inline const QColor Background(0x26, 0x26, 0x26);
inline const QColor RulerBackground(0x30, 0x30, 0x30);
inline const QColor LaneBackground(0x36, 0x36, 0x36);
inline const QColor SelectedLaneBackground(0x4a, 0x50, 0x60);
inline const QColor OverviewBackground(0x1c, 0x1c, 0x1c);
inline const QColor TickColor(0x8a, 0x8a, 0x8a);
inline const QColor LabelColor(0xdc, 0xdc, 0xdc);
inline const QColor NameColor(0xa8, 0xa8, 0xa8);
inline const QColor CursorColor(Qt::white);
inline const QColor RangeEdgeColor(0xff, 0xd2, 0x1f);
inline const QColor RangeFill(0xff, 0xd2, 0x1f, 60);
inline const QColor WindowFill(0xff, 0xff, 0xff, 40);
inline const QColor WindowEdge(0xff, 0xff, 0xff, 170);

inline constexpr PlaybackTimeline::Kind PaintOrder[] = {PlaybackTimeline::Kind::Continuous,
                                                        PlaybackTimeline::Kind::Motion,
                                                        PlaybackTimeline::Kind::Alarm};

// Pixel columns [first, last) that cover [fromX, toX), at least one.
inline std::pair<int, int> columns(double fromX, double toX)
{
    const int first = int(std::floor(fromX));
    return {first, qMax(first + 1, int(std::ceil(toX)))};
}

inline QString clockText(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms).time().toString(QStringLiteral("H:mm:ss"));
}

} // namespace TimelineStyle
