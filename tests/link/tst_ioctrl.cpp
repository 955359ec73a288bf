// Payload builders and reply readers of the IO control messages, and the
// LAN search result entries.

#include "link/IoCtrl.h"
#include "link/LanSearchResult.h"

#include <p2p/p2p.h>

#include <QTest>
#include "TestMain.h"
#include <QTimeZone>

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

QByteArray searchEntry(const QByteArray &uid, const QByteArray &ip, quint16 port,
                       const QByteArray &name)
{
    QByteArray e(P2P_SEARCH_ENTRY_SIZE, '\0');
    e.replace(P2P_SEARCH_UID_OFFSET, uid.size(), uid);
    e.replace(P2P_SEARCH_IP_OFFSET, ip.size(), ip);
    e[P2P_SEARCH_PORT_OFFSET] = char(port & 0xFF);
    e[P2P_SEARCH_PORT_OFFSET + 1] = char(port >> 8);
    e.replace(P2P_SEARCH_NAME_OFFSET, name.size(), name);
    return e;
}

} // namespace

class TstIoCtrl : public QObject
{
    Q_OBJECT

private slots:
    void payloadLayouts_data()
    {
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<QByteArray>("expected");
        auto row = [](const char *name, const QByteArray &payload, const QByteArray &expected) {
            QTest::newRow(name) << payload << expected;
        };
        using namespace IoCtrl;
        row("stream prepare", streamPrepare(), hex("0000"));
        row("video start", videoStart(3), hex("03000000 00000000"));
        row("video stop", videoStop(258), hex("02010000 00000000"));
        row("audio start", audioStart(), hex("00000000"));
        row("audio stop", audioStop(), hex("00000000"));
        row("quality hd", qualitySet(2, true), hex("02000000 01000000"));
        row("quality sd", qualitySet(2, false), hex("02000000 00000000"));
        row("version request", versionRequest(), QByteArray(64, '\0'));
        row("speaker", speaker(7), hex("07000000 00000000"));
        // Time text: no leading zeros, no terminator, no time-zone conversion.
        const QDateTime local(QDate(2020, 5, 20), QTime(7, 4, 38));
        row("time", timeSet(local), "2020-5-20-7-4-38");
        row("time in utc",
            timeSet(QDateTime(QDate(2021, 12, 31), QTime(23, 59, 0), QTimeZone::utc())),
            "2021-12-31-23-59-0");
        row("time zone", timeZoneSet(QStringLiteral("GMT+08:00")), "GMT+08:00");
        row("empty time zone", timeZoneSet(QString()), QByteArray());
        // Wi-Fi: SSID and password in 32-byte fields (cut, never spilling over), Latin-1.
        const QByteArray none(64, '\0');
        row("wifi", wifiSet("home", "s3cret"), "home" + none.left(28) + "s3cret" + none.left(38));
        row("wifi, over-long fields", wifiSet(QString(40, 'a'), QString(40, 'b')),
            QByteArray(32, 'a') + QByteArray(32, 'b') + none.left(12));
        row("wifi, latin-1", wifiSet(QStringLiteral("caf\u00e9"), QString()).left(5),
            QByteArray("caf\xe9\0", 5));
        // Record list: the whole local day, in UTC.
        const QDate day(2020, 5, 20);
        row("record list", recordListRequest(1, day),
            hex("01000000") + deviceTime(QDateTime(day, QTime(0, 0, 0)).toUTC()) +
                deviceTime(QDateTime(day, QTime(23, 59, 59)).toUTC()) + none.left(4));
        // PTZ: short form 8 bytes, long form 12 bytes.
        row("ptz short", ptzShort(3, 9, 4), hex("0309 000000 04 0000"));
        row("ptz long", ptzLong(3, 9, 4, 0), hex("0309 0000 04000000 00 000000"));
        row("ptz control short", ptzControl(1, 2, 3, true).payload, hex("0203 000000 01 0000"));
        row("ptz control long", ptzControl(1, 2, 3, false).payload,
            hex("0203 0000 01000000 00 000000"));
        row("point 0 short", ptzPoint(0, 0, true).payload, hex("0500 000000 00 0000"));
        row("point 1 short", ptzPoint(0, 1, true).payload, hex("0600 000000 00 0000"));
        row("point 0 long", ptzPoint(2, 0, false).payload, hex("0f00 0000 02000000 01 000000"));
        row("point 6 long", ptzPoint(2, 6, false).payload, hex("0f00 0000 02000000 07 000000"));
        row("cruise 0 short", ptzCruise(0, 0, true).payload, hex("0700 000000 00 0000"));
        row("cruise 1 short", ptzCruise(0, 1, true).payload, hex("0800 000000 00 0000"));
        row("cruise 2 long", ptzCruise(1, 2, false).payload, hex("1000 0000 01000000 03 000000"));
        row("cruise path long", ptzCruisePath(1, 20, 5, 3, false).payload,
            hex("1405 0000 01000000 04 000000"));
        row("cruise path short", ptzCruisePath(1, 20, 5, 3, true).payload,
            hex("1405 000000 01 0000"));
        // Playback control: channel, command, parameter, start time (UTC), flags.
        const QByteArray utc = deviceTime(local.toUTC());
        row("playback start", playbackStart(2, local, true, 5),
            hex("02000000 10000000 00000000") + utc + hex("02 00 00 00"));
        row("playback start, type 3", playbackStart(2, local, true, 3),
            hex("02000000 04000000 00000000") + utc + hex("00 00 03 00"));
        row("playback start, no flag", playbackStart(2, local, false, 5),
            hex("02000000 05000000 00000000") + utc + hex("02 00 00 00"));
        row("playback pause", playbackPause(1),
            hex("01000000 00000000 00000000 0000000000000000 01000000"));
        row("playback resume", playbackResume(1, true),
            hex("01000000 10000000 00000000 0000000000000000 01000000"));
        row("playback resume, no flag", playbackResume(1, false),
            hex("01000000 00000000 00000000 0000000000000000 01000000"));
        row("playback stop", playbackStop(1),
            hex("01000000 01000000 00000000 0000000000000000 00000000"));
        row("playback seek", playbackSeek(3, local, 90),
            hex("03000000") + utc + hex("5a000000 00000000"));
    }

