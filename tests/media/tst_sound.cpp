// Sound end to end, through PulseAudio: devsim's channel tones played into
// the null sink (recorded from its monitor) at the volume and mixed, and a
// known microphone signal (a pipe source) sent as talk and captured by devsim.
// Skips when there is no PulseAudio server with the null sink.

#include "DevsimProcess.h"
#include "LinkFixture.h"
#include "WavWriter.h"

#include "media/Audio.h"
#include "media/AudioSend.h"
#include "media/Decode.h"

#include "TestMain.h"
#include <QMediaDevices>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cmath>
#include <vector>

namespace {

constexpr double TwoPi = 6.283185307179586;

// The amplitude of the frequency f in each 50 ms block of s (one DFT bin),
// sorted.
std::vector<double> amplitudes(const std::vector<int16_t> &s, double f)
{
    std::vector<double> out;
    for (size_t b = 0; b + 400 <= s.size(); b += 400) {
        double re = 0, im = 0;
        for (size_t i = b; i < b + 400; ++i) {
            re += s[i] * std::cos(TwoPi * f * double(i) / 8000);
            im += s[i] * std::sin(TwoPi * f * double(i) / 8000);
        }
        out.push_back(2 * std::hypot(re, im) / 400);
    }
    std::sort(out.begin(), out.end());
    return out;
}

bool steady(const std::vector<double> &a)
{
    return !a.empty() && a.back() - a.front() < 400 + a[a.size() / 2] / 10;
}

// Runs a PulseAudio tool; false when it failed. out receives what it printed.
bool run(const QString &tool, const QStringList &args, int waitMs = 10000,
         QByteArray *out = nullptr)
{
    QProcess p;
    p.start(tool, args);
    // The event loop runs meanwhile: the client plays on.
    if (!QTest::qWaitFor([&] { return p.state() == QProcess::NotRunning; }, waitMs))
        p.terminate(), p.waitForFinished(5000);
    if (out)
        *out = p.readAllStandardOutput().trimmed();
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

std::vector<int16_t> samples(const QByteArray &pcm)
{
    std::vector<int16_t> s(size_t(pcm.size() / 2));
    std::memcpy(s.data(), pcm.constData(), s.size() * 2);
    return s;
}

void keepArtifact(const QString &from)
{
    const QString dir = qEnvironmentVariable("ORVANE_TEST_ARTIFACTS");
    const QString to = dir + QLatin1Char('/') + QFileInfo(from).fileName();
    if (!dir.isEmpty() && QDir().mkpath(dir) && (!QFile::exists(to) || QFile::remove(to)))
        QFile::copy(from, to);
}

} // namespace

class TestSound : public LinkFixture
{
    Q_OBJECT

    DevsimProcess sim;
    QTemporaryDir dir;
    Channel *channels[2] = {};
    Audio *audio = nullptr;
    Decode *decode = nullptr;

    void listen(int i, bool on)
    {
        if (channels[i]->audioOn(true) == on)
            return;
        const quint64 decoded = audio->decodedFrames();
        io->audioControl(channels[i], on);
        QTRY_VERIFY_WITH_TIMEOUT(channels[i]->audioOn(true) == on, Wait);
        if (!on)
            audio->tearDownDecoder(channels[i], true);
        else // the tone flows: half a second of it was decoded
            QTRY_VERIFY_WITH_TIMEOUT(audio->decodedFrames() >= decoded + 12, Wait);
    }

private slots:
    void initTestCase()
    {
        if (QMediaDevices::defaultAudioOutput().isNull() ||
            QStandardPaths::findExecutable(QStringLiteral("parec")).isEmpty())
            QSKIP("no PulseAudio sink (scripts/run-tests.sh starts one)");
        sim.setDiscoveryPort(quint16(40000 + QRandomGenerator::global()->bounded(20000)));
        QVERIFY2(sim.start(
                     {"--uid", "SOUND", "--channels", "2", "--talk-wav", dir.filePath("talk.wav")}),
                 qPrintable(sim.errorText()));
        qputenv("ORVANE_P2P_PEERS", sim.peersEnv().toLatin1());
        io = new IoConnect;
        audio = new Audio;
        QVERIFY(audio->hasOutput());
        decode = new Decode;
        decode->setAudioHandler([this](Channel *ch, bool live, ChannelBufferItem *item) {
            audio->play(ch, live, item);
        });
        Device *d = addDevice("SOUND", 2);
        for (int i = 0; i < 2; ++i)
            QVERIFY((channels[i] = open(d, i)));
    }
    void cleanupTestCase()
    {
        if (!io)
            return;
        delete decode;
        tearDownLink();
        delete audio;
    }

