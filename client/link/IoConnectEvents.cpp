// IoConnect's side of the task results: the event-to-signal table and the
// handling of device replies.

#include "link/IoConnect.h"

#include "link/ErrorText.h"
#include "link/IoTasks.h"
#include "link/ProgressEvents.h"
#include "model/Channel.h"
#include "model/Dev.h"
#include "model/Device.h"

#include <QDebug>
#include <QTimer>

void IoConnect::emitFailure(void (IoConnect::*signal)(Channel *, int, QString), Channel *ch,
                            int code)
{
    emit(this->*signal)(ch, code, errorText(code));
}

bool IoConnect::event(QEvent *e)
{
    // Disarms the channel's IO time-out and returns the channel when the
    // result still belongs to it.
    const auto take = [this](const TaskContext &ctx) -> Channel * {
        if (Channel *any = ctx.ref.resolve(m_dev))
            disarmIoTimeout(any);
        return liveChannel(ctx, true);
    };

    switch (int(e->type())) {
    case LinkEventType::Connect:
        onConnect(static_cast<ProgressEvent_Connect *>(e));
        return true;
    case LinkEventType::LanSearch:
        onLanSearch(static_cast<ProgressEvent_LanSearch *>(e));
        return true;
    case LinkEventType::StopStream: {
        auto *ev = static_cast<ProgressEvent_StopStream *>(e);
        Channel *ch = take(ev->ctx);
        if (!ch)
            return true;
        if (ev->result < 0) {
            emitFailure(&IoConnect::videoRequestStopFailMsg, ch, ev->result);
            return true;
        }
        resetStream(ch, true);
        if (ch->talking())
            audioSendControl(ch, false);
        emit videoRequestStopSuccessMsg(ch);
        if (ev->restart)
            startVideo(ch);
        return true;
    }
    case LinkEventType::StartStream: {
        auto *ev = static_cast<ProgressEvent_StartStream *>(e);
        Channel *ch = take(ev->ctx);
        if (!ch)
            return true;
        if (ev->result < 0) {
            emitFailure(&IoConnect::videoRequestFailMsg, ch, ev->result);
            return true;
        }
        ch->setVideoOn(true, true);
        emit videoRequestSuccessMsg(ch);
        return true;
    }
    case LinkEventType::GetReplayVideoTime: {
        auto *ev = static_cast<ProgressEvent_getReplayVideoTime *>(e);
        Channel *ch = take(ev->ctx);
        if (!ch)
            return true;
        if (ev->result < 0)
            emitFailure(&IoConnect::requestReplayVideoTimeFailMsg, ch, ev->result);
        emit requestReplayVideoTimeSuccessMsg(ch);
        return true;
    }
    case LinkEventType::GetAvIndex:
        onAvIndex(static_cast<ProgressEvent_GetAvIndex *>(e));
        return true;
    case LinkEventType::PlayReplay: {
        auto *ev = static_cast<ProgressEvent_playReplay *>(e);
        Channel *ch = take(ev->ctx);
        if (ch && ev->result < 0)
            emitFailure(&IoConnect::startReplayControlFailMsg, ch, ev->result);
        return true;
    }
    case LinkEventType::PlayReplayIo: {
        auto *ev = static_cast<ProgressEvent_playReplayIo *>(e);
        Channel *ch = take(ev->ctx);
        if (ch && ev->result < 0)
            emitFailure(&IoConnect::startReplayFailMsg, ch, ev->result);
        return true;
    }
    case LinkEventType::StopReplay: {
        auto *ev = static_cast<ProgressEvent_stopReplay *>(e);
        Channel *ch = take(ev->ctx);
        if (!ch)
            return true;
        if (ev->result < 0) {
            emitFailure(&IoConnect::stopReplayFailMsg, ch, ev->result);
            return true;
        }
        if (ch->avIndex(false) >= 0) {
            m_core->sdk.clientStop(ch->avIndex(false));
            ch->setAvIndex(-1, false);
        }
        resetStream(ch, false);
        emit stopReplaySuccessMsg(ch);
        return true;
    }
    case LinkEventType::ChangeQuality: {
        auto *ev = static_cast<ProgressEvent_changeQuality *>(e);
        Channel *ch = take(ev->ctx);
        if (!ch)
            return true;
        if (ev->result < 0) {
            emitFailure(&IoConnect::changeQualityFailMsg, ch, ev->result);
            return true;
        }
        m_quality = ev->quality ? 1 : 0;
        awaitReply(ch, IOCTRL_QUALITY_SET_RESP);
        stopVideo(ch, true);
        return true;
    }
    case LinkEventType::AudioControl: {
        auto *ev = static_cast<ProgressEvent_audioControl *>(e);
        Channel *ch = take(ev->ctx);
        if (!ch)
            return true;
        if (ev->result < 0) {
            qDebug() << "audioControlFailMsg";
            emitFailure(&IoConnect::audioControlFailMsg, ch, ev->result);
            return true;
        }
        ch->setAudioOn(ev->on, m_liveMode ? m_liveMode() : true);
        qDebug() << "audioControlSuccessMsg";
        emit audioControlSuccessMsg(ch);
        return true;
    }
    case LinkEventType::Ptz: {
        auto *ev = static_cast<ProgressEvent_ptz *>(e);
        Channel *ch = take(ev->ctx);
        if (!ch)
            return true;
        if (ev->result < 0)
            emitFailure(&IoConnect::ptzFailMsg, ch, ev->result);
        else
            emit ptzSuccessMsg(ch);
        return true;
    }
    case LinkEventType::GetMsg:
        onMessage(static_cast<ProgressEvent_getMsg *>(e));
        return true;
    case LinkEventType::AudioSendControl:
        onTalkControl(static_cast<ProgressEvent_audioSendControl *>(e));
        return true;
    case LinkEventType::AudioSendServiceStart:
        onTalkServer(static_cast<ProgressEvent_audioSendServiceStart *>(e));
        return true;
    case LinkEventType::AudioSendSpeechStart:
        onSpeechStart(static_cast<ProgressEvent_audioSendSpeechStart *>(e));
        return true;
    case LinkEventType::LanSearchStart:
        onLanSearchStart(static_cast<ProgressEvent_LanSearchStart *>(e));
        return true;
    case LinkEventType::GetChannelVersion: {
        auto *ev = static_cast<ProgressEvent_getChannelVersion *>(e);
        Channel *ch = take(ev->ctx);
        if (!ch) {
            checkAvStartsDone();
            return true;
        }
        emit connectChannelSuccessMsg(ch);
        checkAvStartsDone();
        return true;
    }
    case LinkEventType::PauseReplay: {
        auto *ev = static_cast<ProgressEvent_pauseReplay *>(e);
        Channel *ch = take(ev->ctx);
        if (!ch)
            return true;
        if (ev->result < 0) {
            emitFailure(&IoConnect::pauseReplayFailMsg, ch, ev->result);
            return true;
        }
        resetStream(ch, false);
        emit pauseReplaySuccessMsg(ch);
        if (ev->alsoStopped)
            emit stopReplaySuccessMsg(ch);
        return true;
    }
    case LinkEventType::StopPauseReplay: {
        auto *ev = static_cast<ProgressEvent_stopPauseReplay *>(e);
        Channel *ch = take(ev->ctx);
        if (!ch)
            return true;
        if (ev->result < 0) {
            emitFailure(&IoConnect::startReplayFailMsg, ch, ev->result);
            return true;
        }
        ch->setVideoOn(true, false);
        emit startReplaySuccessMsg(ch);
        return true;
    }
    case LinkEventType::SetTime: {
        auto *ev = static_cast<ProgressEvent_setTime *>(e);
        Channel *ch = take(ev->ctx);
        if (!ch)
            return true;
        if (ev->result < 0)
            emitFailure(&IoConnect::setTimeFailMsg, ch, ev->result);
        else
            emit setTimeSuccessMsg(ch);
        return true;
    }
    case LinkEventType::SetTimeZone: {
        auto *ev = static_cast<ProgressEvent_setTimeZone *>(e);
        Channel *ch = take(ev->ctx);
        if (ch && ev->result < 0)
            emitFailure(&IoConnect::setTimeZoneFailMsg, ch, ev->result);
        else if (ch)
            awaitReply(ch, IOCTRL_TIMEZONE_SET_RESP);
        return true;
    }
    case LinkEventType::ChangeReplayTime: {
        auto *ev = static_cast<ProgressEvent_changeReplayTime *>(e);
        Channel *ch = take(ev->ctx);
        if (ch && ev->result < 0)
            emitFailure(&IoConnect::changeReplayTimeFailMsg, ch, ev->result);
        else if (ch)
            awaitReply(ch, IOCTRL_PLAYBACK_SEEK_RESP);
        return true;
    }
    case LinkEventType::SetWifi: {
        auto *ev = static_cast<ProgressEvent_setWifi *>(e);
        Channel *ch = take(ev->ctx);
        if (ch && ev->result < 0)
            emitFailure(&IoConnect::setWifiFailMsg, ch, ev->result);
        else if (ch)
            awaitReply(ch, IOCTRL_WIFI_SET_RESP);
        return true;
    }
    default:
        return QObject::event(e);
    }
}

