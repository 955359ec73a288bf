#pragma once

#include "model/Channel.h"
#include "model/Device.h"
#include "view/CellStatus.h"
#include "view/RecordLength.h"
#include "view/ReplayPosition.h"
#include "view/StreamChoice.h"
#include "view/WindowMod.h"

#include <QDate>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QMouseEvent>
#include <QObject>
#include <QPointer>
#include <QTime>
#include <QTimer>

#include <atomic>
#include <memory>

class Dev;
class GlWidgetViewWindow;
class Location;
class RecordLength;
class QWidget;
class DeviceLink;

// Controller of the video area: owns the grid of view windows inside the
// main window's view host, lays them out for the window mode, decides which
// channel is shown in which window, switches between live view and remote
// playback, keeps the playback date and time, and starts and stops channel
// streams through the link.
//
// A channel and its window point at each other (Channel::window and the
// window's channel); a window is busy while it holds a channel.
//
// One shared instance, instance(), created on first use with no parent.
// GUI thread only (asserted in debug builds), except isLive(), which the
// media tasks read from pool threads (an atomic flag written only by
// changeMod).
class ViewControl : public QObject
{
    Q_OBJECT

public:
    static ViewControl *instance();

    // The first instance becomes the shared one and follows the link's
    // connect results and the registry's channel selection.
    explicit ViewControl(QObject *parent = nullptr);
    ~ViewControl() override;

    // One link in place of every device's own (tests). Takes ownership;
    // null restores each device's link (DeviceLinks::of).
    void setLink(std::unique_ptr<DeviceLink> link);
    // The link the grid uses for the device / the channel's device.
    DeviceLink *linkOf(const Device *d) const;
    DeviceLink *linkOf(const Channel *ch) const;

    // Grid management.
    void attach(QWidget *host);
    QWidget *host() const { return m_host; }
    void setSize(int width, int height);
    void relayout();
    void setWindowCount(int n);
    void removeWindowsFrom(int n);
    void setWindowMod(WINDOW_MOD mod);
    WINDOW_MOD windowMod() const { return m_windowMod; }
    WINDOW_MOD previousMod() const { return m_previousMod; }
    const QList<GlWidgetViewWindow *> &windows() const { return m_windows; }
    // The cell that shows the channel, or null.
    GlWidgetViewWindow *cellOf(const Channel *channel) const;

    // Channel placement.
    GlWidgetViewWindow *assignWindow(GlWidgetViewWindow *window);
    void releaseWindow(Channel *channel);
    // Puts the channel into window `cell` (grid order), then starts it as
    // prepareChannel(channel, false) does; the link's success finds it placed.
    void openInCell(Channel *channel, int cell);

    // Exchanges the channels of cells a and b (grid order).
    void swapCells(int a, int b);
    // Empties cell `cell`; its channel's stream stops unless another window shows it.
    void clearCell(int cell);
    // Connects a cell of any window to the stream state it follows.
    void wireCell(GlWidgetViewWindow *cell);

    // Stream control.
    void prepareChannel(Channel *channel, bool keepMode);
    void stopChannel(Channel *channel);
    // Releases the device's windows, then closes its link (device menu, alert).
    void closeDevice(Device *device);
    // Closes the device's link, then releases its windows (device manager's delete).
    void closeDeviceThenRelease(Device *device);
    void stopAll();
    void playReplay(Channel *channel, const QDateTime &start, int seekOffset = 0,
                    bool startFlag = true, int recordType = 0);

