#include "model/RtspUrl.h"

#include <QCryptographicHash>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QUrl>

namespace RtspUrl {

namespace {

// Percent-decodes a user name or password; false for invalid UTF-8.
bool decodeSecret(const QString &encoded, QString *out)
{
    const QByteArray bytes = QByteArray::fromPercentEncoding(encoded.toUtf8());
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    *out = utf8.decode(bytes);
    return !utf8.hasError() && out->size() <= MaxSecret;
}

bool fail(QString *error, const QString &text)
{
    if (error)
        *error = text;
    return false;
}

QString expand(QString pattern, int channel, const char *stream)
{
    pattern.replace(QLatin1String("{ch}"), QString::number(channel));
    pattern.replace(QLatin1String("{ch0}"), QString::number(channel - 1));
    pattern.replace(QLatin1String("{stream}"), QLatin1String(stream));
    return pattern;
}

bool isPattern(const QString &entry)
{
    return entry.contains(QLatin1String("{ch}")) || entry.contains(QLatin1String("{ch0}")) ||
           entry.contains(QLatin1String("{stream}"));
}

} // namespace

bool split(const QString &text, Split *out, QString *error)
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return fail(error, QStringLiteral("empty URL"));
    if (t.size() > MaxLength)
        return fail(error, QStringLiteral("URL longer than %1 characters").arg(MaxLength));
    for (const QChar c : t) {
        if (c.isSpace() || c.unicode() < 0x20 || c.unicode() == 0x7f)
            return fail(error, QStringLiteral("URL with spaces or control characters"));
    }
    const qsizetype schemeEnd = t.indexOf(QLatin1String("://"));
    const QString scheme = schemeEnd < 0 ? QString() : t.left(schemeEnd).toLower();
    if (scheme != QLatin1String("rtsp") && scheme != QLatin1String("rtsps"))
        return fail(error, QStringLiteral("not an rtsp:// URL"));
    const QString rest = t.mid(schemeEnd + 3);
    static const QRegularExpression authorityEnd(QStringLiteral("[/?#]"));
    qsizetype end = rest.indexOf(authorityEnd);
    if (end < 0)
        end = rest.size();
    const QString authority = rest.left(end);
    const QString tail = rest.mid(end);
    Split s;
    // The credentials end at the authority's last '@' (a password may hold
    // one, percent-encoded or not).
    const qsizetype at = authority.lastIndexOf(u'@');
    const QString hostPort = at < 0 ? authority : authority.mid(at + 1);
    if (at >= 0) {
        const QString info = authority.left(at);
        const qsizetype colon = info.indexOf(u':');
        s.hasCredentials = true;
        if (!decodeSecret(colon < 0 ? info : info.left(colon), &s.user) ||
            !decodeSecret(colon < 0 ? QString() : info.mid(colon + 1), &s.password))
            return fail(error, QStringLiteral("user name or password not valid (at most %1 "
                                              "characters of UTF-8)")
                                   .arg(MaxSecret));
    }
    s.url = scheme + QLatin1String("://") + hostPort + tail;
    const QUrl url(s.url, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty() || hostPort.startsWith(u':'))
        return fail(error, QStringLiteral("URL without a valid host"));
    const bool portGiven = hostPort.lastIndexOf(u':') > hostPort.lastIndexOf(u']');
    if (portGiven && (url.port() < 1 || url.port() > 65535))
        return fail(error, QStringLiteral("port outside 1..65535"));
    if (url.hasFragment())
        return fail(error, QStringLiteral("URL with a fragment (#)"));
    *out = s;
    return true;
}

QByteArray withCredentials(const QString &url, const QString &user, const QString &password)
{
    QByteArray text = url.toUtf8();
    if (user.isEmpty() && password.isEmpty())
        return text;
    const qsizetype schemeEnd = text.indexOf("://");
    if (schemeEnd < 0)
        return text;
    QByteArray info = QUrl::toPercentEncoding(user);
    if (!password.isEmpty())
        info += ':' + QUrl::toPercentEncoding(password);
    return text.insert(schemeEnd + 3, info + '@');
}

QString deviceUid(const QString &url)
{
    // Scheme and host compare without case; the rest as written.
    const qsizetype schemeEnd = url.indexOf(QLatin1String("://"));
    const qsizetype pathStart = url.indexOf(u'/', schemeEnd < 0 ? 0 : schemeEnd + 3);
    const QString key =
        pathStart < 0 ? url.toLower() : url.left(pathStart).toLower() + url.mid(pathStart);
    const QByteArray hash = QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha1);
    return QLatin1String("RTSP-") + QString::fromLatin1(hash.toHex().left(16).toUpper());
}

