// Local recording and snapshots end to end: the real main window records
// devsim channels (H.264 with sound, H.265 without) through its record
// button into fragmented MP4 files that FFmpeg's own tools must accept, saves
// the picture of a cell through its snapshot button, ends recordings by the
// record-length timer and on files that cannot be written, and leaves a
// playable file behind when the client is killed mid-recording.

#include "DevsimProcess.h"
#include "E2eClient.h"
#include "RecordProbe.h"

#include "app/LabelRecordBtn.h"
#include "app/LabelShotBtn.h"
#include "link/IoConnect.h"
#include "media/PictureExchange.h"
#include "media/Video.h"
#include "media/VideoRecord.h"
#include "model/Channel.h"
#include "model/Dev.h"
#include "model/Device.h"
#include "view/GlWidgetViewWindow.h"
#include "view/ViewControl.h"

#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>
#include "TestMain.h"

#ifndef Q_OS_WIN
#include <csignal>
#include <sys/resource.h>
#endif

namespace {

const QString H264Uid = QStringLiteral("E2EREC264000000001");
const QString H265Uid = QStringLiteral("E2EREC265000000001");
const QString Password = QStringLiteral("e2e-pw");
constexpr int Fps = 10;
constexpr double FrameSeconds = 1.0 / Fps;

bool near(QRgb a, QRgb b, int tolerance = 16)
{
    return qAbs(qRed(a) - qRed(b)) <= tolerance && qAbs(qGreen(a) - qGreen(b)) <= tolerance &&
           qAbs(qBlue(a) - qBlue(b)) <= tolerance;
}

} // namespace

class tst_E2eRecord : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void recordingPlaysForItsWallTime_data();
    void recordingPlaysForItsWallTime();
    void recordLengthTimerEndsRecording();
    void unwritableRecordingStopsWithMessage_data();
    void unwritableRecordingStopsWithMessage();
    void snapshotIsThePictureShown();
    void snapshotWithoutPictureSavesNothing();
    void killedClientLeavesPlayableFile();

private:
    // Shows the channel in the cell, selects it and waits for its picture.
    Channel *show(const QString &uid, int index, int cell);
    void click(QWidget *button) { QTest::mouseClick(button, Qt::LeftButton); }

    QTemporaryDir settingsDir;
    QTemporaryDir videoDir;
    QTemporaryDir picDir;
    DevsimProcess sim264;
    DevsimProcess sim265;
    E2eClient client;
    VideoRecord *record = nullptr;
    LabelRecordBtn *recordButton = nullptr;
    LabelShotBtn *shotButton = nullptr;
};

void tst_E2eRecord::initTestCase()
{
    QVERIFY2(!DevsimProcess::executable().isEmpty(), "devsim not built");
    const quint16 discovery = DevsimProcess::anyDiscoveryPort();
    const QStringList common{"--type", "1",       "--account", "admin", "--password",
                             Password, "--fps",   "10",        "--gop", "1",
                             "--sd",   "320x180", "--pattern", "solid"};
    sim264.setDiscoveryPort(discovery);
    sim265.setDiscoveryPort(discovery);
    QVERIFY2(sim264.start(QStringList{"--uid", H264Uid, "--channels", "2"} + common),
             qPrintable(sim264.errorText()));
    QVERIFY2(
        sim265.start(QStringList{"--uid", H265Uid, "--channels", "1", "--codec", "h265"} + common),
        qPrintable(sim265.errorText()));
    DevsimProcess::pointClientAt({&sim264, &sim265}, discovery);

    E2eClient::useSettings(settingsDir.path());
    QVERIFY(Config::instance()->set(ConfigKey::VideoPath, videoDir.path()));
    QVERIFY(Config::instance()->set(ConfigKey::PicPath, picDir.path()));
    QVERIFY(E2eClient::registerDevice(H264Uid, Password, 2));
    QVERIFY(E2eClient::registerDevice(H265Uid, Password, 1));
    MainWindow *window = client.show();
    QVERIFY(QTest::qWaitForWindowExposed(client.host.get()));
    record = VideoRecord::instance();
    recordButton = window->findChild<LabelRecordBtn *>(QStringLiteral("label_icon_video"));
    shotButton = window->findChild<LabelShotBtn *>(QStringLiteral("label_icon_photo"));
    QVERIFY(recordButton && shotButton);
    QTRY_VERIFY_WITH_TIMEOUT(
        Dev::instance()->deviceByUid(H264Uid) && Dev::instance()->deviceByUid(H265Uid), 10000);
}

