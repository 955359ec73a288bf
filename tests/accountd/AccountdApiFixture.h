#pragma once

// What the suites of orvane-accountd's HTTP interface share: the accounts and
// the device every suite starts from on its own database, the service on
// them, and the requests the tests make.

#include "AccountdFixture.h"

#include <QJsonArray>
#include <QStringList>

inline const QString aliceName = QStringLiteral("al&i+ce='\"% 中文");
inline const QString alicePassword = QStringLiteral("s3cret+/=pw");
inline const QString aliceViewPassword = QStringLiteral("view-pw-Ω1");
inline const QString bobPassword = QStringLiteral("bobpassword1");
inline const QByteArray formType = "application/x-www-form-urlencoded; charset=utf-8";

using Fields = QList<QPair<QString, QString>>;

// The device records of a device list reply.
QJsonArray datas(const HttpResult &r);
QJsonObject fieldsOf(const QJsonValue &device);

class AccountdApiFixture
{
protected:
    // From initTestCase: the users alice (with the device ALICECAM1), bob, carol and erin, and
    // the service on them with at most 3 sign-in attempts in 2 seconds; alice and bob signed
    // in. Fails the suite where the chosen database cannot be started here.
    void startSuite();
    // No secret of m_secrets is in the database's bytes, in clear or in Base64.
    void verifyNoReadableSecret();

    QString url(const QString &path) const { return m_base + path; }
    HttpResult postForm(const QString &path, const Fields &fields)
    {
        return m_fx.post(url(path), AccountdFixture::form(fields));
    }
    HttpResult deviceList(const QString &token)
    {
        return postForm(QStringLiteral("/equipment/queryUserEquipment"), {{"token", token}});
    }
    bool loginWorks();

    AccountdFixture m_fx;
    AccountdProcess m_server;
    QString m_base;
    QString m_aliceToken;
    QString m_bobToken;
    QString m_aliceId;
    QString m_alicePk;
    QStringList m_secrets; // must never appear in the database
};
