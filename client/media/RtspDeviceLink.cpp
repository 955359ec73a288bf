#include "media/RtspDeviceLink.h"

#include "diagnostics/Checks.h"
#include "link/DeviceControl.h"
#include "link/DeviceEvents.h"
#include "link/DeviceLinks.h"
#include "link/ReconnectSchedule.h"
#include "media/Decode.h"
#include "media/RtspReader.h"
#include "media/RtspTalk.h"
#include "model/Channel.h"
#include "model/Dev.h"
#include "model/Device.h"
#include "model/SharedInstance.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDebug>
#include <QThread>

#include <algorithm>

extern "C" {
#include <libavutil/error.h>
}

const int RtspDeviceLink::NotSupported = AVERROR(ENOSYS);
const int RtspDeviceLink::NoStreamUrl = AVERROR(EINVAL);

namespace {

int channelsOf(const Device *d)
{
    return qMin(d->channelCount(), int(d->channels().size()));
}

} // namespace

RtspDeviceLink *RtspDeviceLink::instance()
{
    return SharedInstance<RtspDeviceLink>::get();
}

RtspDeviceLink::RtspDeviceLink(DeviceEvents *events, Decode *decode, QObject *parent)
    : QObject(parent)
    , m_events(events ? events : DeviceLinks::events())
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
    int f = m_control ? m_control->features(d) &
                            (Ptz | Presets | Clock | Playback | Sound | Talk | Events)
                      : 0;
    if (m_soundDevices.contains(d))
        f |= Sound; // a stream of it carries sound
    return f;
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
        emit m_events->connectDevSuccessMsg(ch);
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
        emit m_events->connectChannelSuccessMsg(ch);
}

void RtspDeviceLink::reportChannelReady(Channel *ch)
{
    ORVANE_ASSERT_GUI_THREAD();
    ORVANE_CHECK(ch, return );
    emit m_events->connectChannelSuccessMsg(ch);
}

