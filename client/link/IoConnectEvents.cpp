// IoConnect's side of the task results: the table that turns them into
// state changes and signals, the few results that need handlers of their own,
// and the device replies.

#include "link/IoConnect.h"

#include "link/ConnectQueue.h"
#include "link/DeviceLinks.h"
#include "link/ErrorText.h"
#include "link/LinkErrors.h"
#include "link/ProgressEvents.h"
#include "link/ReplyWatch.h"
#include "link/TalkControl.h"
#include "model/Channel.h"
#include "model/Dev.h"
#include "model/Device.h"

#include <QDebug>

// What a task result does. A failure (result < 0) emits `failed` with the
// code and its text; a success runs `action` and then emits `succeeded`,
// either of which may be absent. Results of a channel that is gone, closed
// or reopened meanwhile do nothing beyond disarming its IO time-out.
struct IoConnect::ResultRoute
{
    using Action = void (*)(IoConnect &io, Channel *ch, const TaskResultEvent &e);

    int eventType;
    FailureSignal failed;
    Action action = nullptr;
    void (IoConnect::*succeeded)(Channel *) = nullptr;
    bool succeedsAfterFailure = false; // a failure is followed by `succeeded` too
};

const IoConnect::ResultRoute IoConnect::s_routes[] = {
    {LinkEventType::StopStream, &IoConnect::videoRequestStopFailMsg,
     [](IoConnect &io, Channel *ch, const TaskResultEvent &e) {
         const bool restart = static_cast<const ProgressEvent_StopStream &>(e).restart;
         io.resetStream(ch, true, restart);
         if (ch->talking())
             io.audioSendControl(ch, false);
         emit io.videoRequestStopSuccessMsg(ch);
         if (restart)
             io.startVideo(ch);
     }},
    {LinkEventType::StartStream, &IoConnect::videoRequestFailMsg,
     [](IoConnect &, Channel *ch, const TaskResultEvent &) { ch->setVideoOn(true, true); },
     &IoConnect::videoRequestSuccessMsg},
    {LinkEventType::GetReplayVideoTime, &IoConnect::requestReplayVideoTimeFailMsg,
     [](IoConnect &io, Channel *ch, const TaskResultEvent &) {
         io.m_replies->await(ch, IOCTRL_RECORD_LIST_RESP);
     },
     &IoConnect::requestReplayVideoTimeSuccessMsg, true},
    {LinkEventType::PlayReplay, &IoConnect::startReplayControlFailMsg,
     [](IoConnect &io, Channel *ch, const TaskResultEvent &e) {
         io.m_replies->await(ch, IOCTRL_PLAYBACK_CONTROL_RESP);
         if (IoConnect::supportsStartSeek(ch))
             io.changeReplayTime(ch, static_cast<const ProgressEvent_playReplay &>(e).seekOffset);
     }},
    {LinkEventType::PlayReplayIo, &IoConnect::startReplayFailMsg},
    {LinkEventType::StopReplay, &IoConnect::stopReplayFailMsg,
     [](IoConnect &io, Channel *ch, const TaskResultEvent &e) {
         io.closePlaybackSlot(ch);
         emit io.stopReplaySuccessMsg(ch);
         const auto &stop = static_cast<const ProgressEvent_stopReplay &>(e);
         if (stop.restart)
             io.playReplay(ch, stop.restartAt, 0, true, 5);
     }},
    {LinkEventType::ChangeQuality, &IoConnect::changeQualityFailMsg,
     [](IoConnect &io, Channel *ch, const TaskResultEvent &e) {
         io.m_quality = static_cast<const ProgressEvent_changeQuality &>(e).quality ? 1 : 0;
         io.m_replies->await(ch, IOCTRL_QUALITY_SET_RESP);
         io.stopVideo(ch, true);
     }},
    {LinkEventType::AudioControl, &IoConnect::audioControlFailMsg,
     [](IoConnect &io, Channel *ch, const TaskResultEvent &e) {
         ch->setAudioOn(static_cast<const ProgressEvent_audioControl &>(e).on,
                        io.m_liveMode ? io.m_liveMode() : true);
     },
     &IoConnect::audioControlSuccessMsg},
    {LinkEventType::Ptz, &IoConnect::ptzFailMsg, nullptr, &IoConnect::ptzSuccessMsg},
    {LinkEventType::PauseReplay, &IoConnect::pauseReplayFailMsg,
     [](IoConnect &io, Channel *ch, const TaskResultEvent &e) {
         io.resetStream(ch, false);
         emit io.pauseReplaySuccessMsg(ch);
         if (static_cast<const ProgressEvent_pauseReplay &>(e).alsoStopped)
             emit io.stopReplaySuccessMsg(ch);
     }},
    {LinkEventType::StopPauseReplay, &IoConnect::startReplayFailMsg,
     [](IoConnect &, Channel *ch, const TaskResultEvent &) { ch->setVideoOn(true, false); },
     &IoConnect::startReplaySuccessMsg},
    {LinkEventType::SetTime, &IoConnect::setTimeFailMsg, nullptr, &IoConnect::setTimeSuccessMsg},
    // These succeed only with the device's reply (handleReply).
    {LinkEventType::SetTimeZone, &IoConnect::setTimeZoneFailMsg,
     [](IoConnect &io, Channel *ch, const TaskResultEvent &) {
         io.m_replies->await(ch, IOCTRL_TIMEZONE_SET_RESP);
     }},
    {LinkEventType::ChangeReplayTime, &IoConnect::changeReplayTimeFailMsg,
     [](IoConnect &io, Channel *ch, const TaskResultEvent &) {
         io.m_replies->await(ch, IOCTRL_PLAYBACK_SEEK_RESP);
     }},
    {LinkEventType::SetWifi, &IoConnect::setWifiFailMsg,
     [](IoConnect &io, Channel *ch, const TaskResultEvent &) {
         io.m_replies->await(ch, IOCTRL_WIFI_SET_RESP);
     }},
};

