#include "link/P2pDeviceLink.h"

#include "link/IoConnect.h"
#include "link/P2pExport.h"
#include "link/P2pPlayback.h"
#include "link/SdkApi.h"
#include "model/Device.h"

P2pDeviceLink *P2pDeviceLink::instance()
{
    static P2pDeviceLink link;
    return &link;
}

int P2pDeviceLink::features(const Device *d) const
{
    // A device of another kind that reached this link is refused whatever it asks.
    if (!d || !d->isP2p())
        return 0;
    return Playback | Sound | Talk | Ptz | Presets | Cruise | Clock | Wifi;
}

void P2pDeviceLink::connectChannel(Channel *ch)
{
    IoConnect::instance()->connectChannel(ch);
}

void P2pDeviceLink::startChannel(Channel *ch)
{
    IoConnect::instance()->startChannel(ch);
}

void P2pDeviceLink::reportChannelReady(Channel *ch)
{
    IoConnect::instance()->reportChannelReady(ch);
}

void P2pDeviceLink::closeChannel(Channel *ch)
{
    IoConnect::instance()->closeChannel(ch);
}

void P2pDeviceLink::closeDevice(Device *d)
{
    IoConnect::instance()->closeDevice(d);
}

void P2pDeviceLink::reconnectNow(Device *d)
{
    IoConnect::instance()->reconnectNow(d);
}

bool P2pDeviceLink::waitsForUser(int code) const
{
    return code == IOTC_ER_DEVICE_KEY_MISMATCH || code == AV_ER_WRONG_VIEWACCorPWD;
}

int P2pDeviceLink::reconnectDelayMs(const Device *d) const
{
    return IoConnect::instance()->reconnectDelayMs(d);
}

void P2pDeviceLink::startVideo(Channel *ch)
{
    IoConnect::instance()->startVideo(ch);
}

void P2pDeviceLink::stopVideo(Channel *ch, bool restart)
{
    IoConnect::instance()->stopVideo(ch, restart);
}

void P2pDeviceLink::changeQuality(Channel *ch, bool hd)
{
    IoConnect::instance()->changeQuality(ch, hd);
}

void P2pDeviceLink::audioControl(Channel *ch, bool on)
{
    IoConnect::instance()->audioControl(ch, on);
}

void P2pDeviceLink::audioSendControl(Channel *ch, bool on)
{
    IoConnect::instance()->audioSendControl(ch, on);
}

void P2pDeviceLink::pause(Channel *ch, bool live)
{
    IoConnect::instance()->pause(ch, live);
}

void P2pDeviceLink::resume(Channel *ch, bool live)
{
    IoConnect::instance()->resume(ch, live);
}

void P2pDeviceLink::playReplay(Channel *ch, const QDateTime &start, int seekOffset, bool startFlag,
                               int recordType)
{
    IoConnect::instance()->playReplay(ch, start, seekOffset, startFlag, recordType);
}

void P2pDeviceLink::changeReplayTime(Channel *ch, int offsetSeconds)
{
    IoConnect::instance()->changeReplayTime(ch, offsetSeconds);
}

void P2pDeviceLink::stopReplay(Channel *ch, bool restart, const QDateTime &restartAt)
{
    IoConnect::instance()->stopReplay(ch, restart, restartAt);
}

void P2pDeviceLink::ptzControl(Channel *ch, quint8 command, quint8 param, bool shortForm)
{
    IoConnect::instance()->ptzControl(ch, command, param, shortForm);
}

void P2pDeviceLink::ptzPoint(Channel *ch, int preset, bool shortForm)
{
    IoConnect::instance()->ptzPoint(ch, preset, shortForm);
}

void P2pDeviceLink::ptzGoto(Channel *ch, int preset, bool shortForm)
{
    IoConnect::instance()->ptzCruise(ch, preset, shortForm);
}

void P2pDeviceLink::setTime(Channel *ch, const QDateTime &dt)
{
    IoConnect::instance()->setTime(ch, dt);
}

void P2pDeviceLink::setTimeZone(Channel *ch, const QString &zone)
{
    IoConnect::instance()->setTimeZone(ch, zone);
}

bool P2pDeviceLink::shutdown(int waitMs)
{
    return IoConnect::instance()->shutdown(waitMs);
}

void P2pDeviceLink::getRecordList(Channel *ch, const QDate &day)
{
    IoConnect::instance()->getReplayVideoTime(ch, day);
}

void P2pDeviceLink::pauseReplay(Channel *ch)
{
    IoConnect::instance()->pauseReplay(ch, false);
}

void P2pDeviceLink::resumeReplay(Channel *ch)
{
    IoConnect::instance()->resumeReplay(ch, false);
}

bool P2pDeviceLink::supportsStartSeek(const Channel *ch) const
{
    return IoConnect::supportsStartSeek(ch);
}

void P2pDeviceLink::ptzCruisePath(Channel *ch, quint8 command, quint8 param, quint8 extra,
                                  bool shortForm)
{
    IoConnect::instance()->ptzCruisePath(ch, command, param, extra, shortForm);
}

void P2pDeviceLink::setWifi(Channel *ch, const QString &ssid, const QString &password)
{
    IoConnect::instance()->setWifi(ch, ssid, password);
}

int P2pDeviceLink::replayCaps(const Channel *ch) const
{
    return P2pPlayback::instance()->caps(ch);
}

void P2pDeviceLink::queryReplayCaps(Channel *ch)
{
    P2pPlayback::instance()->queryCaps(ch);
}

void P2pDeviceLink::setReplaySpeed(Channel *ch, int eighths)
{
    P2pPlayback::instance()->setSpeed(ch, eighths);
}

void P2pDeviceLink::stepReplay(Channel *ch, qint64 targetUtcMs)
{
    P2pPlayback::instance()->step(ch, targetUtcMs);
}

bool P2pDeviceLink::requestThumbnail(Channel *ch, qint64 utcMs, int maxWidth, ThumbnailDone done)
{
    return P2pPlayback::instance()->thumbnail(ch, utcMs, maxWidth, std::move(done));
}

std::unique_ptr<ExportStream> P2pDeviceLink::openExport(Channel *ch, qint64 fromUtcMs,
                                                        qint64 toUtcMs)
{
    // Not known yet: asked; a device without exports does not answer it.
    const int caps = replayCaps(ch);
    if (!ch || toUtcMs <= fromUtcMs || (caps >= 0 && !(caps & ReplayExport)))
        return nullptr;
    return std::make_unique<P2pExport>(ch, fromUtcMs, toUtcMs);
}