    void payloadLayouts()
    {
        QFETCH(QByteArray, payload);
        QFETCH(QByteArray, expected);
        QCOMPARE(payload, expected);
    }

    void ptzFormPicksTheMessageType()
    {
        QCOMPARE(IoCtrl::ptzControl(1, 2, 3, true).type, IOCTRL_PTZ_SHORT);
        QCOMPARE(IoCtrl::ptzControl(1, 2, 3, false).type, IOCTRL_PTZ_LONG);
        QCOMPARE(IoCtrl::ptzCruisePath(1, 20, 5, 3, false).type, IOCTRL_PTZ_LONG);
    }

    void deviceTimeLayout()
    {
        const QDateTime dt(QDate(2020, 5, 20), QTime(7, 4, 38));
        QCOMPARE(IoCtrl::deviceTime(dt), hex("e407 05 14 00 07 04 26"));
        const QDateTime back = IoCtrl::readDeviceTimeUtc(hex("e407 05 14 03 07 04 26"), 0);
        QCOMPARE(back, QDateTime(QDate(2020, 5, 20), QTime(7, 4, 38), QTimeZone::utc()));
        // Out of range or truncated bytes give an invalid date-time.
        QVERIFY(!IoCtrl::readDeviceTimeUtc(hex("e407 0d 14 00 07 04 26"), 0).isValid());
        QVERIFY(!IoCtrl::readDeviceTimeUtc(hex("e407 05 14 00 07 04"), 0).isValid());
        QVERIFY(!IoCtrl::readDeviceTimeUtc(hex("e407 05 14 00 07 04 26"), 1).isValid());
    }

    void replyReadersRejectShortPayloads()
    {
        QCOMPARE(IoCtrl::readU32(hex("01000000"), 0).value(), 1u);
        QCOMPARE(IoCtrl::readU32(hex("00000000 ffffffff"), 4).value(), 0xFFFFFFFFu);
        QVERIFY(!IoCtrl::readU32(hex("010000"), 0));
        QVERIFY(!IoCtrl::readU32(QByteArray(), 0));
        QVERIFY(!IoCtrl::readU32(hex("01000000"), -1));
        QCOMPARE(IoCtrl::readU8(hex("0000000001"), 4).value(), quint8(1));
        QVERIFY(!IoCtrl::readU8(hex("00000000"), 4));
    }

