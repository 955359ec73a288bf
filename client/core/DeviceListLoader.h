#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

class Dev;

// Loads the logged-in user's devices into the registry (Dev): a cloud
// user's from the account service's device list, the local administrator's
// ("Admin", the default) from the local configuration. A cloud list that
// cannot be fetched is asked for again every RetryIntervalMs, at most
// MaxRetries times, and then given up (GaveUp); a fresh load() gets the full
// number of retries again.
// Only the newest request counts: an older reply still on its way is dropped.
// GUI thread only.
class DeviceListLoader : public QObject
{
    Q_OBJECT

public:
    static constexpr const char *LocalAdmin = "Admin";
    static constexpr int RetryIntervalMs = 1000;
    static constexpr int MaxRetries = 10;

    // Sends one request to the account service: POST `params` (form-encoded)
    // to `url`; `done` is called once, on the GUI thread, with the outcome
    // and the reply body.
    using Done = std::function<void(bool ok, const QByteArray &body)>;
    using CloudRequest =
        std::function<void(const QString &url, const QByteArray &params, Done done)>;

    // How a load ended: no answer (a retry follows), no answer after the
    // last retry, an answer that is not a device list, or the devices are in
    // the registry.
    enum class Outcome { NoAnswer, GaveUp, BadAnswer, Loaded };
    Q_ENUM(Outcome)

    explicit DeviceListLoader(QObject *parent = nullptr);
    ~DeviceListLoader() override;

    // The logged-in user; "Admin" (the default) is the local administrator.
    void setUser(const QString &userName, const QString &accessToken);
    QString userName() const { return m_userName; }
    // Base URL of the account service; the list is asked for under its
    // device list path.
    void setServiceBase(const QString &baseUrl);
    QString queryPath() const { return m_queryPath; }
    // How cloud requests are sent. Without one a cloud request fails.
    void setCloudRequest(CloudRequest request);
    // Cloud requests go to the account service of the settings
    // (AccountSettings, AccountRequests::postTo).
    void useAccountService();

    QTimer *retryTimer() { return &m_retryTimer; }
    int retryCount() const { return m_retryCount; }
    bool requestPending() const { return m_pending; }

    // Loads the list: at once for the local administrator, by a request for
    // a cloud user (nothing without a service base).
    void load();
    // The next retry of a cloud list, while retries are left.
    void retry();
    // The answer to the cloud request: adds the listed devices.
    void answer(bool ok, const QByteArray &body);

signals:
    void finished(DeviceListLoader::Outcome outcome);

private:
    bool isLocalAdmin() const;
    void sendCloudRequest();
    void loadLocalDevices();

    Dev *m_dev;
    QTimer m_retryTimer;
    int m_retryCount = 0;
    bool m_pending = false;
    quint64 m_requestSerial = 0;
    QString m_queryPath;
    QString m_userName = QString::fromLatin1(LocalAdmin);
    QString m_token;
    CloudRequest m_request;
};
