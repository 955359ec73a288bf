// devsim's playback extensions through the P2P client surface: capabilities, speeds forward and
// backward (recording time per frame, gaps jumped, the end before the first recording), frame
// steps on the key-frame grid, thumbnails, exports (every frame, counts, cancelling), record
// kinds split at motion and alarm spans, and malformed requests answered with silence.

#include "LinkSupport.h"
#include "PlaybackControl.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QImage>
#include <QTimeZone>
#include <QtEndian>
#include <QtTest>
#include "TestMain.h"

using namespace linktest;
using devsim::PlaybackControl;

namespace {

constexpr std::uint32_t ListReq = 0x0318, ListResp = 0x0319, Control = 0x031A, ControlResp = 0x031B,
                        Seek = 0x033C, SeekResp = 0x033D;
constexpr std::uint32_t CapsReq = 0x0740, CapsResp = 0x0741, Speed = 0x0742, SpeedResp = 0x0743,
                        Step = 0x0744, StepResp = 0x0745, ThumbReq = 0x0746, ThumbResp = 0x0747,
                        ExportStart = 0x0748, ExportResp = 0x0749, ExportEnd = 0x074A,
                        ExportStop = 0x074B, ExportAck = 0x074C;
constexpr std::uint8_t KeyFlag = 1, StepTargetFlag = 2, SpanStartFlag = 4;
constexpr int FrameMs = 40; // --fps 25
const char *const Uid = "PBEXT000000000001";

// Yesterday (UTC) at hh:mm:ss, in seconds since the epoch.
qint64 yesterday(int h, int m, int s)
{
    const QDate day = QDateTime::currentDateTimeUtc().date().addDays(-1);
    return QDateTime(day, QTime(h, m, s), QTimeZone::utc()).toSecsSinceEpoch();
}

QByteArray u16s(quint16 a, quint16 b)
{
    return QByteArray(1, char(a & 0xFF)) + char(a >> 8) + char(b & 0xFF) + char(b >> 8);
}

QByteArray control(std::uint32_t command, qint64 at = 0)
{
    return u32s({0, command, 0}) + (at ? PlaybackControl::deviceTime(at) : QByteArray(8, '\0')) +
           QByteArray(4, '\0');
}

quint32 u32At(const QByteArray &b, int offset)
{
    return qFromLittleEndian<quint32>(b.constData() + offset);
}

// The recording time of a frame in ms: seconds at 12, milliseconds + 1 in bytes 5..6.
qint64 recordingMs(const p2p::FrameInfo &info)
{
    const int ms = info.reserved1[0] | info.reserved1[1] << 8;
    return ms == 0 ? -1 : qint64(info.timestamp) * 1000 + ms - 1;
}

// Video frames until `ms` of silence.
QList<Frame> drain(int av, int ms = 300)
{
    QList<Frame> frames;
    while (std::optional<Frame> f = recvVideo(av, ms))
        frames.append(*f);
    return frames;
}

} // namespace

