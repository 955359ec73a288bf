#include "media/RecordFile.h"

#include "av/AvError.h"

#include <QFile>

#include <algorithm>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
}

namespace {

constexpr AVRational Millis{1, 1000};
constexpr AVRational VideoTimeBase{1, 90000};
// The AAC encoder's priming: its first packet starts this many samples
// before its first frame, so audio starts no earlier on the timeline.
constexpr int64_t AudioPrimingSamples = 1024;

// Start of the next Annex B start code at or after `from`; size when none.
int nextStartCode(const uint8_t *data, int size, int from)
{
    for (int i = from; i + 2 < size; ++i) {
        if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1)
            return i;
    }
    return size;
}

bool isParameterSet(int codecId, uint8_t header)
{
    if (codecId == AV_CODEC_ID_HEVC) {
        const int type = (header >> 1) & 0x3f;
        return type >= 32 && type <= 34; // VPS, SPS, PPS
    }
    const int type = header & 0x1f;
    return type == 7 || type == 8; // SPS, PPS
}

QString errorText(const char *what, int code)
{
    return QString::fromStdString(avErrorText(what, AvError(code)));
}

} // namespace

QByteArray RecordFile::parameterSets(int codecId, const uint8_t *data, int size)
{
    QByteArray out;
    int at = nextStartCode(data, size, 0);
    while (at < size) {
        const int begin = at + 3;
        int end = nextStartCode(data, size, begin);
        const int next = end;
        while (end > begin && data[end - 1] == 0) // trailing zeros / 4-byte start code
            --end;
        if (end > begin && isParameterSet(codecId, data[begin])) {
            out.append("\0\0\0\1", 4);
            out.append(reinterpret_cast<const char *>(data + begin), end - begin);
        }
        at = next;
    }
    return out;
}

bool RecordFile::isKeyUnit(int codecId, const uint8_t *data, int size)
{
    int at = nextStartCode(data, size, 0);
    while (at < size) {
        const int begin = at + 3;
        if (begin < size) {
            const uint8_t header = data[begin];
            if (codecId == AV_CODEC_ID_HEVC
                    ? ((header >> 1) & 0x3f) >= 16 && ((header >> 1) & 0x3f) <= 21 // IRAP
                    : (header & 0x1f) == 5)                                        // IDR
                return true;
        }
        at = nextStartCode(data, size, begin);
    }
    return false;
}

