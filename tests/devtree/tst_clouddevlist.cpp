// Reading the account service's device list reply, well-formed and not.

#include "core/CloudDeviceList.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>
#include "TestMain.h"

using namespace Qt::StringLiterals;

namespace {

// Every field of an entry, in declaration order, joined by "|".
QString fields(const CloudDevice &d)
{
    return QStringList{d.pk,
                       d.model,
                       d.uid,
                       d.area,
                       QString::number(d.type),
                       d.userId,
                       d.nickName,
                       QString::number(d.channelCount),
                       d.viewPassword,
                       d.viewAccount}
        .join(QLatin1Char('|'));
}

} // namespace

class tst_CloudDevList : public QObject
{
    Q_OBJECT

private slots:
    void readsEveryField()
    {
        const QByteArray body = R"({"error_code":0,"result":{"datas":[
            {"pk":"17","model":"equipment.device","fields":{"UID":"ABCD1234EFGH5678",
             "area":"cn","Type":2,"userID":"u-9","NickName":"仓库","ChannelIndex":8,
             "View_Password":"pw","View_Account":"admin"}},
            {"pk":18,"model":"m","fields":{"UID":"CAM2","Type":"7","ChannelIndex":"1"}}]}})";
        QList<CloudDevice> devices;
        QVERIFY(parseCloudDeviceList(body, &devices));
        QCOMPARE(devices.size(), 2);
        QCOMPARE(fields(devices.at(0)),
                 u"17|equipment.device|ABCD1234EFGH5678|cn|2|u-9|仓库|8|pw|admin"_s);
        QCOMPARE(fields(devices.at(1)), u"18|m|CAM2||7|||1||"_s);

        QVERIFY(parseCloudDeviceList(R"({"error_code":0,"result":{"datas":[]}})", &devices));
        QVERIFY(devices.isEmpty());
    }

    void rejectsMalformedReplies_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("not json") << QByteArray("<html>502 Bad Gateway</html>");
        QTest::newRow("truncated") << QByteArray(R"({"error_code":0,"result":{"datas":[{"pk":)");
        QTest::newRow("array") << QByteArray(R"([{"error_code":0}])");
        QTest::newRow("error code") << QByteArray(R"({"error_code":309,"result":{"datas":[]}})");
        QTest::newRow("error code text")
            << QByteArray(R"({"error_code":"0","result":{"datas":[]}})");
        QTest::newRow("no error code") << QByteArray(R"({"result":{"datas":[]}})");
        QTest::newRow("no result") << QByteArray(R"({"error_code":0})");
        QTest::newRow("result not object") << QByteArray(R"({"error_code":0,"result":[1]})");
        QTest::newRow("datas not array") << QByteArray(R"({"error_code":0,"result":{"datas":{}}})");
    }

    void rejectsMalformedReplies()
    {
        QFETCH(QByteArray, body);
        CloudDevice kept;
        kept.uid = u"KEEP"_s;
        QList<CloudDevice> devices{kept};
        QVERIFY(!parseCloudDeviceList(body, &devices));
        QCOMPARE(devices.size(), 1); // untouched
        QCOMPARE(devices.first().uid, u"KEEP"_s);
    }

    void skipsEntriesThatCannotBeReached()
    {
        const QByteArray body = R"({"error_code":0,"result":{"datas":[
            5, "x", null, {"pk":"1"}, {"pk":"2","fields":[]}, {"pk":"3","fields":{"UID":"  "}},
            {"pk":"4","fields":{"UID":{"a":1}}}, {"pk":"5","fields":{"UID":"OK1"}},
            {"pk":"6","fields":{"UID":1234555555555555555555555555555555555678}}]}})";
        QList<CloudDevice> devices;
        QVERIFY(parseCloudDeviceList(body, &devices));
        QCOMPARE(devices.size(), 1);
        QCOMPARE(fields(devices.first()), u"5||OK1||0|||1||"_s);
    }

    // RTSP cameras carry how they are reached; entries that say it wrongly
    // are skipped like those without a UID.
    void readsRtspDevices()
    {
        const auto entry = [](const QJsonObject &fields) {
            return QJsonObject{{u"fields"_s, fields}};
        };
        const QJsonArray datas{
            entry({{u"UID"_s, u"R1"_s}, {u"ChannelIndex"_s, 9}, {u"Kind"_s, u"rtsp"_s},
                   {u"Transport"_s, u"udp"_s},
                   {u"Streams"_s, u"rtsp://cam/1/main|rtsp://cam/1/sub\nrtsp://cam/2/main"_s}}),
            entry({{u"UID"_s, u"R2"_s}, {u"ChannelIndex"_s, 3}, {u"Kind"_s, u"rtsp"_s},
                   {u"Onvif"_s, u"cam.local:8080"_s}}),
            entry({{u"UID"_s, u"R3"_s}, {u"Kind"_s, u"rtsp"_s}, {u"Streams"_s, u"rtsp://u:p@cam/1"_s}}),
            entry({{u"UID"_s, u"P1"_s}, {u"Kind"_s, u"p2p"_s}}),
            entry({{u"UID"_s, u"X1"_s}, {u"Kind"_s, u"rtsp"_s}}),
            entry({{u"UID"_s, u"X2"_s}, {u"Kind"_s, u"rtsp"_s}, {u"Streams"_s, u"http://cam/1"_s}}),
            entry({{u"UID"_s, u"X3"_s}, {u"Kind"_s, u"rtsp"_s}, {u"Streams"_s, u"rtsp://cam/{ch}"_s}}),
            entry({{u"UID"_s, u"X4"_s}, {u"Kind"_s, u"rtsp"_s}, {u"Onvif"_s, u"cam/../x"_s}}),
            entry({{u"UID"_s, u"X5"_s}, {u"Kind"_s, u"sip"_s}, {u"Onvif"_s, u"cam"_s}})};
        const QByteArray body = QJsonDocument(QJsonObject{
                                                  {u"error_code"_s, 0},
                                                  {u"result"_s, QJsonObject{{u"datas"_s, datas}}}})
                                    .toJson();
        QList<CloudDevice> devices;
        QVERIFY(parseCloudDeviceList(body, &devices));
        QStringList uids;
        for (const CloudDevice &d : devices)
            uids << d.uid;
        QCOMPARE(uids, (QStringList{u"R1"_s, u"R2"_s, u"R3"_s, u"P1"_s}));
        const CloudDevice &r1 = devices.at(0);
        QCOMPARE(r1.kind, DeviceKind::Rtsp);
        QCOMPARE(r1.channelCount, 2); // one per stream, whatever ChannelIndex says
        QCOMPARE(r1.rtsp.streams,
                 (QList<RtspStream>{{u"rtsp://cam/1/main"_s, u"rtsp://cam/1/sub"_s},
                                    {u"rtsp://cam/2/main"_s, QString()}}));
        QCOMPARE(r1.rtsp.transport, RtspSource::Transport::Udp);
        const CloudDevice &r2 = devices.at(1);
        QCOMPARE(r2.kind, DeviceKind::Rtsp);
        QVERIFY(r2.rtsp.streams.isEmpty());
        QCOMPARE(r2.rtsp.onvifHost, u"cam.local:8080"_s);
        QCOMPARE(r2.channelCount, 3);
        QCOMPARE(devices.at(2).rtsp.streams.first().main, u"rtsp://cam/1"_s); // no credentials
        QCOMPARE(devices.at(3).kind, DeviceKind::P2p);
    }

    void boundsTheChannelCount()
    {
        const QByteArray body = R"({"error_code":0,"result":{"datas":[
            {"fields":{"UID":"A","ChannelIndex":0}}, {"fields":{"UID":"B","ChannelIndex":-4}},
            {"fields":{"UID":"C","ChannelIndex":2147483647}}, {"fields":{"UID":"D","ChannelIndex":"x"}},
            {"fields":{"UID":"E","ChannelIndex":1e300}}]}})";
        QList<CloudDevice> devices;
        QVERIFY(parseCloudDeviceList(body, &devices));
        QCOMPARE(devices.size(), 5);
        for (int i : {0, 1, 3})
            QCOMPARE(devices.at(i).channelCount, 1);
        QCOMPARE(devices.at(2).channelCount, MaxCloudChannels);
        QVERIFY(devices.at(4).channelCount >= 1 && devices.at(4).channelCount <= MaxCloudChannels);
    }
};

ORVANE_TEST_GUILESS_MAIN(tst_CloudDevList)
#include "tst_clouddevlist.moc"
