#pragma once

#include "link/WorkerPool.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class Channel;
class Decode;
struct ChannelBufferItem;

// One channel's stream in one mode (live or playback): the road of its frames
// from the source to the decoder, on a serial worker of its own.
//
// Two kinds of source feed it:
//   - pull (P2P): the library calls back when frames are queued for the AV
//     channel (avSetFrameReadyCallback); the stream's worker then takes every
//     waiting frame, counts it and decodes it at once. Nothing polls.
//   - push (RTSP): the reader's thread hands each frame, picture or sound,
//     to submit().
// What the GUI thread needs to know (frames arrived, a receive failed) goes
// through the media mailbox, coalesced to one item per GUI turn.
//
// Threads: start(), stop() and kick() on the GUI thread; submit() on the
// source's thread; the rest on the stream's worker.
class ChannelStream : public std::enable_shared_from_this<ChannelStream>
{
public:
    enum class Source { Pull, Push };
    using AudioHandler = std::function<void(Channel *channel, bool live, ChannelBufferItem *item)>;

    // Most frames one worker task takes before other streams get the worker.
    static constexpr int MaxFramesPerTask = 32;

    ChannelStream(Decode *decode, Channel *channel, bool live, int avIndex, Source source,
                  AudioHandler audio);
    ~ChannelStream();

    Channel *channel() const { return m_channel; }
    bool live() const { return m_live; }
    int avIndex() const { return m_avIndex; }
    Source source() const { return m_source; }

    // GUI thread.
    // Registers with the library (pull) and takes what already waits.
    void start();
    // Ends the stream: no callback runs or comes once it returns, and the
    // worker's tasks in progress have finished (bounded wait).
    void stop();
    // Takes what waits (the mode became current again).
    void kick();

    // Source thread (push): a received frame; owns item.
    void submit(ChannelBufferItem *item);

private:
    static void onReady(int avIndex, int kind, void *context);
    void scheduleVideo();
    void scheduleAudio();
    // Posts one drain to the worker unless one waits already.
    void schedule(std::atomic<bool> &scheduled, void (ChannelStream::*drain)());
    void drainVideo();
    void drainAudio();
    // Counts arrivals and a failure for the GUI thread's watch; what
    // happened between two GUI turns goes in one mailbox item, in order.
    void report(int frames, int failure);
    void deliverReport();

    Decode *const m_decode;
    Channel *const m_channel;
    const bool m_live;
    const int m_avIndex;
    const Source m_source;
    const AudioHandler m_audio;
    SerialQueue m_queue;
    std::atomic<bool> m_stopped{false};
    std::atomic<bool> m_videoScheduled{false};
    std::atomic<bool> m_audioScheduled{false};
    std::mutex m_reportLock;
    struct Failure
    {
        int framesBefore;
        int code;
    };
    std::vector<Failure> m_failures; // m_reportLock
    int m_arrived = 0;               // m_reportLock: frames since the last failure
    bool m_reportPosted = false;     // m_reportLock
};
