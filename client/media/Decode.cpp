#include "media/Decode.h"

#include "diagnostics/Checks.h"

#include "link/ChannelBufferItem.h"
#include "link/DeviceLink.h"
#include "link/DeviceLinks.h"
#include "link/ErrorText.h"
#include "link/LinkErrors.h"
#include "link/IoConnect.h"
#include "media/StreamReceive.h"
#include "media/MediaEvents.h"
#include "media/Video.h"
#include "model/Channel.h"
#include "model/Dev.h"
#include "model/Device.h"
#include "model/SharedInstance.h"

#include <QDeadlineTimer>
#include <QDebug>
#include <QThread>
#include <QThreadPool>

namespace {
constexpr uint16_t AudioCodecFirst = 136;
constexpr uint16_t AudioCodecLast = 143;
} // namespace

Decode *Decode::instance()
{
    return SharedInstance<Decode>::get();
}

Decode::Decode(Video *video, QObject *parent)
    : QObject(parent)
    , m_video(video ? video : Video::instance())
    , m_modeSource([] { return true; })
{
    qRegisterMetaType<Channel *>("Channel*");
    // Audio playback takes these over once it exists; until then audio
    // frames are received (keeping the library's buffer drained) and freed.
    m_audio = [](Channel *, bool, ChannelBufferItem *item) { delete item; };
    // Streams restart through the device's link: live by stopping and
    // starting the video, playback by stopping and starting again at the
    // channel's playback time (the grid may install one that knows better).
    m_restart = [](Channel *channel, bool live) {
        DeviceLink *link = DeviceLinks::of(channel->device());
        if (live)
            link->stopVideo(channel, true);
        else
            link->stopReplay(channel, true, channel->replayDateTime());
    };
    m_linkLost = [](Device *device, int code) {
        IoConnect::instance()->reportLinkLost(device, code);
    };
    m_clock.start();
    m_timer.setInterval(TickMs);
    connect(&m_timer, &QTimer::timeout, this, &Decode::getData);
    m_timer.start();
}

Decode::~Decode()
{
    m_timer.stop();
    // Receive steps that were started post to this object: let them end
    // (they never block; the bound only guards against a wedged library).
    QDeadlineTimer deadline(5000);
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(m_pendingLock);
            if (m_pending.isEmpty())
                break;
        }
        if (deadline.hasExpired()) {
            qWarning() << "Decode destroyed with receive steps still running";
            break;
        }
        QThread::msleep(1);
    }
}

void Decode::setModeSource(ModeSource source)
{
    ORVANE_ASSERT_GUI_THREAD();
    m_modeSource = source ? std::move(source) : ModeSource([] { return true; });
}

void Decode::setRestartHandler(RestartHandler handler)
{
    ORVANE_ASSERT_GUI_THREAD();
    m_restart = std::move(handler);
}

void Decode::setLinkLostHandler(LinkLostHandler handler)
{
    ORVANE_ASSERT_GUI_THREAD();
    m_linkLost = std::move(handler);
}

void Decode::setAudioHandler(AudioHandler handler)
{
    ORVANE_ASSERT_GUI_THREAD();
    if (handler)
        m_audio = std::move(handler);
    else
        m_audio = [](Channel *, bool, ChannelBufferItem *item) { delete item; };
}

bool Decode::markPending(Channel *channel, bool live, bool video)
{
    std::lock_guard<std::mutex> lock(m_pendingLock);
    const PendingKey key{channel, live, video};
    if (m_pending.contains(key))
        return false;
    m_pending.insert(key);
    return true;
}

void Decode::receiveFinished(Channel *channel, bool live, bool video)
{
    std::lock_guard<std::mutex> lock(m_pendingLock);
    m_pending.remove(PendingKey{channel, live, video});
}

void Decode::getData()
{
    ORVANE_ASSERT_GUI_THREAD();
    if (!m_running)
        return;
    const bool live = m_modeSource();
    QThreadPool *pool = QThreadPool::globalInstance();
    for (Device *device : Dev::instance()->devices()) {
        // Other kinds' links deliver their frames themselves.
        if (!device->isP2p() || device->sessionId() < 0)
            continue;
        const QList<Channel *> &channels = device->channels();
        const int count = qMin(device->channelCount(), int(channels.size()));
        for (int i = 0; i < count; ++i) {
            Channel *channel = channels.at(i);
            if (channel->avIndex(live) < 0)
                continue;
            if (channel->videoOn(live) && markPending(channel, live, true))
                pool->start(
                    [this, live, channel] { StreamReceive::receiveVideo(this, live, channel); });
            if (channel->audioOn(live) && markPending(channel, live, false))
                pool->start(
                    [this, live, channel] { StreamReceive::receiveAudio(this, live, channel); });
        }
    }
    if (m_clock.elapsed() - m_lastWatchMs >= WatchIntervalMs)
        watchStreams(live);
}

