// The recording's frame times: device milliseconds while they advance
// plausibly, else the local arrival time (RecordClock), evened out on a grid
// of whole frame periods (FrameGrid).

#include "media/FrameGrid.h"
#include "media/RecordClock.h"

#include <QtTest>
#include "TestMain.h"

#include <vector>

using Times = std::vector<qint64>;
Q_DECLARE_METATYPE(Times)

class tst_RecordClock : public QObject
{
    Q_OBJECT

private slots:
    void sourceTimes_data();
    void sourceTimes();
    void audioFollowsTheVideoClock();
    void gridTimes_data();
    void gridTimes();
};

void tst_RecordClock::sourceTimes_data()
{
    QTest::addColumn<Times>("device"); // the record's ms field
    QTest::addColumn<Times>("local");  // steady arrival ms
    QTest::addColumn<Times>("want");
    QTest::addColumn<bool>("deviceClock");

    const Times arrival{5000, 5150, 5190, 5300};
    QTest::newRow("device clock, arrival jitter ignored")
        << Times{90000, 90100, 90200, 90300} << arrival << Times{0, 100, 200, 300} << true;
    QTest::newRow("device clock wraps at 2^32")
        << Times{4294967246, 50, 150} << arrival << Times{0, 100, 200} << true;
    QTest::newRow("field left 0: arrival time")
        << Times{0, 0, 0, 0} << arrival << Times{0, 150, 190, 300} << false;
    QTest::newRow("device clock jumps back: arrival time from there on, continuous")
        << Times{90000, 90100, 80000, 80100} << arrival << Times{0, 100, 140, 250} << false;
    QTest::newRow("device clock drifts from the local one by more than 10 s")
        << Times{90000, 99900, 109800} << arrival << Times{0, 9900, 9940} << false;
}

void tst_RecordClock::sourceTimes()
{
    QFETCH(Times, device);
    QFETCH(Times, local);
    QFETCH(Times, want);
    QFETCH(bool, deviceClock);
    RecordClock clock;
    Times got;
    for (size_t i = 0; i < want.size(); ++i)
        got.push_back(clock.videoMs(uint32_t(device[i]), local[i]));
    QCOMPARE(got, want);
    QCOMPARE(clock.usesDeviceClock(), deviceClock);
}

void tst_RecordClock::audioFollowsTheVideoClock()
{
    RecordClock clock;
    QCOMPARE(clock.audioMs(1000, 1000), -1); // no video yet
    clock.videoMs(70000, 1000);
    clock.videoMs(70100, 1130);
    QCOMPARE(clock.audioMs(70140, 1400), 140);
    QCOMPARE(clock.audioMs(69980, 1400), -20);
}

void tst_RecordClock::gridTimes_data()
{
    QTest::addColumn<Times>("source");
    QTest::addColumn<qint64>("period");
    QTest::addColumn<Times>("want");

    QTest::newRow("late key frame, jitter, a lost frame")
        << Times{0, 50, 200, 300, 400, 500, 700, 800} << qint64(99)
        << Times{0, 99, 198, 297, 396, 495, 693, 792};
    QTest::newRow("burst: the next free periods, then back on time")
        << Times{0, 100, 200, 300, 400, 500, 510, 520, 530, 900, 1000} << qint64(99)
        << Times{0, 99, 198, 297, 396, 495, 594, 693, 792, 891, 990};
    QTest::newRow("30 fps in whole milliseconds")
        << Times{0, 33, 67, 100, 133, 167, 200} << qint64(32)
        << Times{0, 32, 64, 96, 128, 160, 192};
}

void tst_RecordClock::gridTimes()
{
    QFETCH(Times, source);
    QFETCH(qint64, period);
    QFETCH(Times, want);
    const std::vector<int64_t> learnt(source.begin(), source.begin() + FrameGrid::LearnFrames);
    QCOMPARE(FrameGrid::periodOf(learnt), period);
    FrameGrid grid;
    grid.setPeriod(period);
    Times got;
    for (qint64 t : source)
        got.push_back(grid.place(t));
    QCOMPARE(got, want);
}

ORVANE_TEST_GUILESS_MAIN(tst_RecordClock)
#include "tst_recordclock.moc"
