#pragma once

#include <QtGlobal>

#include <atomic>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <utility>

// Mixes the sound of several sources (a channel in one mode each) into one
// output stream. Each source keeps its own queue of pending samples; mix()
// takes the same span of time from every source and sums the samples, each
// scaled by the volume, clipped to 16 bits. So two sources both play at their
// own rate instead of taking turns in the output.
//
// A source starts (and, after running dry, starts again) only once
// StartSamples are pending, which absorbs the jitter of frames that arrive in
// bursts; a source whose queue grows beyond MaxPendingSamples (the output
// stalled, or the device clock runs slow) drops its oldest samples down to
// StartSamples, so the delay stays bounded.
//
// Threads: any thread; every method takes the mixer's lock.
class AudioMixer
{
public:
    static constexpr int StartSamples = 640;       // 80 ms at 8000 Hz
    static constexpr int MaxPendingSamples = 2400; // 300 ms
    static constexpr int UnityVolume = 10;         // volume that leaves samples unchanged

    // Appends decoded samples of (source, live).
    void push(const void *source, bool live, const int16_t *samples, int count);
    // Forgets the pending samples of (source, live), or of both modes.
    void remove(const void *source, bool live);
    void remove(const void *source);

    // Writes count mixed samples to out when at least one source plays;
    // sources without enough samples add silence for the rest of the span.
    // Returns false, leaving out alone, when no source plays.
    bool mix(int count, int volume, int16_t *out);

    // Samples waiting in (source, live); whether any source has some.
    int pending(const void *source, bool live) const;
    bool hasPending() const;
    // Samples dropped from overfull queues; times a playing source ran dry.
    quint64 droppedSamples() const { return m_dropped; }
    quint64 underruns() const { return m_underruns; }

private:
    struct Queue
    {
        std::deque<int16_t> samples;
        bool playing = false;
    };
    mutable std::mutex m_lock;
    std::atomic<quint64> m_dropped{0};
    std::atomic<quint64> m_underruns{0};
    std::map<std::pair<const void *, bool>, Queue> m_queues;
};
