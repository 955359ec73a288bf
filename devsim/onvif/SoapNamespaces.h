#pragma once

#include <QString>

#include <utility>
#include <vector>

namespace devsim {

// Namespace URIs of the messages the ONVIF server and the WS-Discovery responder read and
// write. Prefixes are only what devsim writes; requests are read by these URIs.
namespace SoapNs {
inline const QString Envelope = QStringLiteral("http://www.w3.org/2003/05/soap-envelope");
inline const QString Envelope11 = QStringLiteral("http://schemas.xmlsoap.org/soap/envelope/");
inline const QString Schema = QStringLiteral("http://www.onvif.org/ver10/schema");
inline const QString Device = QStringLiteral("http://www.onvif.org/ver10/device/wsdl");
inline const QString Media = QStringLiteral("http://www.onvif.org/ver10/media/wsdl");
inline const QString Ptz = QStringLiteral("http://www.onvif.org/ver20/ptz/wsdl");
inline const QString Events = QStringLiteral("http://www.onvif.org/ver10/events/wsdl");
inline const QString Recording = QStringLiteral("http://www.onvif.org/ver10/recording/wsdl");
inline const QString Search = QStringLiteral("http://www.onvif.org/ver10/search/wsdl");
inline const QString Replay = QStringLiteral("http://www.onvif.org/ver10/replay/wsdl");
inline const QString Topics = QStringLiteral("http://www.onvif.org/ver10/topics");
inline const QString Notification = QStringLiteral("http://docs.oasis-open.org/wsn/b-2");
inline const QString TopicSet = QStringLiteral("http://docs.oasis-open.org/wsn/t-1");
inline const QString Addressing10 = QStringLiteral("http://www.w3.org/2005/08/addressing");
inline const QString XmlSchema = QStringLiteral("http://www.w3.org/2001/XMLSchema");
inline const QString Error = QStringLiteral("http://www.onvif.org/ver10/error");
inline const QString Network = QStringLiteral("http://www.onvif.org/ver10/network/wsdl");
inline const QString Security = QStringLiteral(
    "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-secext-1.0.xsd");
inline const QString Utility = QStringLiteral(
    "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-utility-1.0.xsd");
inline const QString PasswordDigest =
    QStringLiteral("http://docs.oasis-open.org/wss/2004/01/"
                   "oasis-200401-wss-username-token-profile-1.0#PasswordDigest");
inline const QString Addressing =
    QStringLiteral("http://schemas.xmlsoap.org/ws/2004/08/addressing");
inline const QString Discovery = QStringLiteral("http://schemas.xmlsoap.org/ws/2005/04/discovery");

// The prefixes a response envelope declares at its root: topic names in message content
// ("tns1:VideoSource/MotionAlarm") and type names ("xs:boolean") need theirs in scope.
inline std::vector<std::pair<QString, QString>> responsePrefixes()
{
    return {{QStringLiteral("tt"), Schema},      {QStringLiteral("tds"), Device},
            {QStringLiteral("trt"), Media},      {QStringLiteral("tptz"), Ptz},
            {QStringLiteral("tev"), Events},     {QStringLiteral("trc"), Recording},
            {QStringLiteral("tse"), Search},     {QStringLiteral("trp"), Replay},
            {QStringLiteral("tns1"), Topics},    {QStringLiteral("wsnt"), Notification},
            {QStringLiteral("wstop"), TopicSet}, {QStringLiteral("wsa"), Addressing10},
            {QStringLiteral("xs"), XmlSchema}};
}
} // namespace SoapNs

} // namespace devsim
