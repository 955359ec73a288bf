#include "ReplayService.h"

#include "OnvifContext.h"
#include "RecordingService.h"
#include "SoapNamespaces.h"
#include "XmlNode.h"
#include "XsdTime.h"
#include "rtsp/RtspServer.h"

#include <QXmlStreamWriter>

namespace devsim {

namespace {

const QString &tt = SoapNs::Schema;
const QString &trp = SoapNs::Replay;

std::optional<SoapFault> getReplayUri(const XmlNode &request, OnvifContext &context,
                                      QXmlStreamWriter &w)
{
    const QString token =
        request.childText(trp, QStringLiteral("RecordingToken")).value_or(QString());
    const std::optional<int> channel = context.recording(token);
    if (!channel)
        return RecordingService::noRecording(token);
    const XmlNode *setup = request.child(trp, QStringLiteral("StreamSetup"));
    const XmlNode *transport = setup ? setup->child(tt, QStringLiteral("Transport")) : nullptr;
    const QString stream =
        setup ? setup->childText(tt, QStringLiteral("Stream")).value_or(QString()) : QString();
    const QString protocol =
        transport ? transport->childText(tt, QStringLiteral("Protocol")).value_or(QString())
                  : QString();
    if (stream != QLatin1String("RTP-Unicast") ||
        !(protocol == QLatin1String("RTSP") || protocol == QLatin1String("TCP") ||
          protocol == QLatin1String("UDP")))
        return SoapFault::sender(
            {QStringLiteral("InvalidArgVal"), QStringLiteral("InvalidStreamSetup")},
            QStringLiteral("only RTP-Unicast over RTSP, TCP or UDP is offered"));
    w.writeStartElement(trp, QStringLiteral("GetReplayUriResponse"));
    w.writeTextElement(trp, QStringLiteral("Uri"),
                       QStringLiteral("rtsp://%1:%2%3")
                           .arg(context.host)
                           .arg(context.rtspPort)
                           .arg(RtspServer::replayPath(context.config.uid, *channel)));
    w.writeEndElement();
    return std::nullopt;
}

} // namespace

void ReplayService::writeCapabilities(QXmlStreamWriter &w, const OnvifContext &)
{
    w.writeEmptyElement(trp, QStringLiteral("Capabilities"));
    w.writeAttribute(QStringLiteral("ReversePlayback"), QStringLiteral("true"));
    w.writeAttribute(QStringLiteral("SessionTimeoutRange"),
                     QStringLiteral("1 %1").arg(SessionTimeoutSec));
    w.writeAttribute(QStringLiteral("RTP_RTSP_TCP"), QStringLiteral("true"));
}

std::optional<SoapFault> ReplayService::handle(const XmlNode &request, OnvifContext &context,
                                               QXmlStreamWriter &w)
{
    const QString &op = request.name;
    if (op == QLatin1String("GetReplayUri"))
        return getReplayUri(request, context, w);
    if (op == QLatin1String("GetReplayConfiguration")) {
        w.writeStartElement(trp, QStringLiteral("GetReplayConfigurationResponse"));
        w.writeStartElement(trp, QStringLiteral("Configuration"));
        w.writeTextElement(tt, QStringLiteral("SessionTimeout"),
                           XsdTime::duration(SessionTimeoutSec * 1000));
        w.writeEndElement();
        w.writeEndElement();
        return std::nullopt;
    }
    if (op == QLatin1String("GetServiceCapabilities")) {
        w.writeStartElement(trp, QStringLiteral("GetServiceCapabilitiesResponse"));
        writeCapabilities(w, context);
        w.writeEndElement();
        return std::nullopt;
    }
    return SoapFault{SoapFault::Code::Receiver,
                     {QStringLiteral("ActionNotSupported")},
                     op + QStringLiteral(" is not supported")};
}

} // namespace devsim
