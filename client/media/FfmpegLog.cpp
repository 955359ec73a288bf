#include "media/FfmpegLog.h"

#include <QDateTime>
#include <QDebug>

#include <mutex>

extern "C" {
#include <libavutil/log.h>
}

namespace FfmpegLog {

bool Limiter::admit(qint64 nowMs, int *reportSuppressed)
{
    *reportSuppressed = 0;
    if (windowStart < 0 || nowMs - windowStart >= 1000 || nowMs < windowStart) {
        *reportSuppressed = suppressed;
        windowStart = nowMs;
        passed = 0;
        suppressed = 0;
    }
    if (passed < LinesPerSecond) {
        ++passed;
        return true;
    }
    ++suppressed;
    return false;
}

namespace {

std::mutex logLock;
Limiter limiter;

void callback(void *avcl, int level, const char *fmt, va_list args)
{
    if (level > AV_LOG_WARNING)
        return;
    char line[512];
    int printPrefix = 1;
    av_log_format_line2(avcl, level, fmt, args, line, int(sizeof line), &printPrefix);
    int dropped = 0;
    bool admitted = false;
    {
        std::lock_guard<std::mutex> lock(logLock);
        admitted = limiter.admit(QDateTime::currentMSecsSinceEpoch(), &dropped);
    }
    if (dropped > 0)
        qWarning("ffmpeg: %d more lines suppressed", dropped);
    if (!admitted)
        return;
    QByteArray text(line);
    while (text.endsWith('\n'))
        text.chop(1);
    if (level <= AV_LOG_ERROR)
        qWarning("ffmpeg: %s", text.constData());
    else
        qInfo("ffmpeg: %s", text.constData());
}

} // namespace

void install()
{
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_callback(callback); });
}

} // namespace FfmpegLog