    void recordListParsing()
    {
        QByteArray reply(12, '\0');
        reply[10] = 2;
        reply += hex("e407 05 14 00 07 04 26 00000000 58020000"); // 600 s
        reply += hex("e407 05 14 00 08 00 00 00000000 0a000000"); // 10 s
        const auto entries = IoCtrl::parseRecordList(reply);
        QVERIFY(entries);
        QCOMPARE(entries->size(), 2);
        QCOMPARE(entries->at(0).startUtc,
                 QDateTime(QDate(2020, 5, 20), QTime(7, 4, 38), QTimeZone::utc()));
        QCOMPARE(entries->at(0).lengthSeconds, 600u);
        QCOMPARE(entries->at(1).lengthSeconds, 10u);

        // A count larger than the records present: only whole records are read.
        reply[10] = 5;
        QCOMPARE(IoCtrl::parseRecordList(reply)->size(), 2);
        QCOMPARE(IoCtrl::parseRecordList(reply.left(12 + 16 + 8))->size(), 1);
        // No header at all.
        QVERIFY(!IoCtrl::parseRecordList(hex("0000")));
        QByteArray empty(12, '\0');
        QCOMPARE(IoCtrl::parseRecordList(empty)->size(), 0);
    }

    void playbackExtensionLayouts()
    {
        using namespace IoCtrl;
        // 2020-05-20 07:04:38.250 UTC
        const qint64 t = QDateTime(QDate(2020, 5, 20), QTime(7, 4, 38, 250), QTimeZone::utc())
                             .toMSecsSinceEpoch();
        const QByteArray when = hex("e407 05 14 00 07 04 26"); // the weekday is not sent
        QCOMPARE(playbackCapsRequest(2), hex("02000000"));
        QCOMPARE(playbackSpeed(1, -32), hex("01000000 e0ffffff"));
        QCOMPARE(playbackStep(1, t), hex("01000000") + when + hex("fa00 0000"));
        QCOMPARE(thumbnailRequest(1, t, 7, 4000),
                 hex("01000000") + when + hex("07000000 8002 0000"));
        QCOMPARE(exportStart(1, t, t + 120000, 9).left(12), hex("01000000") + when);
        QCOMPARE(exportStart(1, t, t + 120000, 9).mid(20), hex("09000000"));
        QCOMPARE(exportStop(3, 9), hex("03000000 09000000"));
        QCOMPARE(exportAck(3, 9, 48), hex("03000000 09000000 30000000"));
        for (int s : {1, 2, 4, 8, 16, 32, 64, 128, -8, -128})
            QVERIFY2(isValidSpeed(s), qPrintable(QString::number(s)));
        for (int s : {0, 3, -1, -4, 256, -256})
            QVERIFY2(!isValidSpeed(s), qPrintable(QString::number(s)));
    }

