#include "ptz/Cruise.h"

#include "link/DeviceLink.h"
#include "link/DeviceLinks.h"
#include "model/Channel.h"
#include "model/Dev.h"
#include "ptz/PTZ.h"
#include "ptz/PtzTable.h"

#include <QPushButton>
#include <QStandardItemModel>
#include <QTableView>

Cruise::Cruise(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("Cruise"));
    const PtzTable::Panel panel = PtzTable::build(this, tr("开始巡航"), "pushButton_cruise",
                                                  tr("自动巡航"), "pushButton_autoCruise");
    m_cruise = panel.first;
    m_autoCruise = panel.second;
    m_table = panel.table;
    loadLine(Dev::instance()->selectedChannel());

    connect(m_cruise, &QPushButton::clicked, this, &Cruise::cruise);
    connect(m_autoCruise, &QPushButton::clicked, this, &Cruise::autoCruise);
    connect(m_table, &QTableView::pressed, this, &Cruise::pressedRow);
    connect(Dev::instance(), &Dev::selectChannelMsg, this, &Cruise::loadLine);
}

void Cruise::loadLine(Channel *channel)
{
    m_line = 0;
    m_model = PtzTable::reset(m_table, m_model);
    if (!channel)
        return;
    const int lines = PtzTable::isShortForm(channel) ? 1 : 2;
    for (int i = 0; i < lines; ++i)
        m_model->appendRow(new QStandardItem(QString::number(i + 1)));
}

void Cruise::pressedRow(const QModelIndex &index)
{
    m_line = index.row();
}

void Cruise::cruise()
{
    Channel *ch = Dev::instance()->selectedChannel();
    if (!ch)
        return;
    const bool shortForm = PtzTable::isShortForm(ch);
    const int command = shortForm ? (m_cruising ? 0 : 11) : (m_cruising ? 23 : 22);
    m_cruise->setText(m_cruising ? tr("开始巡航") : tr("停止巡航"));
    DeviceLinks::of(ch->device())
        ->ptzCruisePath(ch, quint8(command), quint8(PTZ::instance()->step()), quint8(m_line),
                        shortForm);
    m_cruising = !m_cruising;
}

void Cruise::autoCruise()
{
    Channel *ch = Dev::instance()->selectedChannel();
    if (!ch)
        return;
    const bool shortForm = PtzTable::isShortForm(ch);
    const int command = shortForm ? (m_autoCruising ? 0 : 11) : (m_autoCruising ? 30 : 29);
    m_autoCruise->setText(m_autoCruising ? tr("自动巡航") : tr("停止巡航"));
    DeviceLinks::of(ch->device())
        ->ptzCruisePath(ch, quint8(command), quint8(PTZ::instance()->step()), quint8(m_line),
                        shortForm);
    m_autoCruising = !m_autoCruising;
}
