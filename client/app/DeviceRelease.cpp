#include "app/DeviceRelease.h"

#include "model/Dev.h"
#include "model/Device.h"
#include "view/ViewControl.h"

#include <QTimer>
#include <QWidget>

void releaseAllDevices()
{
    Dev *dev = Dev::instance();
    ViewControl *view = ViewControl::instance();
    dev->setSelectedChannel(nullptr);
    dev->setSelectedDevice(nullptr);
    const QList<Device *> devices = dev->devices();
    for (Device *d : devices) {
        view->closeDeviceThenRelease(d);
        dev->removeDevice(d);
        QTimer::singleShot(0, [d] { delete d; });
    }
}
