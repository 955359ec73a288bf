#include "SearchService.h"

#include "EventMessage.h"
#include "MotionSchedule.h"
#include "OnvifContext.h"
#include "RecordStore.h"
#include "RecordingService.h"
#include "SimDevice.h"
#include "SoapNamespaces.h"
#include "TopicFilter.h"
#include "XmlNode.h"
#include "XsdTime.h"

#include <QTimeZone>
#include <QXmlStreamWriter>

#include <algorithm>

namespace devsim {

namespace {

const QString &tt = SoapNs::Schema;
const QString &tse = SoapNs::Search;

SoapFault invalidArgs(const QString &reason)
{
    return SoapFault::sender({QStringLiteral("InvalidArgVal")}, reason);
}

QDateTime utc(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms, QTimeZone::utc());
}

// An optional positive count (MaxMatches, MaxResults): `fallback` without it, at most `max`.
std::optional<int> count(const XmlNode &request, const QString &name, int fallback, int max,
                         std::optional<SoapFault> *fault)
{
    const std::optional<QString> text = request.childText(tse, name);
    if (!text)
        return fallback;
    bool ok = false;
    const qint64 n = text->toLongLong(&ok);
    if (!ok || n < 1) {
        *fault = invalidArgs(name + QStringLiteral(" must be a positive number"));
        return std::nullopt;
    }
    return int(std::min<qint64>(n, max));
}

// The channels a search's scope leaves: those of its IncludedSources and IncludedRecordings
// (each list, when given, a condition).
std::vector<int> scopeChannels(const XmlNode *scope, const OnvifContext &context)
{
    QStringList sources, recordings;
    if (scope) {
        for (const auto &c : scope->children) {
            if (c->ns != tt)
                continue;
            if (c->name == QLatin1String("IncludedSources"))
                sources << c->childText(tt, QStringLiteral("Token")).value_or(QString());
            else if (c->name == QLatin1String("IncludedRecordings"))
                recordings << c->text;
        }
    }
    std::vector<int> channels;
    for (int channel = 0; channel < context.config.channels; ++channel) {
        if ((sources.isEmpty() || sources.contains(OnvifContext::sourceToken(channel))) &&
            (recordings.isEmpty() || recordings.contains(OnvifContext::recordingToken(channel))))
            channels.push_back(channel);
    }
    return channels;
}

std::optional<qint64> timeOf(const XmlNode &request, const QString &name,
                             std::optional<SoapFault> *fault)
{
    const std::optional<QString> text = request.childText(tse, name);
    const std::optional<QDateTime> at = text ? XsdTime::parseDateTime(*text) : std::nullopt;
    if (!at)
        *fault = invalidArgs(name + QStringLiteral(" must be a date and time"));
    return at ? std::optional<qint64>(at->toMSecsSinceEpoch()) : std::nullopt;
}

void writeTrackInformation(QXmlStreamWriter &w, const RecordingService::Track &track, qint64 from,
                           qint64 to)
{
    w.writeStartElement(tt, QStringLiteral("TrackInformation"));
    w.writeTextElement(tt, QStringLiteral("TrackToken"), QLatin1String(track.token));
    w.writeTextElement(tt, QStringLiteral("TrackType"), QLatin1String(track.type));
    w.writeTextElement(tt, QStringLiteral("Description"), QLatin1String(track.type));
    w.writeTextElement(tt, QStringLiteral("DataFrom"), XsdTime::dateTime(from));
    w.writeTextElement(tt, QStringLiteral("DataTo"), XsdTime::dateTime(to));
    w.writeEndElement();
}

} // namespace

SearchService::SearchService(const RecordStore &store, const MotionSchedule &motion)
    : m_store(store)
    , m_motion(motion)
{}

void SearchService::writeCapabilities(QXmlStreamWriter &w, const OnvifContext &)
{
    w.writeEmptyElement(tse, QStringLiteral("Capabilities"));
    w.writeAttribute(QStringLiteral("MetadataSearch"), QStringLiteral("false"));
    w.writeAttribute(QStringLiteral("GeneralStartEvents"), QStringLiteral("false"));
}

