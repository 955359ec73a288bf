// OnvifParse's readers of the device, media and PTZ services and of
// WS-Discovery, and what all its readers share (OnvifParseSupport.h): the
// envelope, its answer or fault, and the bounded field readers.

#include "link/onvif/OnvifParse.h"

#include "link/onvif/OnvifNamespaces.h"
#include "link/onvif/OnvifParseSupport.h"

#include <optional>

using namespace OnvifParseSupport;

namespace {

using Kind = OnvifError::Kind;

QString localName(const QString &qname)
{
    return qname.mid(qname.indexOf(QLatin1Char(':')) + 1);
}

OnvifError faultOf(const Element &fault)
{
    OnvifError e = OnvifError::make(Kind::Fault, QString());
    const QString &s = OnvifNs::Soap;
    if (const Element *code = fault.child(s, QStringLiteral("Code"))) {
        e.code = cut(localName(code->childText(s, QStringLiteral("Value"))), 64);
        for (const Element *sub = code->child(s, QStringLiteral("Subcode")); sub;
             sub = sub->child(s, QStringLiteral("Subcode")))
            e.subcodes.append(cut(localName(sub->childText(s, QStringLiteral("Value"))), 64));
    }
    if (const Element *reason = fault.child(s, QStringLiteral("Reason")))
        e.reason = cut(reason->childText(s, QStringLiteral("Text")));
    return e;
}

QUrl xaddrOf(const Element *capability)
{
    return capability ? httpUrl(capability->childText(OnvifNs::Schema, QStringLiteral("XAddr")))
                      : QUrl();
}

QStringList words(const QString &text)
{
    return text.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

OnvifResult<QUrl> mediaUri(const QByteArray &reply, const QString &response, bool rtsp)
{
    return read<QUrl>(
        reply, OnvifNs::Media, response, [rtsp](const Element &a) -> OnvifResult<QUrl> {
            const Element *uri = a.path(OnvifNs::Media, {"MediaUri"});
            const QUrl url =
                uri ? httpUrl(uri->childText(OnvifNs::Schema, QStringLiteral("Uri")), rtsp)
                    : QUrl();
            if (!url.isValid())
                return malformed(QStringLiteral("no valid URI"));
            return url;
        });
}

} // namespace

namespace OnvifParseSupport {

OnvifError malformed(const QString &why)
{
    return OnvifError::make(Kind::Malformed, why);
}

OnvifResult<Element> document(const QByteArray &reply)
{
    Element::Limits limits;
    limits.maxBytes = OnvifParse::MaxReplyBytes;
    limits.maxDepth = OnvifParse::MaxDepth;
    auto doc = Element::parse(reply, limits);
    if (doc && !doc->is(OnvifNs::Soap, QStringLiteral("Envelope")))
        return malformed(QStringLiteral("not a SOAP 1.2 envelope"));
    return doc;
}

QString cut(const QString &text, int max)
{
    return text.left(max);
}

QString token(const QString &text)
{
    return text.size() <= OnvifParse::MaxTokenLength ? text : QString();
}

OnvifResult<const Element *> answer(const Element &envelope, const QString &ns, const QString &name)
{
    const Element *body = envelope.child(OnvifNs::Soap, QStringLiteral("Body"));
    if (!body)
        return malformed(QStringLiteral("no SOAP body"));
    if (body->children().empty())
        return malformed(QStringLiteral("empty SOAP body"));
    const Element &first = body->children().front();
    if (first.is(OnvifNs::Soap, QStringLiteral("Fault")))
        return faultOf(first);
    if (!first.is(ns, name))
        return malformed(
            QStringLiteral("expected %1, got {%2}%3").arg(name, first.ns(), first.name()));
    return &first;
}

QUrl httpUrl(const QString &text, bool rtsp)
{
    if (text.size() > 2048)
        return {};
    const QUrl url(text, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    const bool schemeOk =
        rtsp ? (scheme == QLatin1String("rtsp") || scheme == QLatin1String("rtsps"))
             : (scheme == QLatin1String("http") || scheme == QLatin1String("https"));
    if (!url.isValid() || !schemeOk || url.host().isEmpty())
        return {};
    return url;
}

int boundedInt(const QString &text, int min, int max, int fallback)
{
    bool ok = false;
    const int v = text.toInt(&ok);
    return ok && v >= min && v <= max ? v : fallback;
}

bool xsBool(const QString &text)
{
    return text == QLatin1String("true") || text == QLatin1String("1");
}

} // namespace OnvifParseSupport

OnvifResult<OnvifServices> OnvifParse::capabilities(const QByteArray &reply)
{
    return read<OnvifServices>(
        reply, OnvifNs::Device, QStringLiteral("GetCapabilitiesResponse"),
        [](const Element &a) -> OnvifResult<OnvifServices> {
            const Element *caps = a.child(OnvifNs::Device, QStringLiteral("Capabilities"));
            if (!caps)
                return malformed(QStringLiteral("no capabilities"));
            const QString &tt = OnvifNs::Schema;
            OnvifServices s;
            s.device = xaddrOf(caps->child(tt, QStringLiteral("Device")));
            s.media = xaddrOf(caps->child(tt, QStringLiteral("Media")));
            s.ptz = xaddrOf(caps->child(tt, QStringLiteral("PTZ")));
            s.events = xaddrOf(caps->child(tt, QStringLiteral("Events")));
            if (const Element *ext = caps->child(tt, QStringLiteral("Extension"))) {
                s.recording = xaddrOf(ext->child(tt, QStringLiteral("Recording")));
                s.search = xaddrOf(ext->child(tt, QStringLiteral("Search")));
                s.replay = xaddrOf(ext->child(tt, QStringLiteral("Replay")));
            }
            return s;
        });
}

OnvifResult<OnvifServices> OnvifParse::services(const QByteArray &reply)
{
    return read<OnvifServices>(
        reply, OnvifNs::Device, QStringLiteral("GetServicesResponse"), [](const Element &a) {
            OnvifServices s;
            for (const Element *service :
                 a.childrenNamed(OnvifNs::Device, QStringLiteral("Service"))) {
                const QString ns = service->childText(OnvifNs::Device, QStringLiteral("Namespace"));
                const QUrl url =
                    httpUrl(service->childText(OnvifNs::Device, QStringLiteral("XAddr")));
                QUrl *slot = ns == OnvifNs::Device      ? &s.device
                             : ns == OnvifNs::Media     ? &s.media
                             : ns == OnvifNs::Ptz       ? &s.ptz
                             : ns == OnvifNs::Events    ? &s.events
                             : ns == OnvifNs::Recording ? &s.recording
                             : ns == OnvifNs::Search    ? &s.search
                             : ns == OnvifNs::Replay    ? &s.replay
                                                        : nullptr;
                if (slot && slot->isEmpty())
                    *slot = url;
            }
            return s;
        });
}

OnvifResult<OnvifDeviceInfo> OnvifParse::deviceInformation(const QByteArray &reply)
{
    return read<OnvifDeviceInfo>(
        reply, OnvifNs::Device, QStringLiteral("GetDeviceInformationResponse"),
        [](const Element &a) {
            auto field = [&a](const char *name) {
                return cut(a.childText(OnvifNs::Device, QLatin1String(name)));
            };
            return OnvifDeviceInfo{field("Manufacturer"), field("Model"), field("FirmwareVersion"),
                                   field("SerialNumber"), field("HardwareId")};
        });
}

OnvifResult<OnvifDateTime> OnvifParse::systemDateAndTime(const QByteArray &reply)
{
    return read<OnvifDateTime>(
        reply, OnvifNs::Device, QStringLiteral("GetSystemDateAndTimeResponse"),
        [](const Element &a) -> OnvifResult<OnvifDateTime> {
            const Element *sdt = a.child(OnvifNs::Device, QStringLiteral("SystemDateAndTime"));
            if (!sdt)
                return malformed(QStringLiteral("no system date and time"));
            const QString &tt = OnvifNs::Schema;
            OnvifDateTime t;
            t.manual = sdt->childText(tt, QStringLiteral("DateTimeType")) != QLatin1String("NTP");
            t.daylightSavings = xsBool(sdt->childText(tt, QStringLiteral("DaylightSavings")));
            if (const Element *zone = sdt->child(tt, QStringLiteral("TimeZone")))
                t.timeZone = cut(zone->childText(tt, QStringLiteral("TZ")), 128);
            const Element *date = sdt->path(tt, {"UTCDateTime", "Date"});
            const Element *time = sdt->path(tt, {"UTCDateTime", "Time"});
            if (date && time) {
                auto part = [](const Element *e, const char *name, int min, int max) {
                    return boundedInt(e->childText(OnvifNs::Schema, QLatin1String(name)), min, max,
                                      -1);
                };
                const QDate d(part(date, "Year", 1970, 9999), part(date, "Month", 1, 12),
                              part(date, "Day", 1, 31));
                const QTime clock(part(time, "Hour", 0, 23), part(time, "Minute", 0, 59),
                                  part(time, "Second", 0, 59));
                if (d.isValid() && clock.isValid())
                    t.utc = QDateTime(d, clock, Qt::UTC);
            }
            return t;
        });
}

OnvifResult<QList<OnvifProfile>> OnvifParse::profiles(const QByteArray &reply)
{
    return read<QList<OnvifProfile>>(
        reply, OnvifNs::Media, QStringLiteral("GetProfilesResponse"), [](const Element &a) {
            const QString &tt = OnvifNs::Schema;
            QList<OnvifProfile> list;
            for (const Element *e : a.childrenNamed(OnvifNs::Media, QStringLiteral("Profiles"))) {
                OnvifProfile p;
                p.token = token(e->attribute(QStringLiteral("token")));
                if (p.token.isEmpty() || list.size() >= MaxListEntries)
                    continue;
                p.name = cut(e->childText(tt, QStringLiteral("Name")));
                if (const Element *source =
                        e->child(tt, QStringLiteral("VideoSourceConfiguration"))) {
                    p.videoSourceToken =
                        token(source->childText(tt, QStringLiteral("SourceToken")));
                    p.videoSourceConfigToken = token(source->attribute(QStringLiteral("token")));
                }
                if (const Element *audio =
                        e->child(tt, QStringLiteral("AudioEncoderConfiguration")))
                    p.audioEncoding = cut(audio->childText(tt, QStringLiteral("Encoding")), 32);
                // Media 1.0 keeps the audio output in the profile's Extension.
                for (const Element *at : {e, e->child(tt, QStringLiteral("Extension"))}) {
                    if (at && (at->child(tt, QStringLiteral("AudioOutputConfiguration")) ||
                               at->child(tt, QStringLiteral("AudioDecoderConfiguration"))))
                        p.hasAudioOutput = true;
                }
                if (const Element *enc =
                        e->child(tt, QStringLiteral("VideoEncoderConfiguration"))) {
                    p.encoding = cut(enc->childText(tt, QStringLiteral("Encoding")), 32);
                    if (const Element *res = enc->child(tt, QStringLiteral("Resolution"))) {
                        const int w =
                            boundedInt(res->childText(tt, QStringLiteral("Width")), 1, 16384, 0);
                        const int h =
                            boundedInt(res->childText(tt, QStringLiteral("Height")), 1, 16384, 0);
                        if (w && h) {
                            p.width = w;
                            p.height = h;
                        }
                    }
                }
                p.hasPtz = e->child(tt, QStringLiteral("PTZConfiguration")) != nullptr;
                list.append(p);
            }
            return list;
        });
}

OnvifResult<QUrl> OnvifParse::streamUri(const QByteArray &reply)
{
    return mediaUri(reply, QStringLiteral("GetStreamUriResponse"), true);
}

OnvifResult<QUrl> OnvifParse::snapshotUri(const QByteArray &reply)
{
    return mediaUri(reply, QStringLiteral("GetSnapshotUriResponse"), false);
}

OnvifResult<QList<OnvifPreset>> OnvifParse::presets(const QByteArray &reply)
{
    return read<QList<OnvifPreset>>(
        reply, OnvifNs::Ptz, QStringLiteral("GetPresetsResponse"), [](const Element &a) {
            QList<OnvifPreset> list;
            for (const Element *e : a.childrenNamed(OnvifNs::Ptz, QStringLiteral("Preset"))) {
                const QString t = token(e->attribute(QStringLiteral("token")));
                if (!t.isEmpty() && list.size() < MaxListEntries)
                    list.append({t, cut(e->childText(OnvifNs::Schema, QStringLiteral("Name")))});
            }
            return list;
        });
}

OnvifResult<QString> OnvifParse::presetToken(const QByteArray &reply)
{
    return read<QString>(reply, OnvifNs::Ptz, QStringLiteral("SetPresetResponse"),
                         [](const Element &a) -> OnvifResult<QString> {
                             const QString t =
                                 token(a.childText(OnvifNs::Ptz, QStringLiteral("PresetToken")));
                             if (t.isEmpty())
                                 return malformed(QStringLiteral("no valid preset token"));
                             return t;
                         });
}

QDateTime OnvifParse::dateTime(const QString &text)
{
    if (text.isEmpty() || text.size() > 40)
        return {};
    QDateTime t = QDateTime::fromString(text.trimmed(), Qt::ISODateWithMs);
    if (!t.isValid())
        return {};
    if (t.timeSpec() == Qt::LocalTime)
        t.setTimeSpec(Qt::UTC);
    t = t.toUTC();
    return t.date().year() >= 1970 && t.date().year() <= 9999 ? t : QDateTime();
}

OnvifResult<OnvifDone> OnvifParse::empty(const QByteArray &reply, const QString &ns,
                                         const QString &operation)
{
    return read<OnvifDone>(reply, ns, operation + QStringLiteral("Response"),
                           [](const Element &) { return OnvifDone{}; });
}

std::optional<OnvifError> OnvifParse::fault(const QByteArray &reply)
{
    const OnvifResult<Element> doc = document(reply);
    if (!doc)
        return std::nullopt;
    const Element *f = doc->path(OnvifNs::Soap, {"Body", "Fault"});
    return f ? std::optional<OnvifError>(faultOf(*f)) : std::nullopt;
}

OnvifResult<OnvifProbeMatches> OnvifParse::probeMatches(const QByteArray &datagram)
{
    const OnvifResult<Element> doc = document(datagram);
    if (!doc)
        return doc.error();
    const OnvifResult<const Element *> a =
        answer(doc.value(), OnvifNs::Discovery, QStringLiteral("ProbeMatches"));
    if (!a)
        return a.error();
    const QString &d = OnvifNs::Discovery;
    OnvifProbeMatches result;
    if (const Element *header = doc->child(OnvifNs::Soap, QStringLiteral("Header")))
        result.relatesTo = cut(header->childText(OnvifNs::Addressing, QStringLiteral("RelatesTo")));
    for (const Element *e : a.value()->childrenNamed(d, QStringLiteral("ProbeMatch"))) {
        if (result.matches.size() >= MaxListEntries)
            break;
        OnvifProbeMatch m;
        if (const Element *epr = e->child(OnvifNs::Addressing, QStringLiteral("EndpointReference")))
            m.endpoint = cut(epr->childText(OnvifNs::Addressing, QStringLiteral("Address")));
        if (const Element *types = e->child(d, QStringLiteral("Types"))) {
            for (const QString &qname : words(types->text()).mid(0, 32)) {
                const qsizetype colon = qname.indexOf(QLatin1Char(':'));
                const QString prefix = colon < 0 ? QString() : qname.left(colon);
                m.types.append(QLatin1Char('{') + types->namespaceOf(prefix) + QLatin1Char('}') +
                               cut(qname.mid(colon + 1), 64));
            }
        }
        for (const QString &scope : words(e->childText(d, QStringLiteral("Scopes"))).mid(0, 64))
            m.scopes.append(cut(scope, 512));
        for (const QString &x : words(e->childText(d, QStringLiteral("XAddrs"))).mid(0, 16)) {
            const QUrl url = httpUrl(x);
            if (url.isValid())
                m.xaddrs.append(url);
        }
        m.metadataVersion =
            boundedInt(e->childText(d, QStringLiteral("MetadataVersion")), 0, INT_MAX, 0);
        result.matches.append(m);
    }
    return result;
}
