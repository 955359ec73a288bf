// devsim's recording, search, replay and event services, against devsim processes on loopback
// over plain HTTP and SOAP: the answers a client reads (services, audio in the profiles,
// recordings, the replay URI), FindEvents against the recording and motion schedules, a
// PullMessages long poll woken by live motion, the subscription's life, and hostile requests.
#include "DevsimProcess.h"

#include "onvif/SoapEnvelope.h"
#include "onvif/SoapNamespaces.h"

#include <QCryptographicHash>
#include <QRandomGenerator>
#include <QTcpSocket>
#include <QTimeZone>
#include <QtTest>
#include "TestMain.h"

using namespace devsim;

namespace {

struct Answer
{
    int status = 0;
    std::shared_ptr<SoapEnvelope> envelope; // null when the body is no SOAP envelope
    QString subcode;                        // a fault's innermost subcode

    const XmlNode *body() const { return envelope ? &envelope->body() : nullptr; }
};

// The texts (or with "name@attr" the attributes) of the elements below n with that local name.
QStringList collect(const XmlNode *n, const QString &what)
{
    QStringList out;
    if (!n)
        return out;
    const QString name = what.section(QLatin1Char('@'), 0, 0);
    const QString attr = what.section(QLatin1Char('@'), 1);
    if (n->name == name && (attr.isEmpty() || n->attribute(attr)))
        out << (attr.isEmpty() ? n->text : *n->attribute(attr));
    for (const auto &c : n->children)
        out << collect(c.get(), what);
    return out;
}

QByteArray usernameToken(const QByteArray &password)
{
    const QByteArray nonce = QByteArray::number(QRandomGenerator::global()->generate64());
    const QByteArray created = QDateTime::currentDateTimeUtc().toString(Qt::ISODate).toLatin1();
    const QByteArray digest =
        QCryptographicHash::hash(nonce + created + password, QCryptographicHash::Sha1).toBase64();
    return "<s:Header><w:Security xmlns:w=\"" + SoapNs::Security.toLatin1() + "\" xmlns:u=\"" +
           SoapNs::Utility.toLatin1() + "\"><w:UsernameToken><w:Username>admin</w:Username>" +
           "<w:Password Type=\"" + SoapNs::PasswordDigest.toLatin1() + "\">" + digest +
           "</w:Password><w:Nonce>" + nonce.toBase64() + "</w:Nonce><u:Created>" + created +
           "</u:Created></w:UsernameToken></w:Security></s:Header>";
}

// POSTs `body` (with the ONVIF prefixes declared) to the path, authenticated unless `password`
// is empty; waits up to waitMs for the whole answer.
Answer call(quint16 port, const QString &path, const QString &body,
            const QByteArray &password = "svc-pw", int waitMs = 5000)
{
    QByteArray envelope = "<s:Envelope xmlns:s=\"" + SoapNs::Envelope.toLatin1() + '"';
    for (const auto &[prefix, uri] : SoapNs::responsePrefixes())
        envelope += " xmlns:" + prefix.toLatin1() + "=\"" + uri.toLatin1() + '"';
    envelope += '>' + (password.isEmpty() ? QByteArray() : usernameToken(password)) + "<s:Body>" +
                body.toUtf8() + "</s:Body></s:Envelope>";
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    socket.write("POST " + path.toLatin1() +
                 " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n"
                 "Content-Type: application/soap+xml\r\nContent-Length: " +
                 QByteArray::number(envelope.size()) + "\r\n\r\n" + envelope);
    QByteArray all;
    while (socket.waitForReadyRead(waitMs)) // until the server closes
        all += socket.readAll();
    Answer a;
    a.status = all.mid(9, 3).toInt();
    SoapFault fault;
    if (auto parsed = SoapEnvelope::parse(all.mid(all.indexOf("\r\n\r\n") + 4), &fault))
        a.envelope = std::make_shared<SoapEnvelope>(std::move(*parsed));
    const QStringList values = collect(a.body(), QStringLiteral("Value"));
    if (a.body() && a.body()->name == QLatin1String("Fault") && !values.isEmpty())
        a.subcode = values.last().section(QLatin1Char(':'), -1);
    return a;
}

} // namespace

