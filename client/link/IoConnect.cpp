#include "link/IoConnect.h"

#include "link/ErrorText.h"
#include "link/IoTasks.h"
#include "link/ProgressEvents.h"
#include "model/Channel.h"
#include "model/ChannelSaveTimeout.h"
#include "model/Dev.h"
#include "model/Device.h"

#include <QCoreApplication>
#include <QDebug>
#include <QTimer>

IoConnect *IoConnect::s_instance = nullptr;

IoConnect *IoConnect::instance()
{
    if (!s_instance)
        new IoConnect();
    return s_instance;
}

IoConnect::IoConnect(QObject *parent)
    : QObject(parent)
    , m_core(std::make_shared<LinkTaskCore>(this))
    , m_dev(Dev::instance())
    , m_msgTimer(new QTimer(this))
    , m_lanSearchTimer(new QTimer(this))
    , m_connectWatchdog(new QTimer(this))
{
    if (!s_instance)
        s_instance = this;
    qRegisterMetaType<Channel *>("Channel*");

    m_msgTimer->setInterval(MsgPollMs);
    connect(m_msgTimer, &QTimer::timeout, this, &IoConnect::getMsg);
    m_msgTimer->start();

    m_lanSearchTimer->setSingleShot(true);
    connect(m_lanSearchTimer, &QTimer::timeout, this, &IoConnect::getLanSearchResult);

    m_connectWatchdog->setSingleShot(true);
    m_connectWatchdog->setInterval(ConnectWatchdogMs);
    connect(m_connectWatchdog, &QTimer::timeout, this, &IoConnect::stopConnectDev);

    if (QCoreApplication *app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, [this]() { shutdown(); });
}

IoConnect::~IoConnect()
{
    shutdown(2000);
    m_core->detach();
    if (s_instance == this)
        s_instance = nullptr;
}

void IoConnect::setStreamResetHandler(std::function<void(Channel *, bool)> handler)
{
    m_streamReset = std::move(handler);
}

void IoConnect::setTalkHandler(std::function<void(Channel *, bool)> handler)
{
    m_talk = std::move(handler);
}

void IoConnect::setLiveModeProvider(std::function<bool()> provider)
{
    m_liveMode = std::move(provider);
}

// ---------------------------------------------------------------------------
// Device sessions

void IoConnect::connectChannel(Channel *ch)
{
    if (!ch || m_shutDown)
        return;
    if (ch->device()->sessionId() >= 0) {
        // A second session for a connected device would orphan the first.
        emit connectDevSuccessMsg(ch);
        return;
    }
    const ChannelRef ref = ChannelRef::of(ch);
    const bool queued = m_connectQueue.contains(ref);
    if (queued && m_connectQueue.size() > 1)
        return;
    if (!queued)
        m_connectQueue.append(ref);
    if (m_connectQueue.size() == 1 && m_avStartList.isEmpty())
        connectNext();
}

void IoConnect::startSdk(int *failure)
{
    *failure = 0;
    int r = m_core->sdk.initialize(0);
    if (r != 0) {
        *failure = r;
        return;
    }
    r = m_core->sdk.avInit(4096);
    if (r < 0) {
        *failure = r;
        return;
    }
    m_sdkStarted = true;
}

void IoConnect::connectNext()
{
    // One session at a time: a running attempt finishes (or is cut by the
    // watchdog) before the next one starts.
    if (m_connecting || m_shutDown)
        return;
    while (!m_connectQueue.isEmpty() && !m_connectQueue.first().resolve(m_dev))
        m_connectQueue.removeFirst();
    if (m_connectQueue.isEmpty())
        return;

    const ChannelRef head = m_connectQueue.first();
    Channel *ch = head.resolve(m_dev);
    m_connectingChannel = head;
    m_connecting = true;
    const quint64 attempt = ++m_connectAttempt;

    int sid = m_core->sdk.getSessionId();
    if (sid == IOTC_ER_NOT_INITIALIZED) {
        int failure = 0;
        startSdk(&failure);
        if (failure != 0) {
            m_connectingSid = sid;
            m_core->post(new ProgressEvent_Connect(head, failure, sid, attempt));
            return;
        }
        sid = m_core->sdk.getSessionId();
    }
    m_connectingSid = sid;
    if (sid < 0) {
        m_core->post(new ProgressEvent_Connect(head, sid, sid, attempt));
        return;
    }
    m_connectWatchdog->start();
    const QByteArray uid = ch->device()->uid().toLatin1();
    const LinkTaskCorePtr core = m_core;
    if (!m_core->start([core, head, uid, sid, attempt]() {
            IoTasks::connect(core, head, uid, sid, attempt);
        })) {
        m_connectWatchdog->stop();
        m_connecting = false;
    }
}

