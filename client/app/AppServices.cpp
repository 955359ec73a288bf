#include "app/AppServices.h"

#include "config/Location.h"
#include "diagnostics/Checks.h"
#include "link/ChannelBufferItem.h"
#include "link/DeviceLinks.h"
#include "link/IoConnect.h"
#include "link/WorkerPool.h"
#include "link/onvif/OnvifDeviceControl.h"
#include "media/Audio.h"
#include "media/AudioSend.h"
#include "media/Decode.h"
#include "media/RtspDeviceLink.h"
#include "media/Video.h"
#include "media/VideoRecord.h"
#include "model/Channel.h"
#include "model/Dev.h"
#include "model/Device.h"
#include "model/SharedInstance.h"
#include "view/ViewControl.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QWidget>

AppServices *AppServices::instance()
{
    return SharedInstance<AppServices>::get();
}

AppServices::AppServices(QObject *parent)
    : QObject(parent)
{
    ORVANE_ASSERT_GUI_THREAD();
    IoConnect *io = IoConnect::instance();
    Dev *dev = Dev::instance();
    Video *video = Video::instance();
    Decode *decode = Decode::instance();
    Audio *audio = Audio::instance();
    ViewControl *view = ViewControl::instance();

    // RTSP devices stream through their own link; those with an ONVIF host
    // get PTZ, the clock and their stream URLs through the ONVIF client.
    DeviceLinks::install(DeviceKind::Rtsp, RtspDeviceLink::instance());
    m_onvifControl = new OnvifDeviceControl(DeviceLinks::events(), dev, this);
    RtspDeviceLink::instance()->setControl(m_onvifControl);

    // The media pipeline follows the grid's mode and forgets a channel's
    // streams and decoders when its stream stops or the channel goes away.
    decode->setModeSource([] { return ViewControl::instance()->isLive(); });
    io->setLiveModeProvider([] { return ViewControl::instance()->isLive(); });
    connect(view, &ViewControl::changeModMsg, decode, &Decode::modeChanged);
    auto streamReset = [](Channel *ch, bool live, bool restarting) {
        Video::instance()->tearDownDecoder(ch, live, restarting);
        Audio::instance()->tearDownDecoder(ch, live);
    };
    io->setStreamResetHandler(streamReset);
    RtspDeviceLink::instance()->setStreamResetHandler(streamReset);
    Channel::setDestroyHook([](Channel *ch) {
        Decode::instance()->releaseChannel(ch);
        Video::instance()->releaseChannel(ch);
        Audio::instance()->releaseChannel(ch);
        VideoRecord::instance()->releaseChannel(ch);
    });
    decode->setAudioHandler([](Channel *ch, bool live, ChannelBufferItem *item) {
        Audio::instance()->play(ch, live, item);
    });
    io->setTalkHandler(
        [](Channel *ch, bool on) { return AudioSend::instance()->talkChanged(ch, on); });
    AudioSend::instance()->setTalkSink([](Channel *ch, const QByteArray &pcm) {
        return RtspDeviceLink::instance()->talk(ch, pcm);
    });
    connect(decode, &Decode::noVideoMsg, view, &ViewControl::showNoVideo);

    // Local recording and snapshots: folders from the settings, frames and
    // sound from the decoders.
    VideoRecord *record = VideoRecord::instance();
    record->setVideoPath(Location::instance()->videoPath());
    record->setPicPath(Location::instance()->picPath());
    video->setFrameTap(record);
    audio->setFrameTap(record);
}

AppServices::~AppServices()
{
    stop();
    if (RtspDeviceLink::instance()->control() == m_onvifControl)
        RtspDeviceLink::instance()->setControl(nullptr);
    IoConnect::instance()->setLiveModeProvider(nullptr);
    SharedInstance<AppServices>::release(this);
}

bool AppServices::stop()
{
    ORVANE_ASSERT_GUI_THREAD();
    if (m_stopped)
        return true;
    m_stopped = true;
    QElapsedTimer clock;
    clock.start();
    // The links close every AV channel and then every session here, on this
    // thread, so that each device hears its goodbye before the process ends;
    // the wait for their running tasks is bounded.
    const bool linksEnded = DeviceLinks::shutdownAll(ShutdownWaitMs);
    ViewControl *view = ViewControl::instance();
    view->stopAll();
    view->quit();
    // No stream takes frames any more; then the workers that decode, record
    // and run link tasks are joined, so that nothing touches a channel
    // while the recordings are finished.
    Decode::instance()->stopRun();
    const bool mediaEnded = WorkerPool::media().stop(MediaWaitMs);
    const bool linkEnded = WorkerPool::link().stop(MediaWaitMs);
    QList<Channel *> channels;
    for (Device *d : Dev::instance()->devices())
        channels += d->channels();
    // A worker that did not end may still write: its recording is left as
    // it is (what was written stays playable).
    if (mediaEnded)
        VideoRecord::instance()->finishAll(channels);
    qInfo("services stopped in %lld ms%s", qint64(clock.elapsed()),
          linksEnded && mediaEnded && linkEnded ? "" : " (workers still running)");
    return linksEnded && mediaEnded && linkEnded;
}
