#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>

class Alert;
class Channel;
class DeviceEvents;
class AlertLog;
class QWidget;
struct AlertEntry;

// Tells the user of failures: every one goes into the session's AlertLog
// (and the log), the newest shows in an Alert box over the host widget. A
// burst of one failure raises the count of the box on screen; a different
// failure replaces it. GUI thread only.
class AlertNotifier : public QObject
{
    Q_OBJECT

public:
    explicit AlertNotifier(QWidget *host, QObject *parent = nullptr);
    ~AlertNotifier() override;

    // Every failure the devices' links report shows; their alarms go into the log; a lost
    // device shows once (its link reconnects by itself).
    void watch(DeviceEvents *events);

    void show(const AlertEntry &entry);
    // A failure of a channel (null: of no channel in particular), now.
    void show(const Channel *channel, int code, const QString &text);
    // A device's alarm (DeviceControl::AlarmKind) on channel began: an entry
    // in the log, where a burst is one entry with a count; no box, since
    // the cell shows the alarm while it lasts. An alarm that ends adds
    // nothing.
    void alarm(Channel *channel, int kind, bool active);
    // Closes the box (the log keeps its entries).
    void close();
    // The box on screen, null while closed.
    Alert *alert() const { return m_alert; }
    const AlertLog &log() const { return *m_log; }

private:
    QWidget *m_host;
    std::unique_ptr<AlertLog> m_log;
    QPointer<Alert> m_alert;
};
