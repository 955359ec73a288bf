#include "media/Audio.h"

#include "diagnostics/Checks.h"
#include "link/ChannelBufferItem.h"
#include "link/GuiMailbox.h"
#include "link/WorkerPool.h"
#include "media/AudioFrameTap.h"
#include "media/FfmpegLog.h"
#include "model/Channel.h"
#include "model/SharedInstance.h"

#include <QAudioDevice>
#include <QAudioSink>
#include <QCoreApplication>
#include <QDebug>
#include <QMediaDevices>

#include <algorithm>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libswresample/swresample.h>
}

struct Audio::SlotState
{
    std::mutex decodeLock;                 // serialises decoding and teardown of this slot
    std::deque<ChannelBufferItem *> queue; // state lock
    bool draining = false;                 // state lock: a drain task runs
};

struct Audio::ChannelState
{
    SlotState live;
    SlotState replay;
    SlotState &slot(bool isLive) { return isLive ? live : replay; }

    ~ChannelState()
    {
        for (SlotState *s : {&live, &replay})
            for (ChannelBufferItem *item : s->queue)
                delete item;
    }
};

namespace {

QString formatText(const QAudioFormat &f)
{
    return QStringLiteral(" codec audio/pcm sample rate %1 channels %2 sample format %3")
        .arg(f.sampleRate())
        .arg(f.channelCount())
        .arg(int(f.sampleFormat()));
}

AVSampleFormat avFormatOf(QAudioFormat::SampleFormat f)
{
    switch (f) {
    case QAudioFormat::UInt8:
        return AV_SAMPLE_FMT_U8;
    case QAudioFormat::Int32:
        return AV_SAMPLE_FMT_S32;
    case QAudioFormat::Float:
        return AV_SAMPLE_FMT_FLT;
    default:
        return AV_SAMPLE_FMT_S16;
    }
}

} // namespace

Audio *Audio::instance()
{
    return SharedInstance<Audio>::get();
}

Audio::Audio(QObject *parent)
    : QObject(parent)
    , m_mailbox(new GuiMailbox(this))
{
    qRegisterMetaType<Channel *>("Channel*");
    FfmpegLog::install();
    SharedInstance<Audio>::adopt(this);
    m_pump.setInterval(PumpIntervalMs);
    connect(&m_pump, &QTimer::timeout, this, &Audio::pump);
    openOutput();
}

Audio::~Audio()
{
    ORVANE_ASSERT_GUI_THREAD();
    m_pump.stop();
    if (m_sink)
        m_sink->stop();
    SharedInstance<Audio>::release(this);
}

void Audio::openOutput()
{
    ORVANE_ASSERT_GUI_THREAD();
    m_format.setSampleRate(SampleRate);
    m_format.setChannelCount(1);
    m_format.setSampleFormat(QAudioFormat::Int16);
    for (const QAudioDevice &d : QMediaDevices::audioOutputs())
        qInfo().noquote() << "preferd aud dev name:" << d.description()
                          << formatText(d.preferredFormat());
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull()) {
        qInfo() << "no audio output device: channel sound is not played";
        return;
    }
    qInfo().noquote() << "default aud dev name:" << device.description()
                      << formatText(device.preferredFormat());
    if (!device.isFormatSupported(m_format)) {
        qWarning() << "Raw audio format not supported by backend, cannot play audio.";
        m_format = device.preferredFormat();
        SwrContext *swr = nullptr;
        AVChannelLayout in = AV_CHANNEL_LAYOUT_MONO;
        AVChannelLayout out;
        av_channel_layout_default(&out, m_format.channelCount());
        if (swr_alloc_set_opts2(&swr, &out, avFormatOf(m_format.sampleFormat()),
                                m_format.sampleRate(), &in, AV_SAMPLE_FMT_S16, SampleRate, 0,
                                nullptr) < 0 ||
            swr_init(swr) < 0) {
            qWarning() << "Failed to initialize the resampling context";
            swr_free(&swr);
            return;
        }
        m_convert.reset(swr);
    }
    m_sink = new QAudioSink(device, m_format, this);
    m_sink->setBufferSize(m_format.bytesForDuration(DeviceBufferMs * 1000));
    m_output = m_sink->start();
    if (!m_output)
        qWarning() << "audio output did not open:" << m_sink->error();
}

