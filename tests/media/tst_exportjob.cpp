// Export to MP4 files (ExportJob, ExportWriter) fed by a stream of the test's
// own: a file per recorded span, timestamps from the recording time however
// fast the frames come, sound where there is some, nothing left behind by a
// cancel or a failure, and malformed frames dropped.

#include "VideoDecodeFixture.h"

#include "link/ChannelBufferItem.h"
#include "link/ExportStream.h"
#include "link/IoCtrl.h"
#include "media/ExportJob.h"
#include "media/ExportWriter.h"
#include "media/G711.h"
#include "media/H26xDecoder.h"

#include "av/AvHandles.h"

#include <QDir>
#include <QtEndian>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <thread>
#include "TestMain.h"

extern "C" {
#include <libavformat/avformat.h>
}

namespace {

constexpr qint64 From = 1700000000000; // UTC ms
constexpr int FrameMs = 40;

// A frame as the P2P receive step makes it.
ChannelBufferItem *makeItem(const QByteArray &data, uint16_t codec, bool key, quint8 marks,
                            qint64 recordMs)
{
    auto *item = new ChannelBufferItem();
    item->data = new uint8_t[size_t(std::max<qsizetype>(1, data.size()))];
    std::memcpy(item->data, data.constData(), size_t(data.size()));
    item->size = item->capacity = int(data.size());
    uint8_t info[ChannelBufferItem::FrameInfoSize] = {};
    info[0] = uint8_t(codec & 0xFF);
    info[1] = uint8_t(codec >> 8);
    info[2] = uint8_t((key ? 1 : 0) | marks);
    const int ms = int(recordMs % 1000) + 1;
    info[5] = uint8_t(ms & 0xFF);
    info[6] = uint8_t(ms >> 8);
    qToLittleEndian(quint32(recordMs / 1000), info + 12);
    item->setFrameInfo(info);
    return item;
}

// What the test sends through a stream, and the stream that hands it over.
struct Frame
{
    QByteArray data;
    uint16_t codec = H26xDecoder::FrameCodecH264;
    bool key = false;
    quint8 marks = 0;
    qint64 ms = 0;
    bool video = true;
};

class FakeStream final : public ExportStream
{
public:
    explicit FakeStream(QList<Frame> frames)
        : m_frames(std::move(frames))
    {}
    void start(Callbacks callbacks) override { m_callbacks = std::move(callbacks); }
    void cancel() override { m_callbacks = Callbacks(); }
    // Hands over `count` more frames (all: -1) at once, as fast as they come.
    void feed(int count = -1)
    {
        for (int n = 0; m_next < m_frames.size() && n != count; ++n, ++m_next) {
            const Frame &f = m_frames[m_next];
            if (m_callbacks.frame)
                m_callbacks.frame(makeItem(f.data, f.codec, f.key, f.marks, f.ms), f.video);
        }
    }
    void end(bool ok, const QString &why = QString())
    {
        if (m_callbacks.finished)
            m_callbacks.finished(ok, why);
    }

private:
    QList<Frame> m_frames;
    qsizetype m_next = 0;
    Callbacks m_callbacks;
};

// One A-law frame (40 ms) of a 500 Hz tone.
QByteArray toneFrame()
{
    QByteArray out(320, Qt::Uninitialized);
    for (int i = 0; i < out.size(); ++i)
        out[i] = char(G711::alaw(int16_t(8000 * std::sin(i * 2 * M_PI * 500 / 8000))));
    return out;
}

struct StreamInfo
{
    bool ok = false;
    int width = 0;
    int height = 0;
    int videoPackets = 0;
    qint64 videoMs = 0; // first picture to the end of the last
    bool audio = false;
};

// Reads an MP4 back with libavformat.
StreamInfo probe(const QString &path)
{
    StreamInfo info;
    AVFormatContext *raw = nullptr;
    if (avformat_open_input(&raw, QFile::encodeName(path).constData(), nullptr, nullptr) < 0)
        return info;
    AvInputFormatPtr format(raw);
    if (avformat_find_stream_info(raw, nullptr) < 0)
        return info;
    const int video = av_find_best_stream(raw, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (video < 0)
        return info;
    info.audio = av_find_best_stream(raw, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0) >= 0;
    info.width = raw->streams[video]->codecpar->width;
    info.height = raw->streams[video]->codecpar->height;
    const AVRational tb = raw->streams[video]->time_base;
    AvPacketPtr packet = makeAvPacket();
    qint64 first = -1;
    qint64 end = 0;
    while (av_read_frame(raw, packet.get()) >= 0) {
        if (packet->stream_index == video) {
            ++info.videoPackets;
            if (first < 0)
                first = packet->pts;
            end = std::max<qint64>(end, packet->pts + packet->duration);
        }
        av_packet_unref(packet.get());
    }
    info.videoMs = av_rescale_q(end - std::max<qint64>(0, first), tb, AVRational{1, 1000});
    info.ok = true;
    return info;
}

QStringList filesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files, QDir::Name);
}

} // namespace

