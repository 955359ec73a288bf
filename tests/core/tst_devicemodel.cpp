#include "model/Channel.h"
#include "model/ChannelSaveTimeout.h"
#include "model/Dev.h"
#include "model/Device.h"

#include <QSignalSpy>
#include <QtTest>
#include "TestMain.h"

using namespace Qt::StringLiterals;

namespace {

Device *makeDevice(const QString &uid, const QString &nick = QString(), int channels = 1)
{
    auto *d = new Device;
    d->setUid(uid);
    d->setNickName(nick);
    d->setType(7);
    d->setChannelCount(channels);
    return d;
}

QStringList uidsOf(const QList<Device *> &list)
{
    QStringList out;
    for (const Device *d : list)
        out << d->uid();
    return out;
}

} // namespace

class TstDeviceModel : public QObject
{
    Q_OBJECT

private slots:
    void channelCountGrowsButNeverDropsChannels()
    {
        Device d;
        d.setChannelCount(0); // zero channels means one
        QCOMPARE(d.channelCount(), 1);
        QCOMPARE(d.channels().size(), 1);
        d.setChannelCount(4);
        Channel *first = d.channel(0);
        Channel *fourth = d.channel(3);

        d.setChannelCount(8);
        QCOMPARE(d.channelCount(), 8);
        QCOMPARE(d.channels().size(), 8);
        QVERIFY(d.channel(0) == first && d.channel(3) == fourth);
        for (int i = 0; i < 8; ++i)
            QVERIFY(d.channel(i)->index() == i && d.channel(i)->device() == &d);

        // Lowering the count keeps the channels.
        d.setChannelCount(1);
        QCOMPARE(d.channelCount(), 1);
        QCOMPARE(d.channels().size(), 8);
        QCOMPARE(d.channel(8), nullptr);
        d.clearChannels();
        QVERIFY(d.channels().isEmpty());
    }

    void shownNamesFallBack()
    {
        Device d;
        d.setUid(u"UID-1"_s);
        QCOMPARE(d.caption(), u"UID-1"_s);
        d.setNickName(u"门口"_s);
        QCOMPARE(d.caption(), u"门口"_s);
        QCOMPARE(d.viewAccount(), u"Admin"_s); // an empty account reads Admin
    }