void IoConnect::onConnect(ProgressEvent_Connect *e)
{
    Channel *ch = e->ref.resolve(m_dev);
    if (!m_connecting || e->attempt != m_connectAttempt) {
        // The answer of an attempt the watchdog cut short: the queue has
        // moved on. A session made after all is closed again.
        if (!m_abortedAttempts.remove(e->attempt))
            return;
        int code = e->result;
        if (e->result >= 0 && e->sessionId >= 0) {
            m_core->sdk.sessionClose(e->sessionId);
            code = IOTC_ER_TIMEOUT;
        }
        qDebug() << "Connect Device error uid:" << e->ref.uid << " bRet:" << code;
        if (ch)
            emit connectDevFailMsg(ch, code, errorText(code));
        return;
    }

    m_connectWatchdog->stop();
    m_connecting = false;
    m_connectingChannel = ChannelRef();
    if (e->result >= 0 && e->sessionId >= 0) {
        if (ch) {
            ch->device()->setSessionId(e->sessionId);
            emit connectDevSuccessMsg(ch);
        } else {
            m_core->sdk.sessionClose(e->sessionId); // the device went away meanwhile
        }
    } else {
        qDebug() << "Connect Device error uid:" << e->ref.uid << " bRet:" << e->result;
        if (ch)
            emit connectDevFailMsg(ch, e->result, errorText(e->result));
    }
    finishConnect(e->ref);
}

void IoConnect::finishConnect(const ChannelRef &ref)
{
    m_connectQueue.removeIf([&](const ChannelRef &r) { return r.sameDevice(ref); });
    connectNext();
    if (m_connectQueue.isEmpty())
        startAvClients();
}

void IoConnect::stopConnectDev()
{
    if (!m_connecting)
        return;
    m_core->sdk.connectStop(m_connectingSid);
    m_abortedAttempts.insert(m_connectAttempt);
    const ChannelRef ref = m_connectingChannel;
    m_connecting = false;
    m_connectingChannel = ChannelRef();
    finishConnect(ref);
}

// ---------------------------------------------------------------------------
// AV channels

void IoConnect::startChannel(Channel *ch)
{
    if (!ch || m_shutDown)
        return;
    const ChannelRef ref = ChannelRef::of(ch);
    if (!m_avStartList.contains(ref))
        m_avStartList.append(ref);
    if (m_connectQueue.isEmpty())
        startAvClients();
}

void IoConnect::startAvClients()
{
    while (!m_avStartList.isEmpty()) {
        const ChannelRef ref = m_avStartList.takeFirst();
        Channel *ch = ref.resolve(m_dev);
        if (!ch || ch->device()->sessionId() < 0 || m_avStarting.contains(ref))
            continue;
        if (ch->avIndex(true) >= 0) {
            // Already open: a second AV channel would leak the first.
            emit connectChannelSuccessMsg(ch);
            continue;
        }
        const TaskContext ctx = contextOf(ch, true);
        const QByteArray account = ch->device()->viewAccount().toLocal8Bit();
        const QByteArray password = ch->device()->viewPassword().toLocal8Bit();
        const quint8 number = quint8(ch->index());
        const LinkTaskCorePtr core = m_core;
        if (m_core->start([core, ctx, account, password, number]() {
                IoTasks::avStart(core, ctx, account, password, number, true);
            }))
            m_avStarting.insert(ref);
    }
}

void IoConnect::checkAvStartsDone()
{
    for (const ChannelRef &ref : std::as_const(m_avStartList)) {
        Channel *ch = ref.resolve(m_dev);
        if (ch && ch->avIndex(true) < 0)
            return;
    }
    m_avStartList.clear();
    if (!m_connectQueue.isEmpty())
        connectNext();
}

