#pragma once

#include "DeviceConfig.h"
#include "ExportManager.h"
#include "IoControl.h"
#include "PlaybackControl.h"
#include "PtzChannels.h"
#include "StreamTaps.h"
#include "TalkRecorder.h"
#include "ThumbnailService.h"

#include <p2p/DeviceServer.h>

#include <QDateTime>
#include <QString>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <utility>
#include <vector>

namespace devsim {

class MediaPump;
class OnvifServer;
class RtspServer;

// One simulated device: a p2p::DeviceServer, the IO control state of every client AV channel,
// the talk sink and the media pump that encodes and sends video and audio; with --rtsp (or
// --onvif) also an RTSP server fed from the same encoders.
//
// Threads: start()/stop() from the main thread. The server's callbacks run on its network
// thread; the media pump has its own thread; shared state is guarded by m_lock. Thumbnails
// and exports are made on threads of their own (ThumbnailService, ExportJob), which only
// reach the device through the server and sendReply().
class SimDevice
{
public:
    explicit SimDevice(const DeviceConfig &config);
    ~SimDevice();

    SimDevice(const SimDevice &) = delete;
    SimDevice &operator=(const SimDevice &) = delete;

    // Starts listening; prints "READY <uid> <port>", then with RTSP one
    // "RTSP <uid> <url of the channel's main stream>" per channel, then with ONVIF
    // "ONVIF <uid> <device service url>". False with *error on failure.
    // Main thread, whose event loop then runs the ONVIF server.
    bool start(QString *error);
    void stop();

    const DeviceConfig &config() const { return m_config; }
    std::uint16_t port() const;

    // Key of a client AV channel: (session, channel id).
    using AvKey = std::pair<int, int>;

    // What the media pump needs to know of one client AV channel.
    struct Viewer
    {
        AvKey key;
        int videoChannel = -1; // -1: no video
        bool hd = false;
        bool needKey = false;
        std::uint64_t keyRequest = 0; // which key-frame request needKey stands for
        int audioChannel = -1;        // -1: no audio
    };

    // Snapshot for the media pump (media thread).
    std::vector<Viewer> viewers();
    // The pump sent a key frame to the viewer of this snapshot (media thread).
    void keyFrameSent(const Viewer &viewer);
    int sessionCount();
    // The AV channels open now (any thread).
    std::vector<AvKey> openChannels();
    p2p::DeviceServer &server() { return *m_server; }
    // The streams the RTSP server takes (any thread).
    StreamTaps &taps() { return m_taps; }
    // The RTSP and ONVIF servers' ports; 0 without one.
    std::uint16_t rtspPort() const;
    std::uint16_t onvifPort() const;

    // Prints "TALK <uid> <bytes>" when more talk audio arrived since the last call.
    void reportTalkProgress();

    // The playback pictures of this tick; sends the end replies of playbacks that reached the
    // end of their recording (media thread).
    std::vector<PlaybackControl::Frame> playbackTick();

    // The recordings, fixed when the device was made (any thread).
    const RecordStore &recordStore() const { return m_playback->store(); }

    // The settings as IO control and ONVIF left them (any thread).
    DeviceSettings settings();
    // Changes them under the device's lock, then prints SETTINGS with --print-settings
    // (the ONVIF server's thread).
    void changeSettings(const std::function<void(DeviceSettings &)> &change);
    // The device's clock: the system's, moved by ONVIF's SetSystemDateAndTime (any thread).
    QDateTime now();
    // Applies a long-form PTZ command (IOCTRL_PTZ_LONG's command, speed and extra) to the
    // channel's camera and prints its PTZ line, as the P2P message would; the command's name,
    // empty when the channel has no camera (the ONVIF server's thread).
    QString ptzCommand(int channel, int command, int speed, int extra);

    // The camera of a PTZ channel, or null (media thread and network thread).
    PtzCamera *ptz(int channel);
    // Advances the PTZ cameras; reports movements ended by a lost stop (media thread).
    void ptzTick();

private:
    void onSessionOpened(int session, const std::string &peer);
    void onChannelOpened(int session, int channel);
    void onIoCtrl(int session, int channel, std::uint32_t type,
                  const std::vector<std::uint8_t> &payload);
    void onChannelClosed(int session, int channel);
    void onSessionClosed(int session);
    void onTalkOpened(int session, int channel, int result);
    void onTalkAudio(int session, int channel, const std::vector<std::uint8_t> &data);
    void onTalkClosed(int session, int channel);

    QString where(int session, int channel) const;
    // Playback messages: true when type is one of them (handled, replies sent).
    bool handlePlayback(int session, int channel, std::uint32_t type, const QByteArray &payload);
    // Thumbnail and export messages: true when type is one of them.
    bool handleMediaRequest(int session, int channel, std::uint32_t type,
                            const QByteArray &payload);
    void exportFinished(const ExportJob::Request &request, ExportJob::Result result,
                        ExportJob::Counts counts);
    void printSettings();
    void sendReply(int session, int channel, std::uint32_t type, const QByteArray &payload);

    DeviceConfig m_config;
    std::unique_ptr<p2p::DeviceServer> m_server;
    std::unique_ptr<MediaPump> m_pump;
    StreamTaps m_taps;
    std::unique_ptr<RtspServer> m_rtsp;
    std::unique_ptr<OnvifServer> m_onvif;

    std::mutex m_lock;
    DeviceSettings m_settings;
    std::unique_ptr<IoControl> m_io;
    std::unique_ptr<PlaybackControl> m_playback;
    // Made in start(), gone in stop() after the server stopped; thread-safe themselves.
    std::unique_ptr<ThumbnailService> m_thumbnails;
    std::unique_ptr<ExportManager> m_exports;
    std::map<AvKey, AvChannelState> m_channels;
    std::map<AvKey, std::uint64_t> m_needKey; // AV channels waiting for a key frame
    std::uint64_t m_keyRequests = 0;
    std::set<int> m_sessions;

    PtzChannels m_ptz;
    TalkRecorder m_talk;
};

} // namespace devsim
