#include "link/onvif/OnvifSoap.h"

#include "link/onvif/OnvifNamespaces.h"

#include <QCryptographicHash>
#include <QRandomGenerator>

#include <algorithm>
#include <array>
#include <cmath>

namespace {

using Request = OnvifSoap::Request;
using Service = OnvifSoap::Service;

const QByteArray PasswordDigestType = "http://docs.oasis-open.org/wss/2004/01/"
                                      "oasis-200401-wss-username-token-profile-1.0#PasswordDigest";
const QByteArray Base64BinaryType = "http://docs.oasis-open.org/wss/2004/01/"
                                    "oasis-200401-wss-soap-message-security-1.0#Base64Binary";

QByteArray ns(const QString &uri)
{
    return uri.toLatin1();
}

// <prefix:Name xmlns:prefix="uri">inner</prefix:Name>, or the empty form.
Request request(Service service, const QString &uri, const char *prefix, const char *name,
                const QByteArray &inner = QByteArray())
{
    const QByteArray tag = QByteArray(prefix) + ':' + name;
    QByteArray body = '<' + tag + " xmlns:" + prefix + "=\"" + ns(uri) + '"';
    if (inner.contains("<tt:")) // escaped text never holds a '<'
        body += " xmlns:tt=\"" + ns(OnvifNs::Schema) + '"';
    body += inner.isEmpty() ? QByteArray("/>") : '>' + inner + "</" + tag + '>';
    return {service, ns(uri) + '/' + name, body, QByteArray()};
}

QByteArray element(const char *tag, const QByteArray &content)
{
    return '<' + QByteArray(tag) + '>' + content + "</" + tag + '>';
}

QByteArray profileToken(const char *prefix, const QString &token)
{
    const QByteArray tag = QByteArray(prefix) + ":ProfileToken";
    return element(tag.constData(), OnvifSoap::escaped(token));
}

QByteArray velocity(double v)
{
    if (!std::isfinite(v))
        v = 0;
    v = std::clamp(v, -1.0, 1.0);
    return QByteArray::number(v, 'f', 4);
}

QByteArray number(int n)
{
    return QByteArray::number(n);
}

// xs:duration of whole seconds.
QByteArray seconds(int s)
{
    return "PT" + QByteArray::number(std::max(0, s)) + 'S';
}

QByteArray utcTime(const QDateTime &t)
{
    return t.toUTC().toString(Qt::ISODate).toLatin1();
}

QByteArray searchPage(const QString &token, int maxResults, int waitSecs)
{
    return element("tse:SearchToken", OnvifSoap::escaped(token)) + element("tse:MinResults", "1") +
           element("tse:MaxResults", number(std::max(1, maxResults))) +
           element("tse:WaitTime", seconds(waitSecs));
}

// A request of a subscription manager: the WS-Notification body, addressed
// with WS-Addressing as the subscription's endpoint expects.
Request subscriptionRequest(const QUrl &to, const char *prefix, const QString &uri,
                            const char *name, const QByteArray &action, const QByteArray &inner)
{
    Request r = request(Service::Subscription, uri, prefix, name, inner);
    r.action = action;
    const QByteArray wsa = " xmlns:wsa=\"" + ns(OnvifNs::Addressing2005) + "\">";
    r.header = "<wsa:Action" + wsa + OnvifSoap::escaped(QString::fromLatin1(action)) +
               "</wsa:Action><wsa:To" + wsa + OnvifSoap::escaped(to.toString(QUrl::FullyEncoded)) +
               "</wsa:To>";
    return r;
}

} // namespace

QByteArray OnvifSoap::escaped(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        const char16_t u = c.unicode();
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            out += c;
            out += text.at(++i);
            continue;
        }
        if (c.isSurrogate() || u == 0xFFFE || u == 0xFFFF ||
            (u < 0x20 && u != '\t' && u != '\n' && u != '\r'))
            continue;
        switch (u) {
        case '&':
            out += QLatin1String("&amp;");
            break;
        case '<':
            out += QLatin1String("&lt;");
            break;
        case '>':
            out += QLatin1String("&gt;");
            break;
        case '"':
            out += QLatin1String("&quot;");
            break;
        case '\'':
            out += QLatin1String("&apos;");
            break;
        default:
            out += c;
        }
    }
    return out.toUtf8();
}

