#pragma once

// What the link tests share: a fresh IoConnect per test, devices registered
// for the test and removed after it, and a channel opened through the whole
// connect sequence (session, AV channel, version query).

#include "link/IoConnect.h"
#include "model/Channel.h"
#include "model/Dev.h"
#include "model/Device.h"

#include <QSignalSpy>
#include <QTest>

class LinkFixture : public QObject
{
protected:
    static constexpr int Wait = 20000;

    IoConnect *io = nullptr;
    QList<Device *> devices;

    Device *addDevice(const QString &uid, int channels = 1,
                      const QString &account = QStringLiteral("admin"),
                      const QString &password = QStringLiteral("123456"))
    {
        auto *d = new Device;
        d->setUid(uid);
        d->setChannelCount(channels);
        d->setViewAccount(account);
        d->setViewPassword(password);
        devices.append(Dev::instance()->addOrUpdate(d));
        return devices.last();
    }

    // The device disappears from the registry and memory, as when the user
    // deletes it.
    void deleteDevice(Device *d)
    {
        Dev::instance()->removeDevice(d);
        devices.removeAll(d);
        delete d;
    }

    // Connects the device and opens the live AV channel of one channel;
    // null when that failed.
    Channel *open(Device *d, int index = 0)
    {
        Channel *ch = d->channel(index);
        QSignalSpy ready(io, &IoConnect::connectChannelSuccessMsg);
        QSignalSpy failed(io, &IoConnect::connectChannelFailMsg);
        io->connectChannel(ch);
        io->startChannel(ch);
        (void)QTest::qWaitFor([&] { return !ready.isEmpty() || !failed.isEmpty(); }, Wait);
        return ch->avIndex(true) >= 0 ? ch : nullptr;
    }

    void tearDownLink()
    {
        delete io;
        io = nullptr;
        while (!devices.isEmpty())
            deleteDevice(devices.last());
    }
};
