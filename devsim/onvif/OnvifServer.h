#pragma once

#include "DeviceConfig.h"
#include "HttpDigest.h"
#include "MotionSchedule.h"
#include "HttpRequestParser.h"
#include "SoapEnvelope.h"
#include "UsernameToken.h"

#include <QObject>
#include <QTcpServer>

#include <map>
#include <optional>
#include <memory>
#include <utility>

class QTcpSocket;
class QTimer;

namespace devsim {

class EventService;
class LiveMotion;
class SearchService;
class SimDevice;

// One device's ONVIF server: SOAP 1.2 over HTTP/1.1 on its own port, one device per port.
//
//   POST /onvif/device_service   device management (DeviceService)
//   POST /onvif/media_service    media (MediaService)
//   POST /onvif/ptz_service      PTZ, on PTZ cameras (PtzService)
//   POST /onvif/recording_service, /onvif/search_service, /onvif/replay_service
//                                recordings (RecordingService, SearchService, ReplayService)
//   POST /onvif/event_service    events (EventService), its pull points at
//   POST /onvif/subscription/<n>
//   GET  /onvif/snapshot/<channel>/<main|sub>   a JPEG of the channel (Snapshot)
//
// Requests go to the service their body element's namespace names, whichever of these paths
// they came to (a subscription's operations only to its own path). A PullMessages that waits
// for events holds its connection's later requests back until it is answered. Every request but
// GetSystemDateAndTime, GetCapabilities and GetServices must authenticate with the device's view
// account: by WS-Security UsernameToken (password digest) or, with --onvif-auth digest, by HTTP
// Digest, the SOAP header then being ignored. Refused requests get a NotAuthorized fault (HTTP 400,
// or 401 with a fresh challenge for HTTP Digest). Snapshots always need HTTP Digest. Each request
// prints a line "SOAP <uid> <operation> ok|fault:<subcode>".
//
// Requests are untrusted: HttpRequestParser bounds them, XmlNode bounds the XML, malformed
// input is answered 400 (and the connection closed when HTTP itself is broken); at most
// MaxConnections connections, each closed when a request takes longer than IdleTimeoutMs to
// arrive whole (counted from the connection or the previous request), however slowly it
// trickles in.
//
// Threads: the main thread, whose event loop runs it.
class OnvifServer : public QObject
{
public:
    static constexpr int MaxConnections = 32;
    static constexpr int IdleTimeoutMs = 30000;

    // The device's recording store must outlive the server.
    OnvifServer(SimDevice &device, const DeviceConfig &config, quint16 rtspPort);
    ~OnvifServer() override;

    // Listens on the configured port (0: a free one) on all interfaces. False with *error.
    bool start(QString *error);
    quint16 port() const { return m_server.serverPort(); }

private:
    struct Response
    {
        int status = 200;
        QByteArray contentType;
        QByteArray body;
        QList<QPair<QByteArray, QByteArray>> headers;
    };
    struct Connection
    {
        HttpRequestParser parser;
        QTimer *idle = nullptr;
        bool closing = false;
        bool waiting = false;  // a deferred answer is due before the next request
        bool keepAlive = true; // of the request waiting for its answer
    };

    void accept();
    void read(QTcpSocket *socket);
    // The answer, or nullopt when it comes later through deliver().
    std::optional<Response> answer(const HttpRequestParser::Request &request, QTcpSocket *socket);
    std::optional<Response> soap(const HttpRequestParser::Request &request, QTcpSocket *socket,
                                 int subscription);
    Response faultAnswer(const QString &operation, const SoapFault &fault);
    // Sends a deferred answer and goes on with the connection's next request.
    void deliver(QTcpSocket *socket, const Response &response);
    Response snapshot(const HttpRequestParser::Request &request);
    Response unauthorized(bool stale);
    void send(QTcpSocket *socket, const Response &response, bool keepAlive);
    void close(QTcpSocket *socket);

    SimDevice &m_device;
    DeviceConfig m_config;
    quint16 m_rtspPort;
    QTcpServer m_server;
    std::map<QTcpSocket *, std::unique_ptr<Connection>> m_connections;
    UsernameToken m_token;
    HttpDigest m_digest;
    std::map<std::pair<int, int>, QString> m_presetNames;
    MotionSchedule m_motion;
    std::unique_ptr<LiveMotion> m_liveMotion;
    std::unique_ptr<SearchService> m_search;
    std::unique_ptr<EventService> m_events;
};

} // namespace devsim
