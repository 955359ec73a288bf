// RTSP URLs as typed and stored: credentials are split off and never come
// back in a stored URL or an error text; malformed input is refused.

#include "diagnostics/LogMask.h"
#include "model/RtspUrl.h"

#include <QtTest>
#include "TestMain.h"

using namespace Qt::StringLiterals;

class tst_RtspUrl : public QObject
{
    Q_OBJECT

private slots:
    // "url|user|password" for a URL that splits, "error" for one refused.
    void urlSplitsIntoUrlAndCredentials_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("split");
        const auto row = [](const char *name, const QString &text, const QString &split) {
            QTest::newRow(name) << text << split;
        };
        row("plain", u"rtsp://cam.local/live"_s, u"rtsp://cam.local/live||"_s);
        row("port, query, spaces around", u" rtsp://10.0.0.2:8554/a/b?x=1 "_s,
            u"rtsp://10.0.0.2:8554/a/b?x=1||"_s);
        row("scheme case", u"RTSP://h/p"_s, u"rtsp://h/p||"_s);
        row("rtsps", u"rtsps://h:322/p"_s, u"rtsps://h:322/p||"_s);
        row("user and password", u"rtsp://admin:123456@h:554/s"_s,
            u"rtsp://h:554/s|admin|123456"_s);
        row("user only", u"rtsp://viewer@h/s"_s, u"rtsp://h/s|viewer|"_s);
        row("encoded password", u"rtsp://a%20b:p%40ss%3Aw@h/s"_s, u"rtsp://h/s|a b|p@ss:w"_s);
        row("raw @ in password", u"rtsp://u:p@ss@h/s"_s, u"rtsp://h/s|u|p@ss"_s);
        row("UTF-8 password", u"rtsp://u:%E5%AF%86@h/"_s, u"rtsp://h/|u|密"_s);
        row("IPv6 host", u"rtsp://[::1]:554/s"_s, u"rtsp://[::1]:554/s||"_s);
        row("empty", QString(), u"error"_s);
        row("http", u"http://h/s"_s, u"error"_s);
        row("no scheme", u"h:554/s"_s, u"error"_s);
        row("no host", u"rtsp:///s"_s, u"error"_s);
        row("credentials, no host", u"rtsp://u:p@/s"_s, u"error"_s);
        row("port 0", u"rtsp://h:0/s"_s, u"error"_s);
        row("port too large", u"rtsp://h:65536/s"_s, u"error"_s);
        row("port not a number", u"rtsp://h:x/s"_s, u"error"_s);
        row("space inside", u"rtsp://h/a b"_s, u"error"_s);
        row("control character", u"rtsp://h/a\u0001"_s, u"error"_s);
        row("fragment", u"rtsp://h/s#f"_s, u"error"_s);
        row("too long", u"rtsp://h/"_s + QString(2100, u'a'), u"error"_s);
        row("password too long", u"rtsp://u:"_s + QString(129, u'p') + u"@h/"_s, u"error"_s);
        row("invalid UTF-8 password", u"rtsp://u:%FF%FE@h/"_s, u"error"_s);
    }

    void urlSplitsIntoUrlAndCredentials()
    {
        QFETCH(QString, text);
        QFETCH(QString, split);
        RtspUrl::Split s;
        QString error;
        const bool ok = RtspUrl::split(text, &s, &error);
        const QString got = ok ? QStringList{s.url, s.user, s.password}.join(u'|') : u"error"_s;
        QCOMPARE(got, split);
        QCOMPARE(error.isEmpty(), ok);
        // Neither the URL kept nor the error text holds the password.
        if (text.contains(u'@') && text.size() < 200) {
            const QString secret = text.section(u'@', 0, -2).section(u':', 2);
            if (!secret.isEmpty()) {
                QVERIFY(!s.url.contains(secret));
                QVERIFY(!error.contains(secret));
            }
        }
    }

    void credentialsGoBackIntoTheOpenedUrlOnly()
    {
        QCOMPARE(RtspUrl::withCredentials(u"rtsp://h:554/s"_s, u"a b"_s, u"p@ss:w/"_s),
                 QByteArray("rtsp://a%20b:p%40ss%3Aw%2F@h:554/s"));
        QCOMPARE(RtspUrl::withCredentials(u"rtsp://h/s"_s, QString(), QString()),
                 QByteArray("rtsp://h/s"));
        // What a log line would show of such a URL.
        QCOMPARE(maskSecrets(u"open rtsp://admin:p@ss@h:554/s failed"_s),
                 u"open rtsp://admin:******@h:554/s failed"_s);
        QCOMPARE(maskSecrets(u"see http://h:8080/a@b"_s), u"see http://h:8080/a@b"_s);
    }

    void deviceUidIsStableAndIgnoresHostCase()
    {
        const QString uid = RtspUrl::deviceUid(u"rtsp://Cam.Local:554/Live"_s);
        QVERIFY(QRegularExpression(u"^RTSP-[0-9A-F]{16}$"_s).match(uid).hasMatch());
        QCOMPARE(RtspUrl::deviceUid(u"rtsp://cam.local:554/Live"_s), uid);
        QVERIFY(RtspUrl::deviceUid(u"rtsp://cam.local:554/live"_s) != uid);
    }

    // "main|sub main|sub ..." with the credentials as "@user:password", or
    // "error".
    void streamListsGiveOneStreamPerChannel_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("channels");
        QTest::addColumn<QString>("streams");
        const auto row = [](const char *name, const QString &text, int channels,
                            const QString &streams) {
            QTest::newRow(name) << text << channels << streams;
        };
        row("one URL", u"rtsp://h/a"_s, 4, u"rtsp://h/a|"_s);
        row("main and sub, two channels", u"rtsp://h/1m|rtsp://h/1s\n rtsp://h/2m"_s, 0,
            u"rtsp://h/1m|rtsp://h/1s rtsp://h/2m|"_s);
        row("pattern", u"rtsp://u:p@h/D/{ch0}/{stream}"_s, 2,
            u"rtsp://h/D/0/main|rtsp://h/D/0/sub rtsp://h/D/1/main|rtsp://h/D/1/sub @u:p"_s);
        row("pattern without sub", u"rtsp://h/ch{ch}"_s, 2, u"rtsp://h/ch1| rtsp://h/ch2|"_s);
        row("same credentials twice", u"rtsp://u:p@h/a rtsp://u:p@h/b"_s, 0,
            u"rtsp://h/a| rtsp://h/b| @u:p"_s);
        row("nothing", u"  \n "_s, 1, u"error"_s);
        row("pattern without channels", u"rtsp://h/{ch}"_s, 0, u"error"_s);
        row("pattern with 65 channels", u"rtsp://h/{ch}"_s, 65, u"error"_s);
        row("pattern among URLs", u"rtsp://h/a rtsp://h/{ch}"_s, 2, u"error"_s);
        row("three URLs in an entry", u"rtsp://h/a|rtsp://h/b|rtsp://h/c"_s, 0, u"error"_s);
        row("empty sub", u"rtsp://h/a|"_s, 0, u"error"_s);
        row("other credentials", u"rtsp://u:p@h/a rtsp://u:q@h/b"_s, 0, u"error"_s);
        row("65 URLs", QStringList(65, u"rtsp://h/a"_s).join(u' '), 0, u"error"_s);
        row("garbage entry", u"rtsp://h/a \u00ff\u00fe"_s, 0, u"error"_s);
    }

    void streamListsGiveOneStreamPerChannel()
    {
        QFETCH(QString, text);
        QFETCH(int, channels);
        QFETCH(QString, streams);
        RtspUrl::Streams out;
        QString error;
        QStringList got;
        if (RtspUrl::parseStreams(text, channels, &out, &error)) {
            for (const RtspStream &s : std::as_const(out.streams))
                got << s.main + u'|' + s.sub;
            if (out.hasCredentials)
                got << u'@' + out.user + u':' + out.password;
            // The stored form reads back as the same streams.
            RtspUrl::Streams again;
            QVERIFY(RtspUrl::parseStreams(RtspUrl::storedText(out.streams), 1, &again, nullptr));
            QCOMPARE(again.streams, out.streams);
        }
        QCOMPARE(got.isEmpty() ? u"error"_s : got.join(u' '), streams);
        QCOMPARE(error.isEmpty(), !got.isEmpty());
        QVERIFY(!error.contains(u":p@"_s));
    }
};

ORVANE_TEST_MAIN(tst_RtspUrl)
#include "tst_rtspurl.moc"