std::optional<SoapFault> SearchService::start(const XmlNode &request, Search search,
                                              QXmlStreamWriter &w, const QString &response)
{
    if (const std::optional<QString> text =
            request.childText(tse, QStringLiteral("KeepAliveTime"))) {
        const std::optional<qint64> ms = XsdTime::parseDuration(*text);
        if (!ms || *ms < 1000)
            return invalidArgs(QStringLiteral("KeepAliveTime must be a duration of 1 s or more"));
        search.keepAliveMs = std::min(*ms, MaxKeepAliveMs);
    }
    for (auto it = m_searches.begin(); it != m_searches.end();)
        it = it->second.expiry.hasExpired() ? m_searches.erase(it) : std::next(it);
    if (int(m_searches.size()) >= MaxSearches) { // a finished search makes room
        const auto done = std::find_if(m_searches.begin(), m_searches.end(), [](const auto &s) {
            return s.second.delivered >= s.second.size();
        });
        if (done == m_searches.end())
            return SoapFault{SoapFault::Code::Receiver,
                             {QStringLiteral("Action"), QStringLiteral("ResourceProblem")},
                             QStringLiteral("too many searches at once")};
        m_searches.erase(done);
    }
    search.expiry.setRemainingTime(search.keepAliveMs);
    const QString token = QStringLiteral("search%1").arg(m_next++);
    m_searches.emplace(token, std::move(search));
    w.writeStartElement(tse, response);
    w.writeTextElement(tse, QStringLiteral("SearchToken"), token);
    w.writeEndElement();
    return std::nullopt;
}

SearchService::Search *SearchService::find(const XmlNode &request, std::optional<SoapFault> *fault)
{
    const std::optional<QString> token = request.childText(tse, QStringLiteral("SearchToken"));
    const auto it = token ? m_searches.find(*token) : m_searches.end();
    if (it == m_searches.end() || it->second.expiry.hasExpired()) {
        *fault =
            SoapFault::sender({QStringLiteral("InvalidArgVal"), QStringLiteral("InvalidToken")},
                              token ? QStringLiteral("no search \"%1\"").arg(token->left(64))
                                    : QStringLiteral("SearchToken is missing"));
        return nullptr;
    }
    it->second.expiry.setRemainingTime(it->second.keepAliveMs);
    return &it->second;
}

std::optional<SoapFault> SearchService::findRecordings(const XmlNode &request,
                                                       OnvifContext &context, QXmlStreamWriter &w)
{
    std::optional<SoapFault> fault;
    const std::optional<int> max =
        count(request, QStringLiteral("MaxMatches"), MaxFound, MaxFound, &fault);
    if (!max)
        return fault;
    Search search;
    search.channels = scopeChannels(request.child(tse, QStringLiteral("Scope")), context);
    if (int(search.channels.size()) > *max)
        search.channels.resize(std::size_t(*max));
    search.endPointMs = context.device.now().toMSecsSinceEpoch();
    return start(request, std::move(search), w, QStringLiteral("FindRecordingsResponse"));
}

std::vector<SearchService::Found> SearchService::timeline(qint64 from, qint64 to, bool motion,
                                                          bool recording) const
{
    // One channel's events in [from, to] (ms), by time; at one moment a recording's start
    // comes first and its end last.
    struct Ranked
    {
        Found found;
        int rank;
    };
    std::vector<Ranked> events;
    const auto add = [&](qint64 seconds, bool isMotion, bool value, int rank) {
        const qint64 ms = seconds * 1000;
        if (ms >= from && ms <= to)
            events.push_back({Found{ms, 0, isMotion, value, false}, rank});
    };
    if (recording) {
        for (const RecordStore::Recording &r :
             m_store.overlapping(from / 1000 - 1, to / 1000 + 1)) {
            add(r.start, false, true, 0);
            add(r.end(), false, false, 2);
        }
    }
    if (motion) {
        for (const RecordStore::Recording &m : m_motion.recorded()) {
            add(m.start, true, true, 1);
            add(m.end(), true, false, 1);
        }
    }
    std::stable_sort(events.begin(), events.end(), [](const Ranked &a, const Ranked &b) {
        return a.found.ms != b.found.ms ? a.found.ms < b.found.ms : a.rank < b.rank;
    });
    std::vector<Found> out;
    out.reserve(events.size());
    for (const Ranked &e : events)
        out.push_back(e.found);
    return out;
}

