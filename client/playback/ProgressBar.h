#pragma once

#include <QList>
#include <QWidget>

class Channel;
class Dev;
class DeviceEvents;
class QLabel;
class QMouseEvent;
class SystemInfo;
class TimeLine;
class Video;
class ViewControl;

// The playback timeline under the view grid: a minute line (one pixel per
// second of a window of the day, a tick and an h:mm label per full minute)
// over an hour line (the whole day, ticks and the numbers 1 to 24). The
// recordings of the playback day of the selected channel are blue bars on
// both; a cursor on each marks the playback position and follows the frames
// played. Dragging on the minute line moves the cursor and seeks on release;
// clicking or dragging on the hour line moves the minute window.
//
// Everything visible is plain child widgets placed with setGeometry.
// GUI thread only.
class ProgressBar : public QWidget
{
    Q_OBJECT

public:
    explicit ProgressBar(QWidget *parent = nullptr);
    ~ProgressBar() override;

    TimeLine *minuteLine() const { return m_minuteLine; }
    TimeLine *hourLine() const { return m_hourLine; }
    int windowStart() const { return m_windowStart; }
    int windowLength() const { return m_windowLength; }
    int cursorSecond() const { return m_cursorSecond; }
    int hourBarCount() const { return int(m_hourBars.size()); }
    // Geometry of the i-th hour bar and minute bar; the texts of the minute labels.
    QRect hourBarGeometry(int i) const;
    QStringList minuteLabelTexts() const;
    QWidget *minuteCursor() const { return m_minuteCursor; }
    // The recorded alarms' marks on the hour line (and those in the minute
    // window on the minute line).
    int eventMarkCount() const { return int(m_hourMarks.size()); }
    QRect eventMarkGeometry(int i) const;
    // The note on the hour line that the day has no recordings.
    bool isEmptyDayShown() const;

signals:
    void moveMinuteMsg(int x);

public slots:
    void selectHourPos(QMouseEvent *event);
    void selectMinutePos(QMouseEvent *event);
    void releasedMinute();
    void loadVideoTime();
    void connectChannelSuccess(Channel *channel);
    void receiveVideoTime(Channel *channel, const QList<int> &item);
    void selectDev(Channel *channel);
    void loadFrameProgress(Channel *channel, uint timestamp);
    void receiveVideoTimeEmpty(Channel *channel);
    void receiveEventMarks(Channel *channel);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void buildHourScale();
    void buildMinuteScale();
    void placeWindowMarker();
    void placeMinuteCursor();
    void placeHourCursor();
    void addHourBar(const QList<int> &item);
    void addMinuteBar(const QList<int> &item);
    void rebuildMinuteBars();
    void rebuildMarks();
    void repositionHourBars();
    void clearRecordBars();
    void clearScales();
    QRect hourBarRect(const QList<int> &item) const;
    QWidget *newChild(QWidget *parent, const QString &style) const;

    TimeLine *m_minuteLine;
    TimeLine *m_hourLine;
    DeviceEvents *m_events;
    Video *m_video;
    ViewControl *m_view;
    SystemInfo *m_info;
    Dev *m_dev;
    int m_windowLength = 0;
    int m_cursorSecond = 0;
    int m_windowStart = 0;
    int m_windowEnd = 0;
    bool m_dragging = false;
    QList<QWidget *> m_hourTicks;
    QList<QLabel *> m_hourLabels;
    QList<QWidget *> m_hourBars;
    QList<QWidget *> m_minuteTicks;
    QList<QLabel *> m_minuteLabels;
    QList<QWidget *> m_minuteBars;
    QList<QList<int>> m_marks; // [second of the day, kind] of the selected channel's day
    QList<QWidget *> m_hourMarks;
    QList<QWidget *> m_minuteMarks;
    QWidget *m_windowMarker;
    QWidget *m_minuteCursor;
    QWidget *m_hourCursor;
    QLabel *m_emptyDay;
};
