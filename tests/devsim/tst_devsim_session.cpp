// devsim as a device on the link, seen through the P2P C surface: its account and version,
// LAN search across processes, its connection and IO faults, losing it, ending.
// (The library's own session semantics, discovery by UID included: tests/p2p.)
#include "LinkSupport.h"

#include "IoCtrlType.h"

#include <QtTest>
#include "TestMain.h"

#include <asio.hpp>

#ifdef Q_OS_LINUX
#include <sys/resource.h>
#include <unistd.h>
#endif

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

    // Starts devsim on this run's discovery port; false, with a warning, on failure.
    bool startSim(DevsimProcess &sim, const QStringList &args, int devices = 1)
    {
        sim.setDiscoveryPort(m_discoveryPort);
        const bool started = sim.start(args, devices);
        if (!started)
            qWarning("%s", qPrintable(sim.errorText()));
        return started;
    }

    // Wrong credentials are refused; the right ones are served, proven by the version
    // request/reply round trip carrying the configured version text.
    void verifyServed(DevsimProcess &sim, const QString &uid)
    {
        const int sid = connectUid(uid.toLatin1().constData());
        QVERIFY2(sid >= 0, qPrintable(QString::number(sid)));
        const int mark = sim.lineCount();
        QCOMPARE(startAv(sid, kAccount, "wrong", 0), AV_ER_WRONG_VIEWACCorPWD);
        QCOMPARE(startAv(sid, kAccount, "", 0), AV_ER_WRONG_VIEWACCorPWD);
        QCOMPARE(startAv(sid, "nobody", kPassword, 0), AV_ER_WRONG_VIEWACCorPWD);
        const int av = startAv(sid, kAccount, kPassword, 0);
        QVERIFY2(av >= 0, qPrintable(QString::number(av)));
        // Logins are handled in order: only the last one opened a channel.
        const QRegularExpression opened("^CHANNEL_OPEN ");
        QVERIFY(sim.waitForLineFrom(mark, opened, 10000) >= 0);
        QCOMPARE(sim.matchingLines(opened, mark).size(), 1);
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

    void servesTheClientsOfItsPeerListEntry()
    {
        DevsimProcess sim;
        QVERIFY(startSim(sim, deviceArgs("PEERCAM1", {"--version", "V5.6.7 build 2024"})));
        QVERIFY(initLibrary(sim.peersEnv().toLatin1(), m_discoveryPort));
        verifyServed(sim, "PEERCAM1");
        QVERIFY(sim.waitForLine(
            QRegularExpression("^SESSION_OPEN PEERCAM1 \\d+ 127\\.0\\.0\\.1:\\d+$"), 10000));
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
        QVERIFY(startSim(sim, deviceArgs("FAULTCAM", {"--fault", fault})));
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

    // Out of descriptors, devsim waits before accepting again rather than spinning, and
    // serves a client once the idle connections are gone.
    void descriptorExhaustionNeitherSpinsNorLocksOut()
    {
#ifndef Q_OS_LINUX
        QSKIP("needs setrlimit and /proc");
#elif defined(__SANITIZE_ADDRESS__)
        // UBSan's type checks in devsim need descriptors this case takes away
        // (they then report intact objects); the normal build runs it.
        QSKIP("runs in the build without sanitizers");
#else
        DevsimProcess sim;
        sim.process().setChildProcessModifier([] {
            const rlimit limit{48, 48};
            setrlimit(RLIMIT_NOFILE, &limit);
        });
        QVERIFY(startSim(sim, deviceArgs("FDCAM")));
        asio::io_context io;
        std::vector<asio::ip::tcp::socket> idle;
        for (int i = 0; i < 100; ++i) {
            asio::error_code ec;
            idle.emplace_back(io).connect({asio::ip::make_address("127.0.0.1"), sim.port("FDCAM")},
                                          ec);
            QVERIFY(!ec);
        }
        const auto cpuMs = [&sim] { // utime + stime of devsim
            QFile f(QStringLiteral("/proc/%1/stat").arg(sim.process().processId()));
            if (!f.open(QIODevice::ReadOnly))
                return qint64(-1);
            const QList<QByteArray> fields = f.readAll().split(')').last().split(' ');
            return (fields.value(12).toLongLong() + fields.value(13).toLongLong()) * 1000 /
                   sysconf(_SC_CLK_TCK);
        };
        const qint64 before = cpuMs();
        QElapsedTimer wall;
        wall.start();
        QTest::qWait(1500); // an interval to measure over, not an ordering
        const qint64 used = cpuMs() - before;
        QVERIFY2(before >= 0 && used < wall.elapsed() / 2, qPrintable(QString::number(used)));
        idle.clear();
        QVERIFY(initLibrary(sim.peersEnv().toLatin1(), m_discoveryPort));
        const int sid = connectUid("FDCAM");
        QVERIFY2(sid >= 0, qPrintable(QString::number(sid)));
        QVERIFY(startAv(sid, kAccount, kPassword, 0) >= 0);
#endif
    }

    void endsWhenItsHarnessGoes()
    {
        DevsimProcess orphan;
        QVERIFY(startSim(orphan, deviceArgs("ORPHANCAM")));
        orphan.process().closeWriteChannel(); // what a dying test leaves behind
        QVERIFY(orphan.process().waitForFinished(15000));
        QCOMPARE(orphan.process().exitCode(), 0);
        QVERIFY(orphan.waitForLine(QRegularExpression("^STOPPED ORPHANCAM$"), 0));
    }
};

ORVANE_TEST_GUILESS_MAIN(TestDevsimSession)
#include "tst_devsim_session.moc"
