#pragma once

#include "link/ChannelRef.h"
#include "link/DeviceEvents.h"
#include "link/IoCtrl.h"
#include "link/LanSearch.h"
#include "link/LanSearchResult.h"
#include "link/LinkTaskCore.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>

#include <functional>

class Channel;
class ConnectQueue;
class Device;
class Dev;
class QTimer;
class ProgressEvent_Connect;
class ProgressEvent_GetAvIndex;
class ProgressEvent_getMsg;
class ReconnectSchedule;
class ReplyWatch;
class TalkControl;
class TaskResultEvent;

// The one way to the devices: opens device sessions (one at a time, in
// request order) and AV channels, sends every IO control message, receives
// the replies as the p2p library announces them (and by a poll besides),
// and answers every operation with a signal carrying the channel.
//
// Threads: every public method, slot and signal belongs to the GUI thread
// (except activeTasks()). SDK work runs in tasks on the link pool, one serial
// executor per device (a device's calls keep their order; a slow device holds
// up no other); results come back as posted events
// (LinkEventType) that event() turns into signals. Tasks carry values and a
// ChannelRef, so a device that is removed or deleted while a task runs is
// never touched by its result.
//
// The bookkeeping lives in helpers: ConnectQueue (session attempts and the
// watchdog), ReplyWatch (IO time-outs and awaited replies), TalkControl (the
// talk sequence), ReconnectSchedule (the waits of lost devices) and
// LanSearch. IoConnect serves the devices registered in Dev.
//
// Link loss: a result with isLinkLostCode (IO poll, IO control sends, AV
// channel starts; the media layer reports its receive failures through
// reportLinkLost) ends the device's session once: its AV channels and session
// are closed, the slots reset (the channels stay requested), the device goes
// Offline and deviceOfflineMsg is emitted. A failing operation still emits its
// own failure signal, and requests waiting for a device reply fail with the
// code. While any channel of the device is requested for view, the session is
// tried again through the connect queue after 1, 2, 4, 8, 16, 30, 30 ... s;
// when it opens the device is Online (deviceOnlineMsg) and each requested
// channel gets its AV channel and connectChannelSuccessMsg, as on a first
// connect. Failed attempts emit nothing. Replies the device sends unasked are
// logged and dropped.
//
// IoConnect serves P2P devices only (it is their DeviceLink's engine). Its
// signals are those of every link (DeviceEvents); the shared instance
// forwards each of them to DeviceLinks::events(), where widgets follow every
// kind of link. An operation on another
// kind's device fails at once with AV_ER_CLIENT_NOT_SUPPORT through its
// failure signal, closing one does nothing, and the polls skip them.
class IoConnect : public DeviceEvents
{
    Q_OBJECT

public:
    static constexpr int ConnectWatchdogMs = 5000;
    static constexpr int MsgPollMs = 120;
    static constexpr int DefaultIoTimeoutMs = 20000;
    static constexpr int LanSearchCollectMs = LanSearch::CollectMs;
    static constexpr int LanSearchMaxEntries = LanSearch::MaxEntries;

    // GUI thread: every method below, the slots and the signals.
    static IoConnect *instance();

    explicit IoConnect(QObject *parent = nullptr);
    ~IoConnect() override;

    // Sessions and AV channels.
    void connectChannel(Channel *ch);
    void startChannel(Channel *ch);
    void closeChannel(Channel *ch);
    void closeDevice(Device *d);
    void closeDeviceOf(Channel *ch);
    void reportChannelReady(Channel *ch);

    // IO control operations (one message each; results as signals).
    void startVideo(Channel *ch);
    void stopVideo(Channel *ch, bool restart);
    void changeQuality(Channel *ch, bool hd);
    void audioControl(Channel *ch, bool on);
    void audioSendControl(Channel *ch, bool on);
    void getChannelVersion(Channel *ch);
    void setTime(Channel *ch, const QDateTime &dt);
    void setTimeZone(Channel *ch, const QString &zone);
    void setWifi(Channel *ch, const QString &ssid, const QString &password);
    void ptzControl(Channel *ch, quint8 command, quint8 param, bool shortForm);
    void ptzPoint(Channel *ch, int preset, bool shortForm);
    void ptzCruise(Channel *ch, int preset, bool shortForm);
    void ptzCruisePath(Channel *ch, quint8 command, quint8 param, quint8 extra, bool shortForm);

