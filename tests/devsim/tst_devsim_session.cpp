// devsim as a device on the link, seen through the P2P C surface: being found by peer list,
// discovery and LAN search, its account, its connection and IO faults, losing it, ending.
// (The library's own session semantics: tests/p2p.)
#include "LinkSupport.h"

#include "IoCtrlType.h"

#include <QtTest>

using namespace linktest;
using devsim::IoCtrlType::VersionReq;
using devsim::IoCtrlType::VersionResp;

namespace {

const char *const kAccount = "admin";
const char *const kPassword = "link-pw";

QStringList deviceArgs(const QString &uid, const QStringList &extra = {})
{
    return QStringList{"--uid",   uid,      "--account",   kAccount, "--password",
                       kPassword, "--name", uid + "-name", "--fps",  "10",
                       "--sd",    "160x96", "--hd",        "320x180"} +
           extra;
}

} // namespace

class TestDevsimSession : public QObject
{
    Q_OBJECT

private:
    quint16 m_discoveryPort = 0;

    bool startSim(DevsimProcess &sim, const QStringList &args, int devices = 1)
    {
        sim.setDiscoveryPort(m_discoveryPort);
        return sim.start(args, devices);
    }

    // Wrong credentials are refused; the right ones are served, proven by the version
    // request/reply round trip carrying the configured version text.
    void verifyServed(DevsimProcess &sim, const QString &uid)
    {
        const int sid = connectUid(uid.toLatin1().constData());
        QVERIFY2(sid >= 0, qPrintable(QString::number(sid)));
        QCOMPARE(startAv(sid, kAccount, "wrong", 0), AV_ER_WRONG_VIEWACCorPWD);
        QCOMPARE(startAv(sid, "nobody", kPassword, 0), AV_ER_WRONG_VIEWACCorPWD);
        const int av = startAv(sid, kAccount, kPassword, 0);
        QVERIFY2(av >= 0, qPrintable(QString::number(av)));
        QVERIFY(sendIo(av, VersionReq, QByteArray(64, '\0')) >= 0);
        const std::optional<QByteArray> reply = waitIo(av, VersionResp, 15000);
        QVERIFY(reply);
        QCOMPARE(reply->size(), 64);
        QCOMPARE(QByteArray(reply->constData()), QByteArray("V5.6.7 build 2024"));
        QVERIFY(sim.waitForLine(QRegularExpression("^IOCTRL " + uid + " \\d+/0 0x331b 0{128}$"),
                                10000));
        QVERIFY(sim.waitForLine(QRegularExpression("^REPLY " + uid + " \\d+/0 0x331c 56352e362e37"),
                                5000));
        IOTC_Session_Close(sid);
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(!DevsimProcess::executable().isEmpty(), "devsim not built");
        m_discoveryPort = randomDiscoveryPort();
    }

    void init() { qunsetenv(P2P_ENV_CONNECT_TIMEOUT); }

    void cleanup() { deinitLibrary(); }

    void connectsByPeerListAndByDiscovery()
    {
        DevsimProcess sim;
        QVERIFY2(startSim(sim, deviceArgs("PEERCAM1", {"--version", "V5.6.7 build 2024"})),
                 qPrintable(sim.errorText()));

        QVERIFY(initLibrary(sim.peersEnv().toLatin1(), m_discoveryPort));
        verifyServed(sim, "PEERCAM1");
        QVERIFY(sim.waitForLine(
            QRegularExpression("^SESSION_OPEN PEERCAM1 \\d+ 127\\.0\\.0\\.1:\\d+$"), 10000));
        deinitLibrary();

        // No peer list: the device is found by discovery on the shared port.
        QVERIFY(initLibrary(QByteArray(), m_discoveryPort));
        verifyServed(sim, "PEERCAM1");
    }

