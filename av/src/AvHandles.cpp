#include "av/AvHandles.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

void AvPacketDeleter::operator()(AVPacket *p) const
{
    av_packet_free(&p);
}

void AvFrameDeleter::operator()(AVFrame *f) const
{
    av_frame_free(&f);
}

void AvCodecContextDeleter::operator()(AVCodecContext *c) const
{
    avcodec_free_context(&c);
}

void AvParserDeleter::operator()(AVCodecParserContext *p) const
{
    av_parser_close(p);
}

void AvInputFormatDeleter::operator()(AVFormatContext *f) const
{
    avformat_close_input(&f);
}

void AvOutputFormatDeleter::operator()(AVFormatContext *f) const
{
    if (!f)
        return;
    if (f->oformat && !(f->oformat->flags & AVFMT_NOFILE))
        avio_closep(&f->pb);
    avformat_free_context(f);
}

void SwsContextDeleter::operator()(SwsContext *c) const
{
    sws_freeContext(c);
}

void SwrContextDeleter::operator()(SwrContext *c) const
{
    swr_free(&c);
}

void AvDictionaryDeleter::operator()(AVDictionary *d) const
{
    av_dict_free(&d);
}

AvPacketPtr makeAvPacket()
{
    return AvPacketPtr(av_packet_alloc());
}

AvFramePtr makeAvFrame()
{
    return AvFramePtr(av_frame_alloc());
}

AvCodecContextPtr makeAvCodecContext(const AVCodec *codec)
{
    return AvCodecContextPtr(avcodec_alloc_context3(codec));
}

AvParserPtr makeAvParser(int codecId)
{
    return AvParserPtr(av_parser_init(codecId));
}
