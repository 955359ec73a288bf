#include "devtree/MenuDevList.h"

#include "core/UserService.h"

#include "devtree/DevManageBtn.h"
#include "devtree/MenuListDev.h"
#include "diagnostics/SystemInfo.h"
#include "model/Channel.h"
#include "model/Dev.h"
#include "model/Device.h"
#include "view/ViewControl.h"
#include "view/WaitingCircle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

MenuDevList::MenuDevList(QWidget *parent)
    : QWidget(parent)
    , m_view(ViewControl::instance())
    , m_systemInfo(SystemInfo::instance())
    , m_dev(Dev::instance())
    , m_loader(new DeviceListLoader(this))
{
    const SystemInfo *si = m_systemInfo;
    auto *root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(si->scaled(4));

    auto *top = new QWidget(this);
    top->setObjectName(QStringLiteral("widget_search"));
    auto *topLayout = new QHBoxLayout(top);
    topLayout->setContentsMargins(si->scaled(6), si->scaled(4), si->scaled(6), 0);
    topLayout->setSpacing(si->scaled(4));
    m_search = new QLineEdit(top);
    m_search->setObjectName(QStringLiteral("lineEdit_search"));
    m_search->setPlaceholderText(tr("搜索设备"));
    m_search->setClearButtonEnabled(true);
    m_manageIcon = new DevManageBtn(top);
    m_manageIcon->setObjectName(QStringLiteral("label_devManage"));
    m_manageIcon->setFixedSize(si->scaled(20), si->scaled(20));
    m_manageIcon->setStyleSheet(
        QStringLiteral("border-image:url(:/main/images/btnImg/plus.png);background:rgba(0,0,0,0)"));
    m_manageIcon->setToolTip(tr("设备管理"));
    topLayout->addWidget(m_search, 1);
    topLayout->addWidget(m_manageIcon);
    root->addWidget(top);

    m_scroll = new QScrollArea(this);
    m_scroll->setObjectName(QStringLiteral("scrollArea_devList"));
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setWidgetResizable(true);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->verticalScrollBar()->setStyleSheet(
        QStringLiteral("QScrollBar:vertical {width:8px;margin:0px;}"
                       "QScrollBar::handle:vertical {background:#a0a3a9;border-radius:4px;}"));
    auto *scrollContent = new QWidget(m_scroll);
    auto *scrollLayout = new QVBoxLayout(scrollContent);
    scrollLayout->setContentsMargins(0, 0, 0, 0);
    scrollLayout->setSpacing(0);
    m_container = new QWidget(scrollContent);
    m_container->setObjectName(QStringLiteral("widget_devList"));
    auto *rowsLayout = new QVBoxLayout(m_container);
    rowsLayout->setContentsMargins(0, 0, 0, 0);
    rowsLayout->setSpacing(0);
    rowsLayout->setAlignment(Qt::AlignTop);
    m_container->setFixedHeight(0);
    m_status = new QLabel(scrollContent);
    m_status->setObjectName(QStringLiteral("label_listStatus"));
    m_status->setWordWrap(true);
    m_status->setAlignment(Qt::AlignCenter);
    m_status->setStyleSheet(QStringLiteral("color:#c0392b;padding:8px;"));
    m_status->hide();
    scrollLayout->addWidget(m_status);
    scrollLayout->addWidget(m_container);
    scrollLayout->addStretch(1);
    m_scroll->setWidget(scrollContent);
    root->addWidget(m_scroll, 1);

    m_manageText = new DevManageBtn(this);
    m_manageText->setObjectName(QStringLiteral("label_addDevice"));
    m_manageText->setText(tr("设备管理"));
    m_manageText->setAlignment(Qt::AlignCenter);
    m_manageText->setFixedHeight(si->scaled(28));
    m_manageText->setStyleSheet(si->scaleStyleSheet(
        QStringLiteral("color: #4e525a;font-size:12px;font-family: \"微软雅黑\";")));
    root->addWidget(m_manageText);

    // Waiting for the device list; shown over the visible part of the rows.
    m_waiting = new WaitingCircle(m_scroll->viewport());
    m_waiting->show();
    m_waiting->raise();

    connect(m_manageIcon, &DevManageBtn::clicked, this, &MenuDevList::clickedDevManageBtn);
    connect(m_manageText, &DevManageBtn::clicked, this, &MenuDevList::clickedDevManageBtn);
    connect(m_search, &QLineEdit::textChanged, this, &MenuDevList::searchDev);
    connect(m_dev, &Dev::reloadDevMsg, this, &MenuDevList::loadDevList);
    connect(m_loader, &DeviceListLoader::finished, this, &MenuDevList::loaderFinished);
    // A renewed access token: the list's next request carries it.
    connect(UserService::instance(), &UserService::tokenRefreshed, this, [this] {
        const UserInfo *user = UserService::instance()->user();
        if (m_loader->userName() == user->username)
            m_loader->setUser(user->username, user->access_token);
    });
}

