// RtspDeviceLink's remote playback: the record list of a day and its alarm
// marks from the control (the ONVIF recording search), and the replay of a
// channel's recording through an RTSP replay session (start, seek, pause,
// fast, stop), each picture stamped with its recording time.

#include "media/RtspDeviceLink.h"

#include "link/DeviceControl.h"
#include "link/DeviceEvents.h"
#include "media/Decode.h"
#include "media/RtspReader.h"
#include "model/Channel.h"
#include "model/Dev.h"
#include "model/Device.h"
#include "model/RtspUrl.h"

#include <QDebug>
#include <QPointer>

#include <limits>

namespace {

constexpr int Day = 86400;
// The record type of the fast buttons, and how fast they play.
constexpr int FastRecordType = 8;
constexpr double FastScale = 4.0;

QDateTime dayStart(const QDate &day)
{
    return QDateTime(day, QTime(0, 0));
}

} // namespace

QList<QList<int>> RtspDeviceLink::dayItems(const QList<DeviceControl::RecordSpan> &spans,
                                           const QDate &day)
{
    const QDateTime from = dayStart(day);
    const QDateTime to = dayStart(day.addDays(1));
    QList<QList<int>> items;
    for (const DeviceControl::RecordSpan &span : spans) {
        const QDateTime start = qMax(span.start.toLocalTime(), from);
        const QDateTime end = qMin(span.end.toLocalTime(), to);
        const qint64 length = start.secsTo(end);
        if (!start.isValid() || !end.isValid() || length <= 0)
            continue;
        const int second = int(from.secsTo(start));
        items.append(
            {second, int(qMin<qint64>(length, Day - second)), int(start.toSecsSinceEpoch())});
    }
    return items;
}

QList<QList<int>> RtspDeviceLink::dayMarks(const QList<DeviceControl::EventMark> &marks,
                                           const QDate &day)
{
    const QDateTime from = dayStart(day);
    QList<QList<int>> out;
    for (const DeviceControl::EventMark &mark : marks) {
        const qint64 second = from.secsTo(mark.at.toLocalTime());
        if (mark.active && second >= 0 && second < Day)
            out.append({int(second), int(mark.kind)});
    }
    return out;
}

Channel *RtspDeviceLink::channelOf(Device *d, int index) const
{
    return m_dev->devices().contains(d) && index >= 0 && index < d->channelCount()
               ? d->channel(index)
               : nullptr;
}

void RtspDeviceLink::getRecordList(Channel *ch, const QDate &day)
{
    if (!ch)
        return;
    if (m_closing || !has(ch->device(), Playback) || !day.isValid()) {
        refuse(ch, &DeviceEvents::requestReplayVideoTimeFailMsg);
        return;
    }
    if (ch->recordListReady() && ch->recordListDay() == day) {
        const QList<QList<int>> items = ch->recordTimes();
        if (items.isEmpty())
            emit m_events->receiveVideoTimeEmptyMsg(ch, 0, tr("no record has been found"));
        for (const QList<int> &item : items)
            emit m_events->receiveVideoTimeMsg(ch, item);
        emit m_events->receiveEventMarksMsg(ch);
        return;
    }
    ch->clearRecordTimes();
    ch->setRecordListReady(false);
    ch->setEventMarks({});
    ch->setRecordListDay(day);
    Device *d = ch->device();
    const int index = ch->index();
    const QDateTime from = dayStart(day).toUTC();
    const QDateTime to = dayStart(day.addDays(1)).toUTC();
    QPointer<RtspDeviceLink> self(this);
    // Only the answer for the day asked last counts.
    const auto current = [self, d, index, day]() -> Channel * {
        Channel *c = self ? self->channelOf(d, index) : nullptr;
        return c && c->recordListDay() == day ? c : nullptr;
    };
    m_control->findRecordings(
        ch, from, to,
        [self, current, day](const QList<DeviceControl::RecordSpan> &spans, const QString &why) {
            Channel *c = current();
            if (!c)
                return;
            if (!why.isEmpty()) {
                emit self->m_events->requestReplayVideoTimeFailMsg(c, NotSupported, why);
                return;
            }
            const QList<QList<int>> items = dayItems(spans, day);
            c->setRecordListReady(true);
            emit self->m_events->requestReplayVideoTimeSuccessMsg(c);
            if (items.isEmpty())
                emit self->m_events->receiveVideoTimeEmptyMsg(c, 0, tr("no record has been found"));
            for (const QList<int> &item : items) {
                c->appendRecordTime(item);
                emit self->m_events->receiveVideoTimeMsg(c, item);
            }
        });
    if (!has(d, Events))
        return;
    m_control->findEvents(
        ch, from, to,
        [self, current, day](const QList<DeviceControl::EventMark> &marks, const QString &why) {
            Channel *c = current();
            if (!c || !why.isEmpty())
                return; // the recordings still show, without marks
            c->setEventMarks(dayMarks(marks, day));
            emit self->m_events->receiveEventMarksMsg(c);
        });
}

