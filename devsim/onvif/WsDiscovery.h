#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QUdpSocket>

#include <vector>

namespace devsim {

// The WS-Discovery (2005/04, SOAP 1.2 over UDP) target service of the process's ONVIF
// devices: on one UDP port (3702 unless --wsd-port says otherwise), joined to the multicast
// group 239.255.255.250 where the host allows it, it answers each Probe, multicast or unicast,
// that asks for no types or for dn:NetworkVideoTransmitter / tds:Device (and whose scopes, if
// any, match), with one ProbeMatches datagram per device sent to the prober: endpoint
// reference urn:uuid derived from the UID, types, scopes (type, Profile/Streaming,
// name/<name>, hardware/<model>), XAddrs = the device service URL on the address the probe
// reached, RelatesTo = the probe's MessageID. At most MaxAnswersPerSecond datagrams go out.
//
// Threads: the main thread, whose event loop runs it.
class WsDiscovery : public QObject
{
public:
    static constexpr int MaxDatagramSize = 16 * 1024;
    static constexpr int MaxAnswersPerSecond = 64;

    struct Target
    {
        QString uid;
        QString name;
        QString model;
        bool ptz = false;
        quint16 onvifPort = 0;
    };

    explicit WsDiscovery(std::vector<Target> targets);

    // Binds the port (0: a free one), shared with other responders, and joins the group.
    // False with *error when the port cannot be bound.
    bool start(quint16 port, QString *error);
    quint16 port() const { return m_socket.localPort(); }
    bool multicast() const { return m_multicast; }

    // The device's endpoint address, "urn:uuid:..." (a name-based UUID of the UID).
    static QString endpointAddress(const QString &uid);
    // The ProbeMatches answers to one datagram; none when it is no Probe or nothing matches.
    // `host` is the address for the XAddrs; `messageNumber` counts the answers sent.
    static std::vector<QByteArray> answer(const QByteArray &datagram,
                                          const std::vector<Target> &targets, const QString &host,
                                          quint64 instanceId, quint64 *messageNumber);

private:
    void read();

    std::vector<Target> m_targets;
    QUdpSocket m_socket;
    bool m_multicast = false;
    quint64 m_instanceId;
    quint64 m_messageNumber = 0;
    QElapsedTimer m_second;
    int m_sentThisSecond = 0;
};

} // namespace devsim
