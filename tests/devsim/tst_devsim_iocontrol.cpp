// The device's IO control state machine: replies, state changes and actions.
#include "IoControl.h"
#include "IoCtrlType.h"

#include <QtTest>

using namespace devsim;

namespace {

QByteArray u32s(std::initializer_list<std::uint32_t> values)
{
    QByteArray out;
    for (std::uint32_t v : values)
        out += IoControl::u32(v);
    return out;
}

bool hasAction(const IoOutcome &o, IoAction::Kind kind, int value)
{
    for (const IoAction &a : o.actions) {
        if (a.kind == kind && a.value == value)
            return true;
    }
    return false;
}

} // namespace

class TestDevsimIoControl : public QObject
{
    Q_OBJECT

private:
    DeviceSettings m_settings;
    std::unique_ptr<IoControl> m_io;
    AvChannelState m_state;

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

    void videoStartStopFollowsPayloadChannel()
    {
        IoOutcome o = m_io->handle(m_state, IoCtrlType::StreamPrepare, QByteArray(2, '\0'));
        QVERIFY(o.known);
        QVERIFY(!o.reply);
        QVERIFY(o.actions.empty());

        o = m_io->handle(m_state, IoCtrlType::VideoStart, u32s({3, 0}));
        QVERIFY(!o.reply);
        QVERIFY(hasAction(o, IoAction::Kind::StartVideo, 3));
        QVERIFY(m_state.videoOn);
        QCOMPARE(m_state.videoChannel, 3);

        o = m_io->handle(m_state, IoCtrlType::VideoStop, u32s({3, 0}));
        QVERIFY(hasAction(o, IoAction::Kind::StopVideo, 3));
        QVERIFY(!m_state.videoOn);

        // Stopping again changes nothing.
        o = m_io->handle(m_state, IoCtrlType::VideoStop, u32s({3, 0}));
        QVERIFY(o.actions.empty());
    }

    void videoStartForMissingChannelIsIgnored()
    {
        const IoOutcome o = m_io->handle(m_state, IoCtrlType::VideoStart, u32s({4, 0}));
        QVERIFY(o.actions.empty());
        QVERIFY(!m_state.videoOn);
        // A short payload means the AV channel's own number.
        const IoOutcome shortPayload = m_io->handle(m_state, IoCtrlType::VideoStart, "\x01");
        QVERIFY(hasAction(shortPayload, IoAction::Kind::StartVideo, 2));
    }

    void audioUsesAvChannelNumber()
    {
        IoOutcome o = m_io->handle(m_state, IoCtrlType::AudioStart, QByteArray(4, '\0'));
        QVERIFY(hasAction(o, IoAction::Kind::StartAudio, 2));
        QVERIFY(m_state.audioOn);
        QCOMPARE(m_state.audioChannel, 2);
        o = m_io->handle(m_state, IoCtrlType::AudioStop, QByteArray(4, '\0'));
        QVERIFY(hasAction(o, IoAction::Kind::StopAudio, 2));
        QVERIFY(!m_state.audioOn);

        m_state.avChannel = 9; // outside the device
        o = m_io->handle(m_state, IoCtrlType::AudioStart, QByteArray(4, '\0'));
        QVERIFY(o.actions.empty());
        QVERIFY(!m_state.audioOn);
    }

    void qualitySetAnswersAndSwitchesRunningStream()
    {
        // Not streaming: acknowledged, remembered, nothing to switch.
        IoOutcome o = m_io->handle(m_state, IoCtrlType::QualitySet, u32s({1, 1}));
        QVERIFY(o.reply);
        QCOMPARE(o.reply->type, IoCtrlType::QualitySetResp);
        QCOMPARE(o.reply->payload, u32s({0}));
        QVERIFY(m_state.hd);
        QVERIFY(o.actions.empty());

        m_io->handle(m_state, IoCtrlType::VideoStart, u32s({1, 0}));
        o = m_io->handle(m_state, IoCtrlType::QualitySet, u32s({1, 0}));
        QCOMPARE(o.reply->payload, u32s({0}));
        QVERIFY(!m_state.hd);
        QVERIFY(hasAction(o, IoAction::Kind::SwitchQuality, 1));

        // Same quality again: acknowledged without a switch.
        o = m_io->handle(m_state, IoCtrlType::QualitySet, u32s({1, 0}));
        QCOMPARE(o.reply->payload, u32s({0}));
        QVERIFY(o.actions.empty());
    }