    void connectionFaultsFailTheConnect_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("code");
        QTest::newRow("refuse") << "refuse" << IOTC_ER_DEVICE_NOT_LISTENING;
        QTest::newRow("silent") << "silent" << IOTC_ER_TIMEOUT;
    }

    void connectionFaultsFailTheConnect()
    {
        QFETCH(QString, fault);
        QFETCH(int, code);
        DevsimProcess sim;
        QVERIFY2(startSim(sim, deviceArgs("FAULTCAM", {"--fault", fault})),
                 qPrintable(sim.errorText()));
        qputenv(P2P_ENV_CONNECT_TIMEOUT, "3000");
        QVERIFY(initLibrary(sim.peersEnv().toLatin1(), m_discoveryPort));
        QCOMPARE(connectUid("FAULTCAM"), code);
        QVERIFY(sim.matchingLines(QRegularExpression("^SESSION_OPEN ")).isEmpty());
    }

    void stalledDeviceLogsRequestsButNeverAnswers()
    {
        DevsimLink link;
        QVERIFY(link.open(deviceArgs("STALLCAM", {"--stall-io"}), m_discoveryPort, kAccount,
                          kPassword));
        QVERIFY(sendIo(link.av, VersionReq, QByteArray(64, '\0')) >= 0);
        QVERIFY(sendIo(link.av, VersionReq, QByteArray(64, '\1')) >= 0);
        // Requests are handled in order: an answer to the first would come before this line.
        QVERIFY(
            link.sim.waitForLine(QRegularExpression("^IOCTRL STALLCAM \\S+ 0x331b (01)+$"), 10000));
        QVERIFY(link.sim.matchingLines(QRegularExpression("^REPLY ")).isEmpty());
    }

    void lostDeviceIsNoticed_data()
    {
        QTest::addColumn<QStringList>("extra");
        QTest::addColumn<bool>("kill");
        QTest::newRow("killed") << QStringList() << true;
        QTest::newRow("dropped by --drop-after") << QStringList{"--drop-after", "1"} << false;
    }

    void lostDeviceIsNoticed()
    {
        QFETCH(QStringList, extra);
        QFETCH(bool, kill);
        DevsimLink link;
        QVERIFY(link.open(deviceArgs("LOSTCAM", extra), m_discoveryPort, kAccount, kPassword));
        if (kill)
            link.sim.kill();
        int code = AV_ER_DATA_NOREADY;
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                unsigned int type = 0;
                char buf[64];
                code = avRecvIOCtrl(link.av, &type, buf, sizeof buf, 0);
                return code != AV_ER_DATA_NOREADY;
            }(),
            20000);
        QCOMPARE(code, AV_ER_SESSION_CLOSE_BY_REMOTE);
        QCOMPARE(sendIo(link.av, VersionReq, QByteArray(64, '\0')), AV_ER_SESSION_CLOSE_BY_REMOTE);
    }

    void lanSearchListsEveryDevice()
    {
        DevsimProcess first;
        DevsimProcess second;
        QVERIFY2(startSim(first, deviceArgs("LANCAM1")), qPrintable(first.errorText()));
        QVERIFY2(startSim(second, deviceArgs("LANCAM2", {"--type", "2"})),
                 qPrintable(second.errorText()));
        QVERIFY(initLibrary(QByteArray(), m_discoveryPort));

        QVERIFY(IOTC_Search_Device_Start(8000, 300) >= 0);
        std::vector<char> entries(P2P_SEARCH_ENTRY_SIZE * 256);
        QMap<QString, QStringList> found; // uid -> name, port, address
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                const int n = IOTC_Search_Device_Result(entries.data(), 256, 1);
                for (int i = 0; i < n; ++i) {
                    const char *e = entries.data() + i * P2P_SEARCH_ENTRY_SIZE;
                    const auto *p =
                        reinterpret_cast<const unsigned char *>(e + P2P_SEARCH_PORT_OFFSET);
                    found.insert(QString::fromLatin1(e + P2P_SEARCH_UID_OFFSET),
                                 {QString::fromLatin1(e + P2P_SEARCH_NAME_OFFSET),
                                  QString::number(p[0] | (p[1] << 8)),
                                  QString::fromLatin1(e + P2P_SEARCH_IP_OFFSET)});
                }
                return found.contains("LANCAM1") && found.contains("LANCAM2");
            }(),
            15000);
        IOTC_Search_Device_Stop();
        static const QRegularExpression ipv4("^\\d+\\.\\d+\\.\\d+\\.\\d+$");
        for (DevsimProcess *sim : {&first, &second}) {
            const QString uid = sim->uids().constFirst();
            QCOMPARE(found.value(uid).at(0), uid + "-name");
            QCOMPARE(found.value(uid).at(1).toUShort(), sim->port(uid));
            QVERIFY(ipv4.match(found.value(uid).at(2)).hasMatch());
        }
    }

    void endsCleanlyOnTermAndWhenItsHarnessGoes()
    {
        DevsimProcess byTerm;
        QVERIFY2(startSim(byTerm, deviceArgs("TERMCAM")), qPrintable(byTerm.errorText()));
        QVERIFY(byTerm.stop()); // SIGTERM: exit status 0
        QVERIFY(byTerm.waitForLine(QRegularExpression("^STOPPED TERMCAM$"), 0));

        DevsimProcess orphan;
        QVERIFY2(startSim(orphan, deviceArgs("ORPHANCAM")), qPrintable(orphan.errorText()));
        orphan.process().closeWriteChannel(); // what a dying test leaves behind
        QVERIFY(orphan.process().waitForFinished(15000));
        QCOMPARE(orphan.process().exitCode(), 0);
        QVERIFY(orphan.waitForLine(QRegularExpression("^STOPPED ORPHANCAM$"), 0));
    }

    void configFileRunsSeveralDevices()
    {
        DevsimProcess sim;
        QVERIFY2(startSim(sim,
                          {"--config", QStringLiteral(DEVSIM_SOURCE_DIR "/demo.json"), "--fps", "5",
                           "--sd", "160x96"},
                          3),
                 qPrintable(sim.errorText()));
        QCOMPARE(sim.uids().size(), 3);
        QVERIFY(sim.stop());
        QCOMPARE(sim.matchingLines(QRegularExpression("^STOPPED ")).size(), 3);
    }
};

QTEST_GUILESS_MAIN(TestDevsimSession)
#include "tst_devsim_session.moc"
