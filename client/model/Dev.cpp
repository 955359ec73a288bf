#include "model/Dev.h"

#include "model/Channel.h"
#include "model/Device.h"
#include "model/SharedInstance.h"

Dev *Dev::instance()
{
    return SharedInstance<Dev>::get();
}

Dev::Dev(QObject *parent)
    : QObject(parent)
{}

Dev::~Dev()
{
    qDeleteAll(m_devices);
    m_devices.clear();
}

QList<Device *> Dev::filteredDevices() const
{
    if (m_searchKey.isEmpty())
        return m_devices;
    QList<Device *> result;
    for (Device *d : m_devices) {
        if (matches(d))
            result.append(d);
    }
    return result;
}

bool Dev::matches(const Device *d) const
{
    if (!d)
        return false;
    return d->uid().contains(m_searchKey, Qt::CaseInsensitive) ||
           d->nickName().contains(m_searchKey, Qt::CaseInsensitive);
}

Device *Dev::deviceByUid(const QString &uid) const
{
    for (Device *d : m_devices) {
        if (d->uid() == uid)
            return d;
    }
    return nullptr;
}

void Dev::setSelectedDevice(Device *device)
{
    m_selectedDevice = device;
    emit selectDevMsg(device);
}

void Dev::setSelectedChannel(Channel *channel)
{
    m_selectedChannel = channel;
    emit selectChannelMsg(channel);
}

void Dev::reload()
{
    emit reloadDevMsg();
}

Device *Dev::addOrUpdate(Device *d)
{
    if (!d)
        return nullptr;
    Device *e = deviceByUid(d->uid());
    if (!e) {
        m_devices.append(d);
        return d;
    }
    if (e == d)
        return e;
    const bool access = e->viewAccount() != d->viewAccount() ||
                        e->viewPassword() != d->viewPassword() || e->kind() != d->kind() ||
                        !(e->rtsp() == d->rtsp());
    e->setType(d->type());
    e->setNickName(d->nickName());
    e->setChannelCount(d->channelCount());
    e->setViewAccount(d->viewAccount());
    e->setViewPassword(d->viewPassword());
    e->setKind(d->kind());
    e->setRtsp(d->rtsp());
    delete d;
    if (access)
        emit accessChangedMsg(e);
    return e;
}

void Dev::accessChanged(Device *d)
{
    if (d && m_devices.contains(d))
        emit accessChangedMsg(d);
}

void Dev::removeDevice(Device *d)
{
    m_devices.removeOne(d);
    if (d && m_selectedDevice == d)
        m_selectedDevice = nullptr;
    if (d && m_selectedChannel && m_selectedChannel->device() == d)
        m_selectedChannel = nullptr;
    emit reloadDevMsg();
}

QList<Channel *> Dev::connectedChannels() const
{
    QList<Channel *> channels;
    for (Device *d : m_devices) {
        if (d->sessionId() < 0)
            continue;
        // Channels 0 .. channelCount - 1 (never past the channel list).
        const int count = qMin(d->channelCount(), int(d->channels().size()));
        for (int i = 0; i < count; ++i)
            channels.append(d->channel(i));
    }
    return channels;
}
