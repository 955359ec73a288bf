// IoConnect's side of device sessions once an attempt has answered: a session
// that opens, an attempt that fails, a session that is lost, the attempts
// that bring a lost device back, and closing channels and sessions.

#include "link/IoConnect.h"

#include "config/Config.h"

#include "diagnostics/Checks.h"
#include "link/ConnectQueue.h"
#include "link/ErrorText.h"
#include "link/IoTasks.h"
#include "link/ReconnectSchedule.h"
#include "link/ReplyWatch.h"
#include "link/SdkApi.h"
#include "link/TalkControl.h"
#include "model/Channel.h"
#include "model/ChannelSaveTimeout.h"
#include "model/Dev.h"
#include "model/Device.h"

#include <QDebug>

namespace {

int channelsOf(const Device *d)
{
    return qMin(d->channelCount(), int(d->channels().size()));
}

// A fingerprint in groups of four digits, as people compare them.
QString grouped(const QString &fingerprint)
{
    QString out;
    for (int i = 0; i < fingerprint.size(); i += 4)
        out += (i ? QStringLiteral(" ") : QString()) + fingerprint.mid(i, 4);
    return out;
}

// Trust on first use: the key a device proved on its first session is kept
// with the settings and required from then on.
void pinFirstKey(const Device *d, int sessionId)
{
    char fp[P2P_FINGERPRINT_SIZE] = {0};
    if (sdkApi().sessionFingerprint(sessionId, fp, sizeof(fp)) <= 0)
        return;
    Config *config = Config::instance();
    if (!config->devicePin(d->uid()).isEmpty())
        return;
    if (config->setDevicePin(d->uid(), QString::fromLatin1(fp)))
        qInfo().noquote() << QStringLiteral("%1: device key %2 trusted from now on")
                                 .arg(d->uid(), grouped(QString::fromLatin1(fp)));
}

} // namespace

Channel *IoConnect::requestedChannel(const Device *d)
{
    for (int i = 0; i < channelsOf(d); ++i) {
        Channel *ch = d->channel(i);
        if (ch->viewRequested(true) || ch->viewRequested(false))
            return ch;
    }
    return nullptr;
}

void IoConnect::sessionOpened(Channel *ch, int sessionId)
{
    Device *d = ch->device();
    const bool back = d->linkState() == Device::LinkState::Offline;
    d->setSessionId(sessionId);
    d->setLinkState(Device::LinkState::Online);
    pinFirstKey(d, sessionId);
    if (back) {
        m_reconnects->forget(d);
        qInfo().noquote() << QStringLiteral("%1 is back online").arg(d->uid());
        emit deviceOnlineMsg(d);
    }
    emit connectDevSuccessMsg(ch);
    if (!back || d->sessionId() != sessionId)
        return;
    // The channels still requested open again; the queue starts them once
    // no session is waiting, as on a first connect.
    for (int i = 0; i < channelsOf(d); ++i) {
        Channel *c = d->channel(i);
        if (c->viewRequested(true) || c->viewRequested(false))
            startChannel(c);
    }
}

