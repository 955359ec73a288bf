#pragma once

#include <QLabel>

class Channel;
class Dev;
class DeviceEvents;
class ViewControl;

// The control bar's playback buttons. They act on mouse release for the
// selected channel and show their state by style sheet, each with its image
// and the image's "-hover" variant under the pointer: play/stop starts
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
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    // Sets the style sheet of the current state.
    virtual void restyle() = 0;
    // ":/main/images/btnImg/<name>.png", or its hover variant while hovered.
    QString image(const char *name) const;
    // A round face of this colour (the button's height is its diameter)
    // with the image in it.
    QString roundFace(const char *colour, const char *imageName) const;
    // The selected channel, or null (a release then does nothing).
    Channel *selected() const;
    // Where a playback of the selected channel starts: the start of the
    // recording under the timeline's cursor and the seconds into it when the
    // device seeks after a start, else the cursor's moment itself.
    void startPlayback(Channel *ch, bool startFlag, int recordType);
    // Plays every channel of the grid with ch (PlaybackSync) from the
    // timeline's moment.
    void playGroup(Channel *ch);
    // Whether ch's device plays at other speeds (backward: in reverse).
    bool groupSpeeds(Channel *ch, bool backward) const;

    DeviceEvents *m_events;
    ViewControl *m_view;
    Dev *m_dev;

private:
    bool m_hovered = false;
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

    void restyle() override;

private:
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

    void restyle() override;

private:
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

    void restyle() override;

private:
    bool m_paused = false;
};
