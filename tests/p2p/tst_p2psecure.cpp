// The link's security against a machine in the middle on loopback: what a
// recording relay sees, a relay presenting its own key (pinned key
// mismatch), a login relayed between two TLS sessions (channel binding), a
// device whose key changed, an impostor answering discovery first, and the
// device identity kept on disk.

#include "TestDevice.h"
#include "TlsPeers.h"

#include <QTemporaryDir>
#include <QtTest>
#include "TestMain.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace {

bool contains(const std::vector<std::uint8_t> &hay, const std::string &needle)
{
    return std::search(hay.begin(), hay.end(), needle.begin(), needle.end()) != hay.end();
}

std::string pinOf(const std::string &uid)
{
    char buf[P2P_FINGERPRINT_SIZE] = {0};
    return P2P_Get_Device_Pin(uid.c_str(), buf, sizeof(buf)) > 0 ? buf : std::string();
}

std::string mismatchOf(const std::string &uid)
{
    char buf[P2P_FINGERPRINT_SIZE] = {0};
    return P2P_Get_Key_Mismatch(uid.c_str(), buf, sizeof(buf)) > 0 ? buf : std::string();
}

p2p::DeviceConfig withIdentity(p2p::DeviceConfig c, const std::string &dir)
{
    if (!p2p::loadOrCreateIdentity(dir, c.uid, c.tlsKeyPem, c.tlsCertPem))
        qWarning("no identity in %s", dir.c_str());
    return c;
}

} // namespace

