#include "core/DeviceEditor.h"

#include "config/Config.h"
#include "core/AccountRequests.h"
#include "core/CloudDeviceList.h"
#include "core/UserService.h"
#include "link/onvif/OnvifDeviceControl.h"
#include "model/Channel.h"
#include "model/Dev.h"
#include "model/Device.h"
#include "model/UserInfo.h"

#include <QDebug>
#include <QTimer>

#include <algorithm>

namespace {

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

CloudDevice cloudDevice(const Device &d)
{
    CloudDevice c;
    c.pk = d.pk();
    c.type = d.type();
    c.nickName = d.nickName();
    c.uid = d.uid();
    c.viewAccount = d.viewAccount();
    c.viewPassword = d.viewPassword();
    c.channelCount = d.channelCount();
    c.kind = d.kind();
    c.rtsp = d.rtsp();
    return c;
}

bool storedLocally(const QList<DeviceRecord> &records, const QString &uid)
{
    return std::any_of(records.begin(), records.end(),
                       [&](const DeviceRecord &r) { return r.uid == uid; });
}

} // namespace

DeviceEditor::DeviceEditor(bool addMode, QObject *parent)
    : QObject(parent)
    , m_addMode(addMode)
    , m_dev(Dev::instance())
{}

DeviceEditor::~DeviceEditor() = default;

bool DeviceEditor::isLocalUser()
{
    const QString name = UserService::instance()->user()->username;
    return name.isEmpty() || name == QLatin1String("Admin");
}

QString DeviceEditor::noDevicePrompt()
{
    return DeviceEntry::tr("请在主界面设备列表选择需要编辑的设备");
}

Device *DeviceEditor::editedDevice() const
{
    return m_device && m_dev->devices().contains(m_device) ? m_device : nullptr;
}

Device *DeviceEditor::requestDevice() const
{
    return m_requestDevice && m_dev->devices().contains(m_requestDevice) ? m_requestDevice
                                                                         : nullptr;
}

QString DeviceEditor::check(const DeviceEntry &e) const
{
    const QString why = e.problem();
    if (!why.isEmpty())
        return why;
    const Device *edited = m_addMode ? nullptr : editedDevice();
    const Device *owner = m_dev->deviceByUid(e.uid);
    bool taken = owner && owner != edited && (m_addMode || edited);
    if (!taken && m_addMode && isLocalUser()) {
        const QList<DeviceRecord> stored = Config().readDevices();
        taken = storedLocally(stored, e.uid);
        if (!taken && stored.size() >= StoredLimits::MaxDevices)
            return DeviceEntry::tr("本地设备数量已达上限");
    }
    return taken ? DeviceEntry::tr("该设备ID已存在") : QString();
}

QString DeviceEditor::pinnedKey() const
{
    return m_device ? Config::instance()->devicePin(m_device->uid()) : QString();
}

bool DeviceEditor::forgetKey()
{
    Device *d = editedDevice();
    if (!d || !Config::instance()->setDevicePin(d->uid(), QString()))
        return false;
    qInfo().noquote() << QStringLiteral("%1: device key forgotten").arg(d->uid());
    m_dev->accessChanged(d);
    return true;
}

void DeviceEditor::save(const DeviceEntry &e)
{
    if (e.needsOnvifProbe())
        probeThenStore(e);
    else
        store(e);
}

void DeviceEditor::store(const DeviceEntry &e)
{
    if (isLocalUser())
        storeLocal(e);
    else
        storeCloud(e);
}

void DeviceEditor::remove(const QString &typedUid)
{
    if (isLocalUser())
        removeLocal(typedUid);
    else
        removeCloud();
}

void DeviceEditor::probeThenStore(DeviceEntry e)
{
    emit progress(DeviceEntry::tr("正在连接ONVIF设备..."));
    const Action action = m_addMode ? Action::Add : Action::Update;
    OnvifDeviceControl::probe(
        e.onvifHost, e.account, e.password, newRequest(),
        [this, e, action](const OnvifDeviceControl::Probe &p, const QString &why) mutable {
            requestDone();
            if (!why.isEmpty()) {
                emit finished(action, false, DeviceEntry::tr("ONVIF设备无应答: %1").arg(why));
                return;
            }
            e.channels = QString::number(p.channels);
            if (e.name.trimmed().isEmpty() && !p.model.isEmpty())
                e.name = p.model;
            emit probed(e);
            store(e);
        });
}

// ---- Local administrator ----------------------------------------------------

void DeviceEditor::storeLocal(const DeviceEntry &e)
{
    const Action action = m_addMode ? Action::Add : Action::Update;
    DeviceRecord record;
    e.toRecord(&record);
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
        emit finished(action, false, DeviceEntry::tr("无法写入配置文件"));
        return;
    }
    if (uidChanged)
        retire(edited);
    else
        reloadKeepingSelection(edited);
    emit finished(action, true,
                  m_addMode ? DeviceEntry::tr("添加成功") : DeviceEntry::tr("修改成功"));
}