bool RecordFile::pictureSize(int codecId, const uint8_t *data, int size, int *width, int *height)
{
    AvParserPtr parser = makeAvParser(codecId);
    AvCodecContextPtr context = makeAvCodecContext(nullptr);
    if (!parser || !context || size < 1)
        return false;
    parser->flags |= PARSER_FLAG_COMPLETE_FRAMES;
    std::vector<uint8_t> padded(size_t(size) + AV_INPUT_BUFFER_PADDING_SIZE, 0);
    std::memcpy(padded.data(), data, size_t(size));
    uint8_t *out = nullptr;
    int outSize = 0;
    av_parser_parse2(parser.get(), context.get(), &out, &outSize, padded.data(), size,
                     AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
    *width = parser->width > 0 ? parser->width : context->width;
    *height = parser->height > 0 ? parser->height : context->height;
    return *width > 0 && *height > 0;
}

std::unique_ptr<RecordFile> RecordFile::create(const QString &path, const VideoFormat &video,
                                               bool withAudio, QString *error)
{
    std::unique_ptr<RecordFile> file(new RecordFile());
    file->m_path = path;
    if (!file->open(video, withAudio, error))
        return nullptr;
    return file;
}

bool RecordFile::open(const VideoFormat &video, bool withAudio, QString *error)
{
    const QByteArray name = QFile::encodeName(m_path);
    AVFormatContext *raw = nullptr;
    int ret = avformat_alloc_output_context2(&raw, nullptr, "mp4", name.constData());
    m_format.reset(raw);
    if (ret < 0 || !raw)
        return fail("avformat alloc output context error", ret, error);
    m_packet = makeAvPacket();
    m_video = avformat_new_stream(raw, nullptr);
    if (!m_packet || !m_video)
        return fail("Could not allocate stream", AVERROR(ENOMEM), error);
    AVCodecParameters *par = m_video->codecpar;
    par->codec_type = AVMEDIA_TYPE_VIDEO;
    par->codec_id = AVCodecID(video.codecId);
    par->width = video.width;
    par->height = video.height;
    par->format = AV_PIX_FMT_YUV420P;
    if (!video.parameterSets.isEmpty()) {
        const int n = int(video.parameterSets.size());
        par->extradata =
            static_cast<uint8_t *>(av_mallocz(size_t(n) + AV_INPUT_BUFFER_PADDING_SIZE));
        if (!par->extradata)
            return fail("Could not allocate stream", AVERROR(ENOMEM), error);
        std::memcpy(par->extradata, video.parameterSets.constData(), size_t(n));
        par->extradata_size = n;
    }
    m_video->time_base = VideoTimeBase;
    if (withAudio && !addAudio(error))
        return false;

    ret = avio_open(&raw->pb, name.constData(), AVIO_FLAG_WRITE);
    if (ret < 0)
        return fail("Could not open the file", ret, error);
    // Every fragment goes to the file as soon as the muxer cuts it.
    raw->flush_packets = 1;
    AVDictionary *options = nullptr;
    av_dict_set(&options, "movflags", "frag_keyframe+empty_moov+default_base_moof", 0);
    ret = avformat_write_header(raw, &options);
    av_dict_free(&options);
    if (ret < 0)
        return fail("Error occurred when opening output file", ret, error);
    return true;
}

bool RecordFile::addAudio(QString *error)
{
    // FFmpeg's own AAC encoder.
    const AVCodec *codec = avcodec_find_encoder_by_name("aac");
    if (!codec)
        return fail("Could not find encoder for 'aac'", AVERROR_ENCODER_NOT_FOUND, error);
    m_audioEncoder = makeAvCodecContext(codec);
    m_audioFrame = makeAvFrame();
    m_audio = avformat_new_stream(m_format.get(), nullptr);
    if (!m_audioEncoder || !m_audioFrame || !m_audio)
        return fail("Could not alloc an encoding context", AVERROR(ENOMEM), error);
    AVCodecContext *c = m_audioEncoder.get();
    c->sample_fmt = AV_SAMPLE_FMT_FLTP;
    c->sample_rate = AudioRate;
    c->bit_rate = 24000;
    c->time_base = AVRational{1, AudioRate};
    const AVChannelLayout mono = AV_CHANNEL_LAYOUT_MONO;
    av_channel_layout_copy(&c->ch_layout, &mono);
    if (m_format->oformat->flags & AVFMT_GLOBALHEADER)
        c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    int ret = avcodec_open2(c, codec, nullptr);
    if (ret < 0)
        return fail("Could not open audio codec", ret, error);
    m_audio->time_base = c->time_base;
    ret = avcodec_parameters_from_context(m_audio->codecpar, c);
    if (ret < 0)
        return fail("Could not copy the stream parameters", ret, error);
    AVFrame *f = m_audioFrame.get();
    f->format = c->sample_fmt;
    f->sample_rate = c->sample_rate;
    f->nb_samples = c->frame_size > 0 ? c->frame_size : 1024;
    av_channel_layout_copy(&f->ch_layout, &c->ch_layout);
    ret = av_frame_get_buffer(f, 0);
    if (ret < 0)
        return fail("Error allocating an audio buffer", ret, error);
    return true;
}

RecordFile::~RecordFile()
{
    finish(nullptr);
}

bool RecordFile::failed()
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_failed;
}

bool RecordFile::fail(const char *what, int code, QString *error)
{
    m_failed = true;
    m_error = errorText(what, code);
    if (error)
        *error = m_error;
    return false;
}

bool RecordFile::writePacket(AVPacket *packet, AVStream *stream, int64_t fromDen, QString *error)
{
    av_packet_rescale_ts(packet, AVRational{1, int(fromDen)}, stream->time_base);
    packet->stream_index = stream->index;
    const int ret = av_write_frame(m_format.get(), packet);
    av_packet_unref(packet);
    if (ret < 0)
        return fail("Error while writing the recording", ret, error);
    return true;
}

bool RecordFile::writeHeldVideo(int64_t durationMs, QString *error)
{
    if (!m_held)
        return true;
    AvPacketPtr held = std::move(m_held);
    held->duration = std::max<int64_t>(1, durationMs);
    return writePacket(held.get(), m_video, Millis.den, error);
}

bool RecordFile::writeVideo(const uint8_t *data, int size, bool key, uint32_t deviceMs,
                            int64_t localMs, QString *error)
{
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_failed) {
        if (error)
            *error = m_error;
        return false;
    }
    if (m_finished || size < 1)
        return true;
    AvPacketPtr packet = makeAvPacket();
    if (!packet || av_new_packet(packet.get(), size) < 0)
        return fail("Could not allocate a packet", AVERROR(ENOMEM), error);
    std::memcpy(packet->data, data, size_t(size));
    packet->pts = packet->dts = m_clock.videoMs(deviceMs, localMs);
    if (key)
        packet->flags |= AV_PKT_FLAG_KEY;
    m_waiting.push_back(std::move(packet));
    if (!m_grid.hasPeriod()) {
        if (int(m_waiting.size()) < FrameGrid::LearnFrames)
            return true;
        std::vector<int64_t> times;
        for (const AvPacketPtr &p : m_waiting)
            times.push_back(p->pts);
        m_grid.setPeriod(FrameGrid::periodOf(times));
    }
    return placeWaiting(error);
}

