// The camera protocol client and WS-Discovery on loopback: every call against
// devsim's ONVIF server in both authentication modes, error paths against a
// stand-in HTTP server replaying canned answers, discovery against devsim and
// a stand-in responder.

#include "DevsimProcess.h"
#include "OnvifSamples.h"
#include "link/onvif/OnvifClient.h"
#include "link/onvif/OnvifEventWatch.h"
#include "link/onvif/OnvifNamespaces.h"
#include "link/onvif/OnvifXml.h"
#include "link/onvif/WsDiscovery.h"

#include <QNetworkDatagram>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include "TestMain.h"
#include <QUdpSocket>

namespace {

QByteArray http(const QByteArray &status, const QByteArray &body = QByteArray(),
                const QByteArray &headers = QByteArray())
{
    return "HTTP/1.1 " + status + "\r\n" + headers +
           "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

// Answers the n-th HTTP request with answers[n] (the last one again after
// the end), or with what answer() makes of it: an empty answer is never
// sent, "close" closes the connection.
class StandIn : public QObject
{
public:
    explicit StandIn(const QList<QByteArray> &answers,
                     std::function<QByteArray(const QByteArray &)> answer = {})
        : m_answers(answers)
        , m_answer(std::move(answer))
    {
        m_server.listen(QHostAddress::LocalHost);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *s = m_server.nextPendingConnection())
                connect(s, &QTcpSocket::readyRead, this, [this, s] { serve(s); });
        });
    }
    QUrl url(const QString &path = QStringLiteral("/onvif/device_service")) const
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_server.serverPort()).arg(path));
    }
    QList<QByteArray> requests;

private:
    void serve(QTcpSocket *s)
    {
        QByteArray &buffer = m_buffers[s];
        buffer += s->readAll();
        for (qsizetype end; (end = buffer.indexOf("\r\n\r\n")) >= 0;) {
            const qsizetype at = buffer.toLower().indexOf("content-length:");
            const int length =
                at < 0 ? 0 : buffer.mid(at + 15, end - at).split('\r')[0].trimmed().toInt();
            if (buffer.size() < end + 4 + length)
                return;
            requests.append(buffer.left(end + 4 + length));
            buffer.remove(0, end + 4 + length);
            const QByteArray a = m_answer
                                     ? m_answer(requests.last())
                                     : m_answers.at(qMin(requests.size(), m_answers.size()) - 1);
            if (a == "close")
                s->disconnectFromHost();
            else if (!a.isEmpty())
                s->write(a);
        }
    }

    QTcpServer m_server;
    QList<QByteArray> m_answers;
    std::function<QByteArray(const QByteArray &)> m_answer;
    QHash<QTcpSocket *, QByteArray> m_buffers;
};

template <class T> QString outcome(const OnvifResult<T> &r)
{
    return r ? QStringLiteral("ok") : kindName(r.error());
}

// Makes a call through f(context, callback) and waits for its one result.
template <class T, class F> OnvifResult<T> wait(F f)
{
    QObject context;
    std::optional<OnvifResult<T>> result;
    int calls = 0;
    f(&context, [&](const OnvifResult<T> &r) {
        result = r;
        ++calls;
    });
    (void)QTest::qWaitFor([&] { return calls > 0; }, 15000);
    QTest::qWait(20); // a second callback would come now
    if (calls != 1)
        return OnvifError::make(OnvifError::Kind::Network,
                                QStringLiteral("%1 callbacks").arg(calls));
    return *result;
}

QString bodyText(const QByteArray &request, const QString &ns, const char *name)
{
    const auto doc = OnvifXmlElement::parse(request.mid(request.indexOf("\r\n\r\n") + 4), {});
    const OnvifXmlElement *h = doc ? doc->path(OnvifNs::Soap, {"Header"}) : nullptr;
    const OnvifXmlElement *t = h ? h->path(OnvifNs::Wsse, {"Security", "UsernameToken"}) : nullptr;
    return t ? t->childText(ns, QLatin1String(name)) : QString();
}

} // namespace

