// Sessions and AV channels of the P2P C surface against real devsim processes: finding and
// opening devices, refusals, aborting blocked calls, lost devices, hostile bytes, LAN search.
#include "DevsimProcess.h"
#include "LinkSupport.h"

#include "IoCtrlType.h"

#include <QTcpSocket>
#include <QtTest>

#include <atomic>
#include <thread>

using namespace linktest;

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

bool isLinkLost(int code)
{
    return code == AV_ER_SESSION_CLOSE_BY_REMOTE || code == AV_ER_REMOTE_TIMEOUT_DISCONNECT ||
           code == AV_ER_IOTC_SESSION_CLOSED || code == AV_ER_INVALID_SID ||
           code == IOTC_ER_SESSION_CLOSE_BY_REMOTE || code == IOTC_ER_REMOTE_TIMEOUT_DISCONNECT;
}

// Runs `call` on its own thread; done/result tell the test when and how it ended.
struct Background
{
    std::atomic<bool> started{false};
    std::atomic<bool> done{false};
    std::atomic<int> result{0};
    std::thread thread;

    template <typename F> void run(F call)
    {
        thread = std::thread([this, call] {
            started = true;
            result = call();
            done = true;
        });
    }
    ~Background()
    {
        if (thread.joinable())
            thread.join();
    }
};

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

    // The version request/reply round trip: proof that a client is served.
    void verifyServed(DevsimProcess &sim, const QString &uid)
    {
        const int sid = connectUid(uid.toLatin1().constData());
        QVERIFY2(sid >= 0, qPrintable(QString::number(sid)));
        const int av = startAv(sid, kAccount, kPassword, 0);
        QVERIFY2(av >= 0, qPrintable(QString::number(av)));
        QVERIFY(sendIo(av, devsim::IoCtrlType::VersionReq, QByteArray(64, '\0')) >= 0);
        const std::optional<QByteArray> reply = waitIo(av, devsim::IoCtrlType::VersionResp, 15000);
        QVERIFY(reply);
        QCOMPARE(reply->size(), 64);
        QVERIFY(sim.waitForLine(QRegularExpression("^IOCTRL " + uid + " \\d+/0 0x331b 0{128}$"),
                                10000));
        avClientStop(av);
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
        QVERIFY2(startSim(sim, deviceArgs("PEERCAM1")), qPrintable(sim.errorText()));

        QVERIFY(initLibrary(sim.peersEnv().toLatin1(), m_discoveryPort));
        verifyServed(sim, "PEERCAM1");
        QVERIFY(sim.waitForLine(
            QRegularExpression("^SESSION_OPEN PEERCAM1 \\d+ 127\\.0\\.0\\.1:\\d+$"), 10000));
        deinitLibrary();

        // No peer list: the device is found by discovery on the shared port.
        QVERIFY(initLibrary(QByteArray(), m_discoveryPort));
        verifyServed(sim, "PEERCAM1");
    }

    void wrongPasswordIsRefused()
    {
        DevsimProcess sim;
        QVERIFY2(startSim(sim, deviceArgs("PWCAM1")), qPrintable(sim.errorText()));
        QVERIFY(initLibrary(sim.peersEnv().toLatin1(), m_discoveryPort));
        const int sid = connectUid("PWCAM1");
        QVERIFY(sid >= 0);
        QCOMPARE(startAv(sid, kAccount, "wrong", 0), AV_ER_WRONG_VIEWACCorPWD);
        QCOMPARE(startAv(sid, "nobody", kPassword, 0), AV_ER_WRONG_VIEWACCorPWD);
        const int av = startAv(sid, kAccount, kPassword, 0);
        QVERIFY2(av >= 0, qPrintable(QString::number(av)));
        IOTC_Session_Close(sid);
    }

    void unknownUidFailsWithinConnectTimeout()
    {
        DevsimProcess sim; // somebody else on the network, not the one asked for
        QVERIFY2(startSim(sim, deviceArgs("OTHERCAM1")), qPrintable(sim.errorText()));
        qputenv(P2P_ENV_CONNECT_TIMEOUT, "3000");
        QVERIFY(initLibrary(sim.peersEnv().toLatin1(), m_discoveryPort));
        Background connect;
        connect.run([] { return connectUid("NOSUCHCAM9"); });
        QTRY_VERIFY_WITH_TIMEOUT(connect.done, 20000);
        QVERIFY(connect.result < 0);
    }

    void refusedConnectionFails()
    {
        DevsimProcess sim;
        QVERIFY2(startSim(sim, deviceArgs("REFUSECAM", {"--fault", "refuse"})),
                 qPrintable(sim.errorText()));
        qputenv(P2P_ENV_CONNECT_TIMEOUT, "5000");
        QVERIFY(initLibrary(sim.peersEnv().toLatin1(), m_discoveryPort));
        Background connect;
        connect.run([] { return connectUid("REFUSECAM"); });
        QTRY_VERIFY_WITH_TIMEOUT(connect.done, 20000);
        QVERIFY(connect.result < 0);
        QVERIFY(sim.matchingLines(QRegularExpression("^SESSION_OPEN ")).isEmpty());
    }

    void connectStopReleasesBlockedConnect()
    {
        DevsimProcess sim;
        QVERIFY2(startSim(sim, deviceArgs("SILENTCAM", {"--fault", "silent"})),
                 qPrintable(sim.errorText()));
        qputenv(P2P_ENV_CONNECT_TIMEOUT, "120000"); // only the stop can end it in time
        QVERIFY(initLibrary(sim.peersEnv().toLatin1(), m_discoveryPort));
        const int sid = IOTC_Get_SessionID();
        QVERIFY(sid >= 0);
        Background connect;
        connect.run([sid] { return IOTC_Connect_ByUID_Parallel("SILENTCAM", sid); });
        QTest::qWait(500); // let it reach the silent device; a stop before that is fine too
        QVERIFY(!connect.done);
        QVERIFY(IOTC_Connect_Stop_BySID(sid) >= 0);
        QTRY_VERIFY_WITH_TIMEOUT(connect.done, 10000);
        QVERIFY(connect.result < 0);
    }

    void ioCtrlExitAndSessionCloseReleaseBlockedCalls()
    {
        DevsimProcess sim;
        QVERIFY2(startSim(sim, deviceArgs("STALLCAM", {"--stall-io"})),
                 qPrintable(sim.errorText()));
        QVERIFY(initLibrary(sim.peersEnv().toLatin1(), m_discoveryPort));
        const int sid = connectUid("STALLCAM");
        QVERIFY(sid >= 0);
        const int av = startAv(sid, kAccount, kPassword, 0);
        QVERIFY(av >= 0);

        // The device never answers: the receive waits until avSendIOCtrlExit.
        QVERIFY(sendIo(av, devsim::IoCtrlType::VersionReq, QByteArray(64, '\0')) >= 0);
        {
            Background recv;
            recv.run([av] {
                unsigned int type = 0;
                char buf[1024];
                return avRecvIOCtrl(av, &type, buf, sizeof buf, 60000);
            });
            QVERIFY(sim.waitForLine(QRegularExpression("^IOCTRL STALLCAM \\S+ 0x331b "), 10000));
            QTRY_VERIFY_WITH_TIMEOUT(recv.started, 10000);
            QTest::qWait(100);
            QVERIFY(!recv.done);
            // An exit ends the calls waiting at that moment; repeat it in case the thread
            // had not quite entered the call yet on a busy machine.
            QTRY_VERIFY_WITH_TIMEOUT((avSendIOCtrlExit(av), recv.done.load()), 10000);
            QCOMPARE(int(recv.result), AV_ER_SENDIOCTRL_EXIT);
        }
        QVERIFY(sim.matchingLines(QRegularExpression("^REPLY ")).isEmpty());

        // The same wait ends when the session is closed.
        {
            Background recv;
            recv.run([av] {
                unsigned int type = 0;
                char buf[1024];
                return avRecvIOCtrl(av, &type, buf, sizeof buf, 60000);
            });
            QTRY_VERIFY_WITH_TIMEOUT(recv.started, 10000);
            QTest::qWait(100);
            QVERIFY(!recv.done);
            QVERIFY(IOTC_Session_Close(sid) >= 0);
            QTRY_VERIFY_WITH_TIMEOUT(recv.done, 10000);
            QVERIFY(recv.result < 0);
            QVERIFY(recv.result != AV_ER_TIMEOUT);
        }
        QVERIFY(sim.waitForLine(QRegularExpression("^SESSION_CLOSE STALLCAM \\d+$"), 10000));
    }

    void killedDeviceIsNoticed()
    {
        DevsimProcess sim;
        QVERIFY2(startSim(sim, deviceArgs("KILLCAM")), qPrintable(sim.errorText()));
        QVERIFY(initLibrary(sim.peersEnv().toLatin1(), m_discoveryPort));
        const int sid = connectUid("KILLCAM");
        QVERIFY(sid >= 0);
        const int av = startAv(sid, kAccount, kPassword, 0);
        QVERIFY(av >= 0);
        QVERIFY(sendIo(av, devsim::IoCtrlType::VideoStart, u32s({0, 0})) >= 0);
        QVERIFY(recvVideo(av, 15000));

        sim.kill();
        int code = 0;
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                int error = 0;
                recvVideo(av, 50, &error);
                code = error;
                return error != 0;
            }(),
            15000);
        QVERIFY2(isLinkLost(code), qPrintable(QString::number(code)));
        unsigned int type = 0;
        char buf[64];
        QVERIFY(avRecvIOCtrl(av, &type, buf, sizeof buf, 0) < 0);
        QVERIFY(avSendIOCtrl(av, devsim::IoCtrlType::VersionReq, QByteArray(64, '\0').constData(),
                             64) < 0);
    }

    void droppedSessionIsNoticed()
    {
        DevsimProcess sim;
        QVERIFY2(startSim(sim, deviceArgs("DROPCAM", {"--drop-after", "1"})),
                 qPrintable(sim.errorText()));
        QVERIFY(initLibrary(sim.peersEnv().toLatin1(), m_discoveryPort));
        const int sid = connectUid("DROPCAM");
        QVERIFY(sid >= 0);
        const int av = startAv(sid, kAccount, kPassword, 0);
        QVERIFY(av >= 0);
        int code = 0;
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                unsigned int type = 0;
                char buf[64];
                code = avRecvIOCtrl(av, &type, buf, sizeof buf, 0);
                return code != AV_ER_DATA_NOREADY;
            }(),
            20000);
        QVERIFY2(isLinkLost(code), qPrintable(QString::number(code)));
    }

    void malformedBytesAreSurvived()
    {
        DevsimProcess sim;
        QVERIFY2(startSim(sim, deviceArgs("ROBUSTCAM")), qPrintable(sim.errorText()));
        const quint16 port = sim.port("ROBUSTCAM");

        const QList<QByteArray> garbage{
            QByteArray(4096, '\xff'),
            QByteArray("GET / HTTP/1.1\r\nHost: x\r\n\r\n"),
            QByteArray("\x7f\xff\xff\xff\x7f\xff\xff\xff", 8) + QByteArray(64, 'A'),
            QByteArray(3, '\0'),
            []() {
                QByteArray random(8192, '\0');
                for (char &c : random)
                    c = static_cast<char>(QRandomGenerator::global()->bounded(256));
                return random;
            }(),
        };
        for (const QByteArray &bytes : garbage) {
            QTcpSocket socket;
            socket.connectToHost(QStringLiteral("127.0.0.1"), port);
            QVERIFY(socket.waitForConnected(5000));
            socket.write(bytes);
            QVERIFY(socket.waitForBytesWritten(5000));
            // Whatever the device answers (or a close), it must not hang or crash.
            socket.waitForReadyRead(300);
            socket.abort();
        }
        QVERIFY(sim.isRunning());

        QVERIFY(initLibrary(sim.peersEnv().toLatin1(), m_discoveryPort));
        verifyServed(sim, "ROBUSTCAM");
        QVERIFY(sim.isRunning());
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
        QMap<QString, QPair<QString, quint16>> found; // uid -> name, port
        QMap<QString, QString> addresses;
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                const int n = IOTC_Search_Device_Result(entries.data(), 256, 1);
                for (int i = 0; i < n; ++i) {
                    const char *e = entries.data() + i * P2P_SEARCH_ENTRY_SIZE;
                    const auto *p =
                        reinterpret_cast<const unsigned char *>(e + P2P_SEARCH_PORT_OFFSET);
                    found.insert(QString::fromLatin1(e + P2P_SEARCH_UID_OFFSET),
                                 {QString::fromLatin1(e + P2P_SEARCH_NAME_OFFSET),
                                  static_cast<quint16>(p[0] | (p[1] << 8))});
                    addresses.insert(QString::fromLatin1(e + P2P_SEARCH_UID_OFFSET),
                                     QString::fromLatin1(e + P2P_SEARCH_IP_OFFSET));
                }
                return found.contains("LANCAM1") && found.contains("LANCAM2");
            }(),
            15000);
        IOTC_Search_Device_Stop();
        QCOMPARE(found.value("LANCAM1").first, QStringLiteral("LANCAM1-name"));
        QCOMPARE(found.value("LANCAM1").second, first.port("LANCAM1"));
        QCOMPARE(found.value("LANCAM2").first, QStringLiteral("LANCAM2-name"));
        QCOMPARE(found.value("LANCAM2").second, second.port("LANCAM2"));
        static const QRegularExpression ipv4("^\\d+\\.\\d+\\.\\d+\\.\\d+$");
        QVERIFY(ipv4.match(addresses.value("LANCAM1")).hasMatch());
        QVERIFY(ipv4.match(addresses.value("LANCAM2")).hasMatch());
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
        sim.setDiscoveryPort(m_discoveryPort);
        QVERIFY2(sim.start({"--config", QStringLiteral(DEVSIM_SOURCE_DIR "/demo.json"), "--fps",
                            "5", "--sd", "160x96"},
                           3),
                 qPrintable(sim.errorText()));
        QCOMPARE(sim.uids().size(), 3);
        QVERIFY(sim.peersEnv().count(';') == 2);
        QVERIFY(sim.stop());
        QCOMPARE(sim.matchingLines(QRegularExpression("^STOPPED ")).size(), 3);
    }
};

QTEST_GUILESS_MAIN(TestDevsimSession)
#include "tst_devsim_session.moc"
