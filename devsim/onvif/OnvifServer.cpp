#include "OnvifServer.h"

#include "DeviceService.h"
#include "EventService.h"
#include "LiveMotion.h"
#include "MediaService.h"
#include "OnvifContext.h"
#include "PtzService.h"
#include "RecordingService.h"
#include "ReplayService.h"
#include "SearchService.h"
#include "SimDevice.h"
#include "Snapshot.h"
#include "SoapEnvelope.h"
#include "SoapNamespaces.h"
#include "StatusOutput.h"

#include <QDateTime>
#include <QPointer>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTimer>
#include <QXmlStreamWriter>

namespace devsim {

namespace {

constexpr int kReadChunk = 64 * 1024;
const QByteArray kSoapType = "application/soap+xml; charset=utf-8";

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 100:
        return "Continue";
    case 200:
        return "OK";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 413:
        return "Content Too Large";
    case 431:
        return "Request Header Fields Too Large";
    case 500:
        return "Internal Server Error";
    case 501:
        return "Not Implemented";
    case 503:
        return "Service Unavailable";
    case 505:
        return "HTTP Version Not Supported";
    default:
        return "Error";
    }
}

// The server's address as the client reached it, as a URL's host.
QString urlHost(const QHostAddress &address)
{
    bool mapped = false;
    const quint32 v4 = address.toIPv4Address(&mapped);
    if (mapped)
        return QHostAddress(v4).toString();
    return QLatin1Char('[') + address.toString() + QLatin1Char(']');
}

} // namespace

OnvifServer::OnvifServer(SimDevice &device, const DeviceConfig &config, quint16 rtspPort)
    : m_device(device)
    , m_config(config)
    , m_rtspPort(rtspPort)
    , m_token(config.account, config.password)
    , m_digest(QStringLiteral("devsim %1").arg(config.uid), config.account, config.password)
    , m_motion(
          RecordStore::parseSchedule(config.motion, nullptr).value_or(QList<RecordStore::Span>()),
          device.recordStore())
{
    connect(&m_server, &QTcpServer::newConnection, this, &OnvifServer::accept);
    m_liveMotion =
        std::make_unique<LiveMotion>(config.uid, config.channels, m_motion, config.motionEverySec,
                                     [&device] { return device.now(); });
    m_search = std::make_unique<SearchService>(device.recordStore(), m_motion);
    m_events = std::make_unique<EventService>(*m_liveMotion, [&device] { return device.now(); });
}

OnvifServer::~OnvifServer()
{
    m_server.close();
    for (auto &[socket, connection] : m_connections) {
        socket->disconnect(this);
        socket->abort();
        delete socket;
    }
}

bool OnvifServer::start(QString *error)
{
    const auto port = static_cast<quint16>(std::max(m_config.onvifPort, 0));
    if (!m_server.listen(QHostAddress::Any, port)) {
        *error = QStringLiteral("cannot listen on ONVIF port %1: %2")
                     .arg(port)
                     .arg(m_server.errorString());
        return false;
    }
    return true;
}

void OnvifServer::accept()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        if (static_cast<int>(m_connections.size()) >= MaxConnections) {
            socket->write("HTTP/1.1 503 Service Unavailable\r\nContent-Length: 0\r\n"
                          "Connection: close\r\n\r\n");
            socket->disconnectFromHost();
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            continue;
        }
        socket->setReadBufferSize(kReadChunk);
        auto connection = std::make_unique<Connection>();
        connection->idle = new QTimer(socket);
        connection->idle->setSingleShot(true);
        connection->idle->start(IdleTimeoutMs);
        connect(connection->idle, &QTimer::timeout, this, [this, socket] { close(socket); });
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            m_connections.erase(socket);
            socket->deleteLater();
        });
        m_connections.emplace(socket, std::move(connection));
    }
}

void OnvifServer::close(QTcpSocket *socket)
{
    const auto it = m_connections.find(socket);
    if (it == m_connections.end() || it->second->closing)
        return;
    it->second->closing = true;
    socket->disconnectFromHost(); // after what is still to be written; then "disconnected"
}

