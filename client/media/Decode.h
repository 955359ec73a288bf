#pragma once

#include "media/StreamWatch.h"

#include <QElapsedTimer>
#include <QMutex>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>

#include <functional>
#include <mutex>

class Channel;
class Device;
class Video;
struct ChannelBufferItem;

// The polling driver of the media pipeline. Every 50 ms it starts, for each
// streaming channel of a P2P device in the current mode (other kinds' links
// post their frames here themselves), one video and one audio receive
// step on the global thread pool (each takes every frame waiting, up to a
// bound); their events come back here, video frames go on to Video and audio
// frames to the audio handler. After 1000 consecutive failed video receives
// the stream is restarted; a stream of an online device that stays silent
// for 5 s is restarted too (noVideoMsg), and a receive that finds the link
// lost reports it.
//
// Threads: lives on the GUI thread; slots, event() and the setters there
// (asserted in debug builds).
// videoLock(), audioLock() and receiveFinished() are for the receive steps.
class Decode : public QObject
{
    Q_OBJECT

public:
    static constexpr int TickMs = 50;
    static constexpr int RestartAfterFailures = 1000;

    // The current mode (true = live view), e.g. the view grid's isLive().
    using ModeSource = std::function<bool()>;
    // Restarts the stream of (channel, live) after the failure limit. The
    // default stops live video with restart through the device's link.
    using RestartHandler = std::function<void(Channel *channel, bool live)>;
    // Takes ownership of an audio frame whose codec is in 136..143 (the
    // item's audioLength holds the received length).
    using AudioHandler = std::function<void(Channel *channel, bool live, ChannelBufferItem *item)>;
    // Reports a device whose link a receive found lost. The default tells
    // IoConnect (reportLinkLost), which closes the session and reconnects.
    using LinkLostHandler = std::function<void(Device *device, int code)>;
    // How often the streams are checked for silence.
    static constexpr int WatchIntervalMs = 1000;

    static Decode *instance();

    // video: the decoder frames go to (null = Video::instance()). Starts the
    // 50 ms poll.
    explicit Decode(Video *video = nullptr, QObject *parent = nullptr);
    ~Decode() override;

    void setModeSource(ModeSource source);
    void setRestartHandler(RestartHandler handler);
    void setAudioHandler(AudioHandler handler);
    void setLinkLostHandler(LinkLostHandler handler);

    // Locks shared by all video receive steps and by all audio receive steps.
    QMutex &videoLock() { return m_videoLock; }
    QMutex &audioLock() { return m_audioLock; }
    // A receive step of (channel, live) has ended. Any thread.
    void receiveFinished(Channel *channel, bool live, bool video);

    quint64 videoFrames() const { return m_videoFrames; }
    quint64 audioFrames() const { return m_audioFrames; }
    bool isRunning() const { return m_running; }

signals:
    // A failed video receive (other than "no data ready"): channel, code, text.
    void receiveVideoData(Channel *channel, int code, const QString &text);
    void videoGetMsg(Channel *channel);
    // A stream of an online device delivered no frame for
    // StreamWatch::NoVideoMs; it is being restarted.
    void noVideoMsg(Channel *channel, bool live);

public slots:
    // The timer tick: starts the receive steps of the current mode.
    void getData();
    // Stops polling for good (the client is quitting).
    void stopRun();

protected:
    bool event(QEvent *e) override;

private:
    bool markPending(Channel *channel, bool live, bool video);
    void videoReceived(Channel *channel, bool live, int result, ChannelBufferItem *item);
    void audioReceived(Channel *channel, bool live, int result, ChannelBufferItem *item);
    void watchStreams(bool live);

    Video *m_video;
    QTimer m_timer;
    QMutex m_videoLock;
    QMutex m_audioLock;
    ModeSource m_modeSource;
    RestartHandler m_restart;
    AudioHandler m_audio;
    LinkLostHandler m_linkLost;
    StreamWatch m_watch;
    QElapsedTimer m_clock;
    qint64 m_lastWatchMs = 0;
    quint64 m_videoFrames = 0;
    quint64 m_audioFrames = 0;
    bool m_running = true;

    // Receive steps started and not yet finished, so that a slow step is not
    // joined by another one for the same channel every tick.
    struct PendingKey
    {
        Channel *channel;
        bool live;
        bool video;
        bool operator==(const PendingKey &o) const
        {
            return channel == o.channel && live == o.live && video == o.video;
        }
    };
    friend size_t qHash(const PendingKey &k, size_t hashSeed)
    {
        return qHashMulti(hashSeed, quintptr(k.channel), k.live, k.video);
    }
    std::mutex m_pendingLock;
    QSet<PendingKey> m_pending;
};
