#pragma once

#include "DeviceConfig.h"

#include <QString>

#include <memory>

namespace devsim {

class StreamTaps;

// Serves a device's live channels over RTSP 1.0 with GStreamer's RTSP server:
// rtsp://<host>:<port>/<uid>/<channel>/main (the HD stream) and .../sub (the SD stream),
// channels from 0. The pictures are the device's own encoder output: each mount's media
// (shared by all its clients) taps the (channel, quality) stream through StreamTaps and feeds
// its access units into an appsrc, time-stamped on arrival, then parser and RTP payloader.
// Clients authenticate with the device's view account, RTSP digest or basic; anything else
// is answered 401.
//
// Threads: start() and stop() from the main thread. GStreamer runs on the server's own
// thread, with its own GMainContext and GMainLoop; the media thread pushes into the appsrcs.
class RtspServer
{
public:
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

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace devsim
