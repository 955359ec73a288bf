#include "ptz/Point.h"

#include "link/DeviceLink.h"
#include "link/DeviceLinks.h"
#include "model/Channel.h"
#include "model/Dev.h"
#include "ptz/PtzTable.h"

#include <QPushButton>
#include <QStandardItemModel>
#include <QTableView>

Point::Point(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("Point"));
    const PtzTable::Panel panel = PtzTable::build(this, tr("新增预置点"), "pushButton_add",
                                                  tr("前往预制点"), "pushButton_go");
    m_add = panel.first;
    m_go = panel.second;
    m_table = panel.table;
    m_model = PtzTable::reset(m_table, nullptr);

    connect(m_add, &QPushButton::clicked, this, &Point::addPoint);
    connect(m_go, &QPushButton::clicked, this, &Point::goPoint);
    connect(m_table, &QTableView::pressed, this, &Point::pressedRow);
    connect(Dev::instance(), &Dev::selectChannelMsg, this, &Point::loadPoint);
}

Point::~Point() = default;

ChannelPoints *Point::pointsOf(const Channel *channel)
{
    const ChannelRef ref = ChannelRef::of(channel);
    for (const auto &entry : m_pointsByChannel)
        if (entry->channel == ref)
            return entry.get();
    return nullptr;
}

void Point::showRecord(const PointRecord &record)
{
    if (m_model->rowCount() <= record.number)
        m_model->setRowCount(record.number + 1);
    m_model->setItem(record.number, 0, new QStandardItem(QString::number(record.number + 1)));
    m_model->setItem(
        record.number, 1,
        new QStandardItem(record.time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))));
}

void Point::addPoint()
{
    Channel *ch = Dev::instance()->selectedChannel();
    if (!ch)
        return;
    ChannelPoints *entry = pointsOf(ch);
    if (!entry) {
        m_pointsByChannel.push_back(std::make_unique<ChannelPoints>());
        entry = m_pointsByChannel.back().get();
        entry->channel = ChannelRef::of(ch);
    }
    const bool shortForm = PtzTable::isShortForm(ch);
    PointRecord record;
    record.index = int(entry->points.size());
    record.time = QDateTime::currentDateTime();
    record.number = shortForm ? record.index % 2 : record.index;
    showRecord(record);
    DeviceLinks::of(ch->device())->ptzPoint(ch, record.number, shortForm);
    entry->points.append(record);
    PtzTable::fitColumns(m_table);
}

void Point::pressedRow(const QModelIndex &index)
{
    const ChannelPoints *entry = pointsOf(Dev::instance()->selectedChannel());
    if (!entry)
        return;
    for (const PointRecord &record : entry->points)
        if (record.number == index.row())
            m_selectedPoint = record.number;
}

void Point::goPoint()
{
    if (Channel *ch = Dev::instance()->selectedChannel())
        DeviceLinks::of(ch->device())->ptzGoto(ch, m_selectedPoint, PtzTable::isShortForm(ch));
}

void Point::loadPoint(Channel *channel)
{
    m_selectedPoint = 0;
    m_model = PtzTable::reset(m_table, m_model);
    if (const ChannelPoints *entry = channel ? pointsOf(channel) : nullptr)
        for (const PointRecord &record : entry->points)
            showRecord(record);
}