void RtspDeviceLink::playReplay(Channel *ch, const QDateTime &start, int seekOffset, bool startFlag,
                                int recordType)
{
    if (!ch)
        return;
    if (m_closing || !has(ch->device(), Playback) || !start.isValid()) {
        refuse(ch, &DeviceEvents::startReplayFailMsg);
        return;
    }
    // The fast buttons: forward, or backward where the device allows it.
    const double scale = recordType == FastRecordType ? (startFlag ? -FastScale : FastScale) : 1.0;
    closeReplay(ch);
    ch->setReplayDateTime(start);
    ch->setWaitKeyFrame(true, false);
    Replay r;
    r.serial = ++m_serial;
    r.scale = scale;
    m_replays.insert(ch, r);
    const QDateTime from = start.addSecs(qMax(0, seekOffset));
    Device *d = ch->device();
    const int index = ch->index();
    const quint64 serial = r.serial;
    QPointer<RtspDeviceLink> self(this);
    m_control->replayTarget(ch, [self, d, index, serial, from, scale](
                                    const DeviceControl::ReplayTarget &target, const QString &why) {
        Channel *c = self ? self->channelOf(d, index) : nullptr;
        if (!c || !self->m_replays.contains(c) || self->m_replays.value(c).serial != serial)
            return;
        if (target.uri.isEmpty() || (scale < 0 && !target.reverse)) {
            self->m_replays.remove(c);
            emit self->m_events->startReplayFailMsg(
                c, NotSupported,
                target.uri.isEmpty() ? why : tr("This camera cannot play backwards"));
            return;
        }
        self->openReplay(c, target.uri, from, scale);
    });
}

void RtspDeviceLink::openReplay(Channel *ch, const QString &uri, const QDateTime &from,
                                double scale)
{
    Replay &r = m_replays[ch];
    r.avIndex = nextAvIndex();
    Device *d = ch->device();
    RtspReader::Options options;
    options.url = RtspUrl::withCredentials(uri, d->storedViewAccount(), d->viewPassword());
    options.shownUrl = uri;
    options.user = d->storedViewAccount().toUtf8();
    options.password = d->viewPassword().toUtf8();
    options.audio = true;
    options.replay.on = true;
    options.replay.startUtcMs = from.toMSecsSinceEpoch();
    options.replay.scale = scale;
    QPointer<RtspDeviceLink> self(this);
    const quint64 serial = r.serial;
    const int avIndex = r.avIndex;
    Decode *decode = m_decode;
    RtspReader::Callbacks callbacks;
    callbacks.opened = [self, ch, serial](int, int) {
        QMetaObject::invokeMethod(
            self, [self, ch, serial] { self->replayOpened(ch, serial); }, Qt::QueuedConnection);
    };
    callbacks.ended = [self, ch, serial](int code, const QString &text) {
        QMetaObject::invokeMethod(
            self, [self, ch, serial, code, text] { self->replayEnded(ch, serial, code, text); },
            Qt::QueuedConnection);
    };
    callbacks.frame = [decode, ch, avIndex](ChannelBufferItem *item) {
        decode->submitFrame(ch, false, avIndex, item);
    };
    callbacks.audio = callbacks.frame;
    r.reader = RtspReader::create(RtspReader::Kind::GStreamer, options, callbacks);
    qInfo().noquote() << QStringLiteral("replaying %1 channel %2 from %3 at %4x: %5")
                             .arg(d->uid())
                             .arg(ch->index() + 1)
                             .arg(from.toUTC().toString(Qt::ISODate))
                             .arg(scale)
                             .arg(uri);
    r.reader->start();
}

void RtspDeviceLink::replayOpened(Channel *ch, quint64 serial)
{
    const auto it = m_replays.find(ch);
    if (m_closing || it == m_replays.end() || it->serial != serial)
        return;
    it->playing = true;
    ch->setAvIndex(it->avIndex, false);
    ch->setPaused(false, false);
    ch->setVideoOn(true, false);
    emit m_events->startReplaySuccessMsg(ch);
}

