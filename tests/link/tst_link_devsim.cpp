// The device link against real devsim processes on loopback: sessions, AV
// channels, the IO control messages as the device receives them, its
// replies, talk, devices that die or freeze and come back, and LAN search.

#include "DevsimProcess.h"
#include "LinkFixture.h"
#include "config/Config.h"

#include "TestMain.h"
#include <QRandomGenerator>
#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>

#ifdef Q_OS_UNIX
#include <signal.h>
#endif

#include <memory>
#include <vector>

namespace {

QRegularExpression ioLine(const QString &uid, unsigned type, const QByteArray &payloadHex)
{
    return QRegularExpression(
        QStringLiteral("^IOCTRL %1 \\S+ 0x0*%2 %3$")
            .arg(uid)
            .arg(type, 0, 16)
            .arg(payloadHex.isEmpty() ? QStringLiteral("-") : QString::fromLatin1(payloadHex)));
}

} // namespace

class TstLinkDevsim : public LinkFixture
{
    Q_OBJECT

private:
    std::vector<std::unique_ptr<DevsimProcess>> sims;
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

    // Waits for a line matching re after line `from`; its index, or -1.
    int seen(DevsimProcess *sim, const QRegularExpression &re, int from = 0)
    {
        return sim->waitForLineFrom(from, re, Wait);
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
        tearDownLink();
        sims.clear();
    }

    void wrongPasswordFailsAndAnEmptyAccountIsAdmin()
    {
        QVERIFY(startSim({"--uid", "PWD", "--account", "Admin", "--password", "right"}));
        Device *d = addDevice("PWD", 1, "Admin", "wrong");
        QSignalSpy fail(io, &IoConnect::connectChannelFailMsg);
        QVERIFY(!open(d));
        QCOMPARE(fail.size(), 1);
        QCOMPARE(fail.at(0).mid(1),
                 (QVariantList{AV_ER_WRONG_VIEWACCorPWD, "Incorrect view account or password"}));

        d->setViewAccount(QString());
        d->setViewPassword("right");
        QVERIFY(open(d));
    }

    void ioControlMessagesReachTheDeviceAndItsRepliesCount()
    {
        DevsimProcess *sim = startSim({"--uid", "LIVE", "--channels", "2"});
        QVERIFY(sim);
        Channel *ch = open(addDevice("LIVE", 2), 1);
        QVERIFY(ch);

        QSignalSpy on(io, &IoConnect::videoRequestSuccessMsg);
        io->startVideo(ch);
        QTRY_COMPARE_WITH_TIMEOUT(on.size(), 1, Wait);
        const int prepare = seen(sim, ioLine("LIVE", 0x00ff, "0000"));
        QVERIFY(prepare >= 0);
        QVERIFY(seen(sim, ioLine("LIVE", 0x01ff, "0100000000000000"), prepare) >= 0);

        QSignalSpy audioOk(io, &IoConnect::audioControlSuccessMsg);
        io->audioControl(ch, true);
        QVERIFY(seen(sim, ioLine("LIVE", 0x0300, "00000000")) >= 0);
        QTRY_COMPARE_WITH_TIMEOUT(audioOk.size(), 1, Wait);
        QVERIFY(ch->audioOn(true));
        io->audioControl(ch, false);
        QVERIFY(seen(sim, ioLine("LIVE", 0x0301, "00000000")) >= 0);

        // Quality: the stream restarts, and success follows the device's reply.
        QSignalSpy changed(io, &IoConnect::changeQualitySuccessMsg);
        const int from = sim->lineCount();
        io->changeQuality(ch, true);
        QTRY_COMPARE_WITH_TIMEOUT(changed.size(), 1, Wait);
        QVERIFY(ch->quality(true));
        const int set = seen(sim, ioLine("LIVE", 0x0320, "0100000001000000"), from);
        QVERIFY(set >= 0);
        const int stop = seen(sim, ioLine("LIVE", 0x02ff, "0100000000000000"), set);
        QVERIFY(stop >= 0);
        QVERIFY(seen(sim, ioLine("LIVE", 0x01ff, "0100000000000000"), stop) >= 0);
        QTRY_COMPARE_WITH_TIMEOUT(on.size(), 2, Wait);

        QSignalSpy timeOk(io, &IoConnect::setTimeSuccessMsg);
        io->setTime(ch, QDateTime(QDate(2020, 5, 20), QTime(7, 4, 38)));
        QVERIFY(seen(sim, ioLine("LIVE", 0x331e, QByteArray("2020-5-20-7-4-38").toHex())) >= 0);
        QTRY_COMPARE_WITH_TIMEOUT(timeOk.size(), 1, Wait);

        QSignalSpy tzOk(io, &IoConnect::setTimeZoneSuccessMsg);
        io->setTimeZone(ch, "GMT+08:00");
        QVERIFY(seen(sim, ioLine("LIVE", 0x332e, QByteArray("GMT+08:00").toHex())) >= 0);
        QTRY_COMPARE_WITH_TIMEOUT(tzOk.size(), 1, Wait);

        QSignalSpy wifiOk(io, &IoConnect::setWifiSuccessMsg);
        io->setWifi(ch, "home", "secret");
        QVERIFY(seen(sim, ioLine("LIVE", 0x0342, IoCtrl::wifiSet("home", "secret").toHex())) >= 0);
        QTRY_COMPARE_WITH_TIMEOUT(wifiOk.size(), 1, Wait);
    }

