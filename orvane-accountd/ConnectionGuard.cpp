#include "ConnectionGuard.h"

#include <QTcpSocket>

namespace accountd {

ConnectionGuard::ConnectionGuard(QTcpSocket *socket, qint64 bodyLimit)
    : QObject(socket)
    , m_socket(socket)
    , m_bodyLimit(bodyLimit)
{
    m_requestTimer.setSingleShot(true);
    m_requestTimer.setInterval(requestTimeoutMs);
    m_idleTimer.setSingleShot(true);
    m_idleTimer.setInterval(idleTimeoutMs);
    connect(&m_requestTimer, &QTimer::timeout, this,
            [this] { refuse(408, "the request did not arrive in time"); });
    connect(&m_idleTimer, &QTimer::timeout, m_socket, &QTcpSocket::abort);
    connect(m_socket, &QTcpSocket::readyRead, this, &ConnectionGuard::onReadyRead);
    connect(m_socket, &QTcpSocket::bytesWritten, this, &ConnectionGuard::onBytesWritten);
    m_idleTimer.start();
}

void ConnectionGuard::onReadyRead()
{
    if (m_refused) {
        m_socket->readAll(); // nothing more reaches the server
        return;
    }
    // The server reads everything at each readyRead(), so what is available now is new.
    const qint64 available = m_socket->bytesAvailable();
    if (available <= 0)
        return;
    m_idleTimer.start();
    if (m_requestBytes == 0)
        m_requestTimer.start();
    if (!m_headDone) {
        m_head += m_socket->peek(qMin<qint64>(available, maxHeadBytes + 4 - m_head.size()));
        inspectHead();
        if (m_refused)
            return;
    }
    m_requestBytes += available;
    if (m_requestBytes > m_bodyLimit + maxHeadBytes)
        refuse(413, "the request is too large");
}

void ConnectionGuard::inspectHead()
{
    const qsizetype end = m_head.indexOf("\r\n\r\n");
    if (end < 0) {
        if (m_head.size() > maxHeadBytes)
            refuse(431, "the request head is too large");
        return;
    }
    m_headDone = true;
    for (const QByteArray &line : m_head.left(end).split('\n')) {
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0 || line.left(colon).trimmed().toLower() != "content-length")
            continue;
        bool ok = false;
        const qint64 length = line.mid(colon + 1).trimmed().toLongLong(&ok);
        if (!ok || length < 0) {
            refuse(400, "bad Content-Length");
            return;
        }
        if (length > m_bodyLimit) {
            refuse(413, "the request body is too large");
            return;
        }
    }
}

void ConnectionGuard::onBytesWritten()
{
    // A reply went out: the next bytes belong to a new request.
    if (m_refused)
        return;
    m_idleTimer.start();
    m_requestTimer.stop();
    m_requestBytes = 0;
    m_head.clear();
    m_headDone = false;
    if (m_closing)
        m_socket->disconnectFromHost(); // what is still buffered is written first
}

void ConnectionGuard::closeWhenIdle()
{
    m_closing = true;
    if (!busy())
        m_socket->disconnectFromHost();
}

void ConnectionGuard::refuse(int status, const QByteArray &reason)
{
    m_refused = true;
    m_requestTimer.stop();
    const QByteArray text = status == 413   ? "Payload Too Large"
                            : status == 431 ? "Request Header Fields Too Large"
                            : status == 408 ? "Request Timeout"
                                            : "Bad Request";
    const QByteArray body = "{\"result_code\":7,\"error_code\":7,\"reason\":\"" + reason + "\"}";
    m_socket->readAll();
    m_socket->write("HTTP/1.1 " + QByteArray::number(status) + ' ' + text +
                    "\r\nContent-Type: application/json\r\nContent-Length: " +
                    QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
    m_socket->disconnectFromHost();
    qInfo("accountd: connection from %s refused: %d %s",
          qPrintable(m_socket->peerAddress().toString()), status, reason.constData());
}

} // namespace accountd