    void qualitySetRejectsMalformedRequests_data()
    {
        QTest::addColumn<QByteArray>("payload");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("short") << u32s({1});
        QTest::newRow("quality 2") << u32s({1, 2});
        QTest::newRow("channel beyond device") << u32s({4, 1});
    }

    void qualitySetRejectsMalformedRequests()
    {
        QFETCH(QByteArray, payload);
        const IoOutcome o = m_io->handle(m_state, IoCtrlType::QualitySet, payload);
        QVERIFY(o.reply);
        QCOMPARE(o.reply->type, IoCtrlType::QualitySetResp);
        QCOMPARE(o.reply->payload, u32s({1}));
        QVERIFY(!m_state.hd);
    }

    void versionReplyIs64BytesOfConfiguredText()
    {
        const IoOutcome o = m_io->handle(m_state, IoCtrlType::VersionReq, QByteArray(64, '\0'));
        QVERIFY(o.reply);
        QCOMPARE(o.reply->type, IoCtrlType::VersionResp);
        QCOMPARE(o.reply->payload.size(), 64);
        QCOMPARE(o.reply->payload.left(12), QByteArray("V2.3.4 test\0", 12));
        QCOMPARE(o.reply->payload.mid(11), QByteArray(53, '\0'));

        m_settings.version = QByteArray(80, 'x'); // too long: cut, still terminated
        const IoOutcome longer = m_io->handle(m_state, IoCtrlType::VersionReq, {});
        QCOMPARE(longer.reply->payload.size(), 64);
        QCOMPARE(longer.reply->payload.at(63), '\0');
        QCOMPARE(longer.reply->payload.left(63), QByteArray(63, 'x'));
    }

    void timeSetIsStoredWithoutReply()
    {
        IoOutcome o = m_io->handle(m_state, IoCtrlType::TimeSet, "2020-5-20-7-4-38");
        QVERIFY(!o.reply);
        QCOMPARE(m_settings.timeText, QStringLiteral("2020-5-20-7-4-38"));
        o = m_io->handle(m_state, IoCtrlType::TimeSet, "2020-13-20-7-4-38");
        QVERIFY(!o.reply);
        QCOMPARE(m_settings.timeText, QStringLiteral("2020-5-20-7-4-38"));
        m_io->handle(m_state, IoCtrlType::TimeSet, "garbage\xff");
        QCOMPARE(m_settings.timeText, QStringLiteral("2020-5-20-7-4-38"));
    }

    void timezoneSetAnswersOneOnSuccess()
    {
        IoOutcome o = m_io->handle(m_state, IoCtrlType::TimezoneSet, "GMT+08:00");
        QVERIFY(o.reply);
        QCOMPARE(o.reply->type, IoCtrlType::TimezoneSetResp);
        QCOMPARE(o.reply->payload, u32s({1}));
        QCOMPARE(m_settings.timeZone, QStringLiteral("GMT+08:00"));

        o = m_io->handle(m_state, IoCtrlType::TimezoneSet, QByteArray());
        QCOMPARE(o.reply->payload, u32s({0}));
        QCOMPARE(m_settings.timeZone, QStringLiteral("GMT+08:00"));
    }

    void timezoneSetRefusedWhenConfigured()
    {
        m_settings.refuseTimezone = true;
        const IoOutcome o = m_io->handle(m_state, IoCtrlType::TimezoneSet, "GMT-05:00");
        QCOMPARE(o.reply->payload, u32s({0}));
        QVERIFY(m_settings.timeZone.isEmpty());
    }