void tst_E2eRecord::cleanupTestCase()
{
    client.host.reset();
    sim264.stop();
    sim265.stop();
}

Channel *tst_E2eRecord::show(const QString &uid, int index, int cell)
{
    Channel *channel = Dev::instance()->deviceByUid(uid)->channel(index);
    if (!ViewControl::instance()->cellOf(channel))
        ViewControl::instance()->openInCell(channel, cell);
    Dev::instance()->setSelectedChannel(channel);
    auto pictures = Video::instance()->pictures(channel, true);
    if (!QTest::qWaitFor([&] { return pictures->hasPicture(); }, 30000))
        return nullptr;
    return channel;
}

void tst_E2eRecord::recordingPlaysForItsWallTime_data()
{
    QTest::addColumn<QString>("uid");
    QTest::addColumn<bool>("sound");
    QTest::addColumn<QString>("codec");
    QTest::newRow("H.264 with sound") << H264Uid << true << "h264";
    QTest::newRow("H.265 without sound") << H265Uid << false << "hevc";
}

void tst_E2eRecord::recordingPlaysForItsWallTime()
{
    QFETCH(QString, uid);
    QFETCH(bool, sound);
    QFETCH(QString, codec);
    Channel *channel = show(uid, 0, 0);
    QVERIFY(channel);
    // With the sound pipeline feeding the recorder, the file gets the sound.
    if (sound) {
        IoConnect::instance()->audioControl(channel, true);
        if (!QTest::qWaitFor([&] { return record->audioArrives(); }, 10000))
            qInfo("no sound reaches the recorder: the file is checked without it");
    }
    const bool withSound = sound && record->audioArrives();
    // The file's time runs from its first frame (the start signal) to the end
    // of its last (the first frame after the stop closes the file).
    QElapsedTimer clock;
    clock.start();
    qint64 startedAt = -1;
    qint64 finishedAt = -1;
    QString path;
    QMetaObject::Connection c1 =
        connect(record, &VideoRecord::recordStarted, this, [&] { startedAt = clock.elapsed(); });
    QMetaObject::Connection c2 =
        connect(record, &VideoRecord::recordFinished, this, [&](Channel *, bool, const QString &p) {
            finishedAt = clock.elapsed();
            path = p;
        });
    click(recordButton);
    QVERIFY(recordButton->active());
    QTRY_VERIFY_WITH_TIMEOUT(startedAt >= 0, 10000);
    // ORVANE_RECORD_SECONDS=60 checks a longer recording by hand.
    const int seconds = qEnvironmentVariableIsSet("ORVANE_RECORD_SECONDS")
                            ? qEnvironmentVariableIntValue("ORVANE_RECORD_SECONDS")
                            : 10;
    QTest::qWait(seconds * 1000);
    click(recordButton);
    QVERIFY(!recordButton->active());
    QTRY_VERIFY_WITH_TIMEOUT(finishedAt >= 0, 10000);
    disconnect(c1);
    disconnect(c2);
    if (sound)
        IoConnect::instance()->audioControl(channel, false);
    QVERIFY(QFileInfo(path).fileName().startsWith(QStringLiteral("Preview_VID1_")));
    QVERIFY(path.startsWith(videoDir.path() + "/QELO/" + uid + '/'));
    if (sound)
        saveArtifact(path, QStringLiteral("record-live.mp4"));
    if (!haveTools())
        QSKIP("ffprobe/ffmpeg not installed");

    const Probe p = probe(path);
    QVERIFY2(p.errors.isEmpty(), qPrintable(p.errors));
    QVERIFY2(p.streams.contains(codec + ",video"), qPrintable(p.streams.join(' ')));
    QCOMPARE(p.streams.contains(QStringLiteral("aac,audio")), withSound);
    QVERIFY(p.startsWithKey);
    const double wall = (finishedAt - startedAt) / 1000.0;
    // Start and end are stamped on the GUI thread, which a loaded machine may
    // hold back by a frame's time.
    QVERIFY2(qAbs(p.videoSeconds - wall) <= 2 * FrameSeconds,
             qPrintable(QStringLiteral("plays %1 s, recorded %2 s").arg(p.videoSeconds).arg(wall)));
    QVERIFY(qAbs(p.videoPackets * FrameSeconds - p.videoSeconds) <= FrameSeconds);
}

