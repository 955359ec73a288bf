#include "AccountHttpServer.h"

#include "AccountApi.h"
#include "GuardedTcpServer.h"

#include <QHttpServerRequest>
#include <QElapsedTimer>
#include <QHttpServerResponder>
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
#include <QHttpHeaders>
#endif

namespace accountd {

namespace {

QByteArray headerValue(const QHttpServerRequest &request, const QByteArray &name)
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
    return request.headers().value(QAnyStringView(name)).toByteArray();
#else
    for (const auto &header : request.headers()) {
        if (header.first.compare(name, Qt::CaseInsensitive) == 0)
            return header.second;
    }
    return QByteArray();
#endif
}

// Control characters of client input must not forge log lines.
QString printable(QString text)
{
    for (QChar &c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            c = QLatin1Char('?');
    }
    return text;
}

QByteArray methodName(QHttpServerRequest::Method method)
{
    switch (method) {
    case QHttpServerRequest::Method::Get:
        return "GET";
    case QHttpServerRequest::Method::Post:
        return "POST";
    case QHttpServerRequest::Method::Head:
        return "HEAD";
    case QHttpServerRequest::Method::Put:
        return "PUT";
    case QHttpServerRequest::Method::Delete:
        return "DELETE";
    default:
        return "OTHER";
    }
}

} // namespace

AccountHttpServer::AccountHttpServer(AccountApi &api, QObject *parent)
    : QAbstractHttpServer(parent)
    , m_api(api)
{}

quint16 AccountHttpServer::start(const QHostAddress &address, quint16 port,
                                 std::optional<QSslConfiguration> tls, QString *error)
{
    m_secure = tls.has_value();
    auto *server = new GuardedTcpServer(m_api.transportLimit(), std::move(tls), this);
    if (!server->listen(address, port)) {
        *error = QStringLiteral("cannot listen on %1:%2: %3")
                     .arg(address.toString())
                     .arg(port)
                     .arg(server->errorString());
        delete server;
        return 0;
    }
    bind(server);
    m_listener = server;
    return server->serverPort();
}

void AccountHttpServer::drain()
{
    if (m_listener)
        m_listener->drain();
}

int AccountHttpServer::busyConnections() const
{
    return m_listener ? m_listener->busyConnections() : 0;
}

#if QT_VERSION >= QT_VERSION_CHECK(6, 5, 0)
bool AccountHttpServer::handleRequest(const QHttpServerRequest &request,
                                      QHttpServerResponder &responder)
{
    serve(request, responder);
    return true;
}

#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
void AccountHttpServer::missingHandler(const QHttpServerRequest &request,
                                       QHttpServerResponder &responder)
{
    serve(request, responder);
}
#else
void AccountHttpServer::missingHandler(const QHttpServerRequest &request,
                                       QHttpServerResponder &&responder)
{
    serve(request, responder);
}
#endif
#else
bool AccountHttpServer::handleRequest(const QHttpServerRequest &request, QTcpSocket *socket)
{
    QHttpServerResponder responder = makeResponder(request, socket);
    serve(request, responder);
    return true;
}

void AccountHttpServer::missingHandler(const QHttpServerRequest &request, QTcpSocket *socket)
{
    QHttpServerResponder responder = makeResponder(request, socket);
    serve(request, responder);
}
#endif

void AccountHttpServer::serve(const QHttpServerRequest &request, QHttpServerResponder &responder)
{
    QElapsedTimer clock;
    clock.start();
    ApiRequest in;
    in.method = methodName(request.method());
    in.path = request.url().path(QUrl::FullyDecoded);
    in.query = request.url().query(QUrl::FullyEncoded).toUtf8();
    in.contentType = headerValue(request, "content-type");
    in.body = request.body();
    in.host = QString::fromLatin1(headerValue(request, "host"));
    in.peer = request.remoteAddress().toString();
    in.secure = m_secure;

    const ApiReply out = m_api.handle(in);
    // One line per request. The query (it may hold a token) and the body are never logged.
    qInfo("accountd: %s %s %s -> %d %lld ms %s", qPrintable(in.peer), in.method.constData(),
          qPrintable(printable(in.path.left(80))), out.status, qint64(clock.elapsed()),
          qPrintable(printable(out.note)));

    const auto status = static_cast<QHttpServerResponder::StatusCode>(out.status);
    // Pages never send a Referer: the address of the reset page may hold a reset code.
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
    QHttpHeaders headers;
    headers.append(QHttpHeaders::WellKnownHeader::ContentType, out.contentType);
    headers.append("X-Content-Type-Options", "nosniff");
    headers.append(QHttpHeaders::WellKnownHeader::CacheControl, out.cacheControl);
    headers.append("Content-Security-Policy", out.contentSecurityPolicy);
    headers.append("Referrer-Policy", "no-referrer");
    responder.write(out.body, headers, status);
#else
    responder.write(out.body,
                    {{"Content-Type", out.contentType},
                     {"X-Content-Type-Options", "nosniff"},
                     {"Cache-Control", out.cacheControl},
                     {"Content-Security-Policy", out.contentSecurityPolicy},
                     {"Referrer-Policy", "no-referrer"}},
                    status);
#endif
}

} // namespace accountd
