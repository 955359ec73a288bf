#include "link/IoConnect.h"

#include "diagnostics/Checks.h"
#include "link/ConnectQueue.h"
#include "link/DeviceEvents.h"
#include "link/DeviceLinks.h"
#include "link/GuiMailbox.h"
#include "link/ErrorText.h"
#include "link/IoTasks.h"
#include "link/ProgressEvents.h"
#include "link/ReconnectSchedule.h"
#include "link/ReplyWatch.h"
#include "link/SdkApi.h"
#include "link/TalkControl.h"
#include "model/Channel.h"
#include "model/ChannelSaveTimeout.h"
#include "model/Dev.h"
#include "model/Device.h"
#include "model/SharedInstance.h"

#include <QCoreApplication>
#include <QMetaMethod>
#include <QDebug>
#include <QTimer>

IoConnect *IoConnect::instance()
{
    ORVANE_ASSERT_GUI_THREAD();
    return SharedInstance<IoConnect>::get();
}

IoConnect::IoConnect(QObject *parent)
    : DeviceEvents(parent)
    , m_core(std::make_shared<LinkTaskCore>(this))
    , m_dev(Dev::instance())
    , m_replies(new ReplyWatch(m_dev, DefaultIoTimeoutMs, this))
    , m_connects(new ConnectQueue(m_core, m_dev, ConnectWatchdogMs, this))
    , m_reconnects(new ReconnectSchedule(m_dev, this))
    , m_talk(new TalkControl(m_core, m_dev, m_replies, this))
    , m_lan(new LanSearch(m_core, this))
    , m_msgTimer(new QTimer(this))
{
    ORVANE_ASSERT_GUI_THREAD();
    // The first object built is the shared one (tests build it with their seams).
    m_core->setMailbox(new GuiMailbox(this));
    if (SharedInstance<IoConnect>::adopt(this))
        forwardTo(DeviceLinks::events());
    qRegisterMetaType<Channel *>("Channel*");
    qRegisterMetaType<Device *>("Device*");

    m_msgTimer->setInterval(MsgPollMs);
    connect(m_msgTimer, &QTimer::timeout, this, &IoConnect::getMsg);
    m_msgTimer->start();

    connect(m_replies, &ReplyWatch::timedOut, this, &IoConnect::ioControlTimeout);
    // A playback start ends with its channel open or any failure.
    connect(this, &IoConnect::startReplaySuccessMsg, this, &IoConnect::playbackStartEnded);
    for (auto failed : {&IoConnect::startReplayFailMsg, &IoConnect::startReplayControlFailMsg})
        connect(this, failed, this,
                [this](Channel *ch, int, const QString &) { playbackStartEnded(ch); });
    connect(m_connects, &ConnectQueue::channelAlreadyOpen, this,
            &IoConnect::connectChannelSuccessMsg);
    connect(m_talk, &TalkControl::succeeded, this, &IoConnect::audioSendControlSuccessMsg);
    connect(m_talk, &TalkControl::failed, this, &IoConnect::audioSendControlFailMsg);
    connect(m_lan, &LanSearch::succeeded, this, &IoConnect::startLANSearchSuccessMsg);
    connect(m_lan, &LanSearch::failed, this, &IoConnect::startLANSearchFailMsg);
    connect(m_reconnects, &ReconnectSchedule::due, this, &IoConnect::reconnectDue);
    connect(m_dev, &Dev::reloadDevMsg, m_reconnects, &ReconnectSchedule::dropUnregistered);

    if (QCoreApplication *app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, [this]() { shutdown(); });
}

void IoConnect::forwardTo(DeviceEvents *hub)
{
    // Every signal is DeviceEvents' own: the same method on both sides.
    const QMetaObject &events = DeviceEvents::staticMetaObject;
    for (int i = events.methodOffset(); i < events.methodCount(); ++i) {
        const QMetaMethod signal = events.method(i);
        if (signal.methodType() == QMetaMethod::Signal)
            connect(this, signal, hub, signal);
    }
}

IoConnect::~IoConnect()
{
    ORVANE_ASSERT_GUI_THREAD();
    shutdown(2000);
    m_core->detach();
    SharedInstance<IoConnect>::release(this);
}

void IoConnect::setStreamResetHandler(std::function<void(Channel *, bool, bool)> handler)
{
    ORVANE_ASSERT_GUI_THREAD();
    m_streamReset = std::move(handler);
}

void IoConnect::setLinkLostHandler(std::function<void(Device *)> handler)
{
    ORVANE_ASSERT_GUI_THREAD();
    m_linkLost = std::move(handler);
}