    void wifiSetStoresSsidAndPassword()
    {
        QByteArray payload(76, '\0');
        payload.replace(0, 6, "HomeAP");
        payload.replace(32, 8, "secret12");
        IoOutcome o = m_io->handle(m_state, IoCtrlType::WifiSet, payload);
        QVERIFY(o.reply);
        QCOMPARE(o.reply->type, IoCtrlType::WifiSetResp);
        QCOMPARE(o.reply->payload, u32s({0}));
        QCOMPARE(m_settings.wifiSsid, QByteArray("HomeAP"));
        QCOMPARE(m_settings.wifiPassword, QByteArray("secret12"));

        // Wrong size or no SSID: refused, the stored values stay.
        o = m_io->handle(m_state, IoCtrlType::WifiSet, payload.left(40));
        QCOMPARE(o.reply->payload, u32s({1}));
        o = m_io->handle(m_state, IoCtrlType::WifiSet, QByteArray(76, '\0'));
        QCOMPARE(o.reply->payload, u32s({1}));
        QCOMPARE(m_settings.wifiSsid, QByteArray("HomeAP"));

        // An SSID that fills its whole field has no terminator.
        QByteArray full(76, '\0');
        full.replace(0, 32, QByteArray(32, 'S'));
        full.replace(32, 3, "pw!");
        o = m_io->handle(m_state, IoCtrlType::WifiSet, full);
        QCOMPARE(o.reply->payload, u32s({0}));
        QCOMPARE(m_settings.wifiSsid, QByteArray(32, 'S'));
        QCOMPARE(m_settings.wifiPassword, QByteArray("pw!"));
    }

    void speakerStartStopOpensAndClosesTalk()
    {
        IoOutcome o = m_io->handle(m_state, IoCtrlType::SpeakerStart, u32s({5, 0}));
        QVERIFY(!o.reply);
        QVERIFY(hasAction(o, IoAction::Kind::StartTalk, 5));
        QCOMPARE(m_state.talkChannelId, 5);

        // A second start replaces the first talk.
        o = m_io->handle(m_state, IoCtrlType::SpeakerStart, u32s({6, 0}));
        QCOMPARE(o.actions.size(), size_t(2));
        QCOMPARE(o.actions[0].kind, IoAction::Kind::StopTalk);
        QCOMPARE(o.actions[0].value, 5);
        QVERIFY(hasAction(o, IoAction::Kind::StartTalk, 6));

        o = m_io->handle(m_state, IoCtrlType::SpeakerStop, u32s({6, 0}));
        QVERIFY(hasAction(o, IoAction::Kind::StopTalk, 6));
        QCOMPARE(m_state.talkChannelId, -1);

        o = m_io->handle(m_state, IoCtrlType::SpeakerStop, u32s({6, 0}));
        QVERIFY(o.actions.empty());
    }

    void speakerStartRejectsBadChannelIds()
    {
        QVERIFY(m_io->handle(m_state, IoCtrlType::SpeakerStart, "\x01\x00").actions.empty());
        QVERIFY(m_io->handle(m_state, IoCtrlType::SpeakerStart, u32s({256, 0})).actions.empty());
        QCOMPARE(m_state.talkChannelId, -1);
    }

    void unhandledTypesAreReportedUnknown()
    {
        for (std::uint32_t type : {IoCtrlType::PtzShort, IoCtrlType::PlaybackControl, 0xDEADu}) {
            const IoOutcome o = m_io->handle(m_state, type, QByteArray(8, '\x7f'));
            QVERIFY(!o.known);
            QVERIFY(!o.reply);
            QVERIFY(o.actions.empty());
        }
    }
};

QTEST_GUILESS_MAIN(TestDevsimIoControl)
#include "tst_devsim_iocontrol.moc"
