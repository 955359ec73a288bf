#include "ptz/PtzTable.h"

#include "diagnostics/SystemInfo.h"
#include "model/Channel.h"
#include "model/Device.h"

#include <QHeaderView>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTableView>
#include <QHBoxLayout>
#include <QVBoxLayout>

namespace PtzTable {

bool isShortForm(const Channel *channel)
{
    const int type = channel->device()->type();
    return type == 6 || type == 7 || type == 10;
}

Panel build(QWidget *panel, const QString &firstText, const char *firstName,
            const QString &secondText, const char *secondName)
{
    auto *layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 4, 0, 0);
    auto *buttons = new QHBoxLayout;
    Panel out{new QPushButton(firstText, panel), new QPushButton(secondText, panel),
              new QTableView(panel)};
    out.first->setObjectName(QLatin1String(firstName));
    out.second->setObjectName(QLatin1String(secondName));
    for (QPushButton *b : {out.first, out.second}) {
        styleButton(b);
        buttons->addWidget(b);
    }
    layout->addLayout(buttons);
    out.table->setObjectName(QStringLiteral("tableView"));
    setUp(out.table);
    layout->addWidget(out.table);
    return out;
}

void setUp(QTableView *table)
{
    table->verticalHeader()->hide();
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    QFont font(QStringLiteral("微软雅黑"));
    font.setPointSize(qMax(1, SystemInfo::instance()->scaled(8)));
    table->setFont(font);
}

QStandardItemModel *reset(QTableView *table, QStandardItemModel *old)
{
    auto *model = new QStandardItemModel(0, 2, table);
    model->setHorizontalHeaderLabels(
        {QObject::tr("编号"), QObject::tr("时间")});
    table->setModel(model);
    delete old;
    fitColumns(table);
    return model;
}

void fitColumns(QTableView *table)
{
    table->setColumnWidth(0, SystemInfo::instance()->scaled(40));
    table->setColumnWidth(1, SystemInfo::instance()->scaled(120));
}

void styleButton(QPushButton *button)
{
    button->setStyleSheet(QStringLiteral(
        "background-color:qlineargradient(spread:pad, x1:0, y1:0, x2:0, y2:1, stop:0 "
        "#ffffff,stop:0.5 #dfdfdf ,stop:1 #eeeeee);\nborder:1px solid #ccc;\nborder-radius:4px;"
        "\nfont-size:11px;\nfont-family: \"微软雅黑\";\ncolor: #4e525a;"));
    button->setMinimumHeight(22);
}

} // namespace PtzTable