QByteArray OnvifSoap::passwordDigest(const QByteArray &nonce, const QString &created,
                                     const QString &password)
{
    const QByteArray data = nonce + created.toUtf8() + password.toUtf8();
    return QCryptographicHash::hash(data, QCryptographicHash::Sha1).toBase64();
}

OnvifSoap::UsernameToken OnvifSoap::usernameToken(const QString &user, const QString &password,
                                                  const QDateTime &created, const QByteArray &nonce)
{
    UsernameToken t;
    t.user = user;
    t.nonce = nonce;
    if (t.nonce.isNull()) {
        std::array<quint32, NonceBytes / 4> words;
        QRandomGenerator::system()->fillRange(words.data(), int(words.size()));
        t.nonce = QByteArray(reinterpret_cast<const char *>(words.data()), NonceBytes);
    }
    t.created = created.toUTC().toString(Qt::ISODate); // "yyyy-MM-ddTHH:mm:ssZ"
    t.digest = passwordDigest(t.nonce, t.created, password);
    return t;
}

QByteArray OnvifSoap::envelope(const QByteArray &body, const UsernameToken *token,
                               const QByteArray &header)
{
    QByteArray m = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<s:Envelope xmlns:s=\"" +
                   ns(OnvifNs::Soap) + "\">";
    if (token || !header.isEmpty())
        m += "<s:Header>";
    if (token) {
        m += "<wsse:Security s:mustUnderstand=\"true\" xmlns:wsse=\"" + ns(OnvifNs::Wsse) +
             "\" xmlns:wsu=\"" + ns(OnvifNs::Wsu) + "\"><wsse:UsernameToken>" +
             element("wsse:Username", escaped(token->user)) + "<wsse:Password Type=\"" +
             PasswordDigestType + "\">" + token->digest +
             "</wsse:Password><wsse:Nonce EncodingType=\"" + Base64BinaryType + "\">" +
             token->nonce.toBase64() + "</wsse:Nonce>" +
             element("wsu:Created", token->created.toLatin1()) +
             "</wsse:UsernameToken></wsse:Security>";
    }
    if (token || !header.isEmpty())
        m += header + "</s:Header>";
    return m + "<s:Body>" + body + "</s:Body></s:Envelope>";
}

Request OnvifSoap::getCapabilities()
{
    return request(Service::Device, OnvifNs::Device, "tds", "GetCapabilities",
                   element("tds:Category", "All"));
}

Request OnvifSoap::getServices()
{
    return request(Service::Device, OnvifNs::Device, "tds", "GetServices",
                   element("tds:IncludeCapability", "false"));
}

Request OnvifSoap::getDeviceInformation()
{
    return request(Service::Device, OnvifNs::Device, "tds", "GetDeviceInformation");
}

Request OnvifSoap::getSystemDateAndTime()
{
    return request(Service::Device, OnvifNs::Device, "tds", "GetSystemDateAndTime");
}

Request OnvifSoap::setSystemDateAndTime(const QDateTime &utc, const QString &posixTz,
                                        bool daylightSavings)
{
    QByteArray inner = element("tds:DateTimeType", "Manual") +
                       element("tds:DaylightSavings", daylightSavings ? "true" : "false");
    if (!posixTz.isEmpty())
        inner += element("tds:TimeZone", element("tt:TZ", escaped(posixTz)));
    if (utc.isValid()) {
        const QDateTime u = utc.toUTC();
        const QDate d = u.date();
        const QTime t = u.time();
        inner += element("tds:UTCDateTime",
                         element("tt:Date", element("tt:Year", number(d.year())) +
                                                element("tt:Month", number(d.month())) +
                                                element("tt:Day", number(d.day()))) +
                             element("tt:Time", element("tt:Hour", number(t.hour())) +
                                                    element("tt:Minute", number(t.minute())) +
                                                    element("tt:Second", number(t.second()))));
    }
    return request(Service::Device, OnvifNs::Device, "tds", "SetSystemDateAndTime", inner);
}

