#include "admin/DevManage.h"

#include "admin/AddDev.h"
#include "admin/CloseBtn.h"
#include "admin/DevOpt.h"
#include "admin/QRWindow.h"
#include "admin/SearchDev.h"
#include "admin/TabBtn.h"
#include "diagnostics/SystemInfo.h"
#include "link/DeviceEvents.h"
#include "link/DeviceLinks.h"
#include "view/ViewControl.h"
#include "view/WaitingCircle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOption>
#include <QVBoxLayout>

namespace {

constexpr int BaseWidth = 660;
constexpr int BaseHeight = 460;
constexpr int QrSide = 120;

} // namespace

DevManage::DevManage(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("DevManage"));
    setAttribute(Qt::WA_StyledBackground);
    setStyleSheet(QStringLiteral("#DevManage{background:#f6f6f6;border:1px solid #8a8a8a}"
                                 "#widget_title{background:#313131}"
                                 "#label_title{color:#e2e2e2;font-weight:bold}"
                                 "#widget_close{border-image:url(:/main/images/btnImg/"
                                 "btn_close.png)}#widget_close:hover{border-image:url(:/main/"
                                 "images/btnImg/btn_close_pre.png)}"));
    SystemInfo *si = SystemInfo::instance();
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(1, 1, 1, 1);
    layout->setSpacing(0);

    m_header = new QWidget(this);
    m_header->setObjectName(QStringLiteral("widget_title"));
    m_header->setAttribute(Qt::WA_StyledBackground);
    m_header->setFixedHeight(si->scaled(28));
    m_header->installEventFilter(this);
    auto *headerLayout = new QHBoxLayout(m_header);
    headerLayout->setContentsMargins(si->scaled(8), 0, si->scaled(4), 0);
    auto *title = new QLabel(tr("设备管理"), m_header);
    title->setObjectName(QStringLiteral("label_title"));
    m_close = new CloseBtn(m_header);
    m_close->setObjectName(QStringLiteral("widget_close"));
    m_close->setFixedSize(si->scaled(20), si->scaled(20));
    headerLayout->addWidget(title, 1);
    headerLayout->addWidget(m_close);
    layout->addWidget(m_header);

    auto *tabRow = new QHBoxLayout;
    tabRow->setSpacing(1);
    const std::pair<const char *, QString> tabs[] = {
        {"widget_addDev", tr("添加设备")},
        {"widget_editDev", tr("编辑设备")},
        {"widget_search", tr("局域网搜索")},
        {"widget_devOpt", tr("设备设置")},
    };
    for (const auto &[name, text] : tabs) {
        auto *tab = new TabBtn(text, this);
        tab->setObjectName(QLatin1String(name));
        tab->setFixedHeight(si->scaled(26));
        tabRow->addWidget(tab);
        m_tabs << tab;
        connect(tab, &TabBtn::clicked, this, &DevManage::clickTab);
    }
    layout->addLayout(tabRow);

    m_content = new QWidget(this);
    m_content->setObjectName(QStringLiteral("widget_content"));
    auto *contentLayout = new QVBoxLayout(m_content);
    contentLayout->setContentsMargins(si->scaled(8), si->scaled(8), si->scaled(8), si->scaled(8));
    layout->addWidget(m_content, 1);

    m_qr = new QRWindow(this);
    m_qr->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_qr->setStyleSheet(QStringLiteral("#QRWindow{background:#ffffff}"));
    m_qr->hide();

    connect(m_close, &CloseBtn::clicked, this, &DevManage::closeWindow);
    DeviceEvents *io = DeviceLinks::events();
    connect(io, &DeviceEvents::startLANSearchSuccessMsg, this, &DevManage::stopWaiting);
    // A failed search ends the wait as well; the page says why.
    connect(io, &DeviceEvents::startLANSearchFailMsg, this, &DevManage::stopWaiting);
    ViewControl *view = ViewControl::instance();
    connect(view, &ViewControl::enteredRow, this, &DevManage::enteredRow);
    connect(view, &ViewControl::clickedRow, this, &DevManage::clickedRow);
    connect(view, &ViewControl::leaveTable, this, &DevManage::leaveTable);
    connect(view, &ViewControl::resizeMsg, this, &DevManage::reposition);

    reposition();
    clickTab(m_tabs.first());
}

DevManage::~DevManage() = default;

void DevManage::selectTab(int index)
{
    if (index >= 0 && index < m_tabs.size())
        clickTab(m_tabs.at(index));
}

void DevManage::closeWindow()
{
    emit closeWindowMsg();
}

// ---- Pages -----------------------------------------------------------------

void DevManage::markTab(TabBtn *tab)
{
    for (TabBtn *t : std::as_const(m_tabs))
        t->deselect();
    tab->select();
}

