#include "ToneSource.h"

#include "ALaw.h"

#include <cmath>
#include <vector>

namespace devsim {

namespace {
constexpr double kTwoPi = 6.283185307179586;
constexpr double kAmplitude = 8000.0; // about -12 dB below full scale
} // namespace

ToneSource::ToneSource(int channel)
    : m_frequency(frequencyFor(channel))
{}

double ToneSource::frequencyFor(int channel)
{
    return 400.0 + 100.0 * channel;
}

QByteArray ToneSource::nextFrame()
{
    std::vector<std::int16_t> samples(frameSamples);
    const double step = kTwoPi * m_frequency / sampleRate;
    for (auto &s : samples) {
        s = static_cast<std::int16_t>(std::lround(kAmplitude * std::sin(m_phase)));
        m_phase += step;
        if (m_phase >= kTwoPi)
            m_phase -= kTwoPi;
    }
    return ALaw::encode(samples);
}

} // namespace devsim
