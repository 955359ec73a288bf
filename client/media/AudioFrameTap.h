#pragma once

#include <cstdint>

class Channel;
struct ChannelBufferItem;

// Receives every decoded audio block of a channel (8000 Hz mono 16-bit PCM) with the
// frame's record, before volume. Called from pool threads, under the channel's audio
// decode lock; calls for one (channel, mode) are serialised.
class AudioFrameTap
{
public:
    virtual ~AudioFrameTap() = default;
    virtual void audioSamples(Channel *channel, bool live, const int16_t *samples, int count,
                              const ChannelBufferItem &item) = 0;
};
