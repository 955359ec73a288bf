// devsim's RTSP sound, ONVIF replay and back channel, against a devsim process on loopback with
// a raw RTSP client (interleaved over TCP) and GStreamer's own rtspsrc: the replay starts at the
// Range clock time, runs at the Scale, jumps over gaps with the D flag and ends with the T flag;
// the live PCMA track carries the channel's tone; a 1 kHz tone sent on the back channel ends up
// in the --talk-wav file.
#include "DevsimProcess.h"

#include "ALaw.h"

#include <QDateTime>
#include <QFile>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>
#include "TestMain.h"

#include <cmath>
#include <optional>

using namespace devsim;

namespace {

constexpr int kFps = 10;

struct RtpPacket
{
    int channel = -1; // interleaved channel
    int payloadType = 0;
    quint32 timestamp = 0;
    QByteArray payload;
    std::optional<qint64> recordedMs; // the ONVIF replay extension's NTP time, as UTC ms
    quint8 flags = 0;                 // its C E D T bits (0x80 0x40 0x20 0x10)
};

// A minimal RTSP 1.0 client: requests with basic authentication and interleaved packets.
class RtspTalker
{
public:
    bool open(quint16 port)
    {
        m_socket.connectToHost(QHostAddress::LocalHost, port);
        return m_socket.waitForConnected(5000);
    }
    // The status; *head and *body receive the answer.
    int request(const QByteArray &method, const QByteArray &url, QByteArray extra = {},
                QByteArray *body = nullptr)
    {
        if (!m_session.isEmpty())
            extra += "Session: " + m_session + "\r\n";
        m_socket.write(method + ' ' + url + " RTSP/1.0\r\nCSeq: " + QByteArray::number(++m_cseq) +
                       "\r\nAuthorization: Basic " + QByteArray("admin:pw").toBase64() + "\r\n" +
                       extra + "\r\n");
        while (fill(5000)) {
            while (m_buffer.startsWith('$') && takePacket()) {
            }
            const int end = m_buffer.indexOf("\r\n\r\n");
            if (m_buffer.startsWith("RTSP/1.0") && end > 0) {
                const QByteArray head = m_buffer.left(end);
                const int length = header(head, "Content-Length").toInt();
                if (m_buffer.size() < end + 4 + length)
                    continue;
                if (body)
                    *body = m_buffer.mid(end + 4, length);
                m_buffer.remove(0, end + 4 + length);
                if (const QByteArray s = header(head, "Session"); !s.isEmpty())
                    m_session = s.split(';').first();
                return head.mid(9, 3).toInt();
            }
        }
        return -1;
    }
    std::optional<RtpPacket> next(int timeoutMs = 5000)
    {
        while (m_packets.isEmpty()) {
            if (!m_buffer.isEmpty() && m_buffer.at(0) != '$')
                m_buffer.remove(0, m_buffer.indexOf('$') > 0 ? m_buffer.indexOf('$') : 1);
            else if (!takePacket() && !fill(timeoutMs))
                return std::nullopt;
        }
        return m_packets.takeFirst();
    }
    void send(int channel, const QByteArray &rtp)
    {
        QByteArray frame("$");
        frame.append(char(channel)).append(char(rtp.size() >> 8)).append(char(rtp.size() & 0xff));
        m_socket.write(frame + rtp);
        m_socket.flush();
    }
    static QByteArray header(const QByteArray &head, const QByteArray &name)
    {
        for (const QByteArray &line : head.split('\n'))
            if (line.toLower().startsWith(name.toLower() + ':'))
                return line.mid(name.size() + 1).trimmed();
        return {};
    }

private:
    bool fill(int timeoutMs)
    {
        if (m_socket.bytesAvailable() == 0 && !m_socket.waitForReadyRead(timeoutMs))
            return false;
        m_buffer += m_socket.readAll();
        return true;
    }
    bool takePacket()
    {
        if (m_buffer.size() < 4)
            return false;
        const int length = (quint8(m_buffer.at(2)) << 8) | quint8(m_buffer.at(3));
        if (m_buffer.size() < 4 + length)
            return false;
        const QByteArray rtp = m_buffer.mid(4, length);
        RtpPacket p;
        p.channel = m_buffer.at(1);
        m_buffer.remove(0, 4 + length);
        if (rtp.size() < 12 || (quint8(rtp.at(0)) >> 6) != 2)
            return true;
        p.payloadType = rtp.at(1) & 0x7f;
        p.timestamp = qFromBigEndian<quint32>(rtp.constData() + 4);
        int at = 12 + 4 * (rtp.at(0) & 0x0f);
        if ((rtp.at(0) & 0x10) && rtp.size() >= at + 4) {
            const int words = qFromBigEndian<quint16>(rtp.constData() + at + 2);
            if (qFromBigEndian<quint16>(rtp.constData() + at) == 0xABAC && words == 3) {
                const quint64 ntp = qFromBigEndian<quint64>(rtp.constData() + at + 4);
                p.recordedMs = qint64((ntp >> 32) - 2208988800ULL) * 1000 +
                               qint64(((ntp & 0xffffffffULL) * 1000) >> 32);
                p.flags = quint8(rtp.at(at + 12));
            }
            at += 4 + 4 * words;
        }
        p.payload = rtp.mid(at);
        m_packets.append(p);
        return true;
    }