void IoConnect::onAvIndex(ProgressEvent_GetAvIndex *e)
{
    Channel *any = e->ctx.ref.resolve(m_dev);
    if (any)
        disarmIoTimeout(any);
    if (e->live)
        m_avStarting.remove(e->ctx.ref);
    Channel *ch = (any && any->device()->sessionId() == e->ctx.sessionId) ? any : nullptr;
    if (!ch) {
        // The device was closed or removed meanwhile: nobody owns the index.
        if (e->avIndex >= 0)
            m_core->sdk.clientStop(e->avIndex);
        if (e->live)
            checkAvStartsDone();
        return;
    }
    if (!e->live) {
        if (e->avIndex >= 0) {
            ch->setAvIndex(e->avIndex, false);
            ch->setVideoOn(true, false);
            emit startReplaySuccessMsg(ch);
        } else {
            emitFailure(&IoConnect::startReplayFailMsg, ch, e->avIndex);
        }
        return;
    }
    if (e->avIndex >= 0) {
        ch->setAvIndex(e->avIndex, true);
        getChannelVersion(ch);
        return;
    }
    qDebug() << "[ERROR]connect channel error:" << e->avIndex << "(" << errorText(e->avIndex)
             << ");channel:" << ch->index();
    emitFailure(&IoConnect::connectChannelFailMsg, ch, e->avIndex);
    checkAvStartsDone();
}

void IoConnect::reportChannelReady(Channel *ch)
{
    if (ch)
        emit connectChannelSuccessMsg(ch);
}

// ---------------------------------------------------------------------------
// Closing

void IoConnect::closeSlot(Channel *ch, bool live)
{
    const int av = ch->avIndex(live);
    const int sid = ch->device()->sessionId();
    const int liveAv = ch->avIndex(true);
    QList<IoCtrl::Message> before;
    int talkAv = -1;
    if (live) {
        if (ch->talking() || ch->talkAvIndex() >= 0) {
            if (ch->talkChannelId() >= 0)
                before.append({IOCTRL_SPEAKER_STOP, IoCtrl::speaker(ch->talkChannelId())});
            talkAv = ch->talkAvIndex();
            ch->setTalkAvIndex(-1);
            ch->setTalkChannelId(-1);
            ch->setTalking(false);
            if (m_talk)
                m_talk(ch, false);
        }
        before.append({IOCTRL_VIDEO_STOP, IoCtrl::videoStop(ch->index())});
    } else {
        before.append({IOCTRL_PLAYBACK_CONTROL, IoCtrl::playbackStop(ch->index())});
    }
    resetStream(ch, live);
    if (av < 0 || sid < 0) {
        // No AV channel to close: only the stop message, as a plain request.
        if (live)
            stopVideo(ch, false);
        return;
    }
    // The slot is closed from here on; the task sends the stop message and
    // then closes the AV channel, in that order.
    ch->setAvIndex(-1, live);
    TaskContext ctx = contextOf(ch, live);
    ctx.avIndex = av;
    const quint8 number = quint8(ch->index());
    const LinkTaskCorePtr core = m_core;
    m_core->start([core, ctx, number, before, liveAv, talkAv]() {
        IoTasks::closeAv(core, ctx, number, before, liveAv, talkAv);
    });
    if (live)
        emit videoRequestStopSuccessMsg(ch);
    else
        emit stopReplaySuccessMsg(ch);
}

void IoConnect::closeChannel(Channel *ch)
{
    if (!ch)
        return;
    // Playback first: its stop message travels on the live AV channel.
    if (ch->videoOn(false))
        closeSlot(ch, false);
    if (ch->videoOn(true))
        closeSlot(ch, true);
}

void IoConnect::closeDevice(Device *d)
{
    if (!d || d->sessionId() < 0)
        return;
    m_core->sdk.sessionClose(d->sessionId());
    d->setSessionId(-1);
    const int count = qMin(d->channelCount(), int(d->channels().size()));
    for (int i = 0; i < count; ++i) {
        Channel *ch = d->channel(i);
        m_pendingIo.remove(ChannelRef::of(ch));
        m_awaiting.remove(ChannelRef::of(ch));
        ch->ioTimeout()->stop();
        if (ch->talking() || ch->talkAvIndex() >= 0) {
            // The talk server went with the session.
            ch->setTalking(false);
            ch->setTalkAvIndex(-1);
            ch->setTalkChannelId(-1);
            if (m_talk)
                m_talk(ch, false);
        }
        for (bool live : {true, false}) {
            ch->setViewRequested(false, live);
            resetStream(ch, live);
            ch->setAvIndex(-1, live);
            if (live)
                emit videoRequestStopSuccessMsg(ch);
            else
                emit stopReplaySuccessMsg(ch);
        }
    }
}

