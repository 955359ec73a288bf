#pragma once

#include "link/ChannelRef.h"
#include "link/LinkEventTypes.h"

#include <QByteArray>
#include <QDateTime>
#include <QEvent>

// The events by which IoConnect's background tasks report to the GUI thread.
// Created with new by a task and posted to IoConnect; Qt owns them after
// posting. They carry values only (results, a copy of bytes, the task's
// context), never a pointer into the device model.

// Common shape: a task context and one int result.
#define ORVANE_RESULT_EVENT(Name, EvType)                                                          \
    class Name : public QEvent                                                                     \
    {                                                                                              \
    public:                                                                                        \
        Name(const TaskContext &ctx, int result)                                                   \
            : QEvent(QEvent::Type(EvType))                                                         \
            , ctx(ctx)                                                                             \
            , result(result)                                                                       \
        {}                                                                                         \
        ~Name() override = default;                                                                \
        const TaskContext ctx;                                                                     \
        const int result;                                                                          \
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
    ~ProgressEvent_Connect() override = default;
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
    ~ProgressEvent_LanSearch() override = default;
    const int count;
    const QByteArray entries;
};

class ProgressEvent_StopStream : public QEvent
{
public:
    ProgressEvent_StopStream(const TaskContext &ctx, int result, bool restart)
        : QEvent(QEvent::Type(LinkEventType::StopStream))
        , ctx(ctx)
        , result(result)
        , restart(restart)
    {}
    ~ProgressEvent_StopStream() override = default;
    const TaskContext ctx;
    const int result;
    const bool restart;
};

ORVANE_RESULT_EVENT(ProgressEvent_StartStream, LinkEventType::StartStream)
ORVANE_RESULT_EVENT(ProgressEvent_getReplayVideoTime, LinkEventType::GetReplayVideoTime)

class ProgressEvent_GetAvIndex : public QEvent
{
public:
    ProgressEvent_GetAvIndex(const TaskContext &ctx, int avIndex, bool live)
        : QEvent(QEvent::Type(LinkEventType::GetAvIndex))
        , ctx(ctx)
        , avIndex(avIndex)
        , live(live)
    {}
    ~ProgressEvent_GetAvIndex() override = default;
    const TaskContext ctx;
    const int avIndex; // the new AV index, or an error code
    const bool live;
};

class ProgressEvent_playReplay : public QEvent
{
public:
    ProgressEvent_playReplay(const TaskContext &ctx, int result, const QByteArray &payload,
                             int seekOffset)
        : QEvent(QEvent::Type(LinkEventType::PlayReplay))
        , ctx(ctx)
        , result(result)
        , payload(payload)
        , seekOffset(seekOffset)
    {}
    ~ProgressEvent_playReplay() override = default;
    const TaskContext ctx;
    const int result;
    const QByteArray payload; // the 24-byte playback-control payload sent
    const int seekOffset;
};

ORVANE_RESULT_EVENT(ProgressEvent_playReplayIo, LinkEventType::PlayReplayIo)

class ProgressEvent_stopReplay : public QEvent
{
public:
    ProgressEvent_stopReplay(const TaskContext &ctx, int result, bool restart,
                             const QDateTime &restartAt)
        : QEvent(QEvent::Type(LinkEventType::StopReplay))
        , ctx(ctx)
        , result(result)
        , restart(restart)
        , restartAt(restartAt)
    {}
    ~ProgressEvent_stopReplay() override = default;
    const TaskContext ctx;
    const int result;
    const bool restart;
    const QDateTime restartAt;
};

class ProgressEvent_changeQuality : public QEvent
{
public:
    ProgressEvent_changeQuality(const TaskContext &ctx, int result, bool quality)
        : QEvent(QEvent::Type(LinkEventType::ChangeQuality))
        , ctx(ctx)
        , result(result)
        , quality(quality)
    {}
    ~ProgressEvent_changeQuality() override = default;
    const TaskContext ctx;
    const int result;
    const bool quality;
};

