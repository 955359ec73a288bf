// Setting a new password with a one-time reset code, against a real service process on
// loopback: the reset-password command, the reset page and its policy, the new password and
// the ended sessions, and what is refused (wrong, replaced, spent and expired codes, unknown
// users, malformed and oversized bodies, too many tries). Runs on SQLite, and on PostgreSQL
// when ORVANE_ACCOUNTD_BACKEND=postgresql.
#include "AccountApi.h"
#include "AccountdApiFixture.h"
#include "Database.h"
#include "FieldCipher.h"
#include "StoredText.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QtTest>
#include "TestMain.h"

class AccountdResetTest : public QObject, private AccountdApiFixture
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase() { m_server.stop(); }
    void resetCommandPrintsLinkAndCode_data();
    void resetCommandPrintsLinkAndCode();
    void codeSetsANewPasswordOnce();
    void refusedResetsChangeNothing_data();
    void refusedResetsChangeNothing();
    void expiredCodesAreRefused();
    void repeatedWrongCodesAreRateLimited();
    void pagesAreServedWithTheirPolicy_data();
    void pagesAreServedWithTheirPolicy();
    void databaseHoldsNoReadableSecret() { verifyNoReadableSecret(); }

private:
    QString newCode(const QString &name);
    HttpResult reset(const QString &name, const QString &code, const QString &password)
    {
        return postForm("/v2/account/resetPwd",
                        {{"name", name}, {"code", code}, {"newPwd", password}});
    }
};

void AccountdResetTest::initTestCase()
{
    startSuite();
    for (const char *name : {"dave", "frank"})
        QCOMPARE(m_fx.runTool({"add-user", name, QString(name) + "pass1"}), 0);
}

// A new code for the user from the reset-password command.
QString AccountdResetTest::newCode(const QString &name)
{
    QByteArray out;
    if (m_fx.runTool({"reset-password", name}, &out) != 0)
        return QString();
    const QString code = QString::fromLatin1(out).split('\n').value(1);
    m_secrets << code << QString(code).remove('-');
    return code;
}

void AccountdResetTest::resetCommandPrintsLinkAndCode_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("expected"); // the link's start, or the error's text
    QTest::newRow("link on the public address")
        << QStringList{"--public-url", "https://accounts.example.com:8443", "reset-password",
                       "carol"}
        << 0 << "https://accounts.example.com:8443/register.html?name=showrid&code=";
    QTest::newRow("relative link")
        << QStringList{"reset-password", aliceName} << 0 << "/register.html?name=showrid&code=";
    QTest::newRow("unknown user") << QStringList{"reset-password", "nobody"} << 1
                                  << "no such user \"nobody\"";
    QTest::newRow("no user name") << QStringList{"reset-password"} << 2
                                  << "reset-password needs NAME";
}

void AccountdResetTest::resetCommandPrintsLinkAndCode()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, expected);
    QByteArray out, err;
    QCOMPARE(m_fx.runTool(arguments, &out, &err), status);
    if (status != 0) {
        QVERIFY2(err.contains(expected.toUtf8()), err.constData());
        QVERIFY(out.isEmpty());
        return;
    }
    const QStringList lines = QString::fromLatin1(out).split('\n');
    QCOMPARE(lines.size(), 3); // link, code, and the end of the last line
    const QString link = lines.at(0), code = lines.at(1);
    QVERIFY2(QRegularExpression("^[0-9A-Z]{4}(-[0-9A-Z]{4}){3}$").match(code).hasMatch(),
             qPrintable(code));
    QCOMPARE(link, expected + code);
    m_secrets << code << QString(code).remove('-');
}

void AccountdResetTest::codeSetsANewPasswordOnce()
{
    QCOMPARE(deviceList(m_bobToken).code("error_code"), 0);
    const QString code = newCode("bob");
    QVERIFY(!code.isEmpty());
    HttpResult r = reset("bob", code.toLower(), "bobreset1"); // as typed by hand
    QCOMPARE(r.code("error_code"), 0);
    m_fx.login(m_base, "bob", bobPassword, &r);
    QCOMPARE(r.code("error_code"), 2);
    QVERIFY(!m_fx.login(m_base, "bob", "bobreset1").isEmpty());
    QCOMPARE(deviceList(m_bobToken).code("error_code"), 4);          // the old session has ended
    QCOMPARE(reset("bob", code, "bobreset2").code("error_code"), 2); // a code serves once
    QVERIFY(!m_fx.login(m_base, "bob", "bobreset1").isEmpty());
    m_secrets << "bobreset1"
              << "bobreset2";
}

