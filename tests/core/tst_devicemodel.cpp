#include "model/Channel.h"
#include "model/ChannelSaveTimeout.h"
#include "model/Dev.h"
#include "model/Device.h"

#include <QSignalSpy>
#include <QtTest>

namespace {

Device *makeDevice(const QString &uid, const QString &nick, int channels = 1)
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
    void newDeviceIsEmpty();
    void channelGrowthKeepsExistingChannels();
    void zeroChannelsMeansOne();
    void emptyViewAccountReadsAdmin();
    void typeNames_data();
    void typeNames();
    void captionFallsBackToUid();

    void channelStartsWithInitialValues();
    void modesAreIndependent();
    void settingRecordingClearsKeySeen();
    void versionInfoIsCopied();
    void recordTimesAppendAndClear();
    void ioTimeoutReportsItsChannelOnce();

    void addOrUpdateAppendsNewUid();
    void addOrUpdateKeepsTheRegisteredObject();
    void removeDeviceTakesItOutAndClearsSelection();
    void filterMatchesUidOrNickNameIgnoringCase();
    void selectionEmitsSignals();
};

void TstDeviceModel::newDeviceIsEmpty()
{
    Device d;
    QCOMPARE(d.sessionId(), -1);
    QVERIFY(d.channels().isEmpty());
    QVERIFY(d.uid().isEmpty());
    QCOMPARE(d.channel(0), nullptr);
}

void TstDeviceModel::channelGrowthKeepsExistingChannels()
{
    Device d;
    d.setChannelCount(4);
    QCOMPARE(d.channels().size(), 4);
    Channel *first = d.channel(0);
    Channel *fourth = d.channel(3);
    first->setAvIndex(2, true);

    d.setChannelCount(8);
    QCOMPARE(d.channelCount(), 8);
    QCOMPARE(d.channels().size(), 8);
    QCOMPARE(d.channel(0), first);
    QCOMPARE(d.channel(3), fourth);
    QCOMPARE(first->avIndex(true), 2);
    for (int i = 0; i < 8; ++i) {
        QCOMPARE(d.channel(i)->index(), i);
        QCOMPARE(d.channel(i)->device(), &d);
    }

    // Lowering the count keeps the channels.
    d.setChannelCount(1);
    QCOMPARE(d.channelCount(), 1);
    QCOMPARE(d.channels().size(), 8);
    QCOMPARE(d.channel(7)->index(), 7);

    d.clearChannels();
    QVERIFY(d.channels().isEmpty());
}

void TstDeviceModel::zeroChannelsMeansOne()
{
    Device d;
    d.setChannelCount(0);
    QCOMPARE(d.channelCount(), 1);
    QCOMPARE(d.channels().size(), 1);
}

void TstDeviceModel::emptyViewAccountReadsAdmin()
{
    Device d;
    QCOMPARE(d.viewAccount(), QStringLiteral("Admin"));
    d.setViewAccount(QStringLiteral("guest"));
    QCOMPARE(d.viewAccount(), QStringLiteral("guest"));
}

void TstDeviceModel::typeNames_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("name");
    const char *names[] = {"DVR",      "NVR",  "NVR(POE)",      "NVR(WIRELESS)", "IPC(POE)",
                           "IPC(BOL)", "IPC",  "IPC(KAPIANJI)", "IPC(FISHEYE)",  "IPC(PTZ)",
                           "T301",     "T302", "T303",          "T304"};
    for (int i = 0; i < 14; ++i)
        QTest::newRow(names[i]) << i + 1 << QString::fromLatin1(names[i]);
    QTest::newRow("10001") << 10001 << QStringLiteral("DVR(PTZ)");
    QTest::newRow("15") << 15 << QStringLiteral("[未知类型:15]");
    QTest::newRow("0") << 0 << QStringLiteral("[未知类型:0]");
    QTest::newRow("-3") << -3 << QStringLiteral("[未知类型:-3]");
}

void TstDeviceModel::typeNames()
{
    QFETCH(int, type);
    QFETCH(QString, name);
    QCOMPARE(Device::typeName(type), name);
}

void TstDeviceModel::captionFallsBackToUid()
{
    Device d;
    d.setUid(QStringLiteral("UID-1"));
    QCOMPARE(d.caption(), QStringLiteral("UID-1"));
    d.setNickName(QStringLiteral("门口"));
    QCOMPARE(d.caption(), QStringLiteral("门口"));
}

