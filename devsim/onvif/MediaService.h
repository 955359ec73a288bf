#pragma once

#include "SoapEnvelope.h"

#include <optional>

class QXmlStreamWriter;

namespace devsim {

struct OnvifContext;
class XmlNode;

// ONVIF's media service (ver10): two fixed profiles per channel, "ch<n>_main" (the HD stream)
// and "ch<n>_sub" (the SD stream), each with the channel's video source, an H.264 encoder
// configuration (none for an H.265 device: ver10 cannot name that codec), the channel's audio
// source with a G.711 encoder configuration (8 kHz, 64 kbit/s: the streams' PCMA), on the main
// profile the back channel's audio output and decoder configurations and, on PTZ cameras, a
// PTZ configuration. GetProfiles, GetProfile, GetVideoSources, GetAudioSources,
// GetAudioOutputs, GetAudio{Source,Encoder,Output,Decoder}Configurations, GetStreamUri (the
// RTSP server's URL), GetSnapshotUri (a JPEG on the ONVIF port) and GetServiceCapabilities.
// The ONVIF server's thread.
class MediaService
{
public:
    // Writes the response to `request` into w and returns nullopt, or returns the fault.
    static std::optional<SoapFault> handle(const XmlNode &request, OnvifContext &context,
                                           QXmlStreamWriter &w);
    static void writeCapabilities(QXmlStreamWriter &w, const OnvifContext &context);
    // The fault for a profile token that names no profile.
    static SoapFault noProfile(const QString &token);
};

} // namespace devsim
