// A standard camera's playback, alarms, sound and talk end to end, in UTC:
// the real main window against a devsim ONVIF camera with recordings
// yesterday at 01:00-01:30, 02:00-02:00:05 and 03:00-04:00, motion at
// 01:10 and 03:20 and a live motion burst every few seconds. The timeline
// shows the recordings and the motion marks the recording search gives, the
// RTSP replay starts where the cursor is, seeks, crosses the gap and runs
// fast; a live motion burst marks the cell and lands in the alert list; the
// camera's tone reaches the null sink and the microphone (a pipe source)
// reaches the camera's back channel.

#include "DevsimProcess.h"
#include "TimelineClicks.h"
#include "E2eClient.h"

#include "admin/Alert.h"
#include "app/MainWindow.h"
#include "app/WidgetBtnLive.h"
#include "config/Config.h"
#include "devtree/MenuDevList.h"
#include "devtree/MenuListDev.h"
#include "link/DeviceEvents.h"
#include "link/DeviceLink.h"
#include "link/DeviceLinks.h"
#include "media/Video.h"
#include "model/Channel.h"
#include "model/Dev.h"
#include "model/Device.h"
#include "playback/PlaybackButtons.h"
#include "playback/TimelinePanel.h"
#include "view/GlWidgetViewWindow.h"
#include "view/ViewControl.h"
#include "view/WallSurface.h"

#include "TestMain.h"
#include <QCalendarWidget>
#include <QAudioDevice>
#include <QDir>
#include <QMediaDevices>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

const QString Uid = QStringLiteral("E2EONVIFMEDIA00001");
const QString Password = QStringLiteral("media-pw");
constexpr double TwoPi = 6.283185307179586;

// The median amplitude of the frequency f over 50 ms blocks of 16-bit
// samples (one DFT bin each), so that a glitch between blocks does not count.
double amplitude(const std::vector<int16_t> &s, double f)
{
    std::vector<double> blocks;
    for (size_t b = 0; b + 400 <= s.size(); b += 400) {
        double re = 0, im = 0;
        for (size_t i = b; i < b + 400; ++i) {
            re += s[i] * std::cos(TwoPi * f * double(i) / 8000);
            im += s[i] * std::sin(TwoPi * f * double(i) / 8000);
        }
        blocks.push_back(2 * std::hypot(re, im) / 400);
    }
    std::sort(blocks.begin(), blocks.end());
    return blocks.empty() ? 0 : blocks[blocks.size() / 2];
}

std::vector<int16_t> samples(const QByteArray &pcm)
{
    std::vector<int16_t> s(size_t(pcm.size() / 2));
    std::memcpy(s.data(), pcm.constData(), s.size() * 2);
    return s;
}

bool run(const QString &tool, const QStringList &args, int waitMs, QByteArray *out = nullptr)
{
    QProcess p;
    p.start(tool, args);
    if (!QTest::qWaitFor([&] { return p.state() == QProcess::NotRunning; }, waitMs))
        p.terminate(), p.waitForFinished(5000);
    if (out)
        *out = p.readAllStandardOutput().trimmed();
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

QString artifactPath(const QString &name)
{
    const QString dir = qEnvironmentVariable("ORVANE_TEST_ARTIFACTS");
    return !dir.isEmpty() && QDir().mkpath(dir) ? QDir(dir).filePath(name) : QString();
}

// 16-bit mono 8000 Hz PCM as a WAV file.
void saveWav(const QString &path, const QByteArray &pcm)
{
    QFile f(path);
    if (path.isEmpty() || !f.open(QIODevice::WriteOnly))
        return;
    QDataStream out(&f);
    out.setByteOrder(QDataStream::LittleEndian);
    f.write("RIFF");
    out << quint32(36 + pcm.size());
    f.write("WAVEfmt ");
    out << quint32(16) << quint16(1) << quint16(1) << quint32(8000) << quint32(16000) << quint16(2)
        << quint16(16);
    f.write("data");
    out << quint32(pcm.size());
    f.write(pcm);
}

} // namespace