void tst_E2eRecord::recordLengthTimerEndsRecording()
{
    Channel *channel = show(H264Uid, 0, 0);
    QVERIFY(channel);
    QVERIFY(Config::instance()->set(ConfigKey::RecordMinutes, 1));
    ViewControl::instance()->setRecordMinuteMs(2000);
    QSignalSpy finished(record, &VideoRecord::recordFinished);
    click(recordButton);
    QVERIFY(channel->recording(true));
    QTRY_VERIFY_WITH_TIMEOUT(!channel->recording(true) && !recordButton->active(), 15000);
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 10000);
    ViewControl::instance()->setRecordMinuteMs(60000);
}

void tst_E2eRecord::unwritableRecordingStopsWithMessage_data()
{
    QTest::addColumn<bool>("diskFull");
    QTest::newRow("folder cannot be created") << false;
#ifndef Q_OS_WIN
    // The file size limit fails writes as a full disk does.
    QTest::newRow("disk full") << true;
#endif
}

void tst_E2eRecord::unwritableRecordingStopsWithMessage()
{
    QFETCH(bool, diskFull);
    Channel *channel = show(H264Uid, 0, 0);
    QVERIFY(channel);
    QTemporaryDir dir;
    QString folder = dir.filePath(QStringLiteral("videos"));
    if (!diskFull) {
        QFile blocker(folder); // a file where the folder should be
        QVERIFY(blocker.open(QIODevice::WriteOnly));
    }
    record->setVideoPath(folder);
    QSignalSpy failed(record, &VideoRecord::recordFailed);
    QString path;
    QMetaObject::Connection c = connect(record, &VideoRecord::recordStarted, this,
                                        [&](Channel *, bool, const QString &p) { path = p; });
    click(recordButton);
#ifndef Q_OS_WIN
    // Once the file holds a fragment, it may not grow any more.
    struct SizeLimit
    {
        rlimit saved{};
        bool set = false;
        void limit(qint64 bytes)
        {
            std::signal(SIGXFSZ, SIG_IGN);
            getrlimit(RLIMIT_FSIZE, &saved);
            rlimit small = saved;
            small.rlim_cur = rlim_t(bytes);
            set = setrlimit(RLIMIT_FSIZE, &small) == 0;
        }
        ~SizeLimit()
        {
            if (set)
                setrlimit(RLIMIT_FSIZE, &saved);
        }
    } sizeLimit;
    if (diskFull) {
        const auto fragments = [&path] {
            QFile file(path);
            return file.open(QIODevice::ReadOnly) ? file.readAll().count("moof") : 0;
        };
        QTRY_VERIFY_WITH_TIMEOUT(fragments() >= 1, 20000);
        sizeLimit.limit(QFileInfo(path).size() + 1);
        QVERIFY(sizeLimit.set);
    }
#endif
    QTRY_COMPARE_WITH_TIMEOUT(failed.count(), 1, 30000);
    disconnect(c);
    record->setVideoPath(videoDir.path());
    QTRY_VERIFY(!channel->recording(true) && !recordButton->active());
    const QString message = failed.at(0).at(2).toString();
    QVERIFY2(message.startsWith(QStringLiteral("Recording of ")), qPrintable(message));
    QCOMPARE(path.isEmpty(), !diskFull);
    if (diskFull && haveTools()) {
        const Probe p = probe(path);
        QVERIFY2(p.videoPackets > 0 && p.startsWithKey, qPrintable(p.errors));
    }
}

