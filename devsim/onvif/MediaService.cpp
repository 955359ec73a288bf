#include "MediaService.h"

#include "OnvifContext.h"
#include "PtzService.h"
#include "rtsp/RtspServer.h"
#include "SoapNamespaces.h"
#include "XmlNode.h"

#include <QMap>
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

// The audio configurations of a channel, each under the element (ns, name): the source
// (PCMA in the RTSP streams), its G.711 encoder, and the back channel's output and decoder.
enum class Audio { Source, Encoder, Output, Decoder };

void writeAudio(QXmlStreamWriter &w, Audio kind, const QString &ns, const QString &name,
                int channel)
{
    static const char *const prefixes[] = {"asc", "aec", "aoc", "adc"};
    w.writeStartElement(ns, name);
    w.writeAttribute(QStringLiteral("token"),
                     QLatin1String(prefixes[int(kind)]) + QString::number(channel));
    w.writeTextElement(tt, QStringLiteral("Name"), QStringLiteral("CH%1 audio").arg(channel + 1));
    w.writeTextElement(tt, QStringLiteral("UseCount"),
                       kind == Audio::Output || kind == Audio::Decoder ? QStringLiteral("1")
                                                                       : QStringLiteral("2"));
    switch (kind) {
    case Audio::Source:
        w.writeTextElement(tt, QStringLiteral("SourceToken"), QStringLiteral("as%1").arg(channel));
        break;
    case Audio::Encoder:
        w.writeTextElement(tt, QStringLiteral("Encoding"), QStringLiteral("G711"));
        w.writeTextElement(tt, QStringLiteral("Bitrate"), QStringLiteral("64"));
        w.writeTextElement(tt, QStringLiteral("SampleRate"), QStringLiteral("8")); // kHz
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
        break;
    case Audio::Output:
        w.writeTextElement(tt, QStringLiteral("OutputToken"), QStringLiteral("ao%1").arg(channel));
        w.writeTextElement(tt, QStringLiteral("SendPrimacy"),
                           QStringLiteral("www.onvif.org/ver20/HalfDuplex/Auto"));
        w.writeTextElement(tt, QStringLiteral("OutputLevel"), QStringLiteral("10"));
        break;
    case Audio::Decoder:
        break;
    }
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
    writeAudio(w, Audio::Source, tt, QStringLiteral("AudioSourceConfiguration"), channel);
    if (config.codec == VideoCodec::H264)
        writeEncoder(w, config, channel, main);
    writeAudio(w, Audio::Encoder, tt, QStringLiteral("AudioEncoderConfiguration"), channel);
    if (config.isPtz())
        PtzService::writeConfiguration(w, channel);
    if (main) { // the back channel is on the main stream's URL
        w.writeStartElement(tt, QStringLiteral("Extension"));
        writeAudio(w, Audio::Output, tt, QStringLiteral("AudioOutputConfiguration"), channel);
        writeAudio(w, Audio::Decoder, tt, QStringLiteral("AudioDecoderConfiguration"), channel);
        w.writeEndElement();
    }
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

// The kind of audio configuration a Get...Configurations operation lists.
std::optional<Audio> audioConfigurations(const QString &op)
{
    static const QMap<QString, Audio> operations{
        {QStringLiteral("GetAudioSourceConfigurations"), Audio::Source},
        {QStringLiteral("GetAudioEncoderConfigurations"), Audio::Encoder},
        {QStringLiteral("GetAudioOutputConfigurations"), Audio::Output},
        {QStringLiteral("GetAudioDecoderConfigurations"), Audio::Decoder}};
    const auto it = operations.find(op);
    return it == operations.end() ? std::nullopt : std::optional<Audio>(*it);
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
    } else if (op == QLatin1String("GetAudioSources") || op == QLatin1String("GetAudioOutputs")) {
        const bool sources = op == QLatin1String("GetAudioSources");
        w.writeStartElement(trt, op + QStringLiteral("Response"));
        for (int channel = 0; channel < context.config.channels; ++channel) {
            w.writeStartElement(trt, sources ? QStringLiteral("AudioSources")
                                             : QStringLiteral("AudioOutputs"));
            w.writeAttribute(
                QStringLiteral("token"),
                (sources ? QStringLiteral("as%1") : QStringLiteral("ao%1")).arg(channel));
            if (sources)
                w.writeTextElement(tt, QStringLiteral("Channels"), QStringLiteral("1"));
            w.writeEndElement();
        }
        w.writeEndElement();
    } else if (const std::optional<Audio> kind = audioConfigurations(op)) {
        w.writeStartElement(trt, op + QStringLiteral("Response"));
        for (int channel = 0; channel < context.config.channels; ++channel)
            writeAudio(w, *kind, trt, QStringLiteral("Configurations"), channel);
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
