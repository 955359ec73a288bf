// Both RTSP readers against devsim's RTSP server (GStreamer's, digest
// authentication), H.264 and H.265: every item is one whole access unit that
// decodes into exactly one picture, key frames carry their parameter sets,
// refusals and failures end with their cause, and a stopped reader calls
// nothing back.

#include "DevsimProcess.h"
#include "TestMain.h"

#include "link/ChannelBufferItem.h"
#include "media/GstRtspReader.h"
#include "media/H26xDecoder.h"
#include "media/PictureExchange.h"
#include "media/RecordFile.h"
#include "media/RtspReader.h"

#include <QTcpServer>
#include <QtTest>

#include <memory>
#include <mutex>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/error.h>
}

namespace {

const QString Password = QStringLiteral("reader-pw");

// What a reader reported, from its worker thread.
struct Reports
{
    std::mutex lock;
    int opened = 0;
    int framesBeforeOpened = 0;
    std::vector<std::unique_ptr<ChannelBufferItem>> frames;
    int ends = 0;
    int code = 0;
    QString text;
    int callsAfterStop = 0;
    std::atomic<bool> stopped{false};

    RtspReader::Callbacks callbacks()
    {
        RtspReader::Callbacks c;
        c.opened = [this](int, int) {
            std::lock_guard<std::mutex> l(lock);
            ++opened;
            callsAfterStop += stopped ? 1 : 0;
        };
        c.frame = [this](ChannelBufferItem *item) {
            std::lock_guard<std::mutex> l(lock);
            framesBeforeOpened += opened == 0 ? 1 : 0;
            callsAfterStop += stopped ? 1 : 0;
            frames.emplace_back(item);
        };
        c.ended = [this](int c, const QString &t) {
            std::lock_guard<std::mutex> l(lock);
            ++ends;
            code = c;
            text = t;
            callsAfterStop += stopped ? 1 : 0;
        };
        return c;
    }
    int frameCount()
    {
        std::lock_guard<std::mutex> l(lock);
        return int(frames.size());
    }
    int endCount()
    {
        std::lock_guard<std::mutex> l(lock);
        return ends;
    }
};

} // namespace

class tst_RtspReader : public QObject
{
    Q_OBJECT

private:
    DevsimProcess h264;
    DevsimProcess h265;
    quint16 h264Port = 0;
    quint16 h265Port = 0;

    static bool startSim(DevsimProcess &sim, const QString &uid, const QString &codec,
                         quint16 *port)
    {
        const QStringList args{"--uid",     uid,         "--type", "7",          "--channels",
                               "1",         "--account", "admin",  "--password", Password,
                               "--pattern", "solid",     "--sd",   "320x180",    "--fps",
                               "10",        "--gop",     "5",      "--codec",    codec,
                               "--rtsp",    "0"};
        QRegularExpressionMatch m;
        if (!sim.start(args) ||
            !sim.waitForLine(QRegularExpression("^RTSP " + uid + " rtsp://127.0.0.1:(\\d+)/"),
                             10000, &m))
            return false;
        *port = quint16(m.captured(1).toUInt());
        return true;
    }

    static void addReaders(const char *row, const QByteArray &codec)
    {
        if (GstRtspReader::usable(nullptr))
            QTest::newRow(QByteArray("gstreamer ").append(row).constData())
                << int(RtspReader::Kind::GStreamer) << codec;
        QTest::newRow(QByteArray("ffmpeg ").append(row).constData())
            << int(RtspReader::Kind::FFmpeg) << codec;
    }

    RtspReader::Options options(const QByteArray &codec, const QString &password,
                                const QString &path = QStringLiteral("0/sub")) const
    {
        const bool hevc = codec == "h265";
        const QString url = QStringLiteral("rtsp://127.0.0.1:%1/%2/%3")
                                .arg(hevc ? h265Port : h264Port)
                                .arg(hevc ? "READERH265" : "READERH264", path);
        RtspReader::Options o;
        o.shownUrl = url;
        o.url = QString(url).insert(7, "admin:" + password + '@').toUtf8();
        o.user = "admin";
        o.password = password.toUtf8();
        return o;
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(!DevsimProcess::executable().isEmpty(), "devsim not built");
        QVERIFY2(startSim(h264, "READERH264", "h264", &h264Port), qPrintable(h264.errorText()));
        QVERIFY2(startSim(h265, "READERH265", "h265", &h265Port), qPrintable(h265.errorText()));
    }

