// The stream information page end to end: two simulated devices (H.264
// 320x180 and H.265 352x288) count what they send (--print-frames); the real
// main window plays them and its "Stream Information" section must show the
// same figures, follow the selected channel and fall to 0 when the streams
// stop.

#include "DevsimProcess.h"
#include "E2eClient.h"

#include "admin/System.h"
#include "devtree/MenuDevList.h"
#include "diagnostics/SystemInfo.h"
#include "devtree/MenuListDev.h"
#include "link/IoConnect.h"
#include "media/PictureExchange.h"
#include "media/Video.h"
#include "model/Channel.h"
#include "model/Dev.h"
#include "model/Device.h"
#include "widgets/LabelFoldBtn.h"
#include "view/WallSurface.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>
#include "TestMain.h"

namespace {

const QString Password = QStringLiteral("stream-pw");
const QString H264Uid = QStringLiteral("E2ESTREAM264000001");
const QString H265Uid = QStringLiteral("E2ESTREAM265000001");
constexpr int Fps = 10;
constexpr int AudioFps = 25; // 40 ms A-law frames

// What a device reported sent on a channel's live AV channel so far.
struct Sent
{
    quint64 video = 0;
    quint64 bytes = 0;
};

bool within(const QString &text, double low, double high)
{
    bool ok = false;
    const double v = text.section(QLatin1Char(' '), 0, 0).toDouble(&ok);
    return ok && v >= low && v <= high;
}

} // namespace

class tst_E2eStream : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void figuresMatchWhatTheDeviceSent_data();
    void figuresMatchWhatTheDeviceSent();
    void sizeAndVersionFollowTheSelectedChannel();
    void ratesFallToZeroWithoutStreams();

private:
    DevsimProcess &sim(const QString &uid) { return uid == H264Uid ? sim264 : sim265; }
    // The next FRAMES line of the uid's channel 1 from line `from` on (the
    // event loop runs meanwhile); `from` moves past it.
    bool nextSent(const QString &uid, int &from, Sent &sent);
    QString shown(System::Row row) const { return panel->text(row); }
    void saveArtifact(const QString &name);

    QTemporaryDir settingsDir;
    DevsimProcess sim264;
    DevsimProcess sim265;
    E2eClient client;
    System *panel = nullptr;
};

void tst_E2eStream::initTestCase()
{
    QVERIFY2(!DevsimProcess::executable().isEmpty(), "devsim not built");
    const quint16 discovery = DevsimProcess::anyDiscoveryPort();
    const QStringList common{"--type",     "1",      "--account",      "admin",
                             "--password", Password, "--fps",          QString::number(Fps),
                             "--gop",      "1",      "--print-frames", "--pattern",
                             "solid"};
    sim264.setDiscoveryPort(discovery);
    sim265.setDiscoveryPort(discovery);
    QVERIFY2(sim264.start(QStringList{"--uid", H264Uid, "--channels", "2", "--sd", "320x180",
                                      "--version", "V-264"} +
                          common),
             qPrintable(sim264.errorText()));
    QVERIFY2(sim265.start(QStringList{"--uid", H265Uid, "--codec", "h265", "--sd", "352x288",
                                      "--version", "V-265"} +
                          common),
             qPrintable(sim265.errorText()));
    DevsimProcess::pointClientAt({&sim264, &sim265}, discovery);

    E2eClient::useSettings(settingsDir.path());
    QVERIFY(E2eClient::registerDevice(H264Uid, Password, 2));
    QVERIFY(E2eClient::registerDevice(H265Uid, Password, 1));
    MainWindow *window = client.show();
    QVERIFY(QTest::qWaitForWindowExposed(client.host.get()));
    QTRY_VERIFY_WITH_TIMEOUT(
        Dev::instance()->deviceByUid(H264Uid) && Dev::instance()->deviceByUid(H265Uid), 10000);
    panel = window->systemPanel();
    QVERIFY(panel);
    auto *fold = window->findChild<LabelFoldBtn *>(QStringLiteral("label_devOpt_fold"));
    QVERIFY(fold);
    fold->toggle(true); // the "Stream Information" section opens
    QTRY_VERIFY(panel->isVisible());
    QCOMPARE(shown(System::SoftwareVersion), SystemInfo::instance()->version());
    QVERIFY(!shown(System::OsVersion).isEmpty());
    QCOMPARE(shown(System::ChannelName), QStringLiteral("-"));
}

