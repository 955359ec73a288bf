#include "media/Decode.h"

#include "diagnostics/Checks.h"

#include "link/ChannelBufferItem.h"
#include "link/DeviceLink.h"
#include "link/DeviceLinks.h"
#include "link/ErrorText.h"
#include "link/IoConnect.h"
#include "link/LinkErrors.h"
#include "media/ChannelStream.h"
#include "link/GuiMailbox.h"
#include "media/Video.h"
#include "model/Channel.h"
#include "model/Dev.h"
#include "model/Device.h"
#include "model/SharedInstance.h"

#include <QDebug>

namespace {

// The Decode that channels report their streams to: the latest one made.
std::atomic<Decode *> current{nullptr};

void channelStreamChanged(Channel *channel, bool live)
{
    if (Decode *decode = current.load())
        decode->streamChanged(channel, live);
}

} // namespace

Decode *Decode::instance()
{
    return SharedInstance<Decode>::get();
}

Decode::Decode(Video *video, QObject *parent)
    : QObject(parent)
    , m_video(video ? video : Video::instance())
    , m_mailbox(new GuiMailbox(this))
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
    m_timer.setInterval(WatchIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, &Decode::getData);
    m_timer.start();
    current.store(this);
    Channel::setStreamHook(&channelStreamChanged);
    // Streams opened before this driver existed are taken over.
    for (Device *device : Dev::instance()->devices())
        for (Channel *channel : device->channels())
            for (bool live : {true, false})
                streamChanged(channel, live);
}

Decode::~Decode()
{
    Decode *self = this;
    current.compare_exchange_strong(self, nullptr);
    stopRun();
}

void Decode::setModeSource(ModeSource source)
{
    ORVANE_ASSERT_GUI_THREAD();
    m_modeSource = source ? std::move(source) : ModeSource([] { return true; });
    modeChanged();
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

std::shared_ptr<ChannelStream> Decode::stream(Channel *channel, bool live) const
{
    std::lock_guard<std::mutex> lock(m_streamsLock);
    return m_streams.value(Key(channel, live));
}

void Decode::streamChanged(Channel *channel, bool live)
{
    ORVANE_ASSERT_GUI_THREAD();
    if (!m_running || !channel)
        return;
    const int avIndex = channel->avIndex(live);
    const bool wanted = avIndex >= 0 && (channel->videoOn(live) || channel->audioOn(live));
    const Key key(channel, live);
    std::shared_ptr<ChannelStream> old;
    {
        std::lock_guard<std::mutex> lock(m_streamsLock);
        const auto it = m_streams.find(key);
        if (it != m_streams.end()) {
            old = *it;
            if (!wanted || old->avIndex() != avIndex)
                m_streams.erase(it);
        }
    }
    if (old && wanted && old->avIndex() == avIndex) {
        old->kick(); // video or audio was turned on: take what waits
        return;
    }
    if (old)
        old->stop();
    if (!wanted)
        return;
    const Device *device = channel->device();
    const auto source =
        device && device->isP2p() ? ChannelStream::Source::Pull : ChannelStream::Source::Push;
    auto stream = std::make_shared<ChannelStream>(this, channel, live, avIndex, source, m_audio);
    {
        std::lock_guard<std::mutex> lock(m_streamsLock);
        m_streams.insert(key, stream);
    }
    stream->start();
}

void Decode::releaseChannel(Channel *channel)
{
    ORVANE_ASSERT_GUI_THREAD();
    QList<std::shared_ptr<ChannelStream>> stopped;
    {
        std::lock_guard<std::mutex> lock(m_streamsLock);
        for (bool live : {true, false})
            if (std::shared_ptr<ChannelStream> s = m_streams.take(Key(channel, live)))
                stopped.append(s);
    }
    for (const auto &s : std::as_const(stopped))
        s->stop();
    m_mailbox->purge(channel);
}

void Decode::modeChanged()
{
    ORVANE_ASSERT_GUI_THREAD();
    const bool live = m_modeSource();
    if (m_liveMode.exchange(live) == live)
        return;
    QList<std::shared_ptr<ChannelStream>> streams;
    {
        std::lock_guard<std::mutex> lock(m_streamsLock);
        for (const auto &s : std::as_const(m_streams))
            if (s->live() == live)
                streams.append(s);
    }
    for (const auto &s : std::as_const(streams))
        s->kick();
}

void Decode::submitFrame(Channel *channel, bool live, int avIndex, ChannelBufferItem *item)
{
    std::shared_ptr<ChannelStream> s;
    {
        std::lock_guard<std::mutex> lock(m_streamsLock);
        s = m_streams.value(Key(channel, live));
    }
    // A frame of a stream closed meanwhile says nothing about the one open now.
    if (!s || s->avIndex() != avIndex) {
        delete item;
        return;
    }
    s->submit(item);
}

void Decode::streamReport(const ChannelStream &stream, int frames, int failure)
{
    ORVANE_ASSERT_GUI_THREAD();
    Channel *channel = stream.channel();
    const bool live = stream.live();
    // A report of a stream replaced meanwhile says nothing about the one open now.
    if (this->stream(channel, live).get() != &stream)
        return;
    if (frames > 0) {
        channel->setRxErrorCount(0, live);
        m_watch.frameArrived(channel, live, m_clock.elapsed());
        m_videoFrames += quint64(frames);
    }
    if (failure >= 0 || failure == AV_ER_DATA_NOREADY)
        return;
    if (m_watch.receiveFailed(channel, live, failure, isLinkLostCode(failure)) && m_linkLost) {
        m_linkLost(channel->device(), failure);
        return;
    }
    channel->setRxErrorCount(channel->rxErrorCount(live) + 1, live);
    emit receiveVideoData(channel, failure, errorText(failure));
}

void Decode::getData()
{
    ORVANE_ASSERT_GUI_THREAD();
    if (!m_running)
        return;
    modeChanged();
    watchStreams(m_liveMode.load());
}

void Decode::watchStreams(bool live)
{
    const qint64 now = m_clock.elapsed();
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
    const QList<StreamWatch::Stream> silent = m_watch.silentStreams(streaming, now);
    for (const StreamWatch::Stream &stream : silent) {
        qInfo().noquote() << QStringLiteral("no video for %1 s on %2 channel %3: restarting")
                                 .arg(StreamWatch::NoVideoMs / 1000)
                                 .arg(stream.first->device()->uid())
                                 .arg(stream.first->index() + 1);
        if (!stream.second)
            qDebug().noquote() << QStringLiteral("restart replay:%1,%2")
                                      .arg(stream.first->device()->uid())
                                      .arg(stream.first->index());
        emit noVideoMsg(stream.first, stream.second);
        if (m_restart)
            m_restart(stream.first, stream.second);
    }
}

void Decode::stopRun()
{
    m_running = false;
    m_timer.stop();
    QList<std::shared_ptr<ChannelStream>> streams;
    {
        std::lock_guard<std::mutex> lock(m_streamsLock);
        streams = m_streams.values();
        m_streams.clear();
    }
    for (const auto &s : std::as_const(streams))
        s->stop();
}