void Decode::watchStreams(bool live)
{
    m_lastWatchMs = m_clock.elapsed();
    QList<StreamWatch::Stream> streaming;
    for (Device *device : Dev::instance()->devices()) {
        if (device->linkState() != Device::LinkState::Online)
            continue;
        const QList<Channel *> &channels = device->channels();
        const int count = qMin(device->channelCount(), int(channels.size()));
        for (int i = 0; i < count; ++i) {
            Channel *channel = channels.at(i);
            if (channel->avIndex(live) >= 0 && channel->videoOn(live) && !channel->paused(live))
                streaming.append({channel, live});
        }
    }
    const QList<StreamWatch::Stream> silent = m_watch.silentStreams(streaming, m_lastWatchMs);
    for (const StreamWatch::Stream &stream : silent) {
        qInfo().noquote() << QStringLiteral("no video for %1 s on %2 channel %3: restarting")
                                 .arg(StreamWatch::NoVideoMs / 1000)
                                 .arg(stream.first->device()->uid())
                                 .arg(stream.first->index() + 1);
        emit noVideoMsg(stream.first, stream.second);
        if (m_restart)
            m_restart(stream.first, stream.second);
    }
}

void Decode::stopRun()
{
    ORVANE_ASSERT_GUI_THREAD();
    m_running = false;
    m_timer.stop();
}

bool Decode::event(QEvent *e)
{
    if (e->type() == DecodeEvent_getVideo::TypeId) {
        auto *ev = static_cast<DecodeEvent_getVideo *>(e);
        // A result of a closed AV channel says nothing about the one open now
        // (a session lost and opened again meanwhile).
        if (ev->avIndex >= 0 && ev->avIndex != ev->channel->avIndex(ev->live))
            return true;
        ChannelBufferItem *item = ev->item;
        ev->item = nullptr;
        videoReceived(ev->channel, ev->live, ev->result, item);
        return true;
    }
    if (e->type() == DecodeEvent_getAudio::TypeId) {
        auto *ev = static_cast<DecodeEvent_getAudio *>(e);
        ChannelBufferItem *item = ev->item;
        ev->item = nullptr;
        audioReceived(ev->channel, ev->live, ev->result, item);
        return true;
    }
    return QObject::event(e);
}

void Decode::videoReceived(Channel *channel, bool live, int result, ChannelBufferItem *item)
{
    if (result < 0) {
        delete item;
        if (m_watch.receiveFailed(channel, live, result, isLinkLostCode(result)) && m_linkLost) {
            m_linkLost(channel->device(), result);
            return;
        }
        channel->setRxErrorCount(channel->rxErrorCount(live) + 1, live);
        if (result != AV_ER_DATA_NOREADY)
            emit receiveVideoData(channel, result, errorText(result));
        if (channel->rxErrorCount(live) == RestartAfterFailures) {
            channel->setRxErrorCount(0, live);
            if (!m_modeSource())
                qDebug().noquote() << QStringLiteral("restart replay:%1,%2")
                                          .arg(channel->device()->uid())
                                          .arg(channel->index());
            if (m_restart)
                m_restart(channel, live);
            else
                qWarning() << "video receive keeps failing, no restart handler";
        }
        return;
    }
    channel->setRxErrorCount(0, live);
    m_watch.frameArrived(channel, live, m_clock.elapsed());
    ++m_videoFrames;
    m_video->decodeFrame(channel, live, item);
}

void Decode::audioReceived(Channel *channel, bool live, int result, ChannelBufferItem *item)
{
    if (result < 0) {
        delete item;
        return;
    }
    // A poll that found nothing buffered (result 0) carries no frame.
    if (result > 0)
        ++m_audioFrames;
    const uint16_t codec = item->codecId();
    if (codec >= AudioCodecFirst && codec <= AudioCodecLast) {
        item->audioLength = result;
        m_audio(channel, live, item);
        return;
    }
    delete item;
}
