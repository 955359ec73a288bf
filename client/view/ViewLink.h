#pragma once

#include <QDateTime>

class Channel;
class Device;

// The link operations the view grid and the device menu ask for. The
// application uses DeviceViewLink (each device's own link); tests put a
// recorder in its place so that the grid's decisions can be checked without
// a device.
// GUI thread only.
class ViewLink
{
public:
    virtual ~ViewLink() = default;

    // Sessions and AV channels.
    virtual void connectChannel(Channel *ch) = 0;
    virtual void startChannel(Channel *ch) = 0;
    virtual void reportChannelReady(Channel *ch) = 0;
    virtual void closeChannel(Channel *ch) = 0;
    virtual void closeDevice(Device *d) = 0;
    virtual void closeDeviceOf(Channel *ch) = 0;
    // A device whose link was lost: try again now instead of after the wait.
    virtual void reconnectNow(Device *d) = 0;

    // Live stream and device commands.
    virtual void startVideo(Channel *ch) = 0;
    virtual void stopVideo(Channel *ch, bool restart) = 0;
    virtual void changeQuality(Channel *ch, bool hd) = 0;
    virtual void audioControl(Channel *ch, bool on) = 0;
    virtual void audioSendControl(Channel *ch, bool on) = 0;

    // Mode switch: pause or resume the stream of one mode.
    virtual void pause(Channel *ch, bool live) = 0;
    virtual void resume(Channel *ch, bool live) = 0;

    // Remote playback.
    virtual void seekReplay(Channel *ch, int offsetSeconds) = 0;
    virtual void playReplay(Channel *ch, const QDateTime &start, int seekOffset, bool startFlag,
                            int recordType) = 0;
    virtual void stopReplay(Channel *ch, bool restart, const QDateTime &restartAt) = 0;
};

// ViewLink over each device's link (DeviceLinks::of), whatever its kind.
class DeviceViewLink : public ViewLink
{
public:
    void connectChannel(Channel *ch) override;
    void startChannel(Channel *ch) override;
    void reportChannelReady(Channel *ch) override;
    void closeChannel(Channel *ch) override;
    void closeDevice(Device *d) override;
    void closeDeviceOf(Channel *ch) override;
    void reconnectNow(Device *d) override;
    void startVideo(Channel *ch) override;
    void stopVideo(Channel *ch, bool restart) override;
    void changeQuality(Channel *ch, bool hd) override;
    void audioControl(Channel *ch, bool on) override;
    void audioSendControl(Channel *ch, bool on) override;
    void pause(Channel *ch, bool live) override;
    void resume(Channel *ch, bool live) override;
    void playReplay(Channel *ch, const QDateTime &start, int seekOffset, bool startFlag,
                    int recordType) override;
    void stopReplay(Channel *ch, bool restart, const QDateTime &restartAt) override;
    void seekReplay(Channel *ch, int offsetSeconds) override;
};
