#include "view/ViewLink.h"

#include "link/DeviceLink.h"
#include "link/DeviceLinks.h"
#include "model/Channel.h"

namespace {

DeviceLink *linkOf(const Channel *ch)
{
    return DeviceLinks::of(ch ? ch->device() : nullptr);
}

} // namespace

void DeviceViewLink::connectChannel(Channel *ch)
{
    linkOf(ch)->connectChannel(ch);
}

void DeviceViewLink::startChannel(Channel *ch)
{
    linkOf(ch)->startChannel(ch);
}

void DeviceViewLink::reportChannelReady(Channel *ch)
{
    linkOf(ch)->reportChannelReady(ch);
}

void DeviceViewLink::closeChannel(Channel *ch)
{
    linkOf(ch)->closeChannel(ch);
}

void DeviceViewLink::closeDevice(Device *d)
{
    DeviceLinks::of(d)->closeDevice(d);
}

void DeviceViewLink::reconnectNow(Device *d)
{
    DeviceLinks::of(d)->reconnectNow(d);
}

void DeviceViewLink::closeDeviceOf(Channel *ch)
{
    if (ch)
        closeDevice(ch->device());
}

void DeviceViewLink::startVideo(Channel *ch)
{
    linkOf(ch)->startVideo(ch);
}

void DeviceViewLink::stopVideo(Channel *ch, bool restart)
{
    linkOf(ch)->stopVideo(ch, restart);
}

void DeviceViewLink::changeQuality(Channel *ch, bool hd)
{
    linkOf(ch)->changeQuality(ch, hd);
}

void DeviceViewLink::audioControl(Channel *ch, bool on)
{
    linkOf(ch)->audioControl(ch, on);
}

void DeviceViewLink::audioSendControl(Channel *ch, bool on)
{
    linkOf(ch)->audioSendControl(ch, on);
}

void DeviceViewLink::pause(Channel *ch, bool live)
{
    linkOf(ch)->pause(ch, live);
}

void DeviceViewLink::resume(Channel *ch, bool live)
{
    linkOf(ch)->resume(ch, live);
}

void DeviceViewLink::playReplay(Channel *ch, const QDateTime &start, int seekOffset, bool startFlag,
                                int recordType)
{
    linkOf(ch)->playReplay(ch, start, seekOffset, startFlag, recordType);
}

void DeviceViewLink::seekReplay(Channel *ch, int offsetSeconds)
{
    linkOf(ch)->changeReplayTime(ch, offsetSeconds);
}

void DeviceViewLink::stopReplay(Channel *ch, bool restart, const QDateTime &restartAt)
{
    linkOf(ch)->stopReplay(ch, restart, restartAt);
}
