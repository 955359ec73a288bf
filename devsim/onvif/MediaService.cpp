#include "MediaService.h"

#include "OnvifContext.h"
#include "PtzService.h"
#include "rtsp/RtspServer.h"
#include "SoapNamespaces.h"
#include "XmlNode.h"

#include <QXmlStreamWriter>

namespace devsim {

namespace {

const QString &tt = SoapNs::Schema;
const QString &trt = SoapNs::Media;

QString streamName(bool main)
{
    return main ? QStringLiteral("main") : QStringLiteral("sub");
}

void writeSize(QXmlStreamWriter &w, const QString &name, const QSize &size)
{
    w.writeStartElement(tt, name);
    w.writeTextElement(tt, QStringLiteral("Width"), QString::number(size.width()));
    w.writeTextElement(tt, QStringLiteral("Height"), QString::number(size.height()));
    w.writeEndElement();
}

void writeEncoder(QXmlStreamWriter &w, const DeviceConfig &config, int channel, bool main)
{
    const QSize size = main ? config.hd : config.sd;
    w.writeStartElement(tt, QStringLiteral("VideoEncoderConfiguration"));
    w.writeAttribute(QStringLiteral("token"),
                     QStringLiteral("vec%1_%2").arg(channel).arg(streamName(main)));
    w.writeTextElement(tt, QStringLiteral("Name"),
                       QStringLiteral("CH%1 %2").arg(channel + 1).arg(streamName(main)));
    w.writeTextElement(tt, QStringLiteral("UseCount"), QStringLiteral("1"));
    w.writeTextElement(tt, QStringLiteral("Encoding"), QStringLiteral("H264"));
    writeSize(w, QStringLiteral("Resolution"), size);
    w.writeTextElement(tt, QStringLiteral("Quality"), QStringLiteral("5"));
    w.writeStartElement(tt, QStringLiteral("RateControl"));
    w.writeTextElement(tt, QStringLiteral("FrameRateLimit"), QString::number(config.fps));
    w.writeTextElement(tt, QStringLiteral("EncodingInterval"), QStringLiteral("1"));
    // The encoder's target: two bits per pixel and second, in kbit/s.
    w.writeTextElement(tt, QStringLiteral("BitrateLimit"),
                       QString::number(qint64(size.width()) * size.height() * 2 / 1000));
    w.writeEndElement();
    w.writeStartElement(tt, QStringLiteral("H264"));
    w.writeTextElement(tt, QStringLiteral("GovLength"),
                       QString::number(config.fps * config.gopSec));
    w.writeTextElement(tt, QStringLiteral("H264Profile"), QStringLiteral("Baseline"));
    w.writeEndElement();
    w.writeStartElement(tt, QStringLiteral("Multicast"));
    w.writeStartElement(tt, QStringLiteral("Address"));
    w.writeTextElement(tt, QStringLiteral("Type"), QStringLiteral("IPv4"));
    w.writeTextElement(tt, QStringLiteral("IPv4Address"), QStringLiteral("0.0.0.0"));
    w.writeEndElement();
    w.writeTextElement(tt, QStringLiteral("Port"), QStringLiteral("0"));
    w.writeTextElement(tt, QStringLiteral("TTL"), QStringLiteral("0"));
    w.writeTextElement(tt, QStringLiteral("AutoStart"), QStringLiteral("false"));
    w.writeEndElement();
    w.writeTextElement(tt, QStringLiteral("SessionTimeout"), QStringLiteral("PT60S"));
    w.writeEndElement();
}

void writeProfile(QXmlStreamWriter &w, const QString &element, const OnvifContext &context,
                  int channel, bool main)
{
    const DeviceConfig &config = context.config;
    w.writeStartElement(trt, element);
    w.writeAttribute(QStringLiteral("token"), OnvifContext::profileToken(channel, main));
    w.writeAttribute(QStringLiteral("fixed"), QStringLiteral("true"));
    w.writeTextElement(tt, QStringLiteral("Name"),
                       QStringLiteral("CH%1 %2").arg(channel + 1).arg(streamName(main)));
    w.writeStartElement(tt, QStringLiteral("VideoSourceConfiguration"));
    w.writeAttribute(QStringLiteral("token"), QStringLiteral("vsc%1").arg(channel));
    w.writeTextElement(tt, QStringLiteral("Name"), QStringLiteral("CH%1").arg(channel + 1));
    w.writeTextElement(tt, QStringLiteral("UseCount"), QStringLiteral("2"));
    w.writeTextElement(tt, QStringLiteral("SourceToken"), QStringLiteral("vs%1").arg(channel));
    w.writeEmptyElement(tt, QStringLiteral("Bounds"));
    w.writeAttribute(QStringLiteral("x"), QStringLiteral("0"));
    w.writeAttribute(QStringLiteral("y"), QStringLiteral("0"));
    w.writeAttribute(QStringLiteral("width"), QString::number(config.hd.width()));
    w.writeAttribute(QStringLiteral("height"), QString::number(config.hd.height()));
    w.writeEndElement();
    if (config.codec == VideoCodec::H264)
        writeEncoder(w, config, channel, main);
    if (config.isPtz())
        PtzService::writeConfiguration(w, channel);
    w.writeEndElement();
}

// The profile a request's ProfileToken names.
std::optional<std::pair<int, bool>> requestedProfile(const XmlNode &request,
                                                     const OnvifContext &context,
                                                     std::optional<SoapFault> *fault)
{
    const QString token =
        request.childText(trt, QStringLiteral("ProfileToken")).value_or(QString());
    const auto profile = context.profile(token);
    if (!profile)
        *fault = MediaService::noProfile(token);
    return profile;
}

void writeMediaUri(QXmlStreamWriter &w, const QString &element, const QString &uri)
{
    w.writeStartElement(trt, element);
    w.writeStartElement(trt, QStringLiteral("MediaUri"));
    w.writeTextElement(tt, QStringLiteral("Uri"), uri);
    w.writeTextElement(tt, QStringLiteral("InvalidAfterConnect"), QStringLiteral("false"));
    w.writeTextElement(tt, QStringLiteral("InvalidAfterReboot"), QStringLiteral("false"));
    w.writeTextElement(tt, QStringLiteral("Timeout"), QStringLiteral("PT0S"));
    w.writeEndElement();
    w.writeEndElement();
}

std::optional<SoapFault> getStreamUri(const XmlNode &request, OnvifContext &context,
                                      QXmlStreamWriter &w)
{
    std::optional<SoapFault> fault;
    const auto profile = requestedProfile(request, context, &fault);
    if (!profile)
        return fault;
    const XmlNode *setup = request.child(trt, QStringLiteral("StreamSetup"));
    const XmlNode *transport = setup ? setup->child(tt, QStringLiteral("Transport")) : nullptr;
    if (!setup || !transport)
        return SoapFault::sender({QStringLiteral("InvalidArgs")},
                                 QStringLiteral("StreamSetup with Stream and Transport needed"));
    const QString stream = setup->childText(tt, QStringLiteral("Stream")).value_or(QString());
    const QString protocol =
        transport->childText(tt, QStringLiteral("Protocol")).value_or(QString());
    if (stream != QLatin1String("RTP-Unicast") ||
        !(protocol == QLatin1String("UDP") || protocol == QLatin1String("TCP") ||
          protocol == QLatin1String("RTSP")))
        return SoapFault::sender(
            {QStringLiteral("InvalidArgVal"), QStringLiteral("InvalidStreamSetup")},
            QStringLiteral("only RTP-Unicast over UDP, TCP or RTSP is offered"));
    const QString uri =
        QStringLiteral("rtsp://%1:%2%3")
            .arg(context.host)
            .arg(context.rtspPort)
            .arg(RtspServer::path(context.config.uid, profile->first, profile->second));
    writeMediaUri(w, QStringLiteral("GetStreamUriResponse"), uri);
    return std::nullopt;
}

} // namespace

SoapFault MediaService::noProfile(const QString &token)
{
    return SoapFault::sender({QStringLiteral("InvalidArgVal"), QStringLiteral("NoProfile")},
                             QStringLiteral("no profile \"%1\"").arg(token.left(64)));
}

void MediaService::writeCapabilities(QXmlStreamWriter &w, const OnvifContext &context)
{
    w.writeStartElement(trt, QStringLiteral("Capabilities"));
    w.writeAttribute(QStringLiteral("SnapshotUri"), QStringLiteral("true"));
    w.writeEmptyElement(trt, QStringLiteral("ProfileCapabilities"));
    w.writeAttribute(QStringLiteral("MaximumNumberOfProfiles"),
                     QString::number(2 * context.config.channels));
    w.writeEmptyElement(trt, QStringLiteral("StreamingCapabilities"));
    w.writeAttribute(QStringLiteral("RTPMulticast"), QStringLiteral("false"));
    w.writeAttribute(QStringLiteral("RTP_TCP"), QStringLiteral("true"));
    w.writeAttribute(QStringLiteral("RTP_RTSP_TCP"), QStringLiteral("true"));
    w.writeEndElement();
}

std::optional<SoapFault> MediaService::handle(const XmlNode &request, OnvifContext &context,
                                              QXmlStreamWriter &w)
{
    const QString &op = request.name;
    std::optional<SoapFault> fault;
    if (op == QLatin1String("GetProfiles")) {
        w.writeStartElement(trt, QStringLiteral("GetProfilesResponse"));
        for (int channel = 0; channel < context.config.channels; ++channel)
            for (const bool main : {true, false})
                writeProfile(w, QStringLiteral("Profiles"), context, channel, main);
        w.writeEndElement();
    } else if (op == QLatin1String("GetProfile")) {
        const auto profile = requestedProfile(request, context, &fault);
        if (!profile)
            return fault;
        w.writeStartElement(trt, QStringLiteral("GetProfileResponse"));
        writeProfile(w, QStringLiteral("Profile"), context, profile->first, profile->second);
        w.writeEndElement();
    } else if (op == QLatin1String("GetVideoSources")) {
        w.writeStartElement(trt, QStringLiteral("GetVideoSourcesResponse"));
        for (int channel = 0; channel < context.config.channels; ++channel) {
            w.writeStartElement(trt, QStringLiteral("VideoSources"));
            w.writeAttribute(QStringLiteral("token"), QStringLiteral("vs%1").arg(channel));
            w.writeTextElement(tt, QStringLiteral("Framerate"),
                               QString::number(context.config.fps));
            writeSize(w, QStringLiteral("Resolution"), context.config.hd);
            w.writeEndElement();
        }
        w.writeEndElement();
    } else if (op == QLatin1String("GetStreamUri")) {
        return getStreamUri(request, context, w);
    } else if (op == QLatin1String("GetSnapshotUri")) {
        const auto profile = requestedProfile(request, context, &fault);
        if (!profile)
            return fault;
        writeMediaUri(w, QStringLiteral("GetSnapshotUriResponse"),
                      context.url(QStringLiteral("snapshot/%1/%2")
                                      .arg(profile->first)
                                      .arg(streamName(profile->second))));
    } else if (op == QLatin1String("GetServiceCapabilities")) {
        w.writeStartElement(trt, QStringLiteral("GetServiceCapabilitiesResponse"));
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