class tst_DevsimPlaybackExt : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(link.open({"--uid", Uid, "--channels", "2", "--password", "pb", "--record-days",
                           "3", "--gop", "1", "--fps", "25", "--recordings",
                           "01:00-01:30,02:00-02:03,23:50-00:10", "--motion", "01:10-01:12",
                           "--alarms", "01:20-01:21,05:00-05:01"},
                          randomDiscoveryPort(), "admin", "pb"));
    }

    void capsOfferEverything()
    {
        QVERIFY(sendIo(link.av, CapsReq, u32s({1})) >= 0);
        const std::optional<QByteArray> caps = waitIo(link.av, CapsResp, 3000);
        QVERIFY(caps && caps->size() == 12);
        QCOMPARE(caps->left(8), u32s({1, 0x7F}));
        QCOMPARE(caps->mid(8), QByteArray("\x10\x10\0\0", 4));
    }

    void speedSetsRecordingTimePerFrame_data()
    {
        QTest::addColumn<int>("speed");
        QTest::addColumn<int>("stepMs"); // recording time per sent frame
        for (const int s : {1, 2, 4, 8, 16, 32, 64, 128})
            QTest::newRow(qPrintable(QStringLiteral("forward %1/8").arg(s)))
                << s << FrameMs * std::max(1, s / 8);
        for (const int s : {-8, -16, -32, -64, -128})
            QTest::newRow(qPrintable(QStringLiteral("backward %1/8").arg(-s)))
                << s << FrameMs * s / 8;
    }
    void speedSetsRecordingTimePerFrame()
    {
        QFETCH(int, speed);
        QFETCH(int, stepMs);
        QVERIFY(startPaused(yesterday(1, 5, 0)));
        QVERIFY(sendIo(link.av, Speed, u32s({0, std::uint32_t(speed)})) >= 0);
        const std::optional<QByteArray> reply = waitIo(link.av, SpeedResp, 3000);
        QVERIFY(reply && reply->size() == 12);
        QCOMPARE(reply->left(12), u32s({0, 0, std::uint32_t(speed)}));
        QVERIFY(resume());
        const bool slow = speed > 0 && speed < 8;
        const int wanted = slow ? 4 : 8;
        QList<Frame> frames;
        while (frames.size() < wanted) {
            const std::optional<Frame> f = recvVideo(pb, 3000);
            QVERIFY(f);
            frames.append(*f);
        }
        QVERIFY(frames.first().info.flags & KeyFlag);
        for (int i = 1; i < frames.size(); ++i) {
            QCOMPARE(recordingMs(frames[i].info) - recordingMs(frames[i - 1].info), qint64(stepMs));
            if (speed < 0)
                QVERIFY(frames[i].info.flags & KeyFlag);
        }
        if (slow) {
            // Slow speeds skip ticks: the device's send times (offset 8) show the pace.
            const double wallMs = frames.last().info.reserved2 - frames.first().info.reserved2;
            const double rate = (wanted - 1) * FrameMs / wallMs;
            QVERIFY2(std::abs(rate / (speed / 8.0) - 1) < 0.35, qPrintable(QString::number(rate)));
        }
    }

    void speedOutsideTheListIsRefused()
    {
        QVERIFY(startPaused(yesterday(1, 5, 0)));
        QVERIFY(sendIo(link.av, Speed, u32s({0, 3})) >= 0);
        const std::optional<QByteArray> reply = waitIo(link.av, SpeedResp, 3000);
        QVERIFY(reply);
        QCOMPARE(*reply, u32s({0, 2, 8}));
        QVERIFY(sendIo(link.av, Speed, u32s({1, 16})) >= 0); // nothing plays on channel 1
        QCOMPARE(waitIo(link.av, SpeedResp, 3000).value_or(QByteArray()), u32s({1, 1, 0}));
    }

    void backwardJumpsGapsAndEndsBeforeTheFirstRecording()
    {
        QVERIFY(startPaused(yesterday(2, 0, 0)));
        QVERIFY(sendIo(link.av, Seek,
                       u32s({0}) + PlaybackControl::deviceTime(yesterday(2, 0, 1)) + u32s({0})) >=
                0);
        QCOMPARE(waitIo(link.av, SeekResp, 3000).value_or(QByteArray("x")).at(0), '\0');
        QVERIFY(sendIo(link.av, Speed, u32s({0, std::uint32_t(-128)})) >= 0);
        QVERIFY(waitIo(link.av, SpeedResp, 3000));
        QVERIFY(resume());
        const qint64 expected[] = {yesterday(2, 0, 1) * 1000, yesterday(2, 0, 0) * 1000 + 360,
                                   yesterday(1, 30, 0) * 1000 - 40,
                                   yesterday(1, 30, 0) * 1000 - 680};
        for (const qint64 ms : expected) {
            const std::optional<Frame> f = recvVideo(pb, 3000);
            QVERIFY(f);
            QCOMPARE(recordingMs(f->info), ms);
            QVERIFY(f->info.flags & KeyFlag);
        }
        // The first recording (the day before yesterday at 01:00) played back ends.
        QVERIFY(sendIo(link.av, Control, control(16, yesterday(1, 0, 2) - 86400)) >= 0);
        QVERIFY(waitIo(link.av, ControlResp, 3000));
        QVERIFY(sendIo(link.av, Speed, u32s({0, std::uint32_t(-128)})) >= 0);
        const std::optional<QByteArray> end = waitIo(link.av, ControlResp, 5000);
        QVERIFY(end);
        QCOMPARE(end->left(4), u32s({7}));
    }

    void stepLandsOnTheGridAndFlagsTheTarget_data()
    {
        QTest::addColumn<int>("targetMs"); // after 01:05:10
        QTest::addColumn<int>("landedMs");
        QTest::addColumn<int>("frames"); // from the key frame at 01:05:10 (GOP 1 s)
        QTest::newRow("forward inside a GOP") << 530 << 520 << 14;
        QTest::newRow("backward one frame") << 480 << 480 << 13;
        QTest::newRow("onto the key frame") << 1000 << 1000 << 1;
        QTest::newRow("last frame of a GOP") << 999 << 960 << 25;
    }
    void stepLandsOnTheGridAndFlagsTheTarget()
    {
        QFETCH(int, targetMs);
        QFETCH(int, landedMs);
        QFETCH(int, frames);
        QVERIFY(startPaused(yesterday(1, 5, 0)));
        const qint64 target = yesterday(1, 5, 10) * 1000 + targetMs;
        QVERIFY(sendIo(link.av, Step,
                       u32s({0}) + PlaybackControl::deviceTime(target / 1000) +
                           u16s(quint16(target % 1000), 0)) >= 0);
        const std::optional<QByteArray> reply = waitIo(link.av, StepResp, 3000);
        QVERIFY(reply && reply->size() == 20);
        const qint64 landed = yesterday(1, 5, 10) * 1000 + landedMs;
        QCOMPARE(reply->left(8), u32s({0, 0}));
        QCOMPARE(PlaybackControl::readDeviceTime(*reply, 8).value_or(0), landed / 1000);
        QCOMPARE(qFromLittleEndian<quint16>(reply->constData() + 16), quint16(landed % 1000));
        const QList<Frame> got = drain(pb, 500);
        QCOMPARE(got.size(), frames);
        QVERIFY(got.first().info.flags & KeyFlag);
        QCOMPARE(recordingMs(got.first().info) % 1000, 0); // the key frame of the grid
        for (int i = 0; i < got.size(); ++i) {
            QCOMPARE(recordingMs(got[i].info), landed - (frames - 1 - i) * FrameMs);
            QCOMPARE(bool(got[i].info.flags & StepTargetFlag), i == frames - 1);
        }
        QVERIFY(resume()); // after the landed picture
        const std::optional<Frame> next = recvVideo(pb, 3000);
        QVERIFY(next && (next->info.flags & KeyFlag));
        QCOMPARE(recordingMs(next->info), landed + FrameMs);
    }

    void stepIsRefusedUnlessPausedOverARecording()
    {
        const QByteArray inGap =
            u32s({0}) + PlaybackControl::deviceTime(yesterday(1, 45, 0)) + u16s(0, 0);
        QVERIFY(startPaused(yesterday(1, 5, 0)));
        QVERIFY(sendIo(link.av, Step, inGap) >= 0);
        QCOMPARE(waitIo(link.av, StepResp, 3000).value_or(QByteArray()).left(8), u32s({0, 2}));
        QVERIFY(resume()); // playing: no step
        QVERIFY(sendIo(link.av, Step, inGap) >= 0);
        QCOMPARE(waitIo(link.av, StepResp, 3000).value_or(QByteArray()).left(8), u32s({0, 1}));
    }

    void thumbnailShowsTheNearestKeyFrame_data()
    {
        QTest::addColumn<qint64>("at");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("result");
        QTest::addColumn<qint64>("keyMs");
        const qint64 key = yesterday(1, 5, 7);
        QTest::newRow("inside a recording") << key << 160 << 0 << key * 1000;
        QTest::newRow("full width") << key << 640 << 0 << key * 1000;
        QTest::newRow("smallest width") << key << 16 << 0 << key * 1000;
        QTest::newRow("after a recording")
            << yesterday(1, 35, 0) << 320 << 0 << yesterday(1, 29, 59) * 1000;
        QTest::newRow("before a recording")
            << yesterday(1, 57, 0) << 320 << 0 << yesterday(2, 0, 0) * 1000;
        QTest::newRow("nothing within 10 minutes") << yesterday(12, 0, 0) << 160 << 1 << 0LL;
        QTest::newRow("width too small") << key << 15 << 2 << 0LL;
        QTest::newRow("width too large") << key << 641 << 2 << 0LL;
    }
    void thumbnailShowsTheNearestKeyFrame()
    {
        QFETCH(qint64, at);
        QFETCH(int, width);
        QFETCH(int, result);
        QFETCH(qint64, keyMs);
        const std::uint32_t id = 0x1000 + std::uint32_t(width);
        QElapsedTimer timer;
        timer.start();
        QVERIFY(sendIo(link.av, ThumbReq,
                       u32s({1}) + PlaybackControl::deviceTime(at) + u32s({id}) +
                           u16s(quint16(width), 0)) >= 0);
        const std::optional<QByteArray> reply = waitIo(link.av, ThumbResp, 3000);
        QVERIFY(reply && reply->size() >= 28);
        qInfo("thumbnail answered in %lld ms", timer.elapsed());
        QCOMPARE(reply->left(12), u32s({1, id, std::uint32_t(result)}));
        const quint32 n = u32At(*reply, 24);
        QCOMPARE(qsizetype(28 + n), reply->size());
        if (result != 0) {
            QCOMPARE(n, 0u);
            return;
        }
        QVERIFY(n <= 16000);
        QCOMPARE(PlaybackControl::readDeviceTime(*reply, 12).value_or(0) * 1000 +
                     qFromLittleEndian<quint16>(reply->constData() + 20),
                 keyMs);
        const QImage image = QImage::fromData(reply->mid(28), "JPEG");
        QCOMPARE(image.width(), width);
        QCOMPARE(image.height(), width * 360 / 640);
    }

    void exportDeliversEveryFrameFast()
    {
        // 90 s before the gap at 01:30 and 30 s after it at 02:00: two spans, two minutes.
        const QByteArray request = u32s({1}) + PlaybackControl::deviceTime(yesterday(1, 28, 30)) +
                                   PlaybackControl::deviceTime(yesterday(2, 0, 30)) + u32s({77});
        QVERIFY(sendIo(link.av, ExportStart, request) >= 0);
        QCOMPARE(waitIo(link.av, ExportResp, 3000).value_or(QByteArray()), u32s({1, 77, 0, 129}));
        QElapsedTimer timer;
        timer.start();
        const int ex = startAv(link.sid, "admin", "pb", 129);
        QVERIFY(ex >= 0);
        // Acknowledged as read: the device runs at full speed within its window.
        const auto ack = [&](int received) {
            return sendIo(link.av, ExportAck, u32s({1, 77, std::uint32_t(received)})) >= 0;
        };
        QVERIFY(ack(0));
        int video = 0, audio = 0, spanStarts = 0;
        qint64 lastVideo = -1, lastAudio = -1;
        std::optional<QByteArray> end;
        qint64 endMs = 0;
        while (true) {
            const std::optional<Frame> v = recvVideo(ex, 0);
            const std::optional<Frame> a = recvAudio(ex, 0);
            if (v) {
                const qint64 t = recordingMs(v->info);
                const bool spanStart = v->info.flags & SpanStartFlag;
                QVERIFY(video > 0 || spanStart);
                QVERIFY(!spanStart || (v->info.flags & KeyFlag));
                QCOMPARE(t, spanStart ? (spanStarts == 0 ? yesterday(1, 28, 30) * 1000
                                                         : yesterday(2, 0, 0) * 1000)
                                      : lastVideo + FrameMs);
                spanStarts += spanStart;
                lastVideo = t;
                ++video;
            }
            if (a) {
                QVERIFY(recordingMs(a->info) > lastAudio);
                lastAudio = recordingMs(a->info);
                ++audio;
            }
            if ((v || a) && (video + audio) % 16 == 0)
                QVERIFY(ack(video + audio));
            if (!end && !v && !a) {
                unsigned int type = 0;
                char buf[64];
                const int n = avRecvIOCtrl(link.av, &type, buf, sizeof buf, 5);
                if (n >= 0 && type == ExportEnd) {
                    end = QByteArray(buf, n);
                    endMs = timer.elapsed();
                }
                QVERIFY(timer.elapsed() < 120000);
            } else if (end && !v && !a) {
                break;
            }
        }
        avClientStop(ex);
        QCOMPARE(end->size(), 20);
        QCOMPARE(end->left(12), u32s({1, 77, 0}));
        QCOMPARE(video, 120 * 25);
        QCOMPARE(audio, 120 * 25);
        QCOMPARE(int(u32At(*end, 12)), video);
        QCOMPARE(int(u32At(*end, 16)), audio);
        QCOMPARE(spanStarts, 2);
        const double rate = 120000.0 / std::max<qint64>(1, endMs);
        qInfo("exported 120 s of SD video and sound in %lld ms: %.1fx real time", endMs, rate);
        QVERIFY2(rate >= 2.0, qPrintable(QString::number(rate)));
    }

    // A reader that stops acknowledging holds the device at its window, so
    // nothing overflows the client's queues; an acknowledgement lets more go.
    void exportWaitsForAcknowledgements()
    {
        const QByteArray request = u32s({0}) + PlaybackControl::deviceTime(yesterday(1, 0, 0)) +
                                   PlaybackControl::deviceTime(yesterday(1, 10, 0)) + u32s({41});
        QVERIFY(sendIo(link.av, ExportStart, request) >= 0);
        QCOMPARE(waitIo(link.av, ExportResp, 3000).value_or(QByteArray()), u32s({0, 41, 0, 128}));
        const int ex = startAv(link.sid, "admin", "pb", 128);
        QVERIFY(ex >= 0);
        QVERIFY(sendIo(link.av, ExportAck, u32s({0, 41, 0})) >= 0);
        const auto count = [&] {
            int n = 0;
            for (bool any = true; any;) {
                any = false;
                if (recvVideo(ex, 200)) {
                    any = true;
                    ++n;
                }
                while (recvAudio(ex, 0))
                    ++n;
            }
            return n;
        };
        QTest::qWait(500);
        QCOMPARE(count(), 48);
        QVERIFY(sendIo(link.av, ExportAck, u32s({0, 41, 48})) >= 0);
        QTest::qWait(300);
        QCOMPARE(count(), 48);
        QVERIFY(sendIo(link.av, ExportStop, u32s({0, 41})) >= 0);
        QVERIFY(waitIo(link.av, ExportEnd, 5000));
        avClientStop(ex);
    }

    void exportIsRefusedBusyAndCancelled()
    {
        const auto start = [&](qint64 from, qint64 to, std::uint32_t id) {
            return sendIo(link.av, ExportStart,
                          u32s({0}) + PlaybackControl::deviceTime(from) +
                              PlaybackControl::deviceTime(to) + u32s({id})) >= 0
                       ? waitIo(link.av, ExportResp, 3000).value_or(QByteArray())
                       : QByteArray();
        };
        QCOMPARE(start(yesterday(1, 40, 0), yesterday(1, 50, 0), 1), u32s({0, 1, 2, 0}));
        QCOMPARE(start(yesterday(1, 50, 0), yesterday(1, 40, 0), 2), u32s({0, 2, 3, 0}));
        QCOMPARE(start(yesterday(1, 0, 0), yesterday(1, 30, 0), 3), u32s({0, 3, 0, 128}));
        QCOMPARE(start(yesterday(1, 0, 0), yesterday(1, 30, 0), 4), u32s({0, 4, 1, 0}));
        int ex = startAv(link.sid, "admin", "pb", 128);
        QVERIFY(ex >= 0);
        QVERIFY(recvVideo(ex, 3000));
        QVERIFY(sendIo(link.av, ExportStop, u32s({0, 3})) >= 0);
        std::optional<QByteArray> end = waitIo(link.av, ExportEnd, 5000);
        QVERIFY(end);
        QCOMPARE(end->left(12), u32s({0, 3, 1}));
        QVERIFY(u32At(*end, 12) > 0 && u32At(*end, 12) < 30 * 60 * 25);
        // Closing the export channel cancels too.
        avClientStop(ex);
        QCOMPARE(start(yesterday(1, 0, 0), yesterday(1, 30, 0), 5), u32s({0, 5, 0, 128}));
        ex = startAv(link.sid, "admin", "pb", 128);
        QVERIFY(ex >= 0);
        QVERIFY(recvVideo(ex, 3000));
        avClientStop(ex);
        end = waitIo(link.av, ExportEnd, 5000);
        QVERIFY(end);
        QCOMPARE(end->left(12), u32s({0, 5, 1}));
        QVERIFY(link.sim.waitForLine(QRegularExpression("^EXPORT \\S+ \\S+ cancel 0 5 "), 3000));
    }

    void recordKindsSplitAtMotionAndAlarms()
    {
        QVERIFY(sendIo(link.av, ListReq,
                       u32s({0}) + PlaybackControl::deviceTime(yesterday(0, 30, 0)) +
                           PlaybackControl::deviceTime(yesterday(2, 30, 0))) >= 0);
        const std::optional<QByteArray> list = waitIo(link.av, ListResp, 3000);
        QVERIFY(list);
        struct Entry
        {
            qint64 start;
            int kind;
            quint32 length;
        };
        const Entry expected[] = {{yesterday(1, 0, 0), 1, 600},  {yesterday(1, 10, 0), 2, 120},
                                  {yesterday(1, 12, 0), 1, 480}, {yesterday(1, 20, 0), 3, 60},
                                  {yesterday(1, 21, 0), 1, 540}, {yesterday(2, 0, 0), 1, 180}};
        QCOMPARE(int(list->at(10)), 6);
        for (int i = 0; i < 6; ++i) {
            const QByteArray entry = list->mid(12 + 16 * i, 16);
            QCOMPARE(PlaybackControl::readDeviceTime(entry, 0).value_or(0), expected[i].start);
            QCOMPARE(int(entry.at(8)), expected[i].kind);
            QCOMPARE(u32At(entry, 12), expected[i].length);
        }
        // Playback runs across the kind change at 01:10 without an end.
        QVERIFY(startPaused(yesterday(1, 9, 59)));
        QVERIFY(sendIo(link.av, Speed, u32s({0, 128})) >= 0);
        QVERIFY(waitIo(link.av, SpeedResp, 3000));
        QVERIFY(resume());
        qint64 ms = 0;
        while (ms < yesterday(1, 10, 2) * 1000) {
            const std::optional<Frame> f = recvVideo(pb, 3000);
            QVERIFY(f);
            ms = recordingMs(f->info);
        }
        QVERIFY(!waitIo(link.av, ControlResp, 300));
    }

    void malformedRequestsGetNoAnswer_data()
    {
        QTest::addColumn<std::uint32_t>("type");
        QTest::addColumn<std::uint32_t>("answer");
        QTest::addColumn<int>("size");
        const struct
        {
            const char *name;
            std::uint32_t type, answer;
            int size;
        } messages[] = {{"caps", CapsReq, CapsResp, 4},
                        {"speed", Speed, SpeedResp, 8},
                        {"step", Step, StepResp, 16},
                        {"thumbnail", ThumbReq, ThumbResp, 20},
                        {"export start", ExportStart, ExportResp, 24},
                        {"export stop", ExportStop, ExportEnd, 8}};
        for (const auto &m : messages) {
            QTest::newRow(qPrintable(QStringLiteral("%1 empty").arg(m.name)))
                << m.type << m.answer << 0;
            QTest::newRow(qPrintable(QStringLiteral("%1 one byte short").arg(m.name)))
                << m.type << m.answer << m.size - 1;
        }
    }
    void malformedRequestsGetNoAnswer()
    {
        QFETCH(std::uint32_t, type);
        QFETCH(std::uint32_t, answer);
        QFETCH(int, size);
        const int from = link.sim.lineCount();
        QVERIFY(sendIo(link.av, type, QByteArray(size, '\0')) >= 0);
        QVERIFY(!waitIo(link.av, answer, 400));
        QVERIFY(link.sim.waitForLineFrom(from, QRegularExpression("^(PLAYBACK|EXPORT) .* bad "),
                                         3000) >= 0);
        QVERIFY(sendIo(link.av, CapsReq, u32s({0})) >= 0); // still answering
        QVERIFY(waitIo(link.av, CapsResp, 3000));
    }

private:
    bool resume()
    {
        return sendIo(link.av, Control, control(0)) >= 0 && waitIo(link.av, ControlResp, 3000);
    }

    // Starts playback at `at` on channel 0, waits for its first frame, pauses and drains.
    bool startPaused(qint64 at)
    {
        if (sendIo(link.av, Control, control(16, at)) < 0 || !waitIo(link.av, ControlResp, 3000))
            return false;
        if (pb < 0)
            pb = startAv(link.sid, "admin", "pb", PlaybackControl::PlaybackAvBase);
        bool started = false;
        while (!started) {
            const std::optional<Frame> f = recvVideo(pb, 3000);
            if (!f)
                return false;
            started = f->info.timestamp == quint32(at);
        }
        if (sendIo(link.av, Control, control(0)) < 0 || !waitIo(link.av, ControlResp, 3000))
            return false;
        drain(pb);
        return true;
    }

    DevsimLink link;
    int pb = -1;
};

ORVANE_TEST_GUILESS_MAIN(tst_DevsimPlaybackExt)
#include "tst_devsim_playback_ext.moc"