void RtspDeviceLink::replayEnded(Channel *ch, quint64 serial, int code, const QString &text)
{
    const auto it = m_replays.find(ch);
    if (m_closing || it == m_replays.end() || it->serial != serial)
        return;
    const bool played = it->playing;
    qInfo().noquote() << QStringLiteral("%1 channel %2: replay ended (%3)")
                             .arg(ch->device()->uid())
                             .arg(ch->index() + 1)
                             .arg(text);
    closeReplay(ch);
    emit m_events->stopReplaySuccessMsg(ch);
    if (code != RtspReader::EndOfRecordings || !played)
        emit m_events->startReplayFailMsg(ch, code, text);
}

void RtspDeviceLink::closeReplay(Channel *ch)
{
    const auto it = m_replays.find(ch);
    if (it != m_replays.end()) {
        retire(std::move(it->reader));
        m_replays.erase(it);
    }
    if (ch->avIndex(false) >= 0 || ch->videoOn(false)) {
        ch->setAvIndex(-1, false);
        ch->setVideoOn(false, false);
        if (m_streamReset)
            m_streamReset(ch, false, false);
    }
    ch->setPaused(false, false);
    ch->setRxErrorCount(0, false);
}

RtspReader *RtspDeviceLink::replayReader(Channel *ch) const
{
    const auto it = m_replays.constFind(ch);
    return it != m_replays.cend() && it->playing ? it->reader.get() : nullptr;
}

void RtspDeviceLink::changeReplayTime(Channel *ch, int offsetSeconds)
{
    if (!ch)
        return;
    // Within the session ("Immediate: yes"): the cell keeps the last picture
    // until the first of the new place.
    RtspReader *reader = replayReader(ch);
    const QDateTime to = ch->replayDateTime().addSecs(qMax(0, offsetSeconds));
    if (!reader || !to.isValid() || !reader->seek(to.toMSecsSinceEpoch())) {
        refuse(ch, &DeviceEvents::changeReplayTimeFailMsg);
        return;
    }
    ch->setWaitKeyFrame(true, false);
    emit m_events->changeReplayTimeSuccessMsg(ch);
}

void RtspDeviceLink::stopReplay(Channel *ch, bool restart, const QDateTime &restartAt)
{
    if (!ch)
        return;
    closeReplay(ch);
    emit m_events->stopReplaySuccessMsg(ch);
    if (restart && restartAt.isValid())
        playReplay(ch, restartAt, 0, true, 5);
}

void RtspDeviceLink::pauseReplay(Channel *ch)
{
    if (!ch)
        return;
    RtspReader *reader = replayReader(ch);
    if (!reader || !reader->pause()) {
        refuse(ch, &DeviceEvents::pauseReplayFailMsg);
        return;
    }
    ch->setPaused(true, false);
    emit m_events->pauseReplaySuccessMsg(ch);
}

void RtspDeviceLink::resumeReplay(Channel *ch)
{
    if (!ch)
        return;
    RtspReader *reader = replayReader(ch);
    if (!reader || !reader->resume()) {
        refuse(ch, &DeviceEvents::startReplayFailMsg);
        return;
    }
    ch->setPaused(false, false);
    ch->setVideoOn(true, false);
    emit m_events->startReplaySuccessMsg(ch);
}

void RtspDeviceLink::pause(Channel *ch, bool live)
{
    if (!ch)
        return;
    if (live) {
        stopVideo(ch, false);
        return;
    }
    // The grid leaves playback: the session holds its place until it is back.
    if (RtspReader *reader = replayReader(ch); reader && reader->pause()) {
        ch->setVideoOn(false, false);
        if (m_streamReset)
            m_streamReset(ch, false, false);
        emit m_events->pauseReplaySuccessMsg(ch);
        emit m_events->stopReplaySuccessMsg(ch);
    }
}

void RtspDeviceLink::resume(Channel *ch, bool live)
{
    if (!ch)
        return;
    if (live) {
        startVideo(ch);
        return;
    }
    if (RtspReader *reader = replayReader(ch); reader && reader->resume()) {
        ch->setWaitKeyFrame(true, false);
        ch->setVideoOn(true, false);
        emit m_events->startReplaySuccessMsg(ch);
    }
}

int RtspDeviceLink::nextAvIndex()
{
    const int index = m_nextAvIndex;
    m_nextAvIndex =
        m_nextAvIndex == std::numeric_limits<int>::max() ? OpenSession : m_nextAvIndex + 1;
    return index;
}