void DeviceEditor::removeLocal(const QString &typedUid)
{
    // The edited device's own entry; without one, the entry of the typed UID.
    Device *target = editedDevice();
    const QString uid = target ? target->uid() : typedUid;
    if (!target)
        target = m_dev->deviceByUid(uid);
    bool stored = false;
    bool written = false;
    {
        Config config;
        stored = storedLocally(config.readDevices(), uid);
        written = !stored || config.removeDevice(uid);
    }
    if (uid.isEmpty() || (!stored && !target)) {
        emit finished(Action::Delete, false,
                      uid.isEmpty() ? noDevicePrompt() : DeviceEntry::tr("未找到该设备"));
        return;
    }
    if (!written) {
        emit finished(Action::Delete, false, DeviceEntry::tr("无法写入配置文件"));
        return;
    }
    if (target)
        retire(target);
    else
        m_dev->reload();
    emit finished(Action::Delete, true, DeviceEntry::tr("删除成功"));
}

void DeviceEditor::reloadKeepingSelection(Device *edited)
{
    m_dev->reload();
    // The rebuilt tree rows and the caption show the edited device anew.
    if (edited && m_dev->selectedDevice() == edited)
        m_dev->setSelectedDevice(edited);
}

void DeviceEditor::retire(Device *d)
{
    if (m_dev->selectedChannel() && m_dev->selectedChannel()->device() == d)
        m_dev->setSelectedChannel(nullptr);
    if (m_dev->selectedDevice() == d)
        m_dev->setSelectedDevice(nullptr);
    if (m_device == d)
        m_device = nullptr;
    emit retiring(d);
    m_dev->removeDevice(d);
    // Freed once the signals of its removal have been handled. Link tasks and
    // their results name it by handle only; its channels stop their streams
    // and drop what waits for the GUI thread as they go.
    QTimer::singleShot(0, [d] { delete d; });
}

// ---- Account service --------------------------------------------------------

QObject *DeviceEditor::newRequest()
{
    delete m_request;
    m_request = new QObject(this);
    emit requestStarted();
    return m_request;
}

void DeviceEditor::requestDone()
{
    // The answer arrives inside a signal of the request's own objects.
    if (m_request)
        m_request->deleteLater();
    m_request = nullptr;
    emit requestFinished();
}

void DeviceEditor::storeCloud(const DeviceEntry &e)
{
    DeviceRecord record;
    e.toRecord(&record);
    const CloudDevice edited = cloudDevice(record);
    m_requestUid = e.uid;
    if (m_addMode) {
        AccountRequests::addDevice(edited, newRequest(), [this](bool ok, const QString &reason) {
            cloudAnswered(Action::Add, ok, reason);
        });
        return;
    }
    Device *d = editedDevice();
    if (!d) {
        emit refused(noDevicePrompt());
        return;
    }
    m_requestDevice = d;
    AccountRequests::modifyDevice(
        cloudDevice(*d), edited, newRequest(),
        [this](bool ok, const QString &reason) { cloudAnswered(Action::Update, ok, reason); });
}

void DeviceEditor::removeCloud()
{
    Device *d = editedDevice();
    if (!d) {
        emit refused(noDevicePrompt());
        return;
    }
    m_requestDevice = d;
    AccountRequests::deleteDevice(d->pk(), newRequest(), [this](bool ok, const QString &reason) {
        cloudAnswered(Action::Delete, ok, reason);
    });
}

void DeviceEditor::cloudAnswered(Action action, bool ok, const QString &reason)
{
    requestDone();
    if (!ok) {
        QString text;
        if (action == Action::Add)
            text = reason.isEmpty() ? DeviceEntry::tr("添加失败")
                                    : DeviceEntry::tr("添加失败: %1").arg(reason);
        else if (action == Action::Update)
            text = reason.isEmpty() ? DeviceEntry::tr("修改失败")
                                    : DeviceEntry::tr("修改失败: %1").arg(reason);
        else
            text = reason.isEmpty() ? DeviceEntry::tr("删除失败")
                                    : DeviceEntry::tr("删除失败: %1").arg(reason);
        emit finished(action, false, text);
        return;
    }
    Device *d = requestDevice();
    if (action == Action::Add) {
        emit finished(action, true, DeviceEntry::tr("添加成功"));
        m_dev->reload();
    } else if (action == Action::Update) {
        // The service keeps the device under its new UID: the old entry goes.
        if (d && d->uid() != m_requestUid)
            retire(d);
        else
            reloadKeepingSelection(d);
        emit finished(action, true, DeviceEntry::tr("修改成功"));
    } else {
        if (d)
            retire(d);
        else
            m_dev->reload();
        emit finished(action, true, DeviceEntry::tr("删除成功"));
    }
}
