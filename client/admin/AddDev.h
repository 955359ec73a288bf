#pragma once

#include "core/DeviceEditor.h"
#include "core/DeviceEntry.h"

#include <QList>
#include <QString>
#include <QWidget>

#include <memory>

class Device;
class LabelFoldBtn;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class RtspFields;

// The device manager's add page (add mode) and edit page (edit mode, on the
// device selected in the device tree): the form of a device. Its
// DeviceEditor stores the change (in the local configuration or the account
// service, see there); the page's message row ("系统提示:") says what
// happened, a refusal with the service's reason.
//
// The access picker chooses how the device is reached: P2P (by UID) or RTSP
// (the RtspFields rows). Credentials typed into a URL are split off into the
// user name and password fields.
// GUI thread only.
class AddDev : public QWidget
{
    Q_OBJECT

public:
    // The form as typed.
    using Entry = DeviceEntry;

    static constexpr int MaxChannels = 64;

    explicit AddDev(bool addMode, QWidget *parent = nullptr);
    ~AddDev() override;

    bool isAddMode() const { return m_editor->isAddMode(); }
    Device *device() const { return m_editor->device(); }
    DeviceEditor *editor() const { return m_editor; }
    Entry entry() const;
    // The message row's text; empty while the row is hidden.
    QString warningText() const;
    // Fills UID and channel count from LAN search result `row`, if there is one.
    void fillFromSearch(int row);
    // Fills the form for an RTSP device known by its ONVIF host (from
    // WS-Discovery): kind RTSP, the host, the name, type IPC(PTZ) for ptz.
    void fillFromOnvif(const QString &host, const QString &name, bool ptz);

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
    // The editor's outcome on the message row and as this page's signals.
    void editorFinished(DeviceEditor::Action action, bool ok, const QString &text);
    // The ONVIF camera's answer in the form.
    void showProbed(const Entry &e);

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

    DeviceEditor *m_editor;
};