class TstOnvifClient : public QObject
{
    Q_OBJECT

private slots:
    void devsim_data()
    {
        QTest::addColumn<QString>("auth");
        QTest::newRow("ws-security") << "wsse";
        QTest::newRow("http digest") << "digest";
    }
    void devsim()
    {
        QFETCH(QString, auth);
        DevsimProcess sim;
        QVERIFY2(sim.start({"--uid", "CAM1", "--ptz", "--onvif", "0", "--onvif-auth", auth,
                            "--print-settings", "--password", "pw 123"}),
                 qPrintable(sim.errorText()));
        QRegularExpressionMatch m;
        QVERIFY(sim.waitForLine(QRegularExpression("^ONVIF CAM1 (\\S+)"), 10000, &m));
        auto seen = [&sim](int from, const QString &re) {
            return sim.waitForLineFrom(from, QRegularExpression(re), 5000) >= 0;
        };
        const QUrl url(m.captured(1));

        // A wrong password ends with one error, after one retry at most.
        OnvifClient wrong;
        wrong.setDevice(url, "admin", "wrong");
        int mark = sim.lineCount();
        const auto refused =
            wait<QList<OnvifProfile>>([&](auto x, auto done) { wrong.getProfiles(x, done); });
        QVERIFY(!refused && refused.error().isNotAuthorized());
        QTest::qWait(300);
        const QRegularExpression refusal("^SOAP CAM1 GetProfiles fault:NotAuthorized");
        QCOMPARE(sim.matchingLines(refusal, mark).size(), auth == "digest" ? 2 : 1);

        OnvifClient c;
        c.setDevice(url, "admin", "pw 123");
        const auto services =
            wait<OnvifServices>([&](auto x, auto done) { c.connectDevice(x, done); });
        QVERIFY2(services, qPrintable(services.error().text()));
        QVERIFY(services->ptz.isValid());
        const auto info =
            wait<OnvifDeviceInfo>([&](auto x, auto d) { c.getDeviceInformation(x, d); });
        QVERIFY2(info, qPrintable(info.error().text()));
        QCOMPARE(info->serial, "CAM1");
        QCOMPARE(c.authMode() == OnvifClient::AuthMode::HttpDigest, auth == "digest");
        const auto profiles =
            wait<QList<OnvifProfile>>([&](auto x, auto d) { c.getProfiles(x, d); });
        QVERIFY2(profiles, qPrintable(profiles.error().text()));
        QStringList got;
        for (const OnvifProfile &p : *profiles)
            got << QStringLiteral("%1 %2x%3 %4 %5")
                       .arg(p.token)
                       .arg(p.width)
                       .arg(p.height)
                       .arg(p.encoding, p.hasPtz ? "ptz" : "-");
        QCOMPARE(got.join("; "), "ch0_main 1280x720 H264 ptz; ch0_sub 640x360 H264 ptz");
        const auto uri = wait<QUrl>([&](auto x, auto d) { c.getStreamUri("ch0_main", x, d); });
        QVERIFY(uri && uri->scheme() == "rtsp" && uri->path() == "/CAM1/0/main");
        const auto snapshot =
            wait<QUrl>([&](auto x, auto d) { c.getSnapshotUri("ch0_sub", x, d); });
        QVERIFY(snapshot && snapshot->path() == "/onvif/snapshot/0/sub");

        // PTZ: each call shows on the camera.
        mark = sim.lineCount();
        QVERIFY(
            wait<OnvifDone>([&](auto x, auto d) { c.continuousMove("ch0_main", .5, 0, 0, x, d); }));
        QVERIFY(seen(mark, "^PTZ CAM1/0 right "));
        QVERIFY(wait<OnvifDone>([&](auto x, auto d) { c.stop("ch0_main", x, d); }));
        QVERIFY(seen(mark, "^PTZ CAM1/0 stop "));
        const auto preset =
            wait<QString>([&](auto x, auto d) { c.setPreset("ch0_main", "Gate", x, d); });
        QVERIFY2(preset, qPrintable(preset.error().text()));
        QVERIFY(seen(mark, "^PTZ CAM1/0 preset-set-" + *preset + ' '));
        QVERIFY(wait<OnvifDone>([&](auto x, auto d) { c.gotoPreset("ch0_main", *preset, x, d); }));
        QVERIFY(seen(mark, "^PTZ CAM1/0 preset-go-" + *preset + ' '));
        const auto presets =
            wait<QList<OnvifPreset>>([&](auto x, auto d) { c.getPresets("ch0_main", x, d); });
        QVERIFY(presets && std::any_of(presets->begin(), presets->end(),
                                       [&](const OnvifPreset &p) { return p.token == *preset; }));

        // The clock: set, read back, and the UsernameToken follows the device's new clock.
        const QDateTime utc(QDate(2031, 1, 2), QTime(3, 4, 5), Qt::UTC);
        const QString zone = "CET-1CEST,M3.5.0,M10.5.0/3";
        QVERIFY(wait<OnvifDone>(
            [&](auto x, auto d) { c.setSystemDateAndTime(utc, zone, false, x, d); }));
        QVERIFY(
            seen(mark,
                 "^SETTINGS CAM1 time=2031-1-2-4-4-\\d+ zone=CET-1CEST,M3\\.5\\.0,M10\\.5\\.0/3 "));
        const auto clock =
            wait<OnvifDateTime>([&](auto x, auto d) { c.getSystemDateAndTime(x, d); });
        QVERIFY(clock && qAbs(clock->utc.secsTo(utc)) < 60 && clock->timeZone == zone);
        QVERIFY(wait<QList<OnvifProfile>>([&](auto x, auto d) { c.getProfiles(x, d); }));
    }