void TstDeviceModel::channelStartsWithInitialValues()
{
    Device d;
    d.setChannelCount(1);
    const Channel *c = d.channel(0);
    for (bool live : {true, false}) {
        QCOMPARE(c->avIndex(live), -1);
        QCOMPARE(c->frameRate(live), -1);
        QCOMPARE(c->slot(live).frameRateWindowStart, qint64(-1));
        QVERIFY(!c->videoOn(live) && !c->audioOn(live) && !c->viewRequested(live));
        QVERIFY(!c->recording(live) && !c->snapshotPending(live));
        QVERIFY(!c->slot(live).videoDecoder.ready());
        QVERIFY(!c->slot(live).picture);
    }
    QCOMPARE(c->talkAvIndex(), -1);
    QCOMPARE(c->talkChannelId(), -1);
    QVERIFY(!c->versionInfo());
    QVERIFY(!c->recordListDay().isValid());
    QVERIFY(c->ioTimeout()->isSingleShot());
    QCOMPARE(c->ioTimeout()->channel(), c);
}

void TstDeviceModel::modesAreIndependent()
{
    Device d;
    d.setChannelCount(1);
    Channel *c = d.channel(0);
    c->setAvIndex(3, false);
    c->setVideoOn(true, true);
    c->setPaused(true, false);
    c->slot(false).picture.reset(new quint8[16]);
    QCOMPARE(c->avIndex(true), -1);
    QCOMPARE(c->avIndex(false), 3);
    QVERIFY(c->videoOn(true) && !c->videoOn(false));
    QVERIFY(!c->paused(true) && c->paused(false));
    QVERIFY(!c->slot(true).picture);
}

void TstDeviceModel::settingRecordingClearsKeySeen()
{
    Device d;
    d.setChannelCount(1);
    Channel *c = d.channel(0);
    c->setRecording(true, true);
    c->setRecordKeySeen(true, true);
    c->setRecordKeySeen(true, false);
    c->setRecording(false, true);
    QVERIFY(!c->recordKeySeen(true));
    QVERIFY(c->recordKeySeen(false));
    c->setRecording(true, true);
    QVERIFY(c->recording(true) && !c->recordKeySeen(true));
}

void TstDeviceModel::versionInfoIsCopied()
{
    Device d;
    d.setChannelCount(1);
    Channel *c = d.channel(0);
    char reply[64] = {};
    qstrcpy(reply, "V1.2.3");
    c->setVersionInfo(reply);
    reply[0] = 'X';
    QCOMPARE(c->versionText(), QStringLiteral("V1.2.3"));

    char full[64];
    memset(full, 'a', sizeof full); // no terminating zero
    c->setVersionInfo(full);
    QCOMPARE(c->versionText(), QString(64, QLatin1Char('a')));
    c->setVersionInfo(nullptr);
    QVERIFY(c->versionText().isEmpty());
}

void TstDeviceModel::recordTimesAppendAndClear()
{
    Device d;
    d.setChannelCount(1);
    Channel *c = d.channel(0);
    c->appendRecordTime({1, 2, 3});
    c->appendRecordTime({4, 5, 6});
    QList<QList<int>> copy = c->recordTimes();
    copy.clear();
    QCOMPARE(c->recordTimes().size(), 2);
    QCOMPARE(c->recordTimes().at(1), (QList<int>{4, 5, 6}));
    c->clearRecordTimes();
    QVERIFY(c->recordTimes().isEmpty());
}

void TstDeviceModel::ioTimeoutReportsItsChannelOnce()
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
    QVERIFY(!t->isActive());
}

void TstDeviceModel::addOrUpdateAppendsNewUid()
{
    Dev dev;
    Device *a = makeDevice(QStringLiteral("A"), QStringLiteral("one"));
    QCOMPARE(dev.addOrUpdate(a), a);
    QCOMPARE(dev.addOrUpdate(makeDevice(QStringLiteral("B"), QString()))->uid(),
             QStringLiteral("B"));
    QCOMPARE(uidsOf(dev.devices()), (QStringList{QStringLiteral("A"), QStringLiteral("B")}));
    QCOMPARE(dev.deviceByUid(QStringLiteral("B")), dev.devices().at(1));
    QCOMPARE(dev.deviceByUid(QStringLiteral("b")), nullptr);
}

