#include "media/RtspDeviceLink.h"

#include "diagnostics/Checks.h"
#include "link/ChannelBufferItem.h"
#include "link/DeviceControl.h"
#include "link/ErrorText.h"
#include "link/IoConnect.h"
#include "link/ReconnectSchedule.h"
#include "media/Decode.h"
#include "media/MediaEvents.h"
#include "media/RtspDemuxer.h"
#include "media/StreamReceive.h"
#include "model/Channel.h"
#include "model/Dev.h"
#include "model/Device.h"
#include "model/RtspUrl.h"
#include "model/SharedInstance.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QDebug>
#include <QMutexLocker>
#include <QPointer>
#include <QThread>

#include <algorithm>
#include <limits>

#include <p2p/p2p.h>

namespace {

int channelsOf(const Device *d)
{
    return qMin(d->channelCount(), int(d->channels().size()));
}

QString channelText(const Channel *ch)
{
    return QStringLiteral("%1 channel %2").arg(ch->device()->uid()).arg(ch->index() + 1);
}

} // namespace

RtspDeviceLink *RtspDeviceLink::instance()
{
    return SharedInstance<RtspDeviceLink>::get();
}

RtspDeviceLink::RtspDeviceLink(IoConnect *io, Decode *decode, QObject *parent)
    : QObject(parent)
    , m_io(io ? io : IoConnect::instance())
    , m_decode(decode ? decode : Decode::instance())
    , m_dev(Dev::instance())
    , m_reconnects(new ReconnectSchedule(m_dev, this))
{
    ORVANE_ASSERT_GUI_THREAD();
    SharedInstance<RtspDeviceLink>::adopt(this);
    connect(m_reconnects, &ReconnectSchedule::due, this, &RtspDeviceLink::reconnectDue);
    m_sweep.setInterval(SweepMs);
    connect(&m_sweep, &QTimer::timeout, this, &RtspDeviceLink::sweep);
    connect(m_dev, &Dev::reloadDevMsg, m_reconnects, &ReconnectSchedule::dropUnregistered);
    if (QCoreApplication *app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, [this] { shutdown(ShutdownWaitMs); });
}

RtspDeviceLink::~RtspDeviceLink()
{
    shutdown(ShutdownWaitMs);
    SharedInstance<RtspDeviceLink>::release(this);
}

void RtspDeviceLink::setReconnectUnitMs(int ms)
{
    m_reconnects->setUnitMs(ms);
}

int RtspDeviceLink::features(const Device *d) const
{
    return m_control ? m_control->features(d) & (Ptz | Clock) : 0;
}

QString RtspDeviceLink::streamUrl(const Channel *ch, bool hd)
{
    const QList<RtspStream> &streams = ch->device()->rtsp().streams;
    if (ch->index() < 0 || ch->index() >= streams.size())
        return QString();
    const RtspStream &s = streams.at(ch->index());
    return hd || s.sub.isEmpty() ? s.main : s.sub;
}

Channel *RtspDeviceLink::requestedChannel(const Device *d)
{
    for (int i = 0; i < channelsOf(d); ++i) {
        if (d->channel(i)->viewRequested(true))
            return d->channel(i);
    }
    return nullptr;
}

bool RtspDeviceLink::hasStreams(const Device *d) const
{
    for (auto it = m_streams.cbegin(); it != m_streams.cend(); ++it) {
        if (it.key()->device() == d)
            return true;
    }
    return false;
}

void RtspDeviceLink::refuse(Channel *ch, void (IoConnect::*failed)(Channel *, int, QString))
{
    emit(m_io->*failed)(ch, AV_ER_CLIENT_NOT_SUPPORT, errorText(AV_ER_CLIENT_NOT_SUPPORT));
}

// ---- Streams ----------------------------------------------------------------

