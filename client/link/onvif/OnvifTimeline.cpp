#include "link/onvif/OnvifTimeline.h"

#include <algorithm>

namespace {

bool byTime(const OnvifEvent &a, const OnvifEvent &b)
{
    // At one moment a start state comes first, so that a change then wins.
    return a.utc != b.utc ? a.utc < b.utc : a.startState > b.startState;
}

} // namespace

QList<DeviceControl::RecordSpan> OnvifTimeline::spans(const QList<OnvifEvent> &events,
                                                      const OnvifRecording &recording,
                                                      const QDateTime &from, const QDateTime &to)
{
    if (!(from < to))
        return {};
    QList<OnvifEvent> history;
    for (const OnvifEvent &e : events) {
        if (e.kind == OnvifEvent::Kind::Recording && e.utc.isValid() &&
            (e.recording.isEmpty() || e.recording == recording.token))
            history.append(e);
    }
    QList<DeviceControl::RecordSpan> out;
    if (history.isEmpty()) {
        if (recording.earliest.isValid() && recording.latest.isValid() && recording.earliest < to &&
            recording.latest >= from)
            out.append({recording.earliest, recording.latest});
        return out;
    }
    std::stable_sort(history.begin(), history.end(), byTime);
    QDateTime open;
    bool seen = false;
    for (const OnvifEvent &e : std::as_const(history)) {
        const QDateTime at = std::clamp(e.utc, from, to);
        if (e.state && !open.isValid()) {
            open = at;
        } else if (!e.state && (open.isValid() || !seen)) {
            // Data that ends before any start was there since from.
            const QDateTime start = open.isValid() ? open : from;
            if (start < at)
                out.append({start, at});
            open = QDateTime();
        }
        seen = true;
    }
    if (open.isValid() && open < to)
        out.append({open, to});
    return out;
}

QList<DeviceControl::EventMark> OnvifTimeline::marks(const QList<OnvifEvent> &events,
                                                     const QStringList &sourceTokens,
                                                     const QDateTime &from, const QDateTime &to)
{
    QList<DeviceControl::EventMark> out;
    QList<OnvifEvent> sorted = events;
    std::stable_sort(sorted.begin(), sorted.end(), byTime);
    for (const OnvifEvent &e : std::as_const(sorted)) {
        if (e.kind == OnvifEvent::Kind::Recording || !e.utc.isValid() || e.utc < from ||
            e.utc >= to || (e.startState && !e.state))
            continue;
        if (!e.source.isEmpty() && !sourceTokens.contains(e.source))
            continue;
        out.append({e.utc, DeviceControl::AlarmKind(int(e.kind)), e.state});
    }
    return out;
}