    // Replies come as the library announces them, not with the poll: with
    // the poll all but off, a day's record list still arrives within moments.
    void repliesComeWithoutThePoll()
    {
        QVERIFY(startSim({"--uid", "ANNOUNCE"}));
        io->setMessagePollMs(600000);
        Channel *ch = open(addDevice("ANNOUNCE"));
        QVERIFY(ch);
        io->getReplayVideoTime(ch, QDate::currentDate());
        QTRY_VERIFY_WITH_TIMEOUT(ch->recordListReady(), 3000);
    }

    void talkOpensAndStoppingVideoClosesIt()
    {
        DevsimProcess *sim = startSim({"--uid", "TALK"});
        QVERIFY(sim);
        Channel *ch = open(addDevice("TALK"));
        QVERIFY(ch);
        QSignalSpy on(io, &IoConnect::videoRequestSuccessMsg);
        io->startVideo(ch);
        QTRY_COMPARE_WITH_TIMEOUT(on.size(), 1, Wait);

        QSignalSpy talkOk(io, &IoConnect::audioSendControlSuccessMsg);
        io->audioSendControl(ch, true);
        QTRY_COMPARE_WITH_TIMEOUT(talkOk.size(), 1, Wait);
        QVERIFY(ch->talking());
        QVERIFY(seen(sim, QRegularExpression("^TALK_OPEN TALK \\S+ 0$")) >= 0);

        QSignalSpy stopped(io, &IoConnect::videoRequestStopSuccessMsg);
        io->stopVideo(ch, false);
        QTRY_COMPARE_WITH_TIMEOUT(stopped.size(), 1, Wait);
        QVERIFY(!ch->videoOn(true));
        QVERIFY(seen(sim, ioLine("TALK", 0x02ff, "0000000000000000")) >= 0);
        QVERIFY(seen(sim, QRegularExpression("^IOCTRL TALK \\S+ 0x0351 ")) >= 0);
        QVERIFY(seen(sim, QRegularExpression("^TALK_CLOSE TALK ")) >= 0);
        QTRY_VERIFY_WITH_TIMEOUT(!ch->talking(), Wait);
    }

    void lostDeviceGoesOfflineAndComesBack_data()
    {
        QTest::addColumn<bool>("freeze");
        QTest::addColumn<int>("code");
        QTest::newRow("killed, restarted on its port") << false << AV_ER_SESSION_CLOSE_BY_REMOTE;
        QTest::newRow("frozen past the keep-alive, resumed")
            << true << AV_ER_REMOTE_TIMEOUT_DISCONNECT;
    }

    void lostDeviceGoesOfflineAndComesBack()
    {
        QFETCH(bool, freeze);
        QFETCH(int, code);
#ifndef Q_OS_UNIX
        QSKIP("needs POSIX signals");
#else
        DevsimProcess *sim = startSim({"--uid", "LOST"});
        QVERIFY(sim);
        Device *d = addDevice("LOST");
        Channel *ch = open(d);
        QVERIFY(ch);
        ch->setViewRequested(true, true);
        QSignalSpy offline(io, &IoConnect::deviceOfflineMsg);
        QSignalSpy online(io, &IoConnect::deviceOnlineMsg);
        QSignalSpy ready(io, &IoConnect::connectChannelSuccessMsg);
        const auto pid = pid_t(sim->process().processId());
        const QString port = QString::number(sim->port("LOST"));
        if (freeze)
            ::kill(pid, SIGSTOP);
        else
            sim->kill();
        QTRY_COMPARE_WITH_TIMEOUT(offline.size(), 1, Wait);
        QCOMPARE(offline.at(0).at(1).toInt(), code);
        QCOMPARE(d->sessionId(), -1);
        QCOMPARE(d->linkState(), Device::LinkState::Offline);
        if (freeze)
            ::kill(pid, SIGCONT);
        else
            QVERIFY(startSim({"--uid", "LOST", "--port", port}));
        QTRY_COMPARE_WITH_TIMEOUT(ready.size(), 1, Wait);
        QCOMPARE(online.size(), 1);
        QCOMPARE(offline.size(), 1);
        QCOMPARE(d->linkState(), Device::LinkState::Online);
        QVERIFY(ch->avIndex(true) >= 0);
#endif
    }

