#pragma once

#include "link/ChannelRef.h"

#include <QDateTime>
#include <QList>
#include <QWidget>

#include <memory>
#include <vector>

class Channel;
class QModelIndex;
class QPushButton;
class QStandardItemModel;
class QTableView;

struct PointRecord
{
    int index = 0;  // how many presets had been set on the channel before this one
    QDateTime time; // when it was set
    int number = 0; // the preset number from 0, also its table row
};

// The presets set on one channel, in order (those of earlier runs from the
// configuration).
struct ChannelPoints
{
    ChannelRef channel;
    QList<PointRecord> points;
};

// The preset panel: "新增预置点" stores the selected channel's position as
// the next preset (a camera alternates between its two), "前往预制点" moves
// back to the preset chosen in the table. Kept in the configuration per channel.
// GUI thread only.
class Point : public QWidget
{
    Q_OBJECT

public:
    explicit Point(QWidget *parent = nullptr);
    ~Point() override;

    int selectedPoint() const { return m_selectedPoint; }
    QTableView *table() const { return m_table; }
    QPushButton *addButton() const { return m_add; }
    QPushButton *goButton() const { return m_go; }

public slots:
    void addPoint();
    void goPoint();
    void loadPoint(Channel *channel);
    void pressedRow(const QModelIndex &index);

private:
    ChannelPoints *pointsOf(const Channel *channel);
    void showRecord(const PointRecord &record);

    int m_selectedPoint = 0;
    QPushButton *m_add;
    QPushButton *m_go;
    QTableView *m_table;
    QStandardItemModel *m_model = nullptr;
    std::vector<std::unique_ptr<ChannelPoints>> m_pointsByChannel;
};
