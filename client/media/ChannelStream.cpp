#include "media/ChannelStream.h"

#include "link/ChannelBufferItem.h"
#include "link/SdkApi.h"
#include "media/Decode.h"
#include "link/GuiMailbox.h"
#include "media/StreamReceive.h"
#include "media/Video.h"
#include "model/Channel.h"

#include <QDebug>

namespace {
constexpr uint16_t AudioCodecFirst = 136;
constexpr uint16_t AudioCodecLast = 143;
} // namespace

ChannelStream::ChannelStream(Decode *decode, Channel *channel, bool live, int avIndex,
                             Source source, AudioHandler audio)
    : m_decode(decode)
    , m_channel(channel)
    , m_live(live)
    , m_avIndex(avIndex)
    , m_source(source)
    , m_audio(std::move(audio))
{}

ChannelStream::~ChannelStream() = default;

void ChannelStream::start()
{
    if (m_source == Source::Pull) {
        const int r = sdkApi().setFrameReady(m_avIndex, &ChannelStream::onReady, this);
        if (r < 0)
            qWarning() << "frame notification refused for AV channel" << m_avIndex << r;
    }
    kick();
}

void ChannelStream::stop()
{
    if (m_stopped.exchange(true))
        return;
    if (m_source == Source::Pull)
        sdkApi().setFrameReady(m_avIndex, nullptr, nullptr);
    if (!m_queue.drain())
        qWarning() << "stream worker of AV channel" << m_avIndex << "still busy at its stop";
}

void ChannelStream::kick()
{
    if (m_source != Source::Pull)
        return;
    scheduleVideo();
    scheduleAudio();
}

void ChannelStream::onReady(int, int kind, void *context)
{
    auto *stream = static_cast<ChannelStream *>(context);
    if (kind == P2P_READY_AUDIO) {
        stream->scheduleAudio();
        return;
    }
    // A close is read by the next receive, which reports its code.
    stream->scheduleVideo();
}

void ChannelStream::scheduleVideo()
{
    schedule(m_videoScheduled, &ChannelStream::drainVideo);
}

void ChannelStream::scheduleAudio()
{
    schedule(m_audioScheduled, &ChannelStream::drainAudio);
}

void ChannelStream::schedule(std::atomic<bool> &scheduled, void (ChannelStream::*drain)())
{
    if (m_stopped.load() || scheduled.exchange(true))
        return;
    std::shared_ptr<ChannelStream> self = shared_from_this();
    m_queue.post([self, &scheduled, drain] {
        // Cleared first: what arrives while this task runs schedules another.
        scheduled.store(false);
        (self.get()->*drain)();
    });
}

void ChannelStream::drainVideo()
{
    if (m_stopped.load() || !m_decode->isCurrentMode(m_live) || !m_channel->videoOn(m_live))
        return;
    Video *video = m_decode->video();
    ChannelSlot &slot = m_channel->slot(m_live);
    int frames = 0;
    int failure = 0;
    for (int n = 0; n < MaxFramesPerTask; ++n) {
        if (m_stopped.load())
            break;
        ChannelBufferItem *item = nullptr;
        const int result = StreamReceive::receiveVideoFrame(m_avIndex, item);
        if (result == AV_ER_DATA_NOREADY)
            break;
        if (result < 0) {
            failure = result;
            break;
        }
        ++frames;
        StreamReceive::countVideoFrame(slot, m_live, *item);
        Video::decodeStep(video, m_live, m_channel, item);
        if (n + 1 == MaxFramesPerTask)
            scheduleVideo(); // more may wait: after the other streams' turn
    }
    report(frames, failure);
}

void ChannelStream::drainAudio()
{
    if (m_stopped.load() || !m_decode->isCurrentMode(m_live) || !m_channel->audioOn(m_live))
        return;
    for (int n = 0; n < MaxFramesPerTask; ++n) {
        ChannelBufferItem *item = nullptr;
        const int result = StreamReceive::receiveAudioFrame(m_avIndex, item);
        if (result <= 0)
            return;
        m_decode->countAudioFrame();
        const uint16_t codec = item->codecId();
        if (codec < AudioCodecFirst || codec > AudioCodecLast || !m_audio) {
            delete item;
            continue;
        }
        item->audioLength = result;
        m_audio(m_channel, m_live, item);
    }
    scheduleAudio();
}

void ChannelStream::submit(ChannelBufferItem *item)
{
    if (m_stopped.load()) {
        delete item;
        return;
    }
    const uint16_t codec = item->codecId();
    if (codec >= AudioCodecFirst && codec <= AudioCodecLast) {
        // Sound goes to the player while it is listened to in the current mode.
        if (!m_audio || !m_decode->isCurrentMode(m_live) || !m_channel->audioOn(m_live)) {
            delete item;
            return;
        }
        m_decode->countAudioFrame();
        item->audioLength = item->size;
        m_audio(m_channel, m_live, item);
        return;
    }
    StreamReceive::countVideoFrame(m_channel->slot(m_live), m_live, *item);
    report(1, 0);
    m_decode->video()->decodeFrame(m_channel, m_live, item);
}

void ChannelStream::report(int frames, int failure)
{
    if (frames == 0 && failure == 0)
        return;
    {
        std::lock_guard<std::mutex> lock(m_reportLock);
        m_arrived += frames;
        if (failure) {
            m_failures.push_back({m_arrived, failure});
            m_arrived = 0;
        }
        if (m_reportPosted)
            return;
        m_reportPosted = true;
    }
    std::shared_ptr<ChannelStream> self = shared_from_this();
    m_decode->mailbox()->post(m_channel, [self] { self->deliverReport(); });
}

void ChannelStream::deliverReport()
{
    std::vector<Failure> failures;
    int arrived = 0;
    {
        std::lock_guard<std::mutex> lock(m_reportLock);
        failures.swap(m_failures);
        arrived = m_arrived;
        m_arrived = 0;
        m_reportPosted = false;
    }
    for (const Failure &f : failures) {
        if (m_stopped.load())
            return;
        m_decode->streamReport(*this, f.framesBefore, f.code);
    }
    if (arrived && !m_stopped.load())
        m_decode->streamReport(*this, arrived, 0);
}
