#include "RecordingService.h"

#include "OnvifContext.h"
#include "SoapNamespaces.h"
#include "XmlNode.h"

#include <QXmlStreamWriter>

namespace devsim {

namespace {

const QString &tt = SoapNs::Schema;
const QString &trc = SoapNs::Recording;

void writeRecording(QXmlStreamWriter &w, int channel)
{
    w.writeStartElement(trc, QStringLiteral("RecordingItem"));
    w.writeTextElement(tt, QStringLiteral("RecordingToken"), OnvifContext::recordingToken(channel));
    w.writeStartElement(tt, QStringLiteral("Configuration"));
    RecordingService::writeSource(w, channel);
    w.writeTextElement(tt, QStringLiteral("Content"), QStringLiteral("CH%1").arg(channel + 1));
    w.writeTextElement(tt, QStringLiteral("MaximumRetentionTime"), QStringLiteral("PT0S"));
    w.writeEndElement();
    w.writeStartElement(tt, QStringLiteral("Tracks"));
    for (const RecordingService::Track &track : RecordingService::Tracks) {
        w.writeStartElement(tt, QStringLiteral("Track"));
        w.writeTextElement(tt, QStringLiteral("TrackToken"), QLatin1String(track.token));
        w.writeStartElement(tt, QStringLiteral("Configuration"));
        w.writeTextElement(tt, QStringLiteral("TrackType"), QLatin1String(track.type));
        w.writeTextElement(tt, QStringLiteral("Description"), QLatin1String(track.type));
        w.writeEndElement();
        w.writeEndElement();
    }
    w.writeEndElement();
    w.writeEndElement();
}

} // namespace

SoapFault RecordingService::noRecording(const QString &token)
{
    return SoapFault::sender({QStringLiteral("InvalidArgVal"), QStringLiteral("NoRecording")},
                             QStringLiteral("no recording \"%1\"").arg(token.left(64)));
}

void RecordingService::writeSource(QXmlStreamWriter &w, int channel)
{
    w.writeStartElement(tt, QStringLiteral("Source"));
    w.writeTextElement(tt, QStringLiteral("SourceId"), OnvifContext::sourceToken(channel));
    w.writeTextElement(tt, QStringLiteral("Name"), QStringLiteral("CH%1").arg(channel + 1));
    w.writeTextElement(tt, QStringLiteral("Location"), QString());
    w.writeTextElement(tt, QStringLiteral("Description"), QStringLiteral("video source"));
    w.writeTextElement(tt, QStringLiteral("Address"), OnvifContext::sourceToken(channel));
    w.writeEndElement();
}

void RecordingService::writeCapabilities(QXmlStreamWriter &w, const OnvifContext &context)
{
    w.writeEmptyElement(trc, QStringLiteral("Capabilities"));
    w.writeAttribute(QStringLiteral("DynamicRecordings"), QStringLiteral("false"));
    w.writeAttribute(QStringLiteral("DynamicTracks"), QStringLiteral("false"));
    w.writeAttribute(QStringLiteral("Encoding"), QStringLiteral("H264 H265 G711"));
    w.writeAttribute(QStringLiteral("MaxRecordings"), QString::number(context.config.channels));
    w.writeAttribute(QStringLiteral("MaxRecordingJobs"), QStringLiteral("0"));
    w.writeAttribute(QStringLiteral("Options"), QStringLiteral("false"));
    w.writeAttribute(QStringLiteral("MetadataRecording"), QStringLiteral("false"));
}

std::optional<SoapFault> RecordingService::handle(const XmlNode &request, OnvifContext &context,
                                                  QXmlStreamWriter &w)
{
    const QString &op = request.name;
    if (op == QLatin1String("GetRecordings")) {
        w.writeStartElement(trc, QStringLiteral("GetRecordingsResponse"));
        for (int channel = 0; channel < context.config.channels; ++channel)
            writeRecording(w, channel);
        w.writeEndElement();
    } else if (op == QLatin1String("GetServiceCapabilities")) {
        w.writeStartElement(trc, QStringLiteral("GetServiceCapabilitiesResponse"));
        writeCapabilities(w, context);
        w.writeEndElement();
    } else {
        return SoapFault{SoapFault::Code::Receiver,
                         {QStringLiteral("ActionNotSupported")},
                         op + QStringLiteral(" is not supported")};
    }
    return std::nullopt;
}

} // namespace devsim
