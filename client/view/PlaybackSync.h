#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QTimer>

#include <functional>

class Channel;
class Dev;
class ViewControl;

// Playback of every channel the grid shows on one timeline: one play, pause,
// seek, speed and step act on all of them, each starts at the same recorded
// moment, and they are kept in step with the group's clock, which runs at the
// playback speed from the moment the first picture after a start, seek,
// resume or speed change was shown (ChannelSlot::shownRecordMs):
//   - a channel that leads by more than HoldMs (scaled with the speed)
//     waits: it is paused until the clock reaches its picture;
//   - one that lags by more than LagMs seeks ahead of the clock, which puts
//     it on the next key frame, and then waits as above;
//   - one whose recording lies ahead of the clock (it has nothing recorded
//     at that moment) stops, its cell says "no recording", and it joins
//     when the clock reaches its recording;
//   - on a device that plays one channel at a time (replayBusyMsg) only
//     the selected channel (else the device's first in the grid) plays and
//     the other cells say so.
//
// GUI thread only.
class PlaybackSync : public QObject
{
    Q_OBJECT

public:
    static constexpr int MaxChannels = 16;
    static constexpr int CheckMs = 100;
    static constexpr int HoldMs = 250;
    static constexpr int LagMs = 1500;
    static constexpr int AbsentMs = 3000; // a lead this large: nothing recorded here
    static constexpr int FrameMs = 40;    // step length when the frame rate is unknown

    enum class State { Idle, Starting, Playing, Holding, NoRecording, Busy };

    // The grid's group (ViewControl::instance(), Dev::instance()).
    static PlaybackSync *instance();
    PlaybackSync(ViewControl *view, Dev *dev, QObject *parent = nullptr);

    // The channels the grid shows in playback (cell order, at most
    // MaxChannels), and whether the group plays.
    QList<Channel *> channels() const;
    bool isRunning() const { return m_running; }
    bool isPaused() const { return m_paused; }
    int speed() const { return m_speed; } // eighths of real time
    // The group's recording moment now (UTC ms); the start moment before the
    // first picture, -1 when idle.
    qint64 clockMs() const;
    State state(const Channel *ch) const;

    void play(qint64 utcMs);
    void stop();
    void pause();
    void resume();
    void seek(qint64 utcMs);
    // Eighths of real time (8 = 1x, negative backward); channels whose
    // device cannot go on at their speed and are left out of the group.
    void setSpeed(int eighths);
    // While paused: the next (1) or previous (-1) picture on every channel.
    void step(int direction);

    // Test seam: the clock's time source (ms, monotonic).
    void setTimeSource(std::function<qint64()> nowMs) { m_now = std::move(nowMs); }

    static QString noRecordingText();
    static QString busyText();

signals:
    void positionChanged(qint64 utcMs);
    void stateChanged();

private:
    struct Member
    {
        State state = State::Idle;
        qint64 lastShown = 0; // shownRecordMs when last looked at
        qint64 waitUntil = 0; // Holding / NoRecording: the moment to go on at
        // Started, and the link has not reported the start yet: what the
        // cell shows meanwhile is the stream before it.
        bool awaitingStart = false;
    };

    void check();
    void start(Channel *ch, qint64 utcMs);
    void startAll(qint64 utcMs);
    void rearm(qint64 utcMs);
    void hold(Channel *ch, Member &m, qint64 until, State state);
    void release(Channel *ch, Member &m);
    void onBusy(Channel *ch);
    void followJumps(const QList<Channel *> &shown);
    void setCellText(Channel *ch, const QString &text);
    qint64 now() const { return m_now ? m_now() : m_wall.elapsed(); }

    ViewControl *m_view;
    Dev *m_dev;
    QTimer m_timer;
    QElapsedTimer m_wall;
    std::function<qint64()> m_now;
    QHash<Channel *, Member> m_members;
    bool m_running = false;
    bool m_paused = false;
    int m_speed = 8;
    bool m_anchored = false;
    qint64 m_anchorMs = -1;  // recording moment of the clock's anchor
    qint64 m_anchorWall = 0; // now() at the anchor
    qint64 m_rearmWall = 0;  // now() when the clock was last stopped to be anchored again
};