class TestDevsimOnvifServices : public QObject
{
    Q_OBJECT

    DevsimProcess m_sim;  // recordings and daily motion
    DevsimProcess m_live; // a motion burst every second
    quint16 m_port = 0, m_livePort = 0;
    QString m_rtspPort;
    QDateTime m_yesterday; // 00:00 UTC

    static quint16 onvifPort(DevsimProcess &sim, const QString &uid)
    {
        QRegularExpressionMatch m;
        sim.waitForLine(QRegularExpression("^ONVIF " + uid + " http://[\\d.]+:(\\d+)/"), 10000, &m);
        return quint16(m.captured(1).toUInt());
    }

    QString expand(QString text) const
    {
        return text.replace(QLatin1String("%Y"), m_yesterday.toString(QStringLiteral("yyyy-MM-dd")))
            .replace(QLatin1String("%T"),
                     m_yesterday.addDays(1).toString(QStringLiteral("yyyy-MM-dd")))
            .replace(QLatin1String("%rtsp"), m_rtspPort);
    }

    // A pull point of the live device, by default for 3 s; its path.
    QString subscribe(const QString &extra = QStringLiteral(
                          "<tev:InitialTerminationTime>PT3S</tev:InitialTerminationTime>"))
    {
        const Answer a = call(m_livePort, QStringLiteral("/onvif/event_service"),
                              "<tev:CreatePullPointSubscription>" + extra +
                                  "</tev:CreatePullPointSubscription>");
        return QUrl(collect(a.body(), QStringLiteral("Address")).value(0)).path();
    }

private slots:
    void initTestCase()
    {
        const qint64 now = QDateTime::currentSecsSinceEpoch();
        m_yesterday = QDateTime::fromSecsSinceEpoch(now - now % 86400 - 86400, QTimeZone::utc());
        QVERIFY2(m_sim.start({"--uid", "SVC1", "--channels", "2", "--password", "svc-pw", "--onvif",
                              "0", "--record-days", "2", "--recordings",
                              "01:00-02:00,03:00-03:30,22:00-23:00", "--motion",
                              "01:30-03:10,12:00-12:05,22:10-22:20"}),
                 qPrintable(m_sim.errorText()));
        QVERIFY2(m_live.start({"--uid", "LIV1", "--password", "svc-pw", "--onvif", "0",
                               "--motion-every", "1"}),
                 qPrintable(m_live.errorText()));
        m_port = onvifPort(m_sim, QStringLiteral("SVC1"));
        m_livePort = onvifPort(m_live, QStringLiteral("LIV1"));
        QRegularExpressionMatch m;
        QVERIFY(
            m_sim.waitForLine(QRegularExpression("^RTSP SVC1 rtsp://[\\d.]+:(\\d+)/"), 10000, &m));
        m_rtspPort = m.captured(1);
        QVERIFY(m_port && m_livePort);
    }