void tst_E2eRecord::snapshotIsThePictureShown()
{
    Channel *channel = show(H264Uid, 0, 0);
    QVERIFY(channel);
    // The two files are written on pool threads at once: collected on this
    // thread (a QSignalSpy would be appended to from both at the same time).
    QStringList saved;
    const QMetaObject::Connection collect = connect(
        record, &VideoRecord::snapshotSaved, this,
        [&saved](Channel *, bool, const QString &path) { saved << path; }, Qt::QueuedConnection);
    click(shotButton);
    click(shotButton); // the same second: a second file
    QTRY_COMPARE_WITH_TIMEOUT(saved.size(), 2, 10000);
    disconnect(collect);
    const QString first = saved.at(0);
    const QString second = saved.at(1);
    QVERIFY(first != second);
    QVERIFY(first.endsWith(".jpg") && QFileInfo::exists(second));
    saveArtifact(first, QStringLiteral("snapshot.jpg"));

    const QImage jpeg(first);
    const QImage cell = ViewControl::instance()->cellOf(channel)->grabFramebuffer();
    QVERIFY(!jpeg.isNull() && !cell.isNull());
    for (double y : {0.3, 0.7}) {
        const QRgb want = cell.pixel(cell.width() / 2, int(cell.height() * y));
        const QRgb got = jpeg.pixel(jpeg.width() / 2, int(jpeg.height() * y));
        QVERIFY2(near(got, want), qPrintable(QStringLiteral("JPEG %1 against cell %2")
                                                 .arg(QColor(got).name(), QColor(want).name())));
    }
}

void tst_E2eRecord::snapshotWithoutPictureSavesNothing()
{
    Channel *unseen = Dev::instance()->deviceByUid(H264Uid)->channel(1);
    QVERIFY(!Video::instance()->pictures(unseen, true)->hasPicture());
    Dev::instance()->setSelectedChannel(unseen);
    const QStringList before = QDir(picDir.path() + "/QELO/" + H264Uid).entryList(QDir::Files);
    QSignalSpy failed(record, &VideoRecord::snapshotFailed);
    click(shotButton);
    QTRY_COMPARE_WITH_TIMEOUT(failed.count(), 1, 5000);
    QVERIFY(failed.at(0).at(2).toString().contains(QStringLiteral("no picture")));
    QCOMPARE(QDir(picDir.path() + "/QELO/" + H264Uid).entryList(QDir::Files), before);
}

void tst_E2eRecord::killedClientLeavesPlayableFile()
{
#ifdef Q_OS_WIN
    QSKIP("needs SIGKILL");
#else
    QTemporaryDir childSettings;
    QTemporaryDir childVideos;
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QStringLiteral(ORVANE_RECORD_CHILD_PATH),
                {childSettings.path(), childVideos.path(), H264Uid, Password});
    QVERIFY(child.waitForStarted());
    QString path;
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            const QByteArray line = child.readLine().trimmed();
            if (line.startsWith("RECORDING "))
                path = QString::fromUtf8(line.mid(10));
            return !path.isEmpty();
        }(),
        60000);
    // Several fragments on disk, then the power cut.
    const auto fragments = [&path] {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll().count("moof") : 0;
    };
    QTRY_VERIFY_WITH_TIMEOUT(fragments() >= 3, 30000);
    child.kill();
    QVERIFY(child.waitForFinished());
    QCOMPARE(child.exitStatus(), QProcess::CrashExit);
    saveArtifact(path, QStringLiteral("record-killed.mp4"));
    if (!haveTools())
        QSKIP("ffprobe/ffmpeg not installed");
    const Probe p = probe(path);
    QVERIFY2(p.errors.isEmpty(), qPrintable(p.errors));
    QVERIFY(p.streams.contains(QStringLiteral("h264,video")));
    QVERIFY(p.startsWithKey);
    QVERIFY(p.videoPackets >= 2 * Fps);
#endif
}

ORVANE_TEST_MAIN(tst_E2eRecord)
#include "tst_e2e_record.moc"