    // Remote playback. The commands travel on the live AV channel; the
    // picture on the playback slot's own AV channel, which the device names
    // in its answer to the start. A record list is asked for a local day
    // (replies for a day asked before are dropped); a recording that ends
    // plays on from the next one of the day by itself.
    void getReplayVideoTime(Channel *ch, const QDate &day);
    void playReplay(Channel *ch, const QDateTime &start, int seekOffset, bool startFlag,
                    int recordType);
    void pauseReplay(Channel *ch, bool alsoStopped);
    void resumeReplay(Channel *ch, bool keepPausedFlag);
    // Live: stop / start the video; playback: pause (as a stop) / resume.
    void pause(Channel *ch, bool live);
    void resume(Channel *ch, bool live);
    void stopReplay(Channel *ch, bool restart, const QDateTime &restartAt);
    // Seeks offsetSeconds from the channel's replayDateTime.
    void changeReplayTime(Channel *ch, int offsetSeconds);
    // Playback beyond the basic controls (P2pPlayback): sends one message on
    // ch's live AV channel, in order with the device's other messages; done
    // runs on the GUI thread with the library's result (< 0: not sent), unless
    // the channel was closed or reopened meanwhile.
    void sendIoCtrl(Channel *ch, ENUM_AVIOCTRL_MSGTYPE type, const QByteArray &payload,
                    std::function<void(Channel *, int result)> done);
    // The replies IOCTRL_PLAYBACK_CAPS_RESP to IOCTRL_EXPORT_END go to sink.
    using ReplySink = std::function<void(Channel *, unsigned int type, const QByteArray &data)>;
    void setPlaybackReplySink(ReplySink sink) { m_playbackSink = std::move(sink); }
    // What the channel's version text says of its playback commands (null: true).
    static bool isLegacyPlayback(const Channel *ch);
    static bool supportsStartSeek(const Channel *ch);

    // LAN search; the results of the last successful search.
    void startLanSearch();
    QList<LanSearchResult> lanResults() const;

    // Stream state of one slot back to "not streaming": videoOn cleared, the
    // decoder and audio player told to drop the slot, receive errors zeroed.
    // restarting: the stream starts again at once (its cells keep showing
    // the last picture until the new stream's first one).
    void resetStream(Channel *ch, bool live, bool restarting = false);

    // The stream quality last asked for by changeQuality.
    quint8 quality() const;

    // The per-channel IO time-out (default 20 000 ms).
    void setIoTimeoutMs(int ms);
    int ioTimeoutMs() const;

    // Link loss and reconnection (see above).
    // The session of device is gone: code is the failure that showed it.
    void reportLinkLost(Device *device, int code);
    // An offline device tries its session at once instead of waiting.
    void reconnectNow(Device *device);
    // Before the next reconnect of device, in ms: > 0 waiting, 0 trying, -1 none planned.
    int reconnectDelayMs(const Device *device) const;
    // The unit of the reconnect waits (1000 ms); tests shorten or lengthen it.
    void setReconnectUnitMs(int ms);
    // The interval of the reply poll, the fallback of the library's
    // announcements (MsgPollMs); tests lengthen it.
    void setMessagePollMs(int ms);

    // Seams to the media pipeline and the view grid, set by them at start-up.
    // Stream reset: the video decoder and audio player drop a slot's state.
    void setStreamResetHandler(std::function<void(Channel *, bool live, bool restarting)> handler);
    // Link lost: called once per loss after the device's slots were reset
    // without the stream-reset handler; the media layer keeps the last
    // pictures and shows them as offline. Unset: the stream-reset handler
    // runs for every slot of the device instead.
    void setLinkLostHandler(std::function<void(Device *)> handler);
    // Talk: start (true) or stop (false) capturing and sending microphone
    // audio; a start that returns false fails the talk ("Not Found Input
    // Device.") and closes it on the device.
    void setTalkHandler(std::function<bool(Channel *, bool on)> handler);
    // Which slot the view grid shows (true = live); live when unset.
    void setLiveModeProvider(std::function<bool()> provider);

