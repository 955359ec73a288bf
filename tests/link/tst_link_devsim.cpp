// The device link against real devsim processes on loopback: sessions, AV
// channels, the IO control messages as the device receives them, talk, the
// IO time-out and LAN search.

#include "DevsimProcess.h"

#include "link/IoConnect.h"
#include "model/Channel.h"
#include "model/Dev.h"
#include "model/Device.h"

#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>

#include <memory>
#include <vector>

namespace {

constexpr int Wait = 20000;

QRegularExpression ioLine(const QString &uid, unsigned type, const QByteArray &payloadHex)
{
    return QRegularExpression(
        QStringLiteral("^IOCTRL %1 \\S+ 0x0*%2 %3$")
            .arg(uid)
            .arg(type, 0, 16)
            .arg(payloadHex.isEmpty() ? QStringLiteral("-") : QString::fromLatin1(payloadHex)));
}

} // namespace

class TstLinkDevsim : public QObject
{
    Q_OBJECT

private:
    IoConnect *io = nullptr;
    std::vector<std::unique_ptr<DevsimProcess>> sims;
    QList<Device *> devices;
    quint16 discovery = 0;

    DevsimProcess *startSim(const QStringList &args)
    {
        auto sim = std::make_unique<DevsimProcess>();
        sim->setDiscoveryPort(discovery);
        if (!sim->start(args)) {
            qWarning() << "devsim:" << sim->errorText();
            return nullptr;
        }
        sims.push_back(std::move(sim));
        QStringList peers;
        for (const auto &s : sims)
            peers << s->peersEnv();
        qputenv("ORVANE_P2P_PEERS", peers.join(QLatin1Char(';')).toLatin1());
        return sims.back().get();
    }

    Device *addDevice(const QString &uid, int channels = 1, const QString &account = "admin",
                      const QString &password = "123456")
    {
        auto *d = new Device;
        d->setUid(uid);
        d->setChannelCount(channels);
        d->setViewAccount(account);
        d->setViewPassword(password);
        d = Dev::instance()->addOrUpdate(d);
        devices.append(d);
        return d;
    }

    Channel *open(Device *d, int index = 0)
    {
        Channel *ch = d->channel(index);
        QSignalSpy ready(io, &IoConnect::connectChannelSuccessMsg);
        io->connectChannel(ch);
        io->startChannel(ch);
        for (int i = 0; i < 200 && ready.isEmpty(); ++i)
            ready.wait(100);
        return ch->avIndex(true) >= 0 ? ch : nullptr;
    }

private slots:
    void initTestCase()
    {
#ifndef ORVANE_DEVSIM_PATH
        QSKIP("devsim is not built");
#endif
        discovery = quint16(40000 + QRandomGenerator::global()->bounded(20000));
        qputenv("ORVANE_P2P_DISCOVERY_PORT", QByteArray::number(discovery));
    }

    void init()
    {
        io = new IoConnect;
    }

    void cleanup()
    {
        delete io;
        io = nullptr;
        for (Device *d : std::as_const(devices)) {
            Dev::instance()->removeDevice(d);
            delete d;
        }
        devices.clear();
        sims.clear();
    }

    void queuedDevicesConnectInOrderWithOneSessionPerDevice()
    {
        QVERIFY(startSim({"--uid", "QA", "--channels", "2"}));
        DevsimProcess *b = startSim({"--uid", "QB"});
        QVERIFY(b);
        QVERIFY(startSim({"--uid", "QC"}));
        Device *da = addDevice("QA", 2);
        Device *db = addDevice("QB");
        Device *dc = addDevice("QC");
        QSignalSpy devOk(io, &IoConnect::connectDevSuccessMsg);
        QSignalSpy chOk(io, &IoConnect::connectChannelSuccessMsg);
        for (Channel *ch : {da->channel(0), da->channel(1), db->channel(0), dc->channel(0)}) {
            io->connectChannel(ch);
            io->startChannel(ch);
        }
        QTRY_COMPARE_WITH_TIMEOUT(chOk.size(), 4, Wait);
        QCOMPARE(devOk.size(), 3);
        QCOMPARE(devOk.at(0).at(0).value<Channel *>(), da->channel(0));
        QCOMPARE(devOk.at(1).at(0).value<Channel *>(), db->channel(0));
        QCOMPARE(devOk.at(2).at(0).value<Channel *>(), dc->channel(0));
        QCOMPARE(sims[0]->matchingLines(QRegularExpression("^SESSION_OPEN QA ")).size(), 1);
        QCOMPARE(sims[0]->matchingLines(QRegularExpression("^CHANNEL_OPEN QA ")).size(), 2);
        QCOMPARE(b->matchingLines(QRegularExpression("^SESSION_OPEN QB ")).size(), 1);
    }