class tst_E2eOnvifMedia : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    DevsimProcess sim;
    E2eClient client;
    MainWindow *window = nullptr;
    Channel *ch = nullptr;
    QDate yesterday;
    uint shown = 0; // recording time of the last playback picture
    bool microphone = false;
    QByteArray micModule;

    uint at(int h, int m, int s) const
    {
        return uint(QDateTime(yesterday, QTime(h, m, s), QTimeZone::utc()).toSecsSinceEpoch());
    }
    void saveScreen(const QString &name)
    {
        if (const QString path = artifactPath(name); !path.isEmpty())
            WallSurface::grab(client.host.get()).save(path);
    }
    void clickSecond(int second)
    {
        TimelineClicks::clickSecond(window->timelinePanel()->timeline(), second);
    }
    template <class T> T *child(const char *name)
    {
        return window->findChild<T *>(QLatin1String(name));
    }
    void setMode(bool live)
    {
        QTest::mouseClick(child<WidgetBtnLive>(live ? "widget_btn_life" : "widget_btn_playback"),
                          Qt::LeftButton);
        QTRY_COMPARE(ViewControl::instance()->isLive(), live);
    }

private slots:
    void initTestCase()
    {
        QCOMPARE(QTimeZone::systemTimeZone().offsetFromUtc(QDateTime::currentDateTime()), 0);
        QVERIFY(dir.isValid());
        E2eClient::useSettings(dir.path());
        sim.setDiscoveryPort(DevsimProcess::anyDiscoveryPort());
        QVERIFY2(sim.start({"--uid",          Uid,
                            "--password",     Password,
                            "--onvif",        "0",
                            "--wsd-port",     "0",
                            "--record-days",  "3",
                            "--gop",          "1",
                            "--fps",          "10",
                            "--sd",           "320x180",
                            "--hd",           "640x360",
                            "--recordings",   "01:00-01:30,02:00-02:00:05,03:00-04:00",
                            "--motion",       "01:10-01:11,03:20-03:21",
                            "--motion-every", "5",
                            "--talk-wav",     dir.filePath("talk.wav")}),
                 qPrintable(sim.errorText()));
        QRegularExpressionMatch onvif;
        QVERIFY(sim.waitForLine(QRegularExpression("^ONVIF " + Uid + " http://(127.0.0.1:\\d+)/"),
                                10000, &onvif));
        // The microphone: a pipe source made the default before the client
        // opens its input.
        if (!QStandardPaths::findExecutable(QStringLiteral("pactl")).isEmpty() &&
            !QMediaDevices::defaultAudioOutput().isNull() &&
            run("pactl",
                {"load-module", "module-pipe-source", "source_name=onvifmic",
                 "file=" + dir.filePath("mic.fifo"), "format=s16le", "rate=8000", "channels=1"},
                10000, &micModule) &&
            run("pactl", {"set-default-source", "onvifmic"}, 10000))
            microphone = QTest::qWaitFor(
                [] { return QMediaDevices::defaultAudioInput().id() == "onvifmic"; }, 5000);
        DeviceRecord record;
        record.uid = Uid;
        record.nickname = QStringLiteral("Gate");
        record.type = 7;
        record.channel = 1;
        record.username = QStringLiteral("admin");
        record.password = Password;
        record.kind = DeviceKind::Rtsp;
        record.rtsp.onvifHost = onvif.captured(1);
        QVERIFY(Config::instance()->saveDevice(record));
        window = client.show();
        QVERIFY(QTest::qWaitForWindowExposed(client.host.get()));
        QTRY_VERIFY_WITH_TIMEOUT(Dev::instance()->deviceByUid(Uid), 10000);
        ch = Dev::instance()->deviceByUid(Uid)->channel(0);
        connect(Video::instance(), &Video::decodeSuccess, this,
                [this](Channel *c, bool live, int, int, uint ts) {
                    if (c == ch && !live)
                        shown = ts;
                });
        yesterday = QDate::currentDate().addDays(-1);
    }
    void cleanupTestCase()
    {
        client.host.reset();
        sim.stop();
        if (!micModule.isEmpty())
            run("pactl", {"unload-module", QString::fromLatin1(micModule)}, 10000);
    }

    void liveMotionMarksTheCellAndTheAlertList()
    {
        MenuListDev *row = nullptr;
        QTRY_VERIFY_WITH_TIMEOUT((row = [this]() -> MenuListDev * {
                                     for (MenuListDev *r : window->devList()->rows())
                                         if (r->device() == ch->device())
                                             return r->rowOf(ch);
                                     return nullptr;
                                 }()),
                                 10000);
        emit row->doubleClicked(row);
        GlWidgetViewWindow *cell = nullptr;
        QTRY_VERIFY_WITH_TIMEOUT((cell = ViewControl::instance()->cellOf(ch)) && cell->hasPicture(),
                                 30000);
        QTRY_VERIFY_WITH_TIMEOUT(DeviceLinks::has(ch->device(), DeviceLink::Events), 10000);
        // A burst devsim starts from now on marks the cell while it lasts.
        const QRegularExpression on("^EVENT " + Uid + " 0 motion on");
        const int mark = sim.lineCount();
        QVERIFY(sim.waitForLineFrom(mark, on, 15000) >= 0);
        QTRY_VERIFY_WITH_TIMEOUT(ch->alarms() != 0, 2000);
        QCOMPARE(GlWidgetViewWindow::alarmText(ch->alarms()), QStringLiteral("MOTION"));
        saveScreen(QStringLiteral("onvif-events.png"));
        const QList<AlertEntry> &entries = window->alertLog().entries();
        QVERIFY(std::any_of(entries.begin(), entries.end(), [](const AlertEntry &e) {
            return e.text == QStringLiteral("Motion detected") && e.device.startsWith(Uid);
        }));
        QVERIFY(!window->alert() || !window->alert()->isVisible()); // a log entry, no box
        QTRY_VERIFY_WITH_TIMEOUT(ch->alarms() == 0, 5000);          // the burst ended
    }

    void cameraToneReachesTheSink()
    {
        if (QMediaDevices::defaultAudioOutput().isNull() ||
            QStandardPaths::findExecutable(QStringLiteral("parec")).isEmpty())
            QSKIP("no PulseAudio sink (scripts/run-tests.sh starts one)");
        QTRY_VERIFY_WITH_TIMEOUT(DeviceLinks::has(ch->device(), DeviceLink::Sound), 10000);
        ViewControl::instance()->linkOf(ch)->audioControl(ch, true);
        QTRY_VERIFY_WITH_TIMEOUT(ch->audioOn(true), 10000);
        QByteArray pcm;
        std::vector<int16_t> s;
        // The sink may still be starting: the last of a few tries counts.
        for (int attempt = 0; attempt < 4; ++attempt) {
            run("parec",
                {"-d", "null.monitor", "--format=s16le", "--rate=8000", "--channels=1",
                 "--latency-msec=20"},
                2000, &pcm);
            s = samples(pcm.mid(3200));
            if (s.size() >= 8000 && std::abs(amplitude(s, 400) - 8000) < 1000)
                break;
        }
        saveWav(artifactPath(QStringLiteral("onvif-sound.wav")), pcm);
        ViewControl::instance()->linkOf(ch)->audioControl(ch, false);
        qInfo("400 Hz: %.0f, 700 Hz: %.0f", amplitude(s, 400), amplitude(s, 700));
        QVERIFY(s.size() >= 8000);
        QVERIFY(std::abs(amplitude(s, 400) - 8000) < 1000); // the channel's tone, at full volume
        QVERIFY(amplitude(s, 700) < 500);                   // and nothing else
    }

    void microphoneReachesTheBackChannel()
    {
        if (!microphone)
            QSKIP("PulseAudio does not take a pipe source");
        QTRY_VERIFY_WITH_TIMEOUT(DeviceLinks::has(ch->device(), DeviceLink::Talk), 10000);
        DeviceEvents *events = DeviceLinks::events();
        QSignalSpy ok(events, &DeviceEvents::audioSendControlSuccessMsg);
        QSignalSpy failed(events, &DeviceEvents::audioSendControlFailMsg);
        const int mark = sim.lineCount();
        ViewControl::instance()->linkOf(ch)->audioSendControl(ch, true);
        QTRY_VERIFY_WITH_TIMEOUT(ok.size() + failed.size() >= 1, 15000);
        QVERIFY2(failed.isEmpty(),
                 failed.isEmpty() ? "" : qPrintable(failed.at(0).at(2).toString()));
        QVERIFY(ch->talking());
        // One and a half seconds of a 700 Hz tone, in 100 ms pieces.
        std::vector<int16_t> signal(12000);
        for (size_t i = 0; i < signal.size(); ++i)
            signal[i] = int16_t(std::lround(8000 * std::cos(TwoPi * 700 * double(i) / 8000)));
        QFile pipe(dir.filePath("mic.fifo"));
        QVERIFY(pipe.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        for (size_t i = 0; i < signal.size(); i += 800) {
            pipe.write(reinterpret_cast<const char *>(signal.data() + i), 1600);
            QTest::qWait(100);
        }
        QTest::qWait(500);
        QVERIFY2(failed.isEmpty(),
                 failed.isEmpty() ? "" : qPrintable(failed.at(0).at(2).toString()));
        ViewControl::instance()->linkOf(ch)->audioSendControl(ch, false);
        QTRY_VERIFY_WITH_TIMEOUT(!ch->talking(), 5000);
        QVERIFY(sim.waitForLineFrom(mark, QRegularExpression("^TALK_CLOSE " + Uid), 10000) >= 0);
        QFile wav(dir.filePath("talk.wav"));
        QVERIFY(wav.open(QIODevice::ReadOnly));
        const QByteArray data = wav.readAll();
        if (const QString path = artifactPath(QStringLiteral("onvif-talk.wav")); !path.isEmpty())
            QFile::remove(path), QFile::copy(wav.fileName(), path);
        const std::vector<int16_t> got = samples(data.mid(44));
        qInfo("talk: %zu samples, 700 Hz: %.0f", got.size(), amplitude(got, 700));
        QVERIFY(got.size() >= 8000);
        QVERIFY(std::abs(amplitude(got, 700) - 8000) < 1000); // G.711 keeps the tone's level
    }

    void timelineShowsTheRecordingsAndTheirMotion()
    {
        setMode(false);
        Dev::instance()->setSelectedChannel(ch);
        window->openCalendar();
        window->calendar()->setSelectedDate(yesterday);
        const QList<QList<int>> expected = {{3600, 1800, int(at(1, 0, 0))},
                                            {7200, 5, int(at(2, 0, 0))},
                                            {10800, 3600, int(at(3, 0, 0))}};
        QTRY_COMPARE_WITH_TIMEOUT(ViewControl::instance()->dayRecords(), expected, 30000);
        QTRY_COMPARE(TimelineClicks::laneSpans(window->timelinePanel()->timeline(),
                                               PlaybackTimeline::Kind::Continuous),
                     3);
        QTRY_COMPARE_WITH_TIMEOUT(ch->eventMarks(), (QList<QList<int>>{{4200, 1}, {12000, 1}}),
                                  10000);
        QTRY_COMPARE(TimelineClicks::laneSpans(window->timelinePanel()->timeline(),
                                               PlaybackTimeline::Kind::Motion),
                     2);
        window->closeCalendar();
    }

    void replayStartsSeeksAndCrossesTheGap()
    {
        clickSecond(3600 + 60); // 01:01:00
        QTest::mouseClick(child<PlayBtn>("label_icon_play"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(shown >= at(1, 1, 0) && shown <= at(1, 1, 3), 15000);
        clickSecond(3600 + 20 * 60); // a seek while playing: within a second of 01:20:00
        QTRY_VERIFY_WITH_TIMEOUT(shown >= at(1, 20, 0) && shown <= at(1, 20, 1), 5000);
        saveScreen(QStringLiteral("onvif-playback.png"));
        clickSecond(7200 + 2); // 02:00:02, three seconds before that recording ends
        QTRY_VERIFY_WITH_TIMEOUT(shown >= at(2, 0, 1) && shown <= at(2, 0, 5), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(shown >= at(3, 0, 0) && shown <= at(3, 0, 10), 20000);
    }

    // The camera's replay service offers reverse playback: fast backward
    // plays the recording backwards at 4x, fast forward forwards.
    void fastButtonsPlayFourTimesAsFastBothWays_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("direction");
        QTest::newRow("forward") << "label_icon_ff" << 1;
        QTest::newRow("backward") << "label_icon_fb" << -1;
    }
    void fastButtonsPlayFourTimesAsFastBothWays()
    {
        QFETCH(QString, button);
        QFETCH(int, direction);
        if (ch->avIndex(false) >= 0) // still playing: stop
            QTest::mouseClick(child<PlayBtn>("label_icon_play"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(ch->avIndex(false) < 0, 10000);
        clickSecond(3 * 3600 + 1800);
        auto *fast = child<FastBtn>(qPrintable(button));
        QTest::mouseClick(fast, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(shown >= at(3, 29, 0) && shown < at(3, 31, 0), 15000);
        const uint from = shown;
        QTest::qWait(2000);
        const int moved = (int(shown) - int(from)) * direction;
        QVERIFY2(moved >= 5, qPrintable(QString::number(moved))); // 4x, not 1x
        QTest::mouseClick(fast, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(ch->avIndex(false) < 0, 10000);
    }
};

ORVANE_TEST_MAIN(tst_E2eOnvifMedia)
#include "tst_e2e_onvif_media.moc"
