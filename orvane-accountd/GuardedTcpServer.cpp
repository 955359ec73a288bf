#include "GuardedTcpServer.h"

#include "ConnectionGuard.h"

#include <QSslSocket>

namespace accountd {

GuardedTcpServer::GuardedTcpServer(qint64 bodyLimit, std::optional<QSslConfiguration> tls,
                                   QObject *parent)
    : QTcpServer(parent)
    , m_bodyLimit(bodyLimit)
    , m_tls(std::move(tls))
{}

void GuardedTcpServer::incomingConnection(qintptr descriptor)
{
    auto *socket = new QSslSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    if (m_open >= maxConnections) {
        socket->abort();
        socket->deleteLater();
        return;
    }
    ++m_open;
    connect(socket, &QObject::destroyed, this, [this] { --m_open; });
    new ConnectionGuard(socket, m_bodyLimit);
    if (m_tls) {
        socket->setSslConfiguration(*m_tls);
        connect(socket, &QSslSocket::sslErrors, socket,
                [socket](const QList<QSslError> &) { socket->abort(); });
        socket->startServerEncryption();
    }
    addPendingConnection(socket);
}

} // namespace accountd
