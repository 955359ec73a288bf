#pragma once

#include <QModelIndex>
#include <QString>
#include <QWidget>

class QLabel;
class QStandardItemModel;
class QTableView;

// The device manager's LAN search page: starts a search and lists what
// answered, one row per device in the order of the link layer's results.
// Hovering, pressing and leaving the table are relayed through ViewControl
// (enterRow, clickRow, leaveRow) to the device manager, which shows the
// row's QR code or opens the add page filled from it. GUI thread only.
class SearchDev : public QWidget
{
    Q_OBJECT

public:
    static constexpr int ColumnCount = 7;

    explicit SearchDev(QWidget *parent = nullptr);

    // Shows the page and starts a LAN search.
    void start();

    QTableView *table() const { return m_table; }
    QStandardItemModel *model() const { return m_model; }
    // The line under the table (empty, or why the search failed).
    QString statusText() const;

    // The channel count a result's name announces: the last character of a
    // name containing "IPC", else the part after the first "-", else empty.
    static QString channelsFromName(const QString &name);

public slots:
    void loadData();
    void loadFailed(int code, const QString &text);
    void enteredRow(const QModelIndex &index);
    void pressedRow(const QModelIndex &index);

protected:
    void leaveEvent(QEvent *event) override;

private:
    // The designed width of a column, scaled.
    static int columnWidth(int column);

    QTableView *m_table;
    QStandardItemModel *m_model;
    QLabel *m_status;
};
