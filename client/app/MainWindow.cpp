#include "app/MainWindow.h"

#include "admin/Alert.h"
#include "admin/DevManage.h"
#include "admin/System.h"
#include "app/ActionNotices.h"
#include "app/AlertNotifier.h"
#include "app/AppServices.h"
#include "app/CenterPopups.h"
#include "app/DeviceRelease.h"
#include "app/GridKeys.h"
#include "app/LayoutBar.h"
#include "app/Header.h"
#include "app/LabelHeaderBtn.h"
#include "app/LabelSystemBtn.h"
#include "app/SidePanels.h"
#include "app/WidgetBtnLive.h"
#include "config/Location.h"
#include "core/UserService.h"
#include "devtree/MenuDevList.h"
#include "devtree/MenuListDev.h"
#include "diagnostics/SystemInfo.h"
#include "link/DeviceEvents.h"
#include "link/DeviceLinks.h"
#include "media/Audio.h"
#include "media/Decode.h"
#include "media/Video.h"
#include "media/VideoRecord.h"
#include "model/Channel.h"
#include "model/Dev.h"
#include "model/Device.h"
#include "model/UserInfo.h"
#include "ptz/MenuPtz.h"
#include "ui_MainWindow.h"
#include "view/LabelWindowNumBtn.h"
#include "view/ViewControl.h"
#include "view/WallLayouts.h"
#include "widgets/LabelFoldBtn.h"
#include "widgets/LabelFullScreen.h"

