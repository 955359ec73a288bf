#pragma once

#include "link/DeviceControl.h"
#include "link/DeviceLink.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QTimer>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

class Channel;
class Decode;
class Dev;
class Device;
class DeviceEvents;
class ReconnectSchedule;
class RtspReader;
class RtspTalk;
struct ChannelBufferItem;

// DeviceLink of RTSP devices. Each open channel has an RtspReader reading
// its stream (the sub URL while the cell is small, the main URL once it is
// large, as the grid asks through changeQuality); its packets go to Decode
// as the P2P receive steps' frames do, so decoding, the cells, recording and
// snapshots treat them alike.
//
// The link keeps the P2P link's states and reports on DeviceLinks::events()
// in its own terms (FFmpeg's errors, the control's faults):
// - connectChannel marks the device's link open (a session id that only
//   says so; no P2P session exists) and Connecting; startChannel opens the
//   channel's stream; once it plays the channel gets an AV index (a number
//   of this link's own, fresh for every stream, so frames of a closed stream
//   are recognised and dropped), the device goes Online and
//   connectChannelSuccessMsg follows; startVideo then lets its frames be
//   decoded.
// - The first open that fails while the device is Connecting fails the
//   device (connectDevFailMsg, back to Idle); a channel that fails while the
//   device is Online fails alone (connectChannelFailMsg).
// - A stream that ends or falls silent (RtspReader's time-outs), or a
//   restart that cannot open again, loses the device: every stream of it
//   closes, its slots are reset as a lost P2P session's are, it goes Offline
//   (deviceOfflineMsg) and, while a channel is requested, tries again after
//   1, 2, 4, 8, 16, 30, 30 ... s (ReconnectSchedule); the first stream that
//   plays again brings it back Online (deviceOnlineMsg) and each requested
//   channel gets connectChannelSuccessMsg as on a first connect.
// - Sound: every stream also reads the camera's sound where it has one
//   (the device then has the Sound feature); listening lets it through to
//   the player and the recordings.
// - Remote playback, talk and alarms come from the DeviceControl (the ONVIF
//   client) where it serves them: the record list and alarm marks of a day
//   from its recording search, the replay of a recording through an RTSP
//   replay session of its own (a reader in replay mode on the playback
//   slot: start, seek, pause, fast and backwards, pictures stamped with
//   their recording time), talk over the stream's audio back channel
//   (RtspTalk, fed by AudioSend's talk sink) and the alarms of an online
//   device (watchEvents). Wi-Fi, cruise lines and whatever the control does
//   not serve fail with NotSupported.
//
// Threads: GUI thread only; the readers report from their threads through
// queued calls, frames go straight to Decode as posted events.
class RtspDeviceLink final : public QObject, public DeviceLink
{
    Q_OBJECT

public:
    // The failures of this link that are not FFmpeg's or the camera's own
    // (in FFmpeg's error space: AVERROR(ENOSYS), AVERROR(EINVAL)).
    static const int NotSupported;
    static const int NoStreamUrl;
    // The session id of an RTSP device whose link is open.
    static constexpr int OpenSession = 0x40000000;
    // How long the client's end waits for the readers to end.
    static constexpr int ShutdownWaitMs = 2000;
    // How often stopped readers still running are looked at.
    static constexpr int SweepMs = 200;

    // The shared link (the first one built, or one made on first use).
    static RtspDeviceLink *instance();

    // GUI thread. io: whose signals report (null: DeviceEvents::instance());
    // decode: where frames go (null: Decode::instance()).
    explicit RtspDeviceLink(DeviceEvents *events = nullptr, Decode *decode = nullptr,
                            QObject *parent = nullptr);
    ~RtspDeviceLink() override;

    // The unit of the reconnect waits (1000 ms); tests shorten it.
    void setReconnectUnitMs(int ms);
    // Streams open or opening.
    int streamCount() const { return int(m_streams.size()); }

    int features(const Device *d) const override;
    void connectChannel(Channel *ch) override;
    void startChannel(Channel *ch) override;
    void reportChannelReady(Channel *ch) override;
    void closeChannel(Channel *ch) override;
    void closeDevice(Device *d) override;
    void reconnectNow(Device *d) override;
    int reconnectDelayMs(const Device *d) const override;
    bool waitsForUser(int code) const override;
    void startVideo(Channel *ch) override;
    void stopVideo(Channel *ch, bool restart) override;
    void changeQuality(Channel *ch, bool hd) override;
    void audioControl(Channel *ch, bool on) override;
    void audioSendControl(Channel *ch, bool on) override;
    void pause(Channel *ch, bool live) override;
    void resume(Channel *ch, bool live) override;
    void playReplay(Channel *ch, const QDateTime &start, int seekOffset, bool startFlag,
                    int recordType) override;
    void changeReplayTime(Channel *ch, int offsetSeconds) override;
    void stopReplay(Channel *ch, bool restart, const QDateTime &restartAt) override;
    bool shutdown(int waitMs) override;
    void getRecordList(Channel *ch, const QDate &day) override;
    void pauseReplay(Channel *ch) override;
    void resumeReplay(Channel *ch) override;
    bool supportsStartSeek(const Channel *) const override { return true; }
    void ptzCruisePath(Channel *ch, quint8 command, quint8 param, quint8 extra,
                       bool shortForm) override;
    void setWifi(Channel *ch, const QString &ssid, const QString &password) override;
    // PTZ and the clock go to the control (the ONVIF client) where it serves
    // the device; refused otherwise.
    void ptzControl(Channel *ch, quint8 command, quint8 param, bool shortForm) override;
    void ptzPoint(Channel *ch, int preset, bool shortForm) override;
    void ptzGoto(Channel *ch, int preset, bool shortForm) override;
    void setTime(Channel *ch, const QDateTime &dt) override;
    void setTimeZone(Channel *ch, const QString &zone) override;

