#pragma once

#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QPoint>
#include <QString>

#include <memory>

#include "view/WindowMod.h"

class Channel;
class Decode;
class Dev;
class Alert;
class AlertLog;
class AlertNotifier;
class CenterPopups;
class ControlPanel;
class DevMenu;
class DevManage;
struct AlertEntry;
class DevOpt;
class Device;
class DeviceEvents;
class LabelFoldBtn;
class LabelSystemBtn;
class MenuDevList;
class MenuListDev;
class MenuPtz;
class System;
class TimelinePanel;
class SidePanels;
class QCalendarWidget;
class QMouseEvent;
class SystemInfo;
class Video;
class ViewControl;
class WidgetBtnLive;
class WindowNumMenu;
struct UserInfo;

namespace Ui {
class MainWindow;
}

// The main window: header, the accordion of side panels, the view area and
// the control bar. It is never a top-level window: the login window embeds it
// as a frameless child and every minimise, maximise and move acts on that
// host. GUI thread only.
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // Fills the parent, relays out the side panels and, the first time,
    // applies the UI scale.
    void fitToParent();
    // Fills the parent again after the host changed its size.
    void followParent();
    // Shows the window and hands the view host to the grid.
    void start();
    // Logo and title of a brand variant; the product uses 150.
    void setBrand(int code);
    // Shows the logged-in user's display name in the header and, for a
    // cloud user, loads that user's device list.
    void setUser(const UserInfo &user);

    // The grid's mode: true while it shows live video (ViewControl::isLive).
    bool isLive() const;

    // The device tree panel and the open popups (null when closed).
    MenuDevList *devList() const { return m_devList; }
    WindowNumMenu *windowNumMenu() const;
    TimelinePanel *timelinePanel() const { return m_timeline; }
    MenuPtz *ptzPanel() const { return m_ptz; }
    System *systemPanel() const { return m_system; }
    QCalendarWidget *calendar() const { return m_calendar; }
    DevMenu *devMenu() const;
    // The device manager popup and its device options page (null while closed).
    DevManage *devManage() const;
    DevOpt *devOptions() const;
    ControlPanel *controlPanel() const;
    Alert *alert() const;
    const AlertLog &alertLog() const;

    using QMainWindow::close;

signals:
    // A drag of the header by this offset; the host moves itself.
    void moveMsg(QPoint delta);

public slots:
    void clickFold(LabelFoldBtn *button, bool open);
    void minimize(LabelSystemBtn *button);
    void fullscreen(LabelSystemBtn *button, bool on);
    void close(LabelSystemBtn *button);
    void changeMod(WidgetBtnLive *button);
    void selectedDev(Device *device);
    void connectedDev(MenuListDev *row);
    void showWindowNumMenu();
    void selectWindowMod(WINDOW_MOD mod);
    void openedSubWindowMenu(Device *device, Channel *channel, QMouseEvent *event);
    void closeMenu();
    // The control panel on its local settings page, or on the user page.
    void openControlPanel();
    void openUser();
    void closeControlPanel();
    void closeAlert();
    void openDevManage(Device *device);
    void closeDevManage();
    void doubleClickScreen(Channel *channel);
    void openAlert(Channel *channel, int code, const QString &text);
    void openAlert(int code, const QString &text);
    void moveWindow(QPoint delta);
    // Playback: the date bubble follows the timeline's cursor; the calendar
    // sets the playback date; the grid alone fills the screen.
    void openCalendar();
    void closeCalendar();
    void dateChange();
    void fullGL(bool on);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void relayoutSidePanels();
    void setPlaybackControlsVisible(bool visible);
    void installPlaybackControls();
    void placeCalendar();
    QWidget *host();

    std::unique_ptr<Ui::MainWindow> ui;
    QString devCaption;
    SidePanels *m_sidePanels = nullptr;
    AlertNotifier *m_alerts = nullptr;
    CenterPopups *m_popups = nullptr;
    DeviceEvents *io = nullptr;
    Decode *decode = nullptr;
    Dev *dev = nullptr;
    SystemInfo *systemInfo = nullptr;
    Video *video = nullptr;
    ViewControl *view = nullptr;
    MenuDevList *m_devList = nullptr;
    bool scaleApplied = false;
    bool closing = false;
    TimelinePanel *m_timeline = nullptr;
    MenuPtz *m_ptz = nullptr;
    System *m_system = nullptr;
    QCalendarWidget *m_calendar = nullptr;
    bool m_fullGl = false;
};