void tst_E2eStream::cleanupTestCase()
{
    client.host.reset();
    sim264.stop();
    sim265.stop();
}

void tst_E2eStream::saveArtifact(const QString &name)
{
    const QString dir = qEnvironmentVariable("ORVANE_TEST_ARTIFACTS");
    if (dir.isEmpty())
        return;
    QDir().mkpath(dir);
    WallSurface::grab(client.host.get()).save(QDir(dir).filePath(name));
}

bool tst_E2eStream::nextSent(const QString &uid, int &from, Sent &sent)
{
    const QRegularExpression re("^FRAMES " + uid + " \\d+/0 (\\d+) (\\d+) \\d+$");
    QRegularExpressionMatch m;
    int at = -1;
    (void)QTest::qWaitFor([&] { return (at = sim(uid).waitForLineFrom(from, re, 20, &m)) >= 0; },
                          5000);
    if (at < 0)
        return false;
    from = at + 1;
    sent = {m.captured(1).toULongLong(), m.captured(2).toULongLong()};
    return true;
}

void tst_E2eStream::figuresMatchWhatTheDeviceSent_data()
{
    QTest::addColumn<QString>("uid");
    QTest::addColumn<QString>("codec");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("streams"); // streams playing once this one plays
    QTest::newRow("H.264 320x180") << H264Uid << "H.264" << 320 << 180 << 1;
    QTest::newRow("H.265 352x288, with the first still playing")
        << H265Uid << "H.265" << 352 << 288 << 2;
}

