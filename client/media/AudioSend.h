#pragma once

#include <QAudioDevice>
#include <QByteArray>
#include <QObject>

#include <functional>

class AudioInput;
class Channel;
class QAudioSource;

// Talk: captures the microphone (8000 Hz mono 16-bit PCM), cuts it into
// blocks of 640 bytes (40 ms), codes each block as G.711 A-law (320 bytes)
// and sends it to every channel whose talk is open. Each channel collects
// its own partial block, so every talking channel gets every chunk.
//
// Threads: GUI thread.
class AudioSend : public QObject
{
    Q_OBJECT

public:
    static constexpr int BlockBytes = 640;
    static constexpr int EncodedBytes = 320;
    static constexpr int FrameInfoSize = 16;
    static constexpr int AlawCodecId = 138; // the devices' G.711 A-law frame codec

    static AudioSend *instance();

    // Prepares capture from input (the system's default input unless given;
    // a null device leaves talk without a microphone).
    explicit AudioSend(QObject *parent = nullptr);
    explicit AudioSend(const QAudioDevice &input, QObject *parent = nullptr);
    ~AudioSend() override;

    // Starts capturing; false when there is no microphone.
    bool start();
    void stop();
    bool isRunning() const { return m_running; }
    bool micReady() const { return m_micReady; }

    // IoConnect's talk handler: capture runs while any channel talks.
    // Returns false when talk cannot start for want of a microphone.
    bool talkChanged(Channel *channel, bool on);

    // Sends one chunk of microphone PCM to every talking channel of the
    // registered devices.
    void send(const QByteArray &pcm);

    // Talk over another link than P2P: sink(channel, pcm) takes the
    // microphone's PCM for a talking channel of such a link and returns
    // true; false leaves the channel to the P2P send. Null: none.
    using TalkSink = std::function<bool(Channel *, const QByteArray &pcm)>;
    void setTalkSink(TalkSink sink) { m_talkSink = std::move(sink); }

    // The 16-byte frame header sent with every talk packet.
    static QByteArray frameHeader();

private:
    void sendTo(Channel *channel, const QByteArray &pcm);
    bool encodeAndSend(Channel *channel, const quint8 *pcm);

    bool m_running = false;
    QAudioSource *m_source = nullptr; // child
    AudioInput *m_sink = nullptr;     // child
    bool m_micReady = false;
    TalkSink m_talkSink;
};
