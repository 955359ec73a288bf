#pragma once

#include "core/AccountRequests.h"
#include "core/DeviceListLoader.h"

#include <QList>
#include <QMouseEvent>
#include <QPointer>
#include <QString>
#include <QWidget>

class Dev;
class DevManageBtn;
class MenuListDev;
class QLineEdit;
class QScrollArea;
class SystemInfo;
class ViewControl;
class QLabel;
class WaitingCircle;

// The device tree panel: shows one row per device of the registry (with
// channel rows for multi-channel devices), filters them by the search text
// and opens the device manager. Its DeviceListLoader fills the registry with
// the user's devices (from the account service for a cloud user, from the
// local configuration for the local administrator "Admin"); the waiting
// circle shows while a list is on its way, and a readable message when the
// account service gives none. GUI thread only.
class MenuDevList : public QWidget
{
    Q_OBJECT

public:
    static constexpr const char *LocalAdmin = DeviceListLoader::LocalAdmin;
    static constexpr const char *QueryPath = AccountRequests::DeviceListPath;
    static constexpr int RetryIntervalMs = DeviceListLoader::RetryIntervalMs;
    static constexpr int MaxRetries = DeviceListLoader::MaxRetries;
    static constexpr int RowHeight = 24;

    using Done = DeviceListLoader::Done;
    using CloudRequest = DeviceListLoader::CloudRequest;

    explicit MenuDevList(QWidget *parent = nullptr);
    ~MenuDevList() override;

    DeviceListLoader *loader() const { return m_loader; }
    // The loader's settings (see DeviceListLoader).
    void setUser(const QString &userName, const QString &accessToken);
    void setServiceBase(const QString &baseUrl);
    QString queryPath() const { return m_loader->queryPath(); }
    void setCloudRequest(CloudRequest request);

    const QList<MenuListDev *> &rows() const { return m_rows; }
    QWidget *rowContainer() const { return m_container; }
    QLineEdit *searchEdit() const { return m_search; }
    WaitingCircle *waitingCircle() const { return m_waiting; }
    // What the tree says instead of rows when a cloud list cannot be had
    // (empty while none is shown).
    QString listStatus() const;
    QTimer *retryTimer() { return m_loader->retryTimer(); }
    int retryCount() const { return m_loader->retryCount(); }
    bool requestPending() const { return m_loader->requestPending(); }
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
    void loaderFinished(DeviceListLoader::Outcome outcome);
    void buildRows();
    void removeWaiting();
    void placeWaiting();

    ViewControl *m_view;
    SystemInfo *m_systemInfo;
    Dev *m_dev;
    DeviceListLoader *m_loader;
    QLineEdit *m_search;
    DevManageBtn *m_manageIcon;
    DevManageBtn *m_manageText;
    QScrollArea *m_scroll;
    QWidget *m_container;
    WaitingCircle *m_waiting = nullptr;
    QLabel *m_status = nullptr;
    QList<MenuListDev *> m_rows;
};
