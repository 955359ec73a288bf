#include "admin/AddDev.h"

#include "account/AccountRequests.h"
#include "account/UserService.h"
#include "admin/SearchDev.h"
#include "config/Config.h"
#include "diagnostics/SystemInfo.h"
#include "link/IoConnect.h"
#include "link/onvif/OnvifDeviceControl.h"
#include "model/Channel.h"
#include "model/Dev.h"
#include "model/Device.h"
#include "admin/RtspFields.h"
#include "view/ViewControl.h"
#include "widgets/LabelFoldBtn.h"
#include "widgets/Named.h"

#include <QTimer>
#include <QComboBox>
#include <QDebug>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>

namespace {

struct TypeItem
{
    const char *text;
    int type;
};
// The types a user may pick; item 0 (no type) only prompts for a choice.
constexpr TypeItem TypeItems[] = {
    {"", 0},      {"DVR", 1},   {"NVR", 2},   {"NVR(WIRELESS)", 4}, {"IPC(PTZ)", 10},
    {"T301", 11}, {"T302", 12}, {"T303", 13}, {"T304", 14}};

QString noDevicePrompt()
{
    return AddDev::tr("请在主界面设备列表选择需要编辑的设备");
}

CloudDevice cloudDevice(const DeviceRecord &r)
{
    CloudDevice c;
    c.type = r.type;
    c.nickName = r.nickname;
    c.uid = r.uid;
    c.viewAccount = r.username;
    c.viewPassword = r.password;
    c.channelCount = r.channel;
    c.kind = r.kind;
    c.rtsp = r.rtsp;
    return c;
}

} // namespace

AddDev::AddDev(bool addMode, QWidget *parent)
    : QWidget(parent)
    , m_addMode(addMode)
    , m_dev(Dev::instance())
{
    setObjectName(QStringLiteral("AddDev"));
    auto *grid = new QGridLayout(this);
    int row = 0;
    auto addRow = [&](const QString &caption, QWidget *field) {
        auto *label = new QLabel(caption, this);
        grid->addWidget(label, row, 0);
        grid->addWidget(field, row++, 1);
        return QList<QWidget *>{label, field};
    };
    m_kind = new QComboBox(this);
    m_kind->setObjectName(QStringLiteral("comboBox_devKind"));
    m_kind->addItem(QStringLiteral("P2P"), int(DeviceKind::P2p));
    m_kind->addItem(QStringLiteral("RTSP"), int(DeviceKind::Rtsp));
    addRow(tr("接入方式:"), m_kind);
    auto *typeRow = new QWidget(this);
    typeRow->setObjectName(QStringLiteral("widget_devTypeBox"));
    auto *typeLayout = new QHBoxLayout(typeRow);
    typeLayout->setContentsMargins(0, 0, 0, 0);
    m_type = new QComboBox(typeRow);
    m_type->setObjectName(QStringLiteral("comboBox_devType"));
    for (const TypeItem &item : TypeItems)
        m_type->addItem(QLatin1String(item.text), item.type);
    m_fold = new LabelFoldBtn(typeRow);
    m_fold->setObjectName(QStringLiteral("label_devFold"));
    m_fold->setFixedSize(SystemInfo::instance()->scaled(16), SystemInfo::instance()->scaled(16));
    typeLayout->addWidget(m_type, 1);
    typeLayout->addWidget(m_fold);
    addRow(tr("设备类型:"), typeRow);
    m_name = namedLineEdit("textEdit_devName", this);
    m_uid = namedLineEdit("textEdit_devUid", this);
    m_account = namedLineEdit("textEdit_userName", this);
    m_password = namedLineEdit("lineEdit_password", this);
    m_password->setEchoMode(QLineEdit::Password);
    m_channels = namedLineEdit("textEdit_channelNum", this);
    m_rtsp = std::make_unique<RtspFields>(this);
    addRow(tr("设备名称:"), m_name);
    m_p2pRow = addRow(tr("设备ID:"), m_uid);
    for (const auto &[caption, field] : m_rtsp->rows())
        m_rtspRows << addRow(caption, field);
    addRow(tr("用户名:"), m_account);
    addRow(tr("密码:"), m_password);
    addRow(tr("通道数:"), m_channels);
    // Edit page: the key the device proved on its first connect.
    m_keyRow = new QWidget(this);
    auto *keyLayout = new QHBoxLayout(m_keyRow);
    keyLayout->setContentsMargins(0, 0, 0, 0);
    m_key = new QLabel(m_keyRow);
    m_key->setObjectName(QStringLiteral("label_devKey"));
    m_key->setWordWrap(true);
    m_key->setTextInteractionFlags(Qt::TextSelectableByMouse);
    keyLayout->addWidget(m_key, 1);
    keyLayout->addWidget(namedButton(tr("忘记密钥"), "forgetKeyBtn", m_keyRow));
    m_keyCaption = new QLabel(tr("设备密钥:"), this);
    grid->addWidget(m_keyCaption, row, 0);
    grid->addWidget(m_keyRow, row++, 1);
    if (m_addMode) {
        m_keyCaption->hide();
        m_keyRow->hide();
    }

    m_warningBox = new QWidget(this);
    m_warningBox->setObjectName(QStringLiteral("widget_worningBox"));
    auto *warningLayout = new QHBoxLayout(m_warningBox);
    warningLayout->setContentsMargins(0, 0, 0, 0);
    auto *warningTitle = new QLabel(tr("系统提示:"), m_warningBox);
    warningTitle->setObjectName(QStringLiteral("label_worningTitle"));
    m_warning = new QLabel(m_warningBox);
    m_warning->setObjectName(QStringLiteral("label_worning"));
    m_warning->setWordWrap(true);
    warningLayout->addWidget(warningTitle);
    warningLayout->addWidget(m_warning, 1);
    grid->addWidget(m_warningBox, row++, 0, 1, 2);
    m_warningBox->hide();

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(namedButton(tr("保存"), "saveBtn", this));
    m_delBtn = namedButton(tr("删除"), "delBtn", this);
    buttons->addWidget(m_delBtn);
    buttons->addWidget(namedButton(tr("取消"), "cancelBtn", this));
    grid->addLayout(buttons, row++, 0, 1, 2);
    grid->setRowStretch(row, 1);
    QMetaObject::connectSlotsByName(this);

    connect(m_dev, &Dev::selectDevMsg, this, &AddDev::selectedNewDev);
    connect(m_fold, &LabelFoldBtn::clicked, this, &AddDev::foldDevTypeList);
    connect(m_type, &QComboBox::activated, this, &AddDev::selectedDevType);
    connect(m_kind, &QComboBox::currentIndexChanged, this, &AddDev::selectedKind);
    if (!m_addMode)
        m_device = m_dev->selectedDevice();
    loadForm();
}

