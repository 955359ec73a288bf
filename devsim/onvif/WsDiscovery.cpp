#include "WsDiscovery.h"

#include "SoapEnvelope.h"
#include "SoapNamespaces.h"

#include <QDateTime>
#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QRegularExpression>
#include <QUrl>
#include <QUuid>
#include <QXmlStreamWriter>

#include <algorithm>

namespace devsim {

namespace {

const QString kProbeMatchesAction =
    QStringLiteral("http://schemas.xmlsoap.org/ws/2005/04/discovery/ProbeMatches");
const QString kAnonymous =
    QStringLiteral("http://schemas.xmlsoap.org/ws/2004/08/addressing/role/anonymous");
const QString kRfc3986 = QStringLiteral("http://schemas.xmlsoap.org/ws/2005/04/discovery/rfc3986");
const QString kStrcmp0 = QStringLiteral("http://schemas.xmlsoap.org/ws/2005/04/discovery/strcmp0");
const QHostAddress kGroup(QStringLiteral("239.255.255.250"));

QStringList scopesOf(const WsDiscovery::Target &t)
{
    const QString base = QStringLiteral("onvif://www.onvif.org/");
    QStringList scopes{base + QStringLiteral("type/video_encoder")};
    if (t.ptz)
        scopes << base + QStringLiteral("type/ptz");
    scopes << base + QStringLiteral("Profile/Streaming")
           << base + QStringLiteral("name/") + QString::fromLatin1(QUrl::toPercentEncoding(t.name))
           << base + QStringLiteral("hardware/") +
                  QString::fromLatin1(QUrl::toPercentEncoding(t.model));
    return scopes;
}

// RFC 3986 matching as WS-Discovery defines it: same scheme and authority (ignoring case),
// the probe's path segments a prefix of the device's.
bool scopeMatches(const QString &probe, const QString &scope, bool exact)
{
    if (exact)
        return probe == scope;
    const QUrl p(probe), s(scope);
    if (!p.isValid() || !s.isValid() || p.scheme().compare(s.scheme(), Qt::CaseInsensitive) ||
        p.authority().compare(s.authority(), Qt::CaseInsensitive))
        return false;
    const QStringList ps = p.path().split(QLatin1Char('/'), Qt::SkipEmptyParts);
    const QStringList ss = s.path().split(QLatin1Char('/'), Qt::SkipEmptyParts);
    return ps.size() <= ss.size() && ss.mid(0, ps.size()) == ps;
}

} // namespace

WsDiscovery::WsDiscovery(std::vector<Target> targets)
    : m_targets(std::move(targets))
    , m_instanceId(static_cast<quint64>(QDateTime::currentSecsSinceEpoch()))
{
    connect(&m_socket, &QUdpSocket::readyRead, this, &WsDiscovery::read);
    m_second.start();
}

QString WsDiscovery::endpointAddress(const QString &uid)
{
    static const QUuid space(QStringLiteral("{6ba7b811-9dad-11d1-80b4-00c04fd430c8}")); // URLs
    return QStringLiteral("urn:uuid:") + QUuid::createUuidV5(space, QStringLiteral("devsim:") + uid)
                                             .toString(QUuid::WithoutBraces);
}

bool WsDiscovery::start(quint16 port, QString *error)
{
    if (!m_socket.bind(QHostAddress::AnyIPv4, port,
                       QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint)) {
        *error = QStringLiteral("cannot bind WS-Discovery port %1: %2")
                     .arg(port)
                     .arg(m_socket.errorString());
        return false;
    }
    m_multicast = m_socket.joinMulticastGroup(kGroup); // containers may refuse: unicast only
    return true;
}

std::vector<QByteArray> WsDiscovery::answer(const QByteArray &datagram,
                                            const std::vector<Target> &targets, const QString &host,
                                            quint64 instanceId, quint64 *messageNumber)
{
    SoapFault fault;
    const std::optional<SoapEnvelope> probe = SoapEnvelope::parse(datagram, &fault);
    if (!probe || probe->body().ns != SoapNs::Discovery ||
        probe->body().name != QLatin1String("Probe") || !probe->header())
        return {};
    const QString messageId = probe->header()
                                  ->childText(SoapNs::Addressing, QStringLiteral("MessageID"))
                                  .value_or(QString());
    if (messageId.isEmpty() || messageId.size() > 256)
        return {};
    // Types asked for: each must be one of ours.
    if (const XmlNode *types = probe->body().child(SoapNs::Discovery, QStringLiteral("Types"))) {
        for (const QString &qname :
             types->text.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts)) {
            const auto type = types->resolveQName(qname);
            const bool ours =
                type &&
                ((type->first == SoapNs::Network &&
                  type->second == QLatin1String("NetworkVideoTransmitter")) ||
                 (type->first == SoapNs::Device && type->second == QLatin1String("Device")));
            if (!ours)
                return {};
        }
    }
    QStringList askedScopes;
    bool exact = false;
    if (const XmlNode *scopes = probe->body().child(SoapNs::Discovery, QStringLiteral("Scopes"))) {
        const QString matchBy = scopes->attribute(QStringLiteral("MatchBy")).value_or(kRfc3986);
        if (matchBy != kRfc3986 && matchBy != kStrcmp0)
            return {}; // a matching rule we do not know: no match
        exact = matchBy == kStrcmp0;
        askedScopes =
            scopes->text.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
    }