void RtspDeviceLink::openStream(Channel *ch, bool hd, bool resumeVideo)
{
    closeStream(ch, resumeVideo);
    Device *d = ch->device();
    const QString url = streamUrl(ch, hd);
    if (url.isEmpty() && m_control && !d->rtsp().onvifHost.isEmpty()) {
        discoverThenOpen(ch, hd, resumeVideo);
        return;
    }
    if (url.isEmpty()) {
        emit m_io->connectChannelFailMsg(ch, AV_ER_INVALID_ARG,
                                         tr("No stream URL for this channel"));
        return;
    }
    Stream s;
    s.serial = ++m_serial;
    s.avIndex = m_nextAvIndex;
    m_nextAvIndex =
        m_nextAvIndex == std::numeric_limits<int>::max() ? OpenSession : m_nextAvIndex + 1;
    s.hd = hd;
    s.resumeVideo = resumeVideo;
    RtspDemuxer::Options options;
    options.url = RtspUrl::withCredentials(url, d->storedViewAccount(), d->viewPassword());
    options.shownUrl = url;
    options.udp = d->rtsp().transport == RtspSource::Transport::Udp;
    // The callbacks run on the demuxer's thread: reports queue to this
    // object, frames go to Decode with the stream's own AV index.
    QPointer<RtspDeviceLink> self(this);
    const quint64 serial = s.serial;
    const int avIndex = s.avIndex;
    Decode *decode = m_decode;
    RtspDemuxer::Callbacks callbacks;
    callbacks.opened = [self, ch, serial](int, int) {
        QMetaObject::invokeMethod(
            self, [self, ch, serial] { self->streamOpened(ch, serial); }, Qt::QueuedConnection);
    };
    callbacks.ended = [self, ch, serial](int code, const QString &text) {
        QMetaObject::invokeMethod(
            self, [self, ch, serial, code, text] { self->streamEnded(ch, serial, code, text); },
            Qt::QueuedConnection);
    };
    callbacks.frame = [decode, ch, avIndex](ChannelBufferItem *item) {
        StreamCounters &counters = ch->slot(true).counters;
        StreamCounters::add(counters.framesReceived);
        StreamCounters::add(counters.bytesReceived, quint64(item->size));
        counters.codecId.store(item->codecId(), std::memory_order_relaxed);
        {
            QMutexLocker lock(&decode->videoLock());
            ChannelSlot &slot = ch->slot(true);
            StreamReceive::measureLiveFrameRate(slot.frameRate, slot.frameRateWindowStart,
                                                QDateTime::currentMSecsSinceEpoch());
        }
        auto *event = new DecodeEvent_getVideo(ch, true, item->size, item);
        event->avIndex = avIndex;
        QCoreApplication::postEvent(decode, event);
    };
    s.demuxer = std::make_shared<RtspDemuxer>(options, callbacks);
    qInfo().noquote() << QStringLiteral("opening %1 stream of %2: %3")
                             .arg(url == streamUrl(ch, true) ? QStringLiteral("main")
                                                             : QStringLiteral("sub"),
                                  channelText(ch), url);
    s.demuxer->start();
    m_streams.insert(ch, s);
}

void RtspDeviceLink::closeStream(Channel *ch, bool restarting)
{
    const auto it = m_streams.find(ch);
    if (it != m_streams.end()) {
        // Reports the worker queued still arrive and find no stream of theirs.
        retire(std::move(it->demuxer));
        m_streams.erase(it);
    }
    ch->setAvIndex(-1, true);
    m_io->resetStream(ch, true, restarting);
}

void RtspDeviceLink::discoverThenOpen(Channel *ch, bool hd, bool resumeVideo)
{
    Device *d = ch->device();
    if (m_discovering.contains(d))
        return;
    m_discovering.insert(d);
    const int index = ch->index();
    QPointer<RtspDeviceLink> self(this);
    m_control->discoverStreams(d, [self, d, index, hd, resumeVideo](bool ok, const QString &why) {
        if (!self)
            return;
        self->m_discovering.remove(d);
        Channel *c = self->m_dev->devices().contains(d) ? d->channel(index) : nullptr;
        if (self->m_closing || !c || !c->viewRequested(true))
            return;
        if (ok && !streamUrl(c, hd).isEmpty())
            self->openStream(c, hd, resumeVideo);
        else
            emit self->m_io->connectChannelFailMsg(c, AV_ER_INVALID_ARG,
                                                   ok ? tr("No stream URL for this channel") : why);
    });
}