AddDev::~AddDev() = default;

bool AddDev::isLocalUser()
{
    const QString name = UserService::instance()->user()->username;
    return name.isEmpty() || name == QLatin1String("Admin");
}

AddDev::Entry AddDev::entry() const
{
    Entry e;
    e.type = m_type->currentData().toInt();
    e.name = m_name->text();
    e.uid = m_uid->text().trimmed();
    e.account = m_account->text();
    e.password = m_password->text();
    e.channels = m_channels->text().trimmed();
    e.kind = DeviceKind(m_kind->currentData().toInt());
    e.urls = m_rtsp->urls();
    e.onvifHost = m_rtsp->onvifHost();
    e.udp = m_rtsp->udp();
    return e;
}

bool AddDev::toRecord(const Entry &e, DeviceRecord *record)
{
    *record = DeviceRecord{e.type, e.channels.toInt(), e.name, e.uid, e.account, e.password};
    return e.kind != DeviceKind::Rtsp ||
           RtspFields::fill(e.urls, e.channels, e.onvifHost, e.udp, record);
}

QString AddDev::warningText() const
{
    return m_warningBox->isVisibleTo(this) ? m_warning->text() : QString();
}

QString AddDev::problem(const Entry &e)
{
    using namespace StoredLimits;
    if (e.type <= 0)
        return tr("请选择设备类型");
    if (e.kind == DeviceKind::Rtsp) {
        const QString why = RtspFields::problem(e.urls, e.channels, e.onvifHost);
        if (!why.isEmpty() ||
            (e.name.size() <= MaxNameLength && e.account.size() <= MaxNameLength &&
             e.password.size() <= MaxPasswordLength))
            return why;
        return tr("设备名称、用户名和密码最长128个字符");
    }
    if (e.uid.isEmpty())
        return tr("设备ID不能为空");
    static const QRegularExpression uidPattern(QStringLiteral("^[A-Za-z0-9_-]+$"));
    if (e.uid.size() > MaxUidLength || !uidPattern.match(e.uid).hasMatch())
        return tr("设备ID只能由字母、数字、\"-\"和\"_\"组成，最长64个字符");
    bool isNumber = false;
    const int channels = e.channels.toInt(&isNumber);
    if (!isNumber || channels < 1 || channels > MaxChannels)
        return tr("通道数必须是1到64之间的整数");
    if (e.name.size() > MaxNameLength || e.account.size() > MaxNameLength ||
        e.password.size() > MaxPasswordLength)
        return tr("设备名称、用户名和密码最长128个字符");
    return QString();
}