    QTcpSocket m_socket;
    QByteArray m_buffer;
    QByteArray m_session;
    QList<RtpPacket> m_packets;
    int m_cseq = 0;
};

// The power of `frequency` in 8 kHz samples (Goertzel).
double power(const std::vector<std::int16_t> &samples, double frequency)
{
    const double k = 2.0 * std::cos(2.0 * M_PI * frequency / 8000.0);
    double s1 = 0, s2 = 0;
    for (const std::int16_t x : samples) {
        const double s0 = x + k * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    return s1 * s1 + s2 * s2 - k * s1 * s2;
}

// The strongest of 300, 400, ... 1500 Hz.
int dominantFrequency(const std::vector<std::int16_t> &samples)
{
    int best = 0;
    for (int f = 300; f <= 1500; f += 100)
        if (best == 0 || power(samples, f) > power(samples, best))
            best = f;
    return best;
}

QString clockText(qint64 utcSec)
{
    return QDateTime::fromSecsSinceEpoch(utcSec, Qt::UTC).toString(QStringLiteral("hh:mm:ss"));
}

} // namespace

class TestDevsimRtsp : public QObject
{
    Q_OBJECT

    DevsimProcess m_sim;
    QTemporaryDir m_dir;
    quint16 m_port = 0;
    // Two recordings two hours ago: [m_t0, m_t0 + 4 s) and [m_t0 + 10 s, m_t0 + 14 s), the
    // device's last ones.
    qint64 m_t0 = 0;

    QByteArray url(const QString &path) const
    {
        return QStringLiteral("rtsp://127.0.0.1:%1/CAM1/%2").arg(m_port).arg(path).toUtf8();
    }
    // SETUPs the stream of `control` (from DESCRIBE with `require`) on interleaved 0-1 and PLAYs.
    void play(RtspTalker &rtsp, const QByteArray &path, const QByteArray &control,
              const QByteArray &require, const QByteArray &playHeaders)
    {
        QVERIFY(rtsp.open(m_port));
        QByteArray sdp;
        QCOMPARE(rtsp.request("DESCRIBE", url(path), require, &sdp), 200);
        QVERIFY2(sdp.contains(control), sdp.constData());
        QCOMPARE(rtsp.request("SETUP", url(path) + '/' + control,
                              require + "Transport: RTP/AVP/TCP;unicast;interleaved=0-1\r\n"),
                 200);
        QCOMPARE(rtsp.request("PLAY", url(path), require + playHeaders), 200);
    }

private slots:
    void initTestCase()
    {
        m_t0 = QDateTime::currentSecsSinceEpoch() - 7200;
        const QString spans = QStringLiteral("%1-%2,%3-%4")
                                  .arg(clockText(m_t0), clockText(m_t0 + 4), clockText(m_t0 + 10),
                                       clockText(m_t0 + 14));
        QVERIFY2(
            m_sim.start({"--uid", "CAM1", "--channels", "2", "--fps", QString::number(kFps), "--sd",
                         "320x180", "--password", "pw", "--rtsp", "0", "--recordings", spans,
                         "--record-days", "2", "--talk-wav", m_dir.filePath("talk.wav")}),
            qPrintable(m_sim.errorText()));
        QRegularExpressionMatch match;
        QVERIFY(m_sim.waitForLine(QRegularExpression("^RTSP CAM1 rtsp://[\\d.]+:(\\d+)/"), 5000,
                                  &match));
        m_port = quint16(match.captured(1).toUInt());
    }

