#pragma once

#include "SoapEnvelope.h"

#include <optional>

class QXmlStreamWriter;

namespace devsim {

struct OnvifContext;
class XmlNode;

// ONVIF's PTZ service (ver20) over the PTZ cameras of the device's channels: ContinuousMove
// (generic velocity spaces), Stop, GetPresets, SetPreset, GotoPreset, GetServiceCapabilities.
// Every request becomes the long-form PTZ command the P2P message would carry, applied to the
// same camera with the same PTZ status line: a pan/tilt velocity picks the direction of its
// signs (x right, y up) and speed round(8 * max(|x|, |y|)) clamped to 1..8; a zoom velocity
// zooms in or out at round(8 * |z|). A movement ends at Stop or 3 s after the last move (the
// camera's lost-stop timeout, advertised as DefaultPTZTimeout). Preset tokens are the camera's
// preset numbers, 1 to MaxPresets, shared with the P2P commands.
// The ONVIF server's thread.
class PtzService
{
public:
    static constexpr int MaxPresets = 255;

    // Writes the response to `request` into w and returns nullopt, or returns the fault.
    static std::optional<SoapFault> handle(const XmlNode &request, OnvifContext &context,
                                           QXmlStreamWriter &w);
    static void writeCapabilities(QXmlStreamWriter &w, const OnvifContext &context);
    // The PTZConfiguration of a channel's camera, inside a media profile.
    static void writeConfiguration(QXmlStreamWriter &w, int channel);
};

} // namespace devsim
