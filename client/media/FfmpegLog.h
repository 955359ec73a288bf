#pragma once

#include <QtGlobal>

// FFmpeg's own log, sent through Qt's message handler and rate-limited: a
// device that sends a broken stream makes the decoder complain on every
// frame, which must not flood the log or cost the GUI thread.
namespace FfmpegLog {

// Most FFmpeg lines passed on per second; the rest are counted and reported
// in one line when the next second begins.
constexpr int LinesPerSecond = 20;

// Installs the callback (once; any thread). Lines above AV_LOG_WARNING are
// dropped.
void install();

// The rate limit itself, for tests: whether a line at nowMs may pass, and
// how many were suppressed in the second that just ended.
struct Limiter
{
    qint64 windowStart = -1;
    int passed = 0;
    int suppressed = 0;
    // True when the line may be logged; *reportSuppressed receives the count
    // of the window that ended (0 when none).
    bool admit(qint64 nowMs, int *reportSuppressed);
};

} // namespace FfmpegLog
