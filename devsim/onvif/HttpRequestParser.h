#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>

namespace devsim {

// Reads HTTP/1.x requests from a connection's bytes, bounded: the request line and headers at
// most MaxHeadSize bytes and MaxHeaders fields, a body only with Content-Length and at most
// MaxBodySize bytes (no chunked transfer coding). Requests may follow each other on the
// connection. Plain data; used by one thread.
class HttpRequestParser
{
public:
    static constexpr int MaxHeadSize = 16 * 1024;
    static constexpr int MaxBodySize = 256 * 1024;
    static constexpr int MaxHeaders = 64;

    struct Request
    {
        QByteArray method;
        QByteArray target; // origin form: path and query
        int minorVersion = 1;
        QList<QPair<QByteArray, QByteArray>> headers; // names lower-case
        QByteArray body;

        // The value of the first header of that (lower-case) name; empty when absent.
        QByteArray header(const QByteArray &name) const;
        // The path of the target, without the query.
        QByteArray path() const;
        // Whether the connection stays open after the answer.
        bool keepAlive() const;
    };

    enum class State { Incomplete, Complete, Failed };

    // Takes more bytes of the connection. Complete: take() gives the request; Failed: the
    // connection is beyond repair, errorStatus() is the HTTP status to answer with.
    State feed(const QByteArray &bytes);
    // The complete request; the parser then reads the next one from what is left.
    Request take();

    int errorStatus() const { return m_errorStatus; }
    // The head is in, asked for "100-continue", and the body is still to come.
    bool wantsContinue() const;
    // The 100 Continue answer was sent for the current request.
    void continueSent() { m_continueSent = true; }

private:
    State parseHead(int headEnd);
    State fail(int status);

    QByteArray m_buffer;
    Request m_request;
    bool m_haveHead = false;
    bool m_continueSent = false;
    int m_bodySize = 0;
    int m_errorStatus = 0;
};

} // namespace devsim
