#include "media/StreamReceive.h"

#include "link/ChannelBufferItem.h"
#include "link/SdkApi.h"
#include "media/Decode.h"
#include "media/MediaEvents.h"
#include "model/Channel.h"

#include <p2p/p2p.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QMutexLocker>

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

void receiveVideo(Decode *decode, bool live, Channel *channel)
{
    {
        QMutexLocker lock(&decode->videoLock());
        ChannelSlot &slot = channel->slot(live);
        const SdkApi &api = sdkApi();
        for (int n = 0; n < MaxFramesPerStep; ++n) {
            const int avIndex = slot.avIndex.load();
            if (avIndex < 0)
                break;
            auto *item = new ChannelBufferItem(FrameBufferPool::video());
            int result = AV_ER_MEM_INSUFF;
            if (item->data) {
                int actualSize = 0;
                int expectedSize = 0;
                int infoSize = 0;
                unsigned int frameNumber = 0;
                result = api.recvFrame(avIndex, reinterpret_cast<char *>(item->data),
                                       item->capacity, &actualSize, &expectedSize,
                                       reinterpret_cast<char *>(item->frameInfo),
                                       ChannelBufferItem::FrameInfoSize, &infoSize, &frameNumber);
                item->frameNumber = frameNumber;
            }
            item->size = result;
            if (result < 0 && n > 0 && result == AV_ER_DATA_NOREADY) {
                // Everything buffered has been taken; that is no failure.
                delete item;
                break;
            }
            if (result >= 0) {
                StreamCounters &counters = slot.counters;
                StreamCounters::add(counters.framesReceived);
                StreamCounters::add(counters.bytesReceived, quint64(result));
                counters.codecId.store(item->codecId(), std::memory_order_relaxed);
            }
            // Only frames count: a failed call carries no frame.
            if (result >= 0 && live)
                measureLiveFrameRate(slot.frameRate, slot.frameRateWindowStart,
                                     QDateTime::currentMSecsSinceEpoch());
            else if (result >= 0)
                measurePlaybackFrameRate(slot.frameRate, slot.frameRateWindowStart,
                                         item->timestamp());
            auto *event = new DecodeEvent_getVideo(channel, live, result, item);
            event->avIndex = avIndex;
            QCoreApplication::postEvent(decode, event);
            if (result < 0)
                break;
        }
    }
    decode->receiveFinished(channel, live, true);
}

void receiveAudio(Decode *decode, bool live, Channel *channel)
{
    {
        QMutexLocker lock(&decode->audioLock());
        ChannelSlot &slot = channel->slot(live);
        const SdkApi &api = sdkApi();
        for (int n = 0; n < MaxFramesPerStep; ++n) {
            const int avIndex = slot.avIndex.load();
            if (avIndex < 0)
                break;
            const bool buffered = api.checkAudio(avIndex) != 0;
            if (!buffered && n > 0)
                break;
            auto *item = new ChannelBufferItem(FrameBufferPool::audio());
            int result = 0;
            if (buffered) {
                unsigned int frameNumber = 0;
                result = item->data ? api.recvAudio(avIndex, reinterpret_cast<char *>(item->data),
                                                    item->capacity,
                                                    reinterpret_cast<char *>(item->frameInfo),
                                                    ChannelBufferItem::FrameInfoSize, &frameNumber)
                                    : AV_ER_MEM_INSUFF;
                item->frameNumber = frameNumber;
            }
            item->size = result;
            QCoreApplication::postEvent(decode,
                                        new DecodeEvent_getAudio(channel, live, result, item));
            if (result <= 0)
                break;
        }
    }
    decode->receiveFinished(channel, live, false);
}

} // namespace StreamReceive