void RtspDeviceLink::closeChannel(Channel *ch)
{
    ORVANE_ASSERT_GUI_THREAD();
    ORVANE_CHECK(ch, return );
    if (!m_streams.contains(ch) && ch->avIndex(true) < 0)
        return;
    closeStream(ch);
    emit m_events->videoRequestStopSuccessMsg(ch);
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
    m_soundDevices.remove(d);
    if (m_control)
        m_control->watchEvents(d, false);
    for (int i = 0; i < channelsOf(d); ++i) {
        Channel *ch = d->channel(i);
        for (bool live : {true, false})
            ch->setViewRequested(false, live);
        closeStream(ch);
        closeReplay(ch);
        closeTalk(ch);
        clearAlarms(ch);
        emit m_events->videoRequestStopSuccessMsg(ch);
        emit m_events->stopReplaySuccessMsg(ch);
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

bool RtspDeviceLink::waitsForUser(int code) const
{
    return code == AVERROR_HTTP_UNAUTHORIZED || code == AVERROR_HTTP_FORBIDDEN ||
           code == NoStreamUrl;
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
    emit m_events->waitingStreamMsg(ch);
    if (!it->playing)
        return; // the video starts once the stream plays
    ch->setVideoOn(true, true);
    emit m_events->videoRequestSuccessMsg(ch);
}

void RtspDeviceLink::stopVideo(Channel *ch, bool restart)
{
    ORVANE_ASSERT_GUI_THREAD();
    ORVANE_CHECK(ch, return );
    if (restart && m_streams.contains(ch)) {
        // A silent or failing stream opens again; its cell keeps the last
        // picture until the new stream's first.
        emit m_events->videoRequestStopSuccessMsg(ch);
        openStream(ch, ch->quality(true), true);
        return;
    }
    closeStream(ch);
    emit m_events->videoRequestStopSuccessMsg(ch);
}

void RtspDeviceLink::changeQuality(Channel *ch, bool hd)
{
    ORVANE_ASSERT_GUI_THREAD();
    ORVANE_CHECK(ch, return );
    const auto it = m_streams.constFind(ch);
    const bool switches = it != m_streams.cend() && streamUrl(ch, it->hd) != streamUrl(ch, hd);
    ch->setQuality(hd, true);
    emit m_events->changeQualitySuccessMsg(ch);
    if (switches)
        openStream(ch, hd, true);
}

void RtspDeviceLink::audioControl(Channel *ch, bool on)
{
    if (!ch)
        return;
    if (!has(ch->device(), Sound)) {
        refuse(ch, &DeviceEvents::audioControlFailMsg);
        return;
    }
    // The streams carry their sound anyway: listening only lets it through.
    ch->setAudioOn(on, m_decode->isCurrentMode(true));
    emit m_events->audioControlSuccessMsg(ch);
}

void RtspDeviceLink::ptzControl(Channel *ch, quint8 command, quint8 param, bool shortForm)
{
    if (ch && has(ch->device(), Ptz))
        m_control->ptzControl(ch, command, param, shortForm);
    else if (ch)
        refuse(ch, &DeviceEvents::ptzFailMsg);
}

void RtspDeviceLink::ptzPoint(Channel *ch, int preset, bool shortForm)
{
    if (ch && has(ch->device(), Ptz))
        m_control->ptzPoint(ch, preset, shortForm);
    else if (ch)
        refuse(ch, &DeviceEvents::ptzFailMsg);
}

void RtspDeviceLink::ptzGoto(Channel *ch, int preset, bool shortForm)
{
    if (ch && has(ch->device(), Ptz))
        m_control->ptzGoto(ch, preset, shortForm);
    else if (ch)
        refuse(ch, &DeviceEvents::ptzFailMsg);
}

void RtspDeviceLink::setTime(Channel *ch, const QDateTime &dt)
{
    if (ch && has(ch->device(), Clock))
        m_control->setTime(ch, dt);
    else if (ch)
        refuse(ch, &DeviceEvents::setTimeFailMsg);
}

void RtspDeviceLink::setTimeZone(Channel *ch, const QString &zone)
{
    if (ch && has(ch->device(), Clock))
        m_control->setTimeZone(ch, zone);
    else if (ch)
        refuse(ch, &DeviceEvents::setTimeZoneFailMsg);
}

void RtspDeviceLink::ptzCruisePath(Channel *ch, quint8, quint8, quint8, bool)
{
    refuse(ch, &DeviceEvents::ptzFailMsg);
}

void RtspDeviceLink::setWifi(Channel *ch, const QString &, const QString &)
{
    refuse(ch, &DeviceEvents::setWifiFailMsg);
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
            if (it->reader)
                it->reader->requestStop();
            m_stopping.push_back(std::move(it->reader));
        }
        m_streams.clear();
        for (auto it = m_replays.begin(); it != m_replays.end(); ++it) {
            it.key()->setAvIndex(-1, false);
            it.key()->setVideoOn(false, false);
            if (it->reader) {
                it->reader->requestStop();
                m_stopping.push_back(std::move(it->reader));
            }
        }
        m_replays.clear();
        stopTalks();
    }
    QDeadlineTimer deadline(qMax(0, waitMs));
    for (;;) {
        const bool all = std::all_of(m_stopping.begin(), m_stopping.end(),
                                     [](const auto &d) { return !d || d->finished(); }) &&
                         std::all_of(m_stoppingTalks.begin(), m_stoppingTalks.end(),
                                     [](const auto &t) { return t->finished(); });
        if (all || deadline.hasExpired())
            break;
        QThread::msleep(5);
    }
    for (std::shared_ptr<RtspTalk> &t : m_stoppingTalks) {
        if (!t->finished()) {
            t->abandon();
            new std::shared_ptr<RtspTalk>(std::move(t)); // kept until the process ends
        }
    }
    m_stoppingTalks.clear();
    // What has not ended by now runs out on its own (the client is quitting).
    bool ended = true;
    for (std::shared_ptr<RtspReader> &d : m_stopping) {
        if (d && !d->finished()) {
            ended = false;
            d->abandon();
            new std::shared_ptr<RtspReader>(std::move(d)); // kept until the process ends
        }
    }
    m_stopping.clear();
    return ended;
}
