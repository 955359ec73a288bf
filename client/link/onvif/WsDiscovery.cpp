#include "link/onvif/WsDiscovery.h"

#include "diagnostics/Checks.h"
#include "link/onvif/OnvifParse.h"
#include "link/onvif/OnvifSoap.h"

#include <QNetworkDatagram>
#include <QTimer>
#include <QUdpSocket>
#include <QUuid>

namespace {

// "host:port" or "[v6]:port".
bool parseTarget(const QString &text, QHostAddress *address, quint16 *port)
{
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon <= 0)
        return false;
    QString host = text.left(colon);
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
        host = host.mid(1, host.size() - 2);
    bool ok = false;
    const uint p = text.mid(colon + 1).toUInt(&ok);
    QHostAddress a;
    if (!ok || p == 0 || p > 65535 || !a.setAddress(host))
        return false;
    *address = a;
    *port = quint16(p);
    return true;
}

// The delay before the probe goes out once more: UDP may lose the first.
constexpr int RepeatMs = 250;

} // namespace

WsDiscovery::WsDiscovery(QObject *parent)
    : QObject(parent)
    , m_collect(new QTimer(this))
    , m_repeat(new QTimer(this))
    , m_target(QStringLiteral("239.255.255.250"))
{
    const QString env = qEnvironmentVariable("ORVANE_WSD_TARGET");
    if (!env.isEmpty() && !parseTarget(env, &m_target, &m_port))
        qWarning().noquote() << QStringLiteral("ORVANE_WSD_TARGET %1 is not host:port").arg(env);
    m_collect->setSingleShot(true);
    m_repeat->setSingleShot(true);
    connect(m_collect, &QTimer::timeout, this, [this] {
        stop();
        emit finished();
    });
    connect(m_repeat, &QTimer::timeout, this, &WsDiscovery::sendProbe);
}

WsDiscovery::~WsDiscovery() = default;

void WsDiscovery::setTarget(const QHostAddress &address, quint16 port)
{
    m_target = address;
    m_port = port;
}

bool WsDiscovery::isRunning() const
{
    return m_socket != nullptr;
}

bool WsDiscovery::start(int collectMs)
{
    ORVANE_ASSERT_GUI_THREAD();
    stop();
    m_devices.clear();
    m_seen.clear();
    m_socket = new QUdpSocket(this);
    const QHostAddress any = m_target.protocol() == QAbstractSocket::IPv6Protocol
                                 ? QHostAddress(QHostAddress::AnyIPv6)
                                 : QHostAddress(QHostAddress::AnyIPv4);
    if (!m_socket->bind(any, 0)) {
        const QString text = m_socket->errorString();
        stop();
        emit failed(text);
        return false;
    }
    if (m_target.isMulticast())
        m_socket->setSocketOption(QAbstractSocket::MulticastTtlOption, 1);
    connect(m_socket, &QUdpSocket::readyRead, this, &WsDiscovery::readAnswers);
    m_messageId = QStringLiteral("urn:uuid:") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    sendProbe();
    if (!m_socket)
        return false; // sendProbe() failed and stopped
    m_repeat->start(RepeatMs);
    m_collect->start(collectMs);
    return true;
}

void WsDiscovery::stop()
{
    m_collect->stop();
    m_repeat->stop();
    if (m_socket) {
        m_socket->close();
        m_socket->deleteLater();
        m_socket = nullptr;
    }
}

void WsDiscovery::sendProbe()
{
    if (!m_socket)
        return;
    const QByteArray probe = OnvifSoap::probe(m_messageId);
    if (m_socket->writeDatagram(probe, m_target, m_port) != probe.size()) {
        const QString text = QStringLiteral("probe to %1:%2 not sent: %3")
                                 .arg(m_target.toString())
                                 .arg(m_port)
                                 .arg(m_socket->errorString());
        stop();
        emit failed(text);
    }
}

void WsDiscovery::readAnswers()
{
    while (m_socket && m_socket->hasPendingDatagrams()) {
        const QNetworkDatagram datagram = m_socket->receiveDatagram(MaxDatagramBytes);
        const OnvifResult<OnvifProbeMatches> answer = OnvifParse::probeMatches(datagram.data());
        if (!answer || answer->relatesTo != m_messageId)
            continue;
        for (const OnvifProbeMatch &m : answer->matches) {
            const QString key = !m.endpoint.isEmpty() ? m.endpoint
                                : !m.xaddrs.isEmpty() ? m.xaddrs.first().toString()
                                                      : QString();
            if (key.isEmpty() || m_seen.contains(key) || m_devices.size() >= MaxDevices)
                continue;
            m_seen.insert(key);
            QHostAddress host = datagram.senderAddress();
            bool mapped = false;
            const QHostAddress v4(host.toIPv4Address(&mapped));
            if (mapped)
                host = v4;
            const Device device{m.endpoint, m.name(), host, m.xaddrs, m.scopes, m.types};
            m_devices.append(device);
            emit deviceFound(device);
        }
    }
}
