#pragma once

#include "link/onvif/OnvifTypes.h"

#include <QDeadlineTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QUrl>

#include <functional>

class OnvifClient;

// Follows one device's live events through a PullPoint subscription:
// CreatePullPointSubscription, then PullMessages in a loop (each waiting at
// most PullSecs on the device), Renew before the subscription would end, and
// after any failure a new subscription once a back-off has passed (1 s,
// doubling to MaxBackoffMs, reset by a successful pull). Unsubscribes when
// stopped or destroyed, when a subscription is held.
//
// The client comes from connect(), asked before each subscription: it
// answers with the device's connected client, or null (then the watch backs
// off and asks again), and whether the device has an event service (when
// not, the watch stops for good).
//
// Threads: GUI thread only.
class OnvifEventWatch final : public QObject
{
    Q_OBJECT

public:
    static constexpr int TerminationSecs = 60;
    static constexpr int RenewMarginSecs = 20; // renew when less is left
    static constexpr int PullSecs = 5;
    static constexpr int MessageLimit = 32;
    static constexpr int MaxBackoffMs = 60000;

    using Connected = std::function<void(OnvifClient *client, bool hasEvents)>;
    using Connect = std::function<void(Connected)>;
    using Sink = std::function<void(const OnvifEvent &)>;

    OnvifEventWatch(Connect connectTo, Sink sink, QObject *parent = nullptr);
    ~OnvifEventWatch() override;

    // Subscribes (again) now, dropping what was held: also after the
    // device's client changed.
    void restart();
    void stop();
    // The first back-off (tests shorten it).
    void setBackoffMs(int ms) { m_firstBackoffMs = ms; }

    bool subscribed() const { return m_address.isValid(); }
    int subscriptions() const { return m_subscriptions; } // made so far

private:
    void subscribe();
    void pull();
    void renew();
    void failed(const QString &why);
    // The subscription's end as the device told it, on our clock.
    void keepTermination(const QDateTime &current, const QDateTime &termination);
    void dropSubscription();

    Connect m_connect;
    Sink m_sink;
    QPointer<OnvifClient> m_client;
    QUrl m_address;
    QDeadlineTimer m_termination;
    QTimer m_retry;
    int m_firstBackoffMs = 1000;
    int m_backoffMs = 0;
    int m_subscriptions = 0;
    quint64 m_generation = 0; // callbacks of an older subscription are dropped
    bool m_stopped = false;
};