    // Channel n sounds at 400 + 100 n Hz with amplitude 8000.
    void channelTonesReachTheSinkMixedAtTheVolume_data()
    {
        QTest::addColumn<bool>("first");
        QTest::addColumn<int>("volume");
        QTest::newRow("one channel, volume 10") << false << 10;
        QTest::newRow("one channel, volume 5") << false << 5;
        QTest::newRow("volume 0 is silence") << false << 0;
        QTest::newRow("two channels neither slowed nor cut") << true << 10;
    }
    void channelTonesReachTheSinkMixedAtTheVolume()
    {
        QFETCH(bool, first);
        QFETCH(int, volume);
        audio->setVolume(volume);
        listen(0, first);
        listen(1, true);
        // PulseAudio may stall while streams start, and the monitor may jump:
        // record a span in which no source ran dry or dropped samples and
        // both tones stay steady (taking turns in the output never is).
        auto glitches = [this] {
            return audio->mixer().droppedSamples() + audio->mixer().underruns();
        };
        // The sink may also still play what was mixed before the change for a
        // while: a steady span at the expected levels is awaited, and the last
        // steady one is judged.
        const auto expected = [&](const std::vector<int16_t> &v) {
            const double a4 = amplitudes(v, 400)[v.size() / 800];
            const double a5 = amplitudes(v, 500)[v.size() / 800];
            return std::abs(a4 - (first ? 800 * volume : 0)) < 1000 &&
                   std::abs(a5 - 800 * volume) < 1000;
        };
        std::vector<int16_t> s;
        for (int attempt = 0; attempt < 6; ++attempt) {
            const quint64 before = glitches();
            QByteArray pcm;
            run("parec",
                {"-d", "null.monitor", "--format=s16le", "--rate=8000", "--channels=1",
                 "--latency-msec=20"},
                2000, &pcm);
            std::vector<int16_t> span = samples(pcm.mid(3200)); // after parec's start-up
            if (span.size() < 8000 || glitches() != before || !steady(amplitudes(span, 400)) ||
                !steady(amplitudes(span, 500)))
                continue;
            s = std::move(span);
            if (expected(s))
                break;
        }
        devsim::WavWriter wav(8000);
        wav.append(s);
        if (wav.save(dir.filePath("sound.wav"), nullptr))
            keepArtifact(dir.filePath("sound.wav"));
        QVERIFY2(s.size() >= 8000, qPrintable(QString::number(s.size())));
        const double a = amplitudes(s, 400)[s.size() / 800], b = amplitudes(s, 500)[s.size() / 800];
        qInfo("400 Hz: %.0f, 500 Hz: %.0f", a, b);
        QVERIFY(std::abs(a - (first ? 800 * volume : 0)) < 1000);
        QVERIFY(std::abs(b - 800 * volume) < 1000);
        QVERIFY(volume > 0 || std::all_of(s.begin(), s.end(), [](int16_t v) { return v == 0; }));
    }