#include <QCoreApplication>
#include <QCursor>
#include <QLayout>
#include <QMouseEvent>
#include <QResizeEvent>
#include <QVBoxLayout>

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , ui(std::make_unique<Ui::MainWindow>())
    , devCaption(tr("[未选择设备]"))
{
    io = DeviceLinks::events();
    decode = Decode::instance();
    dev = Dev::instance();
    systemInfo = SystemInfo::instance();
    video = Video::instance();
    view = ViewControl::instance();

    // The services below the widgets, wired once for the process.
    AppServices::instance();

    connect(view, &ViewControl::closeMenuMsg, this, &MainWindow::closeMenu);

    ui->setupUi(this);
    installPlaybackControls();
    // The named layouts, after the live and playback buttons.
    ui->horizontalLayout_controlBar->insertWidget(
        2, new LayoutBar(WallLayouts::instance(), ui->widget_2));
    setBrand(150);
    m_sidePanels = new SidePanels(ui->widget_menu, this);
    m_alerts = new AlertNotifier(ui->widget_center, this);
    m_alerts->watch(io);
    new ActionNotices(ui->widget_viewBox, this);
    m_popups = new CenterPopups(ui->widget_center, ui->widget_viewBox, m_alerts->log(), this);
    connect(m_popups, &CenterPopups::windowModChosen, this, &MainWindow::selectWindowMod);
    connect(m_popups, &CenterPopups::nickNameChanged, this, [this] {
        ui->label_userName->setText(UserService::displayName(*UserService::instance()->user()));
    });
    ui->horizontalSlider_volume->setRange(0, Audio::MaxVolume);
    ui->horizontalSlider_volume->setValue(Audio::instance()->volume());
    connect(ui->horizontalSlider_volume, &QSlider::valueChanged, Audio::instance(),
            &Audio::setVolume);

    connect(ui->label_icon_minimize, &LabelSystemBtn::clicked, this, &MainWindow::minimize);
    connect(ui->label_userName, &LabelHeaderBtn::clicked, this, &MainWindow::openUser);
    connect(ui->label_controlPanel_btn, &LabelHeaderBtn::clicked, this,
            &MainWindow::openControlPanel);
    connect(ui->label_icon_fullscreen, &LabelSystemBtn::clicked, this, &MainWindow::fullscreen);
    connect(ui->label_icon_close, &LabelSystemBtn::clicked, this,
            qOverload<LabelSystemBtn *>(&MainWindow::close));
    connect(ui->widget_btn_life, &WidgetBtnLive::clicked, this, &MainWindow::changeMod);
    connect(ui->widget_btn_playback, &WidgetBtnLive::clicked, this, &MainWindow::changeMod);
    ui->widget_btn_life->setSelected(view->isLive());
    ui->widget_btn_playback->setSelected(!view->isLive());
    connect(ui->label_windowNum, &LabelWindowNumBtn::clickWindowMenu, this,
            &MainWindow::showWindowNumMenu);

    ui->label_version->setText(QStringLiteral(ORVANE_VERSION_TEXT));
    ui->label_devName->setText(devCaption);

    m_devList = new MenuDevList(ui->widget_menu_devList);
    connect(m_devList, &MenuDevList::devLoaded, this, [this](bool ok) {
        if (ok)
            WallLayouts::instance()->restoreOnce();
    });
    ui->widget_menu_devList->layout()->addWidget(m_devList);
    // The PTZ panel in its fold; the arrow keys steer too while the grid has the focus.
    m_ptz = new MenuPtz(ui->widget_menu_ptz);
    if (!ui->widget_menu_ptz->layout())
        new QVBoxLayout(ui->widget_menu_ptz);
    ui->widget_menu_ptz->layout()->addWidget(m_ptz);
    // The stream information page in the third fold.
    m_system = new System(ui->widget_menu_devOpt);
    if (!ui->widget_menu_devOpt->layout())
        new QVBoxLayout(ui->widget_menu_devOpt);
    ui->widget_menu_devOpt->layout()->addWidget(m_system);
    m_system->scale();
    ui->widget_viewBox->setFocusPolicy(Qt::ClickFocus);
    // The grid's keys, while the grid has the focus (F1 lists them).
    auto *keys = new GridKeys({ui->widget_viewBox, m_ptz, m_timeline, ui->label_icon_pause,
                               qobject_cast<LabelFullScreen *>(ui->label_icon_fullGl)},
                              this);
    connect(keys, &GridKeys::windowModChosen, this, &MainWindow::selectWindowMod);
    m_devList->setUser(QString::fromLatin1(MenuDevList::LocalAdmin), QString());
    connect(dev, &Dev::selectDevMsg, this, &MainWindow::selectedDev);
    connect(m_devList, &MenuDevList::connectedDev, this, &MainWindow::connectedDev);
    connect(view, &ViewControl::openedSubWindowMenuMsg, this, &MainWindow::openedSubWindowMenu);
    connect(view, &ViewControl::doubleClickScreenMsg, this, &MainWindow::doubleClickScreen);
    connect(view, &ViewControl::openDevManageMsg, this, &MainWindow::openDevManage);

    relayoutSidePanels();
    m_sidePanels->openFirst();
    dev->reload();

    // Live view is the start mode: the playback controls stay hidden until
    // the playback button is chosen.
    setPlaybackControlsVisible(false);
    connect(ui->widget_header, &Header::moveMsg, this, &MainWindow::moveWindow);
}

MainWindow::~MainWindow() = default;

void MainWindow::setBrand(int code)
{
    // Every brand variant shows the product logo; 149 gives it a fixed size.
    ui->label_logo->setStyleSheet(
        QStringLiteral("image: url(:/login/150/images/logo/orvane_logo.png);"
                       "background-color:rgba(255,255,255,0)"));
    ui->label->setText(tr("Orvane网络视频监控"));
    if (code == 149) {
        ui->label_logo->setFixedSize(150, 60);
        return;
    }
    ui->label_logo->setMaximumHeight(30);
    ui->label_logo->setMinimumWidth(96);
    if (code == 150)
        ui->horizontalLayout_logo->setStretch(0, 1);
}

