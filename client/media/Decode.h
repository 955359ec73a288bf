#pragma once

#include "media/StreamWatch.h"

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QString>
#include <QTimer>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

class Channel;
class ChannelStream;
class Device;
class GuiMailbox;
class Video;
struct ChannelBufferItem;

// The media pipeline's stream driver. It keeps one ChannelStream per channel
// and mode whose AV channel is open with video or audio on (told by the
// channel's stream hook): a P2P stream's frames are pushed by the library
// and received and decoded on the stream's own worker; an RTSP stream's
// demuxer hands its frames to submitFrame(). Nothing polls.
//
// On the GUI thread it watches the streams of the current mode: a stream of
// an online device that stays silent for StreamWatch::NoVideoMs is restarted
// (noVideoMsg), and a receive that finds the link lost reports it.
//
// Threads: lives on the GUI thread; slots, the setters and streamChanged()
// there (asserted in debug builds). submitFrame(), isCurrentMode(),
// countAudioFrame() and the counters from any thread.
class Decode : public QObject
{
    Q_OBJECT

public:
    // The current mode (true = live view), e.g. the view grid's isLive().
    using ModeSource = std::function<bool()>;
    // Restarts the stream of (channel, live) when it stays silent. The
    // default stops live video with restart through the device's link.
    using RestartHandler = std::function<void(Channel *channel, bool live)>;
    // Takes ownership of an audio frame whose codec is in 136..143 (the
    // item's audioLength holds the received length). Called on stream
    // workers: it must be safe from any thread.
    using AudioHandler = std::function<void(Channel *channel, bool live, ChannelBufferItem *item)>;
    // Reports a device whose link a receive found lost. The default tells
    // IoConnect (reportLinkLost), which closes the session and reconnects.
    using LinkLostHandler = std::function<void(Device *device, int code)>;
    // How often the streams are checked for silence.
    static constexpr int WatchIntervalMs = 1000;

    static Decode *instance();

    // video: the decoder frames go to (null = Video::instance()). The most
    // recent Decode is the one channels report their streams to.
    explicit Decode(Video *video = nullptr, QObject *parent = nullptr);
    ~Decode() override;

    void setModeSource(ModeSource source);
    void setRestartHandler(RestartHandler handler);
    // Set before streams start: a running stream keeps the handler it began with.
    void setAudioHandler(AudioHandler handler);
    void setLinkLostHandler(LinkLostHandler handler);

    // GUI thread: the channel's AV index or stream flags of a mode changed;
    // starts, replaces or stops its stream.
    void streamChanged(Channel *channel, bool live);
    // GUI thread: stops the channel's streams and drops what waits for the
    // GUI thread about it; call before a Channel is destroyed.
    void releaseChannel(Channel *channel);
    // GUI thread: the grid's mode may have changed; the streams of the mode
    // that is current now take what waits for them.
    void modeChanged();

    // Source thread of a push stream: a frame of (channel, live) from the
    // AV channel avIndex; owns item. Dropped unless that stream is open.
    void submitFrame(Channel *channel, bool live, int avIndex, ChannelBufferItem *item);

    // Any thread.
    bool isCurrentMode(bool live) const { return m_liveMode.load() == live; }
    Video *video() const { return m_video; }
    GuiMailbox *mailbox() const { return m_mailbox; }
    void countAudioFrame() { ++m_audioFrames; }
    quint64 videoFrames() const { return m_videoFrames.load(); }
    quint64 audioFrames() const { return m_audioFrames.load(); }
    bool isRunning() const { return m_running; }
    // The open stream of (channel, live), if any.
    std::shared_ptr<ChannelStream> stream(Channel *channel, bool live) const;

    // GUI thread (through the mailbox): what a stream's worker saw.
    void streamReport(const ChannelStream &stream, int frames, int failure);

signals:
    // A failed video receive (other than "no data ready"): channel, code, text.
    void receiveVideoData(Channel *channel, int code, const QString &text);
    void videoGetMsg(Channel *channel);
    // A stream of an online device delivered no frame for
    // StreamWatch::NoVideoMs; it is being restarted.
    void noVideoMsg(Channel *channel, bool live);

public slots:
    // Checks the streams of the current mode for silence (the watch timer).
    void getData();
    // Stops every stream for good (the client is quitting).
    void stopRun();

private:
    using Key = QPair<Channel *, bool>;

    void watchStreams(bool live);

    Video *m_video;
    GuiMailbox *m_mailbox;
    QTimer m_timer;
    ModeSource m_modeSource;
    RestartHandler m_restart;
    AudioHandler m_audio;
    LinkLostHandler m_linkLost;
    StreamWatch m_watch;
    QElapsedTimer m_clock;
    std::atomic<bool> m_liveMode{true};
    std::atomic<quint64> m_videoFrames{0};
    std::atomic<quint64> m_audioFrames{0};
    bool m_running = true;

    mutable std::mutex m_streamsLock; // guards m_streams (read by submitFrame)
    QHash<Key, std::shared_ptr<ChannelStream>> m_streams;
};
