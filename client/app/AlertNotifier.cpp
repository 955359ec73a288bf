#include "app/AlertNotifier.h"

#include "admin/Alert.h"
#include "link/DeviceControl.h"
#include "link/DeviceEvents.h"
#include "model/Channel.h"
#include "model/Device.h"

#include <QDateTime>

AlertNotifier::AlertNotifier(QWidget *host, QObject *parent)
    : QObject(parent)
    , m_host(host)
    , m_log(std::make_unique<AlertLog>())
{}

AlertNotifier::~AlertNotifier() = default;

void AlertNotifier::watch(DeviceEvents *events)
{
    using Failure = void (DeviceEvents::*)(Channel *, int, QString);
    const Failure failures[] = {
        &DeviceEvents::connectDevFailMsg,
        &DeviceEvents::connectChannelFailMsg,
        &DeviceEvents::videoRequestFailMsg,
        &DeviceEvents::videoRequestStopFailMsg,
        &DeviceEvents::requestReplayVideoTimeFailMsg,
        &DeviceEvents::startReplayControlFailMsg,
        &DeviceEvents::startReplayFailMsg,
        &DeviceEvents::stopReplayFailMsg,
        &DeviceEvents::changeQualityFailMsg,
        &DeviceEvents::audioControlFailMsg,
        &DeviceEvents::ptzFailMsg,
        &DeviceEvents::receiveVideoTimeEmptyMsg,
        &DeviceEvents::audioSendControlFailMsg,
        &DeviceEvents::setTimeZoneFailMsg,
        &DeviceEvents::setTimeFailMsg,
        &DeviceEvents::changeReplayTimeFailMsg,
        &DeviceEvents::setWifiFailMsg,
        &DeviceEvents::pauseReplayFailMsg,
    };
    for (Failure failure : failures)
        connect(events, failure, this,
                qOverload<const Channel *, int, const QString &>(&AlertNotifier::show));
    connect(events, &DeviceEvents::startLANSearchFailMsg, this,
            [this](int code, const QString &text) { show(nullptr, code, text); });
    connect(events, &DeviceEvents::deviceOfflineMsg, this,
            [this](Device *d, int code, const QString &text) {
                AlertEntry entry;
                entry.first = entry.last = QDateTime::currentDateTime();
                entry.device = d->uid();
                entry.code = code;
                entry.text = text;
                show(entry);
            });
    connect(events, &DeviceEvents::deviceOnlineMsg, this,
            [](Device *d) { qInfo("%s: link back", qUtf8Printable(d->uid())); });
    connect(events, &DeviceEvents::alarmMsg, this, &AlertNotifier::alarm);
}

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
