#pragma once

#include "core/DeviceEntry.h"

#include <QObject>
#include <QPointer>
#include <QString>

class Dev;
class Device;

// Adds, changes and removes the logged-in user's devices. Where a device is
// kept depends on who is logged in: the local administrator ("Admin", or
// nobody, as before a login) keeps devices in the local configuration,
// every other user in the account service. Either way the registry (Dev)
// reloads once the change is stored; a device whose UID changed, or that was
// removed, leaves the registry (retiring() first, so that its views close).
// RTSP devices are kept in the local configuration only (the account service
// stores P2P devices).
//
// One service request or ONVIF probe at a time: a new one cancels the one
// in flight. A device the request is about that leaves the registry
// meanwhile is not touched when the answer comes.
// GUI thread only.
class DeviceEditor : public QObject
{
    Q_OBJECT

public:
    enum class Action { Add, Update, Delete };
    Q_ENUM(Action)

    // addMode: save() adds a device; otherwise it changes the edited device.
    explicit DeviceEditor(bool addMode, QObject *parent = nullptr);
    ~DeviceEditor() override;

    // True while the local administrator is logged in (or nobody, as before a login).
    static bool isLocalUser();

    bool isAddMode() const { return m_addMode; }
    // The device being edited (not owned); null in add mode or when none is chosen.
    Device *device() const { return m_device; }
    void setDevice(Device *device) { m_device = device; }
    // The device being edited, while it is still registered.
    Device *editedDevice() const;

    // Why e cannot be stored: its own problem, a UID that belongs to another
    // device, a full local list; an empty text when it can.
    QString check(const DeviceEntry &e) const;
    // Stores a checked entry. An RTSP camera known by its ONVIF host alone
    // is asked for its channels (and its model, for an empty name) first;
    // one that does not answer is not stored. finished() tells the outcome.
    void save(const DeviceEntry &e);
    // Removes the edited device. The local administrator without one removes
    // the device of typedUid. finished() tells the outcome.
    void remove(const QString &typedUid);
    // The edited device's pinned key (hex), or empty when none is pinned.
    QString pinnedKey() const;
    // Forgets the edited device's pinned key: its next connect trusts the key
    // it meets. True when a key was forgotten.
    bool forgetKey();

    // The text asking to pick a device in the tree first.
    static QString noDevicePrompt();

signals:
    // A service request or ONVIF probe is on its way, and its end.
    void requestStarted();
    void requestFinished();
    // A step of a save that takes a while (the ONVIF probe).
    void progress(const QString &text);
    // The ONVIF camera answered: e with its channel count and name as stored.
    void probed(const DeviceEntry &e);
    // Nothing was tried (no device chosen): the text says why.
    void refused(const QString &text);
    // The outcome, with the text to show (a refusal with the service's reason).
    void finished(DeviceEditor::Action action, bool ok, const QString &text);
    // d is about to leave the registry; its links and views close now.
    void retiring(Device *d);

private:
    void store(const DeviceEntry &e);
    void probeThenStore(DeviceEntry e);
    void storeLocal(const DeviceEntry &e);
    void removeLocal(const QString &typedUid);
    void storeCloud(const DeviceEntry &e);
    void removeCloud();
    // The device the request in flight is about, while it is still registered.
    Device *requestDevice() const;
    // A fresh owner for the next request; the previous one (if any) is
    // cancelled with its owner.
    QObject *newRequest();
    void requestDone();
    void cloudAnswered(Action action, bool ok, const QString &reason);
    // Takes d out of the registry (clearing the selection first); the tree reloads.
    void retire(Device *d);
    // Reloads the registry; a selected edited device is selected again, so
    // that every view of the selection shows the change.
    void reloadKeepingSelection(Device *edited);

    const bool m_addMode;
    Dev *m_dev;
    Device *m_device = nullptr;        // not owned; the device being edited
    QPointer<QObject> m_request;       // owner of the request in flight
    Device *m_requestDevice = nullptr; // not owned; the device edited or deleted by it
    QString m_requestUid;              // the UID it sends
};
