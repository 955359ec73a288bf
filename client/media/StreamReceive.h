#pragma once

#include <QtGlobal>

#include <cstdint>

class Channel;
class Decode;

// The receive steps: fetch the frames waiting in the P2P library for one
// channel and mode and post each to Decode as a DecodeEvent_getVideo or
// DecodeEvent_getAudio, together with the frame-rate measurement.
//
// Threads: the steps run on the global thread pool; all video steps share
// Decode's video lock and all audio steps its audio lock.
namespace StreamReceive {

// Most frames one step takes, so that one busy channel cannot starve the
// others within a 50 ms tick (8 frames per tick allow up to 160 fps).
constexpr int MaxFramesPerStep = 8;

// The library calls go through sdkApi() (link/SdkApi.h).

// Video step: with a stream open in this mode, receives frames until the
// library has none left or MaxFramesPerStep were taken, posting one
// DecodeEvent_getVideo per frame. A step whose first call fails posts that
// failure; a step that already got frames ends quietly on "no data".
void receiveVideo(Decode *decode, bool live, Channel *channel);
// Audio step: the same for audio frames; a step that finds nothing buffered
// posts a result of 0 with an all-zero frame information record.
void receiveAudio(Decode *decode, bool live, Channel *channel);

// Frame-rate measurement of a live slot by the wall clock (ms since epoch):
// counts the frames that follow the first one within 999 ms. Both values
// start at -1; a window start of -1 after the first frame means finished.
void measureLiveFrameRate(int &frameRate, qint64 &windowStart, qint64 nowMs);
// Frame-rate measurement of a playback slot by frame timestamp (seconds):
// counts the frames that follow the first one within the same second.
// Timestamps up to 999,999,999 are ignored.
void measurePlaybackFrameRate(int &frameRate, qint64 &windowStart, uint32_t timestamp);

} // namespace StreamReceive
