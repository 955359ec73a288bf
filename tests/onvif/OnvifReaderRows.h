#pragma once

#include "OnvifSamples.h"
#include "link/onvif/OnvifNamespaces.h"
#include "link/onvif/OnvifParse.h"

#include <QHash>
#include <QRegularExpression>
#include <QTest>

#include <functional>

// What the reply readers' tests share: each reader's result as one line, and
// the rows that run a reader on its recorded reply (tests/onvif/data), on
// copies with other prefixes and on broken copies.

// Renames every prefix of the samples through `to` (in tags, declarations and
// QName texts alike), so a reader that matched prefixes would miss.
inline QByteArray renamed(const QByteArray &xml, const std::function<QString(const QString &)> &to)
{
    static const QRegularExpression prefix(
        QStringLiteral("(?<=[<\\s/>]|xmlns:)(s|tt|tds|trt|tptz|d|wsa5|wsa|dn|ter|tse|trc|trp|tev|"
                       "wsnt|tns1|ev)(?=[:=])"));
    QString text = QString::fromUtf8(xml), out;
    qsizetype at = 0;
    for (auto it = prefix.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        out += text.mid(at, m.capturedStart() - at) + to(m.captured());
        at = m.capturedEnd();
    }
    return (out + text.mid(at)).toUtf8();
}

inline QString errorText(const OnvifError &e)
{
    QString t = kindName(e);
    if (e.kind == OnvifError::Kind::Fault)
        t += QLatin1Char(':') + (QStringList{e.code} + e.subcodes).join(QLatin1Char('/')) +
             QLatin1Char(':') + e.reason;
    return t;
}

inline QString urls(const QList<QUrl> &list)
{
    QStringList s;
    for (const QUrl &u : list)
        s << u.toString();
    return s.join(QLatin1Char(','));
}

inline QString time(const QDateTime &t)
{
    return t.toString(Qt::ISODateWithMs).replace(QLatin1String(".000"), QString());
}

// One line per reader result.
template <class T> QString show(const T &v)
{
    if constexpr (std::is_same_v<T, OnvifServices>)
        return urls({v.device, v.media, v.ptz, v.events, v.recording, v.search, v.replay});
    if constexpr (std::is_same_v<T, OnvifRecording>)
        return QStringList{v.token, v.sourceId, time(v.earliest), time(v.latest)}.join(',');
    if constexpr (std::is_same_v<T, OnvifEvent>)
        return QStringLiteral("%1:%2=%3@%4,src=%5,rec=%6%7")
            .arg(int(v.kind))
            .arg(v.topic)
            .arg(int(v.state))
            .arg(time(v.utc), v.source, v.recording, v.startState ? ",start" : "");
    if constexpr (std::is_same_v<T, OnvifSearchPage<OnvifRecording>> ||
                  std::is_same_v<T, OnvifSearchPage<OnvifEvent>>)
        return (v.completed ? "completed: " : "searching: ") + show(v.results);
    if constexpr (std::is_same_v<T, OnvifRecordingSummary>)
        return QStringLiteral("%1|%2|%3").arg(time(v.from), time(v.until)).arg(v.recordings);
    if constexpr (std::is_same_v<T, OnvifSubscription>)
        return QStringList{v.address.toString(), time(v.currentTime), time(v.terminationTime)}.join(
            '|');
    if constexpr (std::is_same_v<T, OnvifPull>)
        return QStringList{time(v.currentTime), time(v.terminationTime), show(v.events)}.join('|');
    if constexpr (std::is_same_v<T, OnvifReplayCapabilities>)
        return QStringLiteral("reverse=%1").arg(int(v.reversePlayback));
    if constexpr (std::is_same_v<T, OnvifDeviceInfo>)
        return QStringList{v.manufacturer, v.model, v.firmware, v.serial, v.hardwareId}.join('|');
    if constexpr (std::is_same_v<T, OnvifDateTime>)
        return QStringLiteral("%1|%2|dst=%3|manual=%4")
            .arg(v.utc.toString(Qt::ISODate), v.timeZone)
            .arg(int(v.daylightSavings))
            .arg(int(v.manual));
    if constexpr (std::is_same_v<T, OnvifProfile>)
        return QStringLiteral("%1,%2,%3,%4,%5x%6,%7,%8,%9")
            .arg(v.token, v.name, v.videoSourceToken, v.encoding)
            .arg(v.width)
            .arg(v.height)
            .arg(v.hasPtz ? "ptz" : "-", v.videoSourceConfigToken,
                 v.audioEncoding + (v.hasAudioOutput ? "+out" : ""));
    if constexpr (std::is_same_v<T, OnvifPreset>)
        return v.token + '=' + v.name;
    if constexpr (std::is_same_v<T, QUrl>)
        return v.toString();
    if constexpr (std::is_same_v<T, QString>)
        return v;
    if constexpr (std::is_same_v<T, OnvifDone>)
        return QStringLiteral("done");
    if constexpr (std::is_same_v<T, OnvifProbeMatch>)
        return QStringList{v.endpoint,
                           v.types.join(','),
                           v.name(),
                           urls(v.xaddrs),
                           QString::number(v.scopes.size()),
                           QString::number(v.metadataVersion)}
            .join('|');
    if constexpr (std::is_same_v<T, OnvifProbeMatches>)
        return v.relatesTo + '|' + show(v.matches);
    if constexpr (std::is_same_v<T, QList<OnvifProfile>> || std::is_same_v<T, QList<OnvifPreset>> ||
                  std::is_same_v<T, QList<OnvifProbeMatch>> ||
                  std::is_same_v<T, QList<OnvifRecording>> ||
                  std::is_same_v<T, QList<OnvifEvent>>) {
        QStringList s;
        for (const auto &e : v)
            s << show(e);
        return s.join(QLatin1String("; "));
    }
}