const IoConnect::ResultRoute *IoConnect::routeOf(int eventType)
{
    for (const ResultRoute &route : s_routes) {
        if (route.eventType == eventType)
            return &route;
    }
    return nullptr;
}

bool IoConnect::event(QEvent *e)
{
    const int type = int(e->type());
    if (const ResultRoute *route = routeOf(type)) {
        deliverResult(*route, static_cast<const TaskResultEvent &>(*e));
        return true;
    }
    switch (type) {
    case LinkEventType::Connect:
        onConnect(static_cast<const ProgressEvent_Connect &>(*e));
        return true;
    case LinkEventType::GetAvIndex:
        onAvIndex(static_cast<const ProgressEvent_GetAvIndex &>(*e));
        return true;
    case LinkEventType::GetChannelVersion:
        onChannelVersion(static_cast<const TaskResultEvent &>(*e));
        return true;
    case LinkEventType::GetMsg:
        onMessage(static_cast<const ProgressEvent_getMsg &>(*e));
        return true;
    case LinkEventType::IoReady:
        ioArrived(static_cast<const TaskResultEvent &>(*e).result);
        return true;
    case LinkEventType::IoSent:
        static_cast<IoSentEvent *>(e)->deliver(Dev::instance());
        return true;
    case LinkEventType::AudioSendControl:
        m_talk->onControl(static_cast<const ProgressEvent_audioSendControl &>(*e));
        return true;
    case LinkEventType::AudioSendServiceStart:
        m_talk->onServer(static_cast<const ProgressEvent_audioSendServiceStart &>(*e));
        return true;
    case LinkEventType::AudioSendSpeechStart:
        m_talk->onSpeech(static_cast<const ProgressEvent_audioSendSpeechStart &>(*e));
        return true;
    case LinkEventType::LanSearchStart:
        m_lan->onStarted(static_cast<const ProgressEvent_LanSearchStart &>(*e));
        return true;
    case LinkEventType::LanSearch:
        m_lan->onCollected(static_cast<const ProgressEvent_LanSearch &>(*e));
        return true;
    default:
        return QObject::event(e);
    }
}

void IoConnect::deliverResult(const ResultRoute &route, const TaskResultEvent &e)
{
    Channel *ch = m_replies->resultArrived(e.ctx);
    if (!ch)
        return;
    if (e.result < 0) {
        emitFailure(route.failed, ch, e.result);
        if (isLinkLostCode(e.result))
            reportLinkLost(ch->device(), e.result);
        if (!route.succeedsAfterFailure)
            return;
    } else if (route.action) {
        route.action(*this, ch, e);
    }
    if (route.succeeded)
        emit(this->*route.succeeded)(ch);
}

void IoConnect::emitFailure(FailureSignal signal, Channel *ch, int code)
{
    emit(this->*signal)(ch, code, errorText(code));
}

// ---------------------------------------------------------------------------
// Results with handlers of their own

void IoConnect::onConnect(const ProgressEvent_Connect &e)
{
    Channel *ch = e.ref.resolve(m_dev);
    const ConnectQueue::Answer answer = m_connects->answer(e);
    if (answer == ConnectQueue::Answer::Stale)
        return;
    const bool opened = e.result >= 0 && e.sessionId >= 0;
    if (answer == ConnectQueue::Answer::Late) {
        // The watchdog cut this attempt and the queue has moved on: a
        // session made after all is closed again.
        int code = e.result;
        if (opened) {
            sdkApi().sessionClose(e.sessionId);
            code = IOTC_ER_TIMEOUT;
        }
        sessionFailed(ch, code);
        return;
    }
    if (opened && ch && ch->device()->linkState() != Device::LinkState::Idle) {
        sessionOpened(ch, e.sessionId);
    } else if (opened) {
        // The device went away, or was closed on purpose, meanwhile.
        sdkApi().sessionClose(e.sessionId);
    } else {
        sessionFailed(ch, e.result);
    }
    m_connects->finish(e.ref);
}

