// devsim's standard protocols, against a devsim process on loopback: FFmpeg plays its RTSP
// streams (the solid pattern's colours) and is refused without the password; a raw SOAP
// GetProfiles passes with HTTP Digest and is refused with a wrong password; a unicast
// WS-Discovery probe finds the device service.
#include "DevsimProcess.h"
#include "MediaDecoder.h"

#include "TestPattern.h"
#include "onvif/SoapEnvelope.h"
#include "onvif/SoapNamespaces.h"
#include "onvif/WsDiscovery.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include <QCryptographicHash>
#include <QNetworkDatagram>
#include <QTcpSocket>
#include <QUdpSocket>
#include <QUuid>
#include <QtTest>
#include "TestMain.h"

using namespace devsim;

namespace {

// Plays `url` with FFmpeg (RTSP interleaved over TCP) until the decoder has a picture; the
// result of avformat_open_input.
int playFirstPicture(const QString &url, MediaDecoder &decoder)
{
    AVDictionary *options = nullptr;
    av_dict_set(&options, "rtsp_transport", "tcp", 0);
    av_dict_set(&options, "timeout", "5000000", 0); // microseconds
    AVFormatContext *opened = nullptr;
    const int result = avformat_open_input(&opened, url.toUtf8().constData(), nullptr, &options);
    av_dict_free(&options);
    if (result < 0)
        return result;
    const AvInputFormatPtr input(opened);
    const AvPacketPtr packet = makeAvPacket();
    for (int i = 0; i < 100 && !decoder.frames && av_read_frame(input.get(), packet.get()) >= 0;
         ++i) {
        decoder.decode(QByteArray(reinterpret_cast<const char *>(packet->data), packet->size));
        av_packet_unref(packet.get());
    }
    return result;
}

// POSTs a SOAP request to the media service: the status, head and body of the answer.
std::tuple<int, QByteArray, QByteArray> post(quint16 port, const QByteArray &authorization)
{
    const QByteArray body = "<e:Envelope xmlns:e=\"http://www.w3.org/2003/05/soap-envelope\">"
                            "<e:Body><GetProfiles xmlns=\"http://www.onvif.org/ver10/media/wsdl\"/>"
                            "</e:Body></e:Envelope>";
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    socket.write("POST /onvif/media_service HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n"
                 "Authorization: " +
                 authorization +
                 "\r\nContent-Type: application/soap+xml\r\n"
                 "Content-Length: " +
                 QByteArray::number(body.size()) + "\r\n\r\n" + body);
    QByteArray all;
    while (socket.waitForReadyRead(5000)) // until the server closes
        all += socket.readAll();
    const int end = all.indexOf("\r\n\r\n");
    return {all.mid(9, 3).toInt(), all.left(end), all.mid(end + 4)};
}

QByteArray md5(const QByteArray &text)
{
    return QCryptographicHash::hash(text, QCryptographicHash::Md5).toHex();
}

} // namespace

class TestDevsimStandards : public QObject
{
    Q_OBJECT

    DevsimProcess m_sim;
    QString m_rtsp;          // the RTSP server's "rtsp://host:port"
    QString m_deviceService; // the ONVIF line's URL
    quint16 m_onvifPort = 0;
    quint16 m_wsdPort = 0;