void IoConnect::setTalkHandler(std::function<bool(Channel *, bool)> handler)
{
    ORVANE_ASSERT_GUI_THREAD();
    m_talk->setHandler(std::move(handler));
}

void IoConnect::setLiveModeProvider(std::function<bool()> provider)
{
    ORVANE_ASSERT_GUI_THREAD();
    m_liveMode = std::move(provider);
}

void IoConnect::setSdk(const SdkApi &sdk)
{
    ORVANE_ASSERT_GUI_THREAD();
    setSdkApi(sdk);
}

quint8 IoConnect::quality() const
{
    ORVANE_ASSERT_GUI_THREAD();
    return m_quality;
}

void IoConnect::setIoTimeoutMs(int ms)
{
    ORVANE_ASSERT_GUI_THREAD();
    m_replies->setTimeoutMs(ms);
}

int IoConnect::ioTimeoutMs() const
{
    ORVANE_ASSERT_GUI_THREAD();
    return m_replies->timeoutMs();
}

void IoConnect::setMessagePollMs(int ms)
{
    m_msgTimer->setInterval(ms);
}

void IoConnect::setReconnectUnitMs(int ms)
{
    ORVANE_ASSERT_GUI_THREAD();
    m_reconnects->setUnitMs(ms);
}

int IoConnect::reconnectDelayMs(const Device *device) const
{
    ORVANE_ASSERT_GUI_THREAD();
    return m_reconnects->pendingMs(device);
}

// ---------------------------------------------------------------------------
// Device sessions

bool IoConnect::serves(const Device *d)
{
    return d && d->isP2p();
}

bool IoConnect::refuse(Channel *ch, FailureSignal failed)
{
    if (serves(ch->device()))
        return false;
    emitFailure(failed, ch, AV_ER_CLIENT_NOT_SUPPORT);
    return true;
}

void IoConnect::connectChannel(Channel *ch)
{
    ORVANE_ASSERT_GUI_THREAD();
    ORVANE_CHECK(ch, return );
    if (m_core->closing || refuse(ch, &IoConnect::connectDevFailMsg))
        return;
    Device *d = ch->device();
    if (d->sessionId() >= 0) {
        // A second session for a connected device would orphan the first.
        emit connectDevSuccessMsg(ch);
        return;
    }
    if (d->linkState() == Device::LinkState::Offline) {
        reconnectNow(d);
        return;
    }
    d->setLinkState(Device::LinkState::Connecting);
    m_connects->requestSession(ChannelRef::of(ch));
}

void IoConnect::stopConnectDev()
{
    ORVANE_ASSERT_GUI_THREAD();
    m_connects->cut();
}

// ---------------------------------------------------------------------------
// AV channels

void IoConnect::startChannel(Channel *ch)
{
    ORVANE_ASSERT_GUI_THREAD();
    ORVANE_CHECK(ch, return );
    if (m_core->closing || refuse(ch, &IoConnect::connectChannelFailMsg))
        return;
    m_connects->requestChannel(ChannelRef::of(ch));
}

void IoConnect::reportChannelReady(Channel *ch)
{
    ORVANE_ASSERT_GUI_THREAD();
    ORVANE_CHECK(ch, return );
    emit connectChannelSuccessMsg(ch);
}

// ---------------------------------------------------------------------------
// IO control operations

void IoConnect::ioControlTimeout(Channel *ch)
{
    ORVANE_ASSERT_GUI_THREAD();
    ORVANE_CHECK(ch, return );
    qDebug() << "ioControlTimeout:" << ch->index();
    const QSet<unsigned int> awaited = m_replies->expire(ch);
    if (ch->avIndex(true) >= 0)
        sdkApi().sendIoCtrlExit(ch->avIndex(true));
    // Requests whose answer never came fail now instead of waiting for ever.
    failAwaited(ch, awaited, AV_ER_TIMEOUT);
}

void IoConnect::failAwaited(Channel *ch, const QSet<unsigned int> &replyTypes, int code)
{
    for (unsigned int type : replyTypes) {
        if (type == IOCTRL_TIMEZONE_SET_RESP)
            emitFailure(&IoConnect::setTimeZoneFailMsg, ch, code);
        else if (type == IOCTRL_WIFI_SET_RESP)
            emitFailure(&IoConnect::setWifiFailMsg, ch, code);
        else if (type == IOCTRL_QUALITY_SET_RESP)
            emitFailure(&IoConnect::changeQualityFailMsg, ch, code);
        else if (type == IOCTRL_PLAYBACK_SEEK_RESP)
            emitFailure(&IoConnect::changeReplayTimeFailMsg, ch, code);
    }
}