void IoConnect::closeDeviceOf(Channel *ch)
{
    if (ch)
        closeDevice(ch->device());
}

void IoConnect::resetStream(Channel *ch, bool live)
{
    if (!ch)
        return;
    ch->setVideoOn(false, live);
    if (m_streamReset)
        m_streamReset(ch, live);
    ch->setRxErrorCount(0, live);
}

bool IoConnect::shutdown(int waitMs)
{
    if (!m_shutDown) {
        m_shutDown = true;
        m_core->closing = true;
        m_msgTimer->stop();
        m_connectWatchdog->stop();
        const SdkApi &sdk = m_core->sdk;
        if (m_connecting && m_connectingSid >= 0)
            sdk.connectStop(m_connectingSid);
        if (m_lanSearchTimer->isActive()) {
            m_lanSearchTimer->stop();
            sdk.searchStop();
        }
        // Closing every AV channel and session makes blocked calls return.
        for (Device *d : m_dev->devices()) {
            const int sid = d->sessionId();
            if (sid < 0)
                continue;
            for (Channel *ch : d->channels()) {
                ch->ioTimeout()->stop();
                if (ch->talkAvIndex() >= 0)
                    sdk.servStop(ch->talkAvIndex());
                for (bool live : {true, false}) {
                    const int av = ch->avIndex(live);
                    if (av < 0)
                        continue;
                    sdk.sendIoCtrlExit(av);
                    sdk.clientStop(av);
                    sdk.clientExit(sid, quint8(ch->index()));
                    ch->setAvIndex(-1, live);
                    ch->setVideoOn(false, live);
                }
            }
            sdk.sessionClose(sid);
            d->setSessionId(-1);
        }
    }
    return m_core->waitForTasks(waitMs);
}

// ---------------------------------------------------------------------------
// IO time-out

void IoConnect::armIoTimeout(Channel *ch)
{
    ++m_pendingIo[ChannelRef::of(ch)];
    connect(ch->ioTimeout(), &ChannelSaveTimeout::timeout, this, &IoConnect::ioControlTimeout,
            Qt::UniqueConnection);
    ch->ioTimeout()->start(m_ioTimeoutMs);
}

void IoConnect::disarmIoTimeout(Channel *ch)
{
    const ChannelRef ref = ChannelRef::of(ch);
    const int left = m_pendingIo.value(ref) - 1;
    if (left > 0) {
        // Another request of the channel still waits for its answer.
        m_pendingIo.insert(ref, left);
        return;
    }
    m_pendingIo.remove(ref);
    disconnect(ch->ioTimeout(), &ChannelSaveTimeout::timeout, this, &IoConnect::ioControlTimeout);
    ch->ioTimeout()->stop();
}

void IoConnect::awaitReply(Channel *ch, unsigned int replyType)
{
    m_awaiting[ChannelRef::of(ch)].insert(replyType);
    armIoTimeout(ch);
}

bool IoConnect::replyArrived(Channel *ch, unsigned int replyType)
{
    const auto it = m_awaiting.find(ChannelRef::of(ch));
    if (it == m_awaiting.end() || !it->remove(replyType))
        return false;
    if (it->isEmpty())
        m_awaiting.erase(it);
    disarmIoTimeout(ch);
    return true;
}

void IoConnect::ioControlTimeout(Channel *ch)
{
    if (!ch)
        return;
    qDebug() << "ioControlTimeout:" << ch->index();
    const ChannelRef ref = ChannelRef::of(ch);
    m_pendingIo.remove(ref);
    disconnect(ch->ioTimeout(), &ChannelSaveTimeout::timeout, this, &IoConnect::ioControlTimeout);
    if (ch->avIndex(true) >= 0)
        m_core->sdk.sendIoCtrlExit(ch->avIndex(true));
    // Requests whose answer never came fail now instead of waiting for ever.
    const QSet<unsigned int> awaited = m_awaiting.take(ref);
    for (unsigned int type : awaited) {
        switch (type) {
        case IOCTRL_TIMEZONE_SET_RESP:
            emitFailure(&IoConnect::setTimeZoneFailMsg, ch, AV_ER_TIMEOUT);
            break;
        case IOCTRL_WIFI_SET_RESP:
            emitFailure(&IoConnect::setWifiFailMsg, ch, AV_ER_TIMEOUT);
            break;
        case IOCTRL_QUALITY_SET_RESP:
            emitFailure(&IoConnect::changeQualityFailMsg, ch, AV_ER_TIMEOUT);
            break;
        case IOCTRL_PLAYBACK_SEEK_RESP:
            emitFailure(&IoConnect::changeReplayTimeFailMsg, ch, AV_ER_TIMEOUT);
            break;
        default:
            break;
        }
    }
}