QString onvifDeviceUid(const QString &onvifHost)
{
    return deviceUid(QStringLiteral("onvif://") + onvifHost.toLower());
}

bool parseStreams(const QString &text, int channels, Streams *out, QString *error)
{
    static const QRegularExpression space(QStringLiteral("\\s+"));
    const QStringList entries = text.split(space, Qt::SkipEmptyParts);
    if (entries.isEmpty())
        return fail(error, QStringLiteral("no RTSP URL"));
    if (entries.size() > MaxStreams)
        return fail(
            error,
            QStringLiteral("%1 URLs, at most %2 channels").arg(entries.size()).arg(MaxStreams));
    // Each entry as MAIN|SUB pairs of text; a pattern gives one per channel.
    QList<QStringList> pairs;
    if (entries.size() == 1 && isPattern(entries.first())) {
        if (channels < 1 || channels > MaxStreams)
            return fail(error, QStringLiteral("the channel count must be 1 to %1").arg(MaxStreams));
        const QString pattern = entries.first();
        const bool hasSub = pattern.contains(QLatin1String("{stream}"));
        for (int ch = 1; ch <= channels; ++ch) {
            QStringList pair{expand(pattern, ch, "main")};
            if (hasSub)
                pair << expand(pattern, ch, "sub");
            pairs << pair;
        }
    } else {
        for (const QString &entry : entries)
            pairs << entry.split(u'|');
    }
    Streams result;
    for (int i = 0; i < pairs.size(); ++i) {
        const QStringList &pair = pairs.at(i);
        const QString which = QStringLiteral("URL %1: ").arg(i + 1);
        if (pair.size() > 2)
            return fail(error, which + QStringLiteral("more than a main and a sub stream"));
        RtspStream stream;
        for (int k = 0; k < pair.size(); ++k) {
            Split s;
            QString why;
            if (isPattern(pair.at(k)) || !split(pair.at(k), &s, &why))
                return fail(error, which + (why.isEmpty() ? QStringLiteral("a pattern among "
                                                                           "several URLs")
                                                          : why));
            if (s.hasCredentials) {
                if (result.hasCredentials &&
                    (s.user != result.user || s.password != result.password))
                    return fail(error, which + QStringLiteral("another user name or password "
                                                              "than the URLs before"));
                result.hasCredentials = true;
                result.user = s.user;
                result.password = s.password;
            }
            (k == 0 ? stream.main : stream.sub) = s.url;
        }
        result.streams << stream;
    }
    *out = result;
    return true;
}

QString storedText(const QList<RtspStream> &streams)
{
    QStringList lines;
    for (const RtspStream &s : streams)
        lines << (s.sub.isEmpty() ? s.main : s.main + u'|' + s.sub);
    return lines.join(u'\n');
}

QString transportWord(RtspSource::Transport transport)
{
    return transport == RtspSource::Transport::Udp ? QStringLiteral("udp") : QStringLiteral("tcp");
}

RtspSource::Transport transportOf(const QString &word)
{
    return word == QLatin1String("udp") ? RtspSource::Transport::Udp
                                        : RtspSource::Transport::Tcp;
}

bool readStored(const QString &streamsText, const QString &onvifHost, const QString &transport,
                RtspSource *out, bool *hadCredentials, QString *error)
{
    static const QRegularExpression hostPattern(QStringLiteral("^[A-Za-z0-9.:\\[\\]_-]+$"));
    if (onvifHost.size() > MaxHostLength ||
        (!onvifHost.isEmpty() && !hostPattern.match(onvifHost).hasMatch()))
        return fail(error, QStringLiteral("not a valid ONVIF host"));
    RtspSource source;
    source.onvifHost = onvifHost;
    source.transport = transportOf(transport);
    bool credentials = false;
    if (!streamsText.trimmed().isEmpty() || onvifHost.isEmpty()) {
        Streams streams;
        // A stored list is never a pattern: a brace would make it one.
        if (streamsText.size() > MaxStoredText)
            return fail(error, QStringLiteral("stream list too long"));
        if (streamsText.contains(u'{'))
            return fail(error, QStringLiteral("a stored stream list holds no pattern"));
        if (!parseStreams(streamsText, 1, &streams, error))
            return false;
        source.streams = streams.streams;
        credentials = streams.hasCredentials;
    }
    if (hadCredentials)
        *hadCredentials = credentials;
    *out = source;
    return true;
}

} // namespace RtspUrl