    void replayFollowsRangeAndScale_data()
    {
        QTest::addColumn<int>("from"); // seconds after m_t0
        QTest::addColumn<double>("scale");
        QTest::newRow("real time from inside the second recording") << 11 << 1.0;
        QTest::newRow("4x forward") << 10 << 4.0;
        QTest::newRow("backwards, key frames") << 13 << -1.0;
    }
    void replayFollowsRangeAndScale()
    {
        QFETCH(int, from);
        QFETCH(double, scale);
        const QByteArray start = QDateTime::fromSecsSinceEpoch(m_t0 + from, Qt::UTC)
                                     .toString("yyyyMMddThhmmss")
                                     .toLatin1();
        RtspTalker rtsp;
        play(rtsp, QByteArray::number(1) + "/replay", "stream=0", "Require: onvif-replay\r\n",
             "Range: clock=" + start +
                 "Z-\r\nRate-Control: no\r\nScale: " + QByteArray::number(scale) + "\r\n");
        QList<RtpPacket> frames; // the first packet of each picture
        while (frames.size() < 6) {
            const std::optional<RtpPacket> p = rtsp.next();
            QVERIFY(p);
            if (p->channel == 0 && p->recordedMs &&
                (frames.isEmpty() || frames.last().timestamp != p->timestamp))
                frames.append(*p);
        }
        QVERIFY2(std::abs(*frames.first().recordedMs - (m_t0 + from) * 1000) <= 1000,
                 qPrintable(QString::number(*frames.first().recordedMs - (m_t0 + from) * 1000)));
        QVERIFY(frames.first().flags & 0x80); // a clean point first
        const qint64 step = *frames.at(5).recordedMs - *frames.at(1).recordedMs;
        QVERIFY2(std::abs(step - qint64(scale * 4 * 1000 / kFps)) <= 1000 / kFps,
                 qPrintable(QString::number(step)));
        if (scale < 0)
            QVERIFY(frames.at(3).flags & 0x80);
    }

    void replayJumpsGapsAndEnds()
    {
        const QByteArray start = QDateTime::fromSecsSinceEpoch(m_t0 + 2, Qt::UTC)
                                     .toString("yyyyMMddThhmmss.zzz")
                                     .toLatin1();
        RtspTalker rtsp;
        play(rtsp, "0/replay", "stream=0", "Require: onvif-replay\r\n",
             "Range: clock=" + start + "Z-\r\nRate-Control: no\r\n");
        std::optional<qint64> before, jumpedTo, last;
        bool ended = false;
        while (!ended) {
            const std::optional<RtpPacket> p = rtsp.next();
            QVERIFY2(p, "the stream neither ended nor went on");
            if (p->channel != 0 || !p->recordedMs)
                continue;
            if ((p->flags & 0x20) && before) // D: a jump
                jumpedTo = p->recordedMs;
            else if (!jumpedTo)
                before = p->recordedMs;
            last = p->recordedMs;
            ended = p->flags & 0x10; // T: the end
        }
        QVERIFY(before && jumpedTo && last);
        QVERIFY(*before < (m_t0 + 4) * 1000 && *before >= (m_t0 + 3) * 1000);
        QVERIFY(std::abs(*jumpedTo - (m_t0 + 10) * 1000) < 500);
        QVERIFY(*last < (m_t0 + 14) * 1000 && *last >= (m_t0 + 13) * 1000);
    }

    void replaySessionsAreBounded()
    {
        RtspTalker sessions[4]; // RtspServer::kMaxReplays
        for (RtspTalker &rtsp : sessions)
            play(rtsp, "0/replay", "stream=0", "Require: onvif-replay\r\n", {});
        RtspTalker refused;
        QVERIFY(refused.open(m_port));
        QCOMPARE(refused.request("DESCRIBE", url("0/replay")), 503);
        QCOMPARE(sessions[0].request("TEARDOWN", url("0/replay")), 200);
        RtspTalker later;
        QVERIFY(later.open(m_port));
        QCOMPARE(later.request("DESCRIBE", url("0/replay")), 200);
    }