    QString waitFor(const QString &pattern)
    {
        QRegularExpressionMatch m;
        return m_sim.waitForLine(QRegularExpression(pattern), 10000, &m) ? m.captured(1)
                                                                         : QString();
    }

private slots:
    void initTestCase()
    {
        av_log_set_level(AV_LOG_QUIET);
        QVERIFY2(m_sim.start({"--uid", "STD1",         "--channels", "2",          "--pattern",
                              "solid", "--sd",         "320x180",    "--hd",       "640x360",
                              "--fps", "10",           "--password", "std-pw",     "--onvif",
                              "0",     "--onvif-auth", "digest",     "--wsd-port", "0"}),
                 qPrintable(m_sim.errorText()));
        m_rtsp = waitFor(QStringLiteral("^RTSP STD1 (rtsp://[\\d.:]+)/STD1/1/main$"));
        m_deviceService =
            waitFor(QStringLiteral("^ONVIF STD1 (http://\\S+/onvif/device_service)$"));
        m_onvifPort = static_cast<quint16>(QUrl(m_deviceService).port());
        m_wsdPort = static_cast<quint16>(waitFor(QStringLiteral("^WSD (\\d+) ")).toUInt());
        QVERIFY(!m_rtsp.isEmpty() && m_onvifPort && m_wsdPort);
    }