    // Every reply reader of the playback extensions: well-formed replies,
    // another channel's, short ones and fields out of range.
    void playbackExtensionReplies_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("accepted");
        const QByteArray when = hex("e407 05 14 03 07 04 26");
        const QByteArray jpeg = hex("ffd8ffd9");
        auto row = [](const char *name, int type, const QByteArray &r, bool ok) {
            QTest::newRow(name) << type << r << ok;
        };
        row("caps", 0x741, hex("01000000 7f000000 10 10 0000"), true);
        row("caps short", 0x741, hex("01000000 7f000000 10"), false);
        row("caps other channel", 0x741, hex("02000000 7f000000 10 10 0000"), false);
        row("speed", 0x743, hex("01000000 00000000 20000000"), true);
        row("speed refused", 0x743, hex("01000000 02000000 08000000"), true);
        row("speed unknown value", 0x743, hex("01000000 00000000 03000000"), false);
        row("step", 0x745, hex("01000000 00000000") + when + hex("e703 0000"), true);
        row("step ms out of range", 0x745, hex("01000000 00000000") + when + hex("e803 0000"),
            false);
        row("step bad date", 0x745, hex("01000000 00000000 e407 0d 14 03 07 04 26 0000 0000"),
            false);
        row("step refused", 0x745, hex("01000000 01000000") + QByteArray(12, '\0'), true);
        row("thumbnail", 0x747,
            hex("01000000 05000000 00000000") + when + hex("0000 0000 04000000") + jpeg, true);
        row("thumbnail length beyond data", 0x747,
            hex("01000000 05000000 00000000") + when + hex("0000 0000 05000000") + jpeg, false);
        row("thumbnail too large", 0x747,
            hex("01000000 05000000 00000000") + when + hex("0000 0000 813e0000") +
                QByteArray(16001, 'x'),
            false);
        row("thumbnail empty", 0x747,
            hex("01000000 05000000 00000000") + when + hex("0000 0000 00000000"), false);
        row("thumbnail none", 0x747, hex("01000000 05000000 01000000") + QByteArray(16, '\0'),
            true);
        row("export", 0x749, hex("01000000 09000000 00000000 81000000"), true);
        row("export channel id too large", 0x749, hex("01000000 09000000 00000000 00010000"),
            false);
        row("export short", 0x749, hex("01000000 09000000 00000000"), false);
        row("export end", 0x74A, hex("01000000 09000000 00000000 b80b0000 96000000"), true);
        row("export end short", 0x74A, hex("01000000 09000000 00000000 b80b0000"), false);
    }

    void playbackExtensionReplies()
    {
        QFETCH(int, type);
        QFETCH(QByteArray, reply);
        QFETCH(bool, accepted);
        using namespace IoCtrl;
        bool got = false;
        switch (type) {
        case 0x741:
            if (const auto c = parsePlaybackCaps(reply, 1)) {
                got = true;
                QCOMPARE(c->maxForward, 16);
                QCOMPARE(c->maxReverse, 16);
            }
            break;
        case 0x743:
            got = parseSpeedReply(reply, 1).has_value();
            break;
        case 0x745:
            if (const auto r = parseStepReply(reply, 1)) {
                got = true;
                if (r->result == 0)
                    QCOMPARE(r->landedUtcMs % 1000, 999);
            }
            break;
        case 0x747:
            if (const auto r = parseThumbnailReply(reply, 1)) {
                got = true;
                QCOMPARE(r->requestId, 5u);
                QCOMPARE(r->jpeg.size(), r->result == 0 ? 4 : 0);
            }
            break;
        case 0x749:
            if (const auto r = parseExportReply(reply, 1)) {
                got = true;
                QCOMPARE(r->avChannel, 129);
            }
            break;
        case 0x74A:
            if (const auto e = parseExportEnd(reply, 1)) {
                got = true;
                QCOMPARE(e->videoFrames, 3000u);
                QCOMPARE(e->audioFrames, 150u);
            }
            break;
        }
        QCOMPARE(got, accepted);
    }

    void recordListKinds()
    {
        QByteArray reply(12, '\0');
        reply[10] = 3;
        reply += hex("e407 05 14 00 07 00 00 01000000 3c000000");
        reply += hex("e407 05 14 00 07 01 00 02000000 3c000000");
        reply += hex("e407 05 14 00 07 02 00 09000000 3c000000"); // unknown kind
        const auto entries = IoCtrl::parseRecordList(reply);
        QCOMPARE(entries->size(), 3);
        QCOMPARE(entries->at(0).kind, IoCtrl::RecordKind::Continuous);
        QCOMPARE(entries->at(1).kind, IoCtrl::RecordKind::Motion);
        QCOMPARE(entries->at(2).kind, IoCtrl::RecordKind::Unknown);
    }

    void lanSearchEntries()
    {
        QByteArray entries = searchEntry("UID-AAA", "192.168.1.20", 32108, "cam one");
        entries += searchEntry("UID-BBB", "10.0.0.2", 0, "");
        const QList<LanSearchResult> r = LanSearchResult::fromEntries(entries, 2);
        QCOMPARE(r.size(), 2);
        QCOMPARE(r[0].uid, QStringLiteral("UID-AAA"));
        QCOMPARE(r[0].ip, QStringLiteral("192.168.1.20"));
        QCOMPARE(r[0].port, QStringLiteral("32108"));
        QCOMPARE(r[0].name, QStringLiteral("cam one"));
        QCOMPARE(r[1].port, QStringLiteral("0"));
        QCOMPARE(r[1].name, QString());
    }

    void lanSearchEntriesMalformed()
    {
        // Texts filling their whole field without a terminator stay inside it.
        QByteArray e(P2P_SEARCH_ENTRY_SIZE, 'x');
        const LanSearchResult r = LanSearchResult::fromEntry(e.constData());
        QCOMPARE(r.uid.size(), P2P_SEARCH_IP_OFFSET - P2P_SEARCH_UID_OFFSET);
        QCOMPARE(r.ip.size(), P2P_SEARCH_PORT_OFFSET - P2P_SEARCH_IP_OFFSET);
        QCOMPARE(r.name.size(), P2P_SEARCH_ENTRY_SIZE - P2P_SEARCH_NAME_OFFSET);
        QCOMPARE(r.port, QString::number(0x7878));
        // A count larger than the data: cut-off entries are left out.
        QCOMPARE(LanSearchResult::fromEntries(e + e.left(100), 5).size(), 1);
        QCOMPARE(LanSearchResult::fromEntries(QByteArray(), 3).size(), 0);
        QCOMPARE(LanSearchResult::fromEntries(e, -1).size(), 0);
    }
};

ORVANE_TEST_GUILESS_MAIN(TstIoCtrl)
#include "tst_ioctrl.moc"
