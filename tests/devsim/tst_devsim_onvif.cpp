// The ONVIF server's readers of untrusted input: HTTP requests, SOAP envelopes, WS-Security
// UsernameTokens, HTTP Digest credentials, POSIX time zones, XML Schema durations and times and
// topic expressions, each against malformed, oversized, replayed and wrong-password input.
#include "onvif/HttpDigest.h"
#include "onvif/HttpRequestParser.h"
#include "onvif/PosixTimeZone.h"
#include "onvif/SoapEnvelope.h"
#include "onvif/TopicFilter.h"
#include "onvif/UsernameToken.h"
#include "onvif/XsdTime.h"

#include <QCryptographicHash>
#include <QRegularExpression>
#include <QTimeZone>
#include <QtTest>
#include "TestMain.h"

using namespace devsim;
using Parser = HttpRequestParser;

namespace {

const QDateTime kNow(QDate(2024, 5, 1), QTime(12, 0), QTimeZone::utc());

QByteArray envelope(const QByteArray &inner,
                    const QByteArray &ns = "http://www.w3.org/2003/05/soap-envelope")
{
    return "<s:Envelope xmlns:s=\"" + ns + "\">" + inner + "</s:Envelope>";
}

QByteArray request(const QByteArray &header)
{
    return envelope("<s:Header>" + header +
                    "</s:Header><s:Body><GetProfiles xmlns=\"http://"
                    "www.onvif.org/ver10/media/wsdl\"/></s:Body>");
}

// "user password nonce created [type [namespace]]" as a UsernameToken header.
QByteArray usernameToken(const QByteArray &fields)
{
    QList<QByteArray> f = fields.split(' ');
    if (f.size() < 5)
        f << "PasswordDigest";
    if (f.size() < 6)
        f << "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-secext-1.0.xsd";
    const QByteArray digest =
        QCryptographicHash::hash(f[2] + f[3] + f[1], QCryptographicHash::Sha1);
    return "<w:Security xmlns:w=\"" + f[5] +
           "\" "
           "xmlns:u=\"http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-utility-"
           "1.0.xsd\"><w:UsernameToken><w:Username>" +
           f[0] +
           "</w:Username><w:Password Type=\"http://docs.oasis-open.org/wss/2004/01/oasis-200401-"
           "wss-username-token-profile-1.0#" +
           f[4] + "\">" + digest.toBase64() + "</w:Password><w:Nonce>" + f[2].toBase64() +
           "</w:Nonce><u:Created>" + f[3] + "</u:Created></w:UsernameToken></w:Security>";
}

QByteArray md5(const QByteArray &text)
{
    return QCryptographicHash::hash(text, QCryptographicHash::Md5).toHex();
}

// A client's answer to `nonce` with nc 1, computed here rather than by HttpDigest.
QByteArray digestHeader(const QByteArray &user, const QByteArray &password, const QByteArray &nonce,
                        const QByteArray &uri, const QByteArray &nc)
{
    const QByteArray response = md5(md5(user + ":devsim D1:" + password) + ':' + nonce + ':' + nc +
                                    ":c0ffee:auth:" + md5("POST:" + uri));
    return "Digest username=\"" + user + "\", realm=\"devsim D1\", nonce=\"" + nonce +
           "\", uri=\"" + uri + "\", qop=auth, nc=" + nc + ", cnonce=\"c0ffee\", response=\"" +
           response + "\", algorithm=MD5";
}

} // namespace