class TestP2pSecure : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        useRandomDiscoveryPort();
        qputenv(P2P_ENV_CONNECT_TIMEOUT, "5000");
        QCOMPARE(IOTC_Initialize2(0), 0);
        QVERIFY(avInitialize(64) >= 0);
    }

    void cleanupTestCase()
    {
        avDeInitialize();
        IOTC_DeInitialize();
    }

    // Video, IO control and the login cross the relay; none of it is readable there.
    void recordingRelaySeesOnlyCiphertext()
    {
        const std::string password = "Pa55word-Of-The-Camera";
        TestDevice dev("SECCOPY001", password, false);
        QVERIFY(dev.start());
        Relay relay(dev.server().port(), Relay::Mode::Copy);
        setPeers(dev.uid() + "@127.0.0.1:" + std::to_string(relay.port()));
        const int sid = connectTo(dev.uid());
        QVERIFY(sid >= 0);
        const int av = openAv(sid, 0, password.c_str());
        QVERIFY(av >= 0);
        QTRY_COMPARE(dev.snapshot(dev.sessionsOpened).size(), std::size_t(1));
        const int session = dev.snapshot(dev.sessionsOpened)[0];

        const std::string io = "IOCTRL-SECRET-WIFI-PASSWORD";
        QVERIFY(avSendIOCtrl(av, 0x42, io.data(), static_cast<int>(io.size())) >= 0);
        std::vector<std::uint8_t> frame = {0, 0, 0, 1, 0x67, 0x42, 0, 0, 0, 1, 0x65};
        frame.resize(64 * 1024, 0x5a);
        p2p::FrameInfo info;
        info.flags = 1;
        QVERIFY(dev.server().sendVideoFrame(session, 0, frame.data(), frame.size(), info) ==
                p2p::SendResult::Queued);
        std::vector<char> buf(256 * 1024);
        int got = -1, actual = 0, expected = 0, infoSize = 0;
        unsigned number = 0;
        char fi[P2P_FRAME_INFO_SIZE];
        QVERIFY(QTest::qWaitFor([&] {
            got = avRecvFrameData2(av, buf.data(), static_cast<int>(buf.size()), &actual, &expected,
                                   fi, sizeof(fi), &infoSize, &number);
            return got != AV_ER_DATA_NOREADY;
        }));
        QCOMPARE(std::size_t(got), frame.size());
        QCOMPARE(std::memcmp(buf.data(), frame.data(), frame.size()), 0);
        unsigned type = 0;
        QVERIFY(avRecvIOCtrl(av, &type, buf.data(), 1024, 5000) > 0); // the echo came back

        const auto seen = relay.recorded();
        QVERIFY(seen.size() > frame.size());
        QVERIFY(!contains(seen, std::string("\0\0\0\1", 4))); // no H.264 start code
        QVERIFY(!contains(seen, "OP2P"));                     // no message header
        QVERIFY(!contains(seen, io));
        QVERIFY(!contains(seen, password));
        QVERIFY(!contains(seen, "admin"));
        avClientStop(av);
        IOTC_Session_Close(sid);
    }

    // A relay with its own key: refused once the device's key is pinned; and
    // when the client meets the relay first, a login relayed into the relay's
    // own session with the device fails (the MAC is bound to the TLS session).
    void relayWithItsOwnKey()
    {
        TestDevice dev("SECMITM001", "pw", false);
        QVERIFY(dev.start());
        Relay relay(dev.server().port(), Relay::Mode::Terminate);
        const std::string direct = dev.peerEntry();
        const std::string viaRelay = dev.uid() + "@127.0.0.1:" + std::to_string(relay.port());
        QVERIFY(relay.fingerprint() != dev.server().fingerprint());

        setPeers(direct);
        int sid = connectTo(dev.uid());
        QVERIFY(sid >= 0);
        char fp[P2P_FINGERPRINT_SIZE] = {0};
        QCOMPARE(P2P_Session_Get_Fingerprint(sid, fp, sizeof(fp)), 64);
        QCOMPARE(std::string(fp), dev.server().fingerprint());
        QCOMPARE(pinOf(dev.uid()), dev.server().fingerprint()); // pinned on first use
        IOTC_Session_Close(sid);

        setPeers(viaRelay);
        QCOMPARE(connectTo(dev.uid()), IOTC_ER_DEVICE_KEY_MISMATCH);
        QCOMPARE(mismatchOf(dev.uid()), relay.fingerprint());
        QCOMPARE(pinOf(dev.uid()), dev.server().fingerprint()); // the pin stays

        // First use through the relay: the session opens, the login cannot.
        QCOMPARE(P2P_Set_Device_Pin(dev.uid().c_str(), ""), 0);
        sid = connectTo(dev.uid());
        QVERIFY(sid >= 0);
        QCOMPARE(pinOf(dev.uid()), relay.fingerprint());
        QCOMPARE(openAv(sid, 0, "pw"), AV_ER_WRONG_VIEWACCorPWD);
        QVERIFY(dev.snapshot(dev.channelsOpened).empty());
        IOTC_Session_Close(sid);
        QCOMPARE(P2P_Set_Device_Pin(dev.uid().c_str(), "not hex"), IOTC_ER_INVALID_ARG);
        QCOMPARE(P2P_Set_Device_Pin(dev.uid().c_str(), dev.server().fingerprint().c_str()), 0);
        QVERIFY(mismatchOf(dev.uid()).empty());
        setPeers(direct);
        sid = connectTo(dev.uid());
        QVERIFY(sid >= 0);
        QVERIFY(openAv(sid) >= 0);
        IOTC_Session_Close(sid);
    }

    // A device that comes back with another key is refused until its pin is forgotten.
    void changedDeviceKeyIsRefusedUntilForgotten()
    {
        QTemporaryDir one, two;
        p2p::DeviceConfig c;
        c.uid = "SECKEY0001";
        c.account = "admin";
        c.password = "pw";
        c.discoverable = false;
        std::string first;
        {
            p2p::DeviceServer dev(withIdentity(c, one.path().toStdString()));
            QVERIFY(dev.start());
            first = dev.fingerprint();
            setPeers(c.uid + "@127.0.0.1:" + std::to_string(dev.port()));
            const int sid = connectTo(c.uid);
            QVERIFY(sid >= 0);
            IOTC_Session_Close(sid);
        }
        p2p::DeviceServer dev(withIdentity(c, two.path().toStdString()));
        QVERIFY(dev.start());
        QVERIFY(dev.fingerprint() != first);
        setPeers(c.uid + "@127.0.0.1:" + std::to_string(dev.port()));
        QCOMPARE(connectTo(c.uid), IOTC_ER_DEVICE_KEY_MISMATCH);
        QCOMPARE(connectTo(c.uid), IOTC_ER_DEVICE_KEY_MISMATCH);
        QCOMPARE(mismatchOf(c.uid), dev.fingerprint());
        QCOMPARE(P2P_Set_Device_Pin(c.uid.c_str(), nullptr), 0);
        const int sid = connectTo(c.uid);
        QVERIFY(sid >= 0);
        QCOMPARE(pinOf(c.uid), dev.fingerprint());
        IOTC_Session_Close(sid);
    }

    // Discovery answers only name addresses: an impostor answering for a
    // pinned UID is passed over for the device with the pinned key.
    void discoveryImpostorIsPassedOver()
    {
        TestDevice real("SECDISC001", "pw", true);
        QVERIFY(real.start());
        setPeers("");
        int sid = connectTo(real.uid()); // found by discovery, pinned
        QVERIFY(sid >= 0);
        IOTC_Session_Close(sid);
        TestDevice impostor("SECDISC001", "pw", true);
        QVERIFY(impostor.start());
        for (int i = 0; i < 4; ++i) {
            sid = connectTo(real.uid());
            QVERIFY2(sid >= 0, qPrintable(QString::number(sid)));
            char fp[P2P_FINGERPRINT_SIZE] = {0};
            P2P_Session_Get_Fingerprint(sid, fp, sizeof(fp));
            QCOMPARE(std::string(fp), real.server().fingerprint());
            IOTC_Session_Close(sid);
        }
        real.server().stop(); // only the impostor is left
        QCOMPARE(connectTo(real.uid()), IOTC_ER_DEVICE_KEY_MISMATCH);
    }

    // The identity on disk is read back unchanged, its key kept private, and
    // a damaged pair is reported instead of replaced.
    void identityIsKeptOnDisk()
    {
        QTemporaryDir dir;
        const std::string d = dir.path().toStdString();
        std::string key, cert, key2, cert2, error;
        QVERIFY(p2p::loadOrCreateIdentity(d, "ID/../x", key, cert));
        QVERIFY(p2p::loadOrCreateIdentity(d, "ID/../x", key2, cert2));
        QCOMPARE(cert2, cert);
        QCOMPARE(p2p::certificateFingerprint(cert).size(), std::size_t(64));
        const auto files = QDir(dir.path()).entryList(QDir::Files);
        QCOMPARE(files, QStringList({"ID%2F%2E%2E%2Fx.pem"}));
#ifndef Q_OS_WIN
        const auto others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup |
                            QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;
        QCOMPARE(QFile(dir.filePath(files[0])).permissions() & others, QFileDevice::Permissions());
#endif
        std::ofstream(d + "/ID%2F%2E%2E%2Fx.pem") << "damaged";
        QVERIFY(!p2p::loadOrCreateIdentity(d, "ID/../x", key2, cert2, &error));
        QVERIFY(!error.empty());
        QVERIFY(p2p::certificateFingerprint("damaged").empty());
    }
};

ORVANE_TEST_GUILESS_MAIN(TestP2pSecure)
#include "tst_p2psecure.moc"
