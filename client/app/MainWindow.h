#pragma once

#include <QList>
#include <QMainWindow>
#include <QPoint>
#include <QString>

#include <memory>

class Dev;
class Device;
class LabelFoldBtn;
class LabelSystemBtn;
class SystemInfo;
class WidgetBtnLive;
class WidgetMenuWindow;
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
    // Shows the logged-in user's display name in the header.
    void setUser(const UserInfo &user);

    // The header text for a user: nick name, user name, telephone or e-mail,
    // the first one not empty; 7 characters or more are cut to 5 and "...".
    static QString displayName(const UserInfo &user);

    // True while the grid shows live video, false during remote playback.
    bool isLive() const { return live; }

    using QMainWindow::close;

signals:
    // A drag of the header by this offset; the host moves itself.
    void moveMsg(QPoint delta);
    // Live / playback switch done; true = live.
    void changeModMsg(bool live);
    // Emitted by the close button after the streams are closed, right before
    // the event loop is told to end with status 0.
    void quitMsg();

public slots:
    void clickFold(LabelFoldBtn *button, bool open);
    void minimize(LabelSystemBtn *button);
    void fullscreen(LabelSystemBtn *button, bool on);
    void close(LabelSystemBtn *button);
    void changeMod(WidgetBtnLive *button);
    void selectedDev(Device *device);
    void moveWindow(QPoint delta);

protected:
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void collectFoldSections();
    void relayoutSidePanels();
    void setPlaybackControlsVisible(bool visible);
    QWidget *host();

    std::unique_ptr<Ui::MainWindow> ui;
    QString devCaption;
    int menuWidth = 0;
    int menuHeight = 0;
    QList<LabelFoldBtn *> foldButtons;
    QList<WidgetMenuWindow *> foldPanels;
    QList<QWidget *> foldHeaders;
    WidgetMenuWindow *openPanel = nullptr;
    Dev *dev = nullptr;
    SystemInfo *systemInfo = nullptr;
    bool live = true;
    bool scaleApplied = false;
};