// ---------------------------------------------------------------------------
// IO control operations

TaskContext IoConnect::contextOf(Channel *ch, bool live) const
{
    TaskContext ctx;
    ctx.ref = ChannelRef::of(ch);
    ctx.sessionId = ch->device()->sessionId();
    ctx.avIndex = ch->avIndex(live);
    return ctx;
}

Channel *IoConnect::liveChannel(const TaskContext &ctx, bool live) const
{
    Channel *ch = ctx.ref.resolve(m_dev);
    if (!ch || ch->device()->sessionId() != ctx.sessionId || ch->avIndex(live) != ctx.avIndex)
        return nullptr;
    return ch;
}

void IoConnect::sendMessage(Channel *ch, ENUM_AVIOCTRL_MSGTYPE type, const QByteArray &payload,
                            std::function<QEvent *(const TaskContext &, int)> makeEvent)
{
    if (!ch || m_shutDown)
        return;
    armIoTimeout(ch);
    const TaskContext ctx = contextOf(ch, true);
    const LinkTaskCorePtr core = m_core;
    m_core->start([core, ctx, type, payload, makeEvent]() {
        IoTasks::send(core, ctx, type, payload, [&](int r) { return makeEvent(ctx, r); });
    });
}

void IoConnect::startVideo(Channel *ch)
{
    if (!ch || m_shutDown)
        return;
    armIoTimeout(ch);
    ch->setWaitKeyFrame(true, true);
    emit waitingStreamMsg(ch);
    const TaskContext ctx = contextOf(ch, true);
    const int number = ch->index();
    const LinkTaskCorePtr core = m_core;
    m_core->start([core, ctx, number]() { IoTasks::startVideo(core, ctx, number); });
}

void IoConnect::stopVideo(Channel *ch, bool restart)
{
    if (!ch)
        return;
    sendMessage(ch, IOCTRL_VIDEO_STOP, IoCtrl::videoStop(ch->index()),
                [restart](const TaskContext &ctx, int r) {
                    return new ProgressEvent_StopStream(ctx, r, restart);
                });
}

void IoConnect::changeQuality(Channel *ch, bool hd)
{
    if (!ch)
        return;
    m_quality = hd ? 1 : 0;
    m_pendingQuality.insert(ChannelRef::of(ch), hd);
    sendMessage(ch, IOCTRL_QUALITY_SET, IoCtrl::qualitySet(ch->index(), hd),
                [hd](const TaskContext &ctx, int r) {
                    return new ProgressEvent_changeQuality(ctx, r, hd);
                });
}

void IoConnect::audioControl(Channel *ch, bool on)
{
    if (!ch)
        return;
    sendMessage(
        ch, on ? IOCTRL_AUDIO_START : IOCTRL_AUDIO_STOP,
        on ? IoCtrl::audioStart() : IoCtrl::audioStop(),
        [on](const TaskContext &ctx, int r) { return new ProgressEvent_audioControl(ctx, r, on); });
}

void IoConnect::getChannelVersion(Channel *ch)
{
    sendMessage(
        ch, IOCTRL_VERSION_REQ, IoCtrl::versionRequest(),
        [](const TaskContext &ctx, int r) { return new ProgressEvent_getChannelVersion(ctx, r); });
}

void IoConnect::setTime(Channel *ch, const QDateTime &dt)
{
    sendMessage(ch, IOCTRL_TIME_SET, IoCtrl::timeSet(dt),
                [](const TaskContext &ctx, int r) { return new ProgressEvent_setTime(ctx, r); });
}

void IoConnect::setTimeZone(Channel *ch, const QString &zone)
{
    sendMessage(
        ch, IOCTRL_TIMEZONE_SET, IoCtrl::timeZoneSet(zone),
        [](const TaskContext &ctx, int r) { return new ProgressEvent_setTimeZone(ctx, r); });
}

void IoConnect::setWifi(Channel *ch, const QString &ssid, const QString &password)
{
    sendMessage(ch, IOCTRL_WIFI_SET, IoCtrl::wifiSet(ssid, password),
                [](const TaskContext &ctx, int r) { return new ProgressEvent_setWifi(ctx, r); });
}