Q_DECLARE_METATYPE(Frame)

using Spans = QList<QPair<int, int>>; // start second after From, frames

class tst_ExportJob : public QObject
{
    Q_OBJECT

    QList<EncodedFrame> m_pictures; // GOP of 25

    // The frames of recorded spans: pictures every FrameMs, the first of each
    // span flagged, and the sound of each span (40 ms frames) when asked.
    QList<Frame> framesOf(const Spans &spans, bool sound, int stepMs = FrameMs)
    {
        QList<Frame> out;
        const QByteArray tone = toneFrame();
        for (const auto &[startSec, count] : spans) {
            const qint64 start = From + startSec * 1000LL;
            for (int i = 0; i < count; ++i) {
                const EncodedFrame &p = m_pictures[i % m_pictures.size()];
                const qint64 t = start + qint64(i) * stepMs;
                if (sound)
                    for (qint64 a = t; a < t + stepMs; a += 40)
                        out.append({tone, ExportWriter::AlawCodecId, false, 0, a, false});
                out.append({p.data, H26xDecoder::FrameCodecH264, p.key,
                            quint8(i ? 0 : IoCtrl::FrameSpanStart), t, true});
            }
        }
        return out;
    }

    ExportJob *jobFor(FakeStream *stream, const QString &folder, qint64 to)
    {
        ExportJob::Target t;
        t.deviceName = QStringLiteral("Front/Door: cam");
        t.channelNumber = 2;
        t.open = [stream] { return std::unique_ptr<ExportStream>(stream); };
        return new ExportJob({t}, From, to, folder, this);
    }

private slots:
    void initTestCase()
    {
        m_pictures = encodeSolid(VideoCodec::H264, 320, 180, 25, 90, 100, 160);
        if (m_pictures.isEmpty())
            QSKIP("no H.264 encoder");
        QVERIFY(m_pictures.first().key);
    }

    void spansBecomeFilesOnTheRecordingTime_data()
    {
        QTest::addColumn<Spans>("spans");
        QTest::addColumn<bool>("sound");
        QTest::addColumn<int>("stepMs");
        QTest::newRow("one span with sound") << Spans{{0, 75}} << true << FrameMs;
        QTest::newRow("two spans, a gap between") << Spans{{0, 50}, {90, 30}} << true << FrameMs;
        QTest::newRow("silent, 12.5 pictures a second") << Spans{{10, 40}} << false << 80;
    }
    void spansBecomeFilesOnTheRecordingTime()
    {
        QFETCH(Spans, spans);
        QFETCH(bool, sound);
        QFETCH(int, stepMs);
        QTemporaryDir dir;
        auto *stream = new FakeStream(framesOf(spans, sound, stepMs));
        ExportJob *job = jobFor(stream, dir.path(), From + 200000);
        QSignalSpy finished(job, &ExportJob::finished);
        QSignalSpy progress(job, &ExportJob::progress);
        job->start();
        // All at once, far faster than real time, from a thread as the link's.
        std::thread([stream] { stream->feed(); }).join();
        QTRY_VERIFY(!progress.isEmpty() && progress.last()[0].toInt() > 0);
        stream->end(true);
        QCOMPARE(finished.size(), 1);
        QVERIFY2(finished[0][0].toBool(), qPrintable(finished[0][1].toString()));
        const QStringList files = finished[0][2].toStringList();
        QCOMPARE(files.size(), spans.size());
        QCOMPARE(filesIn(dir.path()).size(), spans.size()); // no .part left
        for (int i = 0; i < spans.size(); ++i) {
            const qint64 start = From + spans[i].first * 1000LL;
            QCOMPARE(QFileInfo(files[i]).fileName(),
                     QStringLiteral("Front_Door_ cam_CH2_%1.mp4")
                         .arg(QDateTime::fromMSecsSinceEpoch(start).toLocalTime().toString(
                             QStringLiteral("yyyyMMdd-HHmmss"))));
            const StreamInfo info = probe(files[i]);
            QVERIFY(info.ok);
            QCOMPARE(info.width, 320);
            QCOMPARE(info.height, 180);
            QCOMPARE(info.videoPackets, spans[i].second);
            const qint64 expected = qint64(spans[i].second) * stepMs;
            QVERIFY2(
                qAbs(info.videoMs - expected) <= stepMs,
                qPrintable(QStringLiteral("%1 ms, expected %2").arg(info.videoMs).arg(expected)));
            QCOMPARE(info.audio, sound);
        }
        QVERIFY(!progress.isEmpty());
        QCOMPARE(progress.last()[0].toInt(), 100);
    }