class TestDevsimOnvif : public QObject
{
    Q_OBJECT

private slots:
    void httpRequests_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("status"); // 200 complete, 0 incomplete, else the error
        const QByteArray post = "POST /onvif/device_service HTTP/1.1\r\nHost: d\r\n";
        const auto row = [](const char *name, const QByteArray &bytes, int status) {
            QTest::newRow(name) << bytes << status;
        };
        row("request with body", post + "Content-Length: 4\r\n\r\nbody", 200);
        row("head cut short", post + "Content-Len", 0);
        row("body cut short", post + "Content-Length: 9\r\n\r\nbody", 0);
        row("bare line feeds", "POST / HTTP/1.1\nHost: d\n\n\r\n\r\n", 400);
        row("folded header", post + " folded\r\n\r\n", 400);
        row("space before colon", post + "Host : d\r\n\r\n", 400);
        row("control character", post + "X: a\x01z\r\n\r\n", 400);
        row("absolute target", "POST http://d/ HTTP/1.1\r\n\r\n", 400);
        row("garbage", "\x16\x03\x01 hello\r\n\r\n", 400);
        row("HTTP/2.0", "POST / HTTP/2.0\r\n\r\n", 505);
        row("chunked body", post + "Transfer-Encoding: chunked\r\n\r\n", 501);
        row("negative length", post + "Content-Length: -1\r\n\r\n", 400);
        row("signed length", post + "Content-Length: +4\r\n\r\nbody", 400);
        row("two lengths", post + "Content-Length: 4\r\nContent-Length: 5\r\n\r\n", 400);
        row("body over 256 KB", post + "Content-Length: 262145\r\n\r\n", 413);
        row("head over 16 KB", post + "X: " + QByteArray(16400, 'a'), 431);
        row("65 headers", post + QByteArray("X: y\r\n").repeated(64) + "\r\n", 431);
    }

    void httpRequests()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, status);
        Parser parser;
        const Parser::State state = parser.feed(bytes);
        QCOMPARE(state == Parser::State::Failed ? parser.errorStatus()
                                                : (state == Parser::State::Complete ? 200 : 0),
                 status);
        if (status == 200)
            QCOMPARE(parser.take().body, QByteArray("body"));
    }

    // Two requests in one read, the first asking to continue before its body.
    void requestsFollowEachOther()
    {
        Parser parser;
        parser.feed("POST /a HTTP/1.1\r\nExpect: 100-continue\r\nContent-Length: 2\r\n\r\n");
        QVERIFY(parser.wantsContinue());
        parser.continueSent();
        QCOMPARE(parser.feed("okGET /b?x=1 HTTP/1.0\r\n\r\n"), Parser::State::Complete);
        const Parser::Request first = parser.take();
        QVERIFY(first.body == "ok" && first.keepAlive());
        QCOMPARE(parser.feed({}), Parser::State::Complete);
        const Parser::Request second = parser.take();
        QVERIFY(second.path() == "/b" && !second.keepAlive());
    }

    void soapEnvelopes_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("subcode"); // empty: accepted
        QTest::newRow("any prefixes")
            << QByteArray("<?xml version=\"1.0\"?><E:Envelope xmlns:E=\"http://www.w3.org/2003/05/"
                          "soap-envelope\"><E:Body><m:GetProfiles xmlns:m=\"http://www.onvif.org/"
                          "ver10/media/wsdl\"/></E:Body></E:Envelope>")
            << QString();
        QTest::newRow("cut short") << request({}).left(90) << "WellFormed";
        QTest::newRow("empty") << QByteArray() << "WellFormed";
        QTest::newRow("garbage") << QByteArray("\xff\xfe<<>>&&") << "WellFormed";
        QTest::newRow("unbound prefix") << request("<x:Foo/>") << "WellFormed";
        QTest::newRow("entity bomb")
            << "<!DOCTYPE s [<!ENTITY a \"aaaa\">]>" + request("&a;") << "WellFormed";
        QTest::newRow("processing instruction") << "<?php x?>" + request({}) << "WellFormed";
        QTest::newRow("nested 40 deep")
            << request(QByteArray("<a>").repeated(40) + QByteArray("</a>").repeated(40))
            << "WellFormed";
        QTest::newRow("SOAP 1.1") << envelope("<s:Body><a/></s:Body>",
                                              "http://schemas.xmlsoap.org/soap/envelope/")
                                  << "WrongSOAPVersion";
        QTest::newRow("other namespace")
            << envelope("<s:Body><a/></s:Body>", "urn:x") << "Namespace";
        QTest::newRow("two operations") << envelope("<s:Body><a/><b/></s:Body>") << "InvalidArgs";
        QTest::newRow("empty body") << envelope("<s:Body/>") << "InvalidArgs";
        QTest::newRow("element after body")
            << envelope("<s:Body><a/></s:Body><s:Body/>") << "TagMismatch";
    }

    void soapEnvelopes()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, subcode);
        SoapFault fault;
        const std::optional<SoapEnvelope> parsed = SoapEnvelope::parse(bytes, &fault);
        QCOMPARE(parsed ? QString() : fault.subcodes.value(0), subcode);
        if (parsed)
            QCOMPARE(parsed->body().ns + parsed->body().name,
                     QStringLiteral("http://www.onvif.org/ver10/media/wsdlGetProfiles"));
    }

    void usernameTokens_data()
    {
        QTest::addColumn<QByteArray>("header");
        QTest::addColumn<int>("first");  // UsernameToken::Result
        QTest::addColumn<int>("second"); // the same request 10 s later
        using R = UsernameToken::Result;
        const auto row = [](const char *name, const QByteArray &header, R first, R second) {
            QTest::newRow(name) << header << int(first) << int(second);
        };
        const QByteArray t = " 2024-05-01T11:58:00Z";
        row("digest, then replayed", usernameToken("admin pw n1" + t), R::Ok, R::Replayed);
        row("zone offset, fraction", usernameToken("admin pw n2 2024-05-01T13:59:30.1+02:00"),
            R::Ok, R::Replayed);
        row("wrong password", usernameToken("admin pw2 n3" + t), R::Refused, R::Refused);
        row("wrong user", usernameToken("root pw n4" + t), R::Refused, R::Refused);
        row("6 minutes old", usernameToken("admin pw n5 2024-05-01T11:54:00Z"), R::Expired,
            R::Expired);
        row("6 minutes ahead", usernameToken("admin pw n6 2024-05-01T12:06:00Z"), R::Expired,
            R::Expired);
        row("plain-text password", usernameToken("admin pw n7" + t + " PasswordText"), R::Refused,
            R::Refused);
        row("no header", {}, R::Missing, R::Missing);
        row("other namespace", usernameToken("admin pw n8" + t + " PasswordDigest urn:x"),
            R::Missing, R::Missing);
        row("created garbage", usernameToken("admin pw n9 yesterday"), R::Malformed, R::Malformed);
        row("nonce not base64", usernameToken("admin pw n10" + t).replace("bjEw", "b*Ew"),
            R::Malformed, R::Malformed);
        row("user of 300 bytes", usernameToken(QByteArray(300, 'a') + " pw n11" + t), R::Malformed,
            R::Malformed);
    }

    void usernameTokens()
    {
        QFETCH(QByteArray, header);
        QFETCH(int, first);
        QFETCH(int, second);
        SoapFault fault;
        const std::optional<SoapEnvelope> parsed = SoapEnvelope::parse(request(header), &fault);
        QVERIFY2(parsed, qPrintable(fault.reason));
        UsernameToken check(QStringLiteral("admin"), QStringLiteral("pw"));
        QCOMPARE(int(check.check(parsed->header(), kNow)), first);
        QCOMPARE(int(check.check(parsed->header(), kNow.addSecs(10))), second);
    }

    void httpDigest_data()
    {
        QTest::addColumn<QByteArray>("header"); // "user password uri [nonce]": computed
        QTest::addColumn<int>("first");         // HttpDigest::Result
        QTest::addColumn<int>("second");        // the same request again
        using R = HttpDigest::Result;
        const auto row = [](const char *name, const QByteArray &header, R first, R second) {
            QTest::newRow(name) << header << int(first) << int(second);
        };
        const QByteArray uri = " /onvif/media_service";
        row("right, then replayed", "admin pw" + uri, R::Ok, R::Replayed);
        row("wrong password", "admin pw2" + uri, R::Refused, R::Refused);
        row("other user", "root pw" + uri, R::Refused, R::Refused);
        row("other resource", "admin pw /onvif/ptz_service", R::Refused, R::Refused);
        row("nonce not ours", "admin pw" + uri + " 18f2-0123456789abcdef0123456789abcd", R::Refused,
            R::Refused);
        row("unterminated quote", "Digest username=\"admin, realm=\"x\"", R::Malformed,
            R::Malformed);
        row("no qop", "Digest username=\"admin\", nonce=\"n\", uri=\"/\", nc=00000001",
            R::Malformed, R::Malformed);
        row("basic credentials", "Basic YWRtaW46cHc=", R::Missing, R::Missing);
        row("oversized", "Digest username=\"" + QByteArray(5000, 'a') + '"', R::Malformed,
            R::Malformed);
    }

    void httpDigest()
    {
        QFETCH(QByteArray, header);
        QFETCH(int, first);
        QFETCH(int, second);
        HttpDigest digest(QStringLiteral("devsim D1"), QStringLiteral("admin"),
                          QStringLiteral("pw"));
        const qint64 now = kNow.toMSecsSinceEpoch();
        const QByteArray fresh = QRegularExpression(QStringLiteral("nonce=\"([^\"]+)\""))
                                     .match(QString::fromLatin1(digest.challenge(false, now)))
                                     .captured(1)
                                     .toLatin1();
        const QList<QByteArray> f = header.split(' ');
        if (!header.contains('='))
            header = digestHeader(f[0], f[1], f.value(3, fresh), f[2], "00000001");
        const QByteArray uri = "/onvif/media_service";
        QCOMPARE(int(digest.check("POST", uri, header, now)), first);
        QCOMPARE(int(digest.check("POST", uri, header, now + 1000)), second);
        if (first != int(HttpDigest::Result::Ok))
            return;
        // The nonce's next count passes, until the nonce goes stale.
        QCOMPARE(
            digest.check("POST", uri, digestHeader("admin", "pw", fresh, uri, "00000002"), now),
            HttpDigest::Result::Ok);
        QCOMPARE(digest.check("POST", uri, digestHeader("admin", "pw", fresh, uri, "00000003"),
                              now + 301000),
                 HttpDigest::Result::Stale);
    }

    void posixTimeZones_data()
    {
        QTest::addColumn<QString>("tz");
        QTest::addColumn<QDate>("date");
        QTest::addColumn<int>("offset"); // seconds east at noon UTC; INT_MIN: refused
        const QDate winter(2024, 1, 15), summer(2024, 7, 1);
        const QString cet = QStringLiteral("CET-1CEST,M3.5.0,M10.5.0/3");
        const QString aest = QStringLiteral("AEST-10AEDT,M10.1.0,M4.1.0/3");
        QTest::newRow("UTC0") << "UTC0" << winter << 0;
        QTest::newRow("central Europe, winter") << cet << winter << 3600;
        QTest::newRow("central Europe, summer") << cet << summer << 7200;
        QTest::newRow("the last Sunday of March") << cet << QDate(2024, 3, 31) << 7200;
        QTest::newRow("the Saturday before") << cet << QDate(2024, 3, 30) << 3600;
        QTest::newRow("default rules") << "EST5EDT" << summer << -4 * 3600;
        QTest::newRow("quoted name, minutes") << "<+0530>-5:30" << winter << 19800;
        QTest::newRow("southern summer") << aest << winter << 11 * 3600;
        QTest::newRow("southern winter") << aest << summer << 10 * 3600;
        QTest::newRow("Julian days") << "XXX0YYY,J60,J300" << summer << 3600;
        for (const char *bad : {"", "CET", "CET-25", "1CET", "CE-1", "CET-1CEST,M13.5.0,M10.5.0",
                                "CET-1CEST,M3.5.0", "CET-1CEST,J0,J300", "CET-1:60"})
            QTest::newRow(bad) << bad << winter << INT_MIN;
        QTest::newRow("65 characters") << "UTC0" + QString(61, 'X') << winter << INT_MIN;
    }

    void posixTimeZones()
    {
        QFETCH(QString, tz);
        QFETCH(QDate, date);
        QFETCH(int, offset);
        const std::optional<PosixTimeZone> zone = PosixTimeZone::parse(tz);
        QCOMPARE(zone ? zone->offsetAt(QDateTime(date, QTime(12, 0), QTimeZone::utc())) : INT_MIN,
                 offset);
    }

    void xsdTimes_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint64>(
            "ms"); // a duration, or a date-time's ms since the epoch; -1: refused
        QTest::newRow("PT10S") << "PT10S" << qint64(10000);
        QTest::newRow("a day and a half second") << "P1DT0.5S" << qint64(86400500);
        QTest::newRow("every field")
            << "P1Y2M3DT4H5M6S"
            << qint64(((365 + 60 + 3) * 86400 + 4 * 3600 + 5 * 60 + 6) * 1000LL);
        for (const char *bad : {"", "P", "PT", "P1DT", "-PT1S", "PT1.S", "10 seconds", "PT1H1H",
                                "P99999999Y", "PT1234567890S", "P1Y2M3DT4H5M6.123456789S1"})
            QTest::newRow(bad) << bad << qint64(-1);
        QTest::newRow("date-time, Z") << "2024-05-01T12:00:00Z" << kNow.toMSecsSinceEpoch();
        QTest::newRow("offset, nanoseconds")
            << "2024-05-01T14:00:00.000000001+02:00" << kNow.toMSecsSinceEpoch();
        QTest::newRow("no zone: UTC") << "2024-05-01T12:00:00" << kNow.toMSecsSinceEpoch();
        for (const char *bad : {"2024-13-01T00:00:00Z", "2024-05-01 12:00:00Z",
                                "1969-12-31T23:59:59Z", "2024-05-01T12:00:00Zjunk", "yesterday"})
            QTest::newRow(bad) << bad << qint64(-1);
    }

    void xsdTimes()
    {
        QFETCH(QString, text);
        QFETCH(qint64, ms);
        const bool dateTime = text.contains(QLatin1Char('-')) && !text.startsWith(QLatin1Char('-'));
        const std::optional<qint64> parsed = dateTime ? [&]() -> std::optional<qint64> {
            const auto at = XsdTime::parseDateTime(text);
            return at ? std::optional<qint64>(at->toMSecsSinceEpoch()) : std::nullopt;
        }()
            : XsdTime::parseDuration(text);
        QCOMPARE(parsed.value_or(-1), ms);
    }

    void topicFilters_data()
    {
        QTest::addColumn<QByteArray>("expression"); // empty: no filter
        QTest::addColumn<QString>("matched");       // of MotionAlarm, CellMotion; "refused"
        QTest::newRow("no filter") << QByteArray() << "MC";
        QTest::newRow("exact") << QByteArray("t:VideoSource/MotionAlarm") << "M";
        QTest::newRow("below, or") << QByteArray("t:RuleEngine//.|t:Device//.") << "C";
        QTest::newRow("a parent is no match") << QByteArray("t:VideoSource") << "";
        QTest::newRow("other namespace") << QByteArray("u:VideoSource/MotionAlarm") << "refused";
        QTest::newRow("unbound prefix") << QByteArray("z:VideoSource") << "refused";
        QTest::newRow("empty alternative") << QByteArray("t:VideoSource/MotionAlarm|") << "refused";
        QTest::newRow("33 alternatives") << QByteArray("t:A|").repeated(32) + "t:B"
                                         << "refused";
    }

    void topicFilters()
    {
        QFETCH(QByteArray, expression);
        QFETCH(QString, matched);
        QString error;
        const auto node = XmlNode::parse("<e xmlns:t=\"http://www.onvif.org/ver10/topics\" "
                                         "xmlns:u=\"urn:u\">" +
                                             expression + "</e>",
                                         &error);
        QVERIFY2(node, qPrintable(error));
        const std::optional<TopicFilter> filter =
            TopicFilter::parse(expression.isEmpty() ? nullptr : node.get());
        QString found = filter ? QString() : QStringLiteral("refused");
        if (filter && filter->matches(QStringLiteral("VideoSource/MotionAlarm")))
            found += QLatin1Char('M');
        if (filter && filter->matches(QStringLiteral("RuleEngine/CellMotionDetector/Motion")))
            found += QLatin1Char('C');
        QCOMPARE(found, matched);
    }
};

ORVANE_TEST_GUILESS_MAIN(TestDevsimOnvif)
#include "tst_devsim_onvif.moc"