namespace {
QEvent *ptzEvent(const TaskContext &ctx, int r)
{
    return new ProgressEvent_ptz(ctx, r);
}
} // namespace

void IoConnect::ptzControl(Channel *ch, quint8 command, quint8 param, bool shortForm)
{
    if (!ch)
        return;
    const IoCtrl::Message m = IoCtrl::ptzControl(ch->index(), command, param, shortForm);
    sendMessage(ch, m.type, m.payload, ptzEvent);
}

void IoConnect::ptzPoint(Channel *ch, bool b, bool shortForm)
{
    if (!ch)
        return;
    const IoCtrl::Message m = IoCtrl::ptzPoint(ch->index(), b, shortForm);
    sendMessage(ch, m.type, m.payload, ptzEvent);
}

void IoConnect::ptzCruise(Channel *ch, bool b, bool shortForm)
{
    if (!ch)
        return;
    const IoCtrl::Message m = IoCtrl::ptzCruise(ch->index(), b, shortForm);
    sendMessage(ch, m.type, m.payload, ptzEvent);
}

void IoConnect::ptzCruisePath(Channel *ch, quint8 command, quint8 param, quint8 extra,
                              bool shortForm)
{
    if (!ch)
        return;
    const IoCtrl::Message m = IoCtrl::ptzCruisePath(ch->index(), command, param, extra, shortForm);
    sendMessage(ch, m.type, m.payload, ptzEvent);
}

// ---------------------------------------------------------------------------
// Talk

void IoConnect::audioSendControl(Channel *ch, bool on)
{
    if (!ch || m_shutDown)
        return;
    armIoTimeout(ch);
    const TaskContext ctx = contextOf(ch, true);
    // Stopping names the talk channel that was started, not a new one.
    const int talkChannel = on ? -1 : ch->talkChannelId();
    const LinkTaskCorePtr core = m_core;
    m_core->start(
        [core, ctx, on, talkChannel]() { IoTasks::talkControl(core, ctx, on, talkChannel); });
}

void IoConnect::startTalkStop(Channel *ch)
{
    const int av = ch->talkAvIndex();
    ch->setTalkAvIndex(-1);
    ch->setTalking(false);
    if (m_talk)
        m_talk(ch, false);
    if (av >= 0) {
        const LinkTaskCorePtr core = m_core;
        m_core->start([core, av]() { IoTasks::talkStop(core, av); });
    }
}

// ---------------------------------------------------------------------------
// Reply polling and LAN search

void IoConnect::getMsg()
{
    for (Device *d : m_dev->devices()) {
        if (d->sessionId() < 0 || d->channelCount() <= 0)
            continue;
        for (int i = 0; i < d->channelCount(); ++i) {
            if (Channel *ch = d->channel(i))
                startReceive(ch, true);
        }
    }
}

void IoConnect::startReceive(Channel *ch, bool live)
{
    // One receive per channel and slot at a time, and none on a closed slot:
    // the poll must not pile tasks up behind a long SDK call.
    if (m_shutDown || ch->avIndex(live) < 0)
        return;
    const ChannelRef ref = ChannelRef::of(ch);
    QSet<ChannelRef> &running = m_receiving[live ? 1 : 0];
    if (running.contains(ref))
        return;
    const TaskContext ctx = contextOf(ch, live);
    const LinkTaskCorePtr core = m_core;
    if (m_core->start([core, ctx, live]() { IoTasks::receive(core, ctx, live); }))
        running.insert(ref);
}

void IoConnect::startLanSearch()
{
    if (m_shutDown)
        return;
    m_lanRetried = false;
    startLanTask();
}

void IoConnect::startLanTask()
{
    const LinkTaskCorePtr core = m_core;
    m_core->start([core]() { IoTasks::lanSearchStart(core); });
}

void IoConnect::getLanSearchResult()
{
    QByteArray buffer(LanSearchMaxEntries * P2P_SEARCH_ENTRY_SIZE, '\0');
    int count = m_core->sdk.searchResult(buffer.data(), LanSearchMaxEntries, 1);
    m_core->sdk.searchStop();
    QByteArray entries;
    if (count > 0)
        entries = buffer.left(qMin(count, LanSearchMaxEntries) * P2P_SEARCH_ENTRY_SIZE);
    m_core->post(new ProgressEvent_LanSearch(qMin(count, LanSearchMaxEntries), entries));
}
