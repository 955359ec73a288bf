#pragma once

#include "core/ServerTrust.h"
#include "model/UserInfo.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <memory>

class Http;

// Signs in to the account service and keeps the logged-in user (the local
// administrator too, whose login sends nothing). One process-wide instance.
// GUI thread only.
class UserService : public QObject
{
    Q_OBJECT

public:
    explicit UserService(QObject *parent = nullptr);
    ~UserService() override;
    static UserService *instance();

    void setUserName(const QString &name);
    void setPassword(const QString &password);
    // POSTs the login; logined() tells the outcome. Nothing without a service.
    void login();
    UserInfo *user() const { return m_user.get(); }
    // The name shown for a user: nick name, user name, telephone or e-mail,
    // the first one not empty; 7 characters or more are cut to 5 and "...".
    static QString displayName(const UserInfo &user);
    bool isLoginPending() const { return m_request != nullptr; }
    // What the service showed when the last login failed on a certificate
    // the system does not trust (empty otherwise): the login window asks
    // the user about it.
    ServerTrust::Untrusted lastUntrusted() const { return m_untrusted; }

signals:
    // ok: user() holds the account; otherwise body is the service's reply
    // (empty after a network failure or time-out).
    void logined(bool ok, const QByteArray &body);

private slots:
    void loginResponsed(bool ok);

private:
    std::unique_ptr<UserInfo> m_user;
    Http *m_request = nullptr;
    ServerTrust::Untrusted m_untrusted;
};
