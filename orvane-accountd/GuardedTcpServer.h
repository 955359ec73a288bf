#pragma once

#include <QList>
#include <QPointer>
#include <QSslConfiguration>
#include <QTcpServer>

#include <optional>

namespace accountd {

class ConnectionGuard;

// The listening socket of the service. Every accepted connection gets a ConnectionGuard
// (limits and time-outs) and, when a TLS configuration is set, starts the server side of
// the TLS handshake before the HTTP server sees it. At most maxConnections are open at once;
// further ones are closed at once. Main thread.
class GuardedTcpServer : public QTcpServer
{
    Q_OBJECT

public:
    static constexpr int maxConnections = 256;

    GuardedTcpServer(qint64 bodyLimit, std::optional<QSslConfiguration> tls,
                     QObject *parent = nullptr);

    // Stops accepting connections, closes the idle ones and the others once their request has
    // been answered.
    void drain();
    // Connections with a request in progress.
    int busyConnections() const;

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    qint64 m_bodyLimit;
    std::optional<QSslConfiguration> m_tls;
    int m_open = 0;
    QList<QPointer<ConnectionGuard>> m_guards;
};

} // namespace accountd
