#pragma once

#include <QList>
#include <QObject>
#include <QString>

class Channel;
class Device;

// What the devices' links report, whatever their protocol: the one place
// widgets follow. Each link emits here in its own terms: a P2P failure
// carries the P2P library's code and text, an RTSP one FFmpeg's error or the
// camera's SOAP fault, never another link's code. IoConnect keeps its own
// signals of the same names (the P2P link's face) and forwards each of them
// here.
//
// Threads: GUI thread only (emitted and received there).
class DeviceEvents : public QObject
{
    Q_OBJECT

public:
    explicit DeviceEvents(QObject *parent = nullptr)
        : QObject(parent)
    {}

signals:
    void connectDevSuccessMsg(Channel *ch);
    void connectChannelSuccessMsg(Channel *ch);
    void videoRequestSuccessMsg(Channel *ch);
    void videoRequestStopSuccessMsg(Channel *ch);
    void startLANSearchSuccessMsg();
    void requestReplayVideoTimeSuccessMsg(Channel *ch);
    void startReplaySuccessMsg(Channel *ch);
    void stopReplaySuccessMsg(Channel *ch);
    void pauseReplaySuccessMsg(Channel *ch);
    void changeQualitySuccessMsg(Channel *ch);
    void audioControlSuccessMsg(Channel *ch);
    void audioSendControlSuccessMsg(Channel *ch);
    void waitingStreamMsg(Channel *ch);
    void ptzSuccessMsg(Channel *ch);
    void setTimeSuccessMsg(Channel *ch);
    void setTimeZoneSuccessMsg(Channel *ch);
    void changeReplayTimeSuccessMsg(Channel *ch);
    void setWifiSuccessMsg(Channel *ch);
    void receiveVideoTimeEmptyMsg(Channel *ch, int code, QString text);
    void connectDevFailMsg(Channel *ch, int code, QString text);
    void connectChannelFailMsg(Channel *ch, int code, QString text);
    void videoRequestFailMsg(Channel *ch, int code, QString text);
    void videoRequestStopFailMsg(Channel *ch, int code, QString text);
    void startLANSearchFailMsg(int code, QString text);
    void requestReplayVideoTimeFailMsg(Channel *ch, int code, QString text);
    void startReplayControlFailMsg(Channel *ch, int code, QString text);
    void startReplayFailMsg(Channel *ch, int code, QString text);
    void stopReplayFailMsg(Channel *ch, int code, QString text);
    void pauseReplayFailMsg(Channel *ch, int code, QString text);
    void changeQualityFailMsg(Channel *ch, int code, QString text);
    void audioControlFailMsg(Channel *ch, int code, QString text);
    void audioSendControlFailMsg(Channel *ch, int code, QString text);
    void setTimeFailMsg(Channel *ch, int code, QString text);
    void setTimeZoneFailMsg(Channel *ch, int code, QString text);
    void changeReplayTimeFailMsg(Channel *ch, int code, QString text);
    void ptzFailMsg(Channel *ch, int code, QString text);
    void setWifiFailMsg(Channel *ch, int code, QString text);
    void receiveVideoTimeMsg(Channel *ch, QList<int> item);
    // A device's alarm on channel ch began (active) or ended: kind is a
    // DeviceControl::AlarmKind.
    void alarmMsg(Channel *ch, int kind, bool active);
    // The recorded alarms of ch's record-list day are in ch->eventMarks().
    void receiveEventMarksMsg(Channel *ch);
    void getChannelInfoMsg(Channel *ch);
    // What ch's playback offers is known (DeviceLink::replayCaps).
    void replayCapsMsg(Channel *ch);
    // The playback speed of ch (eighths of real time) in force, or the
    // refusal of the one asked for (ok false, eighths the one kept).
    void replaySpeedMsg(Channel *ch, int eighths, bool ok);
    // ch's device plays back one channel at a time and refused ch's.
    void replayBusyMsg(Channel *ch);
    // A frame step of ch landed at the recording moment (UTC ms), or failed.
    void replayStepMsg(Channel *ch, qint64 landedUtcMs, bool ok);
    // The link of device was lost (once per loss).
    void deviceOfflineMsg(Device *device, int code, QString text);
    // A lost device has its link again.
    void deviceOnlineMsg(Device *device);
};