    void errorPaths_data()
    {
        QTest::addColumn<QList<QByteArray>>("answers");
        QTest::addColumn<QString>("outcome");
        QTest::addColumn<int>("requests");
        QTest::addColumn<bool>("digestSent");
        const QByteArray digest =
            "WWW-Authenticate: Digest realm=\"cam\", qop=\"auth\", nonce=\"abc\"\r\n";
        const QByteArray stopped = http("200 OK", sample("stop"));
        QTest::newRow("answered") << QList<QByteArray>{stopped} << "ok" << 1 << false;
        QTest::newRow("no answer") << QList<QByteArray>{""} << "timeout" << 1 << false;
        // Qt's HTTP layer sends once more on a connection closed without an answer.
        QTest::newRow("connection closed") << QList<QByteArray>{"close"} << "network" << 2 << false;
        QTest::newRow("larger than announced")
            << QList<QByteArray>{"HTTP/1.1 200 OK\r\nContent-Length: 2000000\r\n\r\n<"}
            << "oversized" << 1 << false;
        QTest::newRow("larger than it streams")
            << QList<QByteArray>{"HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" +
                                 QByteArray(OnvifClient::DefaultReplyLimit + 70000, ' ')}
            << "oversized" << 1 << false;
        QTest::newRow("digest challenge, accepted")
            << QList<QByteArray>{http("401 Unauthorized", {}, digest), stopped} << "ok" << 2
            << true;
        QTest::newRow("digest challenge, refused again")
            << QList<QByteArray>{http("401 Unauthorized", {}, digest)} << "unauthorized" << 2
            << true;
        QTest::newRow("basic challenge")
            << QList<QByteArray>{http("401 Unauthorized", {},
                                      "WWW-Authenticate: Basic realm=\"x\"\r\n")}
            << "unauthorized" << 1 << false;
        QTest::newRow("fault") << QList<QByteArray>{http("400 Bad Request", sample("fault"))}
                               << "fault" << 1 << false;
        QTest::newRow("status without fault")
            << QList<QByteArray>{http("404 Not Found")} << "http" << 1 << false;
        QTest::newRow("redirect not followed")
            << QList<QByteArray>{http("302 Found", {}, "Location: http://127.0.0.1:9/x\r\n")}
            << "http" << 1 << false;
        QTest::newRow("not the answer")
            << QList<QByteArray>{http("200 OK", sample("presets"))} << "malformed" << 1 << false;
    }
    void errorPaths()
    {
        QFETCH(QList<QByteArray>, answers);
        QFETCH(QString, outcome);
        QFETCH(int, requests);
        QFETCH(bool, digestSent);
        StandIn device(answers);
        OnvifClient client;
        client.setTimeoutMs(1000);
        client.setDevice(device.url(), "admin", "pass word!");
        const auto r = wait<OnvifDone>([&](auto x, auto done) { client.stop("p1", x, done); });
        QCOMPARE(::outcome(r), outcome);
        QCOMPARE(device.requests.size(), requests);
        QCOMPARE(device.requests.last().contains("\r\nAuthorization: Digest username=\"admin\""),
                 digestSent);
        // WS-Security until the device asks for Digest.
        QVERIFY(!bodyText(device.requests.first(), OnvifNs::Wsse, "Password").isEmpty());
        QCOMPARE(client.authMode() == OnvifClient::AuthMode::HttpDigest, digestSent);
        QVERIFY(!device.requests.join().contains("pass word!"));
        QCOMPARE(client.pendingCalls(), 0);
    }