Request OnvifSoap::getProfiles()
{
    return request(Service::Media, OnvifNs::Media, "trt", "GetProfiles");
}

Request OnvifSoap::getStreamUri(const QString &token)
{
    const QByteArray setup =
        element("trt:StreamSetup", element("tt:Stream", "RTP-Unicast") +
                                       element("tt:Transport", element("tt:Protocol", "RTSP")));
    return request(Service::Media, OnvifNs::Media, "trt", "GetStreamUri",
                   setup + profileToken("trt", token));
}

Request OnvifSoap::getSnapshotUri(const QString &token)
{
    return request(Service::Media, OnvifNs::Media, "trt", "GetSnapshotUri",
                   profileToken("trt", token));
}

Request OnvifSoap::continuousMove(const QString &token, double pan, double tilt, double zoom)
{
    const QByteArray v = "<tt:PanTilt x=\"" + velocity(pan) + "\" y=\"" + velocity(tilt) +
                         "\"/><tt:Zoom x=\"" + velocity(zoom) + "\"/>";
    return request(Service::Ptz, OnvifNs::Ptz, "tptz", "ContinuousMove",
                   profileToken("tptz", token) + element("tptz:Velocity", v));
}

Request OnvifSoap::stop(const QString &token)
{
    return request(Service::Ptz, OnvifNs::Ptz, "tptz", "Stop",
                   profileToken("tptz", token) + element("tptz:PanTilt", "true") +
                       element("tptz:Zoom", "true"));
}

Request OnvifSoap::getPresets(const QString &token)
{
    return request(Service::Ptz, OnvifNs::Ptz, "tptz", "GetPresets", profileToken("tptz", token));
}

Request OnvifSoap::setPreset(const QString &token, const QString &name, const QString &presetToken)
{
    QByteArray inner = profileToken("tptz", token);
    if (!name.isEmpty())
        inner += element("tptz:PresetName", escaped(name));
    if (!presetToken.isEmpty())
        inner += element("tptz:PresetToken", escaped(presetToken));
    return request(Service::Ptz, OnvifNs::Ptz, "tptz", "SetPreset", inner);
}

Request OnvifSoap::gotoPreset(const QString &token, const QString &presetToken)
{
    return request(Service::Ptz, OnvifNs::Ptz, "tptz", "GotoPreset",
                   profileToken("tptz", token) + element("tptz:PresetToken", escaped(presetToken)));
}

Request OnvifSoap::getRecordings()
{
    return request(Service::Recording, OnvifNs::Recording, "trc", "GetRecordings");
}

Request OnvifSoap::findRecordings(int maxMatches, int keepAliveSecs)
{
    return request(Service::Search, OnvifNs::Search, "tse", "FindRecordings",
                   "<tse:Scope/>" + element("tse:MaxMatches", number(maxMatches)) +
                       element("tse:KeepAliveTime", seconds(keepAliveSecs)));
}

Request OnvifSoap::getRecordingSearchResults(const QString &token, int maxResults, int waitSecs)
{
    return request(Service::Search, OnvifNs::Search, "tse", "GetRecordingSearchResults",
                   searchPage(token, maxResults, waitSecs));
}

Request OnvifSoap::getRecordingSummary()
{
    return request(Service::Search, OnvifNs::Search, "tse", "GetRecordingSummary");
}

