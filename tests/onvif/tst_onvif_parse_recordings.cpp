// The readers of the recording, search, replay and event services' replies,
// on recorded replies (tests/onvif/data) written with several prefix choices
// and on broken ones, the bounds of their lists, and the playback timeline
// made of recorded events.

#include "OnvifReaderRows.h"
#include "link/onvif/OnvifParse.h"
#include "link/onvif/OnvifTimeline.h"

#include <QRegularExpression>
#include <QTest>
#include "TestMain.h"

namespace {

const ReaderTable &readerTable()
{
    using P = OnvifParse;
    static const ReaderTable r{
        {"recordings", [](auto &x) { return show(P::recordings(x)); }},
        {"find_events", [](auto &x) { return show(P::searchToken(x)); }},
        {"recording_search", [](auto &x) { return show(P::recordingSearchResults(x)); }},
        {"event_search", [](auto &x) { return show(P::eventSearchResults(x)); }},
        {"recording_summary", [](auto &x) { return show(P::recordingSummary(x)); }},
        {"replay_uri", [](auto &x) { return show(P::replayUri(x)); }},
        {"replay_capabilities", [](auto &x) { return show(P::replayCapabilities(x)); }},
        {"subscription", [](auto &x) { return show(P::subscription(x)); }},
        {"pull_messages", [](auto &x) { return show(P::pullMessages(x)); }},
        {"renew", [](auto &x) { return show(P::renew(x)); }},
    };
    return r;
}

} // namespace

class TstOnvifParseRecordings : public QObject
{
    Q_OBJECT

private slots:
    void readers_data() { addReaderRows(readerTable()); }
    void readers()
    {
        QFETCH(QString, reader);
        QFETCH(QByteArray, reply);
        QFETCH(QString, expected);
        QCOMPARE(readerTable().value(reader)(reply), expected);
    }

    // A reply listing more than a reader keeps is cut at its bound.
    void boundedCounts_data()
    {
        QTest::addColumn<QString>("reader");
        QTest::addColumn<QByteArray>("item");
        QTest::addColumn<int>("kept");
        QTest::newRow("notifications")
            << "pull_messages" << QByteArray("<wsnt:NotificationMessage>") << OnvifParse::MaxEvents;
        QTest::newRow("recorded events")
            << "event_search" << QByteArray("<tt:Result>") << OnvifParse::MaxEvents;
        QTest::newRow("recordings") << "recording_search" << QByteArray("<tt:RecordingInformation>")
                                    << OnvifParse::MaxListEntries;
    }
    void boundedCounts()
    {
        QFETCH(QString, reader);
        QFETCH(QByteArray, item);
        QFETCH(int, kept);
        QByteArray xml = sample(reader);
        const qsizetype at = xml.indexOf(item);
        const QByteArray one =
            xml.mid(at, xml.indexOf(QByteArray("</" + item.mid(1)), at) - at + item.size() + 1);
        xml.insert(at, one.repeated(kept + 10));
        const QString shown = readerTable().value(reader)(xml);
        QCOMPARE(shown.count(QLatin1String("; ")) + 1, kept);
    }

    // Recorded spans and alarm marks from the event search; times are minutes past 08:00.
    void timeline_data()
    {
        QTest::addColumn<QString>("events"); // kind:state@minute[s][+start], recording "Recording0"
        QTest::addColumn<QString>("bounds"); // the recording's earliest-latest, or empty
        QTest::addColumn<QString>("spans");
        QTest::addColumn<QString>("marks");
        QTest::newRow("data from the start, one gap, open at the end")
            << "4:1@0+start 4:0@10 4:1@20 1:1@25s1 1:0@26s1"
            << ""
            << "0-10 20-60"
            << "1:1@25 1:0@26";
        QTest::newRow("ends before any start: there since from") << "4:0@15 4:1@40 4:0@50 3:1@45"
                                                                 << ""
                                                                 << "0-15 40-50"
                                                                 << "3:1@45";
        QTest::newRow("start state off, others' sources, alarm on at start")
            << "4:0@0+start 4:1@5 2:1@0+start 2:0@0s9+start 1:1@7s9"
            << ""
            << "5-60"
            << "2:1@0";
        QTest::newRow("no history: earliest to latest") << "1:1@30"
                                                        << "-100-30"
                                                        << "-100-30"
                                                        << "1:1@30";
        QTest::newRow("no history, recording outside") << ""
                                                       << "70-90"
                                                       << ""
                                                       << "";
        QTest::newRow("alarms outside the window dropped") << "1:1@-1 1:1@60 2:1@59"
                                                           << ""
                                                           << ""
                                                           << "2:1@59";
    }
    void timeline()
    {
        QFETCH(QString, events);
        QFETCH(QString, bounds);
        QFETCH(QString, spans);
        QFETCH(QString, marks);
        const QDateTime base(QDate(2024, 5, 1), QTime(8, 0), Qt::UTC);
        const QDateTime from = base, to = base.addSecs(3600);
        static const QRegularExpression item("^(\\d):(\\d)@(-?\\d+)(?:s(\\d))?(\\+start)?$");
        QList<OnvifEvent> list;
        for (const QString &e : events.split(' ', Qt::SkipEmptyParts)) {
            const QRegularExpressionMatch m = item.match(e);
            QVERIFY2(m.hasMatch(), qPrintable(e));
            OnvifEvent ev;
            ev.kind = OnvifEvent::Kind(m.captured(1).toInt());
            ev.state = m.captured(2) == "1";
            ev.utc = base.addSecs(m.captured(3).toInt() * 60);
            ev.source = m.captured(4).isEmpty() ? QString() : "src_" + m.captured(4);
            ev.startState = !m.captured(5).isEmpty();
            ev.recording = "Recording0";
            list << ev;
        }
        OnvifRecording rec{"Recording0", "src_1", {}, {}};
        if (!bounds.isEmpty()) {
            const qsizetype dash = bounds.indexOf('-', 1);
            rec.earliest = base.addSecs(bounds.left(dash).toInt() * 60);
            rec.latest = base.addSecs(bounds.mid(dash + 1).toInt() * 60);
        }
        auto minute = [&base](const QDateTime &t) { return QString::number(base.secsTo(t) / 60); };
        QStringList got;
        for (const auto &s : OnvifTimeline::spans(list, rec, from, to))
            got << minute(s.start) + '-' + minute(s.end);
        QCOMPARE(got.join(' '), spans);
        got.clear();
        for (const auto &m : OnvifTimeline::marks(list, {"src_1", "vsc_1"}, from, to))
            got << QStringLiteral("%1:%2@%3").arg(int(m.kind)).arg(int(m.active)).arg(minute(m.at));
        QCOMPARE(got.join(' '), marks);
    }
};

ORVANE_TEST_GUILESS_MAIN(TstOnvifParseRecordings)
#include "tst_onvif_parse_recordings.moc"