    // The UsernameToken follows the device's clock, and services and streams are
    // reached on the device's own host whatever host the device reports.
    void clockAndServices()
    {
        StandIn device({http("200 OK", sample("system_date_and_time")),
                        http("200 OK", sample("capabilities")), http("200 OK", sample("profiles")),
                        http("200 OK", sample("stream_uri"))});
        OnvifClient client;
        client.setDevice(device.url(), "admin", "pw");
        const auto services =
            wait<OnvifServices>([&](auto x, auto done) { client.connectDevice(x, done); });
        QVERIFY(services);
        QCOMPARE(services->media, device.url("/onvif/media"));
        QCOMPARE(services->ptz.toString(), device.url("/onvif/ptz?ch=1").toString());
        const auto profiles =
            wait<QList<OnvifProfile>>([&](auto x, auto done) { client.getProfiles(x, done); });
        QVERIFY(profiles && profiles->size() == 2);
        const auto uri = wait<QUrl>([&](auto x, auto done) { client.getStreamUri("p", x, done); });
        QCOMPARE(uri ? uri->toString() : uri.error().text(),
                 "rtsp://127.0.0.1:554/Streaming/Channels/101?transportmode=unicast");
        QCOMPARE(device.requests.size(), 4);
        QVERIFY(device.requests[2].startsWith("POST /onvif/media HTTP/1.1"));
        QVERIFY(bodyText(device.requests[0], OnvifNs::Wsu, "Created")
                    .isEmpty()); // asked unauthenticated
        const QDateTime created = QDateTime::fromString(
            bodyText(device.requests[2], OnvifNs::Wsu, "Created"), Qt::ISODate);
        const QDateTime deviceClock(QDate(2024, 2, 29), QTime(23, 5, 9), Qt::UTC);
        QVERIFY2(qAbs(created.secsTo(deviceClock)) < 30, qPrintable(created.toString(Qt::ISODate)));
    }

