#pragma once

#include "SoapEnvelope.h"

#include <optional>

class QXmlStreamWriter;

namespace devsim {

struct OnvifContext;
class XmlNode;

// ONVIF's device management service (ver10): GetCapabilities, GetServices,
// GetServiceCapabilities, GetDeviceInformation, GetSystemDateAndTime and
// SetSystemDateAndTime. SetSystemDateAndTime moves the device's clock and sets its POSIX
// zone, stored like the P2P time and zone messages (one SETTINGS line with --print-settings).
// The ONVIF server's thread.
class DeviceService
{
public:
    // Writes the response to `request` (the body's element) into w and returns nullopt, or
    // returns the fault to send instead.
    static std::optional<SoapFault> handle(const XmlNode &request, OnvifContext &context,
                                           QXmlStreamWriter &w);
    // Operations real devices answer before authentication, so that a client can learn the
    // device's clock and services first.
    static bool isPublic(const QString &operation);
    // The device service's capabilities element (GetServices, GetServiceCapabilities).
    static void writeCapabilities(QXmlStreamWriter &w, const OnvifContext &context);
};

} // namespace devsim
