#pragma once

#include <memory>

// Owning handles for the FFmpeg objects kept in a Channel. The deleters are
// defined out of line so that headers need no FFmpeg includes.
struct AVPacket;
struct AVFrame;
struct AVCodecContext;
struct AVCodecParserContext;
struct AVFormatContext;

struct AvPacketDeleter
{
    void operator()(AVPacket *p) const;
};
struct AvFrameDeleter
{
    void operator()(AVFrame *f) const;
};
struct AvCodecContextDeleter
{
    void operator()(AVCodecContext *c) const;
};
struct AvParserDeleter
{
    void operator()(AVCodecParserContext *p) const;
};
// Frees an output format context: closes its I/O context when the muxer
// opened one (no trailer is written), then frees the context.
struct AvOutputFormatDeleter
{
    void operator()(AVFormatContext *f) const;
};

using AvPacketPtr = std::unique_ptr<AVPacket, AvPacketDeleter>;
using AvFramePtr = std::unique_ptr<AVFrame, AvFrameDeleter>;
using AvCodecContextPtr = std::unique_ptr<AVCodecContext, AvCodecContextDeleter>;
using AvParserPtr = std::unique_ptr<AVCodecParserContext, AvParserDeleter>;
using AvOutputFormatPtr = std::unique_ptr<AVFormatContext, AvOutputFormatDeleter>;