void DevManage::clickTab(TabBtn *tab)
{
    if (!tab)
        return;
    markTab(tab);
    const QString name = tab->objectName();
    if (name == QLatin1String("widget_addDev") || name == QLatin1String("widget_editDev")) {
        showAddPage(name == QLatin1String("widget_addDev"));
    } else if (name == QLatin1String("widget_search")) {
        deleteAddPage();
        deleteDevOptPage();
        deleteSearchPage();
        m_search = new SearchDev(m_content);
        placePage(m_search);
        startWaiting();
        m_search->start();
    } else if (name == QLatin1String("widget_devOpt")) {
        deleteAddPage();
        deleteSearchPage();
        stopWaiting();
        m_qr->hide();
        m_devOpt = new DevOpt(m_content);
        placePage(m_devOpt);
    }
}

void DevManage::showAddPage(bool addMode)
{
    deleteAddPage();
    deleteDevOptPage();
    // The search's indicator belongs to the search page.
    stopWaiting();
    if (m_search)
        m_search->hide();
    m_qr->hide();
    m_addDev = new AddDev(addMode, m_content);
    connect(m_addDev, &AddDev::startCircle, this, &DevManage::startWaiting);
    connect(m_addDev, &AddDev::stopCircle, this, &DevManage::stopWaiting);
    placePage(m_addDev);
}

void DevManage::placePage(QWidget *page)
{
    m_content->layout()->addWidget(page);
    page->show();
    if (m_waiting)
        m_waiting->raise();
}

void DevManage::deleteAddPage()
{
    delete m_addDev;
    m_addDev = nullptr;
}

void DevManage::deleteDevOptPage()
{
    delete m_devOpt;
    m_devOpt = nullptr;
}

void DevManage::deleteSearchPage()
{
    delete m_search;
    m_search = nullptr;
    m_qr->hide();
}

// ---- Search results --------------------------------------------------------

void DevManage::enteredRow(int row)
{
    if (!m_search || !m_search->isVisible() || m_search->onvifAt(row))
        return;
    m_qr->showSearchResult(row);
    m_qr->show();
    m_qr->raise();
}

void DevManage::leaveTable()
{
    m_qr->hide();
}

void DevManage::clickedRow(int row)
{
    if (!m_search || !m_search->isVisible())
        return;
    const std::optional<SearchDev::OnvifHit> onvif = m_search->onvifAt(row);
    markTab(m_tabs.at(AddTab));
    showAddPage(true);
    if (onvif)
        m_addDev->fillFromOnvif(onvif->host, onvif->name, onvif->ptz);
    else
        m_addDev->fillFromSearch(row);
}

// ---- Waiting indicator -----------------------------------------------------

void DevManage::startWaiting()
{
    delete m_waiting;
    m_waiting = new WaitingCircle(m_content);
    m_waiting->show();
    m_waiting->raise();
}

void DevManage::stopWaiting()
{
    delete m_waiting;
    m_waiting = nullptr;
}

// ---- Geometry --------------------------------------------------------------

void DevManage::reposition()
{
    SystemInfo *si = SystemInfo::instance();
    QSize size(si->scaled(BaseWidth), si->scaled(BaseHeight));
    if (QWidget *p = parentWidget()) {
        size = size.boundedTo(p->size());
        resize(size);
        QWidget::move((p->width() - width()) / 2, (p->height() - height()) / 2);
    } else {
        resize(size);
    }
    // The hover code sits at the bottom right, over the table's free end.
    const int side = si->scaled(QrSide);
    m_qr->setGeometry(width() - side - si->scaled(16), height() - side - si->scaled(16), side,
                      side);
    if (m_waiting)
        m_waiting->relayout();
}

void DevManage::moveBy(QPoint delta)
{
    QPoint to = pos() + delta;
    if (QWidget *p = parentWidget()) {
        // The header stays within reach.
        to.setX(qBound(0, to.x(), qMax(0, p->width() - width())));
        to.setY(qBound(0, to.y(), qMax(0, p->height() - m_header->height())));
    }
    delta = to - pos();
    if (delta.isNull())
        return;
    QWidget::move(to);
    emit moveMsg(delta);
}

bool DevManage::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_header)
        return QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        auto *e = static_cast<QMouseEvent *>(event);
        if (e->button() == Qt::LeftButton) {
            m_dragging = true;
            m_dragFrom = e->globalPosition().toPoint();
        }
        break;
    }
    case QEvent::MouseMove:
        if (m_dragging) {
            auto *e = static_cast<QMouseEvent *>(event);
            const QPoint at = e->globalPosition().toPoint();
            const QPoint before = pos();
            moveBy(at - m_dragFrom);
            m_dragFrom += pos() - before;
        }
        break;
    case QEvent::MouseButtonRelease:
        m_dragging = false;
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

void DevManage::paintEvent(QPaintEvent *)
{
    QStyleOption option;
    option.initFrom(this);
    QPainter painter(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
}
