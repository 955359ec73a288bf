#include "admin/AddDev.h"

#include "admin/RtspFields.h"
#include "admin/SearchDev.h"
#include "diagnostics/SystemInfo.h"
#include "link/DeviceLinks.h"
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
#include <QPushButton>

AddDev::AddDev(bool addMode, QWidget *parent)
    : QWidget(parent)
    , m_editor(new DeviceEditor(addMode, this))
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
    for (const DeviceEntry::TypeItem &item : DeviceEntry::typeItems())
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
    if (addMode) {
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

    connect(Dev::instance(), &Dev::selectDevMsg, this, &AddDev::selectedNewDev);
    connect(m_fold, &LabelFoldBtn::clicked, this, &AddDev::foldDevTypeList);
    connect(m_type, &QComboBox::activated, this, &AddDev::selectedDevType);
    connect(m_kind, &QComboBox::currentIndexChanged, this, &AddDev::selectedKind);
    connect(m_editor, &DeviceEditor::requestStarted, this, &AddDev::startCircle);
    connect(m_editor, &DeviceEditor::requestFinished, this, &AddDev::stopCircle);
    connect(m_editor, &DeviceEditor::progress, this,
            [this](const QString &text) { showWarning(text, Outcome::Done); });
    connect(m_editor, &DeviceEditor::refused, this,
            [this](const QString &text) { showWarning(text); });
    connect(m_editor, &DeviceEditor::probed, this, &AddDev::showProbed);
    connect(m_editor, &DeviceEditor::finished, this, &AddDev::editorFinished);
    // A device that leaves the registry closes its link and its views first.
    connect(m_editor, &DeviceEditor::retiring, ViewControl::instance(),
            &ViewControl::closeDeviceThenRelease);
    if (!addMode)
        m_editor->setDevice(Dev::instance()->selectedDevice());
    loadForm();
}

AddDev::~AddDev() = default;

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

QString AddDev::warningText() const
{
    return m_warningBox->isVisibleTo(this) ? m_warning->text() : QString();
}

// ---- Form ------------------------------------------------------------------

void AddDev::loadForm()
{
    if (isAddMode()) {
        m_account->setText(QStringLiteral("admin"));
        m_channels->setText(QStringLiteral("1"));
        m_delBtn->hide();
        selectedKind(m_kind->currentIndex());
        return;
    }
    const Device *device = m_editor->device();
    if (!device) {
        showWarning(DeviceEditor::noDevicePrompt());
        return;
    }
    hideWarning();
    int index = m_type->findData(device->type());
    if (index < 0) {
        // A type the picker does not offer stays the device's type.
        m_type->addItem(device->typeName(), device->type());
        index = m_type->count() - 1;
    }
    m_type->setCurrentIndex(index);
    m_name->setText(device->nickName());
    m_uid->setText(device->uid());
    m_account->setText(device->viewAccount());
    m_password->setText(device->viewPassword());
    m_channels->setText(QString::number(device->channelCount()));
    m_kind->setCurrentIndex(m_kind->findData(int(device->kind())));
    m_rtsp->load(device);
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
    m_keyCaption->setVisible(!rtsp && !isAddMode());
    m_keyRow->setVisible(!rtsp && !isAddMode());
}

void AddDev::showKey()
{
    const QString pin = m_editor->pinnedKey();
    QString grouped;
    for (int i = 0; i < pin.size(); i += 4)
        grouped += (i ? QStringLiteral(" ") : QString()) + pin.mid(i, 4);
    m_key->setText(pin.isEmpty() ? tr("未固定（下次连接时信任设备出示的密钥）")
                                 : QStringLiteral("SHA-256 ") + grouped);
}

void AddDev::on_forgetKeyBtn_clicked()
{
    if (!m_editor->editedDevice())
        return;
    if (m_editor->forgetKey())
        showWarning(tr("已忘记设备密钥"), Outcome::Done);
    showKey();
}

void AddDev::selectedNewDev(Device *device)
{
    if (isAddMode())
        return;
    m_editor->setDevice(device);
    loadForm();
}

void AddDev::fillFromSearch(int row)
{
    const QList<LanSearchResult> results = DeviceLinks::lanResults();
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
        m_type->setCurrentIndex(m_type->findData(DeviceEntry::PtzCameraType));
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

// ---- Buttons ---------------------------------------------------------------

void AddDev::on_saveBtn_clicked()
{
    Entry e = entry();
    DeviceRecord rtsp;
    if (e.kind == DeviceKind::Rtsp && e.toRecord(&rtsp)) {
        // The device's key comes from its URL; typed credentials move to
        // their own fields and leave the URL.
        e.uid = rtsp.uid;
        m_rtsp->showStreams(rtsp.rtsp.streams);
        m_account->setText(e.account = rtsp.username);
        m_password->setText(e.password = rtsp.password);
    }
    const QString why = m_editor->check(e);
    if (!why.isEmpty()) {
        showWarning(why);
        return;
    }
    m_editor->save(e);
}

void AddDev::on_delBtn_clicked()
{
    m_editor->remove(m_uid->text().trimmed());
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
    if (!isAddMode())
        m_editor->setDevice(m_editor->editedDevice());
    loadForm();
}

// ---- The editor's answers ---------------------------------------------------

void AddDev::showProbed(const Entry &e)
{
    m_channels->setText(e.channels);
    m_name->setText(e.name);
}

void AddDev::editorFinished(DeviceEditor::Action action, bool ok, const QString &text)
{
    showWarning(text, ok ? Outcome::Done : Outcome::Problem);
    switch (action) {
    case DeviceEditor::Action::Add:
        ok ? emit addDevSuccess() : emit addDevFailed();
        break;
    case DeviceEditor::Action::Update:
        ok ? emit updateDevSuccess() : emit updateDevFailed();
        break;
    case DeviceEditor::Action::Delete:
        ok ? emit delDevSuccess() : emit delDevFailed();
        break;
    }
}
