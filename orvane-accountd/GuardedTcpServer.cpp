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
    m_guards.removeAll(nullptr);
    m_guards.append(new ConnectionGuard(socket, m_bodyLimit));
    if (m_tls) {
        socket->setSslConfiguration(*m_tls);
        connect(socket, &QSslSocket::sslErrors, socket,
                [socket](const QList<QSslError> &) { socket->abort(); });
        socket->startServerEncryption();
    }
    addPendingConnection(socket);
}

void GuardedTcpServer::drain()
{
    close();
    m_guards.removeAll(nullptr);
    for (const QPointer<ConnectionGuard> &guard : std::as_const(m_guards))
        guard->closeWhenIdle();
}

int GuardedTcpServer::busyConnections() const
{
    int busy = 0;
    for (const QPointer<ConnectionGuard> &guard : m_guards) {
        if (guard && guard->busy())
            ++busy;
    }
    return busy;
}

} // namespace accountd
