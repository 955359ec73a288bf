#include "link/ReconnectSchedule.h"

#include "model/Dev.h"
#include "model/Device.h"

#include <QTimer>

ReconnectSchedule::ReconnectSchedule(const Dev *dev, QObject *parent)
    : QObject(parent)
    , m_dev(dev)
{}

int ReconnectSchedule::waitUnits(int attempt)
{
    return attempt < 5 ? 1 << qMax(0, attempt) : 30;
}

ReconnectSchedule::Plan &ReconnectSchedule::planOf(Device *d)
{
    Plan &plan = m_plans[d];
    if (plan.uid != d->uid()) {
        // A new plan, or a device that reuses the address of a forgotten one.
        if (plan.timer)
            plan.timer->deleteLater();
        plan = Plan();
        plan.uid = d->uid();
    }
    if (!plan.timer) {
        plan.timer = new QTimer(this);
        plan.timer->setSingleShot(true);
        const Device *key = d;
        connect(plan.timer, &QTimer::timeout, this, [this, key]() { expired(key); });
    }
    return plan;
}

void ReconnectSchedule::scheduleNext(Device *d)
{
    Plan &plan = planOf(d);
    plan.attempting = false;
    plan.timer->start(waitUnits(plan.waits++) * m_unitMs);
}

bool ReconnectSchedule::beginAttempt(Device *d)
{
    Plan &plan = planOf(d);
    if (plan.attempting)
        return false;
    plan.timer->stop();
    plan.attempting = true;
    return true;
}

void ReconnectSchedule::forget(const Device *d)
{
    const auto it = m_plans.find(d);
    if (it == m_plans.end())
        return;
    // deleteLater: forget() may run inside the timer's own timeout.
    it->timer->deleteLater();
    m_plans.erase(it);
}

void ReconnectSchedule::clear()
{
    for (const Plan &plan : std::as_const(m_plans))
        plan.timer->deleteLater();
    m_plans.clear();
}

void ReconnectSchedule::dropUnregistered()
{
    const QList<const Device *> keys = m_plans.keys();
    for (const Device *key : keys) {
        if (!resolve(key))
            forget(key);
    }
}

int ReconnectSchedule::pendingMs(const Device *d) const
{
    const auto it = m_plans.constFind(d);
    if (it == m_plans.cend())
        return -1;
    if (it->attempting)
        return 0;
    return it->timer->isActive() ? it->timer->interval() : -1;
}

Device *ReconnectSchedule::resolve(const Device *key) const
{
    const auto it = m_plans.constFind(key);
    for (Device *d : m_dev->devices()) {
        if (d == key)
            return it != m_plans.cend() && d->uid() == it->uid ? d : nullptr;
    }
    return nullptr;
}

void ReconnectSchedule::expired(const Device *key)
{
    if (Device *d = resolve(key))
        emit due(d);
    else
        forget(key);
}
