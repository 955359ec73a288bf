#include "admin/SearchDev.h"

#include "diagnostics/SystemInfo.h"
#include "link/DeviceEvents.h"
#include "link/DeviceLinks.h"
#include "link/onvif/OnvifDeviceControl.h"
#include "view/ViewControl.h"

#include <QHeaderView>
#include <QLabel>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>

SearchDev::SearchDev(QWidget *parent)
    : QWidget(parent)
    , m_table(new QTableView(this))
    , m_model(new QStandardItemModel(0, ColumnCount, this))
    , m_status(new QLabel(this))
    , m_discovery(new WsDiscovery(this))
{
    setObjectName(QStringLiteral("SearchDev"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_table->setObjectName(QStringLiteral("tableView_devList"));
    m_table->setModel(m_model);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setMouseTracking(true);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_model->setHorizontalHeaderLabels(
        {tr("编号"), tr("UID"), tr("系统版本"), tr("类型"), tr("通道"), tr("IP地址"), tr("端口")});
    m_table->setWordWrap(false);
    for (int i = 0; i < ColumnCount; ++i)
        m_table->setColumnWidth(i, columnWidth(i));
    m_status->setObjectName(QStringLiteral("label_searchStatus"));
    m_status->setStyleSheet(QStringLiteral("color:red"));
    m_status->hide();
    layout->addWidget(m_table, 1);
    layout->addWidget(m_status);

    DeviceEvents *io = DeviceLinks::events();
    connect(io, &DeviceEvents::startLANSearchSuccessMsg, this, &SearchDev::loadData);
    connect(io, &DeviceEvents::startLANSearchFailMsg, this, &SearchDev::loadFailed);
    connect(m_discovery, &WsDiscovery::deviceFound, this, &SearchDev::onvifFound);
    connect(m_table, &QTableView::entered, this, &SearchDev::enteredRow);
    connect(m_table, &QTableView::pressed, this, &SearchDev::pressedRow);
}

void SearchDev::start()
{
    m_status->hide();
    show();
    m_onvif.clear();
    DeviceLinks::startLanSearch();
    m_discovery->start();
}

std::optional<SearchDev::OnvifHit> SearchDev::onvifAt(int row) const
{
    const int i = row - m_p2pRows;
    if (row < m_p2pRows || i >= m_onvif.size())
        return std::nullopt;
    return m_onvif.at(i);
}

QString SearchDev::onvifHost(const WsDiscovery::Device &device)
{
    for (const QUrl &url : device.xaddrs) {
        if (url.scheme() != QLatin1String("http") || url.host().contains(u':'))
            continue;
        const QString host = url.port(80) == 80
                                 ? url.host()
                                 : QStringLiteral("%1:%2").arg(url.host()).arg(url.port());
        if (OnvifDeviceControl::deviceUrl(host).isValid())
            return host;
    }
    return QString();
}

void SearchDev::onvifFound(const WsDiscovery::Device &device)
{
    OnvifHit hit;
    hit.host = onvifHost(device);
    if (hit.host.isEmpty() || m_onvif.size() >= WsDiscovery::MaxDevices)
        return;
    hit.name = device.name.left(64);
    hit.ptz = device.scopes.contains(QStringLiteral("onvif://www.onvif.org/type/ptz"));
    m_onvif << hit;
    showOnvifRows();
}

void SearchDev::showOnvifRows()
{
    m_model->removeRows(m_p2pRows, m_model->rowCount() - m_p2pRows);
    for (int i = 0; i < m_onvif.size(); ++i) {
        const OnvifHit &hit = m_onvif.at(i);
        const int colon = hit.host.lastIndexOf(u':');
        QList<QStandardItem *> row;
        for (const QString &text :
             {QString::number(m_p2pRows + i + 1), hit.name, QString(), QStringLiteral("ONVIF"),
              QString(), colon < 0 ? hit.host : hit.host.left(colon),
              colon < 0 ? QStringLiteral("80") : hit.host.mid(colon + 1)})
            row << new QStandardItem(text);
        m_model->appendRow(row);
    }
}

QString SearchDev::statusText() const
{
    return m_status->isVisibleTo(this) ? m_status->text() : QString();
}

QString SearchDev::channelsFromName(const QString &name)
{
    if (name.contains(QLatin1String("IPC")))
        return name.right(1);
    const int dash = name.indexOf(QLatin1Char('-'));
    return dash >= 0 ? name.mid(dash + 1) : QString();
}

void SearchDev::loadData()
{
    m_status->hide();
    m_model->removeRows(0, m_model->rowCount());
    const QList<LanSearchResult> results = DeviceLinks::lanResults();
    for (int i = 0; i < results.size(); ++i) {
        const LanSearchResult &r = results.at(i);
        // The search reports no system version; the device name is its type.
        QList<QStandardItem *> row;
        for (const QString &text : {QString::number(i + 1), r.uid, QString(), r.name,
                                    channelsFromName(r.name), r.ip, r.port})
            row << new QStandardItem(text);
        m_model->appendRow(row);
    }
    m_p2pRows = int(results.size());
    showOnvifRows();
    // A UID or name longer than its column widens it rather than being cut.
    for (int column : {1, 3}) {
        m_table->resizeColumnToContents(column);
        if (m_table->columnWidth(column) < columnWidth(column))
            m_table->setColumnWidth(column, columnWidth(column));
    }
}

int SearchDev::columnWidth(int column)
{
    static constexpr int widths[ColumnCount] = {30, 120, 140, 40, 60, 110, 60};
    return int(SystemInfo::instance()->scale() * widths[column]);
}

void SearchDev::loadFailed(int code, const QString &text)
{
    m_status->setText(tr("搜索失败: [%1]%2").arg(code).arg(text));
    m_status->show();
}

void SearchDev::enteredRow(const QModelIndex &index)
{
    if (index.isValid())
        ViewControl::instance()->enterRow(index.row());
}

void SearchDev::pressedRow(const QModelIndex &index)
{
    if (index.isValid())
        ViewControl::instance()->clickRow(index.row());
}

void SearchDev::leaveEvent(QEvent *event)
{
    ViewControl::instance()->leaveRow();
    QWidget::leaveEvent(event);
}