void tst_E2eStream::figuresMatchWhatTheDeviceSent()
{
    QFETCH(QString, uid);
    QFETCH(QString, codec);
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(int, streams);
    Device *device = Dev::instance()->deviceByUid(uid);
    Channel *channel = device->channel(0);
    MenuListDev *row = nullptr;
    for (MenuListDev *r : client.window->devList()->rows())
        row = r->device() == device ? (r->rowOf(channel) ? r->rowOf(channel) : r) : row;
    QVERIFY(row);
    emit row->doubleClicked(row);
    auto pictures = Video::instance()->pictures(channel, true);
    QTRY_VERIFY_WITH_TIMEOUT(pictures->hasPicture(), 30000);
    IoConnect::instance()->audioControl(channel, true);
    Dev::instance()->setSelectedChannel(channel);

    // Every frame sent arrives once: the client's count lies between what
    // the device had sent before and what it has sent after.
    const StreamCounters &counters = channel->slot(true).counters;
    int from = sim(uid).lineCount();
    Sent before;
    QVERIFY(nextSent(uid, from, before));
    QTRY_VERIFY_WITH_TIMEOUT(StreamCounters::read(counters.framesReceived) >= before.video &&
                                 StreamCounters::read(counters.bytesReceived) >= before.bytes,
                             5000);
    const Sent got{StreamCounters::read(counters.framesReceived),
                   StreamCounters::read(counters.bytesReceived)};
    Sent after;
    from = sim(uid).lineCount();
    QVERIFY(nextSent(uid, from, after) && nextSent(uid, from, after)); // one surely printed later
    QVERIFY2(got.video <= after.video && got.bytes <= after.bytes,
             qPrintable(QStringLiteral("client %1 frames %2 bytes, device sent %3 frames %4 bytes")
                            .arg(got.video)
                            .arg(got.bytes)
                            .arg(after.video)
                            .arg(after.bytes)));
    const double sentKbps = double(after.bytes - before.bytes) * 8 / 1000 /
                            qMax(1.0, double(after.video - before.video) / Fps);

    // The page: the selected channel's figures and the program's rates.
    QTRY_COMPARE_WITH_TIMEOUT(shown(System::Codec), codec, 3000);
    QCOMPARE(shown(System::PictureWidth), QString::number(width));
    QCOMPARE(shown(System::PictureHeight), QString::number(height));
    QCOMPARE(shown(System::Quality), QStringLiteral("标清"));
    QCOMPARE(shown(System::ChannelName), QStringLiteral("%1 CH1").arg(uid));
    QCOMPARE(shown(System::DroppedFrames), QStringLiteral("0"));
    QTRY_VERIFY_WITH_TIMEOUT(within(shown(System::ChannelReceivedRate), Fps - 2, Fps + 2), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(within(shown(System::ChannelDrawnRate), Fps - 3, Fps + 2), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(within(shown(System::BitRate), sentKbps * 0.6, sentKbps * 1.4), 5000);
    QVERIFY(!panel->bitRateHistory().isEmpty());
    QVERIFY(shown(System::BitRate).endsWith(QLatin1String(" kbps")));
    QVERIFY2(within(shown(System::Delay), 0, 2000) && shown(System::Delay).endsWith(" ms"),
             qPrintable(shown(System::Delay)));
    const int n = streams;
    QTRY_VERIFY_WITH_TIMEOUT(within(shown(System::VideoReceivedRate), n * Fps - 2, n * Fps + 2),
                             5000);
    QTRY_VERIFY_WITH_TIMEOUT(within(shown(System::VideoDecodedRate), n * Fps - 2, n * Fps + 2),
                             5000);
    QTRY_VERIFY_WITH_TIMEOUT(
        within(shown(System::AudioReceivedRate), n * AudioFps - 4, n * AudioFps + 4), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(
        within(shown(System::AudioDecodedRate), n * AudioFps - 4, n * AudioFps + 4), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(shown(System::DeviceVersion),
                              uid == H264Uid ? QStringLiteral("V-264") : QStringLiteral("V-265"),
                              5000);
    if (n == 2 && !qEnvironmentVariableIsEmpty("ORVANE_TEST_ARTIFACTS")) {
        QTRY_VERIFY_WITH_TIMEOUT(panel->bitRateHistory().size() >= 8, 15000); // a sparkline
        saveArtifact(QStringLiteral("control-panel-stream.png"));
    }
}

// Selecting another channel shows its own size and version at once; a
// channel without a stream or a version shows none (not the last one's).
void tst_E2eStream::sizeAndVersionFollowTheSelectedChannel()
{
    struct Expect
    {
        Channel *channel;
        QString width, height, version;
    };
    Device *h264 = Dev::instance()->deviceByUid(H264Uid);
    Device *h265 = Dev::instance()->deviceByUid(H265Uid);
    QCOMPARE(Dev::instance()->selectedChannel(), h265->channel(0));
    const QList<Expect> steps{{h264->channel(0), "320", "180", "V-264"},
                              {h264->channel(1), "-", "-", "-"},
                              {h265->channel(0), "352", "288", "V-265"}};
    for (const Expect &e : steps) {
        Dev::instance()->setSelectedChannel(e.channel);
        QCOMPARE(shown(System::PictureWidth), e.width);
        QCOMPARE(shown(System::PictureHeight), e.height);
        QCOMPARE(shown(System::DeviceVersion), e.version);
        QCOMPARE(shown(System::ChannelReceivedRate), QStringLiteral("-")); // measured from now
    }
    QTRY_VERIFY_WITH_TIMEOUT(within(shown(System::ChannelReceivedRate), Fps - 2, Fps + 2), 3000);
}

void tst_E2eStream::ratesFallToZeroWithoutStreams()
{
    QVERIFY(!shown(System::VideoReceivedRate).startsWith(QLatin1Char('0')));
    sim264.stop();
    sim265.stop();
    const QList<System::Row> rates{System::VideoReceivedRate,   System::VideoDecodedRate,
                                   System::AudioReceivedRate,   System::AudioDecodedRate,
                                   System::ChannelReceivedRate, System::ChannelDrawnRate};
    const auto allZero = [&] {
        for (System::Row row : rates) {
            if (shown(row) != QLatin1String("0"))
                return false;
        }
        return shown(System::BitRate) == QLatin1String("0 kbps");
    };
    // One second to notice, one to measure an empty interval.
    QTRY_VERIFY_WITH_TIMEOUT(allZero(), 2500);
    QTest::qWait(System::IntervalMs + 100);
    QVERIFY(allZero());
}

ORVANE_TEST_MAIN(tst_E2eStream)
#include "tst_e2e_stream.moc"