    void delayNeedsAPlausibleSenderClock_data()
    {
        QTest::addColumn<quint32>("sent");
        QTest::addColumn<qint64>("now");
        QTest::addColumn<int>("delay");
        const qint64 t = 0x1'8000'0010; // the 32-bit clock wrapped meanwhile
        QTest::newRow("devsim clock") << quint32(0x7fff'ff9c) << t << 116;
        QTest::newRow("across the wrap") << quint32(0xffff'fff0) << t + 0x8000'0000 << 32;
        QTest::newRow("no clock sent") << quint32(0) << t << -1;
        QTest::newRow("clock ahead") << quint32(0x8000'0020) << t << -1;
        QTest::newRow("over a minute old") << quint32(0x7ffe'0000) << t << -1;
    }
    void delayNeedsAPlausibleSenderClock()
    {
        QFETCH(quint32, sent);
        QFETCH(qint64, now);
        QFETCH(int, delay);
        QCOMPARE(StreamCounters::delayOf(sent, now), delay);
    }

    void settingRecordingClearsKeySeenOfThatModeOnly()
    {
        Device d;
        d.setChannelCount(1);
        Channel *c = d.channel(0);
        c->setRecordKeySeen(true, true);
        c->setRecordKeySeen(true, false);
        c->setRecording(true, true);
        QVERIFY(c->recording(true) && !c->recordKeySeen(true));
        QVERIFY(!c->recording(false) && c->recordKeySeen(false));
    }

    void ioTimeoutReportsItsChannelOnce()
    {
        Device d;
        d.setChannelCount(2);
        Channel *c = d.channel(1);
        ChannelSaveTimeout *t = c->ioTimeout();
        QSignalSpy withChannel(t, qOverload<Channel *>(&ChannelSaveTimeout::timeout));
        QSignalSpy plain(t, &QTimer::timeout);
        t->start(1);
        QTRY_COMPARE_WITH_TIMEOUT(withChannel.count(), 1, 10000);
        QCOMPARE(withChannel.at(0).at(0).value<Channel *>(), c);
        QCOMPARE(plain.count(), 1);
        QVERIFY(!t->isActive()); // single shot
    }

    void addOrUpdateKeepsTheRegisteredObject()
    {
        Dev dev;
        Device *registered = dev.addOrUpdate(makeDevice(u"A"_s, u"old"_s, 4));
        QCOMPARE(dev.addOrUpdate(makeDevice(u"B"_s))->uid(), u"B"_s);
        QCOMPARE(uidsOf(dev.devices()), (QStringList{"A", "B"}));
        QCOMPARE(dev.deviceByUid(u"B"_s), dev.devices().at(1));
        QCOMPARE(dev.deviceByUid(u"b"_s), nullptr);
        registered->setViewAccount(u"guest"_s);
        registered->setSessionId(5);
        Channel *streaming = registered->channel(2);
        streaming->setAvIndex(1, true);

        Device *report = makeDevice(u"A"_s, u"new"_s, 8);
        report->setType(2);
        report->setViewPassword(u"pw"_s);
        QCOMPARE(dev.addOrUpdate(report), registered); // report is deleted
        QCOMPARE(dev.devices().size(), 2);
        QCOMPARE(registered->nickName(), u"new"_s);
        QCOMPARE(registered->type(), 2);
        QCOMPARE(registered->channels().size(), 8);
        QCOMPARE(registered->viewAccount(), u"Admin"_s);
        QCOMPARE(registered->viewPassword(), u"pw"_s);
        QCOMPARE(registered->sessionId(), 5);
        QCOMPARE(registered->channel(2), streaming);
        QCOMPARE(streaming->avIndex(true), 1);

        // Reported again with fewer channels: none is lost.
        QCOMPARE(dev.addOrUpdate(makeDevice(u"A"_s, QString(), 1)), registered);
        QCOMPARE(registered->channels().size(), 8);
    }

    void removeDeviceTakesItOutAndClearsSelection()
    {
        Dev dev;
        Device *a = dev.addOrUpdate(makeDevice(u"A"_s, QString(), 2));
        Device *b = dev.addOrUpdate(makeDevice(u"B"_s));
        QSignalSpy devSpy(&dev, &Dev::selectDevMsg);
        QSignalSpy channelSpy(&dev, &Dev::selectChannelMsg);
        dev.setSelectedDevice(a);
        dev.setSelectedChannel(a->channel(1));
        QCOMPARE(devSpy.count(), 1);
        QCOMPARE(devSpy.at(0).at(0).value<Device *>(), a);
        QCOMPARE(channelSpy.at(0).at(0).value<Channel *>(), a->channel(1));
        QSignalSpy reload(&dev, &Dev::reloadDevMsg);

        dev.removeDevice(a);
        QCOMPARE(reload.count(), 1);
        QCOMPARE(uidsOf(dev.devices()), QStringList{"B"});
        QVERIFY(!dev.selectedDevice() && !dev.selectedChannel());
        delete a; // the caller keeps the removed device

        dev.setSelectedDevice(b);
        Device stranger;
        dev.removeDevice(&stranger); // not registered: list unchanged
        QCOMPARE(reload.count(), 2);
        QCOMPARE(dev.devices().size(), 1);
        QCOMPARE(dev.selectedDevice(), b);
    }

    void filterMatchesUidOrNickNameIgnoringCase()
    {
        Dev dev;
        dev.addOrUpdate(makeDevice(u"XXAB12"_s, u"garage"_s));
        dev.addOrUpdate(makeDevice(u"QQ0001"_s, u"Lab door"_s));
        dev.addOrUpdate(makeDevice(u"ZZ0002"_s, u"客厅"_s));
        dev.addOrUpdate(makeDevice(u"yyab99"_s));

        QCOMPARE(dev.filteredDevices().size(), 4);
        dev.setSearchKey(u"AB"_s);
        QCOMPARE(uidsOf(dev.filteredDevices()), (QStringList{"XXAB12", "QQ0001", "yyab99"}));
        dev.setSearchKey(u"客"_s);
        QCOMPARE(uidsOf(dev.filteredDevices()), QStringList{"ZZ0002"});
        dev.setSearchKey(u"nothing"_s);
        QVERIFY(dev.filteredDevices().isEmpty());
        QVERIFY(!dev.matches(nullptr));
        dev.setSearchKey(QString());
        QCOMPARE(dev.filteredDevices(), dev.devices());
    }
};

ORVANE_TEST_GUILESS_MAIN(TstDeviceModel)
#include "tst_devicemodel.moc"