void IoConnect::sendMessage(Channel *ch, ENUM_AVIOCTRL_MSGTYPE type, const QByteArray &payload,
                            std::function<QEvent *(const TaskContext &, int)> makeEvent)
{
    if (m_core->closing)
        return;
    if (!serves(ch->device())) {
        // Another kind's device: the operation fails as a refused one.
        QCoreApplication::postEvent(this,
                                    makeEvent(TaskContext::of(ch, true), AV_ER_CLIENT_NOT_SUPPORT));
        return;
    }
    m_replies->arm(ch);
    const TaskContext ctx = TaskContext::of(ch, true);
    const LinkTaskCorePtr core = m_core;
    m_core->start(ctx.ref.device, [core, ctx, type, payload, makeEvent]() {
        IoTasks::send(core, ctx, type, payload, [&](int r) { return makeEvent(ctx, r); });
    });
}

void IoConnect::sendIoCtrl(Channel *ch, ENUM_AVIOCTRL_MSGTYPE type, const QByteArray &payload,
                           std::function<void(Channel *, int)> done)
{
    ORVANE_ASSERT_GUI_THREAD();
    ORVANE_CHECK(ch, return );
    const TaskContext ctx = TaskContext::of(ch, true);
    if (m_core->closing || !serves(ch->device()) || ctx.avIndex < 0) {
        if (done)
            done(ch,
                 m_core->closing || ctx.avIndex < 0 ? AV_ER_INVALID_SID : AV_ER_CLIENT_NOT_SUPPORT);
        return;
    }
    const LinkTaskCorePtr core = m_core;
    m_core->start(ctx.ref.device, [core, ctx, type, payload, done]() {
        if (core->closing)
            return;
        const int r =
            sdkApi().sendIoCtrl(ctx.avIndex, type, payload.constData(), int(payload.size()));
        core->post(new IoSentEvent(ctx, r, done));
    });
}

void IoConnect::startVideo(Channel *ch)
{
    ORVANE_ASSERT_GUI_THREAD();
    ORVANE_CHECK(ch, return );
    if (m_core->closing || refuse(ch, &IoConnect::videoRequestFailMsg))
        return;
    m_replies->arm(ch);
    ch->setWaitKeyFrame(true, true);
    emit waitingStreamMsg(ch);
    const TaskContext ctx = TaskContext::of(ch, true);
    const int number = ch->index();
    const LinkTaskCorePtr core = m_core;
    m_core->start(ctx.ref.device,
                  [core, ctx, number]() { IoTasks::startVideo(core, ctx, number); });
}

void IoConnect::stopVideo(Channel *ch, bool restart)
{
    ORVANE_ASSERT_GUI_THREAD();
    ORVANE_CHECK(ch, return );
    sendMessage(ch, IOCTRL_VIDEO_STOP, IoCtrl::videoStop(ch->index()),
                [restart](const TaskContext &ctx, int r) {
                    return new ProgressEvent_StopStream(ctx, r, restart);
                });
}

void IoConnect::changeQuality(Channel *ch, bool hd)
{
    ORVANE_ASSERT_GUI_THREAD();
    ORVANE_CHECK(ch, return );
    m_quality = hd ? 1 : 0;
    m_replies->expectQuality(ch, hd);
    sendMessage(ch, IOCTRL_QUALITY_SET, IoCtrl::qualitySet(ch->index(), hd),
                [hd](const TaskContext &ctx, int r) {
                    return new ProgressEvent_changeQuality(ctx, r, hd);
                });
}

void IoConnect::audioControl(Channel *ch, bool on)
{
    ORVANE_ASSERT_GUI_THREAD();
    ORVANE_CHECK(ch, return );
    sendMessage(
        ch, on ? IOCTRL_AUDIO_START : IOCTRL_AUDIO_STOP,
        on ? IoCtrl::audioStart() : IoCtrl::audioStop(),
        [on](const TaskContext &ctx, int r) { return new ProgressEvent_audioControl(ctx, r, on); });
}

void IoConnect::getChannelVersion(Channel *ch)
{
    ORVANE_ASSERT_GUI_THREAD();
    ORVANE_CHECK(ch, return );
    sendMessage(
        ch, IOCTRL_VERSION_REQ, IoCtrl::versionRequest(),
        [](const TaskContext &ctx, int r) { return new ProgressEvent_getChannelVersion(ctx, r); });
}

void IoConnect::setTime(Channel *ch, const QDateTime &dt)
{
    ORVANE_ASSERT_GUI_THREAD();
    ORVANE_CHECK(ch, return );
    sendMessage(ch, IOCTRL_TIME_SET, IoCtrl::timeSet(dt),
                [](const TaskContext &ctx, int r) { return new ProgressEvent_setTime(ctx, r); });
}

