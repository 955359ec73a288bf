#pragma once

#include "model/DeviceRecord.h"

#include <QList>
#include <QPointer>

#include <memory>
#include <QString>
#include <QWidget>

class Dev;
class Device;
class LabelFoldBtn;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class RtspFields;

// The device manager's add page (add mode) and edit page (edit mode, on the
// device selected in the device tree). Where a device is kept depends on who
// is logged in: the local administrator ("Admin") keeps devices in the local
// configuration, every other user in the account service. Either way the
// device tree reloads once the change is stored, and the page's message row
// ("系统提示:") says what happened, a refusal with the service's reason.
//
// The access picker chooses how the device is reached: P2P (by UID) or
// RTSP (by stream URLs, RtspUrl::parseStreams: one per channel, "MAIN|SUB"
// pairs, or a pattern with {ch} and {stream} for the channel count given).
// Credentials typed into a URL are split off into the user name and
// password fields. The ONVIF host is kept for the ONVIF client. RTSP devices
// are kept in the local configuration only (the account service stores P2P
// devices).
// GUI thread only.
class AddDev : public QWidget
{
    Q_OBJECT

public:
    // The form as typed.
    struct Entry
    {
        int type = 0;
        QString name;
        QString uid;
        QString account;
        QString password;
        QString channels;
        DeviceKind kind = DeviceKind::P2p;
        QString urls;      // RTSP: the stream list as typed (RtspFields)
        QString onvifHost; // RTSP: "host[:port]" of the ONVIF service, or empty
        bool udp = false;  // RTSP: RTP over UDP instead of the RTSP connection (TCP)
    };

    static constexpr int MaxChannels = 64;

    explicit AddDev(bool addMode, QWidget *parent = nullptr);
    ~AddDev() override;

    bool isAddMode() const { return m_addMode; }
    Device *device() const { return m_device; }
    Entry entry() const;
    // The message row's text; empty while the row is hidden.
    QString warningText() const;
    // Fills UID and channel count from LAN search result `row`, if there is one.
    void fillFromSearch(int row);
    // Fills the form for an RTSP device known by its ONVIF host (from
    // WS-Discovery): kind RTSP, the host, the name, type IPC(PTZ) for ptz.
    void fillFromOnvif(const QString &host, const QString &name, bool ptz);

    // Why an entry cannot be stored, or an empty text when it can.
    static QString problem(const Entry &entry);
    // The entry as it is stored (RTSP: RtspFields::fill); false when an RTSP
    // entry's URLs do not parse.
    static bool toRecord(const Entry &entry, DeviceRecord *record);
    // True while the local administrator is logged in (or nobody, as before a login).
    static bool isLocalUser();

signals:
    void addDevSuccess();
    void addDevFailed();
    void delDevSuccess();
    void delDevFailed();
    void updateDevSuccess();
    void updateDevFailed();
    void startCircle();
    void stopCircle();

public slots:
    void selectedNewDev(Device *device);
    void foldDevTypeList(LabelFoldBtn *button, bool folded);
    void selectedDevType(int index);
    void selectedKind(int index);
    void addDevResponsed(bool ok, const QString &reason);
    void delDevResponsed(bool ok, const QString &reason);
    void updateDevResponsed(bool ok, const QString &reason);
    void on_saveBtn_clicked();
    void on_cancelBtn_clicked();
    void on_delBtn_clicked();
    // Forgets the edited device's pinned key: its next connect trusts the key it meets.
    void on_forgetKeyBtn_clicked();

private:
    void loadForm();
    void showKey();
    enum class Outcome { Problem, Done };
    // The message row: a problem in red, a stored change in green.
    void showWarning(const QString &text, Outcome outcome = Outcome::Problem);
    void hideWarning();
    // The device being edited, while it is still registered.
    Device *editedDevice() const;
    // The device the request in flight is about, while it is still registered.
    Device *requestDevice() const;
    // A check before storing: the entry's own problem, then a UID that
    // belongs to another device. Shows the problem and answers false.
    bool accept(const Entry &e);
    void save(const Entry &e);
    // A camera known by its ONVIF host alone is asked for its channels (and
    // its model, for an empty name) first; one that does not answer is not
    // stored: the user fixes the host or the account, or gives its URLs.
    void probeThenSave(Entry e);
    void saveLocal(const Entry &e);
    void deleteLocal();
    void saveCloud(const Entry &e);
    void deleteCloud();
    // A fresh owner for the next service request; the previous request (if
    // any) is cancelled with its owner.
    QObject *newRequest();
    void requestDone();
    // Closes the device's link and views and takes it out of the registry
    // (clearing the selection first); the tree reloads.
    void retire(Device *d);
    // Reloads the tree; a selected edited device is selected again, so that
    // every view of the selection shows the change.
    void reloadKeepingSelection(Device *edited);

    QComboBox *m_kind;
    QComboBox *m_type;
    LabelFoldBtn *m_fold;
    QLineEdit *m_name;
    QLineEdit *m_uid;
    QLineEdit *m_account;
    QLineEdit *m_password;
    QLineEdit *m_channels;
    std::unique_ptr<RtspFields> m_rtsp;
    QList<QWidget *> m_p2pRow;   // the UID row
    QList<QWidget *> m_rtspRows; // the URL and ONVIF rows
    QWidget *m_warningBox;
    QLabel *m_warning;
    QPushButton *m_delBtn;
    QLabel *m_keyCaption;
    QWidget *m_keyRow;
    QLabel *m_key;

    const bool m_addMode;
    Device *m_device = nullptr; // not owned; the device being edited
    Dev *m_dev;
    QPointer<QObject> m_request;       // owner of the service request in flight
    Device *m_requestDevice = nullptr; // not owned; the device edited or deleted by it
    QString m_requestUid;              // the UID it sends
};
