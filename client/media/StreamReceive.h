#pragma once

#include <QtGlobal>

#include <cstdint>

struct ChannelBufferItem;
struct ChannelSlot;

// Taking frames out of the P2P library, and what is measured as they come:
// the steps of a stream's serial worker (ChannelStream).
//
// Threads: the stream's serial worker; the library calls go through
// sdkApi() (link/SdkApi.h).
namespace StreamReceive {

// Receives the next video frame of the AV channel. Returns the library's
// result: the frame's size (item then holds the frame, owned by the caller)
// or an error code (AV_ER_DATA_NOREADY when nothing waits; item null).
int receiveVideoFrame(int avIndex, ChannelBufferItem *&item);
// The same for audio: 0 when nothing is buffered (item null).
int receiveAudioFrame(int avIndex, ChannelBufferItem *&item);

// Counts a received video frame in the slot's counters and frame rate.
void countVideoFrame(ChannelSlot &slot, bool live, const ChannelBufferItem &item);

// Frame-rate measurement of a live slot by the wall clock (ms since epoch):
// counts the frames that follow the first one within 999 ms. Both values
// start at -1; a window start of -1 after the first frame means finished.
void measureLiveFrameRate(int &frameRate, qint64 &windowStart, qint64 nowMs);
// Frame-rate measurement of a playback slot by frame timestamp (seconds):
// counts the frames that follow the first one within the same second.
// Timestamps up to 999,999,999 are ignored.
void measurePlaybackFrameRate(int &frameRate, qint64 &windowStart, uint32_t timestamp);

} // namespace StreamReceive