std::optional<SoapFault> SearchService::findEvents(const XmlNode &request, OnvifContext &context,
                                                   QXmlStreamWriter &w)
{
    std::optional<SoapFault> fault;
    const std::optional<qint64> startPoint = timeOf(request, QStringLiteral("StartPoint"), &fault);
    if (!startPoint)
        return fault;
    std::optional<qint64> endPoint;
    if (request.child(tse, QStringLiteral("EndPoint"))) {
        endPoint = timeOf(request, QStringLiteral("EndPoint"), &fault);
        if (!endPoint)
            return fault;
    }
    const std::optional<int> max =
        count(request, QStringLiteral("MaxMatches"), MaxFound, MaxFound, &fault);
    if (!max)
        return fault;
    const XmlNode *filterNode = request.child(tse, QStringLiteral("SearchFilter"));
    const std::optional<TopicFilter> filter = TopicFilter::parse(
        filterNode ? filterNode->child(SoapNs::Notification, QStringLiteral("TopicExpression"))
                   : nullptr);
    if (!filter)
        return invalidArgs(QStringLiteral("the topic expression names no topics under tns1"));
    const QString includeStart =
        request.childText(tse, QStringLiteral("IncludeStartState")).value_or(QString());
    const bool withStartState =
        includeStart == QLatin1String("true") || includeStart == QLatin1String("1");
    const bool reverse = endPoint && *endPoint < *startPoint;
    const qint64 from = reverse ? *endPoint : *startPoint;
    const qint64 to =
        endPoint ? std::max(*endPoint, *startPoint) : std::numeric_limits<qint64>::max() / 2;
    const bool recording = filter->matches(EventMessage::RecordingState);
    const bool motion = filter->matches(EventMessage::MotionAlarm);

    Search search;
    search.events = true;
    search.endPointMs = endPoint.value_or(context.device.now().toMSecsSinceEpoch());
    const std::vector<int> channels =
        scopeChannels(request.child(tse, QStringLiteral("Scope")), context);
    const auto push = [&](Found f) {
        for (const int channel : channels) {
            if (int(search.found.size()) >= *max)
                return;
            f.channel = channel;
            search.found.push_back(f);
        }
    };
    if (withStartState) {
        const qint64 t = *startPoint / 1000;
        const auto holds = [t](const QList<RecordStore::Recording> &spans) {
            return std::any_of(spans.cbegin(), spans.cend(), [t](const RecordStore::Recording &r) {
                return r.start <= t && t < r.end();
            });
        };
        if (recording)
            push(Found{*startPoint, 0, false, holds(m_store.recordings()), true});
        if (motion)
            push(Found{*startPoint, 0, true, holds(m_motion.recorded()), true});
    }
    std::vector<Found> events = timeline(from, to, motion, recording);
    if (reverse)
        std::reverse(events.begin(), events.end());
    for (const Found &f : events)
        push(f);
    return start(request, std::move(search), w, QStringLiteral("FindEventsResponse"));
}

