#pragma once

#include <QtGlobal>

#include <algorithm>

namespace devsim {

// Where the pictures of a recording lie: frame k of a recording that starts at startMs is at
// startMs + ceil(k * 1000 / fps) ms, and every gopFrames-th one (from k = 0) is a key frame.
// Playback, frame steps, thumbnails and exports all use this grid, so a time always names the
// same picture. Plain value; any thread.
struct FrameGrid
{
    int fps = 25;
    int gopFrames = 50;

    // Time of frame k, ms since the epoch.
    qint64 frameMs(qint64 startMs, qint64 k) const { return startMs + (k * 1000 + fps - 1) / fps; }
    // The frame at or before t (t >= startMs).
    qint64 indexAt(qint64 startMs, qint64 t) const
    {
        return std::max<qint64>(0, (t - startMs) * fps / 1000);
    }
    // The last frame before endMs.
    qint64 lastIndex(qint64 startMs, qint64 endMs) const { return indexAt(startMs, endMs - 1); }
    // The key frame at or before frame k.
    qint64 keyAtOrBefore(qint64 k) const { return k - k % std::max(1, gopFrames); }
    // The picture number the test pattern draws at time t (its moving parts depend on it).
    qint64 pictureNumber(qint64 utcMs) const { return utcMs * fps / 1000; }
};

} // namespace devsim
