#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// A bare libavcodec H.264 decoder over a recorded bitstream, without the
// client around it: the yardstick the live pipeline's CPU time is held
// against.
//
// Threads: any one thread; nothing is shared.
class DecodeAlone
{
public:
    enum class Threads {
        Single,       // thread_count 1 and AV_CODEC_FLAG_LOW_DELAY: the live client's settings
        FrameThreads, // FF_THREAD_FRAME, 2 threads (low delay would switch frame threads off)
        SliceThreads, // FF_THREAD_SLICE, 2 threads, low delay
    };

    struct Figures
    {
        double cpuMsPerFrame = 0;  // the whole process, every decoder thread included
        double wallMsPerFrame = 0; // elapsed time per frame
        int passes = 0;
    };

    // frames: whole access units in decode order, starting at a key frame.
    explicit DecodeAlone(QList<QByteArray> frames);

    // Decodes the bitstream once to warm up, then again and again until at
    // least minPasses passes and minWallMs have gone by. nullopt when the
    // decoder cannot be opened or decodes nothing (the reason in *error).
    std::optional<Figures> measure(Threads threads, int minPasses, int minWallMs,
                                   QString *error) const;

    // As the live client decodes n channels of one stream: n decoders with
    // the live settings (one thread, low delay), every frame sent to each in
    // turn, so that the n decoders' state competes for the caches as the
    // client's do. Figures per frame decoded by any of them.
    std::optional<Figures> measureInterleaved(int decoders, int minPasses, int minWallMs,
                                              QString *error) const;

    int frameCount() const { return int(m_frames.size()); }

private:
    // One pass: frames decoded, or -1 with *error.
    int decodeOnce(Threads threads, QString *error) const;
    int decodeInterleavedOnce(int decoders, QString *error) const;
    template <class Pass>
    std::optional<Figures> measurePasses(Pass pass, int minPasses, int minWallMs,
                                         QString *error) const;

    QList<QByteArray> m_frames;
};