    void rtspPlayback_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("credentials");
        QTest::addColumn<int>("width"); // 0: refused
        QTest::newRow("channel 0 main, red over green") << "/STD1/0/main"
                                                        << "admin:std-pw@" << 640;
        QTest::newRow("channel 1 sub, green over blue") << "/STD1/1/sub"
                                                        << "admin:std-pw@" << 320;
        QTest::newRow("wrong password") << "/STD1/0/main"
                                        << "admin:wrong@" << 0;
        QTest::newRow("no credentials") << "/STD1/1/sub"
                                        << "" << 0;
    }

    void rtspPlayback()
    {
        QFETCH(QString, path);
        QFETCH(QString, credentials);
        QFETCH(int, width);
        MediaDecoder decoder(AV_CODEC_ID_H264);
        const QString url = QString(m_rtsp).insert(7, credentials) + path;
        const int opened = playFirstPicture(url, decoder);
        QCOMPARE(opened, width ? 0 : AVERROR_HTTP_UNAUTHORIZED);
        if (!width)
            return;
        QCOMPARE(decoder.width, width);
        const int channel = path.section(QLatin1Char('/'), 2, 2).toInt();
        const int w = decoder.width, h = decoder.height;
        for (const int y : {h / 4, 3 * h / 4}) { // the upper and lower half's colours
            const TestPattern::Yuv c = TestPattern::toYuv(
                TestPattern::paletteColour(y < h / 2 ? TestPattern::topColourIndex(channel)
                                                     : TestPattern::bottomColourIndex(channel)));
            const std::size_t luma = std::size_t(y * w + w / 2),
                              chroma = std::size_t(y / 2 * (w / 2) + w / 4);
            QVERIFY(std::abs(decoder.planes[0][luma] - c.y) <= 12);
            QVERIFY(std::abs(decoder.planes[1][chroma] - c.u) <= 12);
            QVERIFY(std::abs(decoder.planes[2][chroma] - c.v) <= 12);
        }
    }

    void soapWithHttpDigest_data()
    {
        QTest::addColumn<QByteArray>("password");
        QTest::addColumn<int>("status");
        QTest::newRow("right password: four profiles") << QByteArray("std-pw") << 200;
        QTest::newRow("wrong password: NotAuthorized") << QByteArray("std-p") << 401;
    }

    void soapWithHttpDigest()
    {
        QFETCH(QByteArray, password);
        QFETCH(int, status);
        const auto [refused, head, unused] = post(m_onvifPort, "Digest");
        QCOMPARE(refused, 401);
        const QRegularExpressionMatch m =
            QRegularExpression(QStringLiteral("realm=\"([^\"]+)\".* nonce=\"([^\"]+)\""))
                .match(QString::fromLatin1(head));
        QVERIFY2(m.hasMatch(), head.constData());
        const QByteArray realm = m.captured(1).toLatin1(), nonce = m.captured(2).toLatin1();
        const QByteArray response = md5(md5("admin:" + realm + ':' + password) + ':' + nonce +
                                        ":00000001:5eed:auth:" + md5("POST:/onvif/media_service"));
        const auto [answered, unusedHead, body] = post(
            m_onvifPort, "Digest username=\"admin\", realm=\"" + realm + "\", nonce=\"" + nonce +
                             "\", uri=\"/onvif/media_service\", qop=auth, nc=00000001, "
                             "cnonce=\"5eed\", response=\"" +
                             response + '"');
        QCOMPARE(answered, status);
        SoapFault fault;
        const std::optional<SoapEnvelope> answer = SoapEnvelope::parse(body, &fault);
        QVERIFY2(answer, qPrintable(fault.reason));
        QStringList found; // the profiles' tokens, or the fault's subcode
        for (const auto &profile : answer->body().children)
            found << profile->attribute(QStringLiteral("token")).value_or(QString());
        if (status != 200) {
            const XmlNode *value = answer->body()
                                       .child(SoapNs::Envelope, QStringLiteral("Code"))
                                       ->child(SoapNs::Envelope, QStringLiteral("Subcode"))
                                       ->child(SoapNs::Envelope, QStringLiteral("Value"));
            const auto subcode = value->resolveQName(value->text);
            found = QStringList{subcode->first, subcode->second};
        }
        const QStringList expected = status == 200
                                         ? QStringList{"ch0_main", "ch0_sub", "ch1_main", "ch1_sub"}
                                         : QStringList{SoapNs::Error, "NotAuthorized"};
        QCOMPARE(found, expected);
    }

    void wsDiscoveryProbe_data()
    {
        QTest::addColumn<QByteArray>("types");
        QTest::addColumn<bool>("answered");
        QTest::newRow("video transmitters") << QByteArray("dn:NetworkVideoTransmitter") << true;
        QTest::newRow("printers") << QByteArray("dn:Printer") << false;
    }

    void wsDiscoveryProbe()
    {
        QFETCH(QByteArray, types);
        QFETCH(bool, answered);
        const QByteArray id = "urn:uuid:" + QUuid::createUuid().toByteArray(QUuid::WithoutBraces);
        const QByteArray probe =
            "<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\" xmlns:a=\"http://"
            "schemas.xmlsoap.org/ws/2004/08/addressing\" xmlns:d=\"http://schemas.xmlsoap.org/ws/"
            "2005/04/discovery\" xmlns:dn=\"http://www.onvif.org/ver10/network/wsdl\"><s:Header>"
            "<a:MessageID>" +
            id +
            "</a:MessageID><a:Action>http://schemas.xmlsoap.org/ws/2005/04/"
            "discovery/Probe</a:Action></s:Header><s:Body><d:Probe><d:Types>" +
            types + "</d:Types></d:Probe></s:Body></s:Envelope>";
        QUdpSocket socket;
        QVERIFY(socket.bind(QHostAddress::LocalHost, 0));
        socket.writeDatagram(probe, QHostAddress::LocalHost, m_wsdPort);
        QCOMPARE(socket.waitForReadyRead(answered ? 5000 : 1000), answered);
        if (!answered)
            return;
        SoapFault fault;
        const auto reply = SoapEnvelope::parse(socket.receiveDatagram().data(), &fault);
        QVERIFY2(reply && reply->header(), qPrintable(fault.reason));
        const XmlNode *match = reply->body().child(SoapNs::Discovery, QStringLiteral("ProbeMatch"));
        QVERIFY(match);
        QCOMPARE(reply->header()->childText(SoapNs::Addressing, QStringLiteral("RelatesTo")),
                 QString::fromLatin1(id));
        QCOMPARE(match->childText(SoapNs::Discovery, QStringLiteral("XAddrs")), m_deviceService);
        QCOMPARE(match->child(SoapNs::Addressing, QStringLiteral("EndpointReference"))
                     ->childText(SoapNs::Addressing, QStringLiteral("Address")),
                 WsDiscovery::endpointAddress(QStringLiteral("STD1")));
    }
};

ORVANE_TEST_GUILESS_MAIN(TestDevsimStandards)
#include "tst_devsim_standards.moc"
