// devsim's command line and JSON device files: how they combine, and malformed input.
// (Each option's effect is seen in the link tests, which start devsim with it.)
#include "CommandLine.h"

#include <QTemporaryDir>
#include <QtTest>
#include "TestMain.h"

using namespace devsim;

namespace {

CommandLine::Result parseArgs(QStringList args)
{
    args.prepend(QStringLiteral("devsim"));
    return CommandLine::parse(args);
}

} // namespace

class TestDevsimConfig : public QObject
{
    Q_OBJECT

private slots:
    void malformedCommandLines_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("no uid") << QStringList{"--name", "x"};
        QTest::newRow("uid too long") << QStringList{"--uid", "ABCDEFGHIJKLMNOPQRSTU"};
        QTest::newRow("uid with space") << QStringList{"--uid", "AB CD"};
        QTest::newRow("unknown codec") << QStringList{"--uid", "A", "--codec", "vp9"};
        QTest::newRow("size without x") << QStringList{"--uid", "A", "--sd", "640"};
        QTest::newRow("size odd") << QStringList{"--uid", "A", "--hd", "641x360"};
        QTest::newRow("size zero") << QStringList{"--uid", "A", "--hd", "0x0"};
        QTest::newRow("size huge") << QStringList{"--uid", "A", "--hd", "99999x99999"};
        QTest::newRow("fps zero") << QStringList{"--uid", "A", "--fps", "0"};
        QTest::newRow("fps text") << QStringList{"--uid", "A", "--fps", "fast"};
        QTest::newRow("port too big") << QStringList{"--uid", "A", "--port", "65536"};
        QTest::newRow("channels zero") << QStringList{"--uid", "A", "--channels", "0"};
        QTest::newRow("channels 65") << QStringList{"--uid", "A", "--channels", "65"};
        QTest::newRow("max-sessions zero") << QStringList{"--uid", "A", "--max-sessions", "0"};
        QTest::newRow("unknown fault") << QStringList{"--uid", "A", "--fault", "explode"};
        QTest::newRow("unknown option") << QStringList{"--uid", "A", "--colour", "red"};
        QTest::newRow("recording span without end")
            << QStringList{"--uid", "A", "--recordings", "08:00"};
        QTest::newRow("recording span empty")
            << QStringList{"--uid", "A", "--recordings", "08:00-08:00"};
        QTest::newRow("recording clock 25:00")
            << QStringList{"--uid", "A", "--recordings", "01:00-25:00"};
        QTest::newRow("record-days zero") << QStringList{"--uid", "A", "--record-days", "0"};
        QTest::newRow("stray argument") << QStringList{"--uid", "A", "extra"};
        QTest::newRow("version too long")
            << QStringList{"--uid", "A", "--version", QString(64, 'v')};
        QTest::newRow("rtsp port too big") << QStringList{"--uid", "A", "--rtsp", "65536"};
        QTest::newRow("unknown onvif-auth") << QStringList{"--uid", "A", "--onvif-auth", "ntlm"};
        QTest::newRow("wsd-port text") << QStringList{"--uid", "A", "--wsd-port", "any"};
        QTest::newRow("missing value") << QStringList{"--uid"};
        QTest::newRow("missing config file")
            << QStringList{"--config", "/nonexistent/devsim-config.json"};
    }

    void malformedCommandLines()
    {
        QFETCH(QStringList, args);
        const CommandLine::Result r = parseArgs(args);
        QVERIFY(!r.error.isEmpty());
        QVERIFY(r.devices.empty());
    }

    // A device file from the command line: JSON values of every kind (text, number,
    // boolean) become options; the other options on the command line are every device's
    // defaults, and the file wins over them.
    void configFileWithCommandLineDefaults()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QFile file(dir.filePath(QStringLiteral("devices.json")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(R"([{"uid": "DVR4", "name": "Shop DVR", "channels": 4, "shared-stream": true},
                       {"uid": "NVR8", "fps": 10, "sd": "320x240", "refuse-timezone": true}])");
        file.close();
        const CommandLine::Result r = parseArgs(
            {"--config", file.fileName(), "--fps", "5", "--codec", "h265", "--password", "pw"});
        QVERIFY2(r.error.isEmpty(), qPrintable(r.error));
        QCOMPARE(r.devices.size(), size_t(2));
        QCOMPARE(r.devices[0].name, QStringLiteral("Shop DVR"));
        QCOMPARE(r.devices[0].channels, 4);
        QCOMPARE(r.devices[0].fps, 5);
        QVERIFY(!r.devices[0].refuseTimezone);
        QVERIFY(r.devices[0].sharedStream && !r.devices[1].sharedStream);
        QCOMPARE(r.devices[1].fps, 10);
        QCOMPARE(r.devices[1].sd, QSize(320, 240));
        QVERIFY(r.devices[1].refuseTimezone);
        for (const DeviceConfig &c : r.devices) {
            QCOMPARE(c.codec, VideoCodec::H265);
            QCOMPARE(c.password, QStringLiteral("pw"));
        }
    }

    void malformedJson_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("truncated") << QByteArray(R"([{"uid": "A")");
        QTest::newRow("object not array") << QByteArray(R"({"uid": "A"})");
        QTest::newRow("empty array") << QByteArray("[]");
        QTest::newRow("array of strings") << QByteArray(R"(["A"])");
        QTest::newRow("missing uid") << QByteArray(R"([{"name": "x"}])");
        QTest::newRow("duplicate uid") << QByteArray(R"([{"uid": "A"}, {"uid": "A"}])");
        QTest::newRow("unknown key") << QByteArray(R"([{"uid": "A", "colour": "red"}])");
        QTest::newRow("fractional fps") << QByteArray(R"([{"uid": "A", "fps": 12.5}])");
        QTest::newRow("number beyond long long")
            << QByteArray(R"([{"uid": "A", "drop-after": 3.6e73}])");
        QTest::newRow("array value") << QByteArray(R"([{"uid": "A", "channels": [4]}])");
        QTest::newRow("null value") << QByteArray(R"([{"uid": "A", "name": null}])");
        QTest::newRow("second device bad")
            << QByteArray(R"([{"uid": "A"}, {"uid": 7, "type": "x"}])");
    }

    void malformedJson()
    {
        QFETCH(QByteArray, json);
        const CommandLine::Result r = CommandLine::parseJson(json, {});
        QVERIFY(!r.error.isEmpty());
        QVERIFY(r.devices.empty());
    }
};

ORVANE_TEST_GUILESS_MAIN(TestDevsimConfig)
#include "tst_devsim_config.moc"
