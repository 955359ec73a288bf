#pragma once

#include <QByteArray>
#include <QObject>
#include <QTimer>

class QTcpSocket;

namespace accountd {

// Watches one client connection before the HTTP server reads it, because the server keeps a
// whole request in memory: a request whose head exceeds maxHeadBytes, whose Content-Length or
// received bytes exceed the body limit is answered with 431 or 413 and the connection closed;
// a request not complete within requestTimeoutMs, or a connection idle for idleTimeoutMs, is
// closed. Owned by its socket. Main thread.
class ConnectionGuard : public QObject
{
    Q_OBJECT

public:
    static constexpr int maxHeadBytes = 16 * 1024;
    static constexpr int requestTimeoutMs = 120 * 1000;
    static constexpr int idleTimeoutMs = 120 * 1000;

    // Must be made before anything else connects to the socket's readyRead().
    ConnectionGuard(QTcpSocket *socket, qint64 bodyLimit);

    // Whether part of a request has arrived and its reply has not gone out yet.
    bool busy() const { return m_requestBytes > 0 && !m_refused; }
    // For a shutdown: closes the connection now if it is idle, else once the reply of the
    // request in progress has been written.
    void closeWhenIdle();

private:
    void onReadyRead();
    void onBytesWritten();
    void refuse(int status, const QByteArray &reason);
    void inspectHead();

    QTcpSocket *m_socket;
    qint64 m_bodyLimit;
    qint64 m_requestBytes = 0;
    QByteArray m_head;
    bool m_headDone = false;
    bool m_refused = false;
    bool m_closing = false;
    QTimer m_requestTimer;
    QTimer m_idleTimer;
};

} // namespace accountd