void RtspDeviceLink::streamOpened(Channel *ch, quint64 serial)
{
    const auto it = m_streams.find(ch);
    if (m_closing || it == m_streams.end() || it->serial != serial)
        return;
    it->playing = true;
    const bool resumeVideo = it->resumeVideo;
    ch->setAvIndex(it->avIndex, true);
    Device *d = ch->device();
    d->setSessionId(OpenSession);
    const Device::LinkState was = d->linkState();
    if (was != Device::LinkState::Online) {
        d->setLinkState(Device::LinkState::Online);
        if (was == Device::LinkState::Offline) {
            m_reconnects->forget(d);
            qInfo().noquote() << QStringLiteral("%1 is back online").arg(d->uid());
            emit m_io->deviceOnlineMsg(d);
        }
        emit m_io->connectDevSuccessMsg(ch);
    }
    if (resumeVideo)
        startVideo(ch);
    else
        emit m_io->connectChannelSuccessMsg(ch);
}

void RtspDeviceLink::streamEnded(Channel *ch, quint64 serial, int code, const QString &text)
{
    const auto it = m_streams.find(ch);
    if (m_closing || it == m_streams.end() || it->serial != serial)
        return;
    const bool played = it->playing;
    const bool restart = it->resumeVideo;
    Device *d = ch->device();
    qWarning().noquote() << QStringLiteral("%1: %2 (%3)")
                                .arg(channelText(ch),
                                     played ? QStringLiteral("stream ended")
                                            : QStringLiteral("stream did not open"),
                                     text);
    closeStream(ch);
    const Device::LinkState state = d->linkState();
    if (played || (restart && state == Device::LinkState::Online)) {
        // A stream that played, or one that played before and cannot open
        // again: the device is gone.
        linkLost(d, code, text);
        return;
    }
    if (state == Device::LinkState::Offline) {
        // A reconnect attempt: once none of its streams is left opening, the
        // next one is due after the next wait.
        if (!hasStreams(d) && requestedChannel(d)) {
            m_reconnects->scheduleNext(d);
            qInfo().noquote() << QStringLiteral("reconnecting %1 failed: %2; next try in %3 ms")
                                     .arg(d->uid(), text)
                                     .arg(m_reconnects->pendingMs(d));
        }
        return;
    }
    if (state == Device::LinkState::Connecting && !hasStreams(d)) {
        d->setLinkState(Device::LinkState::Idle);
        d->setSessionId(-1);
        emit m_io->connectDevFailMsg(ch, code, text);
        return;
    }
    emit m_io->connectChannelFailMsg(ch, code, text);
}

void RtspDeviceLink::linkLost(Device *d, int code, const QString &text)
{
    if (m_closing || !m_dev->devices().contains(d))
        return;
    qWarning().noquote() << QStringLiteral("link to %1 lost: %2").arg(d->uid(), text);
    for (int i = 0; i < channelsOf(d); ++i) {
        Channel *ch = d->channel(i);
        closeStream(ch);
        ch->setAudioOn(false, true);
    }
    d->setSessionId(-1);
    d->setLinkState(Device::LinkState::Offline);
    if (requestedChannel(d))
        m_reconnects->scheduleNext(d);
    emit m_io->deviceOfflineMsg(d, code, text);
}

void RtspDeviceLink::reconnectDue(Device *d)
{
    if (m_closing || d->linkState() != Device::LinkState::Offline || !requestedChannel(d)) {
        m_reconnects->forget(d);
        return;
    }
    tryReconnect(d);
}

void RtspDeviceLink::tryReconnect(Device *d)
{
    if (hasStreams(d) || !requestedChannel(d) || !m_reconnects->beginAttempt(d))
        return; // an attempt runs, or nothing to show
    qInfo().noquote() << QStringLiteral("reconnecting %1").arg(d->uid());
    for (int i = 0; i < channelsOf(d); ++i) {
        Channel *ch = d->channel(i);
        if (ch->viewRequested(true))
            openStream(ch, false, false);
    }
}

// ---- DeviceLink ---------------------------------------------------------------

void RtspDeviceLink::connectChannel(Channel *ch)
{
    ORVANE_ASSERT_GUI_THREAD();
    ORVANE_CHECK(ch, return );
    if (m_closing)
        return;
    Device *d = ch->device();
    if (d->sessionId() >= 0) {
        emit m_io->connectDevSuccessMsg(ch);
        return;
    }
    if (d->linkState() == Device::LinkState::Offline) {
        reconnectNow(d);
        return;
    }
    // No session to open: the first stream that plays makes the device Online.
    d->setLinkState(Device::LinkState::Connecting);
    d->setSessionId(OpenSession);
}

