#pragma once

class QPushButton;
class QStandardItemModel;
class QTableView;
class QWidget;
class QString;
class Channel;

// What the preset and cruise panels share: the table's look and its fresh
// model, the buttons' style and which message form a channel takes.
namespace PtzTable {

// Cameras (IPC(BOL) 6, IPC 7, IPC(PTZ) 10) take the short form: two
// presets, one cruise line. Every other device the long form.
bool isShortForm(const Channel *channel);

struct Panel
{
    QPushButton *first;
    QPushButton *second;
    QTableView *table;
};
// Lays out a panel: two buttons in a row (texts and object names given),
// the table below them.
Panel build(QWidget *panel, const QString &firstText, const char *firstName,
            const QString &secondText, const char *secondName);
void setUp(QTableView *table);
// A new model with the number and time headers, set on the table (the old
// one is deleted).
QStandardItemModel *reset(QTableView *table, QStandardItemModel *old);
// The number and time columns sized to the display scale.
void fitColumns(QTableView *table);
void styleButton(QPushButton *button);

} // namespace PtzTable
