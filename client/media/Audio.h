#pragma once

#include "av/AvHandles.h"
#include "media/AudioMixer.h"

#include <QAudioFormat>
#include <QHash>
#include <QObject>
#include <QTimer>

#include <atomic>
#include <deque>
#include <memory>
#include <mutex>

class AudioFrameTap;
class Channel;
class GuiMailbox;
class QAudioSink;
class QIODevice;
struct ChannelBufferItem;

// Device sound: decodes the G.711 A-law frames of the channels that are
// listened to into 8000 Hz mono 16-bit PCM, hands every decoded block to the
// recording tap, and plays the mix of all channels through one output.
//
// Frames of one channel and mode decode in arrival order under that slot's
// decode lock on the media workers; different channels decode in
// parallel. Decoded samples wait per channel in the mixer; a GUI-thread pump
// keeps the output device's buffer filled with the mix, so the sound is at
// most one device buffer plus the mixer's start level behind.
//
// Threads: created and used on the GUI thread unless a method says otherwise.
class Audio : public QObject
{
    Q_OBJECT

public:
    static constexpr int SampleRate = 8000;
    static constexpr int MaxVolume = AudioMixer::UnityVolume; // 10 = decoded level
    // Frames allowed to wait for decoding per channel and mode; beyond that
    // the waiting frames are dropped.
    static constexpr int MaxQueuedFrames = 25;
    // The output device's buffer and how often the pump refills it.
    static constexpr int DeviceBufferMs = 100;
    static constexpr int PumpIntervalMs = 10;

    static Audio *instance();

    // Opens the system's default output (none when the system has none:
    // frames are then still decoded for the tap).
    explicit Audio(QObject *parent = nullptr);
    ~Audio() override;

    // Decode's audio handler: queues a received frame of (channel, live)
    // for decoding and takes ownership of item. Any thread.
    void play(Channel *channel, bool live, ChannelBufferItem *item);

    // Sets up the A-law decoder of (channel, live); only AV_CODEC_ID_PCM_ALAW
    // is accepted. Returns 0, or 1 on any failure. Any thread; takes the
    // slot's decode lock.
    int setUpDecoder(Channel *channel, bool live, int codecId);
    // Frees the decoder and the frames and samples waiting for (channel,
    // live). Called when the stream of that mode stops. Any thread.
    void tearDownDecoder(Channel *channel, bool live);
    // Tears down both modes and forgets the channel; call before a Channel
    // is destroyed. Any thread.
    void releaseChannel(Channel *channel);

    // 0 (silent) to MaxVolume; values outside are clamped.
    void setVolume(int volume);
    int volume() const { return m_volume; }

    // Recording tap (not owned; null = none). Set on the GUI thread while no
    // stream runs, or accept that the next block sees it.
    void setFrameTap(AudioFrameTap *tap);

    bool hasOutput() const { return m_output != nullptr; }
    QAudioFormat outputFormat() const { return m_format; }
    quint64 decodedFrames() const { return m_decodedFrames; }
    const AudioMixer &mixer() const { return m_mixer; }

private:
    struct SlotState;
    struct ChannelState;

    void openOutput();
    void pump();
    // GUI thread: decoded samples wait in the mixer.
    void decoded();
    std::shared_ptr<ChannelState> state(Channel *channel);
    void drain(Channel *channel, bool live, std::shared_ptr<ChannelState> st);
    void decodeLocked(Channel *channel, bool live, ChannelBufferItem *item);
    void post(Channel *channel, bool live, int byteCount);

    std::mutex m_stateLock; // guards m_states and the frame queues
    QHash<Channel *, std::shared_ptr<ChannelState>> m_states;
    std::atomic<AudioFrameTap *> m_tap{nullptr};
    std::atomic<int> m_volume{MaxVolume};
    std::atomic<quint64> m_decodedFrames{0};
    AudioMixer m_mixer;
    QAudioFormat m_format;
    QAudioSink *m_sink = nullptr;  // child
    QIODevice *m_output = nullptr; // owned by m_sink
    SwrContextPtr m_convert;       // to the device's format when it differs
    QTimer m_pump;
    GuiMailbox *m_mailbox; // child: decode steps report through it
};
