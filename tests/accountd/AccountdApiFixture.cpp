#include "AccountdApiFixture.h"

#include <QFile>
#include <QtTest>

QJsonArray datas(const HttpResult &r)
{
    return r.json.value(QStringLiteral("result"))
        .toObject()
        .value(QStringLiteral("datas"))
        .toArray();
}

QJsonObject fieldsOf(const QJsonValue &device)
{
    return device.toObject().value(QStringLiteral("fields")).toObject();
}

void AccountdApiFixture::startSuite()
{
    QVERIFY(QFile::exists(AccountdFixture::executable()));
    // The test command installs PostgreSQL: a server that cannot start is a failure.
    if (!m_fx.setUp())
        QFAIL(qPrintable(QStringLiteral("no PostgreSQL server: ") + m_fx.failureReason()));
    const QList<QStringList> tools = {
        {"add-user", aliceName, alicePassword, "--nickname", QStringLiteral("Alice 中")},
        {"add-user", "bob", bobPassword},
        {"add-user", "carol", "carolpass1"},
        {"add-user", "erin", "erinpass1"},
        {"add-device", aliceName, "ALICECAM1", "Front & back", "--user", "admin", "--password",
         aliceViewPassword, "--channels", "4", "--type", "3"},
    };
    for (const QStringList &tool : tools) {
        QByteArray err;
        QVERIFY2(m_fx.runTool(tool, nullptr, &err) == 0, err.constData());
    }
    QString error;
    QVERIFY2(m_fx.startServer(m_server, {"--login-attempts", "3", "--login-window", "2"}, &error),
             qPrintable(error));
    m_base = QStringLiteral("http://127.0.0.1:%1").arg(m_server.port());
    HttpResult r;
    m_aliceToken = m_fx.login(m_base, aliceName, alicePassword, &r);
    QVERIFY2(!m_aliceToken.isEmpty(), r.body.constData());
    m_aliceId = r.result("userID");
    m_bobToken = m_fx.login(m_base, QStringLiteral("bob"), bobPassword);
    QVERIFY(!m_bobToken.isEmpty());
    m_alicePk = datas(deviceList(m_aliceToken)).at(0)[QStringLiteral("pk")].toString();
    QVERIFY(!m_alicePk.isEmpty());
    m_secrets << alicePassword << bobPassword << aliceViewPassword << m_aliceToken << m_bobToken;
}

bool AccountdApiFixture::loginWorks()
{
    return !m_fx.login(m_base, QStringLiteral("bob"), bobPassword).isEmpty();
}

void AccountdApiFixture::verifyNoReadableSecret()
{
    const QByteArray bytes = m_fx.databaseBytes();
    QVERIFY(bytes.contains("ALICECAM1")); // the right bytes were read
    QVERIFY(bytes.contains(aliceName.toUtf8()));
    for (const QString &secret : m_secrets) {
        QVERIFY2(!bytes.contains(secret.toUtf8()), qPrintable(secret));
        QVERIFY2(!bytes.contains(secret.toUtf8().toBase64()), qPrintable(secret));
    }
}
