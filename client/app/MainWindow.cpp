#include "app/MainWindow.h"

#include "account/AccountRequests.h"
#include "account/AccountSettings.h"
#include "account/UserManage.h"
#include "admin/Alert.h"
#include "admin/ControlPanel.h"
#include "admin/DebugRecord.h"
#include "admin/LocalSetting.h"
#include "account/UserService.h"
#include "admin/DevManage.h"
#include "admin/System.h"
#include "app/AppServices.h"
#include "app/Header.h"
#include "app/LabelHeaderBtn.h"
#include "app/LabelSystemBtn.h"
#include "app/WidgetBtnLive.h"
#include "app/WidgetMenuWindow.h"
#include "config/Location.h"
#include "devtree/DevMenu.h"
#include "devtree/MenuDevList.h"
#include "devtree/MenuListDev.h"
#include "diagnostics/SystemInfo.h"
#include "link/DeviceLinks.h"
#include "link/IoConnect.h"
#include "media/Audio.h"
#include "media/Decode.h"
#include "media/Video.h"
#include "media/VideoRecord.h"
#include "model/Channel.h"
#include "model/Dev.h"
#include "model/Device.h"
#include "model/UserInfo.h"
#include "ptz/MenuPtz.h"
#include "playback/TimeBox.h"
#include "ui_MainWindow.h"
#include "view/LabelWindowNumBtn.h"
#include "view/ViewControl.h"
#include "view/WindowNumMenu.h"
#include "widgets/LabelFoldBtn.h"

#include <QCoreApplication>
#include <QCursor>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QLayout>
#include <QMouseEvent>
#include <QKeyEvent>
#include <QResizeEvent>
#include <QVBoxLayout>

namespace {} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , ui(std::make_unique<Ui::MainWindow>())
    , devCaption(tr("[未选择设备]"))
    , m_alertLog(std::make_unique<AlertLog>())
{
    io = IoConnect::instance();
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
    setBrand(150);
    collectFoldSections();
    ui->horizontalSlider_volume->setRange(0, Audio::MaxVolume);
    ui->horizontalSlider_volume->setValue(Audio::instance()->volume());
    connect(ui->horizontalSlider_volume, &QSlider::valueChanged, Audio::instance(),
            &Audio::setVolume);

    for (LabelFoldBtn *button : std::as_const(foldButtons))
        connect(button, &LabelFoldBtn::clicked, this, &MainWindow::clickFold);
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
    ui->widget_viewBox->installEventFilter(this);
    m_devList->setUser(QString::fromLatin1(MenuDevList::LocalAdmin), QString());
    connect(dev, &Dev::selectDevMsg, this, &MainWindow::selectedDev);
    connect(m_devList, &MenuDevList::connectedDev, this, &MainWindow::connectedDev);
    connect(view, &ViewControl::openedSubWindowMenuMsg, this, &MainWindow::openedSubWindowMenu);
    connect(view, &ViewControl::doubleClickScreenMsg, this, &MainWindow::doubleClickScreen);
    connect(view, &ViewControl::openDevManageMsg, this, &MainWindow::openDevManage);
    connectLinkFailures();

    relayoutSidePanels();
    if (!foldButtons.isEmpty())
        foldButtons.first()->toggle(true);
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
    ui->label_userName->setText(displayName(user));
    // The constructor loaded the local list; a cloud user has a list of
    // their own on the account service.
    if (!user.username.isEmpty() && user.username != QLatin1String(MenuDevList::LocalAdmin)) {
        m_devList->setUser(user.username, user.access_token);
        m_devList->setServiceBase(AccountSettings::baseUrl());
        m_devList->setCloudRequest(
            [this](const QString &url, const QByteArray &params, MenuDevList::Done done) {
                AccountRequests::postTo(url, QString::fromUtf8(params), this, std::move(done));
            });
        dev->reload();
    }
}

void MainWindow::openControlPanel()
{
    openPanelOn(0);
}

void MainWindow::openUser()
{
    openPanelOn(1);
}

void MainWindow::openPanelOn(int tab)
{
    closeControlPanel();
    QMap<QString, ControlPanel::PageFactory> pages;
    pages.insert(QStringLiteral("widget_btn_1"),
                 [](QWidget *parent) { return new LocalSetting(parent); });
    pages.insert(QStringLiteral("widget_btn_6"),
                 [](QWidget *parent) { return new DebugRecord(parent); });
    pages.insert(QStringLiteral("widget_btn_2"), [this](QWidget *parent) -> QWidget * {
        auto *page = new UserManage(parent);
        connect(page, &UserManage::updateNickNameSuccess, this, [this] {
            ui->label_userName->setText(displayName(*UserService::instance()->user()));
        });
        return page;
    });
    pages.insert(QStringLiteral("widget_btn_4"),
                 [this](QWidget *parent) { return new AlertList(*m_alertLog, parent); });
    m_controlPanel = new ControlPanel(pages, ui->widget_center);
    connect(m_controlPanel, &ControlPanel::closeMsg, this, &MainWindow::closeControlPanel);
    m_controlPanel->applyScale();
    m_controlPanel->selectTab(tab);
    m_controlPanel->show();
    m_controlPanel->raise();
}

