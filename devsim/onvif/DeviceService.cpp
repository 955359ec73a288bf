#include "DeviceService.h"

#include "EventService.h"
#include "MediaService.h"
#include "OnvifContext.h"
#include "PosixTimeZone.h"
#include "PtzService.h"
#include "RecordingService.h"
#include "ReplayService.h"
#include "SearchService.h"
#include "SimDevice.h"
#include "SoapNamespaces.h"
#include "XmlNode.h"

#include <QTimeZone>
#include <QXmlStreamWriter>

namespace devsim {

namespace {

const QString &tt = SoapNs::Schema;
const QString &tds = SoapNs::Device;

SoapFault invalid(const QString &subcode, const QString &reason)
{
    return SoapFault::sender({QStringLiteral("InvalidArgVal"), subcode}, reason);
}

void writeDateTime(QXmlStreamWriter &w, const QString &name, const QDateTime &at)
{
    w.writeStartElement(tt, name);
    w.writeStartElement(tt, QStringLiteral("Time"));
    w.writeTextElement(tt, QStringLiteral("Hour"), QString::number(at.time().hour()));
    w.writeTextElement(tt, QStringLiteral("Minute"), QString::number(at.time().minute()));
    w.writeTextElement(tt, QStringLiteral("Second"), QString::number(at.time().second()));
    w.writeEndElement();
    w.writeStartElement(tt, QStringLiteral("Date"));
    w.writeTextElement(tt, QStringLiteral("Year"), QString::number(at.date().year()));
    w.writeTextElement(tt, QStringLiteral("Month"), QString::number(at.date().month()));
    w.writeTextElement(tt, QStringLiteral("Day"), QString::number(at.date().day()));
    w.writeEndElement();
    w.writeEndElement();
}

std::optional<bool> parseBoolean(const std::optional<QString> &text)
{
    if (text == QLatin1String("true") || text == QLatin1String("1"))
        return true;
    if (text == QLatin1String("false") || text == QLatin1String("0"))
        return false;
    return std::nullopt;
}

// tt:DateTime (Time then Date); nullopt when an element is missing or out of range.
std::optional<QDateTime> parseDateTime(const XmlNode &node)
{
    const XmlNode *time = node.child(tt, QStringLiteral("Time"));
    const XmlNode *date = node.child(tt, QStringLiteral("Date"));
    if (!time || !date)
        return std::nullopt;
    const auto number = [](const XmlNode *parent, const char *name) {
        bool ok = false;
        const int v = parent->childText(tt, QLatin1String(name)).value_or(QString()).toInt(&ok);
        return ok ? v : -1;
    };
    const QDate d(number(date, "Year"), number(date, "Month"), number(date, "Day"));
    const QTime t(number(time, "Hour"), number(time, "Minute"), number(time, "Second"));
    if (!d.isValid() || !t.isValid() || d.year() < 1970 || d.year() > 2100)
        return std::nullopt;
    return QDateTime(d, t, QTimeZone::utc());
}

std::optional<SoapFault> getSystemDateAndTime(OnvifContext &context, QXmlStreamWriter &w)
{
    const DeviceSettings s = context.device.settings();
    const QDateTime utc = context.device.now();
    const std::optional<PosixTimeZone> zone =
        PosixTimeZone::parse(s.posixZone.isEmpty() ? QStringLiteral("UTC0") : s.posixZone);
    w.writeStartElement(tds, QStringLiteral("GetSystemDateAndTimeResponse"));
    w.writeStartElement(tds, QStringLiteral("SystemDateAndTime"));
    w.writeTextElement(tt, QStringLiteral("DateTimeType"),
                       s.ntp ? QStringLiteral("NTP") : QStringLiteral("Manual"));
    w.writeTextElement(tt, QStringLiteral("DaylightSavings"),
                       s.daylightSavings ? QStringLiteral("true") : QStringLiteral("false"));
    w.writeStartElement(tt, QStringLiteral("TimeZone"));
    w.writeTextElement(tt, QStringLiteral("TZ"), zone->text());
    w.writeEndElement();
    writeDateTime(w, QStringLiteral("UTCDateTime"), utc);
    writeDateTime(w, QStringLiteral("LocalDateTime"), zone->localTime(utc));
    w.writeEndElement();
    w.writeEndElement();
    return std::nullopt;
}

std::optional<SoapFault> setSystemDateAndTime(const XmlNode &request, OnvifContext &context,
                                              QXmlStreamWriter &w)
{
    const std::optional<QString> type = request.childText(tds, QStringLiteral("DateTimeType"));
    const std::optional<bool> daylight =
        parseBoolean(request.childText(tds, QStringLiteral("DaylightSavings")));
    if (!type || !daylight || (*type != QLatin1String("Manual") && *type != QLatin1String("NTP")))
        return SoapFault::sender({QStringLiteral("InvalidArgs")},
                                 QStringLiteral("DateTimeType and DaylightSavings are required"));
    const bool ntp = *type == QLatin1String("NTP");
    std::optional<PosixTimeZone> zone;
    if (const XmlNode *tz = request.child(tds, QStringLiteral("TimeZone"))) {
        zone = PosixTimeZone::parse(tz->childText(tt, QStringLiteral("TZ")).value_or(QString()));
        if (!zone)
            return invalid(QStringLiteral("InvalidTimeZone"),
                           QStringLiteral("the TZ is no POSIX time-zone string"));
        if (context.config.refuseTimezone)
            return invalid(QStringLiteral("InvalidTimeZone"),
                           QStringLiteral("this device refuses time-zone changes"));
    }
    std::optional<QDateTime> utc;
    if (const XmlNode *at = request.child(tds, QStringLiteral("UTCDateTime"))) {
        utc = parseDateTime(*at);
        if (!utc)
            return invalid(QStringLiteral("InvalidDateTime"),
                           QStringLiteral("UTCDateTime is no valid date and time"));
    } else if (!ntp) {
        return invalid(QStringLiteral("InvalidDateTime"),
                       QStringLiteral("a manual setting needs UTCDateTime"));
    }
    context.device.changeSettings([&](DeviceSettings &s) {
        s.ntp = ntp;
        s.daylightSavings = *daylight;
        if (zone) {
            s.posixZone = zone->text();
            s.timeZone = zone->text();
        }
        if (ntp) {
            s.clockOffsetMs = 0; // the system's clock is the synchronised one
        } else if (utc) {
            s.clockOffsetMs = utc->toMSecsSinceEpoch() - QDateTime::currentMSecsSinceEpoch();
            // The wall-clock text, as the P2P time message sets it.
            const QDateTime local =
                PosixTimeZone::parse(s.posixZone.isEmpty() ? QStringLiteral("UTC0") : s.posixZone)
                    ->localTime(*utc);
            s.timeText = QStringLiteral("%1-%2-%3-%4-%5-%6")
                             .arg(local.date().year())
                             .arg(local.date().month())
                             .arg(local.date().day())
                             .arg(local.time().hour())
                             .arg(local.time().minute())
                             .arg(local.time().second());
        }
    });
    w.writeEmptyElement(tds, QStringLiteral("SetSystemDateAndTimeResponse"));
    return std::nullopt;
}

std::optional<SoapFault> getCapabilities(const XmlNode &request, OnvifContext &context,
                                         QXmlStreamWriter &w)
{
    bool device = false, media = false, ptz = false, events = false, extension = false;
    for (const auto &c : request.children) {
        if (c->ns != tds || c->name != QLatin1String("Category"))
            continue;
        const QString &category = c->text;
        if (category == QLatin1String("All")) {
            device = media = events = extension = true;
            ptz = context.config.isPtz();
        } else if (category == QLatin1String("Device")) {
            device = true;
        } else if (category == QLatin1String("Media")) {
            media = true;
        } else if (category == QLatin1String("Events")) {
            events = true;
        } else if (category == QLatin1String("PTZ") && context.config.isPtz()) {
            ptz = true;
        } else if (category == QLatin1String("PTZ") || category == QLatin1String("Analytics") ||
                   category == QLatin1String("Imaging")) {
            return SoapFault{
                SoapFault::Code::Receiver,
                {QStringLiteral("ActionNotSupported"), QStringLiteral("NoSuchService")},
                category + QStringLiteral(" is not offered")};
        } else {
            return SoapFault::sender({QStringLiteral("InvalidArgVal")},
                                     QStringLiteral("unknown category ") + category);
        }
    }
    if (!device && !media && !ptz && !events) { // no category: all
        device = media = events = extension = true;
        ptz = context.config.isPtz();
    }
    w.writeStartElement(tds, QStringLiteral("GetCapabilitiesResponse"));
    w.writeStartElement(tds, QStringLiteral("Capabilities"));
    if (device) {
        w.writeStartElement(tt, QStringLiteral("Device"));
        w.writeTextElement(tt, QStringLiteral("XAddr"),
                           context.url(QStringLiteral("device_service")));
        w.writeEndElement();
    }
    if (events) {
        w.writeStartElement(tt, QStringLiteral("Events"));
        w.writeTextElement(tt, QStringLiteral("XAddr"),
                           context.url(QStringLiteral("event_service")));
        w.writeTextElement(tt, QStringLiteral("WSSubscriptionPolicySupport"),
                           QStringLiteral("false"));
        w.writeTextElement(tt, QStringLiteral("WSPullPointSupport"), QStringLiteral("true"));
        w.writeTextElement(tt, QStringLiteral("WSPausableSubscriptionManagerInterfaceSupport"),
                           QStringLiteral("false"));
        w.writeEndElement();
    }
    if (media) {
        w.writeStartElement(tt, QStringLiteral("Media"));
        w.writeTextElement(tt, QStringLiteral("XAddr"),
                           context.url(QStringLiteral("media_service")));
        w.writeStartElement(tt, QStringLiteral("StreamingCapabilities"));
        w.writeTextElement(tt, QStringLiteral("RTPMulticast"), QStringLiteral("false"));
        w.writeTextElement(tt, QStringLiteral("RTP_TCP"), QStringLiteral("true"));
        w.writeTextElement(tt, QStringLiteral("RTP_RTSP_TCP"), QStringLiteral("true"));
        w.writeEndElement();
        w.writeEndElement();
    }
    if (ptz) {
        w.writeStartElement(tt, QStringLiteral("PTZ"));
        w.writeTextElement(tt, QStringLiteral("XAddr"), context.url(QStringLiteral("ptz_service")));
        w.writeEndElement();
    }
    if (extension) {
        w.writeStartElement(tt, QStringLiteral("Extension"));
        w.writeStartElement(tt, QStringLiteral("Recording"));
        w.writeTextElement(tt, QStringLiteral("XAddr"),
                           context.url(QStringLiteral("recording_service")));
        for (const char *flag :
             {"ReceiverSource", "MediaProfileSource", "DynamicRecordings", "DynamicTracks"})
            w.writeTextElement(tt, QLatin1String(flag), QStringLiteral("false"));
        w.writeTextElement(tt, QStringLiteral("MaxStringLength"), QStringLiteral("64"));
        w.writeEndElement();
        w.writeStartElement(tt, QStringLiteral("Search"));
        w.writeTextElement(tt, QStringLiteral("XAddr"),
                           context.url(QStringLiteral("search_service")));
        w.writeTextElement(tt, QStringLiteral("MetadataSearch"), QStringLiteral("false"));
        w.writeEndElement();
        w.writeStartElement(tt, QStringLiteral("Replay"));
        w.writeTextElement(tt, QStringLiteral("XAddr"),
                           context.url(QStringLiteral("replay_service")));
        w.writeEndElement();
        w.writeEndElement();
    }
    w.writeEndElement();
    w.writeEndElement();
    return std::nullopt;
}

std::optional<SoapFault> getServices(const XmlNode &request, OnvifContext &context,
                                     QXmlStreamWriter &w)
{
    const bool withCapabilities =
        parseBoolean(request.childText(tds, QStringLiteral("IncludeCapability"))).value_or(false);
    struct Service
    {
        const QString &ns;
        QString path;
        void (*capabilities)(QXmlStreamWriter &, const OnvifContext &);
    };
    std::vector<Service> services{
        {tds, QStringLiteral("device_service"), &DeviceService::writeCapabilities},
        {SoapNs::Media, QStringLiteral("media_service"), &MediaService::writeCapabilities}};
    if (context.config.isPtz())
        services.push_back(
            {SoapNs::Ptz, QStringLiteral("ptz_service"), &PtzService::writeCapabilities});
    services.push_back(
        {SoapNs::Events, QStringLiteral("event_service"), &EventService::writeCapabilities});
    services.push_back({SoapNs::Recording, QStringLiteral("recording_service"),
                        &RecordingService::writeCapabilities});
    services.push_back(
        {SoapNs::Search, QStringLiteral("search_service"), &SearchService::writeCapabilities});
    services.push_back(
        {SoapNs::Replay, QStringLiteral("replay_service"), &ReplayService::writeCapabilities});
    w.writeStartElement(tds, QStringLiteral("GetServicesResponse"));
    for (const Service &s : services) {
        w.writeStartElement(tds, QStringLiteral("Service"));
        w.writeTextElement(tds, QStringLiteral("Namespace"), s.ns);
        w.writeTextElement(tds, QStringLiteral("XAddr"), context.url(s.path));
        if (withCapabilities) {
            w.writeStartElement(tds, QStringLiteral("Capabilities"));
            s.capabilities(w, context);
            w.writeEndElement();
        }
        w.writeStartElement(tds, QStringLiteral("Version"));
        w.writeTextElement(tt, QStringLiteral("Major"), QStringLiteral("2"));
        w.writeTextElement(tt, QStringLiteral("Minor"), QStringLiteral("60"));
        w.writeEndElement();
        w.writeEndElement();
    }
    w.writeEndElement();
    return std::nullopt;
}

std::optional<SoapFault> getDeviceInformation(OnvifContext &context, QXmlStreamWriter &w)
{
    w.writeStartElement(tds, QStringLiteral("GetDeviceInformationResponse"));
    w.writeTextElement(tds, QStringLiteral("Manufacturer"), QStringLiteral("devsim"));
    w.writeTextElement(tds, QStringLiteral("Model"), context.config.typeName());
    w.writeTextElement(tds, QStringLiteral("FirmwareVersion"), context.config.version);
    w.writeTextElement(tds, QStringLiteral("SerialNumber"), context.config.uid);
    w.writeTextElement(tds, QStringLiteral("HardwareId"),
                       QStringLiteral("devsim-%1").arg(context.config.type));
    w.writeEndElement();
    return std::nullopt;
}

} // namespace

bool DeviceService::isPublic(const QString &operation)
{
    return operation == QLatin1String("GetSystemDateAndTime") ||
           operation == QLatin1String("GetCapabilities") ||
           operation == QLatin1String("GetServices");
}

void DeviceService::writeCapabilities(QXmlStreamWriter &w, const OnvifContext &context)
{
    const bool digest = context.config.onvifAuth == OnvifAuth::HttpDigest;
    w.writeStartElement(tds, QStringLiteral("Capabilities"));
    w.writeEmptyElement(tds, QStringLiteral("Network"));
    w.writeEmptyElement(tds, QStringLiteral("Security"));
    w.writeAttribute(QStringLiteral("UsernameToken"),
                     digest ? QStringLiteral("false") : QStringLiteral("true"));
    w.writeAttribute(QStringLiteral("HttpDigest"),
                     digest ? QStringLiteral("true") : QStringLiteral("false"));
    w.writeEmptyElement(tds, QStringLiteral("System"));
    w.writeEndElement();
}

std::optional<SoapFault> DeviceService::handle(const XmlNode &request, OnvifContext &context,
                                               QXmlStreamWriter &w)
{
    const QString &op = request.name;
    if (op == QLatin1String("GetSystemDateAndTime"))
        return getSystemDateAndTime(context, w);
    if (op == QLatin1String("SetSystemDateAndTime"))
        return setSystemDateAndTime(request, context, w);
    if (op == QLatin1String("GetCapabilities"))
        return getCapabilities(request, context, w);
    if (op == QLatin1String("GetServices"))
        return getServices(request, context, w);
    if (op == QLatin1String("GetDeviceInformation"))
        return getDeviceInformation(context, w);
    if (op == QLatin1String("GetServiceCapabilities")) {
        w.writeStartElement(tds, QStringLiteral("GetServiceCapabilitiesResponse"));
        writeCapabilities(w, context);
        w.writeEndElement();
        return std::nullopt;
    }
    return SoapFault{SoapFault::Code::Receiver,
                     {QStringLiteral("ActionNotSupported")},
                     op + QStringLiteral(" is not supported")};
}

} // namespace devsim
