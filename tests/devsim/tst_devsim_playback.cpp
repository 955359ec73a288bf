// devsim's recordings and remote playback through the P2P client surface: the record list of
// a day with gaps and recordings across midnight, start, pause and resume, seek, the end of a
// recording, fast playback, a second session answered busy, and malformed requests survived.

#include "LinkSupport.h"
#include "PlaybackControl.h"

#include <QDateTime>
#include <QtEndian>
#include <QTimeZone>
#include <QtTest>
#include "TestMain.h"

using namespace linktest;

namespace {

constexpr std::uint32_t RecordListReq = 0x0318, RecordListResp = 0x0319;
constexpr std::uint32_t Control = 0x031A, ControlResp = 0x031B;
constexpr std::uint32_t Seek = 0x033C, SeekResp = 0x033D, Busy = 0x0701;
const char *const Uid = "PBDVR0000000000001";

// Yesterday (UTC) at hh:mm:ss, in seconds since the epoch.
qint64 yesterday(int h, int m, int s)
{
    const QDate day = QDateTime::currentDateTimeUtc().date().addDays(-1);
    return QDateTime(day, QTime(h, m, s), QTimeZone::utc()).toSecsSinceEpoch();
}

QByteArray control(std::uint32_t command, qint64 at = 0, int recordType = 5)
{
    QByteArray p = u32s({0, command, 0}) +
                   (at ? devsim::PlaybackControl::deviceTime(at) : QByteArray(8, '\0')) +
                   QByteArray(4, '\0');
    p[recordType == 5 ? 20 : 22] = char(recordType == 5 ? 0 : recordType);
    return p;
}

// The next video frame that is a key frame, its timestamp; -1 when none comes.
qint64 nextKeyFrame(int av, int timeoutMs = 3000)
{
    QDeadlineTimer deadline(timeoutMs);
    while (std::optional<Frame> f = recvVideo(av, int(deadline.remainingTime()))) {
        if (f->info.flags & p2p::FrameInfo::kFlagKeyFrame)
            return f->info.timestamp;
    }
    return -1;
}

} // namespace

class tst_DevsimPlayback : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(link.open({"--uid", Uid, "--channels", "2", "--account", "admin", "--password",
                           "pb", "--record-days", "3", "--gop", "1", "--recordings",
                           "01:00-01:30,02:00-02:00:03,23:50-00:10"},
                          randomDiscoveryPort(), "admin", "pb"));
    }

    void dayListShowsGapsAndRecordingsAcrossMidnight()
    {
        const QByteArray request =
            u32s({0}) + devsim::PlaybackControl::deviceTime(yesterday(0, 0, 0)) +
            devsim::PlaybackControl::deviceTime(yesterday(23, 59, 59)) + QByteArray(4, '\0');
        QVERIFY(sendIo(link.av, RecordListReq, request) >= 0);
        const std::optional<QByteArray> reply = waitIo(link.av, RecordListResp, 3000);
        QVERIFY(reply);
        QCOMPARE(int(reply->at(10)), 4);
        const qint64 starts[4] = {yesterday(0, 0, 0) - 600, yesterday(1, 0, 0), yesterday(2, 0, 0),
                                  yesterday(23, 50, 0)};
        const quint32 lengths[3] = {1200, 1800, 3};
        for (int i = 0; i < 4; ++i) {
            const QByteArray entry = reply->mid(12 + 16 * i, 16);
            QCOMPARE(devsim::PlaybackControl::readDeviceTime(entry, 0).value_or(-1), starts[i]);
            if (i < 3)
                QCOMPARE(qFromLittleEndian<quint32>(entry.constData() + 12), lengths[i]);
        }
    }

    void playsPausesResumesSeeksAndEnds()
    {
        QVERIFY(sendIo(link.av, Control, control(16, yesterday(1, 0, 10))) >= 0);
        std::optional<QByteArray> reply = waitIo(link.av, ControlResp, 3000);
        QVERIFY(reply);
        QCOMPARE(reply->left(8), u32s({16, devsim::PlaybackControl::PlaybackAvBase}));
        const int pb = startAv(link.sid, "admin", "pb", devsim::PlaybackControl::PlaybackAvBase);
        QVERIFY(pb >= 0);
        QCOMPARE(nextKeyFrame(pb), yesterday(1, 0, 10));

        QVERIFY(sendIo(link.av, Control, control(0)) >= 0); // pause
        QVERIFY(waitIo(link.av, ControlResp, 3000));
        while (recvVideo(pb, 300)) {
        }
        QVERIFY(!recvVideo(pb, 500));                       // paused: nothing comes
        QVERIFY(sendIo(link.av, Control, control(0)) >= 0); // resume
        QVERIFY(nextKeyFrame(pb) >= yesterday(1, 0, 10));

        QVERIFY(sendIo(link.av, Seek,
                       u32s({0}) + devsim::PlaybackControl::deviceTime(yesterday(1, 0, 0)) +
                           u32s({1200, 0})) >= 0);
        reply = waitIo(link.av, SeekResp, 3000);
        QVERIFY(reply && reply->at(0) == 0);
        qint64 ts = -1;
        while ((ts = nextKeyFrame(pb)) >= 0 && ts < yesterday(1, 20, 0)) {
        }
        QCOMPARE(ts, yesterday(1, 20, 0));

        // Fast playback of the 3-second recording runs out within a second: command 7.
        QVERIFY(sendIo(link.av, Control, control(4, yesterday(2, 0, 0), 8)) >= 0);
        QVERIFY(waitIo(link.av, ControlResp, 3000));
        reply = waitIo(link.av, ControlResp, 5000);
        QVERIFY(reply);
        QCOMPARE(reply->left(4), u32s({7}));
        QVERIFY(link.sim.waitForLine(QRegularExpression("^PLAYBACK .* end 0$"), 1000));
    }

    void secondSessionIsBusyAndBadRequestsAreSurvived()
    {
        const int sid2 = connectUid(Uid);
        QVERIFY(sid2 >= 0);
        const int av2 = startAv(sid2, "admin", "pb", 1);
        QVERIFY(av2 >= 0);
        QVERIFY(sendIo(av2, Control, control(16, yesterday(1, 0, 0))) >= 0);
        const std::optional<QByteArray> busy = waitIo(av2, Busy, 3000);
        QVERIFY(busy && busy->size() >= 5 && busy->at(4) == 1);
        for (const std::uint32_t type : {RecordListReq, Control, Seek})
            for (const QByteArray &junk :
                 {QByteArray(), QByteArray(3, '\xff'), QByteArray(24, '\xff')})
                QVERIFY(sendIo(av2, type, junk) >= 0);
        QVERIFY(sendIo(av2, RecordListReq, QByteArray(24, '\0')) >= 0);
        const std::optional<QByteArray> empty = waitIo(av2, RecordListResp, 3000);
        QVERIFY(empty && empty->at(10) == 0);
        IOTC_Session_Close(sid2);
    }

private:
    DevsimLink link;
};

ORVANE_TEST_GUILESS_MAIN(tst_DevsimPlayback)
#include "tst_devsim_playback.moc"
