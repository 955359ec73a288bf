#pragma once

#include "link/ChannelRef.h"
#include "link/LinkEventTypes.h"

#include <QByteArray>
#include <QDateTime>
#include <QEvent>

#include <functional>

// The events by which IoConnect's background tasks report to the GUI thread.
// Created with new by a task and posted to IoConnect; Qt owns them after
// posting. They carry values only (results, a copy of bytes, the task's
// context), never a pointer into the device model.

// What most tasks report: the context they ran with and one result (a
// negative SDK error code on failure).
class TaskResultEvent : public QEvent
{
public:
    TaskResultEvent(int type, const TaskContext &ctx, int result)
        : QEvent(QEvent::Type(type))
        , ctx(ctx)
        , result(result)
    {}
    const TaskContext ctx;
    const int result;
};

// A task result with nothing more to carry.
template <int EvType> class PlainTaskResult : public TaskResultEvent
{
public:
    PlainTaskResult(const TaskContext &ctx, int result)
        : TaskResultEvent(EvType, ctx, result)
    {}
};

// The outcome of IoConnect::sendIoCtrl: done runs for the channel the
// message went to, unless it was closed or reopened meanwhile.
class IoSentEvent : public TaskResultEvent
{
public:
    IoSentEvent(const TaskContext &ctx, int result, std::function<void(Channel *, int)> done)
        : TaskResultEvent(LinkEventType::IoSent, ctx, result)
        , m_done(std::move(done))
    {}
    void deliver(const Dev *registry) const
    {
        if (!m_done)
            return;
        if (Channel *ch = ctx.resolve(registry, true))
            m_done(ch, result);
    }

private:
    std::function<void(Channel *, int)> m_done;
};

class ProgressEvent_Connect : public QEvent
{
public:
    ProgressEvent_Connect(const ChannelRef &ref, int result, int sessionId, quint64 attempt)
        : QEvent(QEvent::Type(LinkEventType::Connect))
        , ref(ref)
        , result(result)
        , sessionId(sessionId)
        , attempt(attempt)
    {}
    const ChannelRef ref;
    const int result;
    const int sessionId;
    const quint64 attempt; // which connect attempt this answers
};

class ProgressEvent_LanSearch : public QEvent
{
public:
    // entries: a copy of the first count result entries of the SDK.
    ProgressEvent_LanSearch(int count, const QByteArray &entries)
        : QEvent(QEvent::Type(LinkEventType::LanSearch))
        , count(count)
        , entries(entries)
    {}
    const int count;
    const QByteArray entries;
};

class ProgressEvent_StopStream : public TaskResultEvent
{
public:
    ProgressEvent_StopStream(const TaskContext &ctx, int result, bool restart)
        : TaskResultEvent(LinkEventType::StopStream, ctx, result)
        , restart(restart)
    {}
    const bool restart;
};

using ProgressEvent_StartStream = PlainTaskResult<LinkEventType::StartStream>;
using ProgressEvent_getReplayVideoTime = PlainTaskResult<LinkEventType::GetReplayVideoTime>;

class ProgressEvent_GetAvIndex : public QEvent
{
public:
    ProgressEvent_GetAvIndex(const TaskContext &ctx, int avIndex, bool live)
        : QEvent(QEvent::Type(LinkEventType::GetAvIndex))
        , ctx(ctx)
        , avIndex(avIndex)
        , live(live)
    {}
    const TaskContext ctx;
    const int avIndex; // the new AV index, or an error code
    const bool live;
};

class ProgressEvent_playReplay : public TaskResultEvent
{
public:
    ProgressEvent_playReplay(const TaskContext &ctx, int result, const QByteArray &payload,
                             int seekOffset)
        : TaskResultEvent(LinkEventType::PlayReplay, ctx, result)
        , payload(payload)
        , seekOffset(seekOffset)
    {}
    const QByteArray payload; // the 24-byte playback-control payload sent
    const int seekOffset;
};

using ProgressEvent_playReplayIo = PlainTaskResult<LinkEventType::PlayReplayIo>;

