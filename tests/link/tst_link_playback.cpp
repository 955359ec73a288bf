// Remote playback through the link against devsim, in the Europe/Berlin time
// zone: the record list of a day (items in local time, a recording across
// local midnight as the day's first item, the same-day cache, a day with a
// daylight-saving change), start, pause, resume, seek, stop, and playing on
// from the next recording when one ends; and the record items and version
// rules on their own.

#include "DevsimProcess.h"
#include "LinkFixture.h"

#include "link/PlaybackRecords.h"

#include "TestMain.h"
#include <QRandomGenerator>
#include <QTimeZone>

namespace {

const QString Uid = QStringLiteral("PBLINK000000000001");

QDateTime utc(const QDate &day, int h, int m)
{
    return QDateTime(day, QTime(h, m), QTimeZone::utc());
}

QList<int> item(int second, int length, const QDateTime &start)
{
    return {second, length, int(start.toSecsSinceEpoch())};
}

} // namespace

class TstLinkPlayback : public LinkFixture
{
    Q_OBJECT

    DevsimProcess sim;
    Channel *ch = nullptr;

    // Asks for the list of a local day; the items delivered.
    QList<QList<int>> list(const QDate &day)
    {
        QList<QList<int>> items;
        QSignalSpy done(io, &IoConnect::requestReplayVideoTimeSuccessMsg);
        QObject ctx;
        connect(io, &IoConnect::receiveVideoTimeMsg, &ctx,
                [&](Channel *, const QList<int> &i) { items.append(i); });
        io->getReplayVideoTime(ch, day);
        (void)QTest::qWaitFor([&] { return ch->recordListReady(); }, Wait);
        return items;
    }
    bool line(const QString &re, int from)
    {
        // The link's results arrive through the event loop meanwhile.
        const QRegularExpression pattern(re);
        return QTest::qWaitFor([&] { return sim.waitForLineFrom(from, pattern, 20) >= 0; }, Wait);
    }

private slots:
    void recordItemsAndVersionRules()
    {
        // 23:50 local for 1200 s, then 00:30: the first is the tail of yesterday's.
        const QDate day(2026, 3, 2);
        const QDateTime tail(day.addDays(-1), QTime(23, 50));
        const QList<IoCtrl::RecordEntry> entries = {
            {tail.toUTC(), 1200},
            {QDateTime(day, QTime(0, 30)).toUTC(), 0},
            {QDateTime::currentDateTime().addDays(3).toUTC(), 60}};
        const PlaybackRecords::Items items =
            PlaybackRecords::toItems(entries, QDateTime::currentDateTime());
        QCOMPARE(items.items,
                 (QList<QList<int>>{
                     item(0, 601, QDateTime(day.addDays(-1), QTime(23, 59, 59))),
                     item(1800, PlaybackRecords::UnknownLength, QDateTime(day, QTime(0, 30)))}));
        QCOMPARE(PlaybackRecords::nextRecordStart(items.items, QDateTime(day, QTime(0, 0))),
                 QDateTime(day, QTime(0, 30)));
        QVERIFY(!PlaybackRecords::nextRecordStart(items.items, QDateTime(day, QTime(0, 30))));

        // Version text -> (legacy playback, seek after start).
        const QList<std::tuple<const char *, bool, bool>> versions = {
            {"", false, false},
            {"V1.4.9", true, false},
            {"V1.5.0", false, true},
            {"V1.6.1", false, true},
            {"V1.3.2.000001", false, true},
            {"V1.3.1.000001", false, false}};
        for (const auto &[text, legacy, seek] : versions) {
            QCOMPARE(PlaybackRecords::isLegacyPlayback(QLatin1String(text)), legacy);
            QCOMPARE(PlaybackRecords::supportsStartSeek(QLatin1String(text)), seek);
        }
    }

    void initTestCase()
    {
        if (QTimeZone::systemTimeZoneId() != "Europe/Berlin")
            QSKIP("needs TZ=Europe/Berlin");
        const quint16 discovery = quint16(40000 + QRandomGenerator::global()->bounded(20000));
        qputenv("ORVANE_P2P_DISCOVERY_PORT", QByteArray::number(discovery));
        sim.setDiscoveryPort(discovery);
        QVERIFY2(sim.start({"--uid", Uid, "--record-days", "60", "--gop", "1", "--recordings",
                            "01:00-01:30,02:00-02:00:03,22:30-23:30"}),
                 qPrintable(sim.errorText()));
        qputenv("ORVANE_P2P_PEERS", sim.peersEnv().toLatin1());
        io = new IoConnect;
        ch = open(addDevice(Uid));
        QVERIFY(ch);
        ch->setViewRequested(true, false);
    }
    void cleanupTestCase() { tearDownLink(); }