    void silentDeviceFailsAfterTheWatchdogAndTheNextConnects()
    {
        QVERIFY(startSim({"--uid", "SILENT", "--fault", "silent"}));
        QVERIFY(startSim({"--uid", "AFTER"}));
        Device *s = addDevice("SILENT");
        Device *n = addDevice("AFTER");
        QSignalSpy fail(io, &IoConnect::connectDevFailMsg);
        QSignalSpy ok(io, &IoConnect::connectDevSuccessMsg);
        io->connectChannel(s->channel(0));
        io->connectChannel(n->channel(0));
        QTRY_COMPARE_WITH_TIMEOUT(ok.size(), 1, Wait);
        QTRY_COMPARE_WITH_TIMEOUT(fail.size(), 1, Wait);
        QCOMPARE(fail.at(0).at(0).value<Channel *>(), s->channel(0));
        QVERIFY(fail.at(0).at(1).toInt() < 0);
        QCOMPARE(ok.at(0).at(0).value<Channel *>(), n->channel(0));
        QCOMPARE(s->sessionId(), -1);
    }

    void wrongPasswordAndDefaultAccount()
    {
        QVERIFY(startSim({"--uid", "PWD", "--account", "Admin", "--password", "right"}));
        Device *wrong = addDevice("PWD", 1, "Admin", "wrong");
        QSignalSpy fail(io, &IoConnect::connectChannelFailMsg);
        io->connectChannel(wrong->channel(0));
        io->startChannel(wrong->channel(0));
        QTRY_COMPARE_WITH_TIMEOUT(fail.size(), 1, Wait);
        QCOMPARE(fail.at(0).at(1).toInt(), -20009);
        QCOMPARE(fail.at(0).at(2).toString(), QStringLiteral("Incorrect view account or password"));

        // An empty view account is sent as "Admin".
        wrong->setViewAccount(QString());
        wrong->setViewPassword("right");
        QVERIFY(open(wrong));
    }

    void liveVideoAudioAndQualityReachTheDevice()
    {
        DevsimProcess *sim = startSim({"--uid", "LIVE", "--channels", "2"});
        QVERIFY(sim);
        Device *d = addDevice("LIVE", 2);
        Channel *ch = open(d, 1);
        QVERIFY(ch);

        QSignalSpy waiting(io, &IoConnect::waitingStreamMsg);
        QSignalSpy on(io, &IoConnect::videoRequestSuccessMsg);
        io->startVideo(ch);
        QCOMPARE(waiting.size(), 1);
        QTRY_COMPARE_WITH_TIMEOUT(on.size(), 1, Wait);
        QVERIFY(ch->videoOn(true));
        const int prepare = sim->waitForLineFrom(0, ioLine("LIVE", 0x00ff, "0000"), Wait);
        QVERIFY(prepare >= 0);
        QVERIFY(sim->waitForLineFrom(prepare, ioLine("LIVE", 0x01ff, "0100000000000000"), Wait) >=
                0);

        QSignalSpy audioOk(io, &IoConnect::audioControlSuccessMsg);
        io->audioControl(ch, true);
        QVERIFY(sim->waitForLineFrom(0, ioLine("LIVE", 0x0300, "00000000"), Wait) >= 0);
        QTRY_COMPARE_WITH_TIMEOUT(audioOk.size(), 1, Wait);
        QVERIFY(ch->audioOn(true));
        io->audioControl(ch, false);
        QVERIFY(sim->waitForLineFrom(0, ioLine("LIVE", 0x0301, "00000000"), Wait) >= 0);

        // Quality: the stream restarts, and success follows the device's reply.
        QSignalSpy changed(io, &IoConnect::changeQualitySuccessMsg);
        const int from = sim->lineCount();
        io->changeQuality(ch, true);
        QTRY_COMPARE_WITH_TIMEOUT(changed.size(), 1, Wait);
        QVERIFY(ch->quality(true));
        const int set =
            sim->waitForLineFrom(from, ioLine("LIVE", 0x0320, "0100000001000000"), Wait);
        QVERIFY(set >= 0);
        const int stop =
            sim->waitForLineFrom(set, ioLine("LIVE", 0x02ff, "0100000000000000"), Wait);
        QVERIFY(stop >= 0);
        QVERIFY(sim->waitForLineFrom(stop, ioLine("LIVE", 0x01ff, "0100000000000000"), Wait) >= 0);
        QTRY_COMPARE_WITH_TIMEOUT(on.size(), 2, Wait);

        QSignalSpy off(io, &IoConnect::videoRequestStopSuccessMsg);
        const int before = sim->lineCount();
        io->stopVideo(ch, false);
        QTRY_COMPARE_WITH_TIMEOUT(off.size(), 1, Wait);
        QVERIFY(!ch->videoOn(true));
        QVERIFY(sim->waitForLineFrom(before, ioLine("LIVE", 0x02ff, "0100000000000000"), Wait) >=
                0);
    }