    void endsWithoutPartialFiles_data()
    {
        QTest::addColumn<bool>("cancel");
        QTest::newRow("cancelled") << true;
        QTest::newRow("stream failed") << false;
    }
    void endsWithoutPartialFiles()
    {
        QFETCH(bool, cancel);
        QTemporaryDir dir;
        auto *stream = new FakeStream(framesOf({{0, 50}, {60, 50}}, true));
        ExportJob *job = jobFor(stream, dir.path(), From + 120000);
        QSignalSpy finished(job, &ExportJob::finished);
        job->start();
        stream->feed(160); // the first span complete, the second one under way
        QCOMPARE(filesIn(dir.path()).size(), 2);
        if (cancel)
            job->cancel();
        else
            stream->end(false, QStringLiteral("incomplete"));
        QCOMPARE(finished.size(), 1);
        QVERIFY(!finished[0][0].toBool());
        const QStringList left = filesIn(dir.path());
        QVERIFY2(left.filter(QStringLiteral(".part")).isEmpty(), qPrintable(left.join(u' ')));
        // A cancel takes back every file; a failure keeps the complete span.
        QCOMPARE(left.size(), cancel ? 0 : 1);
        QCOMPARE(finished[0][2].toStringList().size(), cancel ? 0 : 1);
        stream->feed(); // frames after the end are ignored
        QCOMPARE(filesIn(dir.path()), left);
    }

    void malformedFramesAreDropped_data()
    {
        QTest::addColumn<Frame>("bad");
        const QByteArray key = m_pictures.value(0).data;
        QTest::newRow("empty key frame")
            << Frame{QByteArray(), H26xDecoder::FrameCodecH264, true, 0, From};
        QTest::newRow("truncated key frame")
            << Frame{key.left(9), H26xDecoder::FrameCodecH264, true, 4, From};
        QTest::newRow("noise flagged key")
            << Frame{QByteArray(4000, '\xff'), H26xDecoder::FrameCodecH264, true, 4, From};
        QTest::newRow("unknown codec") << Frame{key, 7, true, 4, From};
        QTest::newRow("short sound") << Frame{QByteArray(1, 'x'), 138, false, 0, From, false};
    }
    void malformedFramesAreDropped()
    {
        QFETCH(Frame, bad);
        QTemporaryDir dir;
        QList<Frame> frames = framesOf({{0, 50}}, false);
        frames.prepend(bad);
        auto *stream = new FakeStream(frames);
        ExportJob *job = jobFor(stream, dir.path(), From + 60000);
        QSignalSpy finished(job, &ExportJob::finished);
        job->start();
        stream->feed();
        stream->end(true);
        QCOMPARE(finished.size(), 1);
        QVERIFY2(finished[0][0].toBool(), qPrintable(finished[0][1].toString()));
        const StreamInfo info = probe(finished[0][2].toStringList().value(0));
        QVERIFY(info.ok);
        QCOMPARE(info.videoPackets, 50);
    }

    void namesAndSoundDecode()
    {
        QCOMPARE(ExportWriter::sanitized(QStringLiteral(" ..a<b>c:\"d/e\\f|g?h*\ti. ")),
                 QStringLiteral("a_b_c__d_e_f_g_h__i"));
        QCOMPARE(ExportWriter::sanitized(QStringLiteral("/..")), QStringLiteral("_"));
        QCOMPARE(ExportWriter::sanitized(QStringLiteral("..")), QStringLiteral("device"));
        for (int s : {0, 5, -5, 100, -100, 1000, -1000, 12345, -12345, 32767, -32768}) {
            const int back = ExportWriter::alawSample(G711::alaw(int16_t(s)));
            QVERIFY2(qAbs(back - s) <= qMax(16, qAbs(s) / 16),
                     qPrintable(QStringLiteral("%1 -> %2").arg(s).arg(back)));
        }
    }
};

ORVANE_TEST_GUILESS_MAIN(tst_ExportJob)
#include "tst_exportjob.moc"
