#pragma once

#include "link/ChannelRef.h"

#include <QDateTime>
#include <QTimeZone>
#include <QTimer>
#include <QWidget>

class Channel;
class LabelFoldBtn;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QRWindow;

// The device options page: the Wi-Fi network (with its set-up QR code), the
// time zone and the clock of the channel selected in the device tree. A
// submit brings the channel's link up first; the clock is a chain: the zone
// is sent, and the time only once the device accepted the zone. The clock
// boxes run with the time of the chosen zone; an edited box keeps running
// from the edited value. GUI thread only.
class DevOpt : public QWidget
{
    Q_OBJECT

public:
    explicit DevOpt(QWidget *parent = nullptr);

    // The QR text a camera reads to join a network.
    static QString wifiQrText(const QString &name, const QString &password);
    // The zone text sent to the device for `zone` at `when`: its offset as
    // "GMT+hh:mm" (daylight-saving time included, so that it matches the
    // wall-clock time sent with it).
    static QString deviceZoneText(const QTimeZone &zone, const QDateTime &when);

    QRWindow *qrWindow() const { return m_qrWindow; }
    QTimeZone selectedZone() const { return m_selectedZone; }
    QComboBox *zoneBox() const { return m_zone; }
    QSpinBox *hourBox() const { return m_hour; }
    QSpinBox *minuteBox() const { return m_minute; }
    QSpinBox *secondBox() const { return m_second; }
    QString alertText() const;
    // Chooses the zone of list item `index`, as the user does.
    void selectZone(int index);

public slots:
    void changeWifi();
    void loadTime();
    void checkDevSelected();
    void foldDevTypeList(LabelFoldBtn *button, bool folded);
    void selectedDevType(int index);
    void cleanWifi();
    void cleanTime();
    void submitTime();
    void submitWifi();
    void connectChannelSuccess(Channel *ch);
    void connectChannelFail(Channel *ch, int code, const QString &text);
    void timeZoneSuccess(Channel *ch);
    void timeSuccess(Channel *ch);
    void hourChanged();
    void minuteChanged();
    void secondChanged();
    void setWifiSuccess(Channel *ch);

private:
    void newQrWindow();
    void fillZones();
    bool isSelected(const Channel *ch) const;
    bool submit(bool &pending);
    // One box's wrap and carry: `limit` wraps to 0, -1 to limit - 1, and the
    // carry moves `larger` (when there is one).
    void boxChanged(QSpinBox *box, int shownValue, bool &edited, int limit, QSpinBox *larger);

    QLineEdit *m_wifiName;
    QLineEdit *m_wifiPassword;
    QComboBox *m_zone;
    LabelFoldBtn *m_fold;
    QSpinBox *m_hour;
    QSpinBox *m_minute;
    QSpinBox *m_second;
    QLabel *m_nickName;
    QLabel *m_uid;
    QLabel *m_type;
    QLabel *m_alert;
    QWidget *m_qrArea;
    QRWindow *m_qrWindow = nullptr; // a child of m_qrArea
    QList<QWidget *> m_wifiFields;  // enabled when the device offers Wi-Fi set-up
    QList<QWidget *> m_clockFields; // enabled when it offers its clock

    QDateTime m_shownTime;
    bool m_hourEdited = false;
    bool m_minuteEdited = false;
    bool m_secondEdited = false;
    QTimer m_clock;
    QTimeZone m_selectedZone;
    bool m_pendingTime = false;
    bool m_pendingWifi = false;
    ChannelRef m_pendingFor; // the channel the pending requests were submitted for
};