MenuDevList::~MenuDevList()
{
    for (MenuListDev *row : std::as_const(m_rows))
        row->detach();
}

void MenuDevList::setUser(const QString &userName, const QString &accessToken)
{
    m_loader->setUser(userName, accessToken);
}

void MenuDevList::setServiceBase(const QString &baseUrl)
{
    m_loader->setServiceBase(baseUrl);
}

void MenuDevList::setCloudRequest(CloudRequest request)
{
    m_loader->setCloudRequest(std::move(request));
}

int MenuDevList::rowHeight() const
{
    return m_systemInfo->scaled(RowHeight);
}

// ---- Loading ---------------------------------------------------------------

void MenuDevList::loadDevList()
{
    if (m_loader->userName() != QLatin1String(LocalAdmin)) {
        // A list on its way from the account service.
        m_status->hide();
        if (!m_waiting) {
            m_waiting = new WaitingCircle(m_scroll->viewport());
            m_waiting->show();
            m_waiting->raise();
            placeWaiting();
        }
    }
    m_loader->load();
}

QString MenuDevList::listStatus() const
{
    return m_status->isHidden() ? QString() : m_status->text();
}

void MenuDevList::reloadDevList()
{
    m_loader->retry();
}

void MenuDevList::getDevResponsed(bool ok, const QByteArray &body)
{
    m_loader->answer(ok, body);
}

void MenuDevList::loaderFinished(DeviceListLoader::Outcome outcome)
{
    using Outcome = DeviceListLoader::Outcome;
    if (outcome == Outcome::NoAnswer) {
        emit devLoaded(false);
        return;
    }
    removeWaiting();
    m_status->setText(outcome == Outcome::GaveUp
                          ? tr("无法从账号服务获取设备列表，请检查网络后重新登录")
                          : tr("账号服务没有返回设备列表"));
    m_status->setVisible(outcome == Outcome::GaveUp || outcome == Outcome::BadAnswer);
    if (outcome == Outcome::GaveUp) {
        emit devLoaded(false);
        return;
    }
    emit devLoaded(outcome == DeviceListLoader::Outcome::Loaded);
    buildRows();
}

// ---- Rows ------------------------------------------------------------------

void MenuDevList::buildRows()
{
    for (MenuListDev *row : std::as_const(m_rows)) {
        // Rows may be rebuilt from inside a row's own signal: they go later.
        row->detach();
        row->hide();
        m_container->layout()->removeWidget(row);
        row->deleteLater();
    }
    m_rows.clear();

    const QList<Device *> devices = m_dev->filteredDevices();
    for (Device *d : devices) {
        auto *row = new MenuListDev(m_container);
        connect(row, &MenuListDev::folded, this, &MenuDevList::resizeDevList);
        connect(row, &MenuListDev::clicked, this, &MenuDevList::selectDev);
        connect(row, &MenuListDev::doubleClicked, this, &MenuDevList::connectDev);
        connect(row, &MenuListDev::rightClicked, this, &MenuDevList::openSubWindowMenu);
        m_container->layout()->addWidget(row);
        row->setDevice(d);
        row->show();
        m_rows.append(row);
    }
    resizeDevList();
}

void MenuDevList::resizeDevList()
{
    const int h = rowHeight();
    int total = 0;
    for (const MenuListDev *row : std::as_const(m_rows))
        total += row->shownRowCount() * h;
    m_container->setFixedHeight(total);
    placeWaiting();
}

void MenuDevList::removeWaiting()
{
    delete m_waiting;
    m_waiting = nullptr;
}

void MenuDevList::placeWaiting()
{
    if (m_waiting)
        m_waiting->relayout();
}

void MenuDevList::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    placeWaiting();
}

// ---- Row actions -----------------------------------------------------------

void MenuDevList::selectDev(MenuListDev *row)
{
    if (!row || !row->device())
        return;
    Device *d = row->device();
    m_dev->setSelectedDevice(d);
    m_dev->setSelectedChannel(d->channelCount() == 1 ? d->channel(0) : row->channel());
    emit selectedDev(row);
}

void MenuDevList::connectDev(MenuListDev *row)
{
    if (row)
        emit connectedDev(row);
}

void MenuDevList::openSubWindowMenu(MenuListDev *row, QMouseEvent *event)
{
    if (row)
        m_view->openSubWindowMenu(row->device(), row->channel(), event);
}

void MenuDevList::clickedDevManageBtn()
{
    m_view->openDevManage(nullptr);
}

void MenuDevList::searchDev(const QString &key)
{
    m_dev->setSearchKey(key);
    buildRows();
}
