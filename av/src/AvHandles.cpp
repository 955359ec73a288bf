#include "model/AvHandles.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
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

void AvOutputFormatDeleter::operator()(AVFormatContext *f) const
{
    if (!f)
        return;
    if (f->oformat && !(f->oformat->flags & AVFMT_NOFILE))
        avio_closep(&f->pb);
    avformat_free_context(f);
}