void AccountdResetTest::refusedResetsChangeNothing_data()
{
    // In `code`, FRESH stands for carol's newest code and OLDER for the one it replaced;
    // a non-empty `body` is sent as it is.
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("errorCode");
    auto row = [](const char *title, const QString &name, const QString &code,
                  const QString &password, int errorCode) {
        QTest::newRow(title) << name << code << password << QByteArray() << 200 << errorCode;
    };
    row("wrong code", "carol", "0000-0000-0000-0000", "newpass1", 2);
    row("replaced code", "carol", "OLDER", "newpass1", 2);
    row("not a code", "carol", "FRESH!", "newpass1", 2);
    row("another user's code", "erin", "FRESH", "newpass1", 2);
    row("unknown user", "nobody", "FRESH", "newpass1", 2);
    row("name of 65 characters", QString(65, 'c'), "FRESH", "newpass1", 2);
    row("no name", "", "FRESH", "newpass1", 1);
    row("no code", "carol", "", "newpass1", 1);
    row("password of 5 characters", "carol", "FRESH", "12345", 1);
    row("password of 129 characters", "carol", "FRESH", QString(129, 'p'), 1);
    row("password with a control character", "carol", "FRESH", "newpass\x01", 1);
    QTest::newRow("no password field") << ""
                                       << ""
                                       << "" << QByteArray("name=carol&code=FRESH") << 200 << 1;
    QTest::newRow("name given twice")
        << ""
        << ""
        << "" << QByteArray("name=carol&name=erin&code=FRESH&newPwd=newpass1") << 200 << 1;
    QTest::newRow("body of 1.5 MB")
        << ""
        << ""
        << ""
        << QByteArray("name=carol&code=FRESH&newPwd=newpass1&x=") + QByteArray(1536 * 1024, 'x')
        << 413 << 7;
}

void AccountdResetTest::refusedResetsChangeNothing()
{
    QFETCH(QString, name);
    QFETCH(QString, code);
    QFETCH(QString, password);
    QFETCH(QByteArray, body);
    QFETCH(int, status);
    QFETCH(int, errorCode);
    const QString older = newCode("carol"), fresh = newCode("carol");
    QVERIFY(!older.isEmpty() && !fresh.isEmpty() && older != fresh);
    code.replace("FRESH", fresh).replace("OLDER", older);
    body.replace("FRESH", fresh.toLatin1());
    const HttpResult r =
        body.isEmpty() ? reset(name, code, password) : m_fx.post(url("/v2/account/resetPwd"), body);
    QCOMPARE(r.status, status);
    QCOMPARE(r.code("error_code"), errorCode);
    QVERIFY(!r.json["reason"].toString().isEmpty());
    QVERIFY(!m_fx.login(m_base, "carol", "carolpass1").isEmpty()); // the password stays
    QVERIFY(!m_fx.login(m_base, "erin", "erinpass1").isEmpty());
}

void AccountdResetTest::expiredCodesAreRefused()
{
    const QString code = newCode("frank");
    QVERIFY(!code.isEmpty());
    // The service's own store and interface on this database, with a clock of the test's.
    const QStringList args = m_fx.databaseArguments();
    QString error;
    const auto target = accountd::Database::parseTarget(args.at(1), &error);
    QVERIFY2(target, qPrintable(error));
    const QString keyFile = args.size() > 3 ? args.at(3) : target->path + ".key";
    accountd::Database database;
    accountd::FieldCipher cipher;
    QVERIFY2(cipher.loadKey(keyFile, &error) && database.open(*target, &error), qPrintable(error));
    accountd::AccountStore store(database, cipher);
    const qint64 createdBy = QDateTime::currentMSecsSinceEpoch();
    qint64 now = 0;
    store.setClock([&now] { return now; });
    accountd::AccountApi api(store, accountd::ApiSettings());
    auto resetAt = [&](qint64 at) {
        now = at;
        accountd::ApiRequest request;
        request.method = "POST";
        request.path = "/v2/account/resetPwd";
        request.body =
            AccountdFixture::form({{"name", "frank"}, {"code", code}, {"newPwd", "frankreset1"}});
        return QJsonDocument::fromJson(api.handle(request).body)["error_code"].toInt(-1);
    };
    const qint64 thirtyMinutes = 30 * 60 * 1000;
    QCOMPARE(resetAt(createdBy + thirtyMinutes + 1000), 2);
    QCOMPARE(resetAt(createdBy + thirtyMinutes - 60 * 1000), 0);
    QVERIFY(!m_fx.login(m_base, "frank", "frankreset1").isEmpty());
    m_secrets << "frankreset1";
}

