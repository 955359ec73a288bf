#pragma once
// A libavcodec decoder for the devsim tests, fed whole frames: H.264/H.265 pictures (their
// size and the planes of the last one) or A-law sample blocks.

#include "av/AvHandles.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
}

#include <QByteArray>

#include <cstdint>
#include <cstring>
#include <vector>

class MediaDecoder
{
public:
    explicit MediaDecoder(AVCodecID id)
    {
        const AVCodec *codec = avcodec_find_decoder(id);
        m_context = makeAvCodecContext(codec);
        if (!m_context || !m_packet || !m_frame)
            return;
        if (id == AV_CODEC_ID_PCM_ALAW) {
            m_context->sample_rate = 8000;
            av_channel_layout_default(&m_context->ch_layout, 1);
        }
        m_ok = avcodec_open2(m_context.get(), codec, nullptr) == 0;
    }

    bool ok() const { return m_ok; }

    // Decodes one frame; the pictures (or sample blocks) it produced.
    int decode(const QByteArray &data)
    {
        m_packet->data = reinterpret_cast<std::uint8_t *>(const_cast<char *>(data.constData()));
        m_packet->size = static_cast<int>(data.size());
        if (avcodec_send_packet(m_context.get(), m_packet.get()) < 0)
            return 0;
        return drain();
    }
    // Takes out what the decoder still holds.
    int flush()
    {
        avcodec_send_packet(m_context.get(), nullptr);
        return drain();
    }

    int frames = 0;
    int width = 0;
    int height = 0;
    std::vector<std::int16_t> samples;
    std::vector<std::uint8_t> planes[3]; // the last picture's Y, U, V, tightly packed

private:
    int drain()
    {
        int n = 0;
        for (; avcodec_receive_frame(m_context.get(), m_frame.get()) == 0; ++n) {
            keep(*m_frame);
            av_frame_unref(m_frame.get());
        }
        frames += n;
        return n;
    }

    void keep(const AVFrame &f)
    {
        width = f.width;
        height = f.height;
        if (f.nb_samples > 0) { // audio: A-law decodes to 16-bit samples
            const auto *s = reinterpret_cast<const std::int16_t *>(f.data[0]);
            samples.insert(samples.end(), s, s + f.nb_samples);
            return;
        }
        for (int p = 0; p < 3; ++p) {
            const int w = p ? f.width / 2 : f.width;
            const int h = p ? f.height / 2 : f.height;
            planes[p].resize(static_cast<std::size_t>(w * h));
            for (int y = 0; y < h; ++y)
                std::memcpy(&planes[p][static_cast<std::size_t>(y * w)],
                            f.data[p] + y * f.linesize[p], static_cast<std::size_t>(w));
        }
    }

    AvCodecContextPtr m_context;
    AvPacketPtr m_packet = makeAvPacket();
    AvFramePtr m_frame = makeAvFrame();
    bool m_ok = false;
};
