#pragma once

#include <QList>
#include <QMouseEvent>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <functional>

class Dev;
class DevManageBtn;
class MenuListDev;
class QLineEdit;
class QScrollArea;
class SystemInfo;
class ViewControl;
class WaitingCircle;

// The device tree panel: loads the user's devices into the registry (from
// the account service for a cloud user, from the local configuration for the
// local administrator "Admin"), shows one row per device (with channel rows
// for multi-channel devices), filters them by the search text and opens the
// device manager. A cloud list that cannot be fetched is retried every
// second, at most MaxRetries times. GUI thread only.
class MenuDevList : public QWidget
{
    Q_OBJECT

public:
    static constexpr const char *LocalAdmin = "Admin";
    static constexpr const char *QueryPath = "/equipment/queryUserEquipment";
    static constexpr int RetryIntervalMs = 1000;
    static constexpr int MaxRetries = 10;
    static constexpr int RowHeight = 24;

    // Sends one request to the account service: POST `params` (form-encoded)
    // to `url`; `done` is called once, on the GUI thread, with the outcome
    // and the reply body.
    using Done = std::function<void(bool ok, const QByteArray &body)>;
    using CloudRequest =
        std::function<void(const QString &url, const QByteArray &params, Done done)>;

    explicit MenuDevList(QWidget *parent = nullptr);
    ~MenuDevList() override;

    // The logged-in user; "Admin" (the default) is the local administrator.
    void setUser(const QString &userName, const QString &accessToken);
    // Base URL of the account service; the list is asked for under QueryPath.
    void setServiceBase(const QString &baseUrl);
    QString queryPath() const { return m_queryPath; }
    // How cloud requests are sent. Without one a cloud request fails.
    void setCloudRequest(CloudRequest request);

    const QList<MenuListDev *> &rows() const { return m_rows; }
    QWidget *rowContainer() const { return m_container; }
    QLineEdit *searchEdit() const { return m_search; }
    WaitingCircle *waitingCircle() const { return m_waiting; }
    QTimer *retryTimer() { return &m_retryTimer; }
    int retryCount() const { return m_retryCount; }
    bool requestPending() const { return m_pending; }
    int rowHeight() const;

signals:
    void devLoaded(bool ok);
    void selectedDev(MenuListDev *row);
    void connectedDev(MenuListDev *row);

public slots:
    void loadDevList();
    void reloadDevList();
    void getDevResponsed(bool ok, const QByteArray &body);
    void resizeDevList();
    void selectDev(MenuListDev *row);
    void connectDev(MenuListDev *row);
    void openSubWindowMenu(MenuListDev *row, QMouseEvent *event);
    void clickedDevManageBtn();
    void searchDev(const QString &key);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    bool isLocalAdmin() const;
    void sendCloudRequest();
    void loadLocalDevices();
    void buildRows();
    void removeWaiting();
    void placeWaiting();

    ViewControl *m_view;
    SystemInfo *m_systemInfo;
    QLineEdit *m_search;
    DevManageBtn *m_manageIcon;
    DevManageBtn *m_manageText;
    QScrollArea *m_scroll;
    QWidget *m_container;
    WaitingCircle *m_waiting = nullptr;
    bool m_pending = false;
    quint64 m_requestSerial = 0;
    QList<MenuListDev *> m_rows;
    QString m_queryPath;
    Dev *m_dev;
    QTimer m_retryTimer;
    int m_retryCount = 0;
    int m_maxRetries = MaxRetries;

    QString m_userName = QString::fromLatin1(LocalAdmin);
    QString m_token;
    CloudRequest m_request;
};