    void replayPlaysInRtspsrc()
    {
        QProcess gst;
        gst.start(QStringLiteral("gst-launch-1.0"),
                  {"rtspsrc", "location=" + QString::fromLatin1(url("0/replay")), "user-id=admin",
                   "user-pw=pw", "onvif-mode=true", "protocols=tcp", "!", "rtph264depay", "!",
                   "avdec_h264", "!", "identity", "eos-after=5", "!", "fakesink"});
        QVERIFY(gst.waitForFinished(30000));
        QVERIFY2(gst.exitCode() == 0 && gst.readAll().contains("Got EOS"),
                 gst.readAllStandardError().constData());
    }

    void liveAudioCarriesTheTone_data()
    {
        QTest::addColumn<int>("channel");
        QTest::newRow("channel 0, 400 Hz") << 0;
        QTest::newRow("channel 1, 500 Hz") << 1;
    }
    void liveAudioCarriesTheTone()
    {
        QFETCH(int, channel);
        RtspTalker rtsp;
        play(rtsp, QByteArray::number(channel) + "/sub", "stream=1", {}, {});
        std::vector<std::int16_t> samples;
        while (samples.size() < 8000) {
            const std::optional<RtpPacket> p = rtsp.next();
            QVERIFY(p);
            QVERIFY(p->channel != 0 || p->payloadType == 8);
            if (p->channel == 0) {
                const std::vector<std::int16_t> pcm = ALaw::decode(p->payload);
                samples.insert(samples.end(), pcm.begin(), pcm.end());
            }
        }
        QCOMPARE(dominantFrequency(samples), 400 + 100 * channel);
    }

    void backChannelIsRecorded()
    {
        const QByteArray require = "Require: www.onvif.org/ver20/backchannel\r\n";
        RtspTalker rtsp;
        play(rtsp, "0/main", "stream=2", require, {});
        const int mark = m_sim.lineCount();
        std::vector<std::int16_t> tone(160);
        const auto send = [&](int n) {
            for (int i = 0; i < 160; ++i)
                tone[i] = std::int16_t(8000 * std::sin(2 * M_PI * 1000 * (n * 160 + i) / 8000.0));
            QByteArray rtp(12, 0);
            rtp[0] = char(0x80);
            rtp[1] = char(8);
            qToBigEndian<quint16>(quint16(n), rtp.data() + 2);
            qToBigEndian<quint32>(quint32(n * 160), rtp.data() + 4);
            rtsp.send(0, rtp + ALaw::encode(tone));
            QTest::qWait(20); // as a microphone sends: 20 ms at a time
        };
        // The media goes to PLAYING after its answer, later on a loaded
        // machine: the tone flows until devsim hears it, then one more second.
        int n = 0;
        const QRegularExpression opened("^TALK_OPEN CAM1 ");
        for (; n < 500 && m_sim.matchingLines(opened, mark).isEmpty(); ++n)
            send(n);
        for (const int last = n + 50; n < last; ++n)
            send(n);
        QTest::qWait(300);
        QCOMPARE(rtsp.request("TEARDOWN", url("0/main")), 200);
        // "TALK_CLOSE <uid> <session>/<channel> <bytes>"
        QRegularExpressionMatch closed;
        QVERIFY2(m_sim.waitForLineFrom(mark, QRegularExpression("^TALK_CLOSE CAM1 \\d+/0 (\\d+)$"),
                                       5000, &closed) >= 0,
                 qPrintable(m_sim.lines().mid(mark).join(QLatin1Char('|'))));
        QVERIFY2(closed.captured(1).toInt() >= 4000, qPrintable(closed.captured(0)));
        QFile wav(m_dir.filePath("talk.wav"));
        QVERIFY(wav.open(QIODevice::ReadOnly));
        const QByteArray bytes = wav.readAll();
        QVERIFY(bytes.startsWith("RIFF") && bytes.size() > 44 + 2 * 4000);
        std::vector<std::int16_t> samples((bytes.size() - 44) / 2);
        std::memcpy(samples.data(), bytes.constData() + 44, samples.size() * 2);
        QCOMPARE(dominantFrequency(samples), 1000);
    }
};

ORVANE_TEST_GUILESS_MAIN(TestDevsimRtsp)
#include "tst_devsim_rtsp.moc"