// ---------------------------------------------------------------------------
// Replies

void IoConnect::onMessage(ProgressEvent_getMsg *e)
{
    m_receiving[e->live ? 1 : 0].remove(e->ctx.ref);
    Channel *ch = liveChannel(e->ctx, e->live);
    if (!ch || e->result < 0)
        return;
    handleReply(ch, e->messageType, e->data);
    if (e->live && ch->avIndex(false) >= 0)
        startReceive(ch, false);
}

void IoConnect::handleReply(Channel *ch, unsigned int type, const QByteArray &data)
{
    replyArrived(ch, type);
    switch (type) {
    case IOCTRL_QUALITY_SET_RESP: {
        const std::optional<quint32> result = IoCtrl::readU32(data, 0);
        if (!result || *result != 0)
            return;
        const ChannelRef ref = ChannelRef::of(ch);
        const bool hd =
            m_pendingQuality.contains(ref) ? m_pendingQuality.take(ref) : m_quality != 0;
        ch->setQuality(hd, true);
        emit changeQualitySuccessMsg(ch);
        return;
    }
    case IOCTRL_PLAYBACK_SEEK_RESP: {
        const std::optional<quint8> result = IoCtrl::readU8(data, 0);
        if (result && *result == 0)
            emit changeReplayTimeSuccessMsg(ch);
        else
            emit changeReplayTimeFailMsg(ch, 0, tr("Playback video data does not exist."));
        return;
    }
    case IOCTRL_WIFI_SET_RESP: {
        const std::optional<quint32> result = IoCtrl::readU32(data, 0);
        if (result && *result == 0)
            emit setWifiSuccessMsg(ch);
        else
            emit setWifiFailMsg(ch, 0, tr("Failed to configure wireless network"));
        return;
    }
    case IOCTRL_PLAYBACK_BUSY: {
        const std::optional<quint8> flag = IoCtrl::readU8(data, 4);
        if (flag && *flag == 1)
            emit startReplayFailMsg(ch, 0, tr("Does not support simultaneous remote playback."));
        return;
    }
    case IOCTRL_VERSION_RESP: {
        QByteArray record = data.left(IoCtrl::VersionSize);
        record.append(QByteArray(IoCtrl::VersionSize - record.size(), '\0'));
        ch->setVersionInfo(record.constData());
        emit getChannelInfoMsg(ch);
        return;
    }
    case IOCTRL_TIMEZONE_SET_RESP: {
        const std::optional<quint32> result = IoCtrl::readU32(data, 0);
        if (result && *result == 1)
            emit setTimeZoneSuccessMsg(ch);
        else
            emit setTimeZoneFailMsg(ch, 0, tr("设备无法修改时区"));
        return;
    }
    default:
        qDebug() << "msgTask:" << type;
        return;
    }
}

