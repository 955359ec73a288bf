#pragma once

#include "../core/ConfigTestEnv.h"

#include "link/IoConnect.h"
#include "model/Channel.h"
#include "model/Dev.h"
#include "model/Device.h"

#include <QCoreApplication>
#include <QEvent>
#include <QRect>

// Test surroundings of the view grid and the device tree: settings in a
// temporary folder, the link singleton quiet (no polling, no SDK), and fake
// devices registered in Dev without any link.
class ViewTestEnv : public ConfigTestEnv
{
public:
    // Stops the link's timers so that fake sessions are never polled.
    static void quietLink() { IoConnect::instance()->shutdown(0); }

    // A registered device with `channels` channels; sessionId >= 0 counts as
    // connected for the grid.
    static Device *addDevice(const QString &uid, int channels, int sessionId = 0)
    {
        auto *d = new Device();
        d->setUid(uid);
        d->setType(1);
        d->setChannelCount(channels);
        d->setSessionId(sessionId);
        return Dev::instance()->addOrUpdate(d);
    }

    // Removes and deletes every registered device.
    static void clearDevices()
    {
        Dev *dev = Dev::instance();
        dev->setSelectedChannel(nullptr);
        dev->setSelectedDevice(nullptr);
        dev->setSearchKey(QString());
        const QList<Device *> devices = dev->devices();
        for (Device *d : devices) {
            dev->removeDevice(d);
            delete d;
        }
    }

    // Marks the channel requested for live view and reports it connected.
    static void connectLive(Channel *ch)
    {
        ch->setViewRequested(true, true);
        ch->setAvIndex(ch->index(), true);
        emit IoConnect::instance()->connectChannelSuccessMsg(ch);
    }

    // The cells' geometries, in order.
    template <class Cells> static QList<QRect> geometries(const Cells &cells)
    {
        QList<QRect> out;
        for (const auto *w : cells)
            out << w->geometry();
        return out;
    }

    // Runs pending deleteLater() calls.
    static void flushDeletes()
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }
};