template <class T> QString show(const OnvifResult<T> &r)
{
    return r ? show(r.value()) : errorText(r.error());
}

// Reader names (the recorded reply's file name) and what each shows of a reply.
using ReaderTable = QHash<QString, std::function<QString(const QByteArray &)>>;

// The columns reader, reply and expected, and each reader's rows: its recorded
// reply, the same with other prefixes, and broken, faulty, oversized and too
// deeply nested replies.
inline void addReaderRows(const ReaderTable &readers)
{
    QTest::addColumn<QString>("reader");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("expected");
    const QStringList cycle{"s",   "tt",  "tds", "trt", "tptz", "d",    "wsa",  "dn", "ter",
                            "tse", "trc", "trp", "tev", "wsnt", "wsa5", "tns1", "ev"};
    QByteArray deep = "<s:Envelope xmlns:s=\"" + OnvifNs::Soap.toLatin1() + "\"><s:Body>";
    for (int i = 0; i < 40; ++i)
        deep += "<a>";
    for (const QString &r : readers.keys()) {
        // Each recorded reply ends with what its reader makes of it.
        const QByteArray xml = sample(r);
        static const QRegularExpression readAs(QStringLiteral("<!-- read as: (.*) -->"));
        const QString expected = readAs.match(QString::fromUtf8(xml)).captured(1);
        QVERIFY2(!expected.isEmpty(), qPrintable(r));
        auto row = [&r](const char *what, const QByteArray &reply, const QString &expected) {
            QTest::addRow("%s: %s", qPrintable(r), what) << r << reply << expected;
        };
        row("as recorded", xml, expected);
        row("other prefixes", renamed(xml, [](const QString &p) { return p + "_9"; }), expected);
        row("prefixes swapped",
            renamed(xml,
                    [&cycle](const QString &p) {
                        return cycle.at((cycle.indexOf(p) + 1) % cycle.size());
                    }),
            expected);
        row("empty", QByteArray(), "malformed");
        row("garbage", "\x01\x02 not xml <", "malformed");
        row("truncated", xml.left(xml.size() * 2 / 3), "malformed");
        row("truncated in a tag", xml.left(xml.lastIndexOf("</s:Body>") + 4), "malformed");
        row("wrong namespaces",
            QByteArray(xml)
                .replace("http://www.onvif.org/", "http://www.onvif.com/")
                .replace("ws/2005/04/discovery", "ws/2005/4/discovery")
                .replace("oasis-open.org/wsn/", "oasis-open.org/wsx/"),
            "malformed");
        row("SOAP 1.1",
            QByteArray(xml).replace("http://www.w3.org/2003/05/soap-envelope",
                                    "http://schemas.xmlsoap.org/soap/envelope/"),
            "malformed");
        row("other answer", sample(r == "stop" ? "presets" : "stop"), "malformed");
        row("fault", sample("fault"), "fault:Sender/NotAuthorized:Sender not authorized");
        row("entity declaration",
            "<!DOCTYPE s:Envelope [<!ENTITY a \"aaaa\">]>" + xml.mid(xml.indexOf("<s:")),
            "malformed");
        row("oversized", xml + "<!--" + QByteArray(OnvifParse::MaxReplyBytes, 'x') + "-->",
            "oversized");
        row("nested too deeply", deep, "oversized");
    }
}
