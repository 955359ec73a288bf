#include "core/DeviceListLoader.h"

#include "config/Config.h"
#include "core/AccountRequests.h"
#include "core/AccountSettings.h"
#include "core/CloudDeviceList.h"
#include "model/Dev.h"
#include "model/Device.h"

#include <QPointer>
#include <QUrl>

DeviceListLoader::DeviceListLoader(QObject *parent)
    : QObject(parent)
    , m_dev(Dev::instance())
{
    m_retryTimer.setSingleShot(true);
    m_retryTimer.setInterval(RetryIntervalMs);
    connect(&m_retryTimer, &QTimer::timeout, this, &DeviceListLoader::retry);
}

DeviceListLoader::~DeviceListLoader() = default;

void DeviceListLoader::setUser(const QString &userName, const QString &accessToken)
{
    m_userName = userName;
    m_token = accessToken;
}

void DeviceListLoader::setServiceBase(const QString &baseUrl)
{
    m_queryPath =
        baseUrl.isEmpty() ? QString() : baseUrl + QLatin1String(AccountRequests::DeviceListPath);
}

void DeviceListLoader::setCloudRequest(CloudRequest request)
{
    m_request = std::move(request);
}

void DeviceListLoader::useAccountService()
{
    setServiceBase(AccountSettings::baseUrl());
    setCloudRequest([this](const QString &url, const QByteArray &params, Done done) {
        AccountRequests::postTo(url, QString::fromUtf8(params), this, std::move(done));
    });
}

bool DeviceListLoader::isLocalAdmin() const
{
    return m_userName == QLatin1String(LocalAdmin);
}

void DeviceListLoader::load()
{
    if (isLocalAdmin()) {
        loadLocalDevices();
        return;
    }
    if (m_queryPath.isEmpty())
        return;
    m_retryTimer.stop();
    m_retryCount = 0;
    sendCloudRequest();
}

void DeviceListLoader::retry()
{
    ++m_retryCount;
    sendCloudRequest();
}

void DeviceListLoader::sendCloudRequest()
{
    const quint64 serial = ++m_requestSerial;
    m_pending = true;
    if (!m_request) {
        answer(false, QByteArray());
        return;
    }
    QPointer<DeviceListLoader> self(this);
    m_request(m_queryPath, QByteArray("token=") + QUrl::toPercentEncoding(m_token),
              [self, serial](bool ok, const QByteArray &body) {
                  if (self && serial == self->m_requestSerial && self->m_pending)
                      self->answer(ok, body);
              });
}

void DeviceListLoader::answer(bool ok, const QByteArray &body)
{
    m_pending = false;
    if (!ok) {
        if (m_retryCount >= MaxRetries) {
            m_retryCount = 0;
            emit finished(Outcome::GaveUp);
            return;
        }
        emit finished(Outcome::NoAnswer);
        m_retryTimer.start();
        return;
    }
    m_retryCount = 0;
    QList<CloudDevice> devices;
    if (!parseCloudDeviceList(body, &devices)) {
        emit finished(Outcome::BadAnswer);
        return;
    }
    for (const CloudDevice &c : std::as_const(devices)) {
        auto *d = new Device();
        d->setPk(c.pk);
        d->setModel(c.model);
        d->setUid(c.uid);
        d->setArea(c.area);
        d->setType(c.type);
        d->setUserId(c.userId);
        d->setNickName(c.nickName);
        d->setChannelCount(c.channelCount);
        d->setViewPassword(c.viewPassword);
        d->setViewAccount(c.viewAccount);
        d->setKind(c.kind);
        d->setRtsp(c.rtsp);
        m_dev->addOrUpdate(d);
    }
    emit finished(Outcome::Loaded);
}

void DeviceListLoader::loadLocalDevices()
{
    const QList<DeviceRecord> records = Config().readDevices();
    for (const DeviceRecord &r : records) {
        auto *d = new Device();
        d->setType(r.type);
        d->setUid(r.uid);
        d->setNickName(r.nickname);
        d->setChannelCount(r.channel);
        d->setViewAccount(r.username);
        d->setViewPassword(r.password);
        d->setKind(r.kind);
        d->setRtsp(r.rtsp);
        m_dev->addOrUpdate(d);
    }
    emit finished(Outcome::Loaded);
}