void IoConnect::sessionFailed(Channel *ch, int code)
{
    if (!ch) {
        qDebug() << "Connect Device error: device gone, bRet:" << code;
        return;
    }
    Device *d = ch->device();
    if (code == IOTC_ER_DEVICE_KEY_MISMATCH) {
        // Never silent: the device (or something in between) is not the one trusted.
        const QString text = keyMismatchText(d->uid());
        qWarning().noquote() << text;
        emit connectDevFailMsg(ch, code, text);
    }
    if (d->linkState() != Device::LinkState::Offline) {
        qDebug() << "Connect Device error uid:" << d->uid() << " bRet:" << code;
        // A first connect that fails while a channel is wanted (a device
        // still booting, not listening, busy, stalled) is tried again as a
        // lost link is: the device goes offline (one alert), its cells stay
        // and the attempts follow the reconnect waits. A device that showed
        // another key is not tried again until the user acts.
        if (code != IOTC_ER_DEVICE_KEY_MISMATCH && !m_core->closing && requestedChannel(d)) {
            d->setLinkState(Device::LinkState::Offline);
            m_reconnects->scheduleNext(d);
            emit deviceOfflineMsg(d, code, errorText(code));
            return;
        }
        if (d->linkState() == Device::LinkState::Connecting)
            d->setLinkState(Device::LinkState::Idle);
        if (code != IOTC_ER_DEVICE_KEY_MISMATCH)
            emitFailure(&IoConnect::connectDevFailMsg, ch, code);
        return;
    }
    // A reconnect attempt: the device stays offline and tries again later
    // while it has something to show.
    if (m_core->closing || !requestedChannel(d)) {
        m_reconnects->forget(d);
        return;
    }
    m_reconnects->scheduleNext(d);
    qInfo().noquote() << QStringLiteral("reconnecting %1 failed: %2 (%3); next try in %4 ms")
                             .arg(d->uid())
                             .arg(code)
                             .arg(errorText(code))
                             .arg(m_reconnects->pendingMs(d));
}

QString IoConnect::keyMismatchText(const QString &uid)
{
    char presented[P2P_FINGERPRINT_SIZE] = {0};
    sdkApi().keyMismatch(uid.toLatin1().constData(), presented, sizeof(presented));
    return tr("设备 %1 出示的密钥不是为它信任的密钥（信任：%2；出示：%3）。连接已被拒绝。"
              "如果设备已重置或更换，请在设备管理中忘记它的密钥。")
        .arg(uid, grouped(Config::instance()->devicePin(uid)),
             grouped(QString::fromLatin1(presented)));
}

