#include "admin/DevOpt.h"

#include "admin/QRWindow.h"
#include "diagnostics/SystemInfo.h"
#include "link/DeviceLink.h"
#include "link/DeviceLinks.h"
#include "link/DeviceEvents.h"
#include "link/DeviceLink.h"
#include "link/DeviceLinks.h"
#include "model/Channel.h"
#include "model/Dev.h"
#include "model/Device.h"
#include "view/ViewControl.h"
#include "widgets/LabelFoldBtn.h"
#include "widgets/Named.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QSpinBox>

namespace {

QString noChannelPrompt()
{
    return DevOpt::tr("请在主界面设备列表选择需要编辑的通道(多通道设备需选择目标通道)");
}

QString offsetName(const QTimeZone &zone)
{
    return zone.displayName(QTimeZone::StandardTime, QTimeZone::OffsetName,
                            QLocale(QLocale::English, QLocale::AnyTerritory));
}

// The zone the clock starts in: the first of the system locale's country,
// else the system's own.
QByteArray homeZoneId()
{
    const QList<QByteArray> country =
        QTimeZone::availableTimeZoneIds(QLocale::system().territory());
    if (!country.isEmpty() && QLocale::system().territory() != QLocale::AnyTerritory)
        return country.first();
    return QTimeZone::systemTimeZoneId();
}

QSpinBox *timeBox(int max, const char *name, QWidget *parent)
{
    auto *box = new QSpinBox(parent);
    box->setObjectName(QLatin1String(name));
    box->setRange(-1, max);
    box->setWrapping(false);
    return box;
}

} // namespace