void IoConnect::setTimeZone(Channel *ch, const QString &zone)
{
    ORVANE_ASSERT_GUI_THREAD();
    ORVANE_CHECK(ch, return );
    sendMessage(
        ch, IOCTRL_TIMEZONE_SET, IoCtrl::timeZoneSet(zone),
        [](const TaskContext &ctx, int r) { return new ProgressEvent_setTimeZone(ctx, r); });
}

void IoConnect::setWifi(Channel *ch, const QString &ssid, const QString &password)
{
    ORVANE_ASSERT_GUI_THREAD();
    ORVANE_CHECK(ch, return );
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
    ORVANE_ASSERT_GUI_THREAD();
    ORVANE_CHECK(ch, return );
    const IoCtrl::Message m = IoCtrl::ptzControl(ch->index(), command, param, shortForm);
    sendMessage(ch, m.type, m.payload, ptzEvent);
}

void IoConnect::ptzPoint(Channel *ch, int preset, bool shortForm)
{
    ORVANE_ASSERT_GUI_THREAD();
    ORVANE_CHECK(ch, return );
    const IoCtrl::Message m = IoCtrl::ptzPoint(ch->index(), preset, shortForm);
    sendMessage(ch, m.type, m.payload, ptzEvent);
}

void IoConnect::ptzCruise(Channel *ch, int preset, bool shortForm)
{
    ORVANE_ASSERT_GUI_THREAD();
    ORVANE_CHECK(ch, return );
    const IoCtrl::Message m = IoCtrl::ptzCruise(ch->index(), preset, shortForm);
    sendMessage(ch, m.type, m.payload, ptzEvent);
}

void IoConnect::ptzCruisePath(Channel *ch, quint8 command, quint8 param, quint8 extra,
                              bool shortForm)
{
    ORVANE_ASSERT_GUI_THREAD();
    ORVANE_CHECK(ch, return );
    const IoCtrl::Message m = IoCtrl::ptzCruisePath(ch->index(), command, param, extra, shortForm);
    sendMessage(ch, m.type, m.payload, ptzEvent);
}

void IoConnect::audioSendControl(Channel *ch, bool on)
{
    ORVANE_ASSERT_GUI_THREAD();
    ORVANE_CHECK(ch, return );
    if (!refuse(ch, &IoConnect::audioSendControlFailMsg))
        m_talk->request(ch, on);
}

// ---------------------------------------------------------------------------
// Reply polling and LAN search

void IoConnect::getMsg()
{
    ORVANE_ASSERT_GUI_THREAD();
    for (Device *d : m_dev->devices()) {
        if (!serves(d) || d->sessionId() < 0 || d->channelCount() <= 0)
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
    // the poll must not pile tasks up behind a long call of the device.
    if (m_core->closing || ch->avIndex(live) < 0)
        return;
    const ChannelRef ref = ChannelRef::of(ch);
    QSet<ChannelRef> &running = m_receiving[live ? 1 : 0];
    if (running.contains(ref))
        return;
    const TaskContext ctx = TaskContext::of(ch, live);
    const LinkTaskCorePtr core = m_core;
    if (m_core->start(ctx.ref.device, [core, ctx, live]() { IoTasks::receive(core, ctx, live); }))
        running.insert(ref);
    // From now on the library says when a message waits, so a reply need not
    // wait for the poll. A registration stays with its AV index: whichever
    // channel holds the index when a message comes is the one that receives.
    if (!m_ioWatched.contains(ctx.avIndex) &&
        sdkApi().setIoCtrlReady(ctx.avIndex, &IoConnect::ioReady, this) == 0)
        m_ioWatched.insert(ctx.avIndex);
}

void IoConnect::ioReady(int avIndex, int kind, void *context)
{
    if (kind != P2P_READY_IOCTRL)
        return; // a close is read by the next receive
    auto *io = static_cast<IoConnect *>(context);
    io->m_core->post(new ProgressEvent_ioReady(TaskContext(), avIndex));
}

void IoConnect::ioArrived(int avIndex)
{
    for (Device *d : m_dev->devices()) {
        if (!serves(d) || d->sessionId() < 0)
            continue;
        for (Channel *ch : d->channels())
            for (const bool live : {true, false})
                if (ch->avIndex(live) == avIndex)
                    startReceive(ch, live);
    }
}

void IoConnect::startLanSearch()
{
    ORVANE_ASSERT_GUI_THREAD();
    if (!m_core->closing)
        m_lan->start();
}

void IoConnect::getLanSearchResult()
{
    ORVANE_ASSERT_GUI_THREAD();
    m_lan->collect();
}

QList<LanSearchResult> IoConnect::lanResults() const
{
    ORVANE_ASSERT_GUI_THREAD();
    return m_lan->results();
}
