#include "media/AudioSend.h"

#include "diagnostics/Checks.h"
#include "link/SdkApi.h"
#include "media/AudioInput.h"
#include "model/Channel.h"
#include "model/Dev.h"
#include "model/Device.h"
#include "model/SharedInstance.h"

#include <QAudioSource>
#include <QDebug>
#include <QMediaDevices>

#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace {

// Creates the channel's A-law encoder on first use; false when it cannot.
bool setUpEncoder(TalkState &t)
{
    if (t.encoderContext)
        return true;
    t.encoderCodec = avcodec_find_encoder(AV_CODEC_ID_PCM_ALAW);
    if (!t.encoderCodec) {
        qWarning() << "Codec not found";
        return false;
    }
    t.encoderFrame = makeAvFrame();
    t.encoderPacket = makeAvPacket();
    AvCodecContextPtr c = makeAvCodecContext(t.encoderCodec);
    if (!c || !t.encoderFrame || !t.encoderPacket) {
        qWarning() << "Could not allocate audio codec context";
        return false;
    }
    c->sample_rate = 8000;
    c->sample_fmt = AV_SAMPLE_FMT_S16;
    c->ch_layout = AV_CHANNEL_LAYOUT_MONO;
    AVFrame *f = t.encoderFrame.get();
    f->format = AV_SAMPLE_FMT_S16;
    f->sample_rate = 8000;
    f->ch_layout = AV_CHANNEL_LAYOUT_MONO;
    f->nb_samples = AudioSend::BlockBytes / 2;
    if (avcodec_open2(c.get(), t.encoderCodec, nullptr) < 0 || av_frame_get_buffer(f, 0) < 0) {
        qWarning() << "Could not open codec";
        return false;
    }
    t.encoderContext = std::move(c);
    return true;
}

} // namespace

AudioSend *AudioSend::instance()
{
    return SharedInstance<AudioSend>::get();
}

AudioSend::AudioSend(QObject *parent)
    : AudioSend(QMediaDevices::defaultAudioInput(), parent)
{}

AudioSend::AudioSend(const QAudioDevice &input, QObject *parent)
    : QObject(parent)
{
    ORVANE_ASSERT_GUI_THREAD();
    SharedInstance<AudioSend>::adopt(this);
    if (input.isNull()) {
        qWarning() << "mic input open err";
        return;
    }
    QAudioFormat format;
    format.setSampleRate(8000);
    format.setChannelCount(1);
    format.setSampleFormat(QAudioFormat::Int16);
    m_sink = new AudioInput(this, this);
    m_source = new QAudioSource(input, format, this);
    if (!m_sink->open(QIODevice::WriteOnly)) {
        qWarning() << "mic input open err";
        return;
    }
    qInfo() << "mic write able:" << m_sink->isWritable();
    m_micReady = true;
}

AudioSend::~AudioSend()
{
    stop();
    SharedInstance<AudioSend>::release(this);
}

bool AudioSend::start()
{
    ORVANE_ASSERT_GUI_THREAD();
    if (!m_micReady)
        return false;
    if (m_running)
        return true;
    m_running = true;
    m_sink->setEnabled(true);
    m_source->start(m_sink);
    if (m_source->error() != QAudio::NoError) {
        qWarning() << "mic capture did not start:" << m_source->error();
        stop();
        return false;
    }
    return true;
}

void AudioSend::stop()
{
    m_running = false;
    if (m_source)
        m_source->stop();
    if (m_sink)
        m_sink->setEnabled(false);
}

bool AudioSend::talkChanged(Channel *, bool on)
{
    ORVANE_ASSERT_GUI_THREAD();
    if (on)
        return start();
    for (Device *device : Dev::instance()->devices())
        for (Channel *ch : device->channels())
            if (ch->talking())
                return true; // another channel still listens to the microphone
    stop();
    return true;
}

QByteArray AudioSend::frameHeader()
{
    QByteArray info(FrameInfoSize, '\0');
    info[0] = char(AlawCodecId & 0xFF);
    info[1] = char(AlawCodecId >> 8);
    info[2] = 2; // 8 kHz, 16-bit, mono
    return info;
}

void AudioSend::send(const QByteArray &pcm)
{
    ORVANE_ASSERT_GUI_THREAD();
    for (Device *device : Dev::instance()->devices()) {
        const QList<Channel *> &channels = device->channels();
        const int count = qMin(device->channelCount(), int(channels.size()));
        for (int i = 0; i < count; ++i) {
            Channel *ch = channels.at(i);
            if (!ch->talking() || (m_talkSink && m_talkSink(ch, pcm)))
                continue;
            if (setUpEncoder(ch->talk()))
                sendTo(ch, pcm);
        }
    }
}

void AudioSend::sendTo(Channel *channel, const QByteArray &pcm)
{
    TalkState &t = channel->talk();
    const auto *data = reinterpret_cast<const quint8 *>(pcm.constData());
    const int size = int(pcm.size());
    int used = 0;
    if (t.talkPending > 0 && t.talkPending + size >= BlockBytes) {
        used = BlockBytes - t.talkPending;
        std::memcpy(t.pcmBlock.data() + t.talkPending, data, size_t(used));
        t.talkPending = 0;
        encodeAndSend(channel, t.pcmBlock.data());
    }
    for (; t.talkPending == 0 && size - used >= BlockBytes; used += BlockBytes)
        encodeAndSend(channel, data + used);
    const int rest = size - used; // less than a block is left (or collected)
    std::memcpy(t.pcmBlock.data() + t.talkPending, data + used, size_t(rest));
    t.talkPending += rest;
}

bool AudioSend::encodeAndSend(Channel *channel, const quint8 *pcm)
{
    TalkState &t = channel->talk();
    AVFrame *f = t.encoderFrame.get();
    if (av_frame_make_writable(f) < 0)
        return false;
    std::memcpy(f->data[0], pcm, BlockBytes);
    f->nb_samples = BlockBytes / 2;
    int r = avcodec_send_frame(t.encoderContext.get(), f);
    if (r < 0) {
        qWarning() << "Error sending the frame to the encoder:" << r;
        return false;
    }
    AVPacket *p = t.encoderPacket.get();
    r = avcodec_receive_packet(t.encoderContext.get(), p);
    if (r < 0) {
        if (r != AVERROR(EAGAIN) && r != AVERROR_EOF)
            qWarning() << "Error encoding audio frame";
        return false;
    }
    const int size = qMin(p->size, EncodedBytes);
    std::memcpy(t.encoded.data(), p->data, size_t(size));
    av_packet_unref(p);
    static const QByteArray header = frameHeader();
    if (sdkApi().sendAudio(t.talkAvIndex, reinterpret_cast<const char *>(t.encoded.data()), size,
                           header.constData(), FrameInfoSize) < 0)
        qWarning() << "avSendAudioData failed!";
    return true;
}
