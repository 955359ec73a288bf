#pragma once

#include "link/ChannelBufferItem.h"

#include <QEvent>

class Channel;

// The event by which the audio decode step reports to Audio on the GUI
// thread. Its type number continues the link layer's progress events (1000
// and up).

// An audio decode step's outcome: byteCount bytes of 16-bit PCM were decoded
// (0 when the frame gave none). The samples wait in Audio's mixer.
class AudioEvent_decoede : public QEvent
{
public:
    static constexpr QEvent::Type TypeId = static_cast<QEvent::Type>(1021);
    AudioEvent_decoede(Channel *channel, bool live, int byteCount)
        : QEvent(TypeId)
        , channel(channel)
        , live(live)
        , byteCount(byteCount)
    {}

    Channel *channel;
    bool live;
    int status = 1;
    int byteCount;
};
