#pragma once

#include <QLabel>

class Channel;
class Dev;
class DeviceEvents;
class ViewControl;

// The control bar's playback buttons. They act on mouse release for the
// selected channel and show their state by style sheet: play/stop starts
// and stops the live view or the playback at the timeline's date and time,
// the two fast buttons start and stop fast playback, pause pauses and
// resumes it. Starting and stopping go through ViewControl, pause and resume
// straight to the link. In live mode the fast and pause buttons only flip.
// GUI thread only.
class PlaybackButton : public QLabel
{
    Q_OBJECT

public:
    explicit PlaybackButton(QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;
    // The selected channel, or null (a release then does nothing).
    Channel *selected() const;
    // Where a playback of the selected channel starts: the start of the
    // recording under the timeline's cursor and the seconds into it when the
    // device seeks after a start, else the cursor's moment itself.
    void startPlayback(Channel *ch, bool startFlag, int recordType);

    DeviceEvents *m_events;
    ViewControl *m_view;
    Dev *m_dev;
};

class PlayBtn : public PlaybackButton
{
    Q_OBJECT

public:
    explicit PlayBtn(QWidget *parent = nullptr);
    bool isPlaying() const { return m_playing; }

public slots:
    void loadPlayStatus(Channel *channel);
    void loadPlayStatusForMode(bool live);

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void restyle();
    bool m_playing = false;
};

// Backward when its object name is "label_icon_fb", forward otherwise.
class FastBtn : public PlaybackButton
{
    Q_OBJECT

public:
    explicit FastBtn(QWidget *parent = nullptr);
    bool isActive() const { return m_active; }

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void restyle();
    bool m_active = false;
};

class PauseBtn : public PlaybackButton
{
    Q_OBJECT

public:
    explicit PauseBtn(QWidget *parent = nullptr);
    bool isPaused() const { return m_paused; }

public slots:
    void loadPause();

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void restyle();
    bool m_paused = false;
};
