#pragma once

#include <QByteArray>

namespace devsim {

// A steady sine tone, cut into A-law frames. Channel n sounds at 400 + 100 * n Hz
// (n from 0), 8000 samples per second, mono. One thread at a time.
class ToneSource
{
public:
    static constexpr int sampleRate = 8000;
    static constexpr int frameSamples = 320; // 40 ms, 320 A-law bytes

    explicit ToneSource(int channel);

    static double frequencyFor(int channel);
    double frequency() const { return m_frequency; }

    // The next frameSamples samples of the tone, A-law coded; the phase runs on.
    QByteArray nextFrame();

private:
    double m_frequency;
    double m_phase = 0.0;
};

} // namespace devsim
