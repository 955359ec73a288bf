#pragma once

#include <QObject>
#include <QPoint>

#include "view/WindowMod.h"

class AlertLog;
class Channel;
class ControlPanel;
class DevManage;
class DevMenu;
class Device;
class QWidget;
class WindowNumMenu;

// The popups that open over the main window's centre: the device context
// menu, the window-count menu, the control panel and the device manager.
// Each is created when it opens and deleted when it closes; its accessor is
// null while it is closed. GUI thread only.
class CenterPopups : public QObject
{
    Q_OBJECT

public:
    // center: the area the popups open over; viewBox: the grid's area, where
    // the window-count menu opens; alerts: the log the alert page lists.
    CenterPopups(QWidget *center, QWidget *viewBox, const AlertLog &alerts,
                 QObject *parent = nullptr);
    ~CenterPopups() override;

    DevMenu *devMenu() const { return m_devMenu; }
    WindowNumMenu *windowNumMenu() const { return m_windowNumMenu; }
    ControlPanel *controlPanel() const { return m_controlPanel; }
    DevManage *devManage() const { return m_devManage; }

    // The context menu of a device (and channel) at a global position; near
    // the right or bottom edge it opens to the left or upwards.
    void openDevMenu(Device *device, Channel *channel, QPoint global);
    void closeDevMenu();
    // A click at a point of the centre closes a context menu it missed.
    void clickAt(QPoint at);
    // Opens the window-count menu, or closes it when it is open.
    void toggleWindowNumMenu();
    // Closes the window-count menu once the click inside it is done.
    void closeWindowNumMenu();
    void raiseWindowNumMenu();
    // The control panel on one of its tabs (0: local settings, 1: the user).
    void openControlPanel(int tab);
    void closeControlPanel();
    // The device manager; for a device, on its edit page with the device selected.
    void openDevManage(Device *device);
    void closeDevManage();

signals:
    void windowModChosen(WINDOW_MOD mod);
    // The user page changed the user's nick name.
    void nickNameChanged();

private:
    QWidget *m_center;
    QWidget *m_viewBox;
    const AlertLog &m_alerts;
    DevMenu *m_devMenu = nullptr;
    WindowNumMenu *m_windowNumMenu = nullptr;
    ControlPanel *m_controlPanel = nullptr;
    DevManage *m_devManage = nullptr;
};
