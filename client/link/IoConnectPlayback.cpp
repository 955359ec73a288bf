// IoConnect's remote playback: the record list of a day, start, pause,
// resume, seek and stop, and the device's answers to them.

#include "link/IoConnect.h"

#include "diagnostics/Checks.h"
#include "link/IoTasks.h"
#include "link/PlaybackRecords.h"
#include "link/ProgressEvents.h"
#include "link/ReplyWatch.h"
#include "link/SdkApi.h"
#include "model/Channel.h"
#include "model/Device.h"

#include <QDebug>

namespace {

QString versionOf(const Channel *ch)
{
    return ch ? ch->versionText() : QString();
}

} // namespace

bool IoConnect::isLegacyPlayback(const Channel *ch)
{
    return !ch || PlaybackRecords::isLegacyPlayback(versionOf(ch));
}

bool IoConnect::supportsStartSeek(const Channel *ch)
{
    return !ch || PlaybackRecords::supportsStartSeek(versionOf(ch));
}

void IoConnect::getReplayVideoTime(Channel *ch, const QDate &day)
{
    ORVANE_ASSERT_GUI_THREAD();
    ORVANE_CHECK(ch, return );
    if (ch->recordListReady() && ch->recordListDay() == day) {
        const QList<QList<int>> items = ch->recordTimes();
        if (items.isEmpty())
            emit receiveVideoTimeEmptyMsg(ch, 0, QStringLiteral("no record has been found"));
        for (const QList<int> &item : items)
            emit receiveVideoTimeMsg(ch, item);
        return;
    }
    ch->clearRecordTimes();
    ch->setRecordListReady(false);
    m_recordListAsked.insert(ChannelRef::of(ch), day);
    sendMessage(
        ch, IOCTRL_RECORD_LIST_REQ, IoCtrl::recordListRequest(ch->index(), day),
        [](const TaskContext &ctx, int r) { return new ProgressEvent_getReplayVideoTime(ctx, r); });
}

void IoConnect::playReplay(Channel *ch, const QDateTime &start, int seekOffset, bool startFlag,
                           int recordType)
{
    ORVANE_ASSERT_GUI_THREAD();
    ORVANE_CHECK(ch && start.isValid(), return );
    if (refuse(ch, &IoConnect::startReplayFailMsg))
        return;
    // A second start while one is opening would open a second playback
    // channel beside the first.
    const ChannelRef ref = ChannelRef::of(ch);
    if (!m_clock.isValid())
        m_clock.start();
    const auto opening = m_playbackOpening.constFind(ref);
    if (opening != m_playbackOpening.constEnd() && m_clock.elapsed() - *opening < ioTimeoutMs()) {
        qInfo().noquote() << QStringLiteral("%1 channel %2: playback already starting")
                                 .arg(ch->device()->uid())
                                 .arg(ch->index() + 1);
        return;
    }
    m_playbackOpening.insert(ref, m_clock.elapsed());
    ch->setWaitKeyFrame(true, false);
    ch->setReplayDateTime(start);
    const QByteArray payload = IoCtrl::playbackStart(ch->index(), start, startFlag, recordType);
    sendMessage(ch, IOCTRL_PLAYBACK_CONTROL, payload,
                [payload, seekOffset](const TaskContext &ctx, int r) {
                    return new ProgressEvent_playReplay(ctx, r, payload, seekOffset);
                });
}

void IoConnect::pauseReplay(Channel *ch, bool alsoStopped)
{
    ORVANE_ASSERT_GUI_THREAD();
    ORVANE_CHECK(ch, return );
    if (!alsoStopped)
        ch->setPaused(true, false);
    sendMessage(ch, IOCTRL_PLAYBACK_CONTROL, IoCtrl::playbackPause(ch->index()),
                [alsoStopped](const TaskContext &ctx, int r) {
                    return new ProgressEvent_pauseReplay(ctx, r, alsoStopped);
                });
}

void IoConnect::resumeReplay(Channel *ch, bool keepPausedFlag)
{
    ORVANE_ASSERT_GUI_THREAD();
    ORVANE_CHECK(ch, return );
    if (!keepPausedFlag)
        ch->setPaused(false, false);
    ch->setWaitKeyFrame(true, false);
    sendMessage(
        ch, IOCTRL_PLAYBACK_CONTROL, IoCtrl::playbackResume(ch->index(), isLegacyPlayback(ch)),
        [](const TaskContext &ctx, int r) { return new ProgressEvent_stopPauseReplay(ctx, r); });
}

