#pragma once

class Channel;
struct ChannelBufferItem;

// Receives every video frame that the decode step accepts, in decode order,
// before it is decoded: the place where local recording writes frames into
// its file, closes a finished file and takes a pending snapshot.
//
// Threads: called from pool threads under the decode lock of the frame's
// (channel, mode), so calls for one stream are serialised and calls for
// different channels may run at once. The item stays owned by the decode
// step.
class VideoFrameTap
{
public:
    virtual ~VideoFrameTap() = default;
    // item: a frame with a supported codec and flags, after the key-frame
    // wait; recordKeySeen of the slot is already updated.
    virtual void videoFrame(Channel *channel, bool live, const ChannelBufferItem &item) = 0;
};
