#pragma once

#include "core/ServerTrust.h"
#include "model/UserInfo.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>

class Http;

// Signs in to the account service and keeps the logged-in user (the local
// administrator too, whose login sends nothing). One process-wide instance.
// GUI thread only.
class UserService : public QObject
{
    Q_OBJECT

public:
    // The access token is renewed this long before it expires (a quarter of
    // what is left of it when that is shorter); a renewal that got no answer
    // is tried again after RetryMs.
    static constexpr qint64 RefreshMarginSecs = 300;
    static constexpr int RetryMs = 30000;

    explicit UserService(QObject *parent = nullptr);
    ~UserService() override;
    static UserService *instance();

    void setUserName(const QString &name);
    void setPassword(const QString &password);
    // POSTs the login; logined() tells the outcome. Nothing without a service.
    void login();
    // Asks whoever shows the session (the login window) to end it.
    void requestSignOut() { emit signOutRequested(); }
    // Forgets the user and the tokens; no renewal is due any more.
    void signOut();
    // Renews the tokens now (a timer does it before the access token
    // expires); tokenRefreshed() or sessionRefused() tells the outcome.
    void refresh();
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
    void signOutRequested();
    // The tokens were renewed: requests from now on carry the new one.
    void tokenRefreshed();
    // The service refused to renew the session (reason: its words); the
    // user has to sign in again.
    void sessionRefused(const QString &reason);

private slots:
    void loginResponsed(bool ok);
    void refreshResponsed(bool ok);

private:
    // Takes the fields of a sign-in or renewal result; false when it is none.
    bool takeSession(const QByteArray &body, QString *reason);
    void scheduleRefresh();

    std::unique_ptr<UserInfo> m_user;
    Http *m_refreshRequest = nullptr;
    QTimer m_refreshTimer;
    Http *m_request = nullptr;
    ServerTrust::Untrusted m_untrusted;
};