DevOpt::DevOpt(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("DevOpt"));
    auto *grid = new QGridLayout(this);
    int row = 0;
    auto addRow = [&](const QString &caption, QWidget *field, int span = 3) {
        grid->addWidget(new QLabel(caption, this), row, 0);
        grid->addWidget(field, row, 1, 1, span);
        ++row;
    };
    m_nickName = new QLabel(tr("[未选择]"), this);
    m_nickName->setObjectName(QStringLiteral("label_nickName"));
    m_uid = new QLabel(tr("[未选择]"), this);
    m_uid->setObjectName(QStringLiteral("label_uid"));
    m_type = new QLabel(tr("[未选择]"), this);
    m_type->setObjectName(QStringLiteral("label_type"));
    m_alert = new QLabel(this);
    m_alert->setObjectName(QStringLiteral("label_alert"));
    m_alert->setStyleSheet(QStringLiteral("color:red"));
    m_alert->setWordWrap(true);
    addRow(tr("设备昵称:"), m_nickName);
    addRow(tr("设备UID :"), m_uid);
    addRow(tr("设备类型:"), m_type);
    addRow(tr("系统提示:"), m_alert);

    m_wifiName = new QLineEdit(this);
    m_wifiName->setObjectName(QStringLiteral("lineEdit_wifiName"));
    m_wifiPassword = new QLineEdit(this);
    m_wifiPassword->setObjectName(QStringLiteral("lineEdit_wifiPas"));
    m_wifiPassword->setEchoMode(QLineEdit::Password);
    const int wifiRow = row;
    addRow(tr("WIFI名称:"), m_wifiName, 1);
    addRow(tr("WIFI密码:"), m_wifiPassword, 1);
    auto *wifiButtons = new QHBoxLayout;
    QPushButton *wifiSubmit = namedButton(tr("提交"), "pushButton_wifiSubmit", this);
    QPushButton *wifiCancel = namedButton(tr("取消"), "pushButton_wifiCancel", this);
    wifiButtons->addWidget(wifiSubmit);
    wifiButtons->addWidget(wifiCancel);
    grid->addLayout(wifiButtons, row++, 1);
    auto *qrColumn = new QVBoxLayout;
    qrColumn->addWidget(new QLabel(tr("扫描二维码配置WIFI"), this));
    m_qrArea = new QWidget(this);
    m_qrArea->setObjectName(QStringLiteral("widget_qr"));
    m_qrArea->setFixedSize(SystemInfo::instance()->scaled(120),
                           SystemInfo::instance()->scaled(120));
    qrColumn->addWidget(m_qrArea);
    grid->addLayout(qrColumn, wifiRow, 2, 3, 2);
    newQrWindow();
    m_wifiFields = {m_wifiName, m_wifiPassword, wifiSubmit, wifiCancel, m_qrArea};

    auto *zoneRow = new QHBoxLayout;
    m_zone = new QComboBox(this);
    m_zone->setObjectName(QStringLiteral("comboBox_timeZone"));
    m_fold = new LabelFoldBtn(this);
    m_fold->setObjectName(QStringLiteral("label_fold"));
    zoneRow->addWidget(m_zone, 1);
    zoneRow->addWidget(m_fold);
    grid->addWidget(new QLabel(tr("时区:"), this), row, 0);
    grid->addLayout(zoneRow, row++, 1, 1, 3);
    m_hour = timeBox(24, "spinBox_hour", this);
    m_minute = timeBox(60, "spinBox_minute", this);
    m_second = timeBox(60, "spinBox_second", this);
    auto *clockRow = new QHBoxLayout;
    clockRow->addWidget(m_hour);
    clockRow->addWidget(new QLabel(QStringLiteral(":"), this));
    clockRow->addWidget(m_minute);
    clockRow->addWidget(new QLabel(QStringLiteral(":"), this));
    clockRow->addWidget(m_second);
    clockRow->addStretch(1);
    grid->addWidget(new QLabel(tr("时间:"), this), row, 0);
    grid->addLayout(clockRow, row++, 1, 1, 3);
    auto *timeButtons = new QHBoxLayout;
    QPushButton *timeSubmit = namedButton(tr("提交"), "pushButton_timeSubmit", this);
    QPushButton *timeCancel = namedButton(tr("取消"), "pushButton_timeCancel", this);
    timeButtons->addWidget(timeSubmit);
    timeButtons->addWidget(timeCancel);
    grid->addLayout(timeButtons, row++, 1);
    grid->setRowStretch(row, 1);
    m_clockFields = {m_zone, m_fold, m_hour, m_minute, m_second, timeSubmit, timeCancel};

    fillZones();
    connect(m_fold, &LabelFoldBtn::clicked, this, &DevOpt::foldDevTypeList);
    connect(m_zone, &QComboBox::activated, this, &DevOpt::selectedDevType);
    connect(m_wifiName, &QLineEdit::textChanged, this, &DevOpt::changeWifi);
    connect(m_wifiPassword, &QLineEdit::textChanged, this, &DevOpt::changeWifi);
    connect(wifiSubmit, &QPushButton::clicked, this, &DevOpt::submitWifi);
    connect(wifiCancel, &QPushButton::clicked, this, &DevOpt::cleanWifi);
    connect(timeSubmit, &QPushButton::clicked, this, &DevOpt::submitTime);
    connect(timeCancel, &QPushButton::clicked, this, &DevOpt::cleanTime);
    connect(m_hour, &QSpinBox::valueChanged, this, &DevOpt::hourChanged);
    connect(m_minute, &QSpinBox::valueChanged, this, &DevOpt::minuteChanged);
    connect(m_second, &QSpinBox::valueChanged, this, &DevOpt::secondChanged);
    connect(Dev::instance(), &Dev::selectChannelMsg, this, &DevOpt::checkDevSelected);
    DeviceEvents *io = DeviceLinks::events();
    connect(io, &DeviceEvents::connectChannelSuccessMsg, this, &DevOpt::connectChannelSuccess);
    connect(io, &DeviceEvents::connectChannelFailMsg, this, &DevOpt::connectChannelFail);
    connect(io, &DeviceEvents::setTimeFailMsg, this, &DevOpt::connectChannelFail);
    connect(io, &DeviceEvents::setTimeZoneFailMsg, this, &DevOpt::connectChannelFail);
    connect(io, &DeviceEvents::setTimeZoneSuccessMsg, this, &DevOpt::timeZoneSuccess);
    connect(io, &DeviceEvents::setTimeSuccessMsg, this, &DevOpt::timeSuccess);
    connect(io, &DeviceEvents::setWifiSuccessMsg, this, &DevOpt::setWifiSuccess);
    connect(&m_clock, &QTimer::timeout, this, &DevOpt::loadTime);
    loadTime();
    checkDevSelected();
    m_clock.start(1000);
    m_zone->setStyleSheet(
        QStringLiteral(
            "QComboBox{border:0;font-size:%1px;font-family: \"微软雅黑\";color: #4e525a;}"
            "QComboBox::drop-down{border-style: none;}QScrollBar:vertical "
            "{width:8px;margin:0px;border:0}QScrollBar::handle:vertical {background:#a0a3a9;"
            "border-radius:4px;}")
            .arg(SystemInfo::instance()->scaled(11)));
}

