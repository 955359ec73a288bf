#pragma once

#include <QString>

// Namespace URIs of the camera control protocol, WS-Security, WS-Addressing
// and WS-Discovery. Elements are matched by these, never by their prefixes.
namespace OnvifNs {
inline const QString Soap = QStringLiteral("http://www.w3.org/2003/05/soap-envelope");
inline const QString Device = QStringLiteral("http://www.onvif.org/ver10/device/wsdl");
inline const QString Media = QStringLiteral("http://www.onvif.org/ver10/media/wsdl");
inline const QString Ptz = QStringLiteral("http://www.onvif.org/ver20/ptz/wsdl");
inline const QString Events = QStringLiteral("http://www.onvif.org/ver10/events/wsdl");
inline const QString Recording = QStringLiteral("http://www.onvif.org/ver10/recording/wsdl");
inline const QString Search = QStringLiteral("http://www.onvif.org/ver10/search/wsdl");
inline const QString Replay = QStringLiteral("http://www.onvif.org/ver10/replay/wsdl");
inline const QString Topics = QStringLiteral("http://www.onvif.org/ver10/topics");
inline const QString Notification = QStringLiteral("http://docs.oasis-open.org/wsn/b-2");
inline const QString Addressing2005 = QStringLiteral("http://www.w3.org/2005/08/addressing");
inline const QString Schema = QStringLiteral("http://www.onvif.org/ver10/schema");
inline const QString Error = QStringLiteral("http://www.onvif.org/ver10/error");
inline const QString Network = QStringLiteral("http://www.onvif.org/ver10/network/wsdl");
inline const QString Wsse = QStringLiteral(
    "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-secext-1.0.xsd");
inline const QString Wsu = QStringLiteral(
    "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-utility-1.0.xsd");
inline const QString Addressing =
    QStringLiteral("http://schemas.xmlsoap.org/ws/2004/08/addressing");
inline const QString Discovery = QStringLiteral("http://schemas.xmlsoap.org/ws/2005/04/discovery");
} // namespace OnvifNs
