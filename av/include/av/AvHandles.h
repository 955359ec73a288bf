#pragma once

#include <memory>

// Owning handles for FFmpeg objects, the one place in the tree that frees
// them. The deleters are defined out of line so that headers need no FFmpeg
// includes. The make…() factories return null when FFmpeg is out of memory.
struct AVPacket;
struct AVFrame;
struct AVCodec;
struct AVCodecContext;
struct AVCodecParserContext;
struct AVFormatContext;
struct SwsContext;
struct SwrContext;
struct AVDictionary;

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
// Frees an input format context opened by avformat_open_input.
struct AvInputFormatDeleter
{
    void operator()(AVFormatContext *f) const;
};
// Frees an output format context: closes its I/O context when the muxer
// opened one (no trailer is written), then frees the context.
struct AvOutputFormatDeleter
{
    void operator()(AVFormatContext *f) const;
};
struct SwsContextDeleter
{
    void operator()(SwsContext *c) const;
};
struct SwrContextDeleter
{
    void operator()(SwrContext *c) const;
};

// Frees an options dictionary (what avformat_open_input and the like left
// unused in it).
struct AvDictionaryDeleter
{
    void operator()(AVDictionary *d) const;
};

using AvPacketPtr = std::unique_ptr<AVPacket, AvPacketDeleter>;
using AvFramePtr = std::unique_ptr<AVFrame, AvFrameDeleter>;
using AvCodecContextPtr = std::unique_ptr<AVCodecContext, AvCodecContextDeleter>;
using AvParserPtr = std::unique_ptr<AVCodecParserContext, AvParserDeleter>;
using AvInputFormatPtr = std::unique_ptr<AVFormatContext, AvInputFormatDeleter>;
using AvOutputFormatPtr = std::unique_ptr<AVFormatContext, AvOutputFormatDeleter>;
using SwsContextPtr = std::unique_ptr<SwsContext, SwsContextDeleter>;
using SwrContextPtr = std::unique_ptr<SwrContext, SwrContextDeleter>;
using AvDictionaryPtr = std::unique_ptr<AVDictionary, AvDictionaryDeleter>;

AvPacketPtr makeAvPacket();
AvFramePtr makeAvFrame();
AvCodecContextPtr makeAvCodecContext(const AVCodec *codec);
// A parser for the codec id, or null when FFmpeg has none.
AvParserPtr makeAvParser(int codecId);