    // Device recordings at 01:00, 02:00 and 22:30 UTC, seen from Berlin.
    void dayListInLocalTime_data()
    {
        QTest::addColumn<QDate>("day");
        QTest::addColumn<QList<QList<int>>>("expected");
        // Two days back: a day whose recordings have all ended (devsim records
        // nothing after its start, so yesterday's last one may still be short
        // just after midnight).
        const QDate y = QDate::currentDate().addDays(-2);
        QTest::newRow("a past day: the night before's 23:30 as the day's head")
            << y
            << QList<QList<int>>{item(0, 1801, QDateTime(y.addDays(-1), QTime(23, 59, 59))),
                                 item(7200, 1800, utc(y, 1, 0)), item(10800, 3, utc(y, 2, 0)),
                                 item(84600, 3600, utc(y, 22, 30))};
        const QDate dst(2026, 10, 25); // 03:00 CEST -> 02:00 CET
        QTest::newRow("daylight-saving end")
            << dst
            << QList<QList<int>>{item(1800, 3600, utc(dst.addDays(-1), 22, 30)),
                                 item(7200, 1800, utc(dst, 1, 0)), item(10800, 3, utc(dst, 2, 0)),
                                 item(84600, 3600, utc(dst, 22, 30))};
    }
    void dayListInLocalTime()
    {
        QFETCH(QDate, day);
        QFETCH(QList<QList<int>>, expected);
        for (QList<int> &item : expected)
            item.append(1); // devsim tells each span's kind: continuous
        QCOMPARE(list(day), expected);
        // Asked again: from the cache, without a message to the device.
        const int before = sim.lineCount();
        QCOMPARE(list(day), expected);
        QTest::qWait(200);
        QVERIFY(!sim.lines().mid(before).join(u'\n').contains(QLatin1String("0x318")));
    }

    // A day of 200 recordings arrives whole (the reply, 12 + 200 x 16 bytes,
    // is four times the 1 KiB a reply once had room for).
    void dayOfTwoHundredRecordingsArrivesWhole()
    {
        const QString manyUid = QStringLiteral("PBLINK000000000002");
        QStringList spans;
        for (int i = 0; i < 200; ++i) // 00:00 to 16:35 UTC, one minute every five
            spans << QStringLiteral("%1:%2-%1:%3")
                         .arg(i * 5 / 60, 2, 10, QLatin1Char('0'))
                         .arg(i * 5 % 60, 2, 10, QLatin1Char('0'))
                         .arg(i * 5 % 60 + 1, 2, 10, QLatin1Char('0'));
        DevsimProcess many;
        many.setDiscoveryPort(quint16(qEnvironmentVariableIntValue("ORVANE_P2P_DISCOVERY_PORT")));
        QVERIFY2(
            many.start({"--uid", manyUid, "--record-days", "3", "--recordings", spans.join(u',')}),
            qPrintable(many.errorText()));
        qputenv("ORVANE_P2P_PEERS", (sim.peersEnv() + u';' + many.peersEnv()).toLatin1());
        Channel *saved = ch;
        ch = open(addDevice(manyUid));
        QVERIFY(ch);
        const QList<QList<int>> items = list(QDate::currentDate().addDays(-2));
        ch = saved;
        QCOMPARE(items.size(), 200);
        QCOMPARE(items.last().at(1), 60);
        deleteDevice(devices.last());
    }

    void startPauseResumeSeekStop()
    {
        const QDate y = QDate::currentDate().addDays(-1);
        QCOMPARE(list(y).size(), 4); // the day played, where the next recording is looked up
        QSignalSpy started(io, &IoConnect::startReplaySuccessMsg);
        int mark = sim.lineCount();
        io->playReplay(ch, utc(y, 1, 0).addSecs(10).toLocalTime(), 0, true, 5);
        io->playReplay(ch, utc(y, 1, 0).addSecs(20).toLocalTime(), 0, true, 5); // still opening
        QTRY_VERIFY_WITH_TIMEOUT(!started.isEmpty() && ch->avIndex(false) >= 0, Wait);
        QCOMPARE(sim.lines().mid(mark).filter(QRegularExpression("PLAYBACK .* start ")).size(), 1);
        QVERIFY(line(
            QStringLiteral("PLAYBACK .* start 0 %1T01:00:10 normal").arg(y.toString(Qt::ISODate)),
            mark));

        QSignalSpy paused(io, &IoConnect::pauseReplaySuccessMsg);
        io->pauseReplay(ch, false);
        QTRY_VERIFY_WITH_TIMEOUT(!paused.isEmpty(), Wait);
        QVERIFY(ch->paused(false) && line(QStringLiteral("PLAYBACK .* pause 0"), mark));
        io->resumeReplay(ch, false);
        QTRY_VERIFY_WITH_TIMEOUT(started.size() == 2, Wait);
        QVERIFY(!ch->paused(false) && line(QStringLiteral("PLAYBACK .* resume 0"), mark));

        QSignalSpy sought(io, &IoConnect::changeReplayTimeSuccessMsg);
        ch->setReplayDateTime(utc(y, 1, 0).toLocalTime());
        io->changeReplayTime(ch, 600);
        QTRY_VERIFY_WITH_TIMEOUT(!sought.isEmpty(), Wait);
        QVERIFY(
            line(QStringLiteral("PLAYBACK .* seek 0 %1T01:10:00 ok").arg(y.toString(Qt::ISODate)),
                 mark));

        // The 3-second recording at 02:00 ends: playback goes on at 23:30 local.
        mark = sim.lineCount();
        QSignalSpy stopped(io, &IoConnect::stopReplaySuccessMsg);
        io->stopReplay(ch, true, utc(y, 2, 0).toLocalTime());
        QVERIFY(line(QStringLiteral("PLAYBACK .* end 0$"), mark));
        QVERIFY(line(
            QStringLiteral("PLAYBACK .* start 0 %1T22:30:00 normal").arg(y.toString(Qt::ISODate)),
            mark));
        QTRY_VERIFY_WITH_TIMEOUT(stopped.size() == 2 && ch->avIndex(false) >= 0, Wait);

        io->stopReplay(ch, false, QDateTime());
        QTRY_VERIFY_WITH_TIMEOUT(stopped.size() == 3 && ch->avIndex(false) < 0, Wait);
        QVERIFY(line(QStringLiteral("PLAYBACK .* stop 0"), mark));
    }
};

ORVANE_TEST_GUILESS_MAIN(TstLinkPlayback)
#include "tst_link_playback.moc"