void OnvifServer::read(QTcpSocket *socket)
{
    const auto it = m_connections.find(socket);
    if (it == m_connections.end() || it->second->closing)
        return;
    Connection &c = *it->second;
    if (c.waiting)
        return; // the rest waits in the socket until the deferred answer is out
    HttpRequestParser::State state = c.parser.feed(socket->readAll());
    while (true) {
        if (state == HttpRequestParser::State::Failed) {
            Response r;
            r.status = c.parser.errorStatus();
            StatusOutput::line(QStringLiteral("SOAP %1 - http:%2").arg(m_config.uid).arg(r.status));
            send(socket, r, false);
            close(socket);
            return;
        }
        if (c.parser.wantsContinue()) {
            socket->write("HTTP/1.1 100 Continue\r\n\r\n");
            c.parser.continueSent();
        }
        if (state != HttpRequestParser::State::Complete)
            return;
        const HttpRequestParser::Request request = c.parser.take();
        c.idle->start(IdleTimeoutMs); // the next request has as long as the first had
        const std::optional<Response> response = answer(request, socket);
        if (!response) {
            c.waiting = true;
            c.keepAlive = request.keepAlive();
            c.idle->stop();
            return;
        }
        send(socket, *response, request.keepAlive());
        if (!request.keepAlive()) {
            close(socket);
            return;
        }
        state = c.parser.feed(QByteArray());
    }
}

void OnvifServer::deliver(QTcpSocket *socket, const Response &response)
{
    const auto it = m_connections.find(socket);
    if (it == m_connections.end() || it->second->closing || !it->second->waiting)
        return;
    Connection &c = *it->second;
    c.waiting = false;
    send(socket, response, c.keepAlive);
    if (!c.keepAlive) {
        close(socket);
        return;
    }
    c.idle->start(IdleTimeoutMs);
    // Later, from the event loop: the caller may be in the middle of the event service.
    QTimer::singleShot(0, socket, [this, socket] { read(socket); });
}

std::optional<OnvifServer::Response> OnvifServer::answer(const HttpRequestParser::Request &request,
                                                         QTcpSocket *socket)
{
    static const QRegularExpression subscriptionPath(
        QStringLiteral("^/onvif/subscription/([1-9]\\d{0,8})$"));
    static const QList<QByteArray> servicePaths{"/onvif/device_service", "/onvif/media_service",
                                                "/onvif/ptz_service",    "/onvif/recording_service",
                                                "/onvif/search_service", "/onvif/replay_service",
                                                "/onvif/event_service"};
    const QByteArray path = request.path();
    if (path.startsWith("/onvif/snapshot/")) {
        return request.method == "GET" ? snapshot(request)
                                       : Response{405, {}, {}, {{"Allow", "GET"}}};
    }
    const QRegularExpressionMatch m = subscriptionPath.match(QString::fromLatin1(path));
    if (!servicePaths.contains(path) && !m.hasMatch())
        return Response{404, {}, {}, {}};
    if (request.method != "POST")
        return Response{405, {}, {}, {{"Allow", "POST"}}};
    return soap(request, socket, m.hasMatch() ? m.captured(1).toInt() : 0);
}

OnvifServer::Response OnvifServer::unauthorized(bool stale)
{
    Response r;
    r.status = 401;
    r.contentType = kSoapType;
    r.body = SoapEnvelope::fault(SoapFault::sender({QStringLiteral("NotAuthorized")},
                                                   QStringLiteral("Sender not authorized")));
    r.headers.append(
        {"WWW-Authenticate", m_digest.challenge(stale, QDateTime::currentMSecsSinceEpoch())});
    return r;
}

OnvifServer::Response OnvifServer::faultAnswer(const QString &operation, const SoapFault &fault)
{
    StatusOutput::line(
        QStringLiteral("SOAP %1 %2 fault:%3")
            .arg(m_config.uid, operation,
                 fault.subcodes.isEmpty() ? QStringLiteral("-") : fault.subcodes.constLast()));
    return Response{fault.httpStatus(), kSoapType, SoapEnvelope::fault(fault), {}};
}

