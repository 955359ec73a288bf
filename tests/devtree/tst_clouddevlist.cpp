// Reading the account service's device list reply, well-formed and not.

#include "devtree/CloudDevList.h"

#include <QtTest>

class tst_CloudDevList : public QObject
{
    Q_OBJECT

private slots:
    void readsEveryField();
    void rejectsMalformedReplies_data();
    void rejectsMalformedReplies();
    void skipsEntriesThatCannotBeReached();
    void boundsTheChannelCount();
};

void tst_CloudDevList::readsEveryField()
{
    const QByteArray body = R"({"error_code":0,"result":{"datas":[
        {"pk":"17","model":"equipment.device","fields":{"UID":"ABCD1234EFGH5678",
         "area":"cn","Type":2,"userID":"u-9","NickName":"仓库","ChannelIndex":8,
         "View_Password":"pw","View_Account":"admin"}},
        {"pk":18,"model":"m","fields":{"UID":"CAM2","Type":"7","ChannelIndex":"1"}}]}})";
    QList<CloudDevice> devices;
    QVERIFY(parseCloudDeviceList(body, &devices));
    QCOMPARE(devices.size(), 2);
    const CloudDevice &a = devices.at(0);
    QCOMPARE(a.pk, QStringLiteral("17"));
    QCOMPARE(a.model, QStringLiteral("equipment.device"));
    QCOMPARE(a.uid, QStringLiteral("ABCD1234EFGH5678"));
    QCOMPARE(a.area, QStringLiteral("cn"));
    QCOMPARE(a.type, 2);
    QCOMPARE(a.userId, QStringLiteral("u-9"));
    QCOMPARE(a.nickName, QStringLiteral("仓库"));
    QCOMPARE(a.channelCount, 8);
    QCOMPARE(a.viewPassword, QStringLiteral("pw"));
    QCOMPARE(a.viewAccount, QStringLiteral("admin"));
    const CloudDevice &b = devices.at(1);
    QCOMPARE(b.pk, QStringLiteral("18"));
    QCOMPARE(b.type, 7);
    QCOMPARE(b.channelCount, 1);
    QVERIFY(b.viewAccount.isEmpty());

    QVERIFY(parseCloudDeviceList(R"({"error_code":0,"result":{"datas":[]}})", &devices));
    QVERIFY(devices.isEmpty());
}

void tst_CloudDevList::rejectsMalformedReplies_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("not json") << QByteArray("<html>502 Bad Gateway</html>");
    QTest::newRow("truncated") << QByteArray(R"({"error_code":0,"result":{"datas":[{"pk":)");
    QTest::newRow("array") << QByteArray(R"([{"error_code":0}])");
    QTest::newRow("error code") << QByteArray(R"({"error_code":309,"result":{"datas":[]}})");
    QTest::newRow("error code text") << QByteArray(R"({"error_code":"0","result":{"datas":[]}})");
    QTest::newRow("no error code") << QByteArray(R"({"result":{"datas":[]}})");
    QTest::newRow("no result") << QByteArray(R"({"error_code":0})");
    QTest::newRow("result not object") << QByteArray(R"({"error_code":0,"result":[1]})");
    QTest::newRow("datas not array") << QByteArray(R"({"error_code":0,"result":{"datas":{}}})");
}

void tst_CloudDevList::rejectsMalformedReplies()
{
    QFETCH(QByteArray, body);
    CloudDevice kept;
    kept.uid = QStringLiteral("KEEP");
    QList<CloudDevice> devices{kept};
    QVERIFY(!parseCloudDeviceList(body, &devices));
    QCOMPARE(devices.size(), 1); // untouched
    QCOMPARE(devices.first().uid, QStringLiteral("KEEP"));
}

void tst_CloudDevList::skipsEntriesThatCannotBeReached()
{
    const QByteArray body = R"({"error_code":0,"result":{"datas":[
        5, "x", null, {"pk":"1"}, {"pk":"2","fields":[]}, {"pk":"3","fields":{"UID":"  "}},
        {"pk":"4","fields":{"UID":{"a":1}}}, {"pk":"5","fields":{"UID":"OK1"}}]}})";
    QList<CloudDevice> devices;
    QVERIFY(parseCloudDeviceList(body, &devices));
    QCOMPARE(devices.size(), 1);
    QCOMPARE(devices.first().uid, QStringLiteral("OK1"));
    QCOMPARE(devices.first().channelCount, 1);
    QCOMPARE(devices.first().type, 0);
}

void tst_CloudDevList::boundsTheChannelCount()
{
    const QByteArray body = R"({"error_code":0,"result":{"datas":[
        {"fields":{"UID":"A","ChannelIndex":0}}, {"fields":{"UID":"B","ChannelIndex":-4}},
        {"fields":{"UID":"C","ChannelIndex":2147483647}}, {"fields":{"UID":"D","ChannelIndex":"x"}},
        {"fields":{"UID":"E","ChannelIndex":1e300}}]}})";
    QList<CloudDevice> devices;
    QVERIFY(parseCloudDeviceList(body, &devices));
    QCOMPARE(devices.size(), 5);
    QCOMPARE(devices.at(0).channelCount, 1);
    QCOMPARE(devices.at(1).channelCount, 1);
    QCOMPARE(devices.at(2).channelCount, MaxCloudChannels);
    QCOMPARE(devices.at(3).channelCount, 1);
    QVERIFY(devices.at(4).channelCount >= 1 && devices.at(4).channelCount <= MaxCloudChannels);
}

QTEST_GUILESS_MAIN(tst_CloudDevList)
#include "tst_clouddevlist.moc"