void SearchService::writeRecording(QXmlStreamWriter &w, int channel) const
{
    const QList<RecordStore::Recording> &all = m_store.recordings();
    w.writeStartElement(tt, QStringLiteral("RecordingInformation"));
    w.writeTextElement(tt, QStringLiteral("RecordingToken"), OnvifContext::recordingToken(channel));
    RecordingService::writeSource(w, channel);
    if (!all.isEmpty()) {
        w.writeTextElement(tt, QStringLiteral("EarliestRecording"),
                           XsdTime::dateTime(all.first().start));
        w.writeTextElement(tt, QStringLiteral("LatestRecording"),
                           XsdTime::dateTime(all.last().end()));
    }
    w.writeTextElement(tt, QStringLiteral("Content"), QStringLiteral("CH%1").arg(channel + 1));
    for (const RecordingService::Track &track : RecordingService::Tracks) {
        w.writeStartElement(tt, QStringLiteral("Track"));
        w.writeTextElement(tt, QStringLiteral("TrackToken"), QLatin1String(track.token));
        w.writeTextElement(tt, QStringLiteral("TrackType"), QLatin1String(track.type));
        w.writeTextElement(tt, QStringLiteral("Description"), QLatin1String(track.type));
        if (!all.isEmpty()) {
            w.writeTextElement(tt, QStringLiteral("DataFrom"),
                               XsdTime::dateTime(all.first().start));
            w.writeTextElement(tt, QStringLiteral("DataTo"), XsdTime::dateTime(all.last().end()));
        }
        w.writeEndElement();
    }
    w.writeTextElement(tt, QStringLiteral("RecordingStatus"), QStringLiteral("Stopped"));
    w.writeEndElement();
}

std::optional<SoapFault> SearchService::results(const XmlNode &request, OnvifContext &, bool events,
                                                QXmlStreamWriter &w)
{
    std::optional<SoapFault> fault;
    Search *search = find(request, &fault);
    if (search && search->events != events)
        fault = SoapFault::sender({QStringLiteral("InvalidArgVal"), QStringLiteral("InvalidToken")},
                                  QStringLiteral("the search is of the other kind"));
    const std::optional<int> max =
        fault ? std::nullopt
              : count(request, QStringLiteral("MaxResults"), DefaultBatch, MaxBatch, &fault);
    if (fault)
        return fault;
    const std::size_t end = std::min(search->size(), search->delivered + std::size_t(*max));
    w.writeStartElement(tse, events ? QStringLiteral("GetEventSearchResultsResponse")
                                    : QStringLiteral("GetRecordingSearchResultsResponse"));
    w.writeStartElement(tse, QStringLiteral("ResultList"));
    w.writeTextElement(tt, QStringLiteral("SearchState"),
                       end >= search->size() ? QStringLiteral("Completed")
                                             : QStringLiteral("Searching"));
    for (std::size_t i = search->delivered; i < end; ++i) {
        if (!events) {
            writeRecording(w, search->channels[i]);
            continue;
        }
        const Found &f = search->found[i];
        w.writeStartElement(tt, QStringLiteral("Result"));
        w.writeTextElement(tt, QStringLiteral("RecordingToken"),
                           OnvifContext::recordingToken(f.channel));
        w.writeTextElement(tt, QStringLiteral("TrackToken"), QStringLiteral("VIDEO"));
        w.writeTextElement(tt, QStringLiteral("Time"), XsdTime::dateTime(utc(f.ms)));
        w.writeStartElement(tt, QStringLiteral("Event"));
        (f.motion ? EventMessage::motion(EventMessage::MotionAlarm, f.channel, f.value, utc(f.ms),
                                         QStringLiteral("Changed"))
                  : EventMessage::recording(f.channel, f.value, utc(f.ms)))
            .writeContent(w);
        w.writeEndElement();
        w.writeTextElement(tt, QStringLiteral("StartStateEvent"),
                           f.startState ? QStringLiteral("true") : QStringLiteral("false"));
        w.writeEndElement();
    }
    w.writeEndElement();
    w.writeEndElement();
    search->delivered = end;
    return std::nullopt;
}