void MainWindow::closeControlPanel()
{
    delete m_controlPanel;
    m_controlPanel = nullptr;
}

bool MainWindow::isLive() const
{
    return view->isLive();
}

void MainWindow::connectLinkFailures()
{
    using Failure = void (IoConnect::*)(Channel *, int, QString);
    const Failure failures[] = {
        &IoConnect::connectDevFailMsg,
        &IoConnect::connectChannelFailMsg,
        &IoConnect::videoRequestFailMsg,
        &IoConnect::videoRequestStopFailMsg,
        &IoConnect::requestReplayVideoTimeFailMsg,
        &IoConnect::startReplayControlFailMsg,
        &IoConnect::startReplayFailMsg,
        &IoConnect::stopReplayFailMsg,
        &IoConnect::changeQualityFailMsg,
        &IoConnect::audioControlFailMsg,
        &IoConnect::ptzFailMsg,
        &IoConnect::receiveVideoTimeEmptyMsg,
        &IoConnect::audioSendControlFailMsg,
        &IoConnect::setTimeZoneFailMsg,
        &IoConnect::setTimeFailMsg,
        &IoConnect::changeReplayTimeFailMsg,
        &IoConnect::setWifiFailMsg,
        &IoConnect::pauseReplayFailMsg,
    };
    for (Failure failure : failures)
        connect(io, failure, this,
                qOverload<Channel *, int, const QString &>(&MainWindow::openAlert));
    connect(io, &IoConnect::startLANSearchFailMsg, this,
            qOverload<int, const QString &>(&MainWindow::openAlert));
    // One alert per lost device; the link reconnects by itself.
    connect(io, &IoConnect::deviceOfflineMsg, this,
            [this](Device *d, int code, const QString &text) {
                AlertEntry entry;
                entry.first = entry.last = QDateTime::currentDateTime();
                entry.device = d->uid();
                entry.code = code;
                entry.text = text;
                showAlert(entry);
            });
    connect(io, &IoConnect::deviceOnlineMsg, this,
            [](Device *d) { qInfo("%s: link back", qUtf8Printable(d->uid())); });
}

void MainWindow::openAlert(Channel *channel, int code, const QString &text)
{
    AlertEntry entry;
    entry.first = entry.last = QDateTime::currentDateTime();
    entry.device = AlertEntry::deviceText(channel);
    entry.code = code;
    entry.text = text;
    showAlert(entry);
}

void MainWindow::openAlert(int code, const QString &text)
{
    openAlert(nullptr, code, text);
}

void MainWindow::showAlert(const AlertEntry &entry)
{
    qWarning("alert %s: %d %s", qUtf8Printable(entry.device), entry.code,
             qUtf8Printable(entry.text));
    // A burst of one failure raises the count of the alert on screen; a
    // different failure replaces it.
    const bool repeated = m_alertLog->add(entry);
    if (repeated && m_alert && m_alert->entry().sameFailure(entry)) {
        m_alert->setMessage(m_alertLog->entries().last());
        return;
    }
    closeAlert();
    m_alert = new Alert(ui->widget_center);
    connect(m_alert, &Alert::closeMsg, this, &MainWindow::closeAlert);
    m_alert->applyScale();
    m_alert->setMessage(m_alertLog->entries().last());
    m_alert->show();
    m_alert->raise();
}

void MainWindow::closeAlert()
{
    delete m_alert;
    m_alert = nullptr;
}

QString MainWindow::displayName(const UserInfo &user)
{
    QString name;
    for (const QString *field : {&user.NickName, &user.username, &user.phone, &user.userEmail}) {
        if (!field->isEmpty()) {
            name = *field;
            break;
        }
    }
    if (name.size() >= 7)
        name = name.left(5) + QStringLiteral("...");
    return name;
}

void MainWindow::collectFoldSections()
{
    // Each child of widget_menu besides its layout is one section: a header
    // (holding the fold arrow) and the panel that folds out below it.
    const QObjectList sections = ui->widget_menu->children();
    for (QObject *object : sections) {
        if (object->objectName() == QLatin1String("gridLayout_7") || !object->isWidgetType())
            continue;
        QWidget *header = nullptr;
        WidgetMenuWindow *panel = nullptr;
        for (QObject *child : object->children()) {
            if (auto *menuWindow = qobject_cast<WidgetMenuWindow *>(child))
                panel = menuWindow;
            else if (!header && child->isWidgetType())
                header = static_cast<QWidget *>(child);
        }
        if (!header || !panel)
            continue;
        LabelFoldBtn *button = nullptr;
        for (QObject *child : header->children()) {
            if (child->objectName().indexOf(QLatin1String("fold")) > 0) {
                button = qobject_cast<LabelFoldBtn *>(child);
                break;
            }
        }
        if (!button)
            continue;
        foldHeaders.append(header);
        foldButtons.append(button);
        foldPanels.append(panel);
        panel->close();
    }
}

