#include "view/ViewLink.h"

#include "link/IoConnect.h"
#include "model/Channel.h"

#include <QDebug>

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

// The remote playback commands are not part of the link yet: until they are,
// pausing and resuming the live stream stop and restart its video, and the
// playback stream is left alone.
void IoConnectViewLink::pause(Channel *ch, bool live)
{
    if (!ch)
        return;
    if (live)
        IoConnect::instance()->stopVideo(ch, false);
    else
        qDebug() << "pause: remote playback not available, channel" << ch->index();
}

void IoConnectViewLink::resume(Channel *ch, bool live)
{
    if (!ch)
        return;
    if (live)
        IoConnect::instance()->startVideo(ch);
    else
        qDebug() << "resume: remote playback not available, channel" << ch->index();
}

void IoConnectViewLink::playReplay(Channel *ch, const QDateTime &start, int seekOffset,
                                   bool startFlag, int recordType)
{
    Q_UNUSED(start)
    Q_UNUSED(seekOffset)
    Q_UNUSED(startFlag)
    Q_UNUSED(recordType)
    if (ch)
        qDebug() << "playReplay: remote playback not available, channel" << ch->index();
}

void IoConnectViewLink::stopReplay(Channel *ch, bool restart, const QDateTime &restartAt)
{
    Q_UNUSED(restart)
    Q_UNUSED(restartAt)
    if (ch)
        qDebug() << "stopReplay: remote playback not available, channel" << ch->index();
}