void MainWindow::setUser(const UserInfo &user)
{
    ui->label_userName->setText(UserService::displayName(user));
    // The constructor loaded the local list; a cloud user has a list of
    // their own on the account service.
    if (!user.username.isEmpty() && user.username != QLatin1String(MenuDevList::LocalAdmin)) {
        m_devList->setUser(user.username, user.access_token);
        m_devList->loader()->useAccountService();
        releaseAllDevices(); // the local list loaded at the start is not theirs
        dev->reload();
    }
}

void MainWindow::openControlPanel()
{
    m_popups->openControlPanel(0);
}

void MainWindow::openUser()
{
    m_popups->openControlPanel(1);
}

void MainWindow::closeControlPanel()
{
    m_popups->closeControlPanel();
}

bool MainWindow::isLive() const
{
    return view->isLive();
}

void MainWindow::openAlert(Channel *channel, int code, const QString &text)
{
    m_alerts->show(channel, code, text);
}

void MainWindow::openAlert(int code, const QString &text)
{
    openAlert(nullptr, code, text);
}

void MainWindow::closeAlert()
{
    m_alerts->close();
}

Alert *MainWindow::alert() const
{
    return m_alerts->alert();
}

const AlertLog &MainWindow::alertLog() const
{
    return m_alerts->log();
}

void MainWindow::clickFold(LabelFoldBtn *button, bool open)
{
    m_sidePanels->clickFold(button, open);
}

void MainWindow::relayoutSidePanels()
{
    const QWidget *column = ui->widget_menuBox;
    ui->widget_menu->setFixedHeight(column->height());
    // The panels share what the headers leave of the column.
    const int height = column->height() - 9;
    const bool shown = column->width() >= 1 && height >= 1;
    if (shown)
        view->setSize(ui->widget_viewBox->width(), ui->widget_viewBox->height());
    m_sidePanels->fit(height, shown);
}

void MainWindow::setPlaybackControlsVisible(bool visible)
{
    ui->widget_progressBar->setVisible(visible);
    ui->label_dateBtn->setVisible(visible);
    if (!visible)
        closeCalendar();
    if (!visible) {
        // Pause and the fast buttons appear only while a playback runs.
        ui->label_icon_pause->hide();
        ui->label_icon_fb->hide();
        ui->label_icon_ff->hide();
        ui->widget_icon_fbBox->hide();
        ui->widget_icon_ffBox->hide();
    }
}

void MainWindow::changeMod(WidgetBtnLive *button)
{
    const bool live = view->isLive();
    if (button == ui->widget_btn_life && !live) {
        setPlaybackControlsVisible(false);
    } else if (button == ui->widget_btn_playback && live) {
        setPlaybackControlsVisible(true);
    } else {
        return;
    }
    ui->widget_btn_life->setSelected(!live);
    ui->widget_btn_playback->setSelected(live);
    view->changeMod(!live);
}

void MainWindow::selectedDev(Device *device)
{
    if (!device)
        return;
    devCaption = device->nickName().isEmpty() ? device->uid() : device->nickName();
    ui->label_devName->setText(devCaption);
}

void MainWindow::connectedDev(MenuListDev *row)
{
    if (row && row->channel())
        view->prepareChannel(row->channel(), false);
}

void MainWindow::showWindowNumMenu()
{
    m_popups->toggleWindowNumMenu();
}

void MainWindow::selectWindowMod(WINDOW_MOD mod)
{
    // The choice comes from inside the popup: it goes once the click is done.
    m_popups->closeWindowNumMenu();
    view->setWindowMod(mod);
    ui->label_windowNum->setOpen(false);
}

void MainWindow::doubleClickScreen(Channel *)
{
    m_popups->raiseWindowNumMenu();
}

void MainWindow::openedSubWindowMenu(Device *device, Channel *channel, QMouseEvent *event)
{
    m_popups->openDevMenu(device, channel,
                          event ? event->globalPosition().toPoint() : QCursor::pos());
}

