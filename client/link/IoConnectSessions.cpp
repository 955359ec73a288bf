// IoConnect's side of device sessions once an attempt has answered: a session
// that opens, an attempt that fails, a session that is lost, and the
// attempts that bring a lost device back.

#include "link/IoConnect.h"

#include "diagnostics/Checks.h"
#include "link/ConnectQueue.h"
#include "link/ErrorText.h"
#include "link/ReconnectSchedule.h"
#include "link/ReplyWatch.h"
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
    if (d->linkState() != Device::LinkState::Offline) {
        qDebug() << "Connect Device error uid:" << d->uid() << " bRet:" << code;
        if (d->linkState() == Device::LinkState::Connecting)
            d->setLinkState(Device::LinkState::Idle);
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
    if (m_core->closing || device->sessionId() < 0 || !m_dev->devices().contains(device))
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
                m_streamReset(ch, live);
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
    if (m_core->closing || device->linkState() != Device::LinkState::Offline ||
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
