// RtspDeviceLink's streams: opening and closing a channel's reader, what
// its reports do (a stream that plays, ends or cannot open), losing and
// reconnecting a device, and stopped readers waiting for their workers.

#include "media/RtspDeviceLink.h"

#include "link/ChannelBufferItem.h"
#include "link/DeviceControl.h"
#include "link/DeviceEvents.h"
#include "link/DeviceLinks.h"
#include "link/ReconnectSchedule.h"
#include "media/Decode.h"
#include "media/RtspReader.h"
#include "media/RtspTalk.h"
#include "media/StreamReceive.h"
#include "model/Channel.h"
#include "model/Dev.h"
#include "model/Device.h"
#include "model/RtspUrl.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QMutexLocker>
#include <QPointer>

#include <algorithm>
#include <limits>

extern "C" {
#include <libavutil/error.h>
}

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

void RtspDeviceLink::refuse(Channel *ch, void (DeviceEvents::*failed)(Channel *, int, QString))
{
    if (ch)
        emit(m_events->*failed)(ch, NotSupported, tr("Not supported by this camera"));
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
        emit m_events->connectChannelFailMsg(ch, NoStreamUrl, tr("No stream URL for this channel"));
        return;
    }
    Stream s;
    s.serial = ++m_serial;
    s.avIndex = nextAvIndex();
    s.hd = hd;
    s.resumeVideo = resumeVideo;
    RtspReader::Options options;
    options.url = RtspUrl::withCredentials(url, d->storedViewAccount(), d->viewPassword());
    options.shownUrl = url;
    options.user = d->storedViewAccount().toUtf8();
    options.password = d->viewPassword().toUtf8();
    options.udp = d->rtsp().transport == RtspSource::Transport::Udp;
    options.audio = true;
    // The callbacks run on the reader's thread: reports queue to this
    // object, frames go to Decode with the stream's own AV index.
    QPointer<RtspDeviceLink> self(this);
    const quint64 serial = s.serial;
    const int avIndex = s.avIndex;
    Decode *decode = m_decode;
    RtspReader::Callbacks callbacks;
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
        decode->submitFrame(ch, true, avIndex, item);
    };
    callbacks.audio = callbacks.frame;
    s.reader = RtspReader::create(options, callbacks);
    qInfo().noquote() << QStringLiteral("opening %1 stream of %2: %3")
                             .arg(url == streamUrl(ch, true) ? QStringLiteral("main")
                                                             : QStringLiteral("sub"),
                                  channelText(ch), url);
    s.reader->start();
    m_streams.insert(ch, s);
}

void RtspDeviceLink::closeStream(Channel *ch, bool restarting)
{
    const auto it = m_streams.find(ch);
    if (it != m_streams.end()) {
        // Reports the worker queued still arrive and find no stream of theirs.
        retire(std::move(it->reader));
        m_streams.erase(it);
    }
    ch->setAvIndex(-1, true);
    ch->setVideoOn(false, true);
    if (m_streamReset)
        m_streamReset(ch, true, restarting);
    ch->setRxErrorCount(0, true);
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
        // The device may have been closed meanwhile; a channel opened for
        // playback alone is not a live view's, so that is all that counts.
        Channel *c = self->m_dev->devices().contains(d) ? d->channel(index) : nullptr;
        if (self->m_closing || !c || d->sessionId() < 0)
            return;
        if (ok && !streamUrl(c, hd).isEmpty())
            self->openStream(c, hd, resumeVideo);
        else
            emit self->m_events->connectChannelFailMsg(
                c, NoStreamUrl, ok ? tr("No stream URL for this channel") : why);
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
    if (it->reader && it->reader->hasAudio())
        m_soundDevices.insert(d);
    d->setSessionId(OpenSession);
    const Device::LinkState was = d->linkState();
    if (was != Device::LinkState::Online) {
        d->setLinkState(Device::LinkState::Online);
        if (was == Device::LinkState::Offline) {
            m_reconnects->forget(d);
            qInfo().noquote() << QStringLiteral("%1 is back online").arg(d->uid());
            emit m_events->deviceOnlineMsg(d);
        }
        if (m_control && !d->rtsp().onvifHost.isEmpty())
            m_control->watchEvents(d, true);
        emit m_events->connectDevSuccessMsg(ch);
    }
    if (resumeVideo)
        startVideo(ch);
    else
        emit m_events->connectChannelSuccessMsg(ch);
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
        // A camera that cannot be reached yet is tried again while a channel
        // is wanted, as a lost one is; refused credentials and a channel
        // without a stream are not, until the user changes the device.
        if (!waitsForUser(code) && requestedChannel(d)) {
            linkLost(d, code, text);
            return;
        }
        d->setLinkState(Device::LinkState::Idle);
        d->setSessionId(-1);
        emit m_events->connectDevFailMsg(ch, code, text);
        return;
    }
    emit m_events->connectChannelFailMsg(ch, code, text);
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
    emit m_events->deviceOfflineMsg(d, code, text);
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

void RtspDeviceLink::retire(std::shared_ptr<RtspReader> reader)
{
    if (!reader)
        return;
    reader->requestStop();
    m_stopping.push_back(std::move(reader));
    sweep();
}

void RtspDeviceLink::sweep()
{
    // A finished worker is joined at once; one still in a host name lookup
    // is looked at again on the next tick.
    m_stopping.erase(
        std::remove_if(m_stopping.begin(), m_stopping.end(),
                       [](const std::shared_ptr<RtspReader> &d) { return d->finished(); }),
        m_stopping.end());
    m_stoppingTalks.erase(
        std::remove_if(m_stoppingTalks.begin(), m_stoppingTalks.end(),
                       [](const std::shared_ptr<RtspTalk> &t) { return t->finished(); }),
        m_stoppingTalks.end());
    if (m_stopping.empty() && m_stoppingTalks.empty())
        m_sweep.stop();
    else if (!m_sweep.isActive())
        m_sweep.start();
}