// ---- Form ------------------------------------------------------------------

void AddDev::loadForm()
{
    if (m_addMode) {
        m_account->setText(QStringLiteral("admin"));
        m_channels->setText(QStringLiteral("1"));
        m_delBtn->hide();
        selectedKind(m_kind->currentIndex());
        return;
    }
    if (!m_device) {
        showWarning(noDevicePrompt());
        return;
    }
    hideWarning();
    int index = m_type->findData(m_device->type());
    if (index < 0) {
        // A type the picker does not offer stays the device's type.
        m_type->addItem(m_device->typeName(), m_device->type());
        index = m_type->count() - 1;
    }
    m_type->setCurrentIndex(index);
    m_name->setText(m_device->nickName());
    m_uid->setText(m_device->uid());
    m_account->setText(m_device->viewAccount());
    m_password->setText(m_device->viewPassword());
    m_channels->setText(QString::number(m_device->channelCount()));
    m_kind->setCurrentIndex(m_kind->findData(int(m_device->kind())));
    m_rtsp->load(m_device);
    selectedKind(m_kind->currentIndex());
    showKey();
}

void AddDev::selectedKind(int)
{
    const bool rtsp = m_kind->currentData().toInt() == int(DeviceKind::Rtsp);
    for (QWidget *w : std::as_const(m_p2pRow))
        w->setVisible(!rtsp);
    for (QWidget *w : std::as_const(m_rtspRows))
        w->setVisible(rtsp);
    // Only P2P devices prove a key; the add page has none yet.
    m_keyCaption->setVisible(!rtsp && !m_addMode);
    m_keyRow->setVisible(!rtsp && !m_addMode);
}

void AddDev::showKey()
{
    const QString pin = m_device ? Config::instance()->devicePin(m_device->uid()) : QString();
    QString grouped;
    for (int i = 0; i < pin.size(); i += 4)
        grouped += (i ? QStringLiteral(" ") : QString()) + pin.mid(i, 4);
    m_key->setText(pin.isEmpty() ? tr("未固定（下次连接时信任设备出示的密钥）")
                                 : QStringLiteral("SHA-256 ") + grouped);
}

void AddDev::on_forgetKeyBtn_clicked()
{
    Device *d = editedDevice();
    if (!d)
        return;
    if (Config::instance()->setDevicePin(d->uid(), QString())) {
        qInfo().noquote() << QStringLiteral("%1: device key forgotten").arg(d->uid());
        showWarning(tr("已忘记设备密钥"), Outcome::Done);
    }
    showKey();
}

void AddDev::selectedNewDev(Device *device)
{
    if (m_addMode)
        return;
    m_device = device;
    loadForm();
}

void AddDev::fillFromSearch(int row)
{
    const QList<LanSearchResult> results = IoConnect::instance()->lanResults();
    if (row < 0 || row >= results.size())
        return;
    m_uid->setText(results.at(row).uid);
    m_channels->setText(SearchDev::channelsFromName(results.at(row).name));
}

void AddDev::fillFromOnvif(const QString &host, const QString &name, bool ptz)
{
    m_kind->setCurrentIndex(m_kind->findData(int(DeviceKind::Rtsp)));
    selectedKind(m_kind->currentIndex());
    if (ptz)
        m_type->setCurrentIndex(m_type->findData(10));
    m_name->setText(name);
    m_channels->setText(QStringLiteral("1"));
    m_rtsp->setOnvifHost(host);
}

void AddDev::foldDevTypeList(LabelFoldBtn *, bool folded)
{
    if (folded)
        m_type->showPopup();
    else
        m_type->hidePopup();
}

void AddDev::selectedDevType(int)
{
    if (m_fold->isOpen())
        m_fold->toggle(false);
}

void AddDev::showWarning(const QString &text, Outcome outcome)
{
    m_warning->setStyleSheet(outcome == Outcome::Done ? QStringLiteral("color:#008000")
                                                      : QStringLiteral("color:red"));
    m_warning->setText(text);
    m_warningBox->show();
}

void AddDev::hideWarning()
{
    m_warning->clear();
    m_warningBox->hide();
}

Device *AddDev::editedDevice() const
{
    return m_device && m_dev->devices().contains(m_device) ? m_device : nullptr;
}

Device *AddDev::requestDevice() const
{
    return m_requestDevice && m_dev->devices().contains(m_requestDevice) ? m_requestDevice
                                                                         : nullptr;
}

