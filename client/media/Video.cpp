#include "media/Video.h"

#include "link/ChannelBufferItem.h"
#include "media/FfmpegLog.h"
#include "link/GuiMailbox.h"
#include "media/H26xDecoder.h"
#include "link/WorkerPool.h"
#include "media/PictureExchange.h"
#include "media/VideoFrameTap.h"
#include "model/Channel.h"
#include "model/SharedInstance.h"

#include <QDebug>

using namespace DecodeCode;

#include <algorithm>
#include <deque>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
}

struct Video::SlotState
{
    std::mutex decodeLock; // serialises the decoding of this slot, teardown included
    const std::shared_ptr<PictureExchange> pictures = std::make_shared<PictureExchange>();
    SwsContextPtr converter;               // decode lock
    std::deque<ChannelBufferItem *> queue; // state lock
    bool draining = false;                 // state lock: a drain task runs
    std::atomic<bool> resync{false};       // frames were dropped: wait for a key frame
    bool skipping = false; // decode lock: the channel is not seen; decoding resumes at a key frame
};

struct Video::ChannelState
{
    SlotState live;
    SlotState replay;
    SlotState &slot(bool isLive) { return isLive ? live : replay; }

    ~ChannelState()
    {
        for (SlotState *s : {&live, &replay})
            for (ChannelBufferItem *item : s->queue)
                delete item;
    }
};

Video *Video::instance()
{
    return SharedInstance<Video>::get();
}

Video::Video(QObject *parent)
    : QObject(parent)
    , m_mailbox(new GuiMailbox(this))
{
    qRegisterMetaType<Channel *>("Channel*");
    FfmpegLog::install();
}

Video::~Video() = default;

std::shared_ptr<Video::ChannelState> Video::state(Channel *channel)
{
    std::lock_guard<std::mutex> lock(m_stateLock);
    std::shared_ptr<ChannelState> &st = m_states[channel];
    if (!st)
        st = std::make_shared<ChannelState>();
    return st;
}

std::shared_ptr<PictureExchange> Video::pictures(Channel *channel, bool live)
{
    return state(channel)->slot(live).pictures;
}

void Video::setFrameTap(VideoFrameTap *tap)
{
    m_tap = tap;
}

void Video::decodeFrame(Channel *channel, bool live, ChannelBufferItem *item)
{
    std::shared_ptr<ChannelState> st = state(channel);
    std::vector<ChannelBufferItem *> dropped;
    bool start = false;
    {
        std::lock_guard<std::mutex> lock(m_stateLock);
        SlotState &slot = st->slot(live);
        if (int(slot.queue.size()) >= MaxQueuedFrames) {
            // Decoding cannot keep up: drop the backlog and start again at
            // the next key frame rather than fall ever further behind.
            dropped.assign(slot.queue.begin(), slot.queue.end());
            slot.queue.clear();
            slot.resync = true;
        }
        slot.queue.push_back(item);
        if (!slot.draining) {
            slot.draining = true;
            start = true;
        }
    }
    if (!dropped.empty()) {
        m_droppedFrames += dropped.size();
        StreamCounters::add(channel->slot(live).counters.framesDropped, dropped.size());
        qWarning() << "video decoding behind, frames dropped:" << dropped.size();
        for (ChannelBufferItem *d : dropped)
            delete d;
    }
    if (start)
        WorkerPool::media().post([this, channel, live, st] { drain(channel, live, st); });
}

void Video::drain(Channel *channel, bool live, std::shared_ptr<ChannelState> st)
{
    SlotState &slot = st->slot(live);
    for (;;) {
        ChannelBufferItem *item = nullptr;
        {
            std::lock_guard<std::mutex> lock(m_stateLock);
            if (slot.queue.empty()) {
                slot.draining = false;
                return;
            }
            item = slot.queue.front();
            slot.queue.pop_front();
        }
        std::lock_guard<std::mutex> decodeLock(slot.decodeLock);
        decodeLocked(live, channel, item, slot);
    }
}

void Video::decodeStep(Video *video, bool live, Channel *channel, ChannelBufferItem *item)
{
    std::shared_ptr<ChannelState> st = video->state(channel);
    SlotState &slot = st->slot(live);
    std::lock_guard<std::mutex> decodeLock(slot.decodeLock);
    video->decodeLocked(live, channel, item, slot);
}

void Video::post(Channel *channel, bool live, int code, ChannelBufferItem *item, int width,
                 int height, const uint *pictureTimestamp)
{
    delete item; // the frame is done with; only the outcome travels
    StreamCounters &counters = channel->slot(live).counters;
    if (code == Decoded)
        StreamCounters::add(counters.framesDecoded);
    else if (code != NoPicture)
        StreamCounters::add(counters.framesDropped);
    // A picture carries its own frame's timestamp (the decoder may hold
    // frames back); other outcomes the last frame's.
    const uint ts =
        pictureTimestamp ? *pictureTimestamp : channel->slot(live).lastFrameTimestamp.load();
    if (code != Decoded)
        width = height = 0;
    m_mailbox->post(channel, [this, channel, live, code, width, height, ts] {
        delivered(channel, live, code, width, height, ts);
    });
}

