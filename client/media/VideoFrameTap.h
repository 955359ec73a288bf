#pragma once

class Channel;
struct ChannelBufferItem;

// Receives every video frame that the decode step accepts, in decode order,
// before it is decoded: the place where local recording writes frames into
// its file, closes a finished file and takes a pending snapshot.
//
// Threads: called from pool threads under Video's decode lock, so calls for
// all channels are serialised. The item stays owned by the decode step.
class VideoFrameTap
{
public:
    virtual ~VideoFrameTap() = default;
    // item: a frame with a supported codec and flags, after the key-frame
    // wait; recordKeySeen of the slot is already updated.
    virtual void videoFrame(Channel *channel, bool live, const ChannelBufferItem &item) = 0;
};
