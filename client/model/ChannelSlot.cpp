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

void RecordOutputStream::reset()
{
    encoder.reset();
    frame.reset();
    tmpFrame.reset();
    stream = nullptr;
    nextPts = 0;
}

ChannelSlot::~ChannelSlot()
{
    deleteRecordTimer();
    // Encoders before the format context that owns the streams.
    videoStream.reset();
    audioStream.reset();
    formatContext.reset();
}

void ChannelSlot::deleteRecordTimer()
{
    if (!recordTimer)
        return;
    recordTimer->stop();
    delete recordTimer;
    recordTimer = nullptr;
}
