#pragma once

#include <QByteArray>

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace devsim {

// Consumers of a device's encoded live video besides its P2P viewers: the RTSP server's
// media. A tap names a (channel, quality) stream and gets every encoded access unit of it,
// starting with a key frame; while some tap exists the media pump encodes that stream.
//
// Threads: any; one lock. Sinks run on the media thread, outside the lock, and may still run
// once after remove() returned.
class StreamTaps
{
public:
    using Sink = std::function<void(const QByteArray &accessUnit, bool key)>;

    struct Want
    {
        int channel = 0;
        bool hd = false;
        bool needKey = false; // some tap of the stream waits for its first key frame
    };

    // The tap's id, for remove().
    int add(int channel, bool hd, Sink sink);
    void remove(int id);

    // The taps of (channel, hd) wait for a key frame again (a new client joined them).
    void requestKey(int channel, bool hd);

    // One entry per tapped (channel, quality).
    std::vector<Want> wanted();
    // Hands one access unit of (channel, hd) to its taps; a tap waiting for a key frame gets
    // nothing until one comes.
    void deliver(int channel, bool hd, const QByteArray &accessUnit, bool key);

private:
    struct Tap
    {
        int channel;
        bool hd;
        bool needKey;
        std::shared_ptr<Sink> sink;
    };

    std::mutex m_lock;
    std::map<int, Tap> m_taps;
    int m_nextId = 1;
};

} // namespace devsim
