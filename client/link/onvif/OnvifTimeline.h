#pragma once

#include "link/DeviceControl.h"
#include "link/onvif/OnvifTypes.h"

#include <QDateTime>
#include <QList>
#include <QStringList>

// What a device's recorded events say about one recording: the spans that
// hold data (RecordingHistory/Track/State) and the alarm marks (motion,
// tampering, inputs), for the playback timeline.
//
// Threads: any (pure functions).
class OnvifTimeline
{
public:
    // The recorded spans of recording in [from, to) from its IsDataPresent
    // events (the state at from included): a span still open at the end runs
    // to `to`, one already open at from starts there. Without any such event,
    // the one span from the recording's earliest to its latest data when
    // that touches [from, to). By start.
    static QList<DeviceControl::RecordSpan> spans(const QList<OnvifEvent> &events,
                                                  const OnvifRecording &recording,
                                                  const QDateTime &from, const QDateTime &to);
    // The alarms of the source (its video source or configuration tokens;
    // events without a source count) in [from, to), by time; start states
    // only when the alarm was on.
    static QList<DeviceControl::EventMark> marks(const QList<OnvifEvent> &events,
                                                 const QStringList &sourceTokens,
                                                 const QDateTime &from, const QDateTime &to);
};
