#include "view/RecordLength.h"

#include "config/Config.h"
#include "config/Location.h"
#include "diagnostics/Checks.h"
#include "model/Channel.h"
#include "model/ChannelSaveTimeout.h"

RecordLength::RecordLength(Location *location, QObject *parent)
    : QObject(parent)
    , m_location(location)
{}

void RecordLength::dropTimer(Channel *channel, bool live)
{
    ChannelSlot &slot = channel->slot(live);
    if (ChannelSaveTimeout *timer = slot.recordTimer) {
        slot.recordTimer = nullptr;
        timer->stop();
        timer->deleteLater();
    }
}

void RecordLength::change(Channel *channel, bool live, bool on)
{
    ORVANE_ASSERT_GUI_THREAD();
    ORVANE_CHECK(channel, return );
    channel->setRecording(on, live);
    dropTimer(channel, live);
    if (on) {
        auto *timer = new ChannelSaveTimeout();
        timer->setChannel(channel);
        timer->setSingleShot(true);
        connect(timer, &ChannelSaveTimeout::timeout, this, &RecordLength::lengthReached);
        channel->slot(live).recordTimer = timer;
        const int minutes = qBound(1, m_location->timeLength(), StoredLimits::MaxRecordMinutes);
        timer->start(minutes * m_minuteMs);
    }
    emit changed(channel, live, on);
}

void RecordLength::end(Channel *channel, bool live)
{
    ORVANE_CHECK(channel, return );
    if (!channel->recording(live))
        return;
    dropTimer(channel, live);
    channel->setRecording(false, live);
    emit changed(channel, live, false);
}

void RecordLength::lengthReached(Channel *channel)
{
    ORVANE_CHECK(channel, return );
    // The recording whose timer fired, even when the grid has switched
    // modes since it started.
    auto *timer = qobject_cast<ChannelSaveTimeout *>(sender());
    ORVANE_CHECK(timer, return );
    for (bool live : {true, false}) {
        ChannelSlot &slot = channel->slot(live);
        if (slot.recordTimer != timer)
            continue;
        slot.recordTimer = nullptr;
        timer->deleteLater();
        channel->setRecording(false, live);
        emit changed(channel, live, false);
        return;
    }
}
