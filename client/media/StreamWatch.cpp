#include "media/StreamWatch.h"

#include <p2p/p2p.h>

void StreamWatch::frameArrived(Channel *channel, bool live, qint64 nowMs)
{
    State &s = m_streams[Stream(channel, live)];
    s.lastFrameMs = nowMs;
    s.hardFailures = 0;
}

bool StreamWatch::receiveFailed(Channel *channel, bool live, int code, bool linkLostCode)
{
    if (code == AV_ER_DATA_NOREADY)
        return false;
    State &s = m_streams[Stream(channel, live)];
    ++s.hardFailures;
    if (linkLostCode)
        return s.hardFailures == 1; // the first of a streak reports it
    return s.hardFailures == HardFailureStreak;
}

QList<StreamWatch::Stream> StreamWatch::silentStreams(const QList<Stream> &streaming, qint64 nowMs)
{
    QHash<Stream, State> kept;
    kept.reserve(streaming.size());
    QList<Stream> silent;
    for (const Stream &stream : streaming) {
        State s = m_streams.value(stream);
        if (s.lastFrameMs < 0 || nowMs < s.lastFrameMs) {
            s.lastFrameMs = nowMs;
        } else if (nowMs - s.lastFrameMs >= NoVideoMs) {
            silent.append(stream);
            s.lastFrameMs = nowMs;
        }
        kept.insert(stream, s);
    }
    m_streams.swap(kept);
    return silent;
}