bool AddDev::accept(const Entry &e)
{
    QString why = problem(e);
    if (why.isEmpty()) {
        const Device *edited = m_addMode ? nullptr : editedDevice();
        const Device *owner = m_dev->deviceByUid(e.uid);
        bool taken = owner && owner != edited && (m_addMode || edited);
        if (!taken && m_addMode && isLocalUser()) {
            const QList<DeviceRecord> stored = Config().readDevices();
            taken = std::any_of(stored.begin(), stored.end(),
                                [&](const DeviceRecord &r) { return r.uid == e.uid; });
            if (!taken && stored.size() >= StoredLimits::MaxDevices)
                why = tr("本地设备数量已达上限");
        }
        if (taken)
            why = tr("该设备ID已存在");
    }
    if (!why.isEmpty())
        showWarning(why);
    return why.isEmpty();
}

// ---- Buttons ---------------------------------------------------------------

void AddDev::on_saveBtn_clicked()
{
    Entry e = entry();
    DeviceRecord rtsp;
    if (e.kind == DeviceKind::Rtsp && toRecord(e, &rtsp)) {
        // The device's key comes from its URL; typed credentials move to
        // their own fields and leave the URL.
        e.uid = rtsp.uid;
        m_rtsp->showStreams(rtsp.rtsp.streams);
        m_account->setText(e.account = rtsp.username);
        m_password->setText(e.password = rtsp.password);
    }
    if (!accept(e))
        return;
    if (e.kind == DeviceKind::Rtsp && e.urls.trimmed().isEmpty() && !e.onvifHost.isEmpty())
        probeThenSave(e);
    else
        save(e);
}

void AddDev::save(const Entry &e)
{
    if (isLocalUser())
        saveLocal(e);
    else
        saveCloud(e);
}

void AddDev::probeThenSave(Entry e)
{
    showWarning(tr("正在连接ONVIF设备..."), Outcome::Done);
    const bool addMode = m_addMode;
    OnvifDeviceControl::probe(
        e.onvifHost, e.account, e.password, newRequest(),
        [this, e, addMode](const OnvifDeviceControl::Probe &p, const QString &why) mutable {
            requestDone();
            if (!why.isEmpty()) {
                showWarning(tr("ONVIF设备无应答: %1").arg(why));
                addMode ? emit addDevFailed() : emit updateDevFailed();
                return;
            }
            m_channels->setText(e.channels = QString::number(p.channels));
            if (e.name.trimmed().isEmpty() && !p.model.isEmpty())
                m_name->setText(e.name = p.model);
            save(e);
        });
}

void AddDev::on_delBtn_clicked()
{
    if (isLocalUser())
        deleteLocal();
    else
        deleteCloud();
}

void AddDev::on_cancelBtn_clicked()
{
    // Back to the form as it was opened: the defaults, or the edited device.
    m_name->clear();
    m_uid->clear();
    m_password->clear();
    m_rtsp->clear();
    m_type->setCurrentIndex(0);
    hideWarning();
    if (!m_addMode)
        m_device = editedDevice();
    loadForm();
}

// ---- Local administrator ----------------------------------------------------

void AddDev::saveLocal(const Entry &e)
{
    DeviceRecord record;
    toRecord(e, &record);
    Device *edited = m_addMode ? nullptr : editedDevice();
    const bool uidChanged = edited && edited->uid() != e.uid;
    bool written = false;
    {
        Config config;
        written = config.saveDevice(record);
        // A new UID is a new device: the entry of the old one goes.
        if (written && uidChanged)
            written = config.removeDevice(edited->uid());
    }
    if (!written) {
        showWarning(tr("无法写入配置文件"));
        m_addMode ? emit addDevFailed() : emit updateDevFailed();
        return;
    }
    if (uidChanged)
        retire(edited);
    else
        reloadKeepingSelection(edited);
    showWarning(m_addMode ? tr("添加成功") : tr("修改成功"), Outcome::Done);
    m_addMode ? emit addDevSuccess() : emit updateDevSuccess();
}

void AddDev::deleteLocal()
{
    // The edited device's own entry; without one, the entry of the typed UID.
    Device *target = editedDevice();
    const QString uid = target ? target->uid() : m_uid->text().trimmed();
    if (!target)
        target = m_dev->deviceByUid(uid);
    bool stored = false;
    bool written = false;
    {
        Config config;
        const QList<DeviceRecord> records = config.readDevices();
        stored = std::any_of(records.begin(), records.end(),
                             [&](const DeviceRecord &r) { return r.uid == uid; });
        written = !stored || config.removeDevice(uid);
    }
    if (uid.isEmpty() || (!stored && !target)) {
        showWarning(uid.isEmpty() ? noDevicePrompt() : tr("未找到该设备"));
        emit delDevFailed();
        return;
    }
    if (!written) {
        showWarning(tr("无法写入配置文件"));
        emit delDevFailed();
        return;
    }
    if (target)
        retire(target);
    else
        m_dev->reload();
    showWarning(tr("删除成功"), Outcome::Done);
    emit delDevSuccess();
}

