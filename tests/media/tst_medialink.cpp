// The receive steps and the decoder against a devsim camera through the real
// P2P library: every frame of a 25 fps stream is shown at the source rate.

#include "DevsimProcess.h"
#include "LinkSupport.h"

#include "IoCtrlType.h"

#include "media/Decode.h"
#include "media/PictureExchange.h"
#include "media/Video.h"
#include "model/Channel.h"
#include "model/Dev.h"
#include "model/Device.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QtTest>
#include "TestMain.h"

using namespace linktest;

namespace {

const char *const Account = "admin";
const char *const Password = "media-pw";

// Milliseconds between devsim's send time (frame information, u32 at 8) and now.
qint64 lagMs(uint32_t sendTime)
{
    const auto now = uint32_t(QDateTime::currentMSecsSinceEpoch() & 0xFFFFFFFF);
    return qint64(int32_t(now - sendTime));
}

} // namespace

class TestMediaLink : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(!DevsimProcess::executable().isEmpty(), "devsim not built");
        m_discoveryPort = randomDiscoveryPort();
    }
    void cleanup()
    {
        if (m_sid >= 0)
            IOTC_Session_Close(m_sid);
        m_sid = -1;
        deinitLibrary();
    }

    void liveStreamIsDecodedAtTheSourceRate_data()
    {
        QTest::addColumn<QString>("codec");
        QTest::newRow("h264") << "h264";
        QTest::newRow("h265") << "h265";
    }
    void liveStreamIsDecodedAtTheSourceRate()
    {
        QFETCH(QString, codec);
        DevsimProcess sim;
        sim.setDiscoveryPort(m_discoveryPort);
        const QString uid = QStringLiteral("MEDIA") + codec.toUpper();
        QVERIFY2(sim.start({"--uid", uid, "--account", Account, "--password", Password, "--sd",
                            "320x180", "--fps", "25", "--codec", codec}),
                 qPrintable(sim.errorText()));
        QVERIFY(initLibrary(sim.peersEnv().toLatin1(), m_discoveryPort));
        m_sid = connectUid(uid.toLatin1().constData());
        QVERIFY(m_sid >= 0);
        const int av = startAv(m_sid, Account, Password, 0);
        QVERIFY(av >= 0);

        auto *device = new Device;
        device->setUid(uid);
        device->setChannelCount(1);
        device = Dev::instance()->addOrUpdate(device);
        device->setSessionId(m_sid);
        Channel *channel = device->channel(0);
        channel->setAvIndex(av, true);
        channel->setWaitKeyFrame(true, true);
        channel->setVideoOn(true, true);

        Video video;
        Decode decode(&video);
        QSignalSpy incoming(&video, &Video::iCommingMsg);
        int pictures = 0;
        connect(&video, &Video::decodeSuccess, this, [&] { ++pictures; });

        QVERIFY(sendIo(av, devsim::IoCtrlType::StreamPrepare, QByteArray(2, '\0')) >= 0);
        QVERIFY(sendIo(av, devsim::IoCtrlType::VideoStart, u32s({0, 0})) >= 0);
        QTRY_VERIFY_WITH_TIMEOUT(pictures >= 10, 20000);
        QCOMPARE(incoming.size(), 1);

        // Over four seconds every frame arrives and the picture keeps up with
        // the camera: with one frame per 50 ms tick the delay would grow by
        // a quarter of a second every second.
        auto lastSendTime = [&] {
            uint32_t sent = 0;
            video.pictures(channel, true)->withFront([&](const PictureExchange::Picture &p) {
                sent = p.tag;
            });
            return sent;
        };
        const qint64 lagBefore = lagMs(lastSendTime());
        const int before = pictures;
        QElapsedTimer window;
        window.start();
        QTest::qWait(4000);
        const qint64 elapsed = window.elapsed();
        const int shown = pictures - before;
        const qint64 lagAfter = lagMs(lastSendTime());
        qInfo("%d pictures in %lld ms; delay %lld -> %lld ms", shown, elapsed, lagBefore, lagAfter);
        QVERIFY2(shown >= int(elapsed / 40 * 85 / 100), "pictures fall behind the source rate");
        QVERIFY2(lagAfter - lagBefore < 500, "the picture falls ever further behind");
        QVERIFY(video.pictures(channel, true)->hasPicture());
        QCOMPARE(channel->slot(true).pictureWidth, 320);
        QVERIFY(channel->frameRate(true) >= 20);

        decode.stopRun();
        channel->setVideoOn(false, true);
        QThreadPool::globalInstance()->waitForDone();
        video.releaseChannel(channel);
        Dev::instance()->removeDevice(device);
        delete device;
    }

private:
    quint16 m_discoveryPort = 0;
    int m_sid = -1;
};

ORVANE_TEST_GUILESS_MAIN(TestMediaLink)
#include "tst_medialink.moc"
