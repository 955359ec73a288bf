#include "HttpRequestParser.h"

namespace devsim {

namespace {

bool isToken(const QByteArray &text)
{
    if (text.isEmpty())
        return false;
    for (char c : text) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                        (c >= '0' && c <= '9') || QByteArray("!#$%&'*+-.^_`|~").contains(c);
        if (!ok)
            return false;
    }
    return true;
}

bool isFieldValue(const QByteArray &text)
{
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if ((u < 0x20 && c != '\t') || u == 0x7F)
            return false;
    }
    return true;
}

} // namespace

QByteArray HttpRequestParser::Request::header(const QByteArray &name) const
{
    for (const auto &h : headers) {
        if (h.first == name)
            return h.second;
    }
    return QByteArray();
}

QByteArray HttpRequestParser::Request::path() const
{
    const int query = target.indexOf('?');
    return query < 0 ? target : target.left(query);
}

bool HttpRequestParser::Request::keepAlive() const
{
    const QByteArray connection = header("connection").toLower();
    if (minorVersion == 0)
        return connection.contains("keep-alive");
    return !connection.contains("close");
}

bool HttpRequestParser::wantsContinue() const
{
    return m_haveHead && !m_continueSent && m_bodySize > m_buffer.size() &&
           m_request.header("expect").toLower() == "100-continue";
}

HttpRequestParser::State HttpRequestParser::fail(int status)
{
    m_errorStatus = status;
    m_buffer.clear();
    return State::Failed;
}

HttpRequestParser::State HttpRequestParser::feed(const QByteArray &bytes)
{
    if (m_errorStatus)
        return State::Failed;
    m_buffer.append(bytes);
    if (!m_haveHead) {
        const int headEnd = m_buffer.indexOf("\r\n\r\n");
        if (headEnd < 0) {
            // Room for the terminator; empty lines before a request are skipped (RFC 9112).
            if (m_buffer.size() > MaxHeadSize + 3)
                return fail(431);
            return State::Incomplete;
        }
        if (headEnd > MaxHeadSize)
            return fail(431);
        const State s = parseHead(headEnd);
        if (s == State::Failed)
            return s;
    }
    return m_buffer.size() < m_bodySize ? State::Incomplete : State::Complete;
}

HttpRequestParser::State HttpRequestParser::parseHead(int headEnd)
{
    QList<QByteArray> lines = m_buffer.left(headEnd + 2).split('\n'); // each line ends "\r\n"
    lines.removeLast(); // what follows the last line feed
    m_buffer.remove(0, headEnd + 4);
    Request request;
    int index = 0;
    while (index < lines.size() && lines.at(index) == "\r")
        ++index; // stray empty lines between requests
    if (index >= lines.size())
        return fail(400);
    if (!lines.at(index).endsWith('\r'))
        return fail(400); // bare line feeds
    const QList<QByteArray> requestLine = lines.at(index).chopped(1).split(' ');
    if (requestLine.size() != 3 || !isToken(requestLine.at(0)) ||
        !requestLine.at(1).startsWith('/') || !isFieldValue(requestLine.at(1)))
        return fail(400);
    if (requestLine.at(2) == "HTTP/1.1")
        request.minorVersion = 1;
    else if (requestLine.at(2) == "HTTP/1.0")
        request.minorVersion = 0;
    else
        return fail(505);
    request.method = requestLine.at(0);
    request.target = requestLine.at(1);
    for (++index; index < lines.size(); ++index) {
        QByteArray line = lines.at(index);
        if (!line.endsWith('\r'))
            return fail(400); // bare line feeds
        line.chop(1);
        if (line.startsWith(' ') || line.startsWith('\t'))
            return fail(400); // obsolete line folding
        const int colon = line.indexOf(':');
        if (colon <= 0 || !isToken(line.left(colon)))
            return fail(400);
        const QByteArray value = line.mid(colon + 1).trimmed();
        if (!isFieldValue(value) || request.headers.size() >= MaxHeaders)
            return fail(request.headers.size() >= MaxHeaders ? 431 : 400);
        request.headers.append({line.left(colon).toLower(), value});
    }
    if (!request.header("transfer-encoding").isEmpty())
        return fail(501);
    int length = 0;
    bool seen = false;
    for (const auto &h : request.headers) {
        if (h.first != "content-length")
            continue;
        bool ok = false;
        const qlonglong n = h.second.toLongLong(&ok);
        const bool digits = !h.second.isEmpty() && h.second.count('+') + h.second.count('-') == 0;
        if (!ok || !digits || n < 0 || (seen && n != length))
            return fail(400);
        if (n > MaxBodySize)
            return fail(413);
        length = static_cast<int>(n);
        seen = true;
    }
    m_request = request;
    m_bodySize = length;
    m_haveHead = true;
    m_continueSent = false;
    return State::Incomplete;
}

HttpRequestParser::Request HttpRequestParser::take()
{
    Request out = std::move(m_request);
    out.body = m_buffer.left(m_bodySize);
    m_buffer.remove(0, m_bodySize);
    m_request = Request();
    m_haveHead = false;
    m_bodySize = 0;
    return out;
}

} // namespace devsim
