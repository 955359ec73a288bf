#pragma once

#include <QAbstractHttpServer>
#include <QHostAddress>
#include <QSslConfiguration>

#include <optional>

class QHttpServerRequest;
class QHttpServerResponder;
class QTcpSocket;

namespace accountd {

class AccountApi;
class GuardedTcpServer;

// Serves AccountApi over HTTP or HTTPS with Qt HttpServer. Builds on Qt 6.4 (request handler
// with the socket) as well as later versions (handler with a responder). Main thread.
class AccountHttpServer : public QAbstractHttpServer
{
    Q_OBJECT

public:
    explicit AccountHttpServer(AccountApi &api, QObject *parent = nullptr);

    // Listens on address:port (0 picks a free port) with TLS when `tls` is set. Returns the
    // port, or 0 with *error set.
    quint16 start(const QHostAddress &address, quint16 port, std::optional<QSslConfiguration> tls,
                  QString *error);
    bool isSecure() const { return m_secure; }
    // For a shutdown: stops accepting and closes each connection once its request is answered;
    // busyConnections() counts those still waiting for their reply.
    void drain();
    int busyConnections() const;

protected:
#if QT_VERSION >= QT_VERSION_CHECK(6, 5, 0)
    bool handleRequest(const QHttpServerRequest &request, QHttpServerResponder &responder) override;
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
    void missingHandler(const QHttpServerRequest &request,
                        QHttpServerResponder &responder) override;
#else
    void missingHandler(const QHttpServerRequest &request,
                        QHttpServerResponder &&responder) override;
#endif
#else
    bool handleRequest(const QHttpServerRequest &request, QTcpSocket *socket) override;
    void missingHandler(const QHttpServerRequest &request, QTcpSocket *socket) override;
#endif

private:
    void serve(const QHttpServerRequest &request, QHttpServerResponder &responder);

    AccountApi &m_api;
    bool m_secure = false;
    GuardedTcpServer *m_listener = nullptr;
};

} // namespace accountd
