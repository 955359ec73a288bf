#include "model/ChannelSlot.h"

#include "model/ChannelSaveTimeout.h"

void VideoDecoderSet::reset()
{
    parser.reset();
    context.reset();
    frame.reset();
    packet.reset();
    codec = nullptr;
}

void AudioDecoderSet::reset()
{
    context.reset();
    frame.reset();
    packet.reset();
    codec = nullptr;
}

ChannelSlot::~ChannelSlot()
{
    deleteRecordTimer();
}

void ChannelSlot::deleteRecordTimer()
{
    if (!recordTimer)
        return;
    recordTimer->stop();
    delete recordTimer;
    recordTimer = nullptr;
}