    void framesAreWholeAccessUnits_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QByteArray>("codec");
        addReaders("h264", "h264");
        addReaders("h265", "h265");
    }
    void framesAreWholeAccessUnits()
    {
        QFETCH(int, kind);
        QFETCH(QByteArray, codec);
        Reports r;
        auto reader =
            RtspReader::create(RtspReader::Kind(kind), options(codec, Password), r.callbacks());
        reader->start();
        QTRY_VERIFY_WITH_TIMEOUT(r.frameCount() >= 12 || r.endCount() > 0, 20000);
        // Stopped, the reader calls nothing back, not even its end.
        r.stopped = true;
        reader->requestStop();
        QTRY_VERIFY_WITH_TIMEOUT(reader->finished(), 5000);
        reader.reset();
        QVERIFY2(r.ends == 0, qPrintable(r.text));
        QCOMPARE(r.opened, 1);
        QCOMPARE(r.framesBeforeOpened, 0);
        const int codecId = codec == "h265" ? AV_CODEC_ID_HEVC : AV_CODEC_ID_H264;
        VideoDecoderSet set;
        QCOMPARE(H26xDecoder::setUp(set, codecId, 320, 180, 1000), int(DecodeCode::Decoded));
        SwsContextPtr converter;
        PictureExchange pictures;
        int keys = 0;
        uint32_t lastTag = 0;
        for (const auto &item : r.frames) {
            QCOMPARE(H26xDecoder::codecIdForFrame(item->codecId()), codecId);
            const bool key = RecordFile::isKeyUnit(codecId, item->data, item->size);
            QCOMPARE(item->keyFrame(), key);
            if (key) {
                ++keys;
                QVERIFY(!RecordFile::parameterSets(codecId, item->data, item->size).isEmpty());
            }
            if (keys == 0)
                continue; // joined mid-group: nothing decodes before a key frame
            // One item, one picture: an item that held part of a frame, or
            // two, would give none or two.
            const H26xDecoder::Result d = H26xDecoder::decode(
                set, converter, item->data, item->size, item->timestamp(), item->tag(), pictures);
            QCOMPARE(d.pictures, 1);
            QCOMPARE(QSize(d.width, d.height), QSize(320, 180));
            QVERIFY(item->tag() >= lastTag); // the sender's clock runs forward
            lastTag = item->tag();
        }
        QVERIFY(keys >= 2); // a key frame every five
        QCOMPARE(r.callsAfterStop, 0);
    }

    void failuresEndWithTheirCause_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QByteArray>("codec");
        addReaders("wrong password", "password");
        addReaders("unknown stream", "path");
        addReaders("nobody listening", "port");
    }
    void failuresEndWithTheirCause()
    {
        QFETCH(int, kind);
        QFETCH(QByteArray, codec);
        RtspReader::Options o = codec == "password" ? options("h264", "wrong")
                                : codec == "path"   ? options("h264", Password, "7/sub")
                                                    : options("h264", Password);
        if (codec == "port") {
            QTcpServer probe; // a port where nothing listens
            QVERIFY(probe.listen(QHostAddress::LocalHost));
            const QString port = QString::number(probe.serverPort());
            probe.close();
            o.shownUrl.replace(QString::number(h264Port), port);
            o.url.replace(QByteArray::number(h264Port), port.toUtf8());
        }
        Reports r;
        auto reader = RtspReader::create(RtspReader::Kind(kind), o, r.callbacks());
        reader->start();
        QTRY_VERIFY_WITH_TIMEOUT(r.endCount() > 0, 15000);
        QTRY_VERIFY(reader->finished());
        QCOMPARE(r.frameCount(), 0);
        QCOMPARE(r.ends, 1);
        QVERIFY2(!r.text.isEmpty() && !r.text.contains(Password), qPrintable(r.text));
        if (codec == "password")
            QCOMPARE(r.code, AVERROR_HTTP_UNAUTHORIZED);
        else if (codec == "path")
            QCOMPARE(r.code, AVERROR_HTTP_NOT_FOUND);
        else
            QVERIFY(r.code < 0);
    }
};

ORVANE_TEST_GUILESS_MAIN(tst_RtspReader)
#include "tst_rtspreader.moc"