    std::vector<QByteArray> out;
    for (const Target &t : targets) {
        const QStringList scopes = scopesOf(t);
        const bool matches =
            std::all_of(askedScopes.begin(), askedScopes.end(), [&](const QString &a) {
                return std::any_of(scopes.begin(), scopes.end(),
                                   [&](const QString &s) { return scopeMatches(a, s, exact); });
            });
        if (!matches)
            continue;
        const quint64 number = ++*messageNumber;
        const auto header = [&](QXmlStreamWriter &w) {
            const QString &a = SoapNs::Addressing;
            w.writeTextElement(a, QStringLiteral("MessageID"),
                               QStringLiteral("urn:uuid:") +
                                   QUuid::createUuid().toString(QUuid::WithoutBraces));
            w.writeTextElement(a, QStringLiteral("RelatesTo"), messageId);
            w.writeTextElement(a, QStringLiteral("To"), kAnonymous);
            w.writeTextElement(a, QStringLiteral("Action"), kProbeMatchesAction);
            w.writeEmptyElement(SoapNs::Discovery, QStringLiteral("AppSequence"));
            w.writeAttribute(QStringLiteral("InstanceId"), QString::number(instanceId));
            w.writeAttribute(QStringLiteral("MessageNumber"), QString::number(number));
        };
        const auto body = [&](QXmlStreamWriter &w) {
            const QString &d = SoapNs::Discovery;
            w.writeStartElement(d, QStringLiteral("ProbeMatches"));
            w.writeStartElement(d, QStringLiteral("ProbeMatch"));
            w.writeStartElement(SoapNs::Addressing, QStringLiteral("EndpointReference"));
            w.writeTextElement(SoapNs::Addressing, QStringLiteral("Address"),
                               endpointAddress(t.uid));
            w.writeEndElement();
            w.writeTextElement(d, QStringLiteral("Types"),
                               QStringLiteral("dn:NetworkVideoTransmitter tds:Device"));
            w.writeTextElement(d, QStringLiteral("Scopes"), scopes.join(QLatin1Char(' ')));
            w.writeTextElement(
                d, QStringLiteral("XAddrs"),
                QStringLiteral("http://%1:%2/onvif/device_service").arg(host).arg(t.onvifPort));
            w.writeTextElement(d, QStringLiteral("MetadataVersion"), QStringLiteral("1"));
            w.writeEndElement();
            w.writeEndElement();
        };
        out.push_back(SoapEnvelope::write({{QStringLiteral("wsa"), SoapNs::Addressing},
                                           {QStringLiteral("d"), SoapNs::Discovery},
                                           {QStringLiteral("dn"), SoapNs::Network},
                                           {QStringLiteral("tds"), SoapNs::Device}},
                                          header, body));
    }
    return out;
}

void WsDiscovery::read()
{
    while (m_socket.hasPendingDatagrams()) {
        const QNetworkDatagram datagram = m_socket.receiveDatagram(MaxDatagramSize);
        if (!datagram.isValid())
            continue;
        // The XAddrs name the address the probe came to; for a multicast probe, an address of
        // the interface it came in on.
        QHostAddress local = datagram.destinationAddress();
        if (local.isNull() || local.isMulticast()) {
            local = QHostAddress(QHostAddress::LocalHost);
            const QNetworkInterface in =
                QNetworkInterface::interfaceFromIndex(datagram.interfaceIndex());
            for (const QNetworkAddressEntry &e : in.addressEntries()) {
                if (e.ip().protocol() == QAbstractSocket::IPv4Protocol) {
                    local = e.ip();
                    break;
                }
            }
        }
        const std::vector<QByteArray> answers =
            answer(datagram.data(), m_targets, local.toString(), m_instanceId, &m_messageNumber);
        for (const QByteArray &a : answers) {
            if (m_second.elapsed() >= 1000) {
                m_second.restart();
                m_sentThisSecond = 0;
            }
            if (++m_sentThisSecond > MaxAnswersPerSecond)
                break; // a flood of probes: answered no more this second
            m_socket.writeDatagram(a, datagram.senderAddress(),
                                   static_cast<quint16>(datagram.senderPort()));
        }
    }
}

} // namespace devsim