void TstDeviceModel::addOrUpdateKeepsTheRegisteredObject()
{
    Dev dev;
    Device *registered = dev.addOrUpdate(makeDevice(QStringLiteral("A"), QStringLiteral("old"), 4));
    registered->setViewAccount(QStringLiteral("guest"));
    registered->setSessionId(5);
    Channel *streaming = registered->channel(2);
    streaming->setAvIndex(1, true);
    streaming->setVideoOn(true, true);

    Device *report = makeDevice(QStringLiteral("A"), QStringLiteral("new"), 8);
    report->setType(2);
    report->setViewPassword(QStringLiteral("pw"));
    QCOMPARE(dev.addOrUpdate(report), registered); // report is deleted

    QCOMPARE(dev.devices().size(), 1);
    QCOMPARE(registered->nickName(), QStringLiteral("new"));
    QCOMPARE(registered->type(), 2);
    QCOMPARE(registered->channelCount(), 8);
    QCOMPARE(registered->channels().size(), 8);
    QCOMPARE(registered->viewAccount(), QStringLiteral("Admin"));
    QCOMPARE(registered->viewPassword(), QStringLiteral("pw"));
    QCOMPARE(registered->sessionId(), 5);
    QCOMPARE(registered->channel(2), streaming);
    QVERIFY(streaming->videoOn(true));
    QCOMPARE(streaming->avIndex(true), 1);

    // Reported again with fewer channels: none is lost.
    QCOMPARE(dev.addOrUpdate(makeDevice(QStringLiteral("A"), QStringLiteral("new"), 1)),
             registered);
    QCOMPARE(registered->channels().size(), 8);
}

void TstDeviceModel::removeDeviceTakesItOutAndClearsSelection()
{
    Dev dev;
    Device *a = dev.addOrUpdate(makeDevice(QStringLiteral("A"), QString(), 2));
    Device *b = dev.addOrUpdate(makeDevice(QStringLiteral("B"), QString()));
    dev.setSelectedDevice(a);
    dev.setSelectedChannel(a->channel(1));
    QSignalSpy reload(&dev, &Dev::reloadDevMsg);

    dev.removeDevice(a);
    QCOMPARE(reload.count(), 1);
    QCOMPARE(uidsOf(dev.devices()), QStringList{QStringLiteral("B")});
    QCOMPARE(dev.selectedDevice(), nullptr);
    QCOMPARE(dev.selectedChannel(), nullptr);
    delete a; // the caller keeps the removed device

    dev.setSelectedDevice(b);
    Device stranger;
    dev.removeDevice(&stranger); // not registered: list unchanged
    QCOMPARE(reload.count(), 2);
    QCOMPARE(dev.devices().size(), 1);
    QCOMPARE(dev.selectedDevice(), b);
}

void TstDeviceModel::filterMatchesUidOrNickNameIgnoringCase()
{
    Dev dev;
    dev.addOrUpdate(makeDevice(QStringLiteral("XXAB12"), QStringLiteral("garage")));
    dev.addOrUpdate(makeDevice(QStringLiteral("QQ0001"), QStringLiteral("Lab door")));
    dev.addOrUpdate(makeDevice(QStringLiteral("ZZ0002"), QStringLiteral("客厅")));
    dev.addOrUpdate(makeDevice(QStringLiteral("yyab99"), QString()));

    QCOMPARE(dev.filteredDevices().size(), 4);
    dev.setSearchKey(QStringLiteral("ab"));
    QCOMPARE(uidsOf(dev.filteredDevices()),
             (QStringList{QStringLiteral("XXAB12"), QStringLiteral("QQ0001"),
                          QStringLiteral("yyab99")}));
    dev.setSearchKey(QStringLiteral("AB"));
    QCOMPARE(dev.filteredDevices().size(), 3);
    dev.setSearchKey(QStringLiteral("客"));
    QCOMPARE(uidsOf(dev.filteredDevices()), QStringList{QStringLiteral("ZZ0002")});
    dev.setSearchKey(QStringLiteral("nothing"));
    QVERIFY(dev.filteredDevices().isEmpty());
    QVERIFY(!dev.matches(nullptr));
    dev.setSearchKey(QString());
    QCOMPARE(dev.filteredDevices(), dev.devices());
}

void TstDeviceModel::selectionEmitsSignals()
{
    Dev dev;
    Device *a = dev.addOrUpdate(makeDevice(QStringLiteral("A"), QString(), 2));
    QSignalSpy devSpy(&dev, &Dev::selectDevMsg);
    QSignalSpy channelSpy(&dev, &Dev::selectChannelMsg);
    QSignalSpy reloadSpy(&dev, &Dev::reloadDevMsg);
    dev.setSelectedDevice(a);
    dev.setSelectedChannel(a->channel(1));
    dev.reload();
    QCOMPARE(devSpy.count(), 1);
    QCOMPARE(devSpy.at(0).at(0).value<Device *>(), a);
    QCOMPARE(channelSpy.at(0).at(0).value<Channel *>(), a->channel(1));
    QCOMPARE(dev.selectedChannel(), a->channel(1));
    QCOMPARE(reloadSpy.count(), 1);
    QCOMPARE(Dev::instance(), Dev::instance());
}

QTEST_GUILESS_MAIN(TstDeviceModel)
#include "tst_devicemodel.moc"
