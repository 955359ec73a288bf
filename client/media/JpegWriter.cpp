#include "media/JpegWriter.h"

#include "av/AvError.h"

#include <QFile>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

namespace {

QString errorText(const char *what, int code)
{
    return QString::fromStdString(avErrorText(what, AvError(code)));
}

} // namespace

bool JpegWriter::take(const PictureExchange::Picture &picture)
{
    m_frame = makeAvFrame();
    if (!m_frame || picture.width < 2 || picture.height < 2)
        return false;
    AVFrame *f = m_frame.get();
    f->format = AV_PIX_FMT_YUV420P;
    f->width = picture.width;
    f->height = picture.height;
    if (av_frame_get_buffer(f, 0) < 0)
        return false;
    const uint8_t *planes[4] = {picture.planes[0], picture.planes[1], picture.planes[2], nullptr};
    const int strides[4] = {picture.strides[0], picture.strides[1], picture.strides[2], 0};
    av_image_copy(f->data, f->linesize, planes, strides, AV_PIX_FMT_YUV420P, picture.width,
                  picture.height);
    m_fullRange = picture.colour.fullRange;
    m_bt709 = picture.colour.bt709;
    return true;
}

bool JpegWriter::write(const QString &path, QString *error)
{
    if (!m_frame) {
        *error = QStringLiteral("no picture");
        return false;
    }
    const int w = m_frame->width;
    const int h = m_frame->height;

    // JPEG samples are full range: expand a limited-range picture.
    AvFramePtr full = makeAvFrame();
    if (!full) {
        *error = errorText("Could not allocate frame", AVERROR(ENOMEM));
        return false;
    }
    full->format = AV_PIX_FMT_YUVJ420P;
    full->width = w;
    full->height = h;
    int ret = av_frame_get_buffer(full.get(), 0);
    if (ret < 0) {
        *error = errorText("Could not allocate frame data", ret);
        return false;
    }
    SwsContextPtr sws(sws_getContext(w, h, AV_PIX_FMT_YUV420P, w, h, AV_PIX_FMT_YUVJ420P, SWS_POINT,
                                     nullptr, nullptr, nullptr));
    if (!sws) {
        *error = QStringLiteral("Could not set up the colour conversion");
        return false;
    }
    const int *matrix = sws_getCoefficients(m_bt709 ? SWS_CS_ITU709 : SWS_CS_ITU601);
    sws_setColorspaceDetails(sws.get(), matrix, m_fullRange ? 1 : 0, matrix, 1, 0, 1 << 16,
                             1 << 16);
    sws_scale(sws.get(), m_frame->data, m_frame->linesize, 0, h, full->data, full->linesize);
    full->color_range = AVCOL_RANGE_JPEG;

    const AVCodec *codec = avcodec_find_encoder(AV_CODEC_ID_MJPEG);
    AvCodecContextPtr encoder = makeAvCodecContext(codec);
    if (!codec || !encoder) {
        *error = QStringLiteral("Codec not found.");
        return false;
    }
    AVCodecContext *c = encoder.get();
    c->codec_type = AVMEDIA_TYPE_VIDEO;
    c->pix_fmt = AV_PIX_FMT_YUVJ420P;
    c->color_range = AVCOL_RANGE_JPEG;
    c->width = w;
    c->height = h;
    c->time_base = AVRational{1, 25};
    c->flags |= AV_CODEC_FLAG_QSCALE;
    c->global_quality = FF_QP2LAMBDA * 2; // high quality
    ret = avcodec_open2(c, codec, nullptr);
    if (ret < 0) {
        *error = errorText("Could not open codec.", ret);
        return false;
    }
    AvPacketPtr packet = makeAvPacket();
    full->pts = 0;
    full->quality = c->global_quality;
    ret = packet ? avcodec_send_frame(c, full.get()) : AVERROR(ENOMEM);
    if (ret >= 0)
        ret = avcodec_receive_packet(c, packet.get());
    if (ret < 0) {
        *error = errorText("Error during encoding", ret);
        return false;
    }

    const QByteArray name = QFile::encodeName(path);
    AVFormatContext *raw = nullptr;
    ret = avformat_alloc_output_context2(&raw, nullptr, "mjpeg", name.constData());
    AvOutputFormatPtr format(raw);
    AVStream *stream = raw ? avformat_new_stream(raw, nullptr) : nullptr;
    if (ret < 0 || !stream) {
        *error = errorText("Could not allocate the output", ret < 0 ? ret : AVERROR(ENOMEM));
        return false;
    }
    stream->time_base = c->time_base;
    avcodec_parameters_from_context(stream->codecpar, c);
    ret = avio_open(&raw->pb, name.constData(), AVIO_FLAG_WRITE);
    if (ret >= 0)
        ret = avformat_write_header(raw, nullptr);
    if (ret >= 0) {
        packet->stream_index = stream->index;
        ret = av_write_frame(raw, packet.get());
    }
    if (ret >= 0)
        ret = av_write_trailer(raw);
    if (ret >= 0 && raw->pb->error < 0)
        ret = raw->pb->error;
    if (ret >= 0) {
        ret = avio_closep(&raw->pb);
    }
    if (ret < 0) {
        *error = errorText("Error writing the picture", ret);
        return false;
    }
    return true;
}
