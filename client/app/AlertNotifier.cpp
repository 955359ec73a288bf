#include "app/AlertNotifier.h"

#include "admin/Alert.h"
#include "link/DeviceControl.h"

AlertNotifier::AlertNotifier(QWidget *host, QObject *parent)
    : QObject(parent)
    , m_host(host)
    , m_log(std::make_unique<AlertLog>())
{}

AlertNotifier::~AlertNotifier() = default;

void AlertNotifier::show(const AlertEntry &entry)
{
    qWarning("alert %s: %d %s", qUtf8Printable(entry.device), entry.code,
             qUtf8Printable(entry.text));
    const bool repeated = m_log->add(entry);
    if (repeated && m_alert && m_alert->entry().sameFailure(entry)) {
        m_alert->setMessage(m_log->entries().last());
        return;
    }
    close();
    m_alert = new Alert(m_host);
    connect(m_alert, &Alert::closeMsg, this, &AlertNotifier::close);
    m_alert->applyScale();
    m_alert->setMessage(m_log->entries().last());
    m_alert->show();
    m_alert->raise();
}

void AlertNotifier::show(const Channel *channel, int code, const QString &text)
{
    AlertEntry entry;
    entry.first = entry.last = QDateTime::currentDateTime();
    entry.device = AlertEntry::deviceText(channel);
    entry.code = code;
    entry.text = text;
    show(entry);
}

void AlertNotifier::alarm(Channel *channel, int kind, bool active)
{
    if (!active)
        return;
    AlertEntry entry;
    entry.first = entry.last = QDateTime::currentDateTime();
    entry.device = AlertEntry::deviceText(channel);
    switch (DeviceControl::AlarmKind(kind)) {
    case DeviceControl::AlarmKind::Motion:
        entry.text = tr("Motion detected");
        break;
    case DeviceControl::AlarmKind::Tamper:
        entry.text = tr("Tampering detected");
        break;
    case DeviceControl::AlarmKind::Input:
        entry.text = tr("Alarm input triggered");
        break;
    default:
        return;
    }
    qInfo("alarm %s: %s", qUtf8Printable(entry.device), qUtf8Printable(entry.text));
    m_log->add(entry);
}

void AlertNotifier::close()
{
    delete m_alert;
}