    void timeTimeZoneAndWifiReachTheDevice()
    {
        DevsimProcess *sim = startSim({"--uid", "TIME"});
        QVERIFY(sim);
        Device *d = addDevice("TIME");
        Channel *ch = open(d);
        QVERIFY(ch);

        QSignalSpy timeOk(io, &IoConnect::setTimeSuccessMsg);
        io->setTime(ch, QDateTime(QDate(2020, 5, 20), QTime(7, 4, 38)));
        QVERIFY(sim->waitForLineFrom(
                    0, ioLine("TIME", 0x331e, QByteArray("2020-5-20-7-4-38").toHex()), Wait) >= 0);
        QTRY_COMPARE_WITH_TIMEOUT(timeOk.size(), 1, Wait);

        QSignalSpy tzOk(io, &IoConnect::setTimeZoneSuccessMsg);
        io->setTimeZone(ch, "GMT+08:00");
        QVERIFY(sim->waitForLineFrom(0, ioLine("TIME", 0x332e, QByteArray("GMT+08:00").toHex()),
                                     Wait) >= 0);
        QTRY_COMPARE_WITH_TIMEOUT(tzOk.size(), 1, Wait);

        QSignalSpy wifiOk(io, &IoConnect::setWifiSuccessMsg);
        io->setWifi(ch, "home", "secret");
        QByteArray wifi(76, '\0');
        wifi.replace(0, 4, "home");
        wifi.replace(32, 6, "secret");
        QVERIFY(sim->waitForLineFrom(0, ioLine("TIME", 0x0342, wifi.toHex()), Wait) >= 0);
        QTRY_COMPARE_WITH_TIMEOUT(wifiOk.size(), 1, Wait);
    }

    void refusedTimeZoneIsAFailure()
    {
        QVERIFY(startSim({"--uid", "TZNO", "--refuse-timezone"}));
        Device *d = addDevice("TZNO");
        Channel *ch = open(d);
        QVERIFY(ch);
        QSignalSpy ok(io, &IoConnect::setTimeZoneSuccessMsg);
        QSignalSpy fail(io, &IoConnect::setTimeZoneFailMsg);
        io->setTimeZone(ch, "GMT+08:00");
        QTRY_COMPARE_WITH_TIMEOUT(fail.size(), 1, Wait);
        QCOMPARE(fail.at(0).at(1).toInt(), 0);
        QCOMPARE(fail.at(0).at(2).toString(), QStringLiteral("设备无法修改时区"));
        QCOMPARE(ok.size(), 0);
    }

    void talkOpensAndStoppingVideoClosesIt()
    {
        DevsimProcess *sim = startSim({"--uid", "TALK"});
        QVERIFY(sim);
        Device *d = addDevice("TALK");
        Channel *ch = open(d);
        QVERIFY(ch);
        QSignalSpy on(io, &IoConnect::videoRequestSuccessMsg);
        io->startVideo(ch);
        QTRY_COMPARE_WITH_TIMEOUT(on.size(), 1, Wait);

        QSignalSpy talkOk(io, &IoConnect::audioSendControlSuccessMsg);
        QSignalSpy talkFail(io, &IoConnect::audioSendControlFailMsg);
        io->audioSendControl(ch, true);
        QTRY_COMPARE_WITH_TIMEOUT(talkOk.size() + talkFail.size(), 1, Wait);
        QCOMPARE(talkFail.size(), 0);
        QVERIFY(ch->talking());
        QVERIFY(sim->waitForLineFrom(0, QRegularExpression("^TALK_OPEN TALK \\S+ 0$"), Wait) >= 0);

        QSignalSpy stopOk(io, &IoConnect::videoRequestStopSuccessMsg);
        QSignalSpy stopFail(io, &IoConnect::videoRequestStopFailMsg);
        io->stopVideo(ch, false);
        QTRY_COMPARE_WITH_TIMEOUT(stopOk.size() + stopFail.size(), 1, Wait);
        QCOMPARE(stopFail.size(), 0);
        const bool stopped =
            sim->waitForLineFrom(0, QRegularExpression("^IOCTRL TALK \\S+ 0x0351 "), Wait) >= 0;
        if (!stopped)
            qWarning().noquote() << sim->lines().join(QLatin1Char('\n')) << talkFail;
        QVERIFY(stopped);
        QVERIFY(sim->waitForLineFrom(0, QRegularExpression("^TALK_CLOSE TALK "), Wait) >= 0);
        QTRY_VERIFY_WITH_TIMEOUT(!ch->talking(), Wait);
        QCOMPARE(ch->talkAvIndex(), -1);
    }

