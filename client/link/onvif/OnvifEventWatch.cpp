#include "link/onvif/OnvifEventWatch.h"

#include "diagnostics/Checks.h"
#include "link/onvif/OnvifClient.h"

#include <QDebug>

#include <algorithm>

OnvifEventWatch::OnvifEventWatch(Connect connectTo, Sink sink, QObject *parent)
    : QObject(parent)
    , m_connect(std::move(connectTo))
    , m_sink(std::move(sink))
{
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, &OnvifEventWatch::subscribe);
}

OnvifEventWatch::~OnvifEventWatch()
{
    stop();
}

void OnvifEventWatch::restart()
{
    ORVANE_ASSERT_GUI_THREAD();
    m_stopped = false;
    m_backoffMs = 0;
    dropSubscription();
    subscribe();
}

void OnvifEventWatch::stop()
{
    m_stopped = true;
    m_retry.stop();
    dropSubscription();
}

void OnvifEventWatch::dropSubscription()
{
    ++m_generation;
    if (m_client && m_address.isValid())
        m_client->unsubscribe(m_address, m_client, [](const OnvifResult<OnvifDone> &) {});
    m_address = QUrl();
}

void OnvifEventWatch::subscribe()
{
    if (m_stopped)
        return;
    const quint64 generation = ++m_generation;
    m_connect([this, guard = QPointer<OnvifEventWatch>(this), generation](OnvifClient *client,
                                                                          bool hasEvents) {
        if (!guard || generation != m_generation || m_stopped)
            return;
        if (client && !hasEvents)
            return stop(); // nothing to follow on this device
        if (!client)
            return failed(tr("the device is not connected"));
        m_client = client;
        client->createPullPointSubscription(
            TerminationSecs, this, [this, generation](const OnvifResult<OnvifSubscription> &r) {
                if (generation != m_generation)
                    return;
                if (!r)
                    return failed(r.error().text());
                m_address = r->address;
                ++m_subscriptions;
                keepTermination(r->currentTime, r->terminationTime);
                pull();
            });
    });
}

void OnvifEventWatch::keepTermination(const QDateTime &current, const QDateTime &termination)
{
    qint64 ms = qint64(TerminationSecs) * 1000;
    if (current.isValid() && termination.isValid())
        ms = std::clamp<qint64>(current.msecsTo(termination), 0, 24 * 3600 * 1000);
    m_termination.setRemainingTime(ms);
}

void OnvifEventWatch::pull()
{
    if (!m_client || m_stopped)
        return;
    if (m_termination.remainingTime() < RenewMarginSecs * 1000)
        return renew();
    const quint64 generation = m_generation;
    m_client->pullMessages(m_address, PullSecs, MessageLimit, this,
                           [this, generation](const OnvifResult<OnvifPull> &r) {
                               if (generation != m_generation)
                                   return;
                               if (!r)
                                   return failed(r.error().text());
                               m_backoffMs = 0;
                               if (r->terminationTime.isValid())
                                   keepTermination(r->currentTime, r->terminationTime);
                               for (const OnvifEvent &e : r->events)
                                   m_sink(e);
                               // The sink may have stopped this watch.
                               if (generation == m_generation)
                                   pull();
                           });
}

void OnvifEventWatch::renew()
{
    const quint64 generation = m_generation;
    m_client->renew(m_address, TerminationSecs, this,
                    [this, generation](const OnvifResult<OnvifPull> &r) {
                        if (generation != m_generation)
                            return;
                        if (!r)
                            return failed(r.error().text());
                        keepTermination(r->currentTime, r->terminationTime);
                        if (m_termination.remainingTime() < RenewMarginSecs * 1000)
                            return failed(tr("the device did not renew the subscription"));
                        pull();
                    });
}

void OnvifEventWatch::failed(const QString &why)
{
    // The device may have dropped the subscription already; a new one is made.
    dropSubscription();
    if (m_stopped)
        return;
    m_backoffMs = m_backoffMs ? std::min(m_backoffMs * 2, MaxBackoffMs) : m_firstBackoffMs;
    qInfo().noquote() << QStringLiteral("ONVIF events: %1; subscribing again in %2 ms")
                             .arg(why.simplified().left(200))
                             .arg(m_backoffMs);
    m_retry.start(m_backoffMs);
}