void MainWindow::closeMenu()
{
    m_popups->closeDevMenu();
}

void MainWindow::openDevManage(Device *device)
{
    m_popups->openDevManage(device);
}

void MainWindow::closeDevManage()
{
    m_popups->closeDevManage();
}

DevOpt *MainWindow::devOptions() const
{
    return devManage() ? devManage()->devOptPage() : nullptr;
}

DevManage *MainWindow::devManage() const
{
    return m_popups->devManage();
}

ControlPanel *MainWindow::controlPanel() const
{
    return m_popups->controlPanel();
}

DevMenu *MainWindow::devMenu() const
{
    return m_popups->devMenu();
}

WindowNumMenu *MainWindow::windowNumMenu() const
{
    return m_popups->windowNumMenu();
}

void MainWindow::mousePressEvent(QMouseEvent *event)
{
    m_popups->clickAt(ui->widget_center->mapFrom(this, event->position().toPoint()));
    QMainWindow::mousePressEvent(event);
}

QWidget *MainWindow::host()
{
    return parentWidget() ? parentWidget()->window() : this;
}

void MainWindow::minimize(LabelSystemBtn *)
{
    host()->showMinimized();
}

void MainWindow::fullscreen(LabelSystemBtn *, bool on)
{
    if (on)
        host()->setWindowState(host()->windowState() | Qt::WindowMaximized);
    else
        host()->showNormal();
}

void MainWindow::close(LabelSystemBtn *)
{
    if (closing)
        return;
    closing = true;
    // Windows of their own come back at the next start.
    WallLayouts::instance()->shutdown();
    // Everything stops in order right here, on this thread, so the devices
    // hear of it and the recordings are finished before the process ends;
    // the wait for running link tasks is bounded: closing never hangs on a
    // device.
    AppServices::instance()->stop();
    QCoreApplication::exit(0);
}

void MainWindow::moveWindow(QPoint delta)
{
    emit moveMsg(delta);
}

void MainWindow::fitToParent()
{
    followParent();
    if (scaleApplied)
        return;
    scaleApplied = true;
    if (systemInfo->scale() <= 1.0)
        return;
    // Header, side-column headers, caption line and control bar: sizes and
    // font sizes grow with the UI scale. The panels scale their own content.
    QList<QWidget *> scaled{ui->widget_header, ui->widget_menuBox, ui->widget_devNameBar,
                            ui->widget_2, ui->widget_progressBar};
    scaled += m_sidePanels->headers();
    for (QWidget *root : std::as_const(scaled)) {
        QList<QWidget *> widgets = root->findChildren<QWidget *>();
        widgets.prepend(root);
        for (QWidget *w : std::as_const(widgets)) {
            systemInfo->scaleSizeLimits(w);
            if (w->styleSheet().contains(QLatin1String("font-size:")))
                systemInfo->scaleFont(w, SystemInfo::Normal);
        }
    }
    systemInfo->scaleFont(ui->label, SystemInfo::Large);
    systemInfo->scaleFont(ui->label_version, SystemInfo::Small);
    followParent();
}

void MainWindow::followParent()
{
    if (QWidget *parent = parentWidget())
        setGeometry(0, 0, parent->width(), parent->height());
    relayoutSidePanels();
    if (m_calendar)
        placeCalendar();
}

void MainWindow::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange) {
        ui->retranslateUi(this);
        setBrand(150);
        if (!dev->selectedDevice())
            devCaption = tr("[未选择设备]");
        ui->label_devName->setText(devCaption);
    }
    QMainWindow::changeEvent(event);
}

void MainWindow::start()
{
    show();
    view->attach(ui->widget_viewBox);
    // The local list is loaded by now; an account's comes later (devLoaded).
    if (!dev->devices().isEmpty())
        WallLayouts::instance()->restoreOnce();
}

void MainWindow::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    relayoutSidePanels();
}

void MainWindow::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    relayoutSidePanels();
}
