#pragma once

#include "link/onvif/OnvifTypes.h"

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QUrl>

class QTimer;
class QUdpSocket;

// Finds cameras on the LAN with WS-Discovery: sends a Probe for network
// video transmitters by UDP (to 239.255.255.250:3702, or to the target
// ORVANE_WSD_TARGET=host:port names, e.g. a test's unicast simulator), and
// for collectMs collects the ProbeMatches that answer this probe's
// MessageID. Each device is reported once (by its endpoint address, else its
// first XAddr), with the name from its onvif://www.onvif.org/name/ scope.
//
//   auto *search = new WsDiscovery(this);
//   connect(search, &WsDiscovery::deviceFound, this, [](const WsDiscovery::Device &d) { ... });
//   connect(search, &WsDiscovery::finished, this, [] { ... });
//   search->start();
//
// Threads: GUI thread only.
class WsDiscovery : public QObject
{
    Q_OBJECT

public:
    struct Device
    {
        QString endpoint;   // "urn:uuid:..."
        QString name;       // from the name scope; empty when the device has none
        QHostAddress host;  // where the answer came from
        QList<QUrl> xaddrs; // device service addresses
        QStringList scopes;
        QStringList types; // "{namespace}local"
    };

    static constexpr int DefaultCollectMs = 3000;
    static constexpr quint16 DefaultPort = 3702;
    static constexpr int MaxDatagramBytes = 65536;
    static constexpr int MaxDevices = 1024;

    explicit WsDiscovery(QObject *parent = nullptr);
    ~WsDiscovery() override;

    // Overrides the multicast group (also what ORVANE_WSD_TARGET sets).
    void setTarget(const QHostAddress &address, quint16 port);
    QHostAddress targetAddress() const { return m_target; }
    quint16 targetPort() const { return m_port; }

    // Starts a new search (ending one still running). False, with failed(),
    // when no socket could be opened or the probe not sent.
    bool start(int collectMs = DefaultCollectMs);
    // Ends the search now, without finished().
    void stop();
    bool isRunning() const;
    // Devices found by the current or last search, in the order they answered.
    QList<Device> devices() const { return m_devices; }

signals:
    void deviceFound(const WsDiscovery::Device &device);
    // The collection time is over.
    void finished();
    void failed(const QString &text);

private:
    void sendProbe();
    void readAnswers();

    QUdpSocket *m_socket = nullptr;
    QTimer *m_collect;
    QTimer *m_repeat;
    QHostAddress m_target;
    quint16 m_port = DefaultPort;
    QString m_messageId;
    QList<Device> m_devices;
    QSet<QString> m_seen;
};
