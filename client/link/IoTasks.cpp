#include "link/IoTasks.h"

#include "link/ProgressEvents.h"

#include <QDebug>
#include <QMutexLocker>

namespace IoTasks {

namespace {

// Talk accepts every account and password.
int acceptAll(const char *, char *)
{
    return 1;
}

int sendMessage(int avIndex, ENUM_AVIOCTRL_MSGTYPE type, const QByteArray &payload)
{
    return sdkApi().sendIoCtrl(avIndex, type, payload.constData(), int(payload.size()));
}

} // namespace

void connect(const LinkTaskCorePtr &core, const ChannelRef &ref, const QByteArray &uid,
             const QByteArray &pin, int sid, quint64 attempt)
{
    if (core->closing)
        return;
    sdkApi().setDevicePin(uid.constData(), pin.constData());
    const int result = sdkApi().connectByUid(uid.constData(), sid);
    core->post(new ProgressEvent_Connect(ref, result, sid, attempt));
}

void avStart(const LinkTaskCorePtr &core, const TaskContext &ctx, const QByteArray &account,
             const QByteArray &password, quint8 channel, bool live)
{
    if (core->closing)
        return;
    unsigned int serviceType = 0;
    int resend = 0;
    const int index = sdkApi().clientStart(ctx.sessionId, account.constData(), password.constData(),
                                           5, &serviceType, channel, &resend);
    core->post(new ProgressEvent_GetAvIndex(ctx, index, live));
}

void send(const LinkTaskCorePtr &core, const TaskContext &ctx, ENUM_AVIOCTRL_MSGTYPE type,
          const QByteArray &payload, const ResultEvent &makeEvent)
{
    if (core->closing)
        return;
    core->post(makeEvent(sendMessage(ctx.avIndex, type, payload)));
}

void startVideo(const LinkTaskCorePtr &core, const TaskContext &ctx, int channel)
{
    if (core->closing)
        return;
    sdkApi().cleanBuf(ctx.avIndex);
    int result = sendMessage(ctx.avIndex, IOCTRL_STREAM_PREPARE, IoCtrl::streamPrepare());
    if (result >= 0)
        result = sendMessage(ctx.avIndex, IOCTRL_VIDEO_START, IoCtrl::videoStart(channel));
    core->post(new ProgressEvent_StartStream(ctx, result));
}

void closeAv(const LinkTaskCorePtr &core, const TaskContext &ctx, quint8 channel,
             const QList<IoCtrl::Message> &before, int liveAvIndex, int talkAvIndex)
{
    if (core->closing)
        return;
    for (const IoCtrl::Message &m : before)
        sendMessage(liveAvIndex, m.type, m.payload);
    if (talkAvIndex >= 0)
        sdkApi().servStop(talkAvIndex);
    sdkApi().clientStop(ctx.avIndex);
    sdkApi().clientExit(ctx.sessionId, channel);
}

void receive(const LinkTaskCorePtr &core, const TaskContext &ctx, bool live)
{
    if (core->closing)
        return;
    // Room for the largest message the link carries.
    QByteArray buffer(P2P_MAX_IOCTRL_SIZE, Qt::Uninitialized);
    unsigned int type = 0;
    const int result =
        sdkApi().recvIoCtrl(ctx.avIndex, &type, buffer.data(), int(buffer.size()), 0);
    QByteArray data;
    if (result > 0)
        data = buffer.left(qMin(result, int(buffer.size())));
    core->post(new ProgressEvent_getMsg(ctx, result, type, live, data));
}

void talkControl(const LinkTaskCorePtr &core, const TaskContext &ctx, bool on, int talkChannelId)
{
    if (core->closing)
        return;
    int id = talkChannelId;
    if (on || id < 0)
        id = sdkApi().getFreeChannel(ctx.sessionId);
    int result = id;
    if (id >= 0)
        result = sendMessage(ctx.avIndex, on ? IOCTRL_SPEAKER_START : IOCTRL_SPEAKER_STOP,
                             IoCtrl::speaker(id));
    core->post(new ProgressEvent_audioSendControl(ctx, result, on, id));
}

void talkServer(const LinkTaskCorePtr &core, const TaskContext &ctx, int talkChannelId)
{
    if (core->closing)
        return;
    int resend = 0;
    const int index =
        sdkApi().servStart(ctx.sessionId, acceptAll, 20, 16, quint8(talkChannelId), &resend);
    core->post(new ProgressEvent_audioSendServiceStart(ctx, index, talkChannelId));
}

void speechStart(const LinkTaskCorePtr &core, const TaskContext &ctx, int talkAvIndex)
{
    if (core->closing)
        return;
    const int result = sdkApi().cleanAudioBuf(talkAvIndex);
    qDebug() << "talk start bRet:" << result << " speech channel:" << talkAvIndex;
    unsigned int size = 0;
    const int resendResult = sdkApi().servGetResendSize(talkAvIndex, &size);
    qDebug() << "talk start get resend size:" << resendResult << " resendsize " << size;
    core->post(new ProgressEvent_audioSendSpeechStart(ctx, result, talkAvIndex));
}

void talkStop(const LinkTaskCorePtr &core, int talkAvIndex)
{
    if (core->closing)
        return;
    sdkApi().servStop(talkAvIndex);
}

void lanSearchStart(const LinkTaskCorePtr &core)
{
    if (core->closing)
        return;
    core->post(new ProgressEvent_LanSearchStart(sdkApi().searchStart(5000, 1000)));
}

} // namespace IoTasks
