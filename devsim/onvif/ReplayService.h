#pragma once

#include "SoapEnvelope.h"

#include <optional>

class QXmlStreamWriter;

namespace devsim {

struct OnvifContext;
class XmlNode;

// ONVIF's replay service (ver10): GetReplayUri gives a recording's RTSP replay mount on the
// address the client reached ("rtsp://host:<rtsp port>/<uid>/<channel>/replay"), for
// RTP-Unicast over RTSP (or TCP, UDP); GetReplayConfiguration (a fixed session timeout) and
// GetServiceCapabilities (reverse playback, session timeouts of 1 to 60 s, RTP over RTSP).
// The ONVIF server's thread.
class ReplayService
{
public:
    static constexpr int SessionTimeoutSec = 60;

    static std::optional<SoapFault> handle(const XmlNode &request, OnvifContext &context,
                                           QXmlStreamWriter &w);
    static void writeCapabilities(QXmlStreamWriter &w, const OnvifContext &context);
};

} // namespace devsim