void AddDev::reloadKeepingSelection(Device *edited)
{
    m_dev->reload();
    // The rebuilt tree rows and the caption show the edited device anew.
    if (edited && m_dev->selectedDevice() == edited)
        m_dev->setSelectedDevice(edited);
}

void AddDev::retire(Device *d)
{
    if (m_dev->selectedChannel() && m_dev->selectedChannel()->device() == d)
        m_dev->setSelectedChannel(nullptr);
    if (m_dev->selectedDevice() == d)
        m_dev->setSelectedDevice(nullptr);
    if (m_device == d)
        m_device = nullptr;
    ViewControl::instance()->closeDeviceThenRelease(d);
    m_dev->removeDevice(d);
    // Freed once the signals of its removal have been handled. Link tasks and
    // their results name it by handle only; its channels stop their streams
    // and drop what waits for the GUI thread as they go.
    QTimer::singleShot(0, [d] { delete d; });
}

// ---- Account service --------------------------------------------------------

QObject *AddDev::newRequest()
{
    delete m_request;
    m_request = new QObject(this);
    emit startCircle();
    return m_request;
}

void AddDev::requestDone()
{
    // The answer arrives inside a signal of the request's own objects.
    if (m_request)
        m_request->deleteLater();
    m_request = nullptr;
    emit stopCircle();
}

void AddDev::saveCloud(const Entry &e)
{
    DeviceRecord record;
    toRecord(e, &record);
    const CloudDevice edited = cloudDevice(record);
    m_requestUid = e.uid;
    if (m_addMode) {
        AccountRequests::addDevice(edited, newRequest(), [this](bool ok, const QString &reason) {
            addDevResponsed(ok, reason);
        });
        return;
    }
    Device *d = editedDevice();
    if (!d) {
        showWarning(noDevicePrompt());
        return;
    }
    CloudDevice current;
    current.pk = d->pk();
    current.type = d->type();
    current.nickName = d->nickName();
    current.uid = d->uid();
    current.viewAccount = d->viewAccount();
    current.viewPassword = d->viewPassword();
    current.channelCount = d->channelCount();
    current.kind = d->kind();
    current.rtsp = d->rtsp();
    m_requestDevice = d;
    AccountRequests::modifyDevice(
        current, edited, newRequest(),
        [this](bool ok, const QString &reason) { updateDevResponsed(ok, reason); });
}

void AddDev::deleteCloud()
{
    Device *d = editedDevice();
    if (!d) {
        showWarning(noDevicePrompt());
        return;
    }
    m_requestDevice = d;
    AccountRequests::deleteDevice(d->pk(), newRequest(), [this](bool ok, const QString &reason) {
        delDevResponsed(ok, reason);
    });
}

void AddDev::addDevResponsed(bool ok, const QString &reason)
{
    requestDone();
    if (!ok) {
        showWarning(reason.isEmpty() ? tr("添加失败") : tr("添加失败: %1").arg(reason));
        emit addDevFailed();
        return;
    }
    showWarning(tr("添加成功"), Outcome::Done);
    emit addDevSuccess();
    m_dev->reload();
}

void AddDev::updateDevResponsed(bool ok, const QString &reason)
{
    requestDone();
    if (!ok) {
        showWarning(reason.isEmpty() ? tr("修改失败") : tr("修改失败: %1").arg(reason));
        emit updateDevFailed();
        return;
    }
    emit updateDevSuccess();
    // The service keeps the device under its new UID: the old entry goes.
    Device *d = requestDevice();
    if (d && d->uid() != m_requestUid)
        retire(d);
    else
        reloadKeepingSelection(d);
    showWarning(tr("修改成功"), Outcome::Done);
}

void AddDev::delDevResponsed(bool ok, const QString &reason)
{
    requestDone();
    if (!ok) {
        showWarning(reason.isEmpty() ? tr("删除失败") : tr("删除失败: %1").arg(reason));
        emit delDevFailed();
        return;
    }
    emit delDevSuccess();
    if (Device *d = requestDevice())
        retire(d);
    else
        m_dev->reload();
    showWarning(tr("删除成功"), Outcome::Done);
}