void MainWindow::clickFold(LabelFoldBtn *button, bool open)
{
    if (!open) {
        if (openPanel)
            openPanel->toggle();
        openPanel = nullptr;
        return;
    }
    const int index = foldButtons.indexOf(button);
    if (index < 0)
        return;
    openPanel = foldPanels.at(index);
    for (LabelFoldBtn *other : std::as_const(foldButtons)) {
        if (other != button && other->isOpen())
            other->toggle(false);
    }
    for (WidgetMenuWindow *panel : std::as_const(foldPanels)) {
        if (panel != openPanel && panel->isOpen())
            panel->close();
    }
    openPanel->setHeight(menuHeight);
    if (!openPanel->isOpen())
        openPanel->toggle();
}

void MainWindow::relayoutSidePanels()
{
    ui->widget_menu->setFixedHeight(ui->widget_menuBox->height());
    menuWidth = ui->widget_menuBox->width();
    menuHeight = ui->widget_menuBox->height() - 9;
    if (menuWidth < 1 || menuHeight < 1)
        return;
    view->setSize(ui->widget_viewBox->width(), ui->widget_viewBox->height());
    for (QWidget *header : std::as_const(foldHeaders))
        menuHeight -= header->height() + 1;
    if (menuHeight < 1)
        return;
    for (WidgetMenuWindow *panel : std::as_const(foldPanels))
        panel->setHeight(menuHeight);
}

void MainWindow::setPlaybackControlsVisible(bool visible)
{
    ui->widget_progressBar->setVisible(visible);
    ui->label_dateBtn->setVisible(visible);
    if (m_timeBox)
        m_timeBox->setShown(visible);
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
    placeTimeBox();
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
    if (m_windowNumMenu) {
        delete m_windowNumMenu;
        m_windowNumMenu = nullptr;
        return;
    }
    m_windowNumMenu = new WindowNumMenu(ui->widget_viewBox);
    connect(m_windowNumMenu, &WindowNumMenu::clickWindowMod, this, &MainWindow::selectWindowMod);
    m_windowNumMenu->show();
    m_windowNumMenu->raise();
}

void MainWindow::selectWindowMod(WINDOW_MOD mod)
{
    // The choice comes from inside the popup: it goes once the click is done.
    if (m_windowNumMenu) {
        m_windowNumMenu->hide();
        m_windowNumMenu->deleteLater();
        m_windowNumMenu = nullptr;
    }
    view->setWindowMod(mod);
    ui->label_windowNum->setOpen(false);
}

void MainWindow::doubleClickScreen(Channel *)
{
    if (m_windowNumMenu)
        m_windowNumMenu->raise();
}

void MainWindow::openedSubWindowMenu(Device *device, Channel *channel, QMouseEvent *event)
{
    closeMenu();
    const QPoint global = event ? event->globalPosition().toPoint() : QCursor::pos();
    QPoint at = ui->widget_center->mapFromGlobal(global);
    m_devMenu = new DevMenu(ui->widget_center);
    m_devMenu->load(device, channel);
    m_devMenu->place(at.x(), at.y());
    // Near the right or bottom edge the menu opens to the left or upwards.
    if (at.x() + m_devMenu->width() > ui->widget_center->width())
        at.rx() = qMax(0, at.x() - m_devMenu->width());
    if (at.y() + m_devMenu->height() > ui->widget_center->height())
        at.ry() = qMax(0, ui->widget_center->height() - m_devMenu->height());
    m_devMenu->move(at);
    m_devMenu->show();
    m_devMenu->raise();
}

void MainWindow::closeMenu()
{
    delete m_devMenu;
    m_devMenu = nullptr;
}

void MainWindow::openDevManage(Device *device)
{
    if (!m_devManage) {
        m_devManage = new DevManage(ui->widget_center);
        connect(m_devManage, &DevManage::closeWindowMsg, this, &MainWindow::closeDevManage);
        m_devManage->show();
    }
    m_devManage->raise();
    // "Edit device" of a tree row: the edit page on that device.
    if (device) {
        if (dev->selectedDevice() != device)
            dev->setSelectedDevice(device);
        m_devManage->selectTab(DevManage::EditTab);
    }
}

void MainWindow::closeDevManage()
{
    // Closed from inside its own close button's signal: deleted once that returns.
    if (m_devManage) {
        m_devManage->hide();
        m_devManage->deleteLater();
    }
    m_devManage = nullptr;
}

DevOpt *MainWindow::devOptions() const
{
    return m_devManage ? m_devManage->devOptPage() : nullptr;
}

void MainWindow::mousePressEvent(QMouseEvent *event)
{
    if (m_devMenu) {
        const QPoint at = ui->widget_center->mapFrom(this, event->position().toPoint());
        if (!m_devMenu->geometry().contains(at))
            closeMenu();
    }
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
    scaled += foldHeaders;
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
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ui->widget_viewBox && m_ptz &&
        (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease)) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (m_ptz->handleKey(key->key(), event->type() == QEvent::KeyPress, key->isAutoRepeat()))
            return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    relayoutSidePanels();
    placeTimeBox();
}

void MainWindow::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    relayoutSidePanels();
}