bool RecordFile::placeWaiting(QString *error)
{
    while (!m_waiting.empty()) {
        AvPacketPtr packet = std::move(m_waiting.front());
        m_waiting.pop_front();
        const int64_t ms = m_grid.place(packet->pts);
        packet->pts = packet->dts = ms;
        if (m_held && !writeHeldVideo(ms - m_heldMs, error))
            return false;
        m_held = std::move(packet);
        m_heldMs = ms;
    }
    return true;
}

bool RecordFile::writeAudio(const int16_t *samples, int count, uint32_t deviceMs, int64_t localMs,
                            QString *error)
{
    std::lock_guard<std::mutex> lock(m_lock);
    if (!m_audio || m_finished || m_failed || count < 1)
        return !m_failed;
    const int64_t ms = m_clock.audioMs(deviceMs, localMs);
    if (!m_clock.started())
        return true; // no video frame yet
    int64_t at = ms * AudioRate / 1000;
    const int64_t expected = m_nextSample + int64_t(m_pending.size());
    if (m_nextSample < 0 || at > expected + AudioResyncSamples ||
        at < expected - AudioResyncSamples) {
        // The first block, or one after a gap: a new run of samples at the
        // block's own time, never before what is already written.
        m_pending.clear();
        at = std::max(at, std::max(m_nextSample, AudioPrimingSamples));
        const int64_t skip = at - ms * AudioRate / 1000;
        if (skip >= count)
            return true;
        if (skip > 0) {
            samples += skip;
            count -= int(skip);
        }
        m_nextSample = at;
    }
    for (int i = 0; i < count; ++i)
        m_pending.push_back(float(samples[i]) / 32768.0f);
    if (int(m_pending.size()) > MaxPendingSamples) {
        const int64_t drop = int64_t(m_pending.size()) - MaxPendingSamples;
        m_pending.erase(m_pending.begin(), m_pending.begin() + drop);
        m_nextSample += drop;
    }
    return encodeAudio(false, error);
}

bool RecordFile::encodeAudio(bool flush, QString *error)
{
    AVCodecContext *c = m_audioEncoder.get();
    AVFrame *f = m_audioFrame.get();
    const int frameSize = f->nb_samples;
    for (;;) {
        int ret = 0;
        if (int(m_pending.size()) >= frameSize) {
            ret = av_frame_make_writable(f);
            if (ret < 0)
                return fail("Error allocating an audio frame", ret, error);
            std::memcpy(f->data[0], m_pending.data(), sizeof(float) * size_t(frameSize));
            f->pts = m_nextSample;
            m_pending.erase(m_pending.begin(), m_pending.begin() + frameSize);
            m_nextSample += frameSize;
            ret = avcodec_send_frame(c, f);
        } else if (flush) {
            flush = false;
            ret = avcodec_send_frame(c, nullptr);
        } else {
            return true;
        }
        if (ret < 0)
            return fail("Error sending the frame to the audio encoder", ret, error);
        for (;;) {
            ret = avcodec_receive_packet(c, m_packet.get());
            if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF)
                break;
            if (ret < 0)
                return fail("Error encoding audio frame", ret, error);
            if (!writePacket(m_packet.get(), m_audio, AudioRate, error))
                return false;
        }
        if (ret == AVERROR_EOF)
            return true;
    }
}

bool RecordFile::finish(QString *error)
{
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_finished)
        return !m_failed;
    m_finished = true;
    bool ok = !m_failed;
    if (ok && m_format && m_format->pb) {
        if (!m_grid.hasPeriod()) {
            std::vector<int64_t> times;
            for (const AvPacketPtr &p : m_waiting)
                times.push_back(p->pts);
            m_grid.setPeriod(FrameGrid::periodOf(times));
        }
        ok = placeWaiting(error) && writeHeldVideo(m_grid.period(), error);
        if (ok && m_audio && m_nextSample >= 0)
            ok = encodeAudio(true, error);
        if (ok) {
            const int ret = av_write_trailer(m_format.get());
            if (ret < 0)
                ok = fail("Error writing the end of the recording", ret, error);
        }
        if (ok && m_format->pb->error < 0)
            ok = fail("Error writing the end of the recording", m_format->pb->error, error);
    }
    m_held.reset();
    m_waiting.clear();
    m_audioEncoder.reset();
    m_audioFrame.reset();
    m_format.reset(); // closes the file
    return ok;
}