    void microphoneReachesTheDevice_data()
    {
        QTest::addColumn<bool>("microphone");
        QTest::newRow("no microphone") << false;
        QTest::newRow("pipe microphone") << true;
    }
    void microphoneReachesTheDevice()
    {
        QFETCH(bool, microphone);
        const QString fifo = dir.filePath(QStringLiteral("mic.fifo"));
        QByteArray module;
        if (microphone && !run("pactl",
                               {"load-module", "module-pipe-source", "source_name=mic",
                                "file=" + fifo, "format=s16le", "rate=8000", "channels=1"},
                               10000, &module))
            QSKIP("PulseAudio does not take a pipe source");
        auto unload = qScopeGuard([&] {
            if (microphone)
                run("pactl", {"unload-module", QString::fromLatin1(module)});
        });
        QVERIFY(!microphone || run("pactl", {"set-default-source", "mic"}));
        QTRY_VERIFY_WITH_TIMEOUT(!microphone || QMediaDevices::defaultAudioInput().id() == "mic",
                                 Wait);
        AudioSend send(microphone ? QMediaDevices::defaultAudioInput() : QAudioDevice());
        io->setTalkHandler([&](Channel *ch, bool on) { return send.talkChanged(ch, on); });
        QSignalSpy ok(io, &IoConnect::audioSendControlSuccessMsg);
        QSignalSpy failed(io, &IoConnect::audioSendControlFailMsg);
        const int mark = sim.lineCount();
        io->audioSendControl(channels[0], true);
        QTRY_VERIFY_WITH_TIMEOUT(ok.size() + failed.size() == 1, Wait);
        QCOMPARE(failed.size(), microphone ? 0 : 1);
        QVERIFY(microphone || failed.at(0).at(2) == QStringLiteral("Not Found Input Device."));
        // One second of a 700 Hz cosine, written in 100 ms pieces.
        std::vector<int16_t> signal(8000);
        for (size_t i = 0; i < signal.size(); ++i)
            signal[i] = int16_t(std::lround(8000 * std::cos(TwoPi * 700 * double(i) / 8000)));
        QFile pipe(fifo);
        QVERIFY(!microphone || pipe.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        for (size_t at = 0; microphone && at < signal.size(); at += 800) {
            pipe.write(reinterpret_cast<const char *>(signal.data() + at), 1600);
            QTest::qWait(100);
        }
        const QRegularExpression talked(QStringLiteral("^TALK SOUND (\\d+)$"));
        auto received = [&] {
            const QStringList lines = sim.matchingLines(talked, mark);
            return lines.isEmpty() ? 0 : talked.match(lines.last()).captured(1).toInt();
        };
        QTRY_VERIFY_WITH_TIMEOUT(!microphone || received() >= 7600, Wait);
        if (microphone)
            io->audioSendControl(channels[0], false);
        QVERIFY(sim.waitForLineFrom(mark, QRegularExpression("^TALK_CLOSE SOUND "), Wait) >= 0);
        QTRY_VERIFY_WITH_TIMEOUT(!send.isRunning() && !channels[0]->talking(), Wait);
        if (!microphone)
            return;
        keepArtifact(dir.filePath("talk.wav"));
        QFile wav(dir.filePath("talk.wav"));
        QVERIFY(wav.open(QIODevice::ReadOnly));
        const std::vector<int16_t> got = samples(wav.readAll().mid(44));
        const auto start = size_t(
            std::find_if(got.begin(), got.end(), [](int16_t v) { return std::abs(v) > 4000; }) -
            got.begin());
        QVERIFY(got.size() >= start + 7000);
        for (size_t i = 0; i < 7000; ++i) // A-law keeps a sample within 1/32 plus a step
            QVERIFY2(std::abs(got[start + i] - signal[i]) <= std::abs(signal[i]) / 32 + 16,
                     qPrintable(QStringLiteral("sample %1: %2").arg(i).arg(got[start + i])));
    }
};

ORVANE_TEST_GUILESS_MAIN(TestSound)
#include "tst_sound.moc"
