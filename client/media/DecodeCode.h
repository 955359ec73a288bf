#pragma once

// Result codes of the video decoder: 0 or above is success, the negative
// codes travel in the decode events to the view cells and the logs.
namespace DecodeCode {
enum Code : int {
    Decoded = 0,            // a picture was published (or the set-up succeeded)
    FrameAllocFailed = -1,  // set-up: no frame
    NoPicture = -2,         // accepted, no picture yet (or decoder ended)
    PacketAllocFailed = -3, // set-up: no packet
    DecoderNotFound = -4,   // set-up: FFmpeg has no decoder for the codec
    CodecNotAccepted = -5,  // set-up: neither H.264 nor H.265
    ParserFailed = -6,      // set-up: no parser
    ContextFailed = -7,     // set-up: no codec context
    OpenFailed = -8,        // set-up: avcodec_open2 failed
    SendFailed = -9,        // avcodec_send_packet failed
    ReceiveFailed = -10,    // avcodec_receive_frame failed, or an unusable picture
    NoPictureBuffer = -11,  // picture memory could not be allocated
    Rejected = -12,         // codec/flags not supported, waiting for a key frame,
                            // decoder set-up failed, or empty frame
    PictureTooLarge = -13,  // larger than 3840 x 2160 (12,441,600 bytes)
};
} // namespace DecodeCode
