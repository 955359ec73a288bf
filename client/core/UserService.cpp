#include "core/UserService.h"

#include "core/AccountRequests.h"
#include "core/AccountSettings.h"
#include "core/Http.h"
#include "model/SharedInstance.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>

UserService::UserService(QObject *parent)
    : QObject(parent)
    , m_user(std::make_unique<UserInfo>())
{
    SharedInstance<UserService>::adopt(this);
    m_refreshTimer.setSingleShot(true);
    connect(&m_refreshTimer, &QTimer::timeout, this, &UserService::refresh);
}

UserService::~UserService()
{
    delete m_request;
    delete m_refreshRequest;
}

UserService *UserService::instance()
{
    return SharedInstance<UserService>::get();
}

QString UserService::displayName(const UserInfo &user)
{
    QString name;
    for (const QString *field : {&user.NickName, &user.username, &user.phone, &user.userEmail}) {
        if (!field->isEmpty()) {
            name = *field;
            break;
        }
    }
    if (name.size() >= 7)
        name = name.left(5) + QStringLiteral("...");
    return name;
}

void UserService::setUserName(const QString &name)
{
    m_user->username = name;
}

void UserService::setPassword(const QString &password)
{
    m_user->password = password;
}

void UserService::login()
{
    const QString base = AccountSettings::baseUrl();
    if (base.isEmpty())
        return;
    delete m_request;
    m_request = new Http(this);
    connect(m_request, &Http::responsed, this, &UserService::loginResponsed);
    m_request->setUrl(base + QLatin1String(AccountRequests::LoginPath));
    m_request->post(AccountRequests::loginBody(m_user->username, m_user->password));
}

void UserService::loginResponsed(bool ok)
{
    Http *request = m_request;
    m_request = nullptr;
    const QByteArray body = request ? request->response() : QByteArray();
    m_untrusted = request ? request->untrusted() : ServerTrust::Untrusted();
    if (request)
        request->deleteLater();
    if (!ok) {
        emit logined(false, body);
        return;
    }
    // The typed password is not kept past the login.
    m_user->password.clear();
    QString reason;
    if (!takeSession(body, &reason)) {
        emit logined(false, body);
        return;
    }
    scheduleRefresh();
    emit logined(true, QByteArray());
}

bool UserService::takeSession(const QByteArray &body, QString *reason)
{
    const QJsonDocument doc = QJsonDocument::fromJson(body);
    const QJsonObject reply = doc.object();
    const QJsonValue code = reply.value(QStringLiteral("error_code"));
    const QJsonValue result = reply.value(QStringLiteral("result"));
    if (!doc.isObject() || !code.isDouble() || code.toDouble() != 0 || !result.isObject()) {
        *reason = reply.value(QStringLiteral("reason")).toString().left(200);
        return false;
    }
    const QJsonObject r = result.toObject();
    const auto text = [&r](const char *key) {
        return r.value(QLatin1String(key)).toVariant().toString();
    };
    m_user->userID = text("userID");
    m_user->username = text("username").isEmpty() ? m_user->username : text("username");
    m_user->phone = text("phone");
    m_user->userEmail = text("userEmail");
    m_user->NickName = text("NickName");
    m_user->userIconUrl = text("userIconUrl");
    m_user->access_token = text("access_token");
    m_user->refresh_token = text("refresh_token");
    m_user->access_expire = r.value(QStringLiteral("access_expire")).toInt();
    m_user->refresh_expire = r.value(QStringLiteral("refresh_expire")).toInt();
    return true;
}

void UserService::scheduleRefresh()
{
    m_refreshTimer.stop();
    if (m_user->access_expire <= 0 || m_user->refresh_token.isEmpty())
        return; // a service whose tokens do not expire
    const qint64 left = qint64(m_user->access_expire) - QDateTime::currentSecsSinceEpoch();
    const qint64 margin = qBound(qint64(1), left / 4, RefreshMarginSecs);
    // At most a day ahead: the timer is set again then.
    const qint64 wait = qBound(qint64(1), left - margin, qint64(24) * 3600);
    m_refreshTimer.start(int(wait * 1000));
}

void UserService::signOut()
{
    m_refreshTimer.stop();
    delete m_refreshRequest;
    m_refreshRequest = nullptr;
    delete m_request;
    m_request = nullptr;
    *m_user = UserInfo();
    m_untrusted = ServerTrust::Untrusted();
}

void UserService::refresh()
{
    const QString base = AccountSettings::baseUrl();
    if (base.isEmpty() || m_user->refresh_token.isEmpty())
        return;
    delete m_refreshRequest;
    m_refreshRequest = new Http(this);
    connect(m_refreshRequest, &Http::responsed, this, &UserService::refreshResponsed);
    m_refreshRequest->setUrl(base + QLatin1String(AccountRequests::RefreshPath));
    m_refreshRequest->post(QStringLiteral("refresh_token=") +
                           QString::fromLatin1(QUrl::toPercentEncoding(m_user->refresh_token)));
}

void UserService::refreshResponsed(bool ok)
{
    Http *request = m_refreshRequest;
    m_refreshRequest = nullptr;
    const QByteArray body = request ? request->response() : QByteArray();
    if (request)
        request->deleteLater();
    if (!ok && body.isEmpty()) {
        // No answer: again later, while the refresh token lasts.
        if (m_user->refresh_expire <= 0 ||
            QDateTime::currentSecsSinceEpoch() < qint64(m_user->refresh_expire))
            m_refreshTimer.start(RetryMs);
        return;
    }
    QString reason;
    if (!takeSession(body, &reason)) {
        m_user->access_token.clear();
        m_user->refresh_token.clear();
        emit sessionRefused(reason.isEmpty() ? tr("the session has ended") : reason);
        return;
    }
    scheduleRefresh();
    emit tokenRefreshed();
}