QString DevOpt::wifiQrText(const QString &name, const QString &password)
{
    return QStringLiteral("sid=\"") + name + QStringLiteral("\";psk=") + password;
}

QString DevOpt::deviceZoneText(const QTimeZone &zone, const QDateTime &when)
{
    QString text = offsetName(QTimeZone(zone.offsetFromUtc(when)));
    return text.replace(QStringLiteral("UTC"), QStringLiteral("GMT"));
}

void DevOpt::fillZones()
{
    const QByteArray home = homeZoneId();
    m_zone->addItem(QString::fromLatin1(home), offsetName(QTimeZone(home)));
    bool skipped = false;
    for (const QByteArray &id : QTimeZone::availableTimeZoneIds()) {
        if (!skipped && id == home) {
            skipped = true;
            continue;
        }
        m_zone->addItem(QString::fromLatin1(id), offsetName(QTimeZone(id)));
    }
    m_zone->setCurrentIndex(0);
    m_selectedZone = QTimeZone(home);
}

void DevOpt::newQrWindow()
{
    delete m_qrWindow;
    m_qrWindow = new QRWindow(m_qrArea);
    m_qrWindow->fitToParent();
    m_qrWindow->show();
}

QString DevOpt::alertText() const
{
    return m_alert->text();
}

bool DevOpt::isSelected(const Channel *ch) const
{
    return ch && ch == Dev::instance()->selectedChannel();
}

void DevOpt::changeWifi()
{
    if (m_wifiName->text().isEmpty())
        newQrWindow();
    else
        m_qrWindow->showText(wifiQrText(m_wifiName->text(), m_wifiPassword->text()), true);
}

void DevOpt::cleanWifi()
{
    const QSignalBlocker nameBlock(m_wifiName);
    const QSignalBlocker passwordBlock(m_wifiPassword);
    m_wifiName->clear();
    m_wifiPassword->clear();
    newQrWindow();
}

void DevOpt::loadTime()
{
    m_shownTime = QDateTime::currentDateTime().toTimeZone(m_selectedZone);
    const QTime t = m_shownTime.time();
    if (!m_hourEdited)
        m_hour->setValue(t.hour());
    else if (t.minute() == 0 && t.second() == 0)
        m_hour->setValue(m_hour->value() + 1);
    if (!m_minuteEdited)
        m_minute->setValue(t.minute());
    else if (t.second() == 0)
        m_minute->setValue(m_minute->value() + 1);
    if (!m_secondEdited)
        m_second->setValue(t.second());
}

void DevOpt::boxChanged(QSpinBox *box, int shownValue, bool &edited, int limit, QSpinBox *larger)
{
    if (box->value() != shownValue)
        edited = true;
    // Setting a value inside the slot calls it again: carries ripple upwards.
    if (box->value() >= limit) {
        box->setValue(0);
        if (larger)
            larger->setValue(larger->value() + 1);
    } else if (box->value() < 0) {
        box->setValue(limit - 1);
        if (larger)
            larger->setValue(larger->value() - 1);
    }
    box->setPrefix(box->value() <= 9 ? QStringLiteral("0") : QString());
}

void DevOpt::hourChanged()
{
    boxChanged(m_hour, m_shownTime.time().hour(), m_hourEdited, 24, nullptr);
}

void DevOpt::minuteChanged()
{
    boxChanged(m_minute, m_shownTime.time().minute(), m_minuteEdited, 60, m_hour);
}

void DevOpt::secondChanged()
{
    boxChanged(m_second, m_shownTime.time().second(), m_secondEdited, 60, m_minute);
}

