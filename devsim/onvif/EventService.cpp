#include "EventService.h"

#include "LiveMotion.h"
#include "OnvifContext.h"
#include "SoapNamespaces.h"
#include "XmlNode.h"
#include "XsdTime.h"

#include <QTimer>
#include <QXmlStreamWriter>

#include <algorithm>

namespace devsim {

namespace {

const QString &tt = SoapNs::Schema;
const QString &tev = SoapNs::Events;
const QString &wsnt = SoapNs::Notification;

QByteArray envelope(const SoapEnvelope::Writer &body)
{
    return SoapEnvelope::write(SoapNs::responsePrefixes(), {}, body);
}

SoapFault invalidArgs(const QString &reason)
{
    return SoapFault::sender({QStringLiteral("InvalidArgVal")}, reason);
}

// A termination time: a duration from now or a date and time; the milliseconds from now
// (at most MaxTerminationMs), or nullopt when malformed or not in the future.
std::optional<qint64> terminationMs(const std::optional<QString> &text, const QDateTime &now)
{
    if (!text)
        return EventService::DefaultTerminationMs;
    std::optional<qint64> ms = XsdTime::parseDuration(*text);
    if (!ms) {
        const std::optional<QDateTime> at = XsdTime::parseDateTime(*text);
        if (at)
            ms = now.msecsTo(*at);
    }
    if (!ms || *ms <= 0)
        return std::nullopt;
    return std::min(*ms, EventService::MaxTerminationMs);
}

void writeTopic(QXmlStreamWriter &w, const QStringList &path, const QString &source,
                const QString &data)
{
    for (int i = 0; i < path.size(); ++i) {
        w.writeStartElement(SoapNs::Topics, path[i]);
        if (i + 1 == path.size())
            w.writeAttribute(SoapNs::TopicSet, QStringLiteral("topic"), QStringLiteral("true"));
    }
    w.writeStartElement(tt, QStringLiteral("MessageDescription"));
    w.writeAttribute(QStringLiteral("IsProperty"), QStringLiteral("true"));
    w.writeStartElement(tt, QStringLiteral("Source"));
    for (const QString &name : source.split(QLatin1Char(' '))) {
        w.writeEmptyElement(tt, QStringLiteral("SimpleItemDescription"));
        w.writeAttribute(QStringLiteral("Name"), name);
        w.writeAttribute(QStringLiteral("Type"), QStringLiteral("tt:ReferenceToken"));
    }
    w.writeEndElement();
    w.writeStartElement(tt, QStringLiteral("Data"));
    w.writeEmptyElement(tt, QStringLiteral("SimpleItemDescription"));
    w.writeAttribute(QStringLiteral("Name"), data);
    w.writeAttribute(QStringLiteral("Type"), QStringLiteral("xs:boolean"));
    w.writeEndElement();
    w.writeEndElement(); // MessageDescription
    for (int i = 0; i < path.size(); ++i)
        w.writeEndElement();
}

void writeEventProperties(QXmlStreamWriter &w)
{
    w.writeStartElement(tev, QStringLiteral("GetEventPropertiesResponse"));
    w.writeTextElement(tev, QStringLiteral("TopicNamespaceLocation"),
                       QStringLiteral("http://www.onvif.org/onvif/ver10/topics/topicns.xml"));
    w.writeTextElement(wsnt, QStringLiteral("FixedTopicSet"), QStringLiteral("true"));
    w.writeStartElement(SoapNs::TopicSet, QStringLiteral("TopicSet"));
    writeTopic(w, EventMessage::MotionAlarm.split(QLatin1Char('/')), QStringLiteral("Source"),
               QStringLiteral("State"));
    writeTopic(w, EventMessage::CellMotion.split(QLatin1Char('/')),
               QStringLiteral("VideoSourceConfigurationToken VideoAnalyticsConfigurationToken "
                              "Rule"),
               QStringLiteral("IsMotion"));
    w.writeEndElement();
    w.writeTextElement(wsnt, QStringLiteral("TopicExpressionDialect"), EventMessage::ConcreteSet);
    w.writeTextElement(
        wsnt, QStringLiteral("TopicExpressionDialect"),
        QStringLiteral("http://docs.oasis-open.org/wsn/t-1/TopicExpression/Concrete"));
    w.writeTextElement(
        tev, QStringLiteral("MessageContentFilterDialect"),
        QStringLiteral("http://www.onvif.org/ver10/tev/messageContentFilter/ItemFilter"));
    w.writeTextElement(tev, QStringLiteral("MessageContentSchemaLocation"),
                       QStringLiteral("http://www.onvif.org/onvif/ver10/schema/onvif.xsd"));
    w.writeEndElement();
}

} // namespace

EventService::EventService(LiveMotion &motion, std::function<QDateTime()> clock)
    : m_motion(motion)
    , m_clock(std::move(clock))
{
    m_motion.addListener(
        [this](int channel, bool on, const QDateTime &at) { publish(channel, on, at); });
}

EventService::~EventService() = default; // waiting requests go unanswered with their server

void EventService::writeCapabilities(QXmlStreamWriter &w, const OnvifContext &)
{
    w.writeEmptyElement(tev, QStringLiteral("Capabilities"));
    w.writeAttribute(QStringLiteral("WSSubscriptionPolicySupport"), QStringLiteral("false"));
    w.writeAttribute(QStringLiteral("WSPullPointSupport"), QStringLiteral("true"));
    w.writeAttribute(QStringLiteral("WSPausableSubscriptionManagerInterfaceSupport"),
                     QStringLiteral("false"));
    w.writeAttribute(QStringLiteral("MaxNotificationProducers"), QStringLiteral("0"));
    w.writeAttribute(QStringLiteral("MaxPullPoints"), QString::number(MaxSubscriptions));
    w.writeAttribute(QStringLiteral("PersistentNotificationStorage"), QStringLiteral("false"));
}

void EventService::prune()
{
    for (auto it = m_subscriptions.begin(); it != m_subscriptions.end();) {
        if (!it->second.expiry.hasExpired()) {
            ++it;
            continue;
        }
        std::optional<Waiter> waiter = std::move(it->second.waiter);
        it = m_subscriptions.erase(it);
        if (waiter)
            waiter->deliver(SoapFault::sender({QStringLiteral("InvalidArgVal"),
                                               QStringLiteral("ResourceUnknown")},
                                              QStringLiteral("the subscription ended")),
                            {});
    }
}

void EventService::queueState(Subscription &s, const QString &operation, const QDateTime &at)
{
    for (int channel = 0; channel < m_motion.channels(); ++channel) {
        for (const QString &topic : {EventMessage::MotionAlarm, EventMessage::CellMotion}) {
            if (!s.filter.matches(topic))
                continue;
            s.queue.push_back(
                EventMessage::motion(topic, channel, m_motion.active(), at, operation));
            if (int(s.queue.size()) > MaxQueued)
                s.queue.pop_front();
        }
    }
}

void EventService::publish(int channel, bool on, const QDateTime &at)
{
    prune();
    for (auto &[id, s] : m_subscriptions) {
        for (const QString &topic : {EventMessage::MotionAlarm, EventMessage::CellMotion}) {
            if (!s.filter.matches(topic))
                continue;
            s.queue.push_back(
                EventMessage::motion(topic, channel, on, at, QStringLiteral("Changed")));
            if (int(s.queue.size()) > MaxQueued)
                s.queue.pop_front();
        }
        if (s.waiter && !s.queue.empty() && !s.wakeScheduled) {
            // After the other channels' changes of this moment, so that one answer holds all.
            s.wakeScheduled = true;
            QTimer::singleShot(0, this, [this, id = id] { answer(id); });
        }
    }
}

std::optional<SoapFault> EventService::create(const XmlNode &request, OnvifContext &context,
                                              QXmlStreamWriter &w)
{
    const XmlNode *filterNode = request.child(tev, QStringLiteral("Filter"));
    const std::optional<TopicFilter> filter = TopicFilter::parse(
        filterNode ? filterNode->child(wsnt, QStringLiteral("TopicExpression")) : nullptr);
    if (!filter)
        return SoapFault::sender(
            {QStringLiteral("InvalidArgVal"), QStringLiteral("InvalidTopicExpressionFault")},
            QStringLiteral("the topic expression names no topics under tns1"));
    const QDateTime now = m_clock();
    const std::optional<qint64> ms =
        terminationMs(request.childText(tev, QStringLiteral("InitialTerminationTime")), now);
    if (!ms)
        return SoapFault::sender({QStringLiteral("InvalidArgVal"),
                                  QStringLiteral("UnacceptableInitialTerminationTimeFault")},
                                 QStringLiteral("InitialTerminationTime must lie ahead"));
    prune();
    if (int(m_subscriptions.size()) >= MaxSubscriptions)
        return SoapFault{SoapFault::Code::Receiver,
                         {QStringLiteral("Action"), QStringLiteral("SubscribeCreationFailedFault")},
                         QStringLiteral("too many subscriptions")};
    const int id = m_next++;
    Subscription &s = m_subscriptions[id];
    s.filter = *filter;
    s.expiry.setRemainingTime(*ms);
    queueState(s, QStringLiteral("Initialized"), now);
    w.writeStartElement(tev, QStringLiteral("CreatePullPointSubscriptionResponse"));
    w.writeStartElement(tev, QStringLiteral("SubscriptionReference"));
    w.writeTextElement(SoapNs::Addressing10, QStringLiteral("Address"),
                       context.url(QStringLiteral("subscription/%1").arg(id)));
    w.writeEndElement();
    w.writeTextElement(wsnt, QStringLiteral("CurrentTime"), XsdTime::dateTime(now));
    w.writeTextElement(wsnt, QStringLiteral("TerminationTime"),
                       XsdTime::dateTime(now.addMSecs(*ms)));
    w.writeEndElement();
    return std::nullopt;
}

void EventService::answer(int id)
{
    const auto it = m_subscriptions.find(id);
    if (it == m_subscriptions.end() || !it->second.waiter)
        return;
    Subscription &s = it->second;
    const Waiter waiter = std::move(*s.waiter);
    s.waiter.reset();
    s.wakeScheduled = false;
    const QDateTime now = m_clock();
    std::vector<EventMessage> messages;
    while (!s.queue.empty() && int(messages.size()) < waiter.limit) {
        messages.push_back(std::move(s.queue.front()));
        s.queue.pop_front();
    }
    const QDateTime termination = now.addMSecs(s.expiry.remainingTime());
    waiter.deliver(std::nullopt, envelope([&](QXmlStreamWriter &w) {
                       w.writeStartElement(tev, QStringLiteral("PullMessagesResponse"));
                       w.writeTextElement(tev, QStringLiteral("CurrentTime"),
                                          XsdTime::dateTime(now));
                       w.writeTextElement(tev, QStringLiteral("TerminationTime"),
                                          XsdTime::dateTime(termination));
                       for (const EventMessage &m : messages) {
                           w.writeStartElement(wsnt, QStringLiteral("NotificationMessage"));
                           m.writeContent(w);
                           w.writeEndElement();
                       }
                       w.writeEndElement();
                   }));
}

void EventService::pull(const XmlNode &request, OnvifContext &, int id, Deliver deliver)
{
    const std::optional<QString> timeoutText = request.childText(tev, QStringLiteral("Timeout"));
    const std::optional<qint64> timeout =
        timeoutText ? XsdTime::parseDuration(*timeoutText) : std::nullopt;
    if (!timeout || *timeout > MaxTimeoutMs)
        return deliver(invalidArgs(QStringLiteral("Timeout must be a duration of at most %1")
                                       .arg(XsdTime::duration(MaxTimeoutMs))),
                       {});
    bool ok = false;
    const qint64 limit =
        request.childText(tev, QStringLiteral("MessageLimit")).value_or(QString()).toLongLong(&ok);
    if (!ok || limit < 1)
        return deliver(invalidArgs(QStringLiteral("MessageLimit must be a positive number")), {});
    Subscription &s = m_subscriptions.at(id);
    if (s.waiter) // the earlier request gives way
        answer(id);
    const quint64 waiterId = m_nextWaiter++;
    s.waiter = Waiter{waiterId, int(std::min<qint64>(limit, MaxMessageLimit)), std::move(deliver)};
    if (!s.queue.empty() || *timeout == 0)
        return answer(id);
    QTimer::singleShot(int(std::min<qint64>(*timeout, MaxWaitMs)), this, [this, id, waiterId] {
        const auto it = m_subscriptions.find(id);
        if (it != m_subscriptions.end() && it->second.waiter && it->second.waiter->id == waiterId)
            answer(id);
    });
}

void EventService::handle(const XmlNode &request, OnvifContext &context, int subscription,
                          Deliver deliver)
{
    const QString &op = request.name;
    const auto respond =
        [&](const std::function<std::optional<SoapFault>(QXmlStreamWriter &)> &body) {
            std::optional<SoapFault> fault;
            const QByteArray bytes = envelope([&](QXmlStreamWriter &w) { fault = body(w); });
            deliver(fault, fault ? QByteArray() : bytes);
        };
    prune();
    if (request.ns == tev && subscription == 0) {
        if (op == QLatin1String("GetServiceCapabilities"))
            return respond([&](QXmlStreamWriter &w) {
                w.writeStartElement(tev, QStringLiteral("GetServiceCapabilitiesResponse"));
                writeCapabilities(w, context);
                w.writeEndElement();
                return std::optional<SoapFault>();
            });
        if (op == QLatin1String("GetEventProperties"))
            return respond([&](QXmlStreamWriter &w) {
                writeEventProperties(w);
                return std::optional<SoapFault>();
            });
        if (op == QLatin1String("CreatePullPointSubscription"))
            return respond([&](QXmlStreamWriter &w) { return create(request, context, w); });
    }
    const bool managed = (request.ns == tev && (op == QLatin1String("PullMessages") ||
                                                op == QLatin1String("SetSynchronizationPoint"))) ||
                         (request.ns == wsnt &&
                          (op == QLatin1String("Renew") || op == QLatin1String("Unsubscribe")));
    if (!managed)
        return deliver(SoapFault{SoapFault::Code::Receiver,
                                 {QStringLiteral("ActionNotSupported")},
                                 op + QStringLiteral(" is not supported here")},
                       {});
    const auto it = m_subscriptions.find(subscription);
    if (it == m_subscriptions.end())
        return deliver(
            SoapFault::sender({QStringLiteral("InvalidArgVal"), QStringLiteral("ResourceUnknown")},
                              QStringLiteral("no such subscription")),
            {});
    Subscription &s = it->second;
    const QDateTime now = m_clock();
    if (op == QLatin1String("PullMessages"))
        return pull(request, context, subscription, std::move(deliver));
    if (op == QLatin1String("SetSynchronizationPoint")) {
        queueState(s, QStringLiteral("Initialized"), now);
        if (s.waiter)
            answer(subscription);
        return respond([&](QXmlStreamWriter &w) {
            w.writeEmptyElement(tev, QStringLiteral("SetSynchronizationPointResponse"));
            return std::optional<SoapFault>();
        });
    }
    if (op == QLatin1String("Renew")) {
        const std::optional<qint64> ms =
            terminationMs(request.childText(wsnt, QStringLiteral("TerminationTime")), now);
        if (!ms)
            return deliver(SoapFault::sender({QStringLiteral("InvalidArgVal"),
                                              QStringLiteral("UnacceptableTerminationTimeFault")},
                                             QStringLiteral("TerminationTime must lie ahead")),
                           {});
        s.expiry.setRemainingTime(*ms);
        return respond([&](QXmlStreamWriter &w) {
            w.writeStartElement(wsnt, QStringLiteral("RenewResponse"));
            w.writeTextElement(wsnt, QStringLiteral("TerminationTime"),
                               XsdTime::dateTime(now.addMSecs(*ms)));
            w.writeTextElement(wsnt, QStringLiteral("CurrentTime"), XsdTime::dateTime(now));
            w.writeEndElement();
            return std::optional<SoapFault>();
        });
    }
    // Unsubscribe: a waiting PullMessages gets what is queued, then the subscription goes.
    answer(subscription);
    m_subscriptions.erase(subscription);
    respond([&](QXmlStreamWriter &w) {
        w.writeEmptyElement(wsnt, QStringLiteral("UnsubscribeResponse"));
        return std::optional<SoapFault>();
    });
}

} // namespace devsim