    // Replaces the SDK calls of the whole process, as setSdkApi() does
    // (tests). Only before the first operation.
    void setSdk(const SdkApi &sdk);

    // Ends all link activity: timers stop, a connect in progress is stopped,
    // every session and AV channel is closed (which makes blocked SDK calls
    // return), tasks not yet running are skipped, and the running ones are
    // waited for at most waitMs. Returns whether they all ended. Runs once;
    // also run when the application is about to quit.
    bool shutdown(int waitMs = 3000);

    // Any thread: tasks started and not yet ended.
    int activeTasks() const { return m_core->activeTasks(); }

public slots:
    void getMsg();
    void getLanSearchResult();
    void stopConnectDev();
    void ioControlTimeout(Channel *ch);

protected:
    bool event(QEvent *e) override;

    // The refusal of a device whose key is not the pinned one: UID and both fingerprints.
    static QString keyMismatchText(const QString &uid);

private:
    struct ResultRoute;
    using FailureSignal = void (IoConnect::*)(Channel *, int, QString);
    static const ResultRoute s_routes[]; // what each task result does

    // Task results (GUI thread).
    static const ResultRoute *routeOf(int eventType);
    // The shared instance's signals also go out on the links' common hub.
    void forwardTo(DeviceEvents *hub);
    void deliverResult(const ResultRoute &route, const TaskResultEvent &e);
    void onConnect(const ProgressEvent_Connect &e);
    void onAvIndex(const ProgressEvent_GetAvIndex &e);
    void onChannelVersion(const TaskResultEvent &e);
    void onMessage(const ProgressEvent_getMsg &e);
    void handleReply(Channel *ch, unsigned int type, const QByteArray &data);
    void emitFailure(FailureSignal signal, Channel *ch, int code);
    // True for the devices IoConnect serves (P2P).
    static bool serves(const Device *d);
    // For another kind's channel: emits failed with AV_ER_CLIENT_NOT_SUPPORT
    // and answers true.
    bool refuse(Channel *ch, FailureSignal failed);
    void failAwaited(Channel *ch, const QSet<unsigned int> &replyTypes, int code);

    // Sessions opening, failing and being lost (GUI thread).
    void sessionOpened(Channel *ch, int sessionId);
    void sessionFailed(Channel *ch, int code);
    void closeSession(Device *d);
    void reconnectDue(Device *d);
    void tryReconnect(Device *d);
    static Channel *requestedChannel(const Device *d);

    void handlePlaybackReply(Channel *ch, unsigned int type, const QByteArray &data);
    void closePlaybackSlot(Channel *ch);
    void playbackStartEnded(Channel *ch);
    void sendMessage(Channel *ch, ENUM_AVIOCTRL_MSGTYPE type, const QByteArray &payload,
                     std::function<QEvent *(const TaskContext &, int)> makeEvent);
    void closeSlot(Channel *ch, bool live);
    void startReceive(Channel *ch, bool live);
    // The p2p library's io thread: an IO message waits on avIndex.
    static void ioReady(int avIndex, int kind, void *context);
    // GUI thread: receives on the channel whose AV index is avIndex.
    void ioArrived(int avIndex);

    LinkTaskCorePtr m_core;
    Dev *m_dev;
    quint8 m_quality = 0;
    ReplyWatch *m_replies;
    ConnectQueue *m_connects;
    ReconnectSchedule *m_reconnects;
    TalkControl *m_talk;
    LanSearch *m_lan;
    QTimer *m_msgTimer;
    QSet<ChannelRef> m_receiving[2]; // [live]: a receive task is running
    // AV indexes whose IO messages are announced (ioReady); removed at shutdown.
    QSet<int> m_ioWatched;
    std::function<void(Channel *, bool, bool)> m_streamReset;
    std::function<void(Device *)> m_linkLost;
    std::function<bool()> m_liveMode;
    QHash<ChannelRef, QDate> m_recordListAsked; // the day each channel's last list request asked
    // Playback starts under way (ms on m_clock), until the playback channel
    // opened or failed, or the IO time-out passed.
    QHash<ChannelRef, qint64> m_playbackOpening;
    QElapsedTimer m_clock;
    ReplySink m_playbackSink;
};
