#pragma once

#include "link/ChannelRef.h"
#include "link/IoCtrl.h"
#include "link/LinkTaskCore.h"

#include <QByteArray>

#include <functional>

class QEvent;

// The background tasks of IoConnect. Each runs on its device's serial
// executor (LinkTaskCore), makes its SDK calls with the values it was given
// (never reading the device model) and posts one event.
// A task that finds the core closing skips its SDK work and posts nothing.
namespace IoTasks {

// Makes the result event of a send from the send's return value.
using ResultEvent = std::function<QEvent *(int result)>;

// Sets the UID's key pin (empty: none kept, the key met is pinned), then
// IOTC_Connect_ByUID_Parallel; posts ProgressEvent_Connect.
void connect(const LinkTaskCorePtr &core, const ChannelRef &ref, const QByteArray &uid,
             const QByteArray &pin, int sid, quint64 attempt);
// avClientStart2; posts ProgressEvent_GetAvIndex.
void avStart(const LinkTaskCorePtr &core, const TaskContext &ctx, const QByteArray &account,
             const QByteArray &password, quint8 channel, bool live);
// One message on ctx.avIndex; posts makeEvent(result).
void send(const LinkTaskCorePtr &core, const TaskContext &ctx, ENUM_AVIOCTRL_MSGTYPE type,
          const QByteArray &payload, const ResultEvent &makeEvent);
// Cleans the AV buffer, sends IOCTRL_STREAM_PREPARE and, only when that
// succeeded, IOCTRL_VIDEO_START; posts ProgressEvent_StartStream.
void startVideo(const LinkTaskCorePtr &core, const TaskContext &ctx, int channel);
// Closes one AV channel of a channel: sends `before` on the live AV index
// (stop messages), stops the talk server when talkAvIndex >= 0, then
// avClientStop(ctx.avIndex) and avClientExit(ctx.sessionId, channel), in that
// order. Posts nothing.
void closeAv(const LinkTaskCorePtr &core, const TaskContext &ctx, quint8 channel,
             const QList<IoCtrl::Message> &before, int liveAvIndex, int talkAvIndex);
// One pending reply of ctx.avIndex (up to P2P_MAX_IOCTRL_SIZE bytes), if
// any; posts ProgressEvent_getMsg.
void receive(const LinkTaskCorePtr &core, const TaskContext &ctx, bool live);
// Speaker start/stop with a free session channel (on) or the given talk
// channel (off, when >= 0); posts ProgressEvent_audioSendControl.
void talkControl(const LinkTaskCorePtr &core, const TaskContext &ctx, bool on, int talkChannelId);
// avServStart3 on talkChannelId; posts ProgressEvent_audioSendServiceStart.
void talkServer(const LinkTaskCorePtr &core, const TaskContext &ctx, int talkChannelId);
// avClientCleanAudioBuf on the talk index; posts ProgressEvent_audioSendSpeechStart.
void speechStart(const LinkTaskCorePtr &core, const TaskContext &ctx, int talkAvIndex);
// avServStop; posts nothing.
void talkStop(const LinkTaskCorePtr &core, int talkAvIndex);
// IOTC_Search_Device_Start(5000, 1000); posts ProgressEvent_LanSearchStart.
void lanSearchStart(const LinkTaskCorePtr &core);

} // namespace IoTasks