    // A device that is not up yet when a channel is wanted (a recorder that
    // boots slower than the wall's PC) goes offline once and is tried again
    // with the reconnect waits until it answers; the tries are silent.
    void deviceStartedLaterIsTriedUntilItAnswers()
    {
        QTcpServer probe; // a port where nothing listens yet
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        const QString port = QString::number(probe.serverPort());
        probe.close();
        qputenv("ORVANE_P2P_PEERS", QByteArrayLiteral("LATE@127.0.0.1:") + port.toLatin1());
        io->setReconnectUnitMs(200);
        Device *d = addDevice("LATE");
        Channel *ch = d->channel(0);
        ch->setViewRequested(true, true);
        QSignalSpy offline(io, &IoConnect::deviceOfflineMsg);
        QSignalSpy failed(io, &IoConnect::connectDevFailMsg);
        QSignalSpy online(io, &IoConnect::deviceOnlineMsg);
        QSignalSpy ready(io, &IoConnect::connectChannelSuccessMsg);
        io->connectChannel(ch);
        io->startChannel(ch);
        QTRY_COMPARE_WITH_TIMEOUT(offline.size(), 1, Wait);
        QCOMPARE(d->linkState(), Device::LinkState::Offline);
        QTest::qWait(1500); // a few silent tries
        QVERIFY(startSim({"--uid", "LATE", "--port", port}));
        QTRY_COMPARE_WITH_TIMEOUT(ready.size(), 1, Wait);
        QCOMPARE(online.size(), 1);
        QCOMPARE(offline.size(), 1);
        QCOMPARE(failed.size(), 0);
        QVERIFY(ch->avIndex(true) >= 0);
    }

    // Devices that accept the connection and then stall, or answer with
    // bytes that are not the protocol, are tried again and again; meanwhile
    // a live device connects at once (attempts run side by side).
    void stalledOrGarbledDevicesAreRetriedWithoutHoldingBackALiveOne()
    {
        QTcpServer stall, garbage;
        QVERIFY(stall.listen(QHostAddress::LocalHost));
        QVERIFY(garbage.listen(QHostAddress::LocalHost));
        int stalled = 0, garbled = 0;
        QList<QTcpSocket *> held; // the stalled connections stay open, unanswered
        connect(&stall, &QTcpServer::newConnection, this, [&] {
            while (QTcpSocket *c = stall.nextPendingConnection()) {
                ++stalled;
                held << c;
            }
        });
        connect(&garbage, &QTcpServer::newConnection, this, [&] {
            while (QTcpSocket *c = garbage.nextPendingConnection()) {
                ++garbled;
                c->write(QByteArray(64, '\x5a'));
                held << c;
            }
        });
        QVERIFY(startSim({"--uid", "ALIVE"}));
        qputenv("ORVANE_P2P_PEERS",
                qgetenv("ORVANE_P2P_PEERS") +
                    ";STALL@127.0.0.1:" + QByteArray::number(stall.serverPort()) +
                    ";GARBLE@127.0.0.1:" + QByteArray::number(garbage.serverPort()));
        io->setReconnectUnitMs(200);
        QSignalSpy offline(io, &IoConnect::deviceOfflineMsg);
        QSignalSpy ready(io, &IoConnect::connectChannelSuccessMsg);
        QElapsedTimer clock;
        clock.start();
        for (const char *uid : {"STALL", "GARBLE", "ALIVE"}) {
            Channel *ch = addDevice(uid)->channel(0);
            ch->setViewRequested(true, true);
            io->connectChannel(ch);
            io->startChannel(ch);
        }
        QTRY_COMPARE_WITH_TIMEOUT(ready.size(), 1, Wait);
        QVERIFY2(clock.elapsed() < IoConnect::ConnectWatchdogMs,
                 QByteArray::number(clock.elapsed()).constData());
        // Each dead device goes offline once, then is tried silently.
        QTRY_VERIFY_WITH_TIMEOUT(stalled >= 2 && garbled >= 2, 3 * Wait);
        QCOMPARE(offline.size(), 2);
        qDeleteAll(held);
    }

