#pragma once

#include <QList>
#include <QMouseEvent>
#include <QString>
#include <QWidget>

class Channel;
class Dev;
class Device;
class DeviceEvents;
class LabelFoldBtn;
class MenuDevTitle;
class QLabel;
class SystemInfo;

// One row of the device tree: a device row (with one child row per channel
// for a multi-channel device) or a channel row. A single-channel device's row
// stands for its channel 0. The text colour shows the link state: red after a
// failure, green while video of the current mode is on. GUI thread only.
class MenuListDev : public QWidget
{
    Q_OBJECT

public:
    enum TextState { Normal, Failed, Active };

    static constexpr int MaxTitleLength = 12;
    static constexpr const char *DeviceIconStyle =
        "border-image:url(:/main/images/btnImg/DVR.png);background:rgba(0,0,0,0)";
    static constexpr const char *CameraIconStyle =
        "border-image:url(:/main/images/btnImg/c512.png);background:rgba(0,0,0,0)";
    static constexpr const char *SelectedBackground = "background-color:#e6e7e8";

    explicit MenuListDev(QWidget *parent = nullptr);
    ~MenuListDev() override;

    // Sets the row up for a device (with its child rows).
    void setDevice(Device *device);
    // Sets the row up as channel row i of the device.
    void setChannelRow(Device *device, int index);

    Device *device() const { return m_device; }
    Channel *channel() const { return m_channel; }
    const QList<MenuListDev *> &children() const { return m_children; }
    bool isOpen() const { return m_open; }
    // Row for exactly this channel (itself or a child), or null.
    MenuListDev *rowOf(const Channel *channel);

    QString title() const;
    TextState textState() const { return m_textState; }
    bool isHighlighted() const { return m_highlighted; }
    // Number of rows shown by this row (itself, plus its children when open).
    int shownRowCount() const;

    // Stops following the hubs (before the row is thrown away).
    void detach();

    LabelFoldBtn *foldButton() const { return m_fold; }
    MenuDevTitle *titleStrip() const { return m_title; }

    // Title of a device row: the caption, cut to 11 characters and "..."
    // when longer than 12.
    static QString titleFor(const QString &caption);
    // Types shown with the camera icon rather than the recorder icon.
    static bool isCameraType(int type);
    // Style sheet of a text state before scaling.
    static QString textStyle(TextState state);

signals:
    void folded();
    void clicked(MenuListDev *row);
    void doubleClicked(MenuListDev *row);
    void rightClicked(MenuListDev *row, QMouseEvent *event);
    void devClosed(Channel *channel);

public slots:
    void clickedFold(LabelFoldBtn *button, bool open);
    void clickedDev(MenuDevTitle *title);
    void clickedChannel(MenuListDev *row);
    void doubleClickedDev(MenuDevTitle *title);
    void doubleClickedChannel(MenuListDev *row);
    void rightClickedDev(MenuDevTitle *title, QMouseEvent *event);
    void rightClickedChannel(MenuListDev *row, QMouseEvent *event);
    void connectDevSuccess(Channel *channel);
    void connectChannelSuccess(Channel *channel);
    void connectDevFail(Channel *channel);
    void connectChannelFail(Channel *channel);
    void videoRequestStopSuccess(Channel *channel);
    void showDevClosed(Channel *channel);
    void selectChannelByClickScreen(Channel *channel);
    void selectDev(Device *device);
    void selectChannel(Channel *channel);
    void changeMod(bool live);

private:
    // A device row of a multi-channel device (no own channel).
    bool isDeviceRowOf(const Channel *channel) const;
    bool anyVideoOn(bool live) const;
    bool currentLive() const;
    void setTextState(TextState state);
    void setHighlighted(bool on);
    void setIcon(bool camera);
    void clearChildren();

    MenuDevTitle *m_title;
    LabelFoldBtn *m_fold;
    QLabel *m_foldPlaceHolder;
    QLabel *m_icon;
    QLabel *m_name;
    QWidget *m_channelBox;
    Device *m_device = nullptr;
    Channel *m_channel = nullptr;
    Dev *m_dev;
    SystemInfo *m_systemInfo;
    QList<MenuListDev *> m_children;
    bool m_open = false;
    DeviceEvents *m_events;
    TextState m_textState = Normal;
    bool m_highlighted = false;
};
