#include "link/ConnectQueue.h"

#include "config/Config.h"

#include "link/IoTasks.h"
#include "link/ProgressEvents.h"
#include "link/SdkApi.h"
#include "model/Channel.h"
#include "model/Device.h"

#include <QTimer>

#include <algorithm>

namespace {

// IOTC and AV start-up; returns 0 or the first failure.
int startSdk()
{
    const int r = sdkApi().initialize(0);
    if (r != 0)
        return r;
    const int av = sdkApi().avInit(4096);
    return av < 0 ? av : 0;
}

} // namespace

ConnectQueue::ConnectQueue(LinkTaskCorePtr core, const Dev *dev, int watchdogMs, QObject *parent)
    : QObject(parent)
    , m_core(std::move(core))
    , m_dev(dev)
    , m_watchdogMs(watchdogMs)
{}

void ConnectQueue::requestSession(const ChannelRef &ref)
{
    if (deviceRunning(ref))
        return; // its attempt is on the way
    if (!m_sessions.contains(ref))
        m_sessions.append(ref);
    startNext();
}

bool ConnectQueue::deviceRunning(const ChannelRef &ref) const
{
    for (const Attempt &a : m_running)
        if (a.ref.sameDevice(ref))
            return true;
    return false;
}

void ConnectQueue::startNext()
{
    if (m_core->closing)
        return;
    for (int i = 0; i < m_sessions.size() && m_running.size() < MaxAttempts;) {
        const ChannelRef head = m_sessions.at(i);
        if (!head.resolve(m_dev)) {
            m_sessions.removeAt(i);
            continue;
        }
        if (deviceRunning(head)) {
            ++i;
            continue;
        }
        m_sessions.removeAt(i);
        if (!startAttempt(head))
            return; // the library could not start: the answer reports it
    }
}

bool ConnectQueue::startAttempt(const ChannelRef &head)
{
    Channel *ch = head.resolve(m_dev);
    const quint64 attempt = ++m_attempt;
    Attempt &a = m_running[attempt];
    a.ref = head;

    int sid = sdkApi().getSessionId();
    if (sid == IOTC_ER_NOT_INITIALIZED) {
        if (const int failure = startSdk()) {
            a.sid = sid;
            m_core->post(new ProgressEvent_Connect(head, failure, sid, attempt));
            return false;
        }
        sid = sdkApi().getSessionId();
    }
    a.sid = sid;
    if (sid < 0) {
        m_core->post(new ProgressEvent_Connect(head, sid, sid, attempt));
        return false;
    }
    a.watchdog = new QTimer(this);
    a.watchdog->setSingleShot(true);
    connect(a.watchdog, &QTimer::timeout, this, [this, attempt] { cutAttempt(attempt); });
    a.watchdog->start(m_watchdogMs);
    const QByteArray uid = ch->device()->uid().toLatin1();
    const QByteArray pin = Config::instance()->devicePin(ch->device()->uid()).toLatin1();
    const LinkTaskCorePtr core = m_core;
    if (!m_core->start(head.device, [core, head, uid, pin, sid, attempt]() {
            IoTasks::connect(core, head, uid, pin, sid, attempt);
        })) {
        delete a.watchdog;
        m_running.remove(attempt);
        return false;
    }
    return true;
}

ConnectQueue::Answer ConnectQueue::answer(const ProgressEvent_Connect &e)
{
    const auto it = m_running.find(e.attempt);
    if (it == m_running.end())
        return m_cut.remove(e.attempt) ? Answer::Late : Answer::Stale;
    delete it->watchdog;
    m_running.erase(it);
    return Answer::Current;
}

void ConnectQueue::finish(const ChannelRef &ref)
{
    m_sessions.removeIf([&](const ChannelRef &r) { return r.sameDevice(ref); });
    startNext();
    startChannels();
}

void ConnectQueue::cutAttempt(quint64 attempt)
{
    const auto it = m_running.find(attempt);
    if (it == m_running.end())
        return;
    sdkApi().connectStop(it->sid);
    m_cut.insert(attempt);
    const ChannelRef ref = it->ref;
    it->watchdog->deleteLater();
    m_running.erase(it);
    // The cut attempt reports its failure when its late answer comes.
    finish(ref);
}

void ConnectQueue::cut()
{
    const QList<quint64> attempts = m_running.keys();
    for (quint64 attempt : attempts)
        cutAttempt(attempt);
}

void ConnectQueue::stop()
{
    for (Attempt &a : m_running) {
        delete a.watchdog;
        a.watchdog = nullptr;
        if (a.sid >= 0)
            sdkApi().connectStop(a.sid);
    }
}

void ConnectQueue::requestChannel(const ChannelRef &ref)
{
    if (!m_channels.contains(ref))
        m_channels.append(ref);
    startChannels();
}

void ConnectQueue::startChannels()
{
    // Channels whose device has no session yet wait for it.
    for (int i = 0; i < m_channels.size();) {
        const ChannelRef ref = m_channels.at(i);
        Channel *ch = ref.resolve(m_dev);
        if (ch && ch->device()->sessionId() < 0 &&
            (deviceRunning(ref) ||
             std::any_of(m_sessions.cbegin(), m_sessions.cend(),
                         [&](const ChannelRef &r) { return r.sameDevice(ref); }))) {
            ++i;
            continue;
        }
        m_channels.removeAt(i);
        if (!ch || ch->device()->sessionId() < 0 || m_starting.contains(ref))
            continue;
        if (ch->avIndex(true) >= 0) {
            // Already open: a second AV channel would leak the first.
            emit channelAlreadyOpen(ch);
            continue;
        }
        const TaskContext ctx = TaskContext::of(ch, true);
        const QByteArray account = ch->device()->viewAccount().toLocal8Bit();
        const QByteArray password = ch->device()->viewPassword().toLocal8Bit();
        const quint8 number = quint8(ch->index());
        const LinkTaskCorePtr core = m_core;
        if (m_core->start(ctx.ref.device, [core, ctx, account, password, number]() {
                IoTasks::avStart(core, ctx, account, password, number, true);
            }))
            m_starting.insert(ref);
    }
}

void ConnectQueue::channelStartEnded(const ChannelRef &ref)
{
    m_starting.remove(ref);
}

void ConnectQueue::checkChannelsOpen()
{
    m_channels.removeIf([&](const ChannelRef &ref) {
        Channel *ch = ref.resolve(m_dev);
        return !ch || ch->avIndex(true) >= 0;
    });
}