void AccountdResetTest::repeatedWrongCodesAreRateLimited()
{
    const QString code = newCode("dave");
    for (int i = 0; i < 3; ++i)
        QCOMPARE(reset("dave", "0000-0000-0000-0000", "davereset1").code("error_code"), 2);
    HttpResult r = reset("dave", code, "davereset1");
    QCOMPARE(r.code("error_code"), 3); // even with the right code
    QVERIFY(r.json["reason"].toString().contains("try again"));
    QTest::qWait(2100);
    QCOMPARE(reset("dave", code, "davereset1").code("error_code"), 0);
    QVERIFY(!m_fx.login(m_base, "dave", "davereset1").isEmpty());
    m_secrets << "davereset1";
}

void AccountdResetTest::pagesAreServedWithTheirPolicy_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("posts"); // the address the page's form posts to
    QTest::newRow("reset page") << "/register.html?name=showrid"
                                << QByteArray("/v2/account/resetPwd");
    QTest::newRow("reset page with a code")
        << "/web/pc_orvane/html/register.html?name=showrid&code=ABCD-EFGH-JKMN-PQRS"
        << QByteArray("/v2/account/resetPwd");
    QTest::newRow("sign-up page") << "/register.html" << QByteArray("/v2/account/register");
    QTest::newRow("sign-up page, other name")
        << "/register.html?name=other" << QByteArray("/v2/account/register");
    QTest::newRow("help") << "/web/pc_orvane/html/" << QByteArray();
}

void AccountdResetTest::pagesAreServedWithTheirPolicy()
{
    QFETCH(QString, path);
    QFETCH(QByteArray, posts);
    const HttpResult r = m_fx.send(QNetworkRequest{QUrl(url(path))}, "GET");
    QCOMPARE(r.status, 200);
    const bool reset = posts.endsWith("resetPwd");
    QCOMPARE(r.body.contains("action=\"/v2/account/"), !posts.isEmpty());
    QVERIFY(posts.isEmpty() || r.body.contains("action=\"" + posts + "\""));
    if (reset) {
        for (const char *field : {"name=\"name\"", "name=\"code\"", "name=\"newPwd\"", "repeat"})
            QVERIFY2(r.body.contains(field), field);
    }
    QCOMPARE(r.header("Cache-Control"), QByteArray(reset ? "no-store" : "private, max-age=60"));
    QCOMPARE(r.header("Referrer-Policy"), QByteArray("no-referrer"));
    // Nothing from elsewhere; the page's own inline script and style, by their digests.
    const QByteArray policy = r.header("Content-Security-Policy");
    QVERIFY2(policy.startsWith("default-src 'none'; ") && !policy.contains("unsafe") &&
                 !policy.contains("*") && !policy.contains("http"),
             policy.constData());
    const QRegularExpression inline_("<(script|style)>(.*?)</\\1>",
                                     QRegularExpression::DotMatchesEverythingOption);
    int blocks = 0;
    for (auto it = inline_.globalMatch(QString::fromUtf8(r.body)); it.hasNext(); ++blocks) {
        const QRegularExpressionMatch m = it.next();
        const QByteArray digest =
            QCryptographicHash::hash(m.captured(2).toUtf8(), QCryptographicHash::Sha256);
        QVERIFY2(policy.contains(m.captured(1).toLatin1() + "-src ") &&
                     policy.contains("'sha256-" + digest.toBase64() + "'"),
                 policy.constData());
    }
    QCOMPARE(blocks, posts.isEmpty() ? 1 : 2);
    QVERIFY(!r.body.contains(" onclick=") && !r.body.contains(" style="));
}

ORVANE_TEST_GUILESS_MAIN(AccountdResetTest)
#include "tst_accountd_reset.moc"