void RtspDeviceLink::startChannel(Channel *ch)
{
    ORVANE_ASSERT_GUI_THREAD();
    ORVANE_CHECK(ch, return );
    if (m_closing || ch->device()->sessionId() < 0)
        return;
    const auto it = m_streams.constFind(ch);
    if (it == m_streams.cend())
        openStream(ch, false, false);
    else if (it->playing)
        emit m_io->connectChannelSuccessMsg(ch);
}

void RtspDeviceLink::reportChannelReady(Channel *ch)
{
    ORVANE_ASSERT_GUI_THREAD();
    ORVANE_CHECK(ch, return );
    emit m_io->connectChannelSuccessMsg(ch);
}

void RtspDeviceLink::closeChannel(Channel *ch)
{
    ORVANE_ASSERT_GUI_THREAD();
    ORVANE_CHECK(ch, return );
    if (!m_streams.contains(ch) && ch->avIndex(true) < 0)
        return;
    closeStream(ch);
    emit m_io->videoRequestStopSuccessMsg(ch);
}

void RtspDeviceLink::closeDevice(Device *d)
{
    ORVANE_ASSERT_GUI_THREAD();
    ORVANE_CHECK(d, return );
    m_reconnects->forget(d);
    const bool wasOffline = d->linkState() == Device::LinkState::Offline;
    d->setLinkState(Device::LinkState::Idle);
    if (d->sessionId() < 0 && !wasOffline && !hasStreams(d))
        return;
    d->setSessionId(-1);
    for (int i = 0; i < channelsOf(d); ++i) {
        Channel *ch = d->channel(i);
        for (bool live : {true, false})
            ch->setViewRequested(false, live);
        closeStream(ch);
        emit m_io->videoRequestStopSuccessMsg(ch);
        emit m_io->stopReplaySuccessMsg(ch);
    }
}

void RtspDeviceLink::reconnectNow(Device *d)
{
    ORVANE_ASSERT_GUI_THREAD();
    ORVANE_CHECK(d, return );
    if (m_closing || d->linkState() != Device::LinkState::Offline || !m_dev->devices().contains(d))
        return;
    tryReconnect(d);
}

int RtspDeviceLink::reconnectDelayMs(const Device *d) const
{
    return m_reconnects->pendingMs(d);
}

void RtspDeviceLink::startVideo(Channel *ch)
{
    ORVANE_ASSERT_GUI_THREAD();
    ORVANE_CHECK(ch, return );
    if (m_closing)
        return;
    const auto it = m_streams.constFind(ch);
    if (it == m_streams.cend()) {
        // Stopped before: the stream opens again and its video starts.
        if (ch->device()->sessionId() >= 0)
            openStream(ch, ch->quality(true), true);
        return;
    }
    ch->setWaitKeyFrame(true, true);
    emit m_io->waitingStreamMsg(ch);
    if (!it->playing)
        return; // the video starts once the stream plays
    ch->setVideoOn(true, true);
    emit m_io->videoRequestSuccessMsg(ch);
}

void RtspDeviceLink::stopVideo(Channel *ch, bool restart)
{
    ORVANE_ASSERT_GUI_THREAD();
    ORVANE_CHECK(ch, return );
    if (restart && m_streams.contains(ch)) {
        // A silent or failing stream opens again; its cell keeps the last
        // picture until the new stream's first.
        emit m_io->videoRequestStopSuccessMsg(ch);
        openStream(ch, ch->quality(true), true);
        return;
    }
    closeStream(ch);
    emit m_io->videoRequestStopSuccessMsg(ch);
}

void RtspDeviceLink::changeQuality(Channel *ch, bool hd)
{
    ORVANE_ASSERT_GUI_THREAD();
    ORVANE_CHECK(ch, return );
    const auto it = m_streams.constFind(ch);
    const bool switches = it != m_streams.cend() && streamUrl(ch, it->hd) != streamUrl(ch, hd);
    ch->setQuality(hd, true);
    emit m_io->changeQualitySuccessMsg(ch);
    if (switches)
        openStream(ch, hd, true);
}