void IoConnect::pause(Channel *ch, bool live)
{
    if (!ch)
        return;
    if (live)
        stopVideo(ch, false);
    else
        pauseReplay(ch, true);
}

void IoConnect::resume(Channel *ch, bool live)
{
    if (!ch)
        return;
    if (live)
        startVideo(ch);
    else
        resumeReplay(ch, true);
}

void IoConnect::stopReplay(Channel *ch, bool restart, const QDateTime &restartAt)
{
    ORVANE_ASSERT_GUI_THREAD();
    ORVANE_CHECK(ch, return );
    sendMessage(ch, IOCTRL_PLAYBACK_CONTROL, IoCtrl::playbackStop(ch->index()),
                [restart, restartAt](const TaskContext &ctx, int r) {
                    return new ProgressEvent_stopReplay(ctx, r, restart, restartAt);
                });
}

void IoConnect::changeReplayTime(Channel *ch, int offsetSeconds)
{
    ORVANE_ASSERT_GUI_THREAD();
    ORVANE_CHECK(ch, return );
    sendMessage(
        ch, IOCTRL_PLAYBACK_SEEK,
        IoCtrl::playbackSeek(ch->index(), ch->replayDateTime(), quint32(qMax(0, offsetSeconds))),
        [](const TaskContext &ctx, int r) { return new ProgressEvent_changeReplayTime(ctx, r); });
}

void IoConnect::playbackStartEnded(Channel *ch)
{
    m_playbackOpening.remove(ChannelRef::of(ch));
}

void IoConnect::closePlaybackSlot(Channel *ch)
{
    playbackStartEnded(ch);
    if (ch->avIndex(false) >= 0) {
        sdkApi().clientStop(ch->avIndex(false));
        ch->setAvIndex(-1, false);
    }
    resetStream(ch, false);
}

void IoConnect::handlePlaybackReply(Channel *ch, unsigned int type, const QByteArray &data)
{
    if (type == IOCTRL_RECORD_LIST_RESP) {
        // A list for a day asked before the one asked last is old news.
        const QDate asked = m_recordListAsked.value(ChannelRef::of(ch));
        const std::optional<QList<IoCtrl::RecordEntry>> entries = IoCtrl::parseRecordList(data);
        if (!entries || (asked.isValid() && !PlaybackRecords::touchesDay(*entries, asked)))
            return;
        const PlaybackRecords::Items items =
            PlaybackRecords::toItems(*entries, QDateTime::currentDateTime());
        ch->clearRecordTimes();
        ch->setRecordListReady(true);
        ch->setRecordListDay(asked.isValid() ? asked : items.day);
        if (items.items.isEmpty()) {
            emit receiveVideoTimeEmptyMsg(ch, 0, QStringLiteral("no record has been found"));
            return;
        }
        for (const QList<int> &item : items.items) {
            ch->appendRecordTime(item);
            emit receiveVideoTimeMsg(ch, item);
        }
        return;
    }
    // IOCTRL_PLAYBACK_CONTROL_RESP
    const std::optional<quint32> command = IoCtrl::readU32(data, 0);
    const std::optional<quint32> result = IoCtrl::readU32(data, 4);
    if (!command || !result)
        return;
    switch (*command) {
    case IoCtrl::PlaybackStart: {
        if (ch->device()->sessionId() < 0)
            return;
        if (ch->avIndex(false) >= 0) // a start while one plays: the device reuses it
            return;
        const TaskContext ctx = TaskContext::of(ch, false);
        const QByteArray account = ch->device()->viewAccount().toLocal8Bit();
        const QByteArray password = ch->device()->viewPassword().toLocal8Bit();
        const quint8 number = quint8(*result & 0xFF);
        const LinkTaskCorePtr core = m_core;
        m_replies->arm(ch);
        m_core->start(ctx.ref.device, [core, ctx, account, password, number]() {
            IoTasks::avStart(core, ctx, account, password, number, false);
        });
        return;
    }
    case IoCtrl::PlaybackPause:
        ch->setRxErrorCount(0, false);
        return;
    case IoCtrl::PlaybackStop:
        closePlaybackSlot(ch);
        return;
    case IoCtrl::PlaybackEnded: {
        // Play on from the next recording of the day, if there is one.
        const uint ts = ch->slot(false).lastFrameTimestamp.load();
        const QDateTime now = ts ? QDateTime::fromSecsSinceEpoch(ts) : ch->replayDateTime();
        if (const std::optional<QDateTime> next =
                PlaybackRecords::nextRecordStart(ch->recordTimes(), now))
            stopReplay(ch, true, *next);
        return;
    }
    default:
        qDebug() << "command:" << *command;
        return;
    }
}