void Video::delivered(Channel *channel, bool live, int code, int width, int height, uint timestamp)
{
    emit decodeOutcome(channel, live, code, width, height);
    if (code != Decoded)
        return;
    ++m_decodedFrames;
    emit decodeSuccess(channel, live, width, height, timestamp);
}

void Video::decodeLocked(bool live, Channel *channel, ChannelBufferItem *item, SlotState &state)
{
    ChannelSlot &slot = channel->slot(live);
    if (!slot.videoOn) {
        delete item; // the stream was stopped while the frame waited
        return;
    }
    const int codecId = H26xDecoder::codecIdForFrame(item->codecId());
    if (codecId == AV_CODEC_ID_NONE) {
        post(channel, live, Rejected, item, 0, 0);
        return;
    }
    slot.lastFrameTimestamp.store(item->timestamp());

    const bool key = item->flags() == 1;
    if (slot.waitKeyFrame) {
        if (!key) {
            post(channel, live, Rejected, item, 0, 0);
            return;
        }
        slot.waitKeyFrame = false;
        m_mailbox->post(channel, [this, channel] { emit iCommingMsg(channel); });
    }
    if (state.resync) {
        if (!key) {
            post(channel, live, Rejected, item, 0, 0);
            return;
        }
        state.resync = false;
    }
    if (slot.recording && key && !slot.recordKeySeen)
        slot.recordKeySeen = true;
    if (item->flags() > 1) {
        post(channel, live, Rejected, item, 0, 0);
        return;
    }
    // A channel nobody sees is not decoded; when it is seen again decoding
    // resumes at the next key frame. Recording goes on meanwhile.
    if (!channel->seen())
        state.skipping = true;
    else if (state.skipping && key)
        state.skipping = false;
    if (state.skipping) {
        if (VideoFrameTap *tap = m_tap.load())
            tap->videoFrame(channel, live, *item);
        delete item;
        return;
    }
    if (!slot.videoDecoder.ready()) {
        // Live view wants every picture at once; playback wants throughput.
        const auto threading =
            live ? H26xDecoder::Threading::LowDelay : H26xDecoder::Threading::Throughput;
        const int ret = H26xDecoder::setUp(slot.videoDecoder, codecId, InitialWidth, InitialHeight,
                                           InitialTimeBaseDen, threading);
        if (ret < 0) {
            qWarning() << "video decoder set-up failed at step" << ret;
            post(channel, live, Rejected, item, 0, 0);
            return;
        }
    }
    if (VideoFrameTap *tap = m_tap.load())
        tap->videoFrame(channel, live, *item);
    if (item->size < 1) {
        post(channel, live, Rejected, item, 0, 0);
        return;
    }
    // Playback pictures keep the milliseconds of their recording time, so
    // that cells playing side by side can be held in step.
    const uint32_t tag = !live && item->recordMs() >= 0
                             ? PictureExchange::RecordMsTag | uint32_t(item->recordMs())
                             : item->tag();
    const H26xDecoder::Result r = H26xDecoder::decode(
        slot.videoDecoder, state.converter, item->data, std::min(item->size, item->capacity),
        item->timestamp(), tag, *state.pictures);
    if (r.code == Decoded) {
        slot.pictureWidth = r.width;
        slot.pictureHeight = r.height;
        slot.counters.setPictureSize(r.width, r.height);
    }
    post(channel, live, r.code, item, r.width, r.height,
         r.code == Decoded ? &r.timestamp : nullptr);
}

int Video::setUpDecoder(Channel *channel, bool live, int codecId, int width, int height,
                        int timeBaseDen)
{
    std::shared_ptr<ChannelState> st = state(channel);
    std::lock_guard<std::mutex> decodeLock(st->slot(live).decodeLock);
    return H26xDecoder::setUp(channel->slot(live).videoDecoder, codecId, width, height, timeBaseDen,
                              live ? H26xDecoder::Threading::LowDelay
                                   : H26xDecoder::Threading::Throughput);
}

void Video::tearDownDecoder(Channel *channel, bool live, bool keepPicture)
{
    std::shared_ptr<ChannelState> st;
    std::deque<ChannelBufferItem *> waiting;
    {
        std::lock_guard<std::mutex> lock(m_stateLock);
        st = m_states.value(channel);
        if (st)
            waiting.swap(st->slot(live).queue);
    }
    for (ChannelBufferItem *item : waiting)
        delete item;
    if (!st)
        st = state(channel);
    SlotState &s = st->slot(live);
    std::lock_guard<std::mutex> decodeLock(s.decodeLock);
    ChannelSlot &slot = channel->slot(live);
    slot.videoDecoder.reset();
    slot.pictureWidth = 0;
    slot.pictureHeight = 0;
    s.converter.reset();
    if (!keepPicture) {
        s.pictures->clear();
        slot.counters.setPictureSize(0, 0);
    }
    s.resync = false;
    s.skipping = false;
}

void Video::releaseChannel(Channel *channel)
{
    tearDownDecoder(channel, true);
    tearDownDecoder(channel, false);
    m_mailbox->purge(channel);
    std::lock_guard<std::mutex> lock(m_stateLock);
    m_states.remove(channel);
}

void Video::showImageFinish(Channel *channel, uint timestamp)
{
    emit showImageFinishMsg(channel, timestamp);
}