// ---------------------------------------------------------------------------
// Talk sequence

void IoConnect::onTalkControl(ProgressEvent_audioSendControl *e)
{
    Channel *any = e->ctx.ref.resolve(m_dev);
    if (any)
        disarmIoTimeout(any);
    Channel *ch = liveChannel(e->ctx, true);
    if (!ch)
        return;
    if (!e->on) {
        // The talk stream ends whatever the device answered.
        startTalkStop(ch);
        ch->setTalkChannelId(-1);
        if (e->result < 0)
            emitFailure(&IoConnect::audioSendControlFailMsg, ch, e->result);
        return;
    }
    if (e->result < 0) {
        emitFailure(&IoConnect::audioSendControlFailMsg, ch, e->result);
        return;
    }
    ch->setTalkChannelId(e->talkChannelId);
    const TaskContext ctx = e->ctx;
    const int talkChannel = e->talkChannelId;
    const LinkTaskCorePtr core = m_core;
    m_core->start([core, ctx, talkChannel]() { IoTasks::talkServer(core, ctx, talkChannel); });
}

void IoConnect::onTalkServer(ProgressEvent_audioSendServiceStart *e)
{
    Channel *any = e->ctx.ref.resolve(m_dev);
    if (any)
        disarmIoTimeout(any);
    Channel *ch = liveChannel(e->ctx, true);
    if (!ch || ch->talkChannelId() != e->talkChannelId) {
        // Talk was stopped or the channel closed meanwhile.
        if (e->talkAvIndex >= 0) {
            const LinkTaskCorePtr core = m_core;
            const int av = e->talkAvIndex;
            m_core->start([core, av]() { IoTasks::talkStop(core, av); });
        }
        return;
    }
    if (e->talkAvIndex < 0) {
        ch->setTalking(false);
        emitFailure(&IoConnect::audioSendControlFailMsg, ch, e->talkAvIndex);
        return;
    }
    ch->setTalkAvIndex(e->talkAvIndex);
    const TaskContext ctx = e->ctx;
    const int av = e->talkAvIndex;
    const LinkTaskCorePtr core = m_core;
    m_core->start([core, ctx, av]() { IoTasks::speechStart(core, ctx, av); });
}