    // A refused password is not tried again blindly: one failure, no storm
    // of sessions while the channel stays wanted.
    void refusedPasswordIsNotRetried()
    {
        DevsimProcess *sim =
            startSim({"--uid", "DENY", "--account", "Admin", "--password", "right"});
        QVERIFY(sim);
        io->setReconnectUnitMs(200); // the back-off's 30 s pass in 6
        Device *d = addDevice("DENY", 1, "Admin", "wrong");
        Channel *ch = d->channel(0);
        ch->setViewRequested(true, true);
        QSignalSpy fail(io, &IoConnect::connectChannelFailMsg);
        io->connectChannel(ch);
        io->startChannel(ch);
        QTRY_COMPARE_WITH_TIMEOUT(fail.size(), 1, Wait);
        QTest::qWait(6500);
        QCOMPARE(fail.size(), 1);
        const qsizetype logins =
            sim->matchingLines(QRegularExpression(QStringLiteral("^LOGIN_REFUSED DENY "))).size();
        QVERIFY2(logins >= 1 && logins <= 2, QByteArray::number(logins).constData());

        // Mended by the user (the grid then asks again, as on a new cell): it plays.
        QSignalSpy ok(io, &IoConnect::connectChannelSuccessMsg);
        d->setViewPassword(QStringLiteral("right"));
        if (d->sessionId() < 0)
            io->connectChannel(ch);
        io->startChannel(ch);
        QTRY_COMPARE_WITH_TIMEOUT(ok.size(), 1, Wait);
    }

    // A channel nobody wants any more is not tried again.
    void unwantedFailedConnectIsNotRetried()
    {
        qputenv("ORVANE_P2P_PEERS", QByteArrayLiteral("NOBODY@127.0.0.1:9"));
        Device *d = addDevice("NOBODY");
        QSignalSpy failed(io, &IoConnect::connectDevFailMsg);
        QSignalSpy offline(io, &IoConnect::deviceOfflineMsg);
        io->connectChannel(d->channel(0));
        QTRY_COMPARE_WITH_TIMEOUT(failed.size(), 1, Wait);
        QCOMPARE(offline.size(), 0);
        QCOMPARE(io->reconnectDelayMs(d), -1);
    }

    // The pin kept in the settings is required: another key is refused with
    // both keys named; a forgotten pin trusts (and keeps) the key met next.
    void changedDeviceKeyIsRefusedUntilForgotten()
    {
        DevsimProcess *sim = startSim({"--uid", "REKEY"});
        QVERIFY(sim);
        QRegularExpressionMatch key;
        QVERIFY(sim->waitForLineFrom(0, QRegularExpression("^KEY REKEY (\\S+)$"), Wait, &key) >= 0);
        const QString trusted(64, u'a');
        QVERIFY(Config::instance()->setDevicePin("REKEY", trusted));
        Device *d = addDevice("REKEY");
        QSignalSpy refused(io, &IoConnect::connectDevFailMsg);
        io->connectChannel(d->channel(0));
        QTRY_COMPARE_WITH_TIMEOUT(refused.size(), 1, Wait);
        QCOMPARE(refused.at(0).at(1).toInt(), IOTC_ER_DEVICE_KEY_MISMATCH);
        const QString text = refused.at(0).at(2).toString();
        QVERIFY2(text.contains("REKEY") && text.contains("aaaa aaaa") &&
                     text.contains(key.captured(1).left(4) + ' ' + key.captured(1).mid(4, 4)),
                 qPrintable(text));
        QCOMPARE(d->linkState(), Device::LinkState::Idle);

        QVERIFY(Config::instance()->setDevicePin("REKEY", QString()));
        QVERIFY(open(d));
        QCOMPARE(Config::instance()->devicePin("REKEY"), key.captured(1));
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
        QStringList found;
        for (const LanSearchResult &r : io->lanResults())
            found << QStringList{r.uid, r.name, r.port}.join(' ');
        found.sort();
        QCOMPARE(found, (QStringList{"LAN1 first " + QString::number(sims[0]->port("LAN1")),
                                     "LAN2 second " + QString::number(sims[1]->port("LAN2"))}));

        sims.pop_back();
        io->startLanSearch();
        QTRY_COMPARE_WITH_TIMEOUT(ok.size(), 3, Wait);
        QCOMPARE(io->lanResults().size(), 1);
        QCOMPARE(io->lanResults().at(0).uid, QStringLiteral("LAN1"));
    }
};

ORVANE_TEST_GUILESS_MAIN(TstLinkDevsim)
#include "tst_link_devsim.moc"
