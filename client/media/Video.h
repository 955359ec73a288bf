#pragma once

#include "media/DecodeCode.h"

#include <QHash>
#include <QObject>

#include <atomic>
#include <memory>
#include <mutex>

class Channel;
class GuiMailbox;
class PictureExchange;
class VideoFrameTap;
struct ChannelBufferItem;

// The video decoder: one H.264/H.265 decoder per channel and mode, decoding
// received frames into packed I420 pictures that the view cells draw.
//
// Frames of one channel and mode are decoded strictly in arrival order, under
// that slot's decode lock; different channels decode in parallel on the media
// workers. Frames of a channel that no cell shows (Channel::seen) skip the
// decoder. Outcomes reach the GUI thread through the media mailbox, one item
// per picture, and become signals there.
//
// Threads: created and used on the GUI thread unless a method says otherwise.
class Video : public QObject
{
    Q_OBJECT

public:
    // Initial decoder parameters; the real picture size comes from the stream.
    static constexpr int InitialWidth = 352;
    static constexpr int InitialHeight = 288;
    static constexpr int InitialTimeBaseDen = 4;
    // Frames allowed to wait for decoding per channel and mode; beyond that
    // the waiting frames are dropped and decoding resumes at a key frame.
    static constexpr int MaxQueuedFrames = 50;

    static Video *instance();

    explicit Video(QObject *parent = nullptr);
    ~Video() override;

    // Queues a received frame of (channel, live) for decoding and takes
    // ownership of item. Any thread.
    void decodeFrame(Channel *channel, bool live, ChannelBufferItem *item);

    // The decode step for one frame (a stream's worker; takes the slot's
    // decode lock). Owns item.
    static void decodeStep(Video *video, bool live, Channel *channel, ChannelBufferItem *item);

    // Sets up the decoder of (channel, live); returns 0 or the failed step
    // (negative). Any thread; takes the slot's decode lock.
    int setUpDecoder(Channel *channel, bool live, int codecId, int width, int height,
                     int timeBaseDen);
    // Frees the decoder, the pictures and the frames waiting for (channel,
    // live). Called when the stream of that mode stops; a stream restarted
    // at once (quality change, silent stream) keeps its last picture until
    // the new stream's first one. Any thread.
    void tearDownDecoder(Channel *channel, bool live, bool keepPicture = false);
    // Tears down both modes and forgets the channel; call before a Channel
    // is destroyed. Any thread.
    void releaseChannel(Channel *channel);

    // The picture hand-over of (channel, live); the same object for the
    // channel's life. Any thread.
    std::shared_ptr<PictureExchange> pictures(Channel *channel, bool live);

    // Emits showImageFinishMsg; the view cell calls it after painting.
    void showImageFinish(Channel *channel, uint timestamp);

    // Recording and snapshot tap (not owned; null = none). Set on the GUI
    // thread while no stream runs, or accept that the next frame sees it.
    void setFrameTap(VideoFrameTap *tap);

    quint64 decodedFrames() const { return m_decodedFrames; }
    // Frames dropped because decoding fell too far behind.
    quint64 droppedFrames() const { return m_droppedFrames; }

signals:
    // Every decode step's outcome (see DecodeCode); width and height are 0
    // unless a picture was decoded.
    void decodeOutcome(Channel *channel, bool live, int code, int width, int height);
    void decodeSuccess(Channel *channel, bool live, int width, int height, uint timestamp);
    void showImageFinishMsg(Channel *channel, uint timestamp);
    void iCommingMsg(Channel *channel);

private:
    struct SlotState;
    struct ChannelState;

    std::shared_ptr<ChannelState> state(Channel *channel);
    void drain(Channel *channel, bool live, std::shared_ptr<ChannelState> state);
    void decodeLocked(bool live, Channel *channel, ChannelBufferItem *item, SlotState &slot);
    void post(Channel *channel, bool live, int code, ChannelBufferItem *item, int width, int height,
              const uint *pictureTimestamp = nullptr);

    void delivered(Channel *channel, bool live, int code, int width, int height, uint timestamp);

    GuiMailbox *m_mailbox;
    std::mutex m_stateLock; // guards m_states and the frame queues
    QHash<Channel *, std::shared_ptr<ChannelState>> m_states;
    std::atomic<VideoFrameTap *> m_tap{nullptr};
    quint64 m_decodedFrames = 0; // GUI thread
    std::atomic<quint64> m_droppedFrames{0};
};