std::optional<SoapFault> SearchService::handle(const XmlNode &request, OnvifContext &context,
                                               QXmlStreamWriter &w)
{
    const QString &op = request.name;
    std::optional<SoapFault> fault;
    const QList<RecordStore::Recording> &all = m_store.recordings();
    if (op == QLatin1String("FindRecordings"))
        return findRecordings(request, context, w);
    if (op == QLatin1String("GetRecordingSearchResults"))
        return results(request, context, false, w);
    if (op == QLatin1String("FindEvents"))
        return findEvents(request, context, w);
    if (op == QLatin1String("GetEventSearchResults"))
        return results(request, context, true, w);
    if (op == QLatin1String("GetSearchState") || op == QLatin1String("EndSearch")) {
        const auto token = request.childText(tse, QStringLiteral("SearchToken"));
        const Search *search = find(request, &fault);
        if (!search)
            return fault;
        const bool end = op == QLatin1String("EndSearch");
        w.writeStartElement(tse, op + QStringLiteral("Response"));
        if (end)
            w.writeTextElement(tse, QStringLiteral("Endpoint"),
                               XsdTime::dateTime(utc(search->endPointMs)));
        else
            w.writeTextElement(tse, QStringLiteral("State"), QStringLiteral("Completed"));
        w.writeEndElement();
        if (end)
            m_searches.erase(*token);
    } else if (op == QLatin1String("GetRecordingSummary")) {
        const QDateTime now = context.device.now();
        w.writeStartElement(tse, QStringLiteral("GetRecordingSummaryResponse"));
        w.writeStartElement(tse, QStringLiteral("Summary"));
        w.writeTextElement(tt, QStringLiteral("DataFrom"),
                           all.isEmpty() ? XsdTime::dateTime(now)
                                         : XsdTime::dateTime(all.first().start));
        w.writeTextElement(tt, QStringLiteral("DataUntil"),
                           all.isEmpty() ? XsdTime::dateTime(now)
                                         : XsdTime::dateTime(all.last().end()));
        w.writeTextElement(tt, QStringLiteral("NumberRecordings"),
                           QString::number(context.config.channels));
        w.writeEndElement();
        w.writeEndElement();
    } else if (op == QLatin1String("GetMediaAttributes")) {
        const std::optional<qint64> at = timeOf(request, QStringLiteral("Time"), &fault);
        if (!at)
            return fault;
        std::vector<int> channels;
        for (const auto &c : request.children) {
            if (c->ns != tse || c->name != QLatin1String("RecordingTokens"))
                continue;
            const std::optional<int> channel = context.recording(c->text);
            if (!channel)
                return RecordingService::noRecording(c->text);
            channels.push_back(*channel);
        }
        const std::optional<RecordStore::Recording> r = m_store.atOrAfter(*at / 1000);
        const bool held = r && r->start * 1000 <= *at;
        w.writeStartElement(tse, QStringLiteral("GetMediaAttributesResponse"));
        for (const int channel : held ? channels : std::vector<int>()) {
            w.writeStartElement(tse, QStringLiteral("MediaAttributes"));
            w.writeTextElement(tt, QStringLiteral("RecordingToken"),
                               OnvifContext::recordingToken(channel));
            for (const RecordingService::Track &track : RecordingService::Tracks) {
                const bool video = QLatin1String(track.type) == QLatin1String("Video");
                w.writeStartElement(tt, QStringLiteral("TrackAttributes"));
                writeTrackInformation(w, track, r->start, r->end());
                w.writeStartElement(tt, video ? QStringLiteral("VideoAttributes")
                                              : QStringLiteral("AudioAttributes"));
                if (video) {
                    w.writeTextElement(tt, QStringLiteral("Width"),
                                       QString::number(context.config.hd.width()));
                    w.writeTextElement(tt, QStringLiteral("Height"),
                                       QString::number(context.config.hd.height()));
                    w.writeTextElement(tt, QStringLiteral("Encoding"),
                                       context.config.codec == VideoCodec::H264
                                           ? QStringLiteral("H264")
                                           : QStringLiteral("H265"));
                    w.writeTextElement(tt, QStringLiteral("Framerate"),
                                       QString::number(context.config.fps));
                } else {
                    w.writeTextElement(tt, QStringLiteral("Encoding"), QStringLiteral("G711"));
                    w.writeTextElement(tt, QStringLiteral("Samplerate"), QStringLiteral("8"));
                }
                w.writeEndElement();
                w.writeEndElement();
            }
            w.writeTextElement(tt, QStringLiteral("From"), XsdTime::dateTime(r->start));
            w.writeTextElement(tt, QStringLiteral("Until"), XsdTime::dateTime(r->end()));
            w.writeEndElement();
        }
        w.writeEndElement();
    } else if (op == QLatin1String("GetServiceCapabilities")) {
        w.writeStartElement(tse, QStringLiteral("GetServiceCapabilitiesResponse"));
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