void Audio::setVolume(int volume)
{
    m_volume = std::clamp(volume, 0, MaxVolume);
}

void Audio::setFrameTap(AudioFrameTap *tap)
{
    m_tap = tap;
}

std::shared_ptr<Audio::ChannelState> Audio::state(Channel *channel)
{
    std::lock_guard<std::mutex> lock(m_stateLock);
    std::shared_ptr<ChannelState> &st = m_states[channel];
    if (!st)
        st = std::make_shared<ChannelState>();
    return st;
}

void Audio::play(Channel *channel, bool live, ChannelBufferItem *item)
{
    ORVANE_CHECK(channel && item, delete item; return );
    std::shared_ptr<ChannelState> st = state(channel);
    std::deque<ChannelBufferItem *> dropped;
    bool start = false;
    {
        std::lock_guard<std::mutex> lock(m_stateLock);
        SlotState &slot = st->slot(live);
        if (int(slot.queue.size()) >= MaxQueuedFrames)
            dropped.swap(slot.queue); // decoding cannot keep up: old sound is worth nothing
        slot.queue.push_back(item);
        start = !slot.draining;
        slot.draining = true;
    }
    for (ChannelBufferItem *d : dropped)
        delete d;
    if (start)
        WorkerPool::media().post([this, channel, live, st] { drain(channel, live, st); });
}

void Audio::drain(Channel *channel, bool live, std::shared_ptr<ChannelState> st)
{
    SlotState &slot = st->slot(live);
    for (;;) {
        ChannelBufferItem *item = nullptr;
        {
            std::lock_guard<std::mutex> lock(m_stateLock);
            if (slot.queue.empty()) {
                slot.draining = false;
                return;
            }
            item = slot.queue.front();
            slot.queue.pop_front();
        }
        std::lock_guard<std::mutex> decodeLock(slot.decodeLock);
        decodeLocked(channel, live, item);
    }
}

namespace {

int setUpAlaw(AudioDecoderSet &dec, int codecId)
{
    dec.reset();
    dec.packet = makeAvPacket();
    if (!dec.packet || codecId != AV_CODEC_ID_PCM_ALAW)
        return 1;
    dec.codec = avcodec_find_decoder(AV_CODEC_ID_PCM_ALAW);
    if (!dec.codec)
        return 1;
    dec.context = makeAvCodecContext(dec.codec);
    if (!dec.context)
        return 1;
    AVCodecContext *c = dec.context.get();
    av_channel_layout_uninit(&c->ch_layout);
    c->ch_layout = AV_CHANNEL_LAYOUT_MONO;
    c->sample_rate = Audio::SampleRate;
    c->sample_fmt = AV_SAMPLE_FMT_S16;
    c->codec_type = AVMEDIA_TYPE_AUDIO;
    if (avcodec_open2(c, dec.codec, nullptr) < 0)
        return 1;
    dec.frame = makeAvFrame();
    return dec.frame ? 0 : 1;
}

} // namespace

int Audio::setUpDecoder(Channel *channel, bool live, int codecId)
{
    std::shared_ptr<ChannelState> st = state(channel);
    std::lock_guard<std::mutex> decodeLock(st->slot(live).decodeLock);
    const int r = setUpAlaw(channel->slot(live).audioDecoder, codecId);
    if (r != 0)
        channel->slot(live).audioDecoder.reset();
    return r;
}

