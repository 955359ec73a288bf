#pragma once

#include <QWidget>

class Channel;
class DevMenuItem;
class Device;
class DeviceEvents;
class QLabel;
class SystemInfo;
class ViewControl;

// The device context menu of the tree and the grid: play, stop, play all,
// stop all, SD/HD, receive audio, mute, talk, edit device and reset
// connection. The main window creates it on demand, calls load() and place()
// and deletes it when it closes. Entries that act on a channel are shown only
// for a row or cell with a channel; the four IO entries (SD, HD, audio on and
// off) keep the menu open and update their markers when the device answers.
// GUI thread only.
class DevMenu : public QWidget
{
    Q_OBJECT

public:
    static constexpr int BaseWidth = 136;

    explicit DevMenu(QWidget *parent = nullptr);

    void load(Device *device, Channel *channel);
    // Scales the entries and sets the geometry with its top-left at (x, y).
    void place(int x, int y);

    Device *device() const { return m_device; }
    Channel *channel() const { return m_channel; }
    // The entry with this object name ("widget_play", ...), or null.
    DevMenuItem *item(const QString &objectName) const;
    // Object names of the entries offered now, in menu order.
    QStringList shownItems() const;
    // Whether the marker with this object name ("label_playPoint", ...) is shown.
    bool markerShown(const QString &objectName) const;

signals:
    void closeMenu();

public slots:
    void play();
    void stop();
    void allPlay();
    void allStop();
    void changeSD();
    void changeHD();
    void audioOpen();
    void audioClose();
    void audioSendChange();
    void openEdit();
    void restart();
    void videoRequestSuccess(Channel *channel);
    void changeQualitySuccess(Channel *channel);
    void audioControlSuccess(Channel *channel);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    DevMenuItem *addItem(const char *name, const QString &text, void (DevMenu::*slot)());
    void showMarkers(QLabel *on, QLabel *off, bool first);
    void updatePlayMarkers(bool requested);
    void updateQualityMarkers();
    void updateAudioMarkers();
    // Closes the menu once the current event is handled (the main window
    // deletes it).
    void finish();

    DevMenuItem *m_play, *m_stop, *m_allPlay, *m_allStop, *m_sd, *m_hd, *m_sound, *m_soundStop,
        *m_speech, *m_edit, *m_restart;
    QLabel *m_playPoint, *m_stopPoint, *m_sdMark, *m_hdMark, *m_audioAble, *m_audioDisable,
        *m_speechAble;
    Device *m_device = nullptr;
    Channel *m_channel = nullptr;
    DeviceEvents *m_events;
    ViewControl *m_view;
    SystemInfo *m_systemInfo;
};