    // What a client reads from the services: each row's request, and the texts (or attributes)
    // of the answer's elements of one name.
    void answers_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("request");
        QTest::addColumn<QString>("element");
        QTest::addColumn<QString>("expected"); // the texts, joined by spaces
        const auto row = [](const char *name, const char *path, const char *request,
                            const char *element, const char *expected) {
            QTest::newRow(name) << path << request << element << expected;
        };
        row("GetServices lists every service", "device_service",
            "<tds:GetServices><tds:IncludeCapability>false</tds:IncludeCapability></"
            "tds:GetServices>",
            "XAddr",
            "device_service media_service event_service recording_service search_service "
            "replay_service");
        row("GetCapabilities: events and the Profile G services", "device_service",
            "<tds:GetCapabilities><tds:Category>All</tds:Category></tds:GetCapabilities>", "XAddr",
            "device_service event_service media_service recording_service search_service "
            "replay_service");
        row("the main profiles carry the back channel", "media_service", "<trt:GetProfiles/>",
            "AudioOutputConfiguration@token", "aoc0 aoc1");
        row("every profile streams G.711", "media_service", "<trt:GetProfiles/>",
            "AudioEncoderConfiguration@token", "aec0 aec0 aec1 aec1");
        row("audio encoder configurations", "media_service", "<trt:GetAudioEncoderConfigurations/>",
            "SampleRate", "8 8");
        row("audio outputs", "media_service", "<trt:GetAudioOutputs/>", "AudioOutputs@token",
            "ao0 ao1");
        row("recordings", "recording_service", "<trc:GetRecordings/>", "SourceId", "vs0 vs1");
        row("recording tracks", "recording_service", "<trc:GetRecordings/>", "TrackType",
            "Video Audio Video Audio");
        row("replay URI", "replay_service",
            "<trp:GetReplayUri><trp:StreamSetup><tt:Stream>RTP-Unicast</tt:Stream><tt:Transport>"
            "<tt:Protocol>RTSP</tt:Protocol></tt:Transport></trp:StreamSetup>"
            "<trp:RecordingToken>Recording1</trp:RecordingToken></trp:GetReplayUri>",
            "Uri", "rtsp://127.0.0.1:%rtsp/SVC1/1/replay");
        row("replay plays backwards", "replay_service", "<trp:GetServiceCapabilities/>",
            "Capabilities@ReversePlayback", "true");
        row("recording summary", "search_service", "<tse:GetRecordingSummary/>", "DataFrom",
            "%YT01:00:00Z");
        row("media attributes in a recording", "search_service",
            "<tse:GetMediaAttributes><tse:RecordingTokens>Recording1</tse:RecordingTokens>"
            "<tse:Time>%YT03:10:00Z</tse:Time></tse:GetMediaAttributes>",
            "From", "%YT03:00:00Z");
        row("no media attributes between recordings", "search_service",
            "<tse:GetMediaAttributes><tse:RecordingTokens>Recording1</tse:RecordingTokens>"
            "<tse:Time>%YT02:10:00Z</tse:Time></tse:GetMediaAttributes>",
            "From", "");
        row("the topics published", "event_service", "<tev:GetEventProperties/>",
            "SimpleItemDescription@Name",
            "Source State VideoSourceConfigurationToken VideoAnalyticsConfigurationToken Rule "
            "IsMotion");
    }

    void answers()
    {
        QFETCH(QString, path);
        QFETCH(QString, request);
        QFETCH(QString, element);
        QFETCH(QString, expected);
        const Answer a = call(m_port, "/onvif/" + path, expand(request));
        QCOMPARE(a.status, 200);
        QStringList found = collect(a.body(), element);
        if (element == QLatin1String("XAddr"))
            for (QString &url : found)
                url = url.section(QLatin1Char('/'), -1);
        QCOMPARE(found.join(QLatin1Char(' ')), expand(expected));
    }

    void recordingSearch()
    {
        const Answer found = call(m_port, QStringLiteral("/onvif/search_service"),
                                  "<tse:FindRecordings><tse:KeepAliveTime>PT10S</tse:KeepAliveTime>"
                                  "</tse:FindRecordings>");
        const QString token = collect(found.body(), QStringLiteral("SearchToken")).value(0);
        const Answer a = call(m_port, QStringLiteral("/onvif/search_service"),
                              "<tse:GetRecordingSearchResults><tse:SearchToken>" + token +
                                  "</tse:SearchToken></tse:GetRecordingSearchResults>");
        QCOMPARE(collect(a.body(), QStringLiteral("SearchState")), QStringList{"Completed"});
        QCOMPARE(collect(a.body(), QStringLiteral("RecordingToken")),
                 (QStringList{"Recording0", "Recording1"}));
        QCOMPARE(collect(a.body(), QStringLiteral("SourceId")), (QStringList{"vs0", "vs1"}));
        QCOMPARE(collect(a.body(), QStringLiteral("EarliestRecording")).value(1),
                 expand(QStringLiteral("%YT01:00:00Z")));
        QCOMPARE(
            call(m_port, QStringLiteral("/onvif/search_service"),
                 "<tse:EndSearch><tse:SearchToken>" + token + "</tse:SearchToken></tse:EndSearch>")
                .status,
            200);
    }

    // FindEvents over yesterday's recordings (01:00-02:00, 03:00-03:30, 22:00-23:00) and
    // motion (01:30-03:10, 12:00-12:05, 22:10-22:20, so recorded 01:30-02:00, 03:00-03:10,
    // 22:10-22:20). Results read "<channel> <R|M><+|-> <time>[ start]", fetched 5 at a time.
    void findEvents_data()
    {
        QTest::addColumn<QString>("request");
        QTest::addColumn<QString>("expected");
        const QString scope1 =
            "<tse:Scope><tt:IncludedRecordings>Recording1</tt:IncludedRecordings>"
            "</tse:Scope>";
        const QString day = "<tse:StartPoint>%YT00:00:00Z</tse:StartPoint>"
                            "<tse:EndPoint>%TT00:00:00Z</tse:EndPoint>";
        const QString forward = "1 R+ 01:00:00,1 M+ 01:30:00,1 M- 02:00:00,1 R- 02:00:00,"
                                "1 R+ 03:00:00,1 M+ 03:00:00,1 M- 03:10:00,1 R- 03:30:00,"
                                "1 R+ 22:00:00,1 M+ 22:10:00,1 M- 22:20:00,1 R- 23:00:00";
        QStringList backward = forward.split(QLatin1Char(','));
        std::reverse(backward.begin(), backward.end());
        QTest::newRow("a day of channel 1, in time order") << day + scope1 << forward;
        QTest::newRow("EndPoint before StartPoint: reversed")
            << "<tse:StartPoint>%TT00:00:00Z</tse:StartPoint><tse:EndPoint>%YT00:00:00Z"
               "</tse:EndPoint>" +
                   scope1
            << backward.join(QLatin1Char(','));
        QTest::newRow("the state at the start first")
            << "<tse:StartPoint>%YT01:45:00Z</tse:StartPoint><tse:EndPoint>%YT03:05:00Z"
               "</tse:EndPoint>" +
                   scope1 + "<tse:IncludeStartState>true</tse:IncludeStartState>"
            << "1 R+ 01:45:00 start,1 M+ 01:45:00 start,1 M- 02:00:00,1 R- 02:00:00,"
               "1 R+ 03:00:00,1 M+ 03:00:00";
        QTest::newRow("both channels, three matches")
            << day + "<tse:MaxMatches>3</tse:MaxMatches>"
            << "0 R+ 01:00:00,1 R+ 01:00:00,0 M+ 01:30:00";
        QTest::newRow("recording state only, by source")
            << "<tse:StartPoint>%YT00:00:00Z</tse:StartPoint><tse:EndPoint>%YT04:00:00Z"
               "</tse:EndPoint><tse:Scope><tt:IncludedSources><tt:Token>vs0</tt:Token>"
               "</tt:IncludedSources></tse:Scope><tse:SearchFilter><wsnt:TopicExpression "
               "Dialect=\"http://www.onvif.org/ver10/tev/topicExpression/ConcreteSet\">"
               "tns1:RecordingHistory/Track/State</wsnt:TopicExpression></tse:SearchFilter>"
            << "0 R+ 01:00:00,0 R- 02:00:00,0 R+ 03:00:00,0 R- 03:30:00";
        QTest::newRow("nothing before the recordings")
            << "<tse:StartPoint>2001-01-01T00:00:00Z</tse:StartPoint><tse:EndPoint>"
               "2001-01-02T00:00:00Z</tse:EndPoint>"
            << "";
    }

    void findEvents()
    {
        QFETCH(QString, request);
        QFETCH(QString, expected);
        const Answer found = call(m_port, QStringLiteral("/onvif/search_service"),
                                  expand("<tse:FindEvents>" + request +
                                         "<tse:KeepAliveTime>PT2S</tse:KeepAliveTime>"
                                         "</tse:FindEvents>"));
        const QString token = collect(found.body(), QStringLiteral("SearchToken")).value(0);
        QVERIFY2(!token.isEmpty(), qPrintable(found.subcode));
        QStringList results;
        for (int page = 0; page < 10; ++page) {
            const Answer a = call(m_port, QStringLiteral("/onvif/search_service"),
                                  "<tse:GetEventSearchResults><tse:SearchToken>" + token +
                                      "</tse:SearchToken><tse:MaxResults>5</tse:MaxResults>"
                                      "</tse:GetEventSearchResults>");
            QCOMPARE(a.status, 200);
            for (const auto &r : a.body()->children.front()->children) {
                if (r->name != QLatin1String("Result"))
                    continue;
                const QString topic = collect(r.get(), QStringLiteral("Topic")).value(0);
                const QDateTime at = QDateTime::fromString(
                    collect(r.get(), QStringLiteral("Time")).value(0), Qt::ISODate);
                results
                    << QStringLiteral("%1 %2%3 %4%5")
                           .arg(
                               collect(r.get(), QStringLiteral("RecordingToken")).value(0).right(1),
                               topic.endsWith(QLatin1String("MotionAlarm")) ? "M" : "R",
                               collect(r.get(), QStringLiteral("SimpleItem@Value")).last() ==
                                       QLatin1String("true")
                                   ? "+"
                                   : "-",
                               at.toUTC().toString(QStringLiteral("HH:mm:ss")),
                               collect(r.get(), QStringLiteral("StartStateEvent")).value(0) ==
                                       QLatin1String("true")
                                   ? " start"
                                   : "");
            }
            if (collect(a.body(), QStringLiteral("SearchState")).value(0) ==
                QLatin1String("Completed"))
                break;
        }
        QCOMPARE(results.join(QLatin1Char(',')), expected);
    }

    // The first pull takes each channel's initial state; the next one waits for the burst.
    void pullMessagesWaitsForMotion()
    {
        const QString path = subscribe(
            QStringLiteral("<tev:InitialTerminationTime>PT30S</tev:InitialTerminationTime>"));
        QVERIFY(path.startsWith(QLatin1String("/onvif/subscription/")));
        const QString pull = "<tev:PullMessages><tev:Timeout>PT%1S</tev:Timeout>"
                             "<tev:MessageLimit>10</tev:MessageLimit></tev:PullMessages>";
        const Answer initial = call(m_livePort, path, pull.arg(1));
        QCOMPARE(collect(initial.body(), QStringLiteral("Message@PropertyOperation")),
                 (QStringList{"Initialized", "Initialized"}));
        const int mark = m_live.lineCount();
        const Answer changed = call(m_livePort, path, pull.arg(10), "svc-pw", 12000);
        QCOMPARE(collect(changed.body(), QStringLiteral("Topic")),
                 (QStringList{"tns1:VideoSource/MotionAlarm",
                              "tns1:RuleEngine/CellMotionDetector/Motion"}));
        const QString state = collect(changed.body(), QStringLiteral("SimpleItem@Value")).last();
        QVERIFY(m_live.waitForLineFrom(mark,
                                       QRegularExpression("^EVENT LIV1 0 motion " +
                                                          QString(state == "true" ? "on" : "off") +
                                                          "$"),
                                       1000) >= 0);
        QCOMPARE(call(m_livePort, path, QStringLiteral("<wsnt:Unsubscribe/>")).status, 200);
    }

    void renewThenUnsubscribe()
    {
        const QString path =
            subscribe("<tev:InitialTerminationTime>PT5S</tev:InitialTerminationTime>");
        const Answer renewed =
            call(m_livePort, path,
                 "<wsnt:Renew><wsnt:TerminationTime>PT120S</wsnt:TerminationTime>"
                 "</wsnt:Renew>");
        const QDateTime current = QDateTime::fromString(
            collect(renewed.body(), QStringLiteral("CurrentTime")).value(0), Qt::ISODateWithMs);
        const QDateTime ends = QDateTime::fromString(
            collect(renewed.body(), QStringLiteral("TerminationTime")).value(0), Qt::ISODateWithMs);
        QCOMPARE(current.secsTo(ends), 120);
        QCOMPARE(call(m_livePort, path, QStringLiteral("<wsnt:Unsubscribe/>")).status, 200);
        QCOMPARE(call(m_livePort, path, QStringLiteral("<wsnt:Unsubscribe/>")).subcode,
                 QStringLiteral("ResourceUnknown"));
    }

    void hostileRequests_data()
    {
        QTest::addColumn<QString>("path"); // %sub: a live subscription
        QTest::addColumn<QString>("request");
        QTest::addColumn<QByteArray>("password");
        QTest::addColumn<QString>("subcode"); // or the HTTP status
        const QByteArray pw = "svc-pw";
        const auto pull = [](const char *timeout, const char *limit) {
            return QStringLiteral("<tev:PullMessages><tev:Timeout>%1</tev:Timeout>"
                                  "<tev:MessageLimit>%2</tev:MessageLimit></tev:PullMessages>")
                .arg(QLatin1String(timeout), QLatin1String(limit));
        };
        QTest::newRow("unknown subscription")
            << "/onvif/subscription/999" << pull("PT1S", "1") << pw << "ResourceUnknown";
        QTest::newRow("pull without a subscription")
            << "/onvif/event_service" << pull("PT1S", "1") << pw << "ResourceUnknown";
        QTest::newRow("subscription 0")
            << "/onvif/subscription/0" << pull("PT1S", "1") << pw << "404";
        QTest::newRow("huge Timeout") << "%sub" << pull("P99999999Y", "1") << pw << "InvalidArgVal";
        QTest::newRow("Timeout of 2 minutes")
            << "%sub" << pull("PT2M", "1") << pw << "InvalidArgVal";
        QTest::newRow("bad duration") << "%sub" << pull("10 seconds", "1") << pw << "InvalidArgVal";
        QTest::newRow("no MessageLimit") << "%sub" << pull("PT1S", "x") << pw << "InvalidArgVal";
        QTest::newRow("MessageLimit 0") << "%sub" << pull("PT1S", "0") << pw << "InvalidArgVal";
        QTest::newRow("renewed into the past")
            << "%sub"
            << "<wsnt:Renew><wsnt:TerminationTime>2001-01-01T00:00:00Z"
               "</wsnt:TerminationTime></wsnt:Renew>"
            << pw << "UnacceptableTerminationTimeFault";
        QTest::newRow("filter outside tns1")
            << "/onvif/event_service"
            << "<tev:CreatePullPointSubscription><tev:Filter><wsnt:TopicExpression>x:Foo"
               "</wsnt:TopicExpression></tev:Filter></tev:CreatePullPointSubscription>"
            << pw << "InvalidTopicExpressionFault";
        QTest::newRow("termination time malformed")
            << "/onvif/event_service"
            << "<tev:CreatePullPointSubscription><tev:InitialTerminationTime>soon"
               "</tev:InitialTerminationTime></tev:CreatePullPointSubscription>"
            << pw << "UnacceptableInitialTerminationTimeFault";
        QTest::newRow("results without a token")
            << "/onvif/search_service"
            << "<tse:GetEventSearchResults/>" << pw << "InvalidToken";
        QTest::newRow("results of an unknown search")
            << "/onvif/search_service"
            << "<tse:GetRecordingSearchResults><tse:SearchToken>search999</tse:SearchToken>"
               "</tse:GetRecordingSearchResults>"
            << pw << "InvalidToken";
        QTest::newRow("FindEvents without a start") << "/onvif/search_service"
                                                    << "<tse:FindEvents/>" << pw << "InvalidArgVal";
        QTest::newRow("KeepAliveTime negative")
            << "/onvif/search_service"
            << "<tse:FindRecordings><tse:KeepAliveTime>-PT1S</tse:KeepAliveTime>"
               "</tse:FindRecordings>"
            << pw << "InvalidArgVal";
        QTest::newRow("replay URI without a recording")
            << "/onvif/replay_service"
            << "<trp:GetReplayUri/>" << pw << "NoRecording";
        QTest::newRow("recording Recording2 of two")
            << "/onvif/search_service"
            << "<tse:GetMediaAttributes><tse:RecordingTokens>Recording2</tse:RecordingTokens>"
               "<tse:Time>2024-01-01T00:00:00Z</tse:Time></tse:GetMediaAttributes>"
            << pw << "NoRecording";
        QTest::newRow("subscribing unauthenticated")
            << "/onvif/event_service"
            << "<tev:CreatePullPointSubscription/>" << QByteArray() << "NotAuthorized";
        QTest::newRow("pulling with a wrong password")
            << "%sub" << pull("PT1S", "1") << QByteArray("svc-p") << "NotAuthorized";
        QTest::newRow("searching unauthenticated")
            << "/onvif/search_service"
            << "<tse:FindRecordings/>" << QByteArray() << "NotAuthorized";
    }

    void hostileRequests()
    {
        QFETCH(QString, path);
        QFETCH(QString, request);
        QFETCH(QByteArray, password);
        QFETCH(QString, subcode);
        if (path == QLatin1String("%sub"))
            path = subscribe();
        const quint16 port =
            request.contains(QLatin1String("tev:")) || request.contains(QLatin1String("wsnt:"))
                ? m_livePort
                : m_port;
        const Answer a = call(port, path, request, password);
        QCOMPARE(a.subcode.isEmpty() ? QString::number(a.status) : a.subcode, subcode);
        QVERIFY(m_sim.isRunning() && m_live.isRunning());
    }

    // At most 16 pull points and 8 searches at once; the rest is refused until some end.
    void limits_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("request");
        QTest::addColumn<int>("limit");
        QTest::newRow("pull points")
            << "/onvif/event_service"
            << "<tev:CreatePullPointSubscription><tev:InitialTerminationTime>"
               "PT2S</tev:InitialTerminationTime>"
               "</tev:CreatePullPointSubscription>"
            << 16;
        QTest::newRow("searches")
            << "/onvif/search_service"
            << "<tse:FindRecordings><tse:KeepAliveTime>PT2S</tse:KeepAliveTime>"
               "</tse:FindRecordings>"
            << 8;
    }

    void limits()
    {
        QFETCH(QString, path);
        QFETCH(QString, request);
        QFETCH(int, limit);
        QTest::qWait(3500); // the earlier tests' searches and pull points lapse
        DevsimProcess &sim = path.contains(QLatin1String("event")) ? m_live : m_sim;
        const quint16 port = &sim == &m_live ? m_livePort : m_port;
        int accepted = 0;
        QString refused;
        for (int i = 0; i < limit + 2 && refused.isEmpty(); ++i) {
            const Answer a = call(port, path, request);
            if (a.status == 200)
                ++accepted;
            else
                refused = a.subcode;
        }
        QCOMPARE(accepted, limit);
        QVERIFY(refused == QLatin1String("SubscribeCreationFailedFault") ||
                refused == QLatin1String("ResourceProblem"));
    }
};

ORVANE_TEST_GUILESS_MAIN(TestDevsimOnvifServices)
#include "tst_devsim_onvif_services.moc"