void RtspDeviceLink::audioControl(Channel *ch, bool)
{
    refuse(ch, &IoConnect::audioControlFailMsg);
}

void RtspDeviceLink::audioSendControl(Channel *ch, bool)
{
    refuse(ch, &IoConnect::audioSendControlFailMsg);
}

void RtspDeviceLink::pause(Channel *ch, bool live)
{
    if (ch && live)
        stopVideo(ch, false);
}

void RtspDeviceLink::resume(Channel *ch, bool live)
{
    if (ch && live)
        startVideo(ch);
}

void RtspDeviceLink::playReplay(Channel *ch, const QDateTime &, int, bool, int)
{
    refuse(ch, &IoConnect::startReplayFailMsg);
}

void RtspDeviceLink::changeReplayTime(Channel *ch, int)
{
    refuse(ch, &IoConnect::changeReplayTimeFailMsg);
}

void RtspDeviceLink::stopReplay(Channel *ch, bool, const QDateTime &)
{
    if (ch)
        emit m_io->stopReplaySuccessMsg(ch);
}

void RtspDeviceLink::ptzControl(Channel *ch, quint8 command, quint8 param, bool shortForm)
{
    if (ch && has(ch->device(), Ptz))
        m_control->ptzControl(ch, command, param, shortForm);
    else if (ch)
        refuse(ch, &IoConnect::ptzFailMsg);
}

void RtspDeviceLink::ptzPoint(Channel *ch, int preset, bool shortForm)
{
    if (ch && has(ch->device(), Ptz))
        m_control->ptzPoint(ch, preset, shortForm);
    else if (ch)
        refuse(ch, &IoConnect::ptzFailMsg);
}

void RtspDeviceLink::setTime(Channel *ch, const QDateTime &dt)
{
    if (ch && has(ch->device(), Clock))
        m_control->setTime(ch, dt);
    else if (ch)
        refuse(ch, &IoConnect::setTimeFailMsg);
}

void RtspDeviceLink::setTimeZone(Channel *ch, const QString &zone)
{
    if (ch && has(ch->device(), Clock))
        m_control->setTimeZone(ch, zone);
    else if (ch)
        refuse(ch, &IoConnect::setTimeZoneFailMsg);
}

void RtspDeviceLink::retire(std::shared_ptr<RtspDemuxer> demuxer)
{
    if (!demuxer)
        return;
    demuxer->requestStop();
    m_stopping.push_back(std::move(demuxer));
    sweep();
}

void RtspDeviceLink::sweep()
{
    // A finished worker is joined at once; one still in a host name lookup
    // is looked at again on the next tick.
    m_stopping.erase(
        std::remove_if(m_stopping.begin(), m_stopping.end(),
                       [](const std::shared_ptr<RtspDemuxer> &d) { return d->finished(); }),
        m_stopping.end());
    if (m_stopping.empty())
        m_sweep.stop();
    else if (!m_sweep.isActive())
        m_sweep.start();
}

bool RtspDeviceLink::shutdown(int waitMs)
{
    if (!m_closing) {
        m_closing = true;
        m_sweep.stop();
        m_reconnects->clear();
        for (auto it = m_streams.begin(); it != m_streams.end(); ++it) {
            it.key()->setAvIndex(-1, true);
            it.key()->setVideoOn(false, true);
            it.key()->device()->setSessionId(-1);
            it.key()->device()->setLinkState(Device::LinkState::Idle);
            if (it->demuxer)
                it->demuxer->requestStop();
            m_stopping.push_back(std::move(it->demuxer));
        }
        m_streams.clear();
    }
    QDeadlineTimer deadline(qMax(0, waitMs));
    for (;;) {
        const bool all = std::all_of(m_stopping.begin(), m_stopping.end(),
                                     [](const auto &d) { return !d || d->finished(); });
        if (all || deadline.hasExpired())
            break;
        QThread::msleep(5);
    }
    // What has not ended by now runs out on its own (the client is quitting).
    bool ended = true;
    for (std::shared_ptr<RtspDemuxer> &d : m_stopping) {
        if (d && !d->finished()) {
            ended = false;
            d->abandon();
            new std::shared_ptr<RtspDemuxer>(std::move(d)); // kept until the process ends
        }
    }
    m_stopping.clear();
    return ended;
}
