#include "media/StreamReceive.h"

#include "link/ChannelBufferItem.h"
#include "link/SdkApi.h"
#include "model/ChannelSlot.h"

#include <p2p/p2p.h>

#include <QDateTime>

namespace StreamReceive {

void measureLiveFrameRate(int &frameRate, qint64 &windowStart, qint64 nowMs)
{
    if (frameRate == -1) {
        frameRate = 0;
        windowStart = nowMs;
        return;
    }
    if (windowStart == -1 || nowMs == windowStart)
        return;
    if (nowMs - windowStart > 999) {
        windowStart = -1;
        return;
    }
    ++frameRate;
}

void measurePlaybackFrameRate(int &frameRate, qint64 &windowStart, uint32_t timestamp)
{
    if (timestamp <= 999999999u)
        return;
    if (frameRate == -1) {
        frameRate = 0;
        if (windowStart == -1)
            windowStart = timestamp;
        return;
    }
    if (windowStart == -1)
        return;
    if (windowStart == qint64(timestamp))
        ++frameRate;
    else
        windowStart = -1;
}

int receiveVideoFrame(int avIndex, ChannelBufferItem *&item)
{
    item = nullptr;
    auto *frame = new ChannelBufferItem(FrameBufferPool::video());
    int result = AV_ER_MEM_INSUFF;
    if (frame->data) {
        int actualSize = 0;
        int expectedSize = 0;
        int infoSize = 0;
        unsigned int frameNumber = 0;
        uint8_t info[ChannelBufferItem::FrameInfoSize] = {};
        result = sdkApi().recvFrame(avIndex, reinterpret_cast<char *>(frame->data), frame->capacity,
                                    &actualSize, &expectedSize, reinterpret_cast<char *>(info),
                                    ChannelBufferItem::FrameInfoSize, &infoSize, &frameNumber);
        frame->setFrameInfo(info);
        frame->frameNumber = frameNumber;
    }
    if (result < 0) {
        delete frame;
        return result;
    }
    frame->size = result;
    item = frame;
    return result;
}

int receiveAudioFrame(int avIndex, ChannelBufferItem *&item)
{
    item = nullptr;
    const SdkApi &api = sdkApi();
    if (api.checkAudio(avIndex) <= 0)
        return 0;
    auto *frame = new ChannelBufferItem(FrameBufferPool::audio());
    int result = AV_ER_MEM_INSUFF;
    if (frame->data) {
        unsigned int frameNumber = 0;
        uint8_t info[ChannelBufferItem::FrameInfoSize] = {};
        result = api.recvAudio(avIndex, reinterpret_cast<char *>(frame->data), frame->capacity,
                               reinterpret_cast<char *>(info), ChannelBufferItem::FrameInfoSize,
                               &frameNumber);
        frame->setFrameInfo(info);
        frame->frameNumber = frameNumber;
    }
    if (result <= 0) {
        delete frame;
        return result;
    }
    frame->size = result;
    item = frame;
    return result;
}

void countVideoFrame(ChannelSlot &slot, bool live, const ChannelBufferItem &item)
{
    StreamCounters &counters = slot.counters;
    StreamCounters::add(counters.framesReceived);
    StreamCounters::add(counters.bytesReceived, quint64(qMax(item.size, 0)));
    counters.codecId.store(item.codecId(), std::memory_order_relaxed);
    if (live)
        measureLiveFrameRate(slot.frameRate, slot.frameRateWindowStart,
                             QDateTime::currentMSecsSinceEpoch());
    else
        measurePlaybackFrameRate(slot.frameRate, slot.frameRateWindowStart, item.timestamp());
}

} // namespace StreamReceive
