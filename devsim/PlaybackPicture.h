#pragma once

#include "DeviceConfig.h"
#include "FrameGrid.h"
#include "TestPattern.h"

#include <p2p/FrameInfo.h>

#include <cstdint>

namespace devsim {

// What a recording shows at a recording time, the same for playback, frame steps, exports and
// thumbnails: the test pattern tagged "PB" with the recording's date and time, its moving parts
// at the grid's picture number of that time. Any thread.
class PlaybackPicture
{
public:
    // Frame information flags of playback and export frames, besides the key-frame bit.
    static constexpr std::uint8_t FlagStepTarget = 0x02; // the last picture of a frame step
    static constexpr std::uint8_t FlagSpanStart = 0x04;  // export: the first after a gap

    static void render(TestPattern::Picture &picture, const DeviceConfig &config,
                       const FrameGrid &grid, int channel, qint64 utcMs);

    // Puts the recording time into frame information: seconds at offset 12, the milliseconds
    // within the second plus 1 in bytes 5..6.
    static void stamp(p2p::FrameInfo &info, qint64 utcMs);
};

} // namespace devsim
