#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

// Evens out the frame times of a recording. Send and arrival times jitter (a
// key frame leaves the encoder late, a loaded host delays a frame) while the
// pictures were taken on a regular grid, and players that assume the
// stream's frame rate drop or repeat frames that come less than a frame
// apart. So every frame goes on a grid of whole periods: the grid point
// nearest its source time, or the next free one after a burst. A lost frame
// leaves a gap of whole periods.
//
// The period is learnt from the first LearnFrames frames: their median step
// less 1 ms, so that it stays below the true period and the grid can never
// run ahead of the source for more than a burst.
//
// Not thread-safe: the owning recording serialises the calls.
class FrameGrid
{
public:
    static constexpr int LearnFrames = 6;
    static constexpr int64_t DefaultPeriodMs = 40;

    // The period for frames at these source times (ascending); DefaultPeriodMs
    // for a single frame.
    static int64_t periodOf(std::vector<int64_t> times)
    {
        if (times.size() < 2)
            return DefaultPeriodMs;
        std::vector<int64_t> steps;
        for (size_t i = 1; i < times.size(); ++i)
            steps.push_back(times[i] - times[i - 1]);
        std::nth_element(steps.begin(), steps.begin() + steps.size() / 2, steps.end());
        return std::max<int64_t>(1, steps[steps.size() / 2] - 1);
    }

    bool hasPeriod() const { return m_period > 0; }
    int64_t period() const { return m_period; }
    void setPeriod(int64_t ms) { m_period = std::max<int64_t>(1, ms); }

    // The grid time of the next frame (source times ascending, from 0).
    int64_t place(int64_t sourceMs)
    {
        const int64_t nearest = std::llround(double(sourceMs) / double(m_period));
        m_slot = std::max(nearest, m_slot + 1);
        return m_slot * m_period;
    }

private:
    int64_t m_period = 0;
    int64_t m_slot = -1;
};
