#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

// The arithmetic of the playback timeline, without widgets: one local day
// (dayStartMs, dayLengthMs; a day with a clock change lasts 23 or 25 hours),
// the window of it shown in the detail area (startMs, lengthMs) and the
// width in pixels that the window spans. Times are milliseconds since the
// epoch (UTC); x is in pixels from the window's left edge.
//
// The window is always inside the day and lasts from one minute to the
// whole day. Plain value type; any thread, one at a time.
class TimelineScale
{
public:
    static constexpr qint64 MinLengthMs = 60 * 1000;
    // Labelled ticks are never closer than this.
    static constexpr int MinLabelSpacingPx = 60;
    // follow() moves the window when the cursor comes this close (a fraction
    // of the window) to its right edge, and places the cursor at LeadFraction.
    static constexpr double FollowMargin = 0.05;
    static constexpr double LeadFraction = 0.25;

    struct Tick
    {
        qint64 ms = 0;
        double x = 0;
        bool labelled = false;
    };

    TimelineScale();

    // A new day shows the whole of it.
    void setDay(qint64 dayStartMs, qint64 dayLengthMs);
    // Keeps the window in time; only the pixels per millisecond change.
    void setWidth(int px);
    // Clamped: the length to [MinLengthMs, day], the start into the day.
    void setWindow(qint64 startMs, qint64 lengthMs);

    qint64 dayStartMs() const { return m_dayStart; }
    qint64 dayLengthMs() const { return m_dayLength; }
    qint64 dayEndMs() const { return m_dayStart + m_dayLength; }
    qint64 startMs() const { return m_start; }
    qint64 lengthMs() const { return m_length; }
    qint64 endMs() const { return m_start + m_length; }
    int width() const { return m_width; }
    double msPerPixel() const { return double(m_length) / m_width; }
    bool isWholeDay() const { return m_length == m_dayLength; }

    double xOf(qint64 ms) const;
    qint64 msAt(double x) const;

    // factor > 1 zooms in (the window becomes factor times shorter); the
    // moment under pixel x stays under it unless the day's edge stops it.
    void zoomAt(double x, double factor);
    // Moves the content by dx pixels, as a drag does: dx > 0 shows earlier
    // moments. Stops at the day's edges.
    void panBy(double dx);
    // When cursorMs is outside the window, or within FollowMargin of its
    // right edge, moves the window so that the cursor is at LeadFraction of
    // it. Returns whether the window moved.
    bool follow(qint64 cursorMs);

    // The step between labelled ticks: the shortest of 1/5/10/30 s, 1/5/10/30
    // min, 1/2/3/6/12/24 h that keeps MinLabelSpacingPx between them.
    qint64 labelStepMs() const;
    // The step of the unlabelled ticks between them (0 when too dense).
    qint64 minorStepMs() const;
    // The ticks inside the window, counted from the day's start, in order.
    QList<Tick> ticks() const;
    // A tick's label in local time: h:mm, or h:mm:ss when the window is
    // shorter than two minutes or the labels are less than a minute apart.
    // The day's end reads 24:00.
    QString labelText(qint64 ms) const;

private:
    void clampWindow();

    qint64 m_dayStart = 0;
    qint64 m_dayLength = 24 * 3600 * 1000;
    qint64 m_start = 0;
    qint64 m_length = 24 * 3600 * 1000;
    int m_width = 1;
};