    // A search is paged until the device says it is complete; one given up
    // (a failed page, no end in sight) is ended with EndSearch.
    void search_data()
    {
        QTest::addColumn<QList<QByteArray>>("answers");
        QTest::addColumn<QString>("outcome");
        QTest::addColumn<int>("requests");
        const QByteArray token = http("200 OK", sample("find_events"));
        const QByteArray searching = http("200 OK", sample("event_search"));
        const QByteArray done =
            http("200 OK", sample("event_search").replace(">Searching<", ">Completed<"));
        QTest::newRow("pages until complete")
            << QList<QByteArray>{token, searching, done} << "6 events" << 3;
        QTest::newRow("a page fails")
            << QList<QByteArray>{token, http("400 Bad", sample("fault"))} << "fault" << 3;
        QTest::newRow("never complete")
            << QList<QByteArray>{token, searching}
            << QStringLiteral("%1 events").arg(3 * OnvifClient::MaxSearchPages)
            << OnvifClient::MaxSearchPages + 2;
    }
    void search()
    {
        QFETCH(QList<QByteArray>, answers);
        QFETCH(QString, outcome);
        QFETCH(int, requests);
        StandIn device(answers);
        OnvifClient client;
        client.setDevice(device.url(), "admin", "pw");
        const QDateTime from(QDate(2024, 5, 1), QTime(8, 0), Qt::UTC);
        const auto r = wait<QList<OnvifEvent>>([&](auto x, auto d) {
            client.findEvents(from, from.addSecs(3600), {"Recording0"}, x, d);
        });
        QCOMPARE(r ? QStringLiteral("%1 events").arg(r->size()) : kindName(r.error()), outcome);
        QTRY_COMPARE(device.requests.size(), requests);
        QVERIFY(device.requests[1].contains("<tse:SearchToken>search-17</tse:SearchToken>"));
        QCOMPARE(device.requests.last().contains(":EndSearch"), requests != 3 || !r);
    }

    // The replay URI, and a subscription's address, are reached on the device's host.
    void replayUri()
    {
        StandIn device({http("200 OK", sample("replay_uri"))});
        OnvifClient client;
        client.setDevice(device.url(), "admin", "pw");
        const auto uri =
            wait<QUrl>([&](auto x, auto d) { client.getReplayUri("Recording0", x, d); });
        QCOMPARE(uri ? uri->toString() : uri.error().text(), "rtsp://127.0.0.1:554/CAM1/0/replay");
    }

    // A PullPoint subscription is pulled, renewed before it ends, made again
    // after the device lost it, and ended when the watch stops.
    void eventWatch()
    {
        int pulls = 0;
        const QByteArray soon = sample("pull_messages")
                                    .replace("<tev:TerminationTime>2024-05-01T10:01:00Z",
                                             "<tev:TerminationTime>2024-05-01T10:00:15Z");
        StandIn device({}, [&](const QByteArray &request) -> QByteArray {
            if (request.contains(":CreatePullPointSubscription"))
                return http("200 OK", sample("subscription"));
            if (request.contains(":Renew"))
                return http("200 OK", sample("renew"));
            if (request.contains(":Unsubscribe"))
                return http("200 OK", sample("stop").replace("tptz:StopResponse",
                                                             "wsnt:UnsubscribeResponse"));
            if (!request.contains(":PullMessages"))
                return http("404 Not Found");
            ++pulls;
            return pulls == 1   ? http("200 OK", soon)
                   : pulls == 2 ? http("400 Bad Request", sample("fault"))
                   : pulls == 3 ? http("200 OK", sample("pull_messages"))
                                : QByteArray(); // waits
        });
        OnvifClient client;
        client.setDevice(device.url(), "admin", "pw");
        QList<OnvifEvent> events;
        OnvifEventWatch watch([&](auto connected) { connected(&client, true); },
                              [&](const OnvifEvent &e) { events << e; });
        watch.setBackoffMs(50);
        watch.restart();
        QTRY_COMPARE(pulls, 4);
        QCOMPARE(watch.subscriptions(), 2);
        QCOMPARE(events.size(), 10);
        QCOMPARE(events[0].source, "src_2");
        auto count = [&device](const char *op) {
            return int(std::count_if(device.requests.begin(), device.requests.end(),
                                     [op](const QByteArray &r) { return r.contains(op); }));
        };
        QCOMPARE(count(":Renew"), 1);
        QCOMPARE(count(":Unsubscribe"), 1); // the lost one
        const QByteArray pull = device.requests[1];
        QVERIFY(pull.startsWith("POST /onvif/subscription/3?idx=1 HTTP/1.1"));
        QVERIFY(pull.contains(
            QByteArray('>' + device.url("/onvif/subscription/3?idx=1").toEncoded() + "</wsa:To>")));
        watch.stop();
        QTRY_COMPARE(count(":Unsubscribe"), 2);
        QVERIFY(!watch.subscribed());
    }

