#include "ptz/Point.h"

#include "config/Config.h"
#include "link/DeviceLink.h"
#include "link/DeviceLinks.h"
#include "model/Channel.h"
#include "model/Dev.h"
#include "model/Device.h"
#include "ptz/PtzTable.h"

#include <QPushButton>
#include <QStandardItemModel>
#include <QTableView>

#include <algorithm>

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
    if (!channel)
        return nullptr;
    const ChannelRef ref = ChannelRef::of(channel);
    for (const auto &entry : m_pointsByChannel)
        if (entry->channel == ref)
            return entry.get();
    // First asked for since the start: what the configuration kept.
    m_pointsByChannel.push_back(std::make_unique<ChannelPoints>());
    ChannelPoints *entry = m_pointsByChannel.back().get();
    entry->channel = ref;
    const Device *d = channel->device();
    for (const PresetRecord &r : Config::instance()->readPresets(d->uid(), channel->index()))
        entry->points.append(PointRecord{r.index, r.time, r.number});
    std::sort(entry->points.begin(), entry->points.end(),
              [](const PointRecord &a, const PointRecord &b) { return a.index < b.index; });
    return entry;
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
    const bool shortForm = PtzTable::isShortForm(ch);
    PointRecord record;
    record.index = entry->points.isEmpty() ? 0 : entry->points.last().index + 1;
    record.time = QDateTime::currentDateTime();
    record.number = shortForm ? record.index % 2 : record.index;
    showRecord(record);
    DeviceLinks::of(ch->device())->ptzPoint(ch, record.number, shortForm);
    entry->points.append(record);
    Config::instance()->savePreset(
        PresetRecord{ch->device()->uid(), ch->index(), record.number, record.index, record.time});
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