    // Mode and playback position.
    bool isLive() const { return m_live.load(); }
    void changeMod(bool live);
    void setReplayDate(const QDate &date);
    QDate replayDate() const { return m_replay.date; }
    void setReplayTime(const QTime &time) { m_replay.time = time; }
    QTime replayTime() const { return m_replay.time; }
    QDateTime replayDateTime() const { return m_replay.dateTime(); }
    QList<QList<int>> dayRecords() const { return m_replay.records; }
    void setDayRecords(const QList<QList<int>> &records) { m_replay.records = records; }
    void appendDayRecord(const QList<int> &record) { m_replay.records.append(record); }
    // Seeks the selected channel's playback to the time of day (nothing when
    // it is not playing back).
    void seekReplay(const QTime &target);
    // The start of the day's last recording that began at or before the
    // playback date-time, and the seconds from there; an invalid date-time
    // and 0 when none did.
    QDateTime recordStartBefore(int *offsetSeconds) const
    {
        return m_replay.recordStartBefore(offsetSeconds);
    }
    // The start of the day's first recording at or after the playback
    // date-time; invalid when none.
    QDateTime nextRecordStart() const { return m_replay.nextRecordStart(); }

    // Asks each live channel for the stream that fits the largest of its
    // cells, in any window, zoom included: the sub stream (SD) in small
    // cells, the main stream (HD) in large ones (StreamChoice). Runs by itself
    // FitDelayMs after the grid's size, layout or a zoom last changed, and when
    // a stream starts. A cell keeps its last picture until the new stream's
    // first key frame is decoded.
    void fitStreams();
    static constexpr int FitDelayMs = StreamChoice::DelayMs;

    // Local recording of the current mode; the record-length timer stops it
    // after "config/timeLength" minutes.
    void recordChange(Channel *channel, bool on);
    // Test seam: the length of one record-length minute in milliseconds.
    void setRecordMinuteMs(int ms) { m_recording->setMinuteMs(ms); }

    // Relays for child widgets.
    void openSubWindowMenu(Device *device, Channel *channel, QMouseEvent *event)
    {
        emit openedSubWindowMenuMsg(device, channel, event);
    }
    void openDevManage(Device *device) { emit openDevManageMsg(device); }
    void closeMenu() { emit closeMenuMsg(); }
    void quit() { emit quitMsg(); }
    void enterRow(int row) { emit enteredRow(row); }
    void clickRow(int row) { emit clickedRow(row); }
    void leaveRow() { emit leaveTable(); }

signals:
    void changeModMsg(bool live);
    void dateChangeMsg();
    void closeMenuMsg();
    void quitMsg();
    void recordMsg(Channel *channel, bool on);
    void resizeMsg();
    void doubleClickScreenMsg(Channel *channel);
    void windowNumberChangeMsg();
    void openedSubWindowMenuMsg(Device *device, Channel *channel, QMouseEvent *event);
    void openDevManageMsg(Device *device);
    void enteredRow(int row);
    void clickedRow(int row);
    void leaveTable();

public slots:
    GlWidgetViewWindow *showChannel(Channel *channel);
    void connectChannelSuccess(Channel *channel);
    void changeShowChannel(Channel *channel);
    void doubleClickScreen(Channel *channel);
    void stopSaveRecord(Channel *channel);
    // Status texts over cells, the last picture dimmed below them: the
    // device's link is lost (the link reconnects by itself), or the stream of
    // an online device fell silent (the media pipeline restarts it).
    void showDeviceOffline(Device *device);
    void showNoVideo(Channel *channel, bool live) { m_cellStatus->showNoVideo(channel, live); }

private:
    GlWidgetViewWindow *createWindow();
    void dropWindow(GlWidgetViewWindow *window);
    // Puts the channel into the window, releasing what either held before.
    void putChannel(GlWidgetViewWindow *window, Channel *channel);
    void releaseDeviceWindows(Device *device);

    QPointer<QWidget> m_host;
    std::unique_ptr<DeviceLink> m_link; // tests: in place of every device's
    Dev *m_dev;
    Location *m_location;
    RecordLength *m_recording;
    WINDOW_MOD m_windowMod = WINDOW_MOD_4;
    WINDOW_MOD m_previousMod = WINDOW_MOD_4;
    QList<GlWidgetViewWindow *> m_windows;
    std::atomic<bool> m_live{true};
    ReplayPosition m_replay;
    StreamChoice *m_streams;
    CellStatus *m_cellStatus;
};
