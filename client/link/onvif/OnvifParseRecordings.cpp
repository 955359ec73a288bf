// OnvifParse's readers of the recording, search and replay services and of
// events: recordings, search pages of recordings and of recorded events, the
// replay URI, and PullPoint subscriptions and their notifications.

#include "link/onvif/OnvifParse.h"

#include "link/onvif/OnvifNamespaces.h"
#include "link/onvif/OnvifParseSupport.h"

#include <functional>
#include <optional>

using namespace OnvifParseSupport;

namespace {

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
