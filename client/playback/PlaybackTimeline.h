#pragma once

#include "playback/ThumbnailCache.h"
#include "playback/TimelineScale.h"

#include <QColor>
#include <QElapsedTimer>
#include <QImage>
#include <QList>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <functional>

class HoverPopup;

// The playback timeline of one day, painted in one piece. From top to
// bottom: the detail area (a time ruler over one thin lane per channel, the
// selected lane taller and lighter, lane names at the left) showing the
// zoomable window of the day, then a slim overview of the whole day (the
// selected lane's recordings, the window, the cursor). Zoomed out fully the
// detail area is the day line, 0:00 to 24:00.
//
// Wheel: zoom around the pointer. Drag in the detail area: pan; a press and
// release that moves no more than 4 px seeks there. Press or drag on the
// overview: the cursor and the window go there, the seek comes on release.
// Keys: Left/Right step, Page Up/Down a window back/forward, Home/End the
// day's start/end, [ and ] the range's ends at the cursor. Hovering shows
// the moment and a thumbnail from the provider.
//
// A seek moves the cursor at once and emits seekRequested(); the owner then
// plays from there and reports the frames' moments with setCursor().
//
// GUI thread only.
class PlaybackTimeline : public QWidget
{
    Q_OBJECT

public:
    enum class Kind { Continuous, Motion, Alarm };
    struct Span
    {
        qint64 startMs = 0;
        qint64 endMs = 0;
        Kind kind = Kind::Continuous;
    };
    struct Lane
    {
        QString name;
        QList<Span> spans;
    };
    // Answers a thumbnail request: the picture of the key frame at or before
    // the moment asked for, and that key frame's moment. Call it on the GUI
    // thread, at most once; a late call after the timeline is gone is harmless.
    using ThumbnailDone = std::function<void(const QImage &image, qint64 keyMs)>;
    using ThumbnailProvider = std::function<void(int lane, qint64 ms, ThumbnailDone done)>;

    static constexpr int MaxLanes = 16;
    // setCursor() leaves the window alone this long after the user panned or zoomed.
    static constexpr int FollowPauseMs = 5000;
    // previousEvent() skips an event that began less than this before the
    // cursor, so that pressing it again while playing goes further back.
    static constexpr qint64 EventGraceMs = 1000;
    static constexpr int HoverDelayMs = 80;

    explicit PlaybackTimeline(QWidget *parent = nullptr);
    ~PlaybackTimeline() override;

    // A new day shows the whole of it, keeps the cursor inside it and clears the range.
    void setDay(qint64 dayStartMs, qint64 dayLengthMs);
    // At most MaxLanes are shown.
    void setLanes(QList<Lane> lanes);
    const QList<Lane> &lanes() const { return m_lanes; }
    void setSelectedLane(int lane);
    int selectedLane() const { return m_selected; }
    // The playback position; the window follows it unless the user moved the
    // view in the last FollowPauseMs (or is dragging on the overview).
    void setCursor(qint64 ms);
    qint64 cursor() const { return m_cursor; }
    // The mouse pointer's shape stays reachable, but only as a QCursor: a bare
    // Qt::CursorShape would otherwise convert to a moment.
    using QWidget::setCursor;
    void setCursor(Qt::CursorShape) = delete;
    const TimelineScale &scale() const { return m_scale; }
    // Shows [startMs, startMs + lengthMs) of the day (clamped) as the user's
    // own view: the window stops following for a while.
    void showWindow(qint64 startMs, qint64 lengthMs);
    // The marked range, -1 for an end not set.
    qint64 rangeStart() const { return m_rangeStart; }
    qint64 rangeEnd() const { return m_rangeEnd; }
    void clearRange();
    // A step for seeking by hand: a sixtieth of the window in whole seconds, at least 1 s.
    qint64 stepMs() const;
    bool hasEventBefore() const;
    bool hasEventAfter() const;
    void setThumbnailProvider(ThumbnailProvider provider);

    static QColor spanColor(Kind kind);
    // Where things are painted, in widget coordinates.
    QRect detailRect() const;
    QRect laneRect(int lane) const;
    QRect overviewRect() const;
    int xOf(qint64 ms) const;

    bool isHoverShown() const;
    QString hoverText() const { return m_hoverText; }
    QImage hoverImage() const { return m_hoverImage; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

public slots:
    void previousEvent();
    void nextEvent();
    // Lets the window follow the cursor again at once.
    void resumeFollowing();

signals:
    void seekRequested(qint64 ms);
    // -1 and +1: a step back or forward (a frame when paused, stepMs() when playing).
    void stepRequested(int direction);
    void rangeChanged(qint64 fromMs, qint64 toMs);
    // hasEventBefore() or hasEventAfter() may have changed.
    void eventNavigationChanged();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    enum class Drag { None, Press, Pan, Scrub };

    void paintRuler(QPainter &p) const;
    void paintLanes(QPainter &p) const;
    void paintOverview(QPainter &p) const;
    void paintMarks(QPainter &p, const QRect &area, const std::function<double(qint64)> &toX,
                    int cursorWidth) const;
    qint64 overviewMsAt(int x) const;
    int laneAt(int y) const;
    void seekTo(qint64 ms, bool follow);
    void moveCursor(qint64 ms, bool follow);
    void userMovedView();
    void markRange(bool start);
    const Span *eventBefore() const;
    const Span *eventAfter() const;
    void notifyEventNavigation();
    void hover(const QPoint &pos);
    void hideHover();
    void requestThumbnail();
    void thumbnailArrived(quint64 request, const QString &key, const QImage &image, qint64 keyMs);
    QString laneKey(int lane) const;

    TimelineScale m_scale;
    QList<Lane> m_lanes;
    int m_selected = 0;
    qint64 m_cursor = 0;
    qint64 m_rangeStart = -1;
    qint64 m_rangeEnd = -1;
    QElapsedTimer m_userMoved;
    Drag m_drag = Drag::None;
    QPoint m_pressPos;
    qint64 m_pressWindowStart = 0;
    bool m_hadEventBefore = false;
    bool m_hadEventAfter = false;

    ThumbnailProvider m_provider;
    ThumbnailCache m_thumbnails;
    QTimer m_hoverTimer;
    HoverPopup *m_popup;
    int m_hoverLane = -1;
    qint64 m_hoverMs = 0;
    QString m_hoverText;
    QImage m_hoverImage;
    quint64 m_thumbnailRequest = 0;
};