    // A unicast probe to a stand-in responder (answers to another probe, garbage and
    // repeats besides the one answer) and to devsim's responder finds one device each.
    void discovery_data()
    {
        QTest::addColumn<bool>("devsim");
        QTest::newRow("stand-in") << false;
        QTest::newRow("devsim") << true;
    }
    void discovery()
    {
        QFETCH(bool, devsim);
        QUdpSocket responder;
        QVERIFY(responder.bind(QHostAddress::LocalHost, 0));
        connect(&responder, &QUdpSocket::readyRead, this, [&] {
            while (responder.hasPendingDatagrams()) {
                const QNetworkDatagram probe = responder.receiveDatagram();
                const auto doc = OnvifXmlElement::parse(probe.data(), {});
                const QByteArray id = doc->path(OnvifNs::Soap, {"Header"})
                                          ->childText(OnvifNs::Addressing, "MessageID")
                                          .toLatin1();
                const QByteArray match = sample("probe_matches");
                for (const QByteArray &relatesTo : {QByteArray("urn:uuid:other"), id, id})
                    responder.writeDatagram(
                        QByteArray(match)
                            .replace("urn:uuid:0f1e2d3c-4b5a-4978-8695-a4b3c2d1e0f9", relatesTo)
                            .replace("Front%20door", relatesTo == id ? "Front%20door" : "Stranger"),
                        probe.senderAddress(), probe.senderPort());
                responder.writeDatagram("garbage", probe.senderAddress(), probe.senderPort());
            }
        });
        QByteArray port = QByteArray::number(responder.localPort());
        QString endpoint = "urn:uuid:1419d68a-1dd2-11b2-a105-000000000001";
        QList<QUrl> xaddrs{QUrl("http://10.0.0.5/onvif/device_service"),
                           QUrl("http://[fe80::1]/onvif/device_service")};
        DevsimProcess sim;
        if (devsim) {
            QVERIFY2(sim.start({"--uid", "CAM2", "--name", "Front door", "--onvif", "0",
                                "--wsd-port", "0"}),
                     qPrintable(sim.errorText()));
            QRegularExpressionMatch wsd, onvif;
            QVERIFY(sim.waitForLine(QRegularExpression("^WSD (\\d+) "), 10000, &wsd));
            QVERIFY(sim.waitForLine(QRegularExpression("^ONVIF CAM2 (\\S+)"), 10000, &onvif));
            port = wsd.captured(1).toLatin1();
            xaddrs = {QUrl(onvif.captured(1))};
            endpoint.clear(); // a UUID of its own
        }
        qputenv("ORVANE_WSD_TARGET", "127.0.0.1:" + port);
        WsDiscovery search;
        qunsetenv("ORVANE_WSD_TARGET");
        QList<WsDiscovery::Device> found;
        connect(&search, &WsDiscovery::deviceFound, this, [&](const auto &d) { found.append(d); });
        QSignalSpy finished(&search, &WsDiscovery::finished);
        QVERIFY(search.start(1500));
        QVERIFY(finished.wait(5000));
        QVERIFY(!search.isRunning());
        QCOMPARE(found.size(), 1);
        QCOMPARE(found[0].name, "Front door");
        QCOMPARE(found[0].host, QHostAddress(QHostAddress::LocalHost));
        QVERIFY(found[0].endpoint.startsWith("urn:uuid:"));
        QVERIFY(endpoint.isEmpty() || found[0].endpoint == endpoint);
        QCOMPARE(found[0].xaddrs, xaddrs);
        QVERIFY(found[0].types.contains("{" + OnvifNs::Network + "}NetworkVideoTransmitter"));
    }
};

ORVANE_TEST_GUILESS_MAIN(TstOnvifClient)
#include "tst_onvif_client.moc"
