#pragma once

#include "model/Channel.h"
#include "model/Device.h"

#include <QList>
#include <QObject>
#include <QString>

// The device registry and selection hub: owns every Device (and through it
// every Channel), holds the selected device and channel and the tree's
// filter text, and broadcasts selection and reload. One instance, reached
// through instance(); further instances exist only in tests. GUI thread only.
class Dev : public QObject
{
    Q_OBJECT

public:
    static Dev *instance();

    explicit Dev(QObject *parent = nullptr);
    ~Dev() override; // deletes every device

    // All devices in display order; the registry keeps ownership.
    const QList<Device *> &devices() const { return m_devices; }
    // Every channel of every device with an open link (session id >= 0),
    // in device-list order.
    QList<Channel *> connectedChannels() const;
    // The devices that pass the filter, in registry order (contents not owned).
    QList<Device *> filteredDevices() const;
    // True when the search key occurs in d's UID or nick name, ignoring case.
    bool matches(const Device *d) const;
    // The registered device with exactly this UID, or null.
    Device *deviceByUid(const QString &uid) const;

    QString searchKey() const { return m_searchKey; }
    void setSearchKey(const QString &key) { m_searchKey = key; }

    Device *selectedDevice() const { return m_selectedDevice; }
    void setSelectedDevice(Device *device); // stores it, emits selectDevMsg
    Channel *selectedChannel() const { return m_selectedChannel; }
    void setSelectedChannel(Channel *channel); // stores it, emits selectChannelMsg

    // Emits reloadDevMsg(); the device tree rebuilds on it.
    void reload();

    // Takes ownership of d. A device with the same UID already registered is
    // updated in place (type, nick name, channel count, view account and
    // password, kind and RTSP source) and d is deleted; otherwise d is appended. Returns the
    // registered object, which callers must use instead of d. Emits
    // accessChangedMsg when the update changed how the device is reached.
    Device *addOrUpdate(Device *d);

    // Emits accessChangedMsg(d): the way d is reached (account, password,
    // address, trusted key) was changed by the user.
    void accessChanged(Device *d);

    // Takes d out of the list (if present) and emits reloadDevMsg(); the caller
    // keeps d. A selection pointing into d is cleared (without a signal).
    void removeDevice(Device *d);

signals:
    void selectDevMsg(Device *device);
    void selectChannelMsg(Channel *channel);
    void reloadDevMsg();
    // A device refused for its credentials or key may now be tried again.
    void accessChangedMsg(Device *device);

private:
    QList<Device *> m_devices;
    Device *m_selectedDevice = nullptr;
    Channel *m_selectedChannel = nullptr;
    QString m_searchKey;
};
