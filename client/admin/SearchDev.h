#pragma once

#include "link/onvif/WsDiscovery.h"

#include <QList>
#include <QModelIndex>
#include <QString>
#include <QWidget>

#include <optional>

class QLabel;
class QStandardItemModel;
class QTableView;

// The device manager's LAN search page: starts a search and lists what
// answered, one row per device in the order of the link layer's results,
// then the ONVIF cameras WS-Discovery found (type "ONVIF").
// Hovering, pressing and leaving the table are relayed through ViewControl
// (enterRow, clickRow, leaveRow) to the device manager, which shows the
// row's QR code or opens the add page filled from it. GUI thread only.
class SearchDev : public QWidget
{
    Q_OBJECT

public:
    static constexpr int ColumnCount = 7;

    explicit SearchDev(QWidget *parent = nullptr);

    // Shows the page and starts a LAN search and a WS-Discovery probe.
    void start();

    // What an ONVIF row offers the add page.
    struct OnvifHit
    {
        QString host; // "host[:port]" of its device service
        QString name;
        bool ptz = false;
    };
    // The ONVIF camera of table row `row`; none for a P2P row.
    std::optional<OnvifHit> onvifAt(int row) const;
    // The ONVIF host of a discovered device: its first device service
    // address that is plain http(s) on a host name or IPv4 address.
    static QString onvifHost(const WsDiscovery::Device &device);

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
    void onvifFound(const WsDiscovery::Device &device);
    void enteredRow(const QModelIndex &index);
    void pressedRow(const QModelIndex &index);

protected:
    void leaveEvent(QEvent *event) override;

private:
    // The designed width of a column, scaled.
    static int columnWidth(int column);

    QTableView *m_table;
    QStandardItemModel *m_model;
    void showOnvifRows();

    QLabel *m_status;
    WsDiscovery *m_discovery;
    QList<OnvifHit> m_onvif;
    int m_p2pRows = 0;
};