    // Installs the control of RTSP devices beside their streams (not owned;
    // null: none). With one, features() are the control's, and a channel of
    // a device that has an ONVIF host but no stream URL has the control
    // discover the streams first.
    void setControl(DeviceControl *control) { m_control = control; }
    DeviceControl *control() const { return m_control; }

    // Stream reset: the video decoder and audio player drop a closed
    // stream's state (as IoConnect's handler of the same name does for P2P).
    void setStreamResetHandler(std::function<void(Channel *, bool live, bool restarting)> handler)
    {
        m_streamReset = std::move(handler);
    }

    // The URL a channel streams from for the quality (credential-free; the
    // main URL when the channel has no sub stream); empty when none.
    static QString streamUrl(const Channel *ch, bool hd);

    // AudioSend's talk sink: takes the microphone's PCM (8000 Hz mono
    // 16-bit) for ch when ch talks over this link; false otherwise.
    bool talk(Channel *ch, const QByteArray &pcm);

    // The record list items (PlaybackRecords' form) of spans on the local
    // day, cut to it; the [second of the day, kind] marks of the alarms
    // that began on it.
    static QList<QList<int>> dayItems(const QList<DeviceControl::RecordSpan> &spans,
                                      const QDate &day);
    static QList<QList<int>> dayMarks(const QList<DeviceControl::EventMark> &marks,
                                      const QDate &day);

private:
    struct Stream
    {
        std::shared_ptr<RtspReader> reader;
        quint64 serial = 0; // which open this is; reports of older ones are ignored
        int avIndex = -1;   // the channel's AV index once the stream plays
        bool hd = false;
        bool playing = false;
        // Reopened for a restart or a quality change: once it plays the
        // video starts at once, without a new channel success.
        bool resumeVideo = false;
    };

    // A channel's replay session (the playback slot).
    struct Replay
    {
        std::shared_ptr<RtspReader> reader; // null while the replay URI is asked for
        quint64 serial = 0;
        int avIndex = -1;
        double scale = 1;
        bool playing = false;
    };

    void openStream(Channel *ch, bool hd, bool resumeVideo);
    int nextAvIndex();
    Channel *channelOf(Device *d, int index) const;
    // Replay (RtspDeviceLinkReplay.cpp).
    void openReplay(Channel *ch, const QString &uri, const QDateTime &from, double scale);
    void replayOpened(Channel *ch, quint64 serial);
    void replayEnded(Channel *ch, quint64 serial, int code, const QString &text);
    void closeReplay(Channel *ch);
    RtspReader *replayReader(Channel *ch) const;
    // Talk and alarms (RtspDeviceLinkTalk.cpp).
    void talkOpened(Channel *ch, quint64 serial);
    void talkEnded(Channel *ch, quint64 serial, int code, const QString &text);
    void closeTalk(Channel *ch);
    void stopTalks();
    void clearAlarms(Channel *ch);
    // Has the control fill the device's streams, then opens the channel's.
    void discoverThenOpen(Channel *ch, bool hd, bool resumeVideo);
    // Stops the channel's stream (if any) and closes its slot; restarting
    // keeps the last picture for the stream that follows.
    void closeStream(Channel *ch, bool restarting = false);
    // Stops a reader without waiting for it: it is destroyed once its
    // worker has ended (sweep), so the GUI thread never waits on a worker.
    void retire(std::shared_ptr<RtspReader> reader);
    void sweep();
    void streamOpened(Channel *ch, quint64 serial);
    void streamEnded(Channel *ch, quint64 serial, int code, const QString &text);
    void frameArrived(Channel *ch, int avIndex, ChannelBufferItem *item);
    void linkLost(Device *d, int code, const QString &text);
    void tryReconnect(Device *d);
    void reconnectDue(Device *d);
    bool hasStreams(const Device *d) const;
    static Channel *requestedChannel(const Device *d);
    void refuse(Channel *ch, void (DeviceEvents::*failed)(Channel *, int, QString));

    DeviceEvents *m_events;
    Decode *m_decode;
    Dev *m_dev;
    ReconnectSchedule *m_reconnects;
    QHash<Channel *, Stream> m_streams;
    std::vector<std::shared_ptr<RtspReader>> m_stopping; // stopped, worker not yet ended
    std::vector<std::shared_ptr<RtspTalk>> m_stoppingTalks;
    QTimer m_sweep;
    quint64 m_serial = 0;
    int m_nextAvIndex = OpenSession;
    bool m_closing = false;
    DeviceControl *m_control = nullptr;
    std::function<void(Channel *, bool, bool)> m_streamReset;
    QSet<const Device *> m_discovering; // devices whose streams the control looks for
    QHash<Channel *, Replay> m_replays;
    struct TalkSession
    {
        std::shared_ptr<RtspTalk> sender;
        quint64 serial = 0;
        bool open = false;
    };
    QHash<Channel *, TalkSession> m_talks;
    QSet<const Device *> m_soundDevices; // a stream of these carries sound
};
