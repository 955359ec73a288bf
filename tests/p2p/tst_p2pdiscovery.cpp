// Finding devices without a peer list: UID lookup and LAN search by UDP
// discovery on a test-private port. (Devices in other processes sharing the
// port: tst_devsim_session.)

#include "TestDevice.h"

#include <QtTest>

#include <cstring>
#include <map>

namespace {

struct Entry
{
    std::string uid, ip, name;
    int port = 0;
};

// Runs a LAN search until every wanted UID is listed (or 20 s pass).
std::map<std::string, Entry> search(const std::vector<std::string> &wanted)
{
    std::map<std::string, Entry> found;
    if (IOTC_Search_Device_Start(20000, 300) < 0)
        return found;
    std::vector<std::uint8_t> entries(256 * P2P_SEARCH_ENTRY_SIZE);
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 20000) {
        const int n = IOTC_Search_Device_Result(entries.data(), 256, 1);
        found.clear();
        for (int i = 0; i < n; ++i) {
            const std::uint8_t *e = entries.data() + i * P2P_SEARCH_ENTRY_SIZE;
            Entry x;
            x.uid = reinterpret_cast<const char *>(e + P2P_SEARCH_UID_OFFSET);
            x.ip = reinterpret_cast<const char *>(e + P2P_SEARCH_IP_OFFSET);
            x.port = e[P2P_SEARCH_PORT_OFFSET] | (e[P2P_SEARCH_PORT_OFFSET + 1] << 8);
            x.name = reinterpret_cast<const char *>(e + P2P_SEARCH_NAME_OFFSET);
            found[x.uid] = x;
        }
        bool all = true;
        for (const auto &w : wanted)
            all = all && found.count(w);
        if (all)
            break;
        QTest::qWait(100);
    }
    IOTC_Search_Device_Stop();
    return found;
}

} // namespace

class TestP2pDiscovery : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void connectsByUidThroughDiscovery();
    void searchListsEveryDeviceOfThisProcess();
    void searchResultBeforeStartIsEmpty();
};

void TestP2pDiscovery::initTestCase()
{
    useRandomDiscoveryPort();
    setPeers("");
    QCOMPARE(IOTC_Initialize2(0), 0);
    QVERIFY(avInitialize(4096) >= 0);
}

void TestP2pDiscovery::cleanupTestCase()
{
    avDeInitialize();
    IOTC_DeInitialize();
}

void TestP2pDiscovery::connectsByUidThroughDiscovery()
{
    TestDevice a("DISCO00001"), b("DISCO00002");
    QVERIFY(a.start());
    QVERIFY(b.start());
    for (TestDevice *d : {&a, &b}) {
        const int sid = connectTo(d->uid());
        QVERIFY2(sid >= 0, qPrintable(QString::number(sid)));
        const int av = openAv(sid);
        QVERIFY(av >= 0);
        QTRY_COMPARE_WITH_TIMEOUT(d->count(d->channelsOpened), std::size_t(1), 10000);
        IOTC_Session_Close(sid);
    }
    // Not discoverable: not found.
    TestDevice hidden("DISCOHIDE1", "pw", false);
    QVERIFY(hidden.start());
    qputenv(P2P_ENV_CONNECT_TIMEOUT, "1500");
    QCOMPARE(connectTo(hidden.uid()), IOTC_ER_CAN_NOT_FIND_DEVICE);
    qunsetenv(P2P_ENV_CONNECT_TIMEOUT);
}

void TestP2pDiscovery::searchListsEveryDeviceOfThisProcess()
{
    TestDevice a("DISCOLAN01"), b("DISCOLAN02"), c("DISCOLAN03", "pw", false);
    QVERIFY(a.start());
    QVERIFY(b.start());
    QVERIFY(c.start());
    const auto found = search({a.uid(), b.uid()});
    QVERIFY(found.count(a.uid()));
    QVERIFY(found.count(b.uid()));
    QVERIFY(!found.count(c.uid()));
    const Entry &e = found.at(a.uid());
    QCOMPARE(e.port, int(a.server().port()));
    QCOMPARE(e.name, std::string("Test DISCOLAN01"));
    QVERIFY(!e.ip.empty());
}

void TestP2pDiscovery::searchResultBeforeStartIsEmpty()
{
    std::vector<std::uint8_t> entries(4 * P2P_SEARCH_ENTRY_SIZE);
    QCOMPARE(IOTC_Search_Device_Result(entries.data(), 4, 1), 0);
    QCOMPARE(IOTC_Search_Device_Result(nullptr, 4, 1), IOTC_ER_INVALID_ARG);
    QCOMPARE(IOTC_Search_Device_Stop(), 0);
}

QTEST_GUILESS_MAIN(TestP2pDiscovery)
#include "tst_p2pdiscovery.moc"
