#pragma once

#include "SoapEnvelope.h"

#include <optional>

class QXmlStreamWriter;

namespace devsim {

struct OnvifContext;
class XmlNode;

// ONVIF's recording service (ver10), read only: one recording per channel,
// "Recording<channel>", from the channel's video source, with a video track "VIDEO" and an
// audio track "AUDIO". GetRecordings and GetServiceCapabilities.
// The ONVIF server's thread.
class RecordingService
{
public:
    static std::optional<SoapFault> handle(const XmlNode &request, OnvifContext &context,
                                           QXmlStreamWriter &w);
    static void writeCapabilities(QXmlStreamWriter &w, const OnvifContext &context);

    // tt:Source of a channel's recording (RecordingSourceInformation).
    static void writeSource(QXmlStreamWriter &w, int channel);
    // The tracks of every recording: token and type ("Video", "Audio").
    struct Track
    {
        const char *token;
        const char *type;
    };
    static constexpr Track Tracks[] = {{"VIDEO", "Video"}, {"AUDIO", "Audio"}};
    // The fault for a recording token that names no recording.
    static SoapFault noRecording(const QString &token);
};

} // namespace devsim
