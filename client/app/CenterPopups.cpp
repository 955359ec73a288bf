#include "app/CenterPopups.h"

#include "account/UserManage.h"
#include "admin/Alert.h"
#include "admin/ControlPanel.h"
#include "admin/DebugRecord.h"
#include "admin/DevManage.h"
#include "admin/LocalSetting.h"
#include "devtree/DevMenu.h"
#include "model/Dev.h"
#include "view/WindowNumMenu.h"

#include <QMap>
#include <QWidget>

CenterPopups::CenterPopups(QWidget *center, QWidget *viewBox, const AlertLog &alerts,
                           QObject *parent)
    : QObject(parent)
    , m_center(center)
    , m_viewBox(viewBox)
    , m_alerts(alerts)
{}

CenterPopups::~CenterPopups() = default;

void CenterPopups::openDevMenu(Device *device, Channel *channel, QPoint global)
{
    closeDevMenu();
    QPoint at = m_center->mapFromGlobal(global);
    m_devMenu = new DevMenu(m_center);
    m_devMenu->load(device, channel);
    m_devMenu->place(at.x(), at.y());
    if (at.x() + m_devMenu->width() > m_center->width())
        at.rx() = qMax(0, at.x() - m_devMenu->width());
    if (at.y() + m_devMenu->height() > m_center->height())
        at.ry() = qMax(0, m_center->height() - m_devMenu->height());
    m_devMenu->move(at);
    m_devMenu->show();
    m_devMenu->raise();
}

void CenterPopups::closeDevMenu()
{
    delete m_devMenu;
    m_devMenu = nullptr;
}

void CenterPopups::clickAt(QPoint at)
{
    if (m_devMenu && !m_devMenu->geometry().contains(at))
        closeDevMenu();
}

void CenterPopups::toggleWindowNumMenu()
{
    if (m_windowNumMenu) {
        delete m_windowNumMenu;
        m_windowNumMenu = nullptr;
        return;
    }
    m_windowNumMenu = new WindowNumMenu(m_viewBox);
    connect(m_windowNumMenu, &WindowNumMenu::clickWindowMod, this, &CenterPopups::windowModChosen);
    m_windowNumMenu->show();
    m_windowNumMenu->raise();
}

void CenterPopups::closeWindowNumMenu()
{
    if (m_windowNumMenu) {
        m_windowNumMenu->hide();
        m_windowNumMenu->deleteLater();
        m_windowNumMenu = nullptr;
    }
}

void CenterPopups::raiseWindowNumMenu()
{
    if (m_windowNumMenu)
        m_windowNumMenu->raise();
}

void CenterPopups::openControlPanel(int tab)
{
    closeControlPanel();
    QMap<QString, ControlPanel::PageFactory> pages;
    pages.insert(QStringLiteral("widget_btn_1"),
                 [](QWidget *parent) { return new LocalSetting(parent); });
    pages.insert(QStringLiteral("widget_btn_6"),
                 [](QWidget *parent) { return new DebugRecord(parent); });
    pages.insert(QStringLiteral("widget_btn_2"), [this](QWidget *parent) -> QWidget * {
        auto *page = new UserManage(parent);
        connect(page, &UserManage::updateNickNameSuccess, this, &CenterPopups::nickNameChanged);
        return page;
    });
    pages.insert(QStringLiteral("widget_btn_4"),
                 [this](QWidget *parent) { return new AlertList(m_alerts, parent); });
    m_controlPanel = new ControlPanel(pages, m_center);
    connect(m_controlPanel, &ControlPanel::closeMsg, this, &CenterPopups::closeControlPanel);
    m_controlPanel->applyScale();
    m_controlPanel->selectTab(tab);
    m_controlPanel->show();
    m_controlPanel->raise();
}

void CenterPopups::closeControlPanel()
{
    delete m_controlPanel;
    m_controlPanel = nullptr;
}

void CenterPopups::openDevManage(Device *device)
{
    if (!m_devManage) {
        m_devManage = new DevManage(m_center);
        connect(m_devManage, &DevManage::closeWindowMsg, this, &CenterPopups::closeDevManage);
        m_devManage->show();
    }
    m_devManage->raise();
    // "Edit device" of a tree row: the edit page on that device.
    if (device) {
        if (Dev::instance()->selectedDevice() != device)
            Dev::instance()->setSelectedDevice(device);
        m_devManage->selectTab(DevManage::EditTab);
    }
}

void CenterPopups::closeDevManage()
{
    // Closed from inside its own close button's signal: deleted once that returns.
    if (m_devManage) {
        m_devManage->hide();
        m_devManage->deleteLater();
    }
    m_devManage = nullptr;
}