std::optional<OnvifServer::Response> OnvifServer::soap(const HttpRequestParser::Request &request,
                                                       QTcpSocket *socket, int subscription)
{
    Response r;
    r.contentType = kSoapType;
    const auto faultResponse = [this](const QString &operation, const SoapFault &fault) {
        return faultAnswer(operation, fault);
    };
    SoapFault fault;
    const std::optional<SoapEnvelope> envelope = SoapEnvelope::parse(request.body, &fault);
    const bool isPublic = envelope && envelope->body().ns == SoapNs::Device &&
                          DeviceService::isPublic(envelope->body().name);
    if (m_config.onvifAuth == OnvifAuth::HttpDigest && !isPublic) {
        // Before the body counts: a client's first, empty attempt learns the challenge.
        const HttpDigest::Result result =
            m_digest.check(request.method, request.target, request.header("authorization"),
                           QDateTime::currentMSecsSinceEpoch());
        if (result != HttpDigest::Result::Ok) {
            StatusOutput::line(QStringLiteral("SOAP %1 %2 fault:NotAuthorized")
                                   .arg(m_config.uid, envelope ? envelope->body().name.left(64)
                                                               : QStringLiteral("-")));
            return unauthorized(result == HttpDigest::Result::Stale);
        }
    }
    if (!envelope)
        return faultResponse(QStringLiteral("-"), fault);
    const XmlNode &operation = envelope->body();
    const QString name = operation.name.left(64);

    using Handler = std::function<std::optional<SoapFault>(const XmlNode &, OnvifContext &,
                                                           QXmlStreamWriter &)>;
    Handler handler;
    const bool events = operation.ns == SoapNs::Events || operation.ns == SoapNs::Notification;
    if (operation.ns == SoapNs::Device)
        handler = &DeviceService::handle;
    else if (operation.ns == SoapNs::Media)
        handler = &MediaService::handle;
    else if (operation.ns == SoapNs::Ptz && m_config.isPtz())
        handler = &PtzService::handle;
    else if (operation.ns == SoapNs::Recording)
        handler = &RecordingService::handle;
    else if (operation.ns == SoapNs::Replay)
        handler = &ReplayService::handle;
    else if (operation.ns == SoapNs::Search)
        handler = [this](const XmlNode &op, OnvifContext &context, QXmlStreamWriter &w) {
            return m_search->handle(op, context, w);
        };
    if (!handler && !events)
        return faultResponse(name, SoapFault{SoapFault::Code::Receiver,
                                             {QStringLiteral("ActionNotSupported")},
                                             QStringLiteral("no such service here")});

    if (m_config.onvifAuth == OnvifAuth::WsSecurity && !isPublic) {
        const UsernameToken::Result result = m_token.check(envelope->header(), m_device.now());
        if (result != UsernameToken::Result::Ok)
            return faultResponse(name,
                                 SoapFault::sender({QStringLiteral("NotAuthorized")},
                                                   QStringLiteral("Sender not authorized: ") +
                                                       QLatin1String(UsernameToken::text(result))));
    }

    OnvifContext context{m_device, m_config,   urlHost(socket->localAddress()),
                         port(),   m_rtspPort, m_presetNames};
    if (events) {
        // Answered now or, for a PullMessages that waits, later.
        struct Now
        {
            bool inCall = true;
            std::optional<Response> response;
        };
        const auto now = std::make_shared<Now>();
        m_events->handle(
            operation, context, subscription,
            [this, now, name, socket = QPointer<QTcpSocket>(socket)](
                const std::optional<SoapFault> &failed, const QByteArray &body) {
                Response answer =
                    failed ? faultAnswer(name, *failed) : Response{200, kSoapType, body, {}};
                if (!failed)
                    StatusOutput::line(QStringLiteral("SOAP %1 %2 ok").arg(m_config.uid, name));
                if (now->inCall)
                    now->response = std::move(answer);
                else if (socket)
                    deliver(socket, answer);
            });
        now->inCall = false;
        return std::move(now->response);
    }
    std::optional<SoapFault> failed;
    r.body = SoapEnvelope::write(SoapNs::responsePrefixes(), {}, [&](QXmlStreamWriter &w) {
        failed = handler(operation, context, w);
    });
    if (failed)
        return faultResponse(name, *failed);
    StatusOutput::line(QStringLiteral("SOAP %1 %2 ok").arg(m_config.uid, name));
    return r;
}

OnvifServer::Response OnvifServer::snapshot(const HttpRequestParser::Request &request)
{
    const HttpDigest::Result result =
        m_digest.check(request.method, request.target, request.header("authorization"),
                       QDateTime::currentMSecsSinceEpoch());
    if (result != HttpDigest::Result::Ok)
        return unauthorized(result == HttpDigest::Result::Stale);
    static const QRegularExpression re(QStringLiteral("^/onvif/snapshot/(\\d{1,2})/(main|sub)$"));
    const QRegularExpressionMatch m = re.match(QString::fromLatin1(request.path()));
    const int channel = m.hasMatch() ? m.captured(1).toInt() : -1;
    if (channel < 0 || channel >= m_config.channels)
        return Response{404, {}, {}, {}};
    const bool hd = m.captured(2) == QLatin1String("main");
    return Response{
        200, "image/jpeg", Snapshot::jpeg(m_config, m_device.ptz(channel), channel, hd), {}};
}

void OnvifServer::send(QTcpSocket *socket, const Response &response, bool keepAlive)
{
    QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + ' ' +
                      reasonPhrase(response.status) + "\r\nServer: devsim\r\n";
    if (!response.contentType.isEmpty())
        head += "Content-Type: " + response.contentType + "\r\n";
    for (const auto &[name, value] : response.headers)
        head += name + ": " + value + "\r\n";
    head += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
    head += keepAlive ? "Connection: keep-alive\r\n\r\n" : "Connection: close\r\n\r\n";
    socket->write(head + response.body);
}

} // namespace devsim