void IoConnect::onSpeechStart(ProgressEvent_audioSendSpeechStart *e)
{
    Channel *any = e->ctx.ref.resolve(m_dev);
    if (any)
        disarmIoTimeout(any);
    Channel *ch = liveChannel(e->ctx, true);
    if (!ch || ch->talkAvIndex() != e->talkAvIndex)
        return;
    if (e->result < 0) {
        startTalkStop(ch);
        audioSendControl(ch, false);
        emit audioSendControlFailMsg(ch, 0, tr("Not Found Input Device."));
        return;
    }
    ch->setTalking(true);
    if (m_talk)
        m_talk(ch, true);
    emit audioSendControlSuccessMsg(ch);
}

// ---------------------------------------------------------------------------
// LAN search

void IoConnect::onLanSearchStart(ProgressEvent_LanSearchStart *e)
{
    if (e->result == IOTC_ER_NOT_INITIALIZED && !m_lanRetried) {
        m_lanRetried = true;
        const int r = m_core->sdk.initialize(0);
        if (r < 0) {
            emit startLANSearchFailMsg(r, errorText(r));
            return;
        }
        m_core->sdk.avInit(4096);
        m_sdkStarted = true;
        startLanTask();
        return;
    }
    if (e->result >= 0) {
        m_lanSearchTimer->start(LanSearchCollectMs);
        return;
    }
    emit startLANSearchFailMsg(e->result, errorText(e->result));
}

void IoConnect::onLanSearch(ProgressEvent_LanSearch *e)
{
    if (e->count < 0) {
        emit startLANSearchFailMsg(e->count, errorText(e->count));
        return;
    }
    m_lanResults = LanSearchResult::fromEntries(e->entries, e->count);
    emit startLANSearchSuccessMsg();
}