void DevOpt::checkDevSelected()
{
    Channel *ch = Dev::instance()->selectedChannel();
    m_alert->setText(ch ? QString() : noChannelPrompt());
    Device *device = ch ? ch->device() : nullptr;
    m_nickName->setText(device ? device->nickName() : tr("[未选择]"));
    m_uid->setText(device ? device->uid() : tr("[未选择]"));
    m_type->setText(device ? Device::typeName(device->type()) : tr("[未选择]"));
    // What the device cannot do is not offered (a camera reached through
    // RTSP has no Wi-Fi set-up; one without ONVIF no clock).
    for (QWidget *w : std::as_const(m_wifiFields))
        w->setEnabled(!device || DeviceLinks::has(device, DeviceLink::Wifi));
    for (QWidget *w : std::as_const(m_clockFields))
        w->setEnabled(!device || DeviceLinks::has(device, DeviceLink::Clock));
}

void DevOpt::foldDevTypeList(LabelFoldBtn *, bool folded)
{
    if (folded)
        m_zone->showPopup();
    else
        m_zone->hidePopup();
}

void DevOpt::selectedDevType(int)
{
    m_fold->toggle(false);
    // The zone itself, not its standard-time offset: the boxes show the
    // zone's wall-clock time, daylight-saving time included.
    m_selectedZone = QTimeZone(m_zone->currentText().toLatin1());
    loadTime();
}

void DevOpt::selectZone(int index)
{
    m_zone->setCurrentIndex(index);
    selectedDevType(index);
}

void DevOpt::cleanTime()
{
    m_hourEdited = m_minuteEdited = m_secondEdited = false;
    m_zone->setCurrentIndex(0);
    m_selectedZone = QTimeZone(homeZoneId());
    loadTime();
}

bool DevOpt::submit(bool &pending)
{
    Channel *ch = Dev::instance()->selectedChannel();
    if (!ch) {
        m_alert->setText(noChannelPrompt());
        return false;
    }
    m_alert->clear();
    // Requests wait for the channel they were made for: one made for another
    // channel before is dropped.
    if (m_pendingFor != ChannelRef::of(ch))
        m_pendingTime = m_pendingWifi = false;
    m_pendingFor = ChannelRef::of(ch);
    pending = true;
    ViewControl::instance()->prepareChannel(ch, true);
    return true;
}

void DevOpt::submitTime()
{
    submit(m_pendingTime);
}

void DevOpt::submitWifi()
{
    submit(m_pendingWifi);
}

void DevOpt::connectChannelSuccess(Channel *ch)
{
    if (!isSelected(ch) || ChannelRef::of(ch) != m_pendingFor)
        return;
    if (m_pendingWifi) {
        m_pendingWifi = false;
        if (m_wifiName->text().isEmpty()) {
            m_alert->setText(tr("wifi名不能为空"));
            return;
        }
        DeviceLinks::of(ch->device())->setWifi(ch, m_wifiName->text(), m_wifiPassword->text());
    }
    if (m_pendingTime)
        DeviceLinks::of(ch->device())
            ->setTimeZone(ch, deviceZoneText(m_selectedZone, QDateTime::currentDateTime()));
}

void DevOpt::timeZoneSuccess(Channel *ch)
{
    if (!isSelected(ch))
        return;
    m_alert->setText(tr("时区修改成功"));
    if (!m_pendingTime)
        return;
    m_pendingTime = false;
    const QDateTime now = QDateTime::currentDateTime().toTimeZone(m_selectedZone);
    const QDateTime t(now.date(), QTime(m_hour->value(), m_minute->value(), m_second->value()),
                      m_selectedZone);
    DeviceLinks::of(ch->device())->setTime(ch, t);
}

void DevOpt::timeSuccess(Channel *ch)
{
    if (isSelected(ch))
        m_alert->setText(tr("时间修改成功"));
}

void DevOpt::setWifiSuccess(Channel *ch)
{
    if (isSelected(ch))
        m_alert->setText(tr("wifi配置成功"));
}

void DevOpt::connectChannelFail(Channel *ch, int code, const QString &text)
{
    if (!isSelected(ch))
        return;
    m_alert->setText(QLatin1Char('[') + QString::number(code) + QLatin1Char(']') + text);
    // A failed request is not retried: it must not go out with a later
    // link-up of the channel.
    if (ChannelRef::of(ch) == m_pendingFor)
        m_pendingTime = m_pendingWifi = false;
}
