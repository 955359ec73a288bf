// The device's IO control messages: the replies, actions and state changes they cause, and
// malformed requests, which change nothing.
#include "IoControl.h"
#include "IoCtrlType.h"

#include <QtTest>
#include "TestMain.h"

using namespace devsim;
using namespace devsim::IoCtrlType;

namespace {

QByteArray u32s(std::initializer_list<std::uint32_t> values)
{
    QByteArray out;
    for (std::uint32_t v : values)
        out += IoControl::u32(v);
    return out;
}

const char *kindName(IoAction::Kind kind)
{
    static const char *const names[] = {"StartVideo", "StopVideo", "SwitchQuality", "StartAudio",
                                        "StopAudio",  "StartTalk", "StopTalk"};
    return names[static_cast<int>(kind)];
}

} // namespace

class TestDevsimIoControl : public QObject
{
    Q_OBJECT

private:
    DeviceSettings m_settings;
    std::unique_ptr<IoControl> m_io;
    AvChannelState m_state;

    // One message's outcome in one line: "reply <type> <payload hex>" and the actions
    // ("StartVideo 3"), joined by "; "; "unknown" when no handler takes the type.
    QString send(std::uint32_t type, const QByteArray &payload)
    {
        const IoOutcome o = m_io->handle(m_state, type, payload);
        if (!o.known)
            return QStringLiteral("unknown");
        QStringList parts;
        if (o.reply)
            parts << QStringLiteral("reply %1 %2")
                         .arg(o.reply->type, 0, 16)
                         .arg(QString::fromLatin1(o.reply->payload.toHex()));
        for (const IoAction &a : o.actions)
            parts << QStringLiteral("%1 %2").arg(QLatin1String(kindName(a.kind))).arg(a.value);
        return parts.join(QStringLiteral("; "));
    }

private slots:
    void init()
    {
        m_settings = DeviceSettings();
        m_settings.version = "V2.3.4 test";
        m_settings.channels = 4;
        m_io = std::make_unique<IoControl>(m_settings);
        m_state = AvChannelState();
        m_state.avChannel = 2;
    }

    void videoAndAudioFollowTheirChannels()
    {
        QCOMPARE(send(StreamPrepare, QByteArray(2, '\0')), QString());
        QCOMPARE(send(VideoStart, u32s({3, 0})), QString("StartVideo 3"));
        QCOMPARE(send(VideoStop, u32s({3, 0})), QString("StopVideo 3"));
        QCOMPARE(send(VideoStop, u32s({3, 0})), QString());  // already stopped
        QCOMPARE(send(VideoStart, u32s({4, 0})), QString()); // no such channel
        // A short payload means the AV channel's own number; so does audio, always.
        QCOMPARE(send(VideoStart, "\x01"), QString("StartVideo 2"));
        QCOMPARE(send(AudioStart, QByteArray(4, '\0')), QString("StartAudio 2"));
        QCOMPARE(send(AudioStop, QByteArray(4, '\0')), QString("StopAudio 2"));
        m_state.avChannel = 9; // outside the device
        QCOMPARE(send(AudioStart, QByteArray(4, '\0')), QString());
    }

    void qualitySetSwitchesOnlyARunningStream()
    {
        QCOMPARE(send(QualitySet, u32s({1, 1})), QString("reply 321 00000000"));
        QVERIFY(m_state.hd);
        send(VideoStart, u32s({1, 0}));
        QCOMPARE(send(QualitySet, u32s({1, 0})), QString("reply 321 00000000; SwitchQuality 1"));
        QVERIFY(!m_state.hd);
        QCOMPARE(send(QualitySet, u32s({1, 0})), QString("reply 321 00000000"));
    }

    void speakerStartAndStopOpenAndCloseTalk()
    {
        QCOMPARE(send(SpeakerStart, u32s({5, 0})), QString("StartTalk 5"));
        // A second start replaces the first talk.
        QCOMPARE(send(SpeakerStart, u32s({6, 0})), QString("StopTalk 5; StartTalk 6"));
        QCOMPARE(send(SpeakerStop, u32s({6, 0})), QString("StopTalk 6"));
        QCOMPARE(send(SpeakerStop, u32s({6, 0})), QString());
    }

    void malformedRequestsChangeNothing_data()
    {
        QTest::addColumn<uint>("type");
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<QString>("outcome");
        const QString qualityRefused = "reply 321 01000000";
        const QString wifiRefused = "reply 343 01000000";
        QTest::newRow("quality, empty") << QualitySet << QByteArray() << qualityRefused;
        QTest::newRow("quality, short") << QualitySet << u32s({1}) << qualityRefused;
        QTest::newRow("quality 2") << QualitySet << u32s({1, 2}) << qualityRefused;
        QTest::newRow("quality, channel beyond device")
            << QualitySet << u32s({4, 1}) << qualityRefused;
        QTest::newRow("wifi, short") << WifiSet << QByteArray(40, 'a') << wifiRefused;
        QTest::newRow("wifi, no SSID") << WifiSet << QByteArray(76, '\0') << wifiRefused;
        QTest::newRow("timezone, empty")
            << TimezoneSet << QByteArray() << QString("reply 332f 00000000");
        QTest::newRow("time, month 13") << TimeSet << QByteArray("2020-13-20-7-4-38") << QString();
        QTest::newRow("time, garbage") << TimeSet << QByteArray("garbage\xff") << QString();
        QTest::newRow("speaker, short") << SpeakerStart << QByteArray("\x01\x00", 2) << QString();
        QTest::newRow("speaker, channel id 256") << SpeakerStart << u32s({256, 0}) << QString();
        QTest::newRow("PTZ (no handler)")
            << PtzShort << QByteArray(8, '\x7f') << QString("unknown");
        QTest::newRow("unknown type") << 0xDEADu << QByteArray(8, '\x7f') << QString("unknown");
    }

    void malformedRequestsChangeNothing()
    {
        QFETCH(uint, type);
        QFETCH(QByteArray, payload);
        QFETCH(QString, outcome);
        QCOMPARE(send(type, payload), outcome);
        QVERIFY(!m_state.hd);
        QCOMPARE(m_state.talkChannelId, -1);
        QVERIFY(m_settings.timeText.isEmpty());
        QVERIFY(m_settings.timeZone.isEmpty());
        QVERIFY(m_settings.wifiSsid.isEmpty());
    }
};

ORVANE_TEST_GUILESS_MAIN(TestDevsimIoControl)
#include "tst_devsim_iocontrol.moc"
