#include "link/onvif/OnvifParse.h"

#include "link/onvif/OnvifNamespaces.h"
#include "link/onvif/OnvifXml.h"

#include <functional>
#include <optional>

namespace {

using Kind = OnvifError::Kind;
using Element = OnvifXmlElement;

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

QString cut(const QString &text, int max = OnvifParse::MaxTextLength)
{
    return text.left(max);
}

// A token: empty when missing or over-long.
QString token(const QString &text)
{
    return text.size() <= OnvifParse::MaxTokenLength ? text : QString();
}

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

// The first element of the envelope's body: the fault, or the expected answer.
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

template <class T, class Read>
OnvifResult<T> read(const QByteArray &reply, const QString &ns, const QString &response, Read r)
{
    const OnvifResult<Element> doc = document(reply);
    if (!doc)
        return doc.error();
    const OnvifResult<const Element *> a = answer(doc.value(), ns, response);
    if (!a)
        return a.error();
    return r(*a.value());
}

// An http(s) address with a host; invalid when the text is anything else.
QUrl httpUrl(const QString &text, bool rtsp = false)
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

QUrl xaddrOf(const Element *capability)
{
    return capability ? httpUrl(capability->childText(OnvifNs::Schema, QStringLiteral("XAddr")))
                      : QUrl();
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

// The topics followed, below the topic namespace, and the Data item that
// carries each one's state. A topic ending in '/' matches what it begins.
struct TopicRule
{
    const char *topic;
    const char *item;
    OnvifEvent::Kind kind;
};
constexpr TopicRule Topics[] = {
    {"VideoSource/MotionAlarm", "State", OnvifEvent::Kind::Motion},
    {"RuleEngine/CellMotionDetector/Motion", "IsMotion", OnvifEvent::Kind::Motion},
    {"Device/Trigger/DigitalInput", "LogicalState", OnvifEvent::Kind::Input},
    {"VideoSource/GlobalSceneChange/", "State", OnvifEvent::Kind::Tamper},
    {"VideoSource/ImageTooDark/", "State", OnvifEvent::Kind::Tamper},
    {"VideoSource/ImageTooBright/", "State", OnvifEvent::Kind::Tamper},
    {"VideoSource/ImageTooBlurry/", "State", OnvifEvent::Kind::Tamper},
    {"RuleEngine/TamperDetector/Tamper", "IsTamper", OnvifEvent::Kind::Tamper},
    {"RecordingHistory/Track/State", "IsDataPresent", OnvifEvent::Kind::Recording},
};

// The value of the SimpleItem named name among items' children; null when none.
QString simpleItem(const Element *items, const QString &name)
{
    if (!items)
        return QString();
    for (const Element *i : items->childrenNamed(OnvifNs::Schema, QStringLiteral("SimpleItem"))) {
        if (i->attribute(QStringLiteral("Name")) == name)
            return i->attribute(QStringLiteral("Value")).trimmed();
    }
    return QString();
}

// A notification (wsnt:NotificationMessage or a recorded tt:Event) of a
// followed topic with a well-typed state; nothing for anything else.
std::optional<OnvifEvent> notification(const Element &holder)
{
    const QString &wsnt = OnvifNs::Notification, &tt = OnvifNs::Schema;
    const Element *topic = holder.child(wsnt, QStringLiteral("Topic"));
    const Element *message = holder.path(wsnt, {"Message"});
    message = message ? message->child(tt, QStringLiteral("Message")) : nullptr;
    if (!topic || !message)
        return std::nullopt;
    const QString qname = topic->text();
    const qsizetype colon = qname.indexOf(QLatin1Char(':'));
    if (colon < 0 || qname.size() > OnvifParse::MaxTextLength ||
        topic->namespaceOf(qname.left(colon)) != OnvifNs::Topics)
        return std::nullopt;
    OnvifEvent e;
    e.topic = qname.mid(colon + 1);
    const TopicRule *rule = nullptr;
    for (const TopicRule &r : Topics) {
        const QLatin1String t(r.topic);
        if (t.endsWith(QLatin1Char('/')) ? e.topic.startsWith(t) : e.topic == t) {
            rule = &r;
            break;
        }
    }
    if (!rule)
        return std::nullopt;
    const QString state =
        simpleItem(message->child(tt, QStringLiteral("Data")), QLatin1String(rule->item));
    if (state != QLatin1String("true") && state != QLatin1String("false") &&
        state != QLatin1String("1") && state != QLatin1String("0"))
        return std::nullopt;
    e.kind = rule->kind;
    e.state = xsBool(state);
    e.utc = OnvifParse::dateTime(message->attribute(QStringLiteral("UtcTime")));
    const Element *source = message->child(tt, QStringLiteral("Source"));
    for (const char *name : {"VideoSourceToken", "Source", "VideoSourceConfigurationToken"}) {
        e.source = token(simpleItem(source, QLatin1String(name)));
        if (!e.source.isEmpty())
            break;
    }
    return e;
}

QList<OnvifEvent> notifications(const Element &response)
{
    QList<OnvifEvent> events;
    for (const Element *m :
         response.childrenNamed(OnvifNs::Notification, QStringLiteral("NotificationMessage"))) {
        if (events.size() >= OnvifParse::MaxEvents)
            break;
        if (const std::optional<OnvifEvent> e = notification(*m))
            events.append(*e);
    }
    return events;
}

template <class T>
OnvifResult<OnvifSearchPage<T>>
searchPage(const QByteArray &reply, const QString &response, const char *item,
           std::function<std::optional<T>(const Element &)> r, int max)
{
    return read<OnvifSearchPage<T>>(
        reply, OnvifNs::Search, response,
        [item, r, max](const Element &a) -> OnvifResult<OnvifSearchPage<T>> {
            const Element *list = a.child(OnvifNs::Search, QStringLiteral("ResultList"));
            if (!list)
                return malformed(QStringLiteral("no result list"));
            OnvifSearchPage<T> page;
            page.completed = list->childText(OnvifNs::Schema, QStringLiteral("SearchState")) ==
                             QLatin1String("Completed");
            for (const Element *e : list->childrenNamed(OnvifNs::Schema, QLatin1String(item))) {
                if (page.results.size() >= max)
                    break;
                if (std::optional<T> v = r(*e))
                    page.results.append(*v);
            }
            return page;
        });
}

} // namespace

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

OnvifResult<QList<OnvifRecording>> OnvifParse::recordings(const QByteArray &reply)
{
    return read<QList<OnvifRecording>>(
        reply, OnvifNs::Recording, QStringLiteral("GetRecordingsResponse"), [](const Element &a) {
            const QString &tt = OnvifNs::Schema;
            QList<OnvifRecording> list;
            for (const Element *e :
                 a.childrenNamed(OnvifNs::Recording, QStringLiteral("RecordingItem"))) {
                OnvifRecording r;
                r.token = token(e->childText(tt, QStringLiteral("RecordingToken")));
                if (const Element *source = e->path(tt, {"Configuration", "Source"}))
                    r.sourceId = cut(source->childText(tt, QStringLiteral("SourceId")));
                if (!r.token.isEmpty() && list.size() < MaxListEntries)
                    list.append(r);
            }
            return list;
        });
}

OnvifResult<QString> OnvifParse::searchToken(const QByteArray &reply)
{
    const OnvifResult<Element> doc = document(reply);
    if (!doc)
        return doc.error();
    const Element *body = doc->child(OnvifNs::Soap, QStringLiteral("Body"));
    const bool events = body && !body->children().empty() &&
                        body->children().front().name() == QLatin1String("FindEventsResponse");
    const OnvifResult<const Element *> a = answer(
        doc.value(), OnvifNs::Search,
        events ? QStringLiteral("FindEventsResponse") : QStringLiteral("FindRecordingsResponse"));
    if (!a)
        return a.error();
    const QString t = token(a.value()->childText(OnvifNs::Search, QStringLiteral("SearchToken")));
    if (t.isEmpty())
        return malformed(QStringLiteral("no valid search token"));
    return t;
}

OnvifResult<OnvifSearchPage<OnvifRecording>>
OnvifParse::recordingSearchResults(const QByteArray &reply)
{
    return searchPage<OnvifRecording>(
        reply, QStringLiteral("GetRecordingSearchResultsResponse"), "RecordingInformation",
        [](const Element &e) -> std::optional<OnvifRecording> {
            const QString &tt = OnvifNs::Schema;
            OnvifRecording r;
            r.token = token(e.childText(tt, QStringLiteral("RecordingToken")));
            if (r.token.isEmpty())
                return std::nullopt;
            if (const Element *source = e.child(tt, QStringLiteral("Source")))
                r.sourceId = cut(source->childText(tt, QStringLiteral("SourceId")));
            r.earliest = dateTime(e.childText(tt, QStringLiteral("EarliestRecording")));
            r.latest = dateTime(e.childText(tt, QStringLiteral("LatestRecording")));
            if (r.earliest.isValid() && r.latest.isValid() && r.latest < r.earliest)
                r.earliest = r.latest = QDateTime();
            return r;
        },
        MaxListEntries);
}

OnvifResult<OnvifSearchPage<OnvifEvent>> OnvifParse::eventSearchResults(const QByteArray &reply)
{
    return searchPage<OnvifEvent>(
        reply, QStringLiteral("GetEventSearchResultsResponse"), "Result",
        [](const Element &e) -> std::optional<OnvifEvent> {
            const QString &tt = OnvifNs::Schema;
            const Element *event = e.child(tt, QStringLiteral("Event"));
            std::optional<OnvifEvent> n = event ? notification(*event) : std::nullopt;
            if (!n)
                return std::nullopt;
            // The result's time is the recording's; the message's is the fallback.
            const QDateTime at = dateTime(e.childText(tt, QStringLiteral("Time")));
            if (at.isValid())
                n->utc = at;
            if (!n->utc.isValid())
                return std::nullopt;
            n->recording = token(e.childText(tt, QStringLiteral("RecordingToken")));
            n->startState = xsBool(e.childText(tt, QStringLiteral("StartStateEvent")));
            return n;
        },
        MaxEvents);
}

OnvifResult<OnvifRecordingSummary> OnvifParse::recordingSummary(const QByteArray &reply)
{
    return read<OnvifRecordingSummary>(
        reply, OnvifNs::Search, QStringLiteral("GetRecordingSummaryResponse"),
        [](const Element &a) -> OnvifResult<OnvifRecordingSummary> {
            const Element *s = a.child(OnvifNs::Search, QStringLiteral("Summary"));
            if (!s)
                return malformed(QStringLiteral("no summary"));
            const QString &tt = OnvifNs::Schema;
            OnvifRecordingSummary r;
            r.from = dateTime(s->childText(tt, QStringLiteral("DataFrom")));
            r.until = dateTime(s->childText(tt, QStringLiteral("DataUntil")));
            r.recordings =
                boundedInt(s->childText(tt, QStringLiteral("NumberRecordings")), 0, INT_MAX, 0);
            if (!r.from.isValid() || !r.until.isValid() || r.until < r.from)
                r.from = r.until = QDateTime();
            return r;
        });
}

OnvifResult<QUrl> OnvifParse::replayUri(const QByteArray &reply)
{
    return read<QUrl>(reply, OnvifNs::Replay, QStringLiteral("GetReplayUriResponse"),
                      [](const Element &a) -> OnvifResult<QUrl> {
                          const QUrl url =
                              httpUrl(a.childText(OnvifNs::Replay, QStringLiteral("Uri")), true);
                          if (!url.isValid())
                              return malformed(QStringLiteral("no valid URI"));
                          return url;
                      });
}

OnvifResult<OnvifReplayCapabilities> OnvifParse::replayCapabilities(const QByteArray &reply)
{
    return read<OnvifReplayCapabilities>(
        reply, OnvifNs::Replay, QStringLiteral("GetServiceCapabilitiesResponse"),
        [](const Element &a) -> OnvifResult<OnvifReplayCapabilities> {
            const Element *caps = a.child(OnvifNs::Replay, QStringLiteral("Capabilities"));
            if (!caps)
                return malformed(QStringLiteral("no capabilities"));
            return OnvifReplayCapabilities{
                xsBool(caps->attribute(QStringLiteral("ReversePlayback")).trimmed())};
        });
}

OnvifResult<OnvifSubscription> OnvifParse::subscription(const QByteArray &reply)
{
    return read<OnvifSubscription>(
        reply, OnvifNs::Events, QStringLiteral("CreatePullPointSubscriptionResponse"),
        [](const Element &a) -> OnvifResult<OnvifSubscription> {
            const Element *ref = a.child(OnvifNs::Events, QStringLiteral("SubscriptionReference"));
            OnvifSubscription s;
            s.address =
                ref ? httpUrl(ref->childText(OnvifNs::Addressing2005, QStringLiteral("Address")))
                    : QUrl();
            if (!s.address.isValid())
                return malformed(QStringLiteral("no valid subscription address"));
            const QString &wsnt = OnvifNs::Notification;
            s.currentTime = dateTime(a.childText(wsnt, QStringLiteral("CurrentTime")));
            s.terminationTime = dateTime(a.childText(wsnt, QStringLiteral("TerminationTime")));
            return s;
        });
}

OnvifResult<OnvifPull> OnvifParse::pullMessages(const QByteArray &reply)
{
    return read<OnvifPull>(
        reply, OnvifNs::Events, QStringLiteral("PullMessagesResponse"), [](const Element &a) {
            OnvifPull p;
            const QString &tev = OnvifNs::Events;
            p.currentTime = dateTime(a.childText(tev, QStringLiteral("CurrentTime")));
            p.terminationTime = dateTime(a.childText(tev, QStringLiteral("TerminationTime")));
            p.events = notifications(a);
            return p;
        });
}

OnvifResult<OnvifPull> OnvifParse::renew(const QByteArray &reply)
{
    return read<OnvifPull>(
        reply, OnvifNs::Notification, QStringLiteral("RenewResponse"), [](const Element &a) {
            OnvifPull p;
            const QString &wsnt = OnvifNs::Notification;
            p.currentTime = dateTime(a.childText(wsnt, QStringLiteral("CurrentTime")));
            p.terminationTime = dateTime(a.childText(wsnt, QStringLiteral("TerminationTime")));
            return p;
        });
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
