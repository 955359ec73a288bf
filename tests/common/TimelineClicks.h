#pragma once

// Clicks on the playback timeline as a user makes them: the detail area is
// zoomed to the minute around a second of the day, then a press and release
// in the middle of that second puts the cursor there (and seeks while
// playing).

#include "playback/PlaybackTimeline.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QMouseEvent>

namespace TimelineClicks {

inline void mouse(QWidget *w, const QPoint &at, QEvent::Type type)
{
    QMouseEvent e(type, QPointF(at), w->mapToGlobal(QPointF(at)), Qt::LeftButton,
                  type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, {});
    QCoreApplication::sendEvent(w, &e);
}

// Shows the minute around a second of the timeline's day and presses the
// detail area in the middle of that second; returns where to release.
inline QPoint pressSecond(PlaybackTimeline *t, int second)
{
    const qint64 ms = t->scale().dayStartMs() + qint64(second) * 1000 + 500;
    t->showWindow(ms - 30000, 60000);
    const QPoint at(t->xOf(ms), t->detailRect().center().y());
    mouse(t, at, QEvent::MouseButtonPress);
    return at;
}

inline void releaseAt(PlaybackTimeline *t, const QPoint &at)
{
    mouse(t, at, QEvent::MouseButtonRelease);
}

inline void clickSecond(PlaybackTimeline *t, int second)
{
    releaseAt(t, pressSecond(t, second));
}

// The selected lane's spans of a kind.
inline int laneSpans(const PlaybackTimeline *t, PlaybackTimeline::Kind kind)
{
    int n = 0;
    for (const PlaybackTimeline::Span &s : t->lanes().value(t->selectedLane()).spans)
        n += s.kind == kind;
    return n;
}

} // namespace TimelineClicks