void IoConnect::onAvIndex(const ProgressEvent_GetAvIndex &e)
{
    Channel *any = e.ctx.ref.resolve(m_dev);
    if (any)
        m_replies->disarm(any);
    if (e.live)
        m_connects->channelStartEnded(e.ctx.ref);
    Channel *ch = (any && any->device()->sessionId() == e.ctx.sessionId) ? any : nullptr;
    if (!ch) {
        // The device was closed or removed meanwhile: nobody owns the index.
        if (e.avIndex >= 0)
            sdkApi().clientStop(e.avIndex);
        if (e.live)
            m_connects->checkChannelsOpen();
        return;
    }
    if (!e.live) {
        if (e.avIndex >= 0) {
            ch->setAvIndex(e.avIndex, false);
            startReceive(ch, false);
            ch->setVideoOn(true, false);
            emit startReplaySuccessMsg(ch);
        } else {
            emitFailure(&IoConnect::startReplayFailMsg, ch, e.avIndex);
        }
    } else if (e.avIndex >= 0) {
        ch->setAvIndex(e.avIndex, true);
        startReceive(ch, true); // from now on its messages are announced
        getChannelVersion(ch);
        return;
    } else {
        qDebug() << "[ERROR]connect channel error:" << e.avIndex << "(" << errorText(e.avIndex)
                 << ");channel:" << ch->index();
        emitFailure(&IoConnect::connectChannelFailMsg, ch, e.avIndex);
        m_connects->checkChannelsOpen();
    }
    if (isLinkLostCode(e.avIndex))
        reportLinkLost(ch->device(), e.avIndex);
}

void IoConnect::onChannelVersion(const TaskResultEvent &e)
{
    // The version answer completes the channel's start, whatever it said.
    if (Channel *ch = m_replies->resultArrived(e.ctx))
        emit connectChannelSuccessMsg(ch);
    m_connects->checkChannelsOpen();
}

void IoConnect::onMessage(const ProgressEvent_getMsg &e)
{
    m_receiving[e.live ? 1 : 0].remove(e.ctx.ref);
    Channel *ch = e.ctx.resolve(m_dev, e.live);
    if (!ch)
        return;
    if (e.result < 0) {
        if (isLinkLostCode(e.result))
            reportLinkLost(ch->device(), e.result);
        return;
    }
    handleReply(ch, e.messageType, e.data);
    // More may wait behind this one (one announcement can stand for several).
    if (e.result > 0)
        startReceive(ch, e.live);
    if (e.live && ch->avIndex(false) >= 0)
        startReceive(ch, false);
}

void IoConnect::handleReply(Channel *ch, unsigned int type, const QByteArray &data)
{
    // Only answers to requests made here count: the version (asked for on
    // every channel start), a busy note while a playback is wanted, and the
    // replies awaited. Anything else the device sends is dropped.
    if (type >= IOCTRL_PLAYBACK_CAPS_RESP && type <= IOCTRL_EXPORT_END) {
        if (m_playbackSink)
            m_playbackSink(ch, type, data);
        return;
    }
    bool asked = m_replies->arrived(ch, type) || type == IOCTRL_VERSION_RESP;
    // The device also ends a playback by itself (end of recording, stop).
    if (type == IOCTRL_PLAYBACK_BUSY || type == IOCTRL_PLAYBACK_CONTROL_RESP)
        asked = asked || ch->viewRequested(false) || ch->avIndex(false) >= 0;
    if (!asked) {
        qInfo().noquote() << QStringLiteral("%1 channel %2: reply 0x%3 nobody asked for, ignored")
                                 .arg(ch->device()->uid())
                                 .arg(ch->index() + 1)
                                 .arg(type, 4, 16, QLatin1Char('0'));
        return;
    }
    switch (type) {
    case IOCTRL_QUALITY_SET_RESP: {
        const std::optional<quint32> result = IoCtrl::readU32(data, 0);
        const std::optional<bool> hd = m_replies->takeQuality(ch);
        if (result && *result == 0) {
            ch->setQuality(hd.value_or(m_quality != 0), true);
            emit changeQualitySuccessMsg(ch);
        } else {
            emit changeQualityFailMsg(ch, 0, tr("The device did not change the quality"));
        }
        return;
    }
    case IOCTRL_RECORD_LIST_RESP:
    case IOCTRL_PLAYBACK_CONTROL_RESP:
        handlePlaybackReply(ch, type, data);
        return;
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
        if (flag && *flag == 1) {
            playbackStartEnded(ch); // refused: a later start is not a second one
            emit DeviceLinks::events()->replayBusyMsg(ch);
            emit startReplayFailMsg(ch, 0, tr("Does not support simultaneous remote playback."));
        }
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
        return;
    }
}