void Audio::decodeLocked(Channel *channel, bool live, ChannelBufferItem *item)
{
    std::unique_ptr<ChannelBufferItem> owned(item);
    ChannelSlot &slot = channel->slot(live);
    if (!slot.audioOn)
        return; // the channel stopped listening while the frame waited
    AudioDecoderSet &dec = slot.audioDecoder;
    // Every audio codec id the devices send is decoded as A-law.
    if (!dec.ready() && setUpAlaw(dec, AV_CODEC_ID_PCM_ALAW) != 0) {
        dec.reset();
        post(channel, live, 0);
        return;
    }
    const int length =
        std::min({item->audioLength, item->capacity, int(ChannelBufferItem::AudioCapacity)});
    if (length < 1 || !item->data) {
        post(channel, live, 0);
        return;
    }
    dec.packet->data = item->data;
    dec.packet->size = length;
    int r = avcodec_send_packet(dec.context.get(), dec.packet.get());
    dec.packet->data = nullptr;
    dec.packet->size = 0;
    if (r >= 0)
        r = avcodec_receive_frame(dec.context.get(), dec.frame.get());
    if (r < 0) {
        if (r != AVERROR(EAGAIN) && r != AVERROR_EOF)
            qWarning() << "Error during decoding";
        post(channel, live, 0);
        return;
    }
    AVFrame *frame = dec.frame.get();
    const auto *samples = reinterpret_cast<const int16_t *>(frame->data[0]);
    const int count = frame->nb_samples;
    if (AudioFrameTap *tap = m_tap.load())
        tap->audioSamples(channel, live, samples, count, *item);
    if (m_output)
        m_mixer.push(channel, live, samples, count);
    ++m_decodedFrames;
    post(channel, live, count * 2);
    av_frame_unref(frame);
}

void Audio::post(Channel *, bool, int byteCount)
{
    // Through the mailbox: the hand-over is one ThreadSanitizer can follow.
    if (byteCount > 0)
        m_mailbox->post(this, [this] { decoded(); });
}

void Audio::decoded()
{
    if (!m_output)
        return;
    if (!m_pump.isActive())
        m_pump.start();
    pump();
}

void Audio::tearDownDecoder(Channel *channel, bool live)
{
    std::shared_ptr<ChannelState> st;
    std::deque<ChannelBufferItem *> waiting;
    {
        std::lock_guard<std::mutex> lock(m_stateLock);
        st = m_states.value(channel);
        if (st)
            waiting.swap(st->slot(live).queue);
    }
    for (ChannelBufferItem *item : waiting)
        delete item;
    if (!st)
        st = state(channel);
    std::lock_guard<std::mutex> decodeLock(st->slot(live).decodeLock);
    channel->slot(live).audioDecoder.reset();
    m_mixer.remove(channel, live);
}

void Audio::releaseChannel(Channel *channel)
{
    tearDownDecoder(channel, true);
    tearDownDecoder(channel, false);
    std::lock_guard<std::mutex> lock(m_stateLock);
    m_states.remove(channel);
}

void Audio::pump()
{
    ORVANE_ASSERT_GUI_THREAD();
    const int frameBytes = m_format.bytesPerFrame();
    if (!m_output || frameBytes <= 0) {
        m_pump.stop();
        return;
    }
    const int freeFrames = m_sink->bytesFree() / frameBytes;
    const int count =
        m_convert ? int(qint64(freeFrames) * SampleRate / m_format.sampleRate()) : freeFrames;
    if (count <= 0)
        return;
    std::vector<int16_t> mixed(size_t(count), 0);
    if (!m_mixer.mix(count, m_volume, mixed.data())) {
        m_pump.stop(); // nothing plays; the next decoded frame starts the pump again
        return;
    }
    if (!m_convert) {
        m_output->write(reinterpret_cast<const char *>(mixed.data()), qint64(count) * 2);
        return;
    }
    std::vector<uint8_t> converted(size_t(freeFrames) * size_t(frameBytes));
    uint8_t *out[] = {converted.data()};
    const auto *in = reinterpret_cast<const uint8_t *>(mixed.data());
    const int frames = swr_convert(m_convert.get(), out, freeFrames, &in, count);
    if (frames > 0)
        m_output->write(reinterpret_cast<const char *>(converted.data()),
                        qint64(frames) * frameBytes);
}

