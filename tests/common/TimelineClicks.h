#pragma once

// Clicks on the playback timeline as a user makes them: a press and release
// on the hour line moves the minute window to the second, then a press and
// release on the minute line puts the cursor there (and seeks while playing).

#include "playback/ProgressBar.h"
#include "playback/TimeLine.h"

#include <QCoreApplication>
#include <QMouseEvent>

namespace TimelineClicks {

inline void mouse(QWidget *w, int x, QEvent::Type type)
{
    const QPointF at(x, w->height() / 2);
    QMouseEvent e(type, at, w->mapToGlobal(at), Qt::LeftButton,
                  type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, {});
    QCoreApplication::sendEvent(w, &e);
}

// Moves the minute window to a second of the day and presses the minute
// line there; returns the x to release at.
inline int pressSecond(ProgressBar *bar, int second)
{
    const int w = bar->hourLine()->width();
    mouse(bar->hourLine(), int(qint64(second) * w / 86400) + 1, QEvent::MouseButtonPress);
    mouse(bar->hourLine(), 0, QEvent::MouseButtonRelease);
    const int x = second - bar->windowStart();
    mouse(bar->minuteLine(), x, QEvent::MouseButtonPress);
    return x;
}

inline void releaseAt(ProgressBar *bar, int x)
{
    mouse(bar->minuteLine(), x, QEvent::MouseButtonRelease);
}

inline void clickSecond(ProgressBar *bar, int second)
{
    releaseAt(bar, pressSecond(bar, second));
}

} // namespace TimelineClicks
