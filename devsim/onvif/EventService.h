#pragma once

#include "EventMessage.h"
#include "SoapEnvelope.h"
#include "TopicFilter.h"

#include <QDeadlineTimer>
#include <QObject>

#include <deque>
#include <functional>
#include <map>
#include <optional>

class QXmlStreamWriter;

namespace devsim {

class LiveMotion;
struct OnvifContext;
class XmlNode;

// ONVIF's event service (ver10) with pull-point subscriptions, publishing each channel's live
// motion (LiveMotion) as tns1:VideoSource/MotionAlarm (State) and
// tns1:RuleEngine/CellMotionDetector/Motion (IsMotion): GetServiceCapabilities,
// GetEventProperties, CreatePullPointSubscription (with an optional topic filter; the
// subscription starts with every channel's state, PropertyOperation "Initialized"); at the
// subscription's address "/onvif/subscription/<n>" PullMessages, SetSynchronizationPoint,
// Renew and Unsubscribe.
//
// Bounds: at most MaxSubscriptions, each living its termination time (default
// DefaultTerminationMs, at most MaxTerminationMs) unless renewed, keeping at most MaxQueued
// messages (the oldest go). PullMessages answers at once when messages are waiting, else when
// one arrives or its Timeout ends, but never waits longer than MaxWaitMs; a Timeout over
// MaxTimeoutMs is refused, a MessageLimit over MaxMessageLimit lowered. A second PullMessages
// of one subscription answers the first at once.
//
// Answers go through a callback, at once or, for a waiting PullMessages, later from the event
// loop. Threads: the main thread.
class EventService : public QObject
{
public:
    static constexpr int MaxSubscriptions = 16;
    static constexpr int MaxQueued = 256;
    static constexpr int MaxWaitMs = 10000;
    static constexpr qint64 MaxTimeoutMs = 60000;
    static constexpr int MaxMessageLimit = 100;
    static constexpr qint64 DefaultTerminationMs = 60000;
    static constexpr qint64 MaxTerminationMs = 3600000;

    // The fault, or else the whole response envelope.
    using Deliver = std::function<void(const std::optional<SoapFault> &, const QByteArray &)>;

    // clock: the device's time (UTC).
    EventService(LiveMotion &motion, std::function<QDateTime()> clock);
    ~EventService() override;

    // Answers `request` through deliver (exactly once, unless the service goes first).
    // subscription: the number in the request's path, 0 for the event service's own path.
    void handle(const XmlNode &request, OnvifContext &context, int subscription, Deliver deliver);
    static void writeCapabilities(QXmlStreamWriter &w, const OnvifContext &context);

private:
    struct Waiter
    {
        quint64 id = 0;
        int limit = 1;
        Deliver deliver;
    };
    struct Subscription
    {
        TopicFilter filter;
        QDeadlineTimer expiry;
        std::deque<EventMessage> queue;
        std::optional<Waiter> waiter;
        bool wakeScheduled = false;
    };

    std::optional<SoapFault> create(const XmlNode &request, OnvifContext &context,
                                    QXmlStreamWriter &w);
    void pull(const XmlNode &request, OnvifContext &context, int id, Deliver deliver);
    // Answers the subscription's waiting PullMessages with what is queued.
    void answer(int id);
    void queueState(Subscription &s, const QString &operation, const QDateTime &at);
    void publish(int channel, bool on, const QDateTime &at);
    void prune();

    LiveMotion &m_motion;
    std::function<QDateTime()> m_clock;
    std::map<int, Subscription> m_subscriptions;
    int m_next = 1;
    quint64 m_nextWaiter = 1;
};

} // namespace devsim