class ProgressEvent_audioControl : public QEvent
{
public:
    ProgressEvent_audioControl(const TaskContext &ctx, int result, bool on)
        : QEvent(QEvent::Type(LinkEventType::AudioControl))
        , ctx(ctx)
        , result(result)
        , on(on)
    {}
    ~ProgressEvent_audioControl() override = default;
    const TaskContext ctx;
    const int result;
    const bool on;
};

ORVANE_RESULT_EVENT(ProgressEvent_ptz, LinkEventType::Ptz)

class ProgressEvent_getMsg : public QEvent
{
public:
    ProgressEvent_getMsg(const TaskContext &ctx, int result, unsigned int messageType, bool live,
                         const QByteArray &data)
        : QEvent(QEvent::Type(LinkEventType::GetMsg))
        , ctx(ctx)
        , result(result)
        , messageType(messageType)
        , live(live)
        , data(data)
    {}
    ~ProgressEvent_getMsg() override = default;
    const TaskContext ctx;
    const int result;
    const unsigned int messageType;
    const bool live;
    const QByteArray data; // the received bytes (result bytes when result >= 0)
};

class ProgressEvent_audioSendControl : public QEvent
{
public:
    ProgressEvent_audioSendControl(const TaskContext &ctx, int result, bool on, int talkChannelId)
        : QEvent(QEvent::Type(LinkEventType::AudioSendControl))
        , ctx(ctx)
        , result(result)
        , on(on)
        , talkChannelId(talkChannelId)
    {}
    ~ProgressEvent_audioSendControl() override = default;
    const TaskContext ctx;
    const int result;
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
    ~ProgressEvent_audioSendServiceStart() override = default;
    const TaskContext ctx;
    const int talkAvIndex; // or an error code
    const int talkChannelId;
};

class ProgressEvent_audioSendSpeechStart : public QEvent
{
public:
    ProgressEvent_audioSendSpeechStart(const TaskContext &ctx, int result, int talkAvIndex)
        : QEvent(QEvent::Type(LinkEventType::AudioSendSpeechStart))
        , ctx(ctx)
        , result(result)
        , talkAvIndex(talkAvIndex)
    {}
    ~ProgressEvent_audioSendSpeechStart() override = default;
    const TaskContext ctx;
    const int result;
    const int talkAvIndex;
};

class ProgressEvent_LanSearchStart : public QEvent
{
public:
    explicit ProgressEvent_LanSearchStart(int result)
        : QEvent(QEvent::Type(LinkEventType::LanSearchStart))
        , result(result)
    {}
    ~ProgressEvent_LanSearchStart() override = default;
    const int result;
};

ORVANE_RESULT_EVENT(ProgressEvent_getChannelVersion, LinkEventType::GetChannelVersion)

class ProgressEvent_pauseReplay : public QEvent
{
public:
    ProgressEvent_pauseReplay(const TaskContext &ctx, int result, bool alsoStopped)
        : QEvent(QEvent::Type(LinkEventType::PauseReplay))
        , ctx(ctx)
        , result(result)
        , alsoStopped(alsoStopped)
    {}
    ~ProgressEvent_pauseReplay() override = default;
    const TaskContext ctx;
    const int result;
    const bool alsoStopped;
};

ORVANE_RESULT_EVENT(ProgressEvent_stopPauseReplay, LinkEventType::StopPauseReplay)
ORVANE_RESULT_EVENT(ProgressEvent_setTime, LinkEventType::SetTime)
ORVANE_RESULT_EVENT(ProgressEvent_setTimeZone, LinkEventType::SetTimeZone)
ORVANE_RESULT_EVENT(ProgressEvent_changeReplayTime, LinkEventType::ChangeReplayTime)
ORVANE_RESULT_EVENT(ProgressEvent_setWifi, LinkEventType::SetWifi)

#undef ORVANE_RESULT_EVENT
