#pragma once

#include "media/DecodeCode.h"
#include "model/ChannelSlot.h"

#include "av/AvHandles.h"

#include <cstdint>

class PictureExchange;

// The H.264/H.265 decoding operations on a channel's decoder set. Callers
// serialise all calls on one set (the slot's decode lock in Video).
namespace H26xDecoder {

// Codec ids of the frame information record.
constexpr uint16_t FrameCodecH264 = 78;
constexpr uint16_t FrameCodecH265 = 80;

// The FFmpeg codec id (AVCodecID) for a frame codec id; 0 (none) for any
// id other than 78 and 80.
int codecIdForFrame(uint16_t frameCodecId);

// How a decoder spends threads. LowDelay (live view): one thread, no
// reordering delay, so a picture is out as soon as its frame is in; many
// channels then share the cores one decoder each. Throughput (playback):
// on four cores or more, frame threads, each holding a frame back, for the
// fastest decoding of a single stream; one thread below that.
enum class Threading { LowDelay, Throughput };

// Sets up a decoder set for AV_CODEC_ID_H264 or AV_CODEC_ID_HEVC with
// initial picture size and time base 1/timeBaseDen. Returns Decoded, or the
// DecodeCode of the failed step. On failure the set is reset.
int setUp(VideoDecoderSet &set, int codecId, int width, int height, int timeBaseDen,
          Threading threading = Threading::LowDelay);

// Outcome of decode(): a DecodeCode (Decoded, NoPicture, SendFailed,
// ReceiveFailed, NoPictureBuffer, PictureTooLarge) and the
// size of the last picture published.
struct Result
{
    int code = 0;
    int width = 0;
    int height = 0;
    int pictures = 0;       // pictures published by this call
    uint32_t timestamp = 0; // frame record timestamp of the last picture
};

// Sends one complete frame to the decoder and publishes every picture it
// returns into out (8-bit 4:2:0 pictures by reference, other decoder
// formats converted through converter). set must be ready. timestamp and tag (the frame
// record's timestamp and reserved u32) travel with the frame through the
// decoder's delay and are published with the picture they belong to.
Result decode(VideoDecoderSet &set, SwsContextPtr &converter, const uint8_t *data, int size,
              uint32_t timestamp, uint32_t tag, PictureExchange &out);

} // namespace H26xDecoder