void IoConnect::closeSession(Device *d)
{
    // Closing the AV channels and the session makes blocked calls on them
    // return; on a lost session every call fails at once.
    const SdkApi &sdk = sdkApi();
    const int sid = d->sessionId();
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

void IoConnect::reportLinkLost(Device *device, int code)
{
    ORVANE_ASSERT_GUI_THREAD();
    ORVANE_CHECK(device, return );
    // Once per loss: a device without a session has been handled already.
    if (m_core->closing || !serves(device) || device->sessionId() < 0 ||
        !m_dev->devices().contains(device))
        return;
    qWarning().noquote() << QStringLiteral("link to %1 lost: %2 (%3)")
                                .arg(device->uid())
                                .arg(code)
                                .arg(errorText(code));
    QList<QPair<ChannelRef, QSet<unsigned int>>> awaited;
    for (int i = 0; i < channelsOf(device); ++i) {
        Channel *ch = device->channel(i);
        awaited.append({ChannelRef::of(ch), m_replies->expire(ch)});
        m_replies->forget(ch);
    }
    closeSession(device);
    device->setLinkState(Device::LinkState::Offline);
    for (int i = 0; i < channelsOf(device); ++i) {
        Channel *ch = device->channel(i);
        m_talk->drop(ch);
        for (bool live : {true, false}) {
            ch->setVideoOn(false, live);
            ch->setAudioOn(false, live);
            ch->setRxErrorCount(0, live);
            if (!m_linkLost && m_streamReset)
                m_streamReset(ch, live, false);
        }
    }
    if (m_linkLost)
        m_linkLost(device);
    if (requestedChannel(device))
        m_reconnects->scheduleNext(device);
    emit deviceOfflineMsg(device, code, errorText(code));
    for (const auto &[ref, types] : std::as_const(awaited)) {
        if (Channel *ch = ref.resolve(m_dev))
            failAwaited(ch, types, code);
    }
}

void IoConnect::reconnectNow(Device *device)
{
    ORVANE_ASSERT_GUI_THREAD();
    ORVANE_CHECK(device, return );
    if (m_core->closing || !serves(device) || device->linkState() != Device::LinkState::Offline ||
        !m_dev->devices().contains(device))
        return;
    tryReconnect(device);
}

void IoConnect::reconnectDue(Device *d)
{
    if (m_core->closing || d->linkState() != Device::LinkState::Offline || !requestedChannel(d)) {
        m_reconnects->forget(d);
        return;
    }
    tryReconnect(d);
}

void IoConnect::tryReconnect(Device *d)
{
    Channel *ch = requestedChannel(d);
    if (!ch)
        ch = d->channel(0);
    if (!ch || !m_reconnects->beginAttempt(d))
        return; // nothing to connect, or an attempt already runs
    qInfo().noquote() << QStringLiteral("reconnecting %1").arg(d->uid());
    m_connects->requestSession(ChannelRef::of(ch));
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
            m_talk->drop(ch);
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
    TaskContext ctx = TaskContext::of(ch, live);
    ctx.avIndex = av;
    const quint8 number = quint8(ch->index());
    const LinkTaskCorePtr core = m_core;
    m_core->start(ctx.ref.device, [core, ctx, number, before, liveAv, talkAv]() {
        IoTasks::closeAv(core, ctx, number, before, liveAv, talkAv);
    });
    if (live)
        emit videoRequestStopSuccessMsg(ch);
    else
        emit stopReplaySuccessMsg(ch);
}

void IoConnect::closeChannel(Channel *ch)
{
    ORVANE_ASSERT_GUI_THREAD();
    ORVANE_CHECK(ch, return );
    if (!serves(ch->device()))
        return;
    // Playback first: its stop message travels on the live AV channel.
    if (ch->videoOn(false))
        closeSlot(ch, false);
    if (ch->videoOn(true))
        closeSlot(ch, true);
}

void IoConnect::closeDevice(Device *d)
{
    ORVANE_ASSERT_GUI_THREAD();
    ORVANE_CHECK(d, return );
    if (!serves(d))
        return;
    m_reconnects->forget(d);
    const bool wasOffline = d->linkState() == Device::LinkState::Offline;
    d->setLinkState(Device::LinkState::Idle);
    if (d->sessionId() < 0 && !wasOffline)
        return;
    if (d->sessionId() >= 0)
        sdkApi().sessionClose(d->sessionId());
    d->setSessionId(-1);
    const int count = qMin(d->channelCount(), int(d->channels().size()));
    for (int i = 0; i < count; ++i) {
        Channel *ch = d->channel(i);
        m_replies->forget(ch);
        m_talk->drop(ch); // the talk server went with the session
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
    ORVANE_ASSERT_GUI_THREAD();
    ORVANE_CHECK(ch, return );
    closeDevice(ch->device());
}

void IoConnect::resetStream(Channel *ch, bool live, bool restarting)
{
    ORVANE_ASSERT_GUI_THREAD();
    ORVANE_CHECK(ch, return );
    ch->setVideoOn(false, live);
    if (m_streamReset)
        m_streamReset(ch, live, restarting);
    ch->setRxErrorCount(0, live);
}

bool IoConnect::shutdown(int waitMs)
{
    ORVANE_ASSERT_GUI_THREAD();
    if (!m_core->closing.exchange(true)) {
        m_msgTimer->stop();
        // Once removed, no announcement is running or comes any more.
        for (const int av : std::as_const(m_ioWatched))
            sdkApi().setIoCtrlReady(av, nullptr, nullptr);
        m_ioWatched.clear();
        m_connects->stop();
        m_reconnects->clear();
        m_lan->stop();
        // Closing every AV channel and session makes blocked calls return.
        for (Device *d : m_dev->devices()) {
            if (!serves(d))
                continue;
            d->setLinkState(Device::LinkState::Idle);
            if (d->sessionId() >= 0)
                closeSession(d);
        }
    }
    return m_core->waitForTasks(waitMs);
}
