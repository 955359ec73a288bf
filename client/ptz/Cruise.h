#pragma once

#include <QWidget>

class Channel;
class QModelIndex;
class QPushButton;
class QStandardItemModel;
class QTableView;

// The cruise panel: starts and stops a cruise along the line chosen in the
// table (one line on a camera, two on a recorder) or an automatic cruise, on
// the selected channel, at the PTZ panel's step. The two buttons keep their
// own state, across channel changes too. GUI thread only.
class Cruise : public QWidget
{
    Q_OBJECT

public:
    explicit Cruise(QWidget *parent = nullptr);

    bool isCruising() const { return m_cruising; }
    bool isAutoCruising() const { return m_autoCruising; }
    int line() const { return m_line; }
    QTableView *table() const { return m_table; }
    QPushButton *cruiseButton() const { return m_cruise; }
    QPushButton *autoCruiseButton() const { return m_autoCruise; }

public slots:
    void loadLine(Channel *channel);
    void pressedRow(const QModelIndex &index);
    void cruise();
    void autoCruise();

private:
    QPushButton *m_cruise;
    QPushButton *m_autoCruise;
    QTableView *m_table;
    QStandardItemModel *m_model = nullptr;
    bool m_cruising = false;
    bool m_autoCruising = false;
    int m_line = 0;
};