Request OnvifSoap::findEvents(const QDateTime &from, const QDateTime &to,
                              const QStringList &recordingTokens, int maxMatches, int keepAliveSecs)
{
    QByteArray scope;
    for (const QString &t : recordingTokens)
        scope += element("tt:IncludedRecordings", escaped(t));
    return request(
        Service::Search, OnvifNs::Search, "tse", "FindEvents",
        element("tse:StartPoint", utcTime(from)) + element("tse:EndPoint", utcTime(to)) +
            (scope.isEmpty() ? QByteArray("<tse:Scope/>") : element("tse:Scope", scope)) +
            "<tse:SearchFilter/>" + element("tse:IncludeStartState", "true") +
            element("tse:MaxMatches", number(maxMatches)) +
            element("tse:KeepAliveTime", seconds(keepAliveSecs)));
}

Request OnvifSoap::getEventSearchResults(const QString &token, int maxResults, int waitSecs)
{
    return request(Service::Search, OnvifNs::Search, "tse", "GetEventSearchResults",
                   searchPage(token, maxResults, waitSecs));
}

Request OnvifSoap::endSearch(const QString &token)
{
    return request(Service::Search, OnvifNs::Search, "tse", "EndSearch",
                   element("tse:SearchToken", escaped(token)));
}

Request OnvifSoap::getReplayUri(const QString &recordingToken)
{
    const QByteArray setup =
        element("trp:StreamSetup", element("tt:Stream", "RTP-Unicast") +
                                       element("tt:Transport", element("tt:Protocol", "RTSP")));
    return request(Service::Replay, OnvifNs::Replay, "trp", "GetReplayUri",
                   setup + element("trp:RecordingToken", escaped(recordingToken)));
}

Request OnvifSoap::getReplayServiceCapabilities()
{
    return request(Service::Replay, OnvifNs::Replay, "trp", "GetServiceCapabilities");
}

Request OnvifSoap::createPullPointSubscription(int terminationSecs)
{
    return request(Service::Events, OnvifNs::Events, "tev", "CreatePullPointSubscription",
                   element("tev:InitialTerminationTime", seconds(terminationSecs)));
}

Request OnvifSoap::pullMessages(const QUrl &to, int timeoutSecs, int messageLimit)
{
    return subscriptionRequest(to, "tev", OnvifNs::Events, "PullMessages",
                               ns(OnvifNs::Events) + "/PullPointSubscription/PullMessagesRequest",
                               element("tev:Timeout", seconds(timeoutSecs)) +
                                   element("tev:MessageLimit", number(messageLimit)));
}

Request OnvifSoap::renew(const QUrl &to, int terminationSecs)
{
    return subscriptionRequest(
        to, "wsnt", OnvifNs::Notification, "Renew",
        "http://docs.oasis-open.org/wsn/bw-2/SubscriptionManager/RenewRequest",
        element("wsnt:TerminationTime", seconds(terminationSecs)));
}

Request OnvifSoap::unsubscribe(const QUrl &to)
{
    return subscriptionRequest(
        to, "wsnt", OnvifNs::Notification, "Unsubscribe",
        "http://docs.oasis-open.org/wsn/bw-2/SubscriptionManager/UnsubscribeRequest", QByteArray());
}

QByteArray OnvifSoap::probe(const QString &messageId)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<s:Envelope xmlns:s=\"" +
           ns(OnvifNs::Soap) + "\" xmlns:a=\"" + ns(OnvifNs::Addressing) + "\" xmlns:d=\"" +
           ns(OnvifNs::Discovery) + "\" xmlns:dn=\"" + ns(OnvifNs::Network) +
           "\"><s:Header><a:Action s:mustUnderstand=\"true\">" + ns(OnvifNs::Discovery) +
           "/Probe</a:Action>" + element("a:MessageID", escaped(messageId)) +
           "<a:ReplyTo><a:Address>" + ns(OnvifNs::Addressing) +
           "/role/anonymous</a:Address></a:ReplyTo><a:To s:mustUnderstand=\"true\">"
           "urn:schemas-xmlsoap-org:ws:2005:04:discovery</a:To></s:Header><s:Body><d:Probe>"
           "<d:Types>dn:NetworkVideoTransmitter</d:Types></d:Probe></s:Body></s:Envelope>";
}
