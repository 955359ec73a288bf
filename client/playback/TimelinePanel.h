#pragma once

#include "model/Channel.h"
#include "playback/PlaybackTimeline.h"

#include <QWidget>

class Dev;
class DeviceEvents;
class PlaybackSync;
class QComboBox;
class QLabel;
class QToolButton;
class ThumbnailCache;
class ViewControl;

// The playback strip under the grid: the controls that act on every channel
// the grid plays (speed, frame step, previous and next event, export of the
// marked range) and the day's timeline with one lane per channel.
//
// It keeps the timeline in step with the grid: the lanes are the record
// lists of the grid's channels (asked for each channel and day), the
// selected channel's lane is emphasised, the cursor follows the group's
// clock, and a seek, a step or a speed goes to the group (PlaybackSync).
// The playback date-time of ViewControl follows the cursor.
//
// GUI thread only.
class TimelinePanel : public QWidget
{
    Q_OBJECT

public:
    // The speeds offered, in eighths of real time (negative: backward).
    static const QList<int> &speeds();
    static QString speedText(int eighths);
    static constexpr int ThumbnailWidth = 160;

    explicit TimelinePanel(QWidget *parent = nullptr);

    PlaybackTimeline *timeline() const { return m_timeline; }
    QComboBox *speedBox() const { return m_speed; }
    // The channel of each lane, in lane order.
    const QList<Channel *> &laneChannels() const { return m_laneChannels; }
    bool isEmptyDayShown() const;
    // Channels of the grid's playback and the selected one, at most 16.
    QList<Channel *> playbackChannels() const;

public slots:
    // The record lists of the playback day for the grid's channels.
    void loadRecords();
    void refreshLanes();

signals:
    // The user asks to export [fromUtcMs, toUtcMs) of channels.
    void exportRequested(const QList<Channel *> &channels, qint64 fromUtcMs, qint64 toUtcMs);

private:
    void seek(qint64 utcMs);
    void step(int direction);
    void updateControls();
    void setDay();
    void scheduleRefresh();
    void thumbnail(int lane, qint64 ms, PlaybackTimeline::ThumbnailDone done);
    QToolButton *tool(const char *name, const QString &text, const QString &tip);

    PlaybackTimeline *m_timeline;
    QComboBox *m_speed;
    QToolButton *m_stepBack;
    QToolButton *m_stepForward;
    QToolButton *m_previousEvent;
    QToolButton *m_nextEvent;
    QToolButton *m_export;
    QLabel *m_emptyDay;
    ViewControl *m_view;
    Dev *m_dev;
    DeviceEvents *m_events;
    PlaybackSync *m_sync;
    QList<Channel *> m_laneChannels;
    bool m_refreshPending = false;
};
