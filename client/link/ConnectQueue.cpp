#include "link/ConnectQueue.h"

#include "config/Config.h"

#include "link/IoTasks.h"
#include "link/ProgressEvents.h"
#include "link/SdkApi.h"
#include "model/Channel.h"
#include "model/Device.h"

#include <QTimer>

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
    , m_watchdog(new QTimer(this))
{
    m_watchdog->setSingleShot(true);
    m_watchdog->setInterval(watchdogMs);
    connect(m_watchdog, &QTimer::timeout, this, &ConnectQueue::watchdogExpired);
}

void ConnectQueue::requestSession(const ChannelRef &ref)
{
    if (!m_sessions.contains(ref))
        m_sessions.append(ref);
    if (m_sessions.size() == 1 && m_channels.isEmpty())
        startNext();
}

void ConnectQueue::startNext()
{
    // One session at a time: a running attempt finishes (or is cut by the
    // watchdog) before the next one starts.
    if (m_running || m_core->closing)
        return;
    while (!m_sessions.isEmpty() && !m_sessions.first().resolve(m_dev))
        m_sessions.removeFirst();
    if (m_sessions.isEmpty())
        return;

    const ChannelRef head = m_sessions.first();
    Channel *ch = head.resolve(m_dev);
    m_current = head;
    m_running = true;
    const quint64 attempt = ++m_attempt;

    int sid = sdkApi().getSessionId();
    if (sid == IOTC_ER_NOT_INITIALIZED) {
        if (const int failure = startSdk()) {
            m_currentSid = sid;
            m_core->post(new ProgressEvent_Connect(head, failure, sid, attempt));
            return;
        }
        sid = sdkApi().getSessionId();
    }
    m_currentSid = sid;
    if (sid < 0) {
        m_core->post(new ProgressEvent_Connect(head, sid, sid, attempt));
        return;
    }
    m_watchdog->start();
    const QByteArray uid = ch->device()->uid().toLatin1();
    const QByteArray pin = Config::instance()->devicePin(ch->device()->uid()).toLatin1();
    const LinkTaskCorePtr core = m_core;
    if (!m_core->start(head.device, [core, head, uid, pin, sid, attempt]() {
            IoTasks::connect(core, head, uid, pin, sid, attempt);
        })) {
        m_watchdog->stop();
        m_running = false;
    }
}

ConnectQueue::Answer ConnectQueue::answer(const ProgressEvent_Connect &e)
{
    if (!m_running || e.attempt != m_attempt)
        return m_cut.remove(e.attempt) ? Answer::Late : Answer::Stale;
    m_watchdog->stop();
    m_running = false;
    m_current = ChannelRef();
    return Answer::Current;
}

void ConnectQueue::finish(const ChannelRef &ref)
{
    m_sessions.removeIf([&](const ChannelRef &r) { return r.sameDevice(ref); });
    startNext();
    if (m_sessions.isEmpty())
        startChannels();
}

void ConnectQueue::cut()
{
    if (!m_running)
        return;
    sdkApi().connectStop(m_currentSid);
    m_cut.insert(m_attempt);
    const ChannelRef ref = m_current;
    m_running = false;
    m_current = ChannelRef();
    finish(ref);
}

void ConnectQueue::stop()
{
    m_watchdog->stop();
    if (m_running && m_currentSid >= 0)
        sdkApi().connectStop(m_currentSid);
}

void ConnectQueue::requestChannel(const ChannelRef &ref)
{
    if (!m_channels.contains(ref))
        m_channels.append(ref);
    if (m_sessions.isEmpty())
        startChannels();
}

void ConnectQueue::startChannels()
{
    while (!m_channels.isEmpty()) {
        const ChannelRef ref = m_channels.takeFirst();
        Channel *ch = ref.resolve(m_dev);
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
    for (const ChannelRef &ref : std::as_const(m_channels)) {
        Channel *ch = ref.resolve(m_dev);
        if (ch && ch->avIndex(true) < 0)
            return;
    }
    m_channels.clear();
    if (!m_sessions.isEmpty())
        startNext();
}