    void swallowedRequestIsCutByTheIoTimeout()
    {
        DevsimProcess *sim = startSim({"--uid", "STALL", "--stall-io"});
        QVERIFY(sim);
        Device *d = addDevice("STALL");
        Channel *ch = open(d);
        QVERIFY(ch);
        io->setIoTimeoutMs(1500);
        QSignalSpy fail(io, &IoConnect::setTimeZoneFailMsg);
        io->setTimeZone(ch, "GMT+01:00");
        QVERIFY(sim->waitForLineFrom(0, ioLine("STALL", 0x332e, QByteArray("GMT+01:00").toHex()),
                                     Wait) >= 0);
        QTRY_COMPARE_WITH_TIMEOUT(fail.size(), 1, Wait);
        QCOMPARE(fail.at(0).at(1).toInt(), -20011);
        QCOMPARE(fail.at(0).at(2).toString(), QStringLiteral("Timeout has expired"));
    }

    void closeDeviceReportsEveryChannelStopped()
    {
        DevsimProcess *sim = startSim({"--uid", "CLOSE", "--channels", "2"});
        QVERIFY(sim);
        Device *d = addDevice("CLOSE", 2);
        QVERIFY(open(d));
        QSignalSpy live(io, &IoConnect::videoRequestStopSuccessMsg);
        QSignalSpy replay(io, &IoConnect::stopReplaySuccessMsg);
        io->closeDevice(d);
        QCOMPARE(live.size(), 2);
        QCOMPARE(replay.size(), 2);
        QCOMPARE(d->sessionId(), -1);
        QVERIFY(sim->waitForLineFrom(0, QRegularExpression("^SESSION_CLOSE CLOSE "), Wait) >= 0);
    }

    void lanSearchListsDevicesAndReplacesResults()
    {
        QSignalSpy ok(io, &IoConnect::startLANSearchSuccessMsg);
        QSignalSpy fail(io, &IoConnect::startLANSearchFailMsg);
        io->startLanSearch();
        QTRY_COMPARE_WITH_TIMEOUT(ok.size() + fail.size(), 1, Wait);
        QCOMPARE(fail.size(), 0);
        QCOMPARE(io->lanResults().size(), 0);

        QVERIFY(startSim({"--uid", "LAN1", "--name", "first"}));
        QVERIFY(startSim({"--uid", "LAN2", "--name", "second"}));
        io->startLanSearch();
        QTRY_COMPARE_WITH_TIMEOUT(ok.size(), 2, Wait);
        QStringList uids;
        for (const LanSearchResult &r : io->lanResults())
            uids << r.uid;
        uids.sort();
        QCOMPARE(uids, (QStringList{"LAN1", "LAN2"}));
        for (const LanSearchResult &r : io->lanResults()) {
            QCOMPARE(r.port.toUShort(), sims[r.uid == "LAN1" ? 0 : 1]->port(r.uid));
            QCOMPARE(r.name, r.uid == "LAN1" ? QStringLiteral("first") : QStringLiteral("second"));
        }

        sims.pop_back();
        io->startLanSearch();
        QTRY_COMPARE_WITH_TIMEOUT(ok.size(), 3, Wait);
        QCOMPARE(io->lanResults().size(), 1);
        QCOMPARE(io->lanResults().at(0).uid, QStringLiteral("LAN1"));
    }
};

QTEST_GUILESS_MAIN(TstLinkDevsim)
#include "tst_link_devsim.moc"
