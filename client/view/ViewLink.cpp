#include "view/ViewLink.h"

#include "link/IoConnect.h"
#include "model/Channel.h"

void IoConnectViewLink::connectChannel(Channel *ch)
{
    IoConnect::instance()->connectChannel(ch);
}

void IoConnectViewLink::startChannel(Channel *ch)
{
    IoConnect::instance()->startChannel(ch);
}

void IoConnectViewLink::reportChannelReady(Channel *ch)
{
    IoConnect::instance()->reportChannelReady(ch);
}

void IoConnectViewLink::closeChannel(Channel *ch)
{
    IoConnect::instance()->closeChannel(ch);
}

void IoConnectViewLink::closeDevice(Device *d)
{
    IoConnect::instance()->closeDevice(d);
}

void IoConnectViewLink::reconnectNow(Device *d)
{
    IoConnect::instance()->reconnectNow(d);
}

void IoConnectViewLink::closeDeviceOf(Channel *ch)
{
    IoConnect::instance()->closeDeviceOf(ch);
}

void IoConnectViewLink::startVideo(Channel *ch)
{
    IoConnect::instance()->startVideo(ch);
}

void IoConnectViewLink::stopVideo(Channel *ch, bool restart)
{
    IoConnect::instance()->stopVideo(ch, restart);
}

void IoConnectViewLink::changeQuality(Channel *ch, bool hd)
{
    IoConnect::instance()->changeQuality(ch, hd);
}

void IoConnectViewLink::audioControl(Channel *ch, bool on)
{
    IoConnect::instance()->audioControl(ch, on);
}

void IoConnectViewLink::audioSendControl(Channel *ch, bool on)
{
    IoConnect::instance()->audioSendControl(ch, on);
}

void IoConnectViewLink::pause(Channel *ch, bool live)
{
    IoConnect::instance()->pause(ch, live);
}

void IoConnectViewLink::resume(Channel *ch, bool live)
{
    IoConnect::instance()->resume(ch, live);
}

void IoConnectViewLink::playReplay(Channel *ch, const QDateTime &start, int seekOffset,
                                   bool startFlag, int recordType)
{
    IoConnect::instance()->playReplay(ch, start, seekOffset, startFlag, recordType);
}

void IoConnectViewLink::seekReplay(Channel *ch, int offsetSeconds)
{
    IoConnect::instance()->changeReplayTime(ch, offsetSeconds);
}

void IoConnectViewLink::stopReplay(Channel *ch, bool restart, const QDateTime &restartAt)
{
    IoConnect::instance()->stopReplay(ch, restart, restartAt);
}
