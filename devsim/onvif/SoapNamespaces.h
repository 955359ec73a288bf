#pragma once

#include <QString>

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
} // namespace SoapNs

} // namespace devsim
