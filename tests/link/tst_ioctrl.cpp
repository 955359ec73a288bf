// Payload builders and reply readers of the IO control messages, and the
// LAN search result entries.

#include "link/IoCtrl.h"
#include "link/LanSearchResult.h"

#include <p2p/p2p.h>

#include <QTest>
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
    void messageTypesHaveTheirWireValues()
    {
        QCOMPARE(unsigned(IOCTRL_STREAM_PREPARE), 0x00FFu);
        QCOMPARE(unsigned(IOCTRL_VIDEO_START), 0x01FFu);
        QCOMPARE(unsigned(IOCTRL_VIDEO_STOP), 0x02FFu);
        QCOMPARE(unsigned(IOCTRL_AUDIO_START), 0x0300u);
        QCOMPARE(unsigned(IOCTRL_AUDIO_STOP), 0x0301u);
        QCOMPARE(unsigned(IOCTRL_RECORD_LIST_REQ), 0x0318u);
        QCOMPARE(unsigned(IOCTRL_PLAYBACK_CONTROL), 0x031Au);
        QCOMPARE(unsigned(IOCTRL_QUALITY_SET), 0x0320u);
        QCOMPARE(unsigned(IOCTRL_PLAYBACK_SEEK), 0x033Cu);
        QCOMPARE(unsigned(IOCTRL_WIFI_SET), 0x0342u);
        QCOMPARE(unsigned(IOCTRL_SPEAKER_START), 0x0350u);
        QCOMPARE(unsigned(IOCTRL_SPEAKER_STOP), 0x0351u);
        QCOMPARE(unsigned(IOCTRL_PLAYBACK_BUSY), 0x0701u);
        QCOMPARE(unsigned(IOCTRL_PTZ_SHORT), 0x1001u);
        QCOMPARE(unsigned(IOCTRL_PTZ_LONG), 0x1012u);
        QCOMPARE(unsigned(IOCTRL_VERSION_REQ), 0x331Bu);
        QCOMPARE(unsigned(IOCTRL_VERSION_RESP), 0x331Cu);
        QCOMPARE(unsigned(IOCTRL_TIME_SET), 0x331Eu);
        QCOMPARE(unsigned(IOCTRL_TIMEZONE_SET), 0x332Eu);
        QCOMPARE(unsigned(IOCTRL_TIMEZONE_SET_RESP), 0x332Fu);
    }

    void streamAndAudioPayloads()
    {
        QCOMPARE(IoCtrl::streamPrepare(), hex("0000"));
        QCOMPARE(IoCtrl::videoStart(3), hex("03000000 00000000"));
        QCOMPARE(IoCtrl::videoStop(258), hex("02010000 00000000"));
        QCOMPARE(IoCtrl::audioStart(), hex("00000000"));
        QCOMPARE(IoCtrl::audioStop(), hex("00000000"));
        QCOMPARE(IoCtrl::qualitySet(2, true), hex("02000000 01000000"));
        QCOMPARE(IoCtrl::qualitySet(2, false), hex("02000000 00000000"));
        QCOMPARE(IoCtrl::versionRequest(), QByteArray(64, '\0'));
        QCOMPARE(IoCtrl::speaker(7), hex("07000000 00000000"));
    }

    void timeTextHasNoLeadingZerosNorTerminator()
    {
        const QDateTime dt(QDate(2020, 5, 20), QTime(7, 4, 38));
        const QByteArray p = IoCtrl::timeSet(dt);
        QCOMPARE(p, QByteArray("2020-5-20-7-4-38"));
        QCOMPARE(p.size(), 16);
        // No time-zone conversion, whatever the date-time's zone.
        const QDateTime utc(QDate(2021, 12, 31), QTime(23, 59, 0), QTimeZone::utc());
        QCOMPARE(IoCtrl::timeSet(utc), QByteArray("2021-12-31-23-59-0"));
    }

    void timeZoneIsItsLatin1Text()
    {
        QCOMPARE(IoCtrl::timeZoneSet(QStringLiteral("GMT+08:00")), QByteArray("GMT+08:00"));
        QCOMPARE(IoCtrl::timeZoneSet(QString()), QByteArray());
    }

    void wifiPayloadIs76BytesWithPasswordAt32()
    {
        const QByteArray p = IoCtrl::wifiSet(QStringLiteral("home"), QStringLiteral("s3cret"));
        QCOMPARE(p.size(), 76);
        QCOMPARE(p.left(4), QByteArray("home"));
        QCOMPARE(p.mid(4, 28), QByteArray(28, '\0'));
        QCOMPARE(p.mid(32, 6), QByteArray("s3cret"));
        QCOMPARE(p.mid(38), QByteArray(38, '\0'));
        // Over-long fields are cut to their 32 bytes, never spilling over.
        const QByteArray longer =
            IoCtrl::wifiSet(QString(40, QLatin1Char('a')), QString(40, QLatin1Char('b')));
        QCOMPARE(longer.size(), 76);
        QCOMPARE(longer.left(32), QByteArray(32, 'a'));
        QCOMPARE(longer.mid(32, 32), QByteArray(32, 'b'));
        QCOMPARE(longer.mid(64), QByteArray(12, '\0'));
        // Latin-1, one byte per character.
        QCOMPARE(IoCtrl::wifiSet(QStringLiteral("caf\u00e9"), QString()).left(5),
                 QByteArray("caf\xe9\0", 5));
    }

    void ptzPayloads()
    {
        QCOMPARE(IoCtrl::ptzShort(3, 9, 4), hex("0309 000000 04 0000"));
        QCOMPARE(IoCtrl::ptzLong(3, 9, 4, 0), hex("0309 0000 04000000 00 000000"));

        IoCtrl::Message m = IoCtrl::ptzControl(1, 2, 3, true);
        QCOMPARE(m.type, IOCTRL_PTZ_SHORT);
        QCOMPARE(m.payload, hex("0203 000000 01 0000"));
        m = IoCtrl::ptzControl(1, 2, 3, false);
        QCOMPARE(m.type, IOCTRL_PTZ_LONG);
        QCOMPARE(m.payload, hex("0203 0000 01000000 00 000000"));

        QCOMPARE(IoCtrl::ptzPoint(0, false, true).payload, hex("0500 000000 00 0000"));
        QCOMPARE(IoCtrl::ptzPoint(0, true, true).payload, hex("0600 000000 00 0000"));
        QCOMPARE(IoCtrl::ptzPoint(2, false, false).payload, hex("0f00 0000 02000000 01 000000"));
        QCOMPARE(IoCtrl::ptzPoint(2, true, false).payload, hex("0f00 0000 02000000 02 000000"));

        QCOMPARE(IoCtrl::ptzCruise(0, false, true).payload, hex("0700 000000 00 0000"));
        QCOMPARE(IoCtrl::ptzCruise(0, true, true).payload, hex("0800 000000 00 0000"));
        QCOMPARE(IoCtrl::ptzCruise(1, true, false).payload, hex("1000 0000 01000000 02 000000"));

        m = IoCtrl::ptzCruisePath(1, 20, 5, 3, false);
        QCOMPARE(m.type, IOCTRL_PTZ_LONG);
        QCOMPARE(m.payload, hex("1405 0000 01000000 04 000000"));
        QCOMPARE(IoCtrl::ptzCruisePath(1, 20, 5, 3, true).payload, hex("1405 000000 01 0000"));
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

    void playbackPayloads()
    {
        const QDateTime start(QDate(2020, 5, 20), QTime(7, 4, 38));
        const QByteArray utcTime = IoCtrl::deviceTime(start.toUTC());

        QByteArray p = IoCtrl::playbackStart(2, start, true, 5);
        QCOMPARE(p.size(), 24);
        QCOMPARE(p.left(12), hex("02000000 10000000 00000000"));
        QCOMPARE(p.mid(12, 8), utcTime);
        QCOMPARE(p.mid(20), hex("02 00 00 00"));

        p = IoCtrl::playbackStart(2, start, true, 3);
        QCOMPARE(p.mid(4, 4), hex("04000000"));
        QCOMPARE(p.mid(20), hex("00 00 03 00"));

        p = IoCtrl::playbackStart(2, start, false, 5);
        QCOMPARE(p.mid(4, 4), hex("05000000"));
        QCOMPARE(p.mid(20), hex("02 00 00 00"));

        QCOMPARE(IoCtrl::playbackPause(1),
                 hex("01000000 00000000 00000000 0000000000000000 01000000"));
        QCOMPARE(IoCtrl::playbackResume(1, true),
                 hex("01000000 10000000 00000000 0000000000000000 01000000"));
        QCOMPARE(IoCtrl::playbackResume(1, false),
                 hex("01000000 00000000 00000000 0000000000000000 01000000"));
        QCOMPARE(IoCtrl::playbackStop(1),
                 hex("01000000 01000000 00000000 0000000000000000 00000000"));

        p = IoCtrl::playbackSeek(3, start, 90);
        QCOMPARE(p.size(), 20);
        QCOMPARE(p.left(4), hex("03000000"));
        QCOMPARE(p.mid(4, 8), utcTime);
        QCOMPARE(p.mid(12), hex("5a000000 00000000"));
    }

    void recordListRequestCoversTheLocalDay()
    {
        const QDate day(2020, 5, 20);
        const QByteArray p = IoCtrl::recordListRequest(1, day);
        QCOMPARE(p.size(), 24);
        QCOMPARE(p.left(4), hex("01000000"));
        QCOMPARE(p.mid(4, 8), IoCtrl::deviceTime(QDateTime(day, QTime(0, 0, 0)).toUTC()));
        QCOMPARE(p.mid(12, 8), IoCtrl::deviceTime(QDateTime(day, QTime(23, 59, 59)).toUTC()));
        QCOMPARE(p.mid(20), QByteArray(4, '\0'));
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

QTEST_GUILESS_MAIN(TstIoCtrl)
#include "tst_ioctrl.moc"