class ProgressEvent_stopReplay : public TaskResultEvent
{
public:
    ProgressEvent_stopReplay(const TaskContext &ctx, int result, bool restart,
                             const QDateTime &restartAt)
        : TaskResultEvent(LinkEventType::StopReplay, ctx, result)
        , restart(restart)
        , restartAt(restartAt)
    {}
    const bool restart;
    const QDateTime restartAt;
};

class ProgressEvent_changeQuality : public TaskResultEvent
{
public:
    ProgressEvent_changeQuality(const TaskContext &ctx, int result, bool quality)
        : TaskResultEvent(LinkEventType::ChangeQuality, ctx, result)
        , quality(quality)
    {}
    const bool quality;
};

class ProgressEvent_audioControl : public TaskResultEvent
{
public:
    ProgressEvent_audioControl(const TaskContext &ctx, int result, bool on)
        : TaskResultEvent(LinkEventType::AudioControl, ctx, result)
        , on(on)
    {}
    const bool on;
};

using ProgressEvent_ptz = PlainTaskResult<LinkEventType::Ptz>;
// An IO control message waits on the AV index in result (no channel named).
using ProgressEvent_ioReady = PlainTaskResult<LinkEventType::IoReady>;

class ProgressEvent_getMsg : public TaskResultEvent
{
public:
    ProgressEvent_getMsg(const TaskContext &ctx, int result, unsigned int messageType, bool live,
                         const QByteArray &data)
        : TaskResultEvent(LinkEventType::GetMsg, ctx, result)
        , messageType(messageType)
        , live(live)
        , data(data)
    {}
    const unsigned int messageType;
    const bool live;
    const QByteArray data; // the received bytes (result bytes when result >= 0)
};

class ProgressEvent_audioSendControl : public TaskResultEvent
{
public:
    ProgressEvent_audioSendControl(const TaskContext &ctx, int result, bool on, int talkChannelId)
        : TaskResultEvent(LinkEventType::AudioSendControl, ctx, result)
        , on(on)
        , talkChannelId(talkChannelId)
    {}
    const bool on;
    const int talkChannelId; // the free session channel the message named
};

class ProgressEvent_audioSendServiceStart : public QEvent
{
public:
    ProgressEvent_audioSendServiceStart(const TaskContext &ctx, int talkAvIndex, int talkChannelId)
        : QEvent(QEvent::Type(LinkEventType::AudioSendServiceStart))
        , ctx(ctx)
        , talkAvIndex(talkAvIndex)
        , talkChannelId(talkChannelId)
    {}
    const TaskContext ctx;
    const int talkAvIndex; // or an error code
    const int talkChannelId;
};

class ProgressEvent_audioSendSpeechStart : public TaskResultEvent
{
public:
    ProgressEvent_audioSendSpeechStart(const TaskContext &ctx, int result, int talkAvIndex)
        : TaskResultEvent(LinkEventType::AudioSendSpeechStart, ctx, result)
        , talkAvIndex(talkAvIndex)
    {}
    const int talkAvIndex;
};

class ProgressEvent_LanSearchStart : public QEvent
{
public:
    explicit ProgressEvent_LanSearchStart(int result)
        : QEvent(QEvent::Type(LinkEventType::LanSearchStart))
        , result(result)
    {}
    const int result;
};

using ProgressEvent_getChannelVersion = PlainTaskResult<LinkEventType::GetChannelVersion>;

class ProgressEvent_pauseReplay : public TaskResultEvent
{
public:
    ProgressEvent_pauseReplay(const TaskContext &ctx, int result, bool alsoStopped)
        : TaskResultEvent(LinkEventType::PauseReplay, ctx, result)
        , alsoStopped(alsoStopped)
    {}
    const bool alsoStopped;
};

using ProgressEvent_stopPauseReplay = PlainTaskResult<LinkEventType::StopPauseReplay>;
using ProgressEvent_setTime = PlainTaskResult<LinkEventType::SetTime>;
using ProgressEvent_setTimeZone = PlainTaskResult<LinkEventType::SetTimeZone>;
using ProgressEvent_changeReplayTime = PlainTaskResult<LinkEventType::ChangeReplayTime>;
using ProgressEvent_setWifi = PlainTaskResult<LinkEventType::SetWifi>;
