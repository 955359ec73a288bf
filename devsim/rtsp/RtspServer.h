#pragma once

#include "DeviceConfig.h"

#include <QString>

#include <memory>

namespace devsim {

class StreamTaps;

// Serves a device's channels over RTSP 1.0 with GStreamer's ONVIF RTSP server, channels from 0:
//
// - rtsp://<host>:<port>/<uid>/<channel>/main (the HD stream) and .../sub (the SD stream): the
//   device's own encoder output (each mount's media, shared by its clients, taps the
//   (channel, quality) stream through StreamTaps into an appsrc, time-stamped on arrival) and
//   a second stream, PCMA (payload 8, 8000 Hz mono) of the channel's tone (ToneSource).
// - The main mounts offer the ONVIF audio back channel ("Require:
//   www.onvif.org/ver20/backchannel": a sendonly PCMA track). Such a request gets a media of
//   its own; what the client sends is recorded like P2P talk (TalkRecorder: --talk-wav, written
//   when the back channel session closes; TALK_OPEN/TALK/TALK_CLOSE lines with session
//   kTalkSessionBase + n).
// - rtsp://<host>:<port>/<uid>/<channel>/replay: ONVIF replay of the channel's recordings
//   ("Require: onvif-replay", Range clock=, Scale, Rate-Control; see ReplaySource), one media
//   per client, at most kMaxReplays at once (more are answered 503).
//
// Clients authenticate with the device's view account, RTSP digest or basic; anything else
// is answered 401.
//
// Threads: start() and stop() from the main thread. GStreamer runs on the server's own
// thread, with its own GMainContext and GMainLoop; the media thread pushes into the appsrcs.
class RtspServer
{
public:
    static constexpr int kMaxReplays = 4;
    static constexpr int kTalkSessionBase = 100000;

    RtspServer(const DeviceConfig &config, StreamTaps &taps);
    ~RtspServer();

    RtspServer(const RtspServer &) = delete;
    RtspServer &operator=(const RtspServer &) = delete;

    // Listens on the configured port (0: a free one) and starts the thread. False with
    // *error when the port cannot be bound or GStreamer is unusable.
    bool start(QString *error);
    // Closes every client, ends the thread; the taps of the media go. Idempotent.
    void stop();
    quint16 port() const;

    // "/<uid>/<channel>/main" or ".../sub".
    static QString path(const QString &uid, int channel, bool main);
    // "/<uid>/<channel>/replay".
    static QString replayPath(const QString &uid, int channel);

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace devsim
