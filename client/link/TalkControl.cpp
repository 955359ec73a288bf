#include "link/TalkControl.h"

#include "link/ErrorText.h"
#include "link/IoTasks.h"
#include "link/ProgressEvents.h"
#include "link/ReplyWatch.h"
#include "model/Channel.h"

#include <QCoreApplication>

TalkControl::TalkControl(LinkTaskCorePtr core, const Dev *dev, ReplyWatch *replies, QObject *parent)
    : QObject(parent)
    , m_core(std::move(core))
    , m_dev(dev)
    , m_replies(replies)
{}

void TalkControl::setHandler(std::function<bool(Channel *, bool)> handler)
{
    m_handler = std::move(handler);
}

void TalkControl::request(Channel *ch, bool on)
{
    if (m_core->closing)
        return;
    m_replies->arm(ch);
    const TaskContext ctx = TaskContext::of(ch, true);
    // Stopping names the talk channel that was started, not a new one.
    const int talkChannel = on ? -1 : ch->talkChannelId();
    const LinkTaskCorePtr core = m_core;
    m_core->start(ctx.ref.device, [core, ctx, on, talkChannel]() {
        IoTasks::talkControl(core, ctx, on, talkChannel);
    });
}

void TalkControl::drop(Channel *ch)
{
    if (!ch->talking() && ch->talkAvIndex() < 0)
        return;
    ch->setTalking(false);
    ch->setTalkAvIndex(-1);
    ch->setTalkChannelId(-1);
    if (m_handler)
        m_handler(ch, false);
}

void TalkControl::onControl(const ProgressEvent_audioSendControl &e)
{
    Channel *ch = m_replies->resultArrived(e.ctx);
    if (!ch)
        return;
    if (!e.on) {
        // The talk stream ends whatever the device answered.
        stopStream(ch);
        ch->setTalkChannelId(-1);
        if (e.result < 0)
            fail(ch, e.result);
        return;
    }
    if (e.result < 0) {
        fail(ch, e.result);
        return;
    }
    ch->setTalkChannelId(e.talkChannelId);
    const TaskContext ctx = e.ctx;
    const int talkChannel = e.talkChannelId;
    const LinkTaskCorePtr core = m_core;
    m_core->start(ctx.ref.device,
                  [core, ctx, talkChannel]() { IoTasks::talkServer(core, ctx, talkChannel); });
}

void TalkControl::onServer(const ProgressEvent_audioSendServiceStart &e)
{
    Channel *ch = m_replies->resultArrived(e.ctx);
    if (!ch || ch->talkChannelId() != e.talkChannelId) {
        // Talk was stopped or the channel closed meanwhile.
        if (e.talkAvIndex >= 0)
            stopServer(e.ctx.ref.device, e.talkAvIndex);
        return;
    }
    if (e.talkAvIndex < 0) {
        ch->setTalking(false);
        fail(ch, e.talkAvIndex);
        return;
    }
    ch->setTalkAvIndex(e.talkAvIndex);
    const TaskContext ctx = e.ctx;
    const int av = e.talkAvIndex;
    const LinkTaskCorePtr core = m_core;
    m_core->start(ctx.ref.device, [core, ctx, av]() { IoTasks::speechStart(core, ctx, av); });
}

void TalkControl::onSpeech(const ProgressEvent_audioSendSpeechStart &e)
{
    Channel *ch = m_replies->resultArrived(e.ctx);
    if (!ch || ch->talkAvIndex() != e.talkAvIndex)
        return;
    if (e.result >= 0) {
        ch->setTalking(true);
        if (!m_handler || m_handler(ch, true)) {
            emit succeeded(ch);
            return;
        }
    }
    stopStream(ch);
    request(ch, false);
    emit failed(ch, 0, QCoreApplication::translate("IoConnect", "Not Found Input Device."));
}

void TalkControl::stopStream(Channel *ch)
{
    const int av = ch->talkAvIndex();
    ch->setTalkAvIndex(-1);
    ch->setTalking(false);
    if (m_handler)
        m_handler(ch, false);
    if (av >= 0)
        stopServer(ch->device(), av);
}

void TalkControl::stopServer(const void *device, int talkAvIndex)
{
    const LinkTaskCorePtr core = m_core;
    m_core->start(device, [core, talkAvIndex]() { IoTasks::talkStop(core, talkAvIndex); });
}

void TalkControl::fail(Channel *ch, int code)
{
    emit failed(ch, code, errorText(code));
}
