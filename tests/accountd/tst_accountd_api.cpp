// orvane-accountd's HTTP interface, against a real service process on loopback: sign-in, the
// device list and its changes, RTSP devices, nickname, password and avatar with the reply fields
// the client reads, the sign-up page, data kept across a restart, HTTPS with a certificate the
// client trusts, and no secret readable in the database. Runs on SQLite, and on PostgreSQL when
// ORVANE_ACCOUNTD_BACKEND=postgresql.
#include "AccountdApiFixture.h"
#include "StoredText.h"

#include <QBuffer>
#include <QDateTime>
#include <QHttpMultiPart>
#include <QImage>
#include <QJsonDocument>
#include <QSslCertificate>
#include <QtTest>
#include "TestMain.h"

namespace {

QByteArray jpeg(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG");
    return bytes;
}

// The avatar upload exactly as the client builds it: token, profile JSON, picture.
QHttpMultiPart *avatarUpload(const QString &token, const QByteArray &picture)
{
    auto *multi = new QHttpMultiPart(QHttpMultiPart::FormDataType);
    auto add = [multi](const QByteArray &disposition, const QByteArray &body,
                       const QByteArray &type) {
        QHttpPart part;
        if (!type.isEmpty())
            part.setHeader(QNetworkRequest::ContentTypeHeader, type);
        part.setHeader(QNetworkRequest::ContentDispositionHeader, disposition);
        part.setBody(body);
        multi->append(part);
    };
    add("form-data; name=\"token\"", token.toLocal8Bit(), {});
    add("form-data; name=\"content\"",
        "{\"userEmail\":\"\",\"username\":\"x\",\"is_active\":true,\"language\":\"en\","
        "\"NickName\":\"\",\"phone\":\"\",\"user_isValid\":true}",
        {});
    add("form-data; name=\"userIcon\"; filename=\"202401011200K7Q.jpg\"", picture, "image/jpeg");
    return multi;
}

} // namespace

class AccountdApiTest : public QObject, private AccountdApiFixture
{
    Q_OBJECT

private slots:
    void initTestCase() { startSuite(); }
    void cleanupTestCase() { m_server.stop(); }
    void loginRepliesWithTheAccount_data();
    void loginRepliesWithTheAccount();
    void deviceListChangesAsRequested();
    void rtspDevicesKeepHowTheyAreReached();
    void nicknameChangeIsKept();
    void passwordChangeEndsOtherSessions();
    void avatarIsStoredAndServed();
    void signUpPageCreatesAccounts();
    void dataSurvivesARestart();
    void httpsWithATrustedCertificate();
    void databaseHoldsNoReadableSecret() { verifyNoReadableSecret(); }
};

void AccountdApiTest::loginRepliesWithTheAccount_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("user");
    // The client does not escape its values; its encoded password's "=" must survive.
    const QString raw = accountd::StoredText::encode(bobPassword);
    QTest::newRow("special name, encoded password")
        << AccountdFixture::form(
               {{"userName", aliceName}, {"userPwd", accountd::StoredText::encode(alicePassword)}})
        << 0 << aliceName;
    QTest::newRow("unescaped body as the client sends it")
        << ("userName=bob&userPwd=" + raw.toLatin1()) << 0 << "bob";
    QTest::newRow("plain password")
        << AccountdFixture::form({{"userName", "bob"}, {"userPwd", bobPassword}}) << 0 << "bob";
    QTest::newRow("wrong password")
        << AccountdFixture::form(
               {{"userName", "bob"}, {"userPwd", accountd::StoredText::encode("nope12")}})
        << 2 << "";
    QTest::newRow("unknown user") << AccountdFixture::form(
                                         {{"userName", "nobody"}, {"userPwd", "x"}})
                                  << 2 << "";
    QTest::newRow("password missing") << QByteArray("userName=bob") << 1 << "";
    QTest::newRow("empty body") << QByteArray() << 1 << "";
    QTest::newRow("invalid UTF-8") << QByteArray("userName=%C3%28&userPwd=x") << 1 << "";
    QTest::newRow("field given twice")
        << QByteArray("userName=bob&userName=bob&userPwd=x") << 1 << "";
}

void AccountdApiTest::loginRepliesWithTheAccount()
{
    QFETCH(QByteArray, body);
    QFETCH(int, code);
    QFETCH(QString, user);
    const HttpResult r = m_fx.post(url("/v2/account/login"), body);
    QCOMPARE(r.status, 200);
    QCOMPARE(r.code("error_code"), code);
    if (code != 0) {
        QVERIFY(!r.json[QStringLiteral("reason")].toString().isEmpty());
        return;
    }
    const QJsonObject result = r.json[QStringLiteral("result")].toObject();
    QCOMPARE(result[QStringLiteral("username")].toString(), user);
    for (const char *key : {"userID", "username", "phone", "userEmail", "NickName", "userIconUrl",
                            "access_token", "refresh_token"})
        QVERIFY2(result[QLatin1String(key)].isString(), key);
    QVERIFY(result[QStringLiteral("access_token")].toString().size() >= 43);
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    QVERIFY(result[QStringLiteral("access_expire")].toInteger() > now);
    QVERIFY(result[QStringLiteral("refresh_expire")].toInteger() >
            result[QStringLiteral("access_expire")].toInteger());
    m_secrets << result[QStringLiteral("access_token")].toString()
              << result[QStringLiteral("refresh_token")].toString();
}

void AccountdApiTest::deviceListChangesAsRequested()
{
    const QString t = m_aliceToken;
    HttpResult r = deviceList(t);
    QCOMPARE(r.code("error_code"), 0);
    QCOMPARE(datas(r).size(), 1);
    const QJsonObject first = datas(r).at(0).toObject();
    QCOMPARE(first[QStringLiteral("model")].isString(), true);
    QCOMPARE(fieldsOf(first), QJsonObject({{"UID", "ALICECAM1"},
                                           {"NickName", "Front & back"},
                                           {"View_Account", "admin"},
                                           {"View_Password", aliceViewPassword},
                                           {"Type", 3},
                                           {"ChannelIndex", 4},
                                           {"area", ""},
                                           {"userID", m_aliceId}}));

    const QString name = QStringLiteral("Hof ' \" % + = & 中文");
    r = postForm("/equipment/add?token=" + t, {{"token", t},
                                               {"UID", "CAM-2"},
                                               {"NickName", name},
                                               {"View_Account", "admin"},
                                               {"View_Password", "p w+/="},
                                               {"Type", "1"},
                                               {"ChannelIndex", "8"}});
    QCOMPARE(r.code("result_code"), 0);
    r = deviceList(t);
    QCOMPARE(datas(r).size(), 2);
    const QString pk = datas(r).at(1)[QStringLiteral("pk")].toString();
    QJsonObject expected{{"UID", "CAM-2"},
                         {"NickName", name},
                         {"View_Account", "admin"},
                         {"View_Password", "p w+/="},
                         {"Type", 1},
                         {"ChannelIndex", 8},
                         {"area", ""},
                         {"userID", m_aliceId}};
    QCOMPARE(fieldsOf(datas(r).at(1)), expected);

    const QJsonObject changes{
        {"NickName", "Garden"}, {"ChannelIndex", "2"}, {"View_Password", "new"}};
    r = postForm(
        "/equipment/modifyUserEquipment?token=" + t,
        {{"id", pk},
         {"token", t},
         {"content", QString::fromUtf8(QJsonDocument(changes).toJson(QJsonDocument::Compact))}});
    QCOMPARE(r.code("result_code"), 0);
    expected["NickName"] = "Garden";
    expected["ChannelIndex"] = 2;
    expected["View_Password"] = "new";
    QCOMPARE(fieldsOf(datas(deviceList(t)).at(1)), expected);
    // No change sends {}; the client's unescaped body must work too.
    r = postForm("/equipment/modifyUserEquipment?token=" + t,
                 {{"id", pk}, {"token", t}, {"content", "{}"}});
    QCOMPARE(r.code("result_code"), 0);
    r = m_fx.post(url("/equipment/modifyUserEquipment?token=" + t),
                  ("id=" + pk + "&token=" + t + "&content={\"NickName\":\"Raw\"}").toUtf8());
    QCOMPARE(r.code("result_code"), 0);
    expected["NickName"] = "Raw";
    QCOMPARE(fieldsOf(datas(deviceList(t)).at(1)), expected);

    r = postForm("/equipment/add?token=" + t, {{"token", t}, {"UID", "CAM-2"}});
    QCOMPARE(r.code("result_code"), 6);
    r = postForm("/equipment/delete?token=" + t, {{"token", t}, {"id", pk}});
    QCOMPARE(r.code("result_code"), 0);
    QCOMPARE(datas(deviceList(t)).size(), 1);
    r = postForm("/equipment/delete?token=" + t, {{"token", t}, {"id", pk}});
    QCOMPARE(r.code("result_code"), 5);
}

void AccountdApiTest::rtspDevicesKeepHowTheyAreReached()
{
    const QString t = m_aliceToken;
    const QString streams = "rtsp://cam.local:8554/ch1/main|rtsp://cam.local:8554/ch1/sub\n"
                            "rtsps://[fe80::1]/ch2?user=@x";
    HttpResult r = postForm("/equipment/add?token=" + t, {{"token", t},
                                                          {"UID", "RTSP-00AA"},
                                                          {"NickName", "Yard"},
                                                          {"View_Account", "viewer"},
                                                          {"View_Password", "pw"},
                                                          {"ChannelIndex", "2"},
                                                          {"Kind", "rtsp"},
                                                          {"Streams", streams},
                                                          {"Onvif", "cam.local:8080"},
                                                          {"Transport", "udp"}});
    QCOMPARE(r.code("result_code"), 0);
    const QJsonValue added = datas(deviceList(t)).last();
    const QString pk = added[QStringLiteral("pk")].toString();
    QJsonObject fields = fieldsOf(added);
    QCOMPARE(fields["Kind"].toString(), QString("rtsp"));
    QCOMPARE(fields["Streams"].toString(), streams);
    QCOMPARE(fields["Onvif"].toString(), QString("cam.local:8080"));
    QCOMPARE(fields["Transport"].toString(), QString("udp"));
    // P2P records keep the fields they always had.
    QVERIFY(!fieldsOf(datas(deviceList(t)).first()).contains("Kind"));

    const auto modify = [&](const QJsonObject &content) {
        return postForm("/equipment/modifyUserEquipment?token=" + t,
                        {{"id", pk},
                         {"token", t},
                         {"content", QString::fromUtf8(
                                         QJsonDocument(content).toJson(QJsonDocument::Compact))}})
            .code("result_code");
    };
    QCOMPARE(modify({{"Streams", ""}}), 0); // known by its ONVIF host alone
    QCOMPARE(modify({{"Onvif", ""}}), 1);   // then nothing would reach it
    QCOMPARE(modify({{"Streams", "rtsp://u:p@cam/1"}}), 1);
    fields = fieldsOf(datas(deviceList(t)).last());
    QCOMPARE(fields["Streams"].toString(), QString(""));
    QCOMPARE(fields["Onvif"].toString(), QString("cam.local:8080"));
    // Back to P2P: its source goes with it.
    QCOMPARE(modify({{"Kind", "p2p"}, {"Onvif", ""}, {"Transport", ""}}), 0);
    QVERIFY(!fieldsOf(datas(deviceList(t)).last()).contains("Kind"));
    QCOMPARE(
        postForm("/equipment/delete?token=" + t, {{"token", t}, {"id", pk}}).code("result_code"),
        0);
}

void AccountdApiTest::nicknameChangeIsKept()
{
    const QString nick = QStringLiteral("新 & 'name' \"+%\"");
    const QJsonObject content{{"NickName", nick}};
    const HttpResult r = postForm(
        "/account/perfectUserInfo?token=" + m_aliceToken,
        {{"token", m_aliceToken}, {"content", QString::fromUtf8(QJsonDocument(content).toJson())}});
    QCOMPARE(r.code("result_code"), 0);
    HttpResult login;
    QVERIFY(!m_fx.login(m_base, aliceName, alicePassword, &login).isEmpty());
    QCOMPARE(login.result("NickName"), nick);
}

void AccountdApiTest::passwordChangeEndsOtherSessions()
{
    const QString a = m_fx.login(m_base, "erin", "erinpass1");
    const QString b = m_fx.login(m_base, "erin", "erinpass1");
    QVERIFY(!a.isEmpty() && !b.isEmpty());
    auto change = [&](const QString &old, const QString &fresh) {
        return postForm("/account/changePwd?token=" + a,
                        {{"username", "erin"},
                         {"oldPwd", accountd::StoredText::encode(old)},
                         {"newPwd", accountd::StoredText::encode(fresh)},
                         {"token", a}});
    };
    QCOMPARE(change("wrongpass", "erinpass2").code("result_code"), 2);
    QCOMPARE(change("erinpass1", "short").code("result_code"), 1);
    QCOMPARE(change("erinpass1", "erinpass2").code("result_code"), 0);
    QCOMPARE(deviceList(b).code("error_code"), 4);
    QCOMPARE(deviceList(a).code("error_code"), 0);
    QVERIFY(m_fx.login(m_base, "erin", "erinpass1").isEmpty());
    QVERIFY(!m_fx.login(m_base, "erin", "erinpass2").isEmpty());
    m_secrets << "erinpass2";
}

void AccountdApiTest::avatarIsStoredAndServed()
{
    QNetworkRequest request{QUrl(url("/account/perfectUserInfo?token=" + m_aliceToken))};
    HttpResult r = m_fx.send(request, "POST", {}, avatarUpload(m_aliceToken, jpeg(64, 48)));
    QCOMPARE(r.code("result_code"), 0);
    const QString icon = fieldsOf(datas(r).at(0))["userIconUrl"].toString();
    QVERIFY2(icon.startsWith(m_base + "/avatar/"), qPrintable(icon));
    r = m_fx.send(QNetworkRequest{QUrl(icon)}, "GET");
    QCOMPARE(r.status, 200);
    QImage served;
    QVERIFY(served.loadFromData(r.body, "JPEG"));
    QCOMPARE(served.size(), QSize(64, 48));
    HttpResult login;
    m_fx.login(m_base, aliceName, alicePassword, &login);
    QCOMPARE(login.result("userIconUrl"), icon);

    r = m_fx.send(request, "POST", {}, avatarUpload(m_aliceToken, "GIF89a not really"));
    QCOMPARE(r.code("result_code"), 1);
    r = m_fx.send(QNetworkRequest{QUrl(url("/account/perfectUserInfo"))}, "POST", {},
                  avatarUpload(QString(), jpeg(8, 8)));
    QCOMPARE(r.code("result_code"), 4);
    QCOMPARE(
        m_fx.send(QNetworkRequest{QUrl(url("/avatar/0123456789abcdef0123456789abcdef.jpg"))}, "GET")
            .status,
        404);
}

void AccountdApiTest::signUpPageCreatesAccounts()
{
    for (const char *page : {"/register.html", "/web/pc_orvane/html/register.html"}) {
        const HttpResult r = m_fx.send(QNetworkRequest{QUrl(url(page))}, "GET");
        QCOMPARE(r.status, 200);
        QVERIFY(r.body.contains("<form") && r.body.contains("/v2/account/register"));
    }
    QCOMPARE(m_fx.send(QNetworkRequest{QUrl(url("/web/pc_orvane/html/"))}, "GET").status, 200);
    const QString name = QStringLiteral("新用户 & +=");
    auto signUp = [&](const QString &user, const QString &password) {
        return postForm("/v2/account/register", {{"userName", user}, {"userPwd", password}})
            .code("error_code");
    };
    QCOMPARE(signUp(name, "newpass1"), 0);
    QCOMPARE(signUp(name, "newpass1"), 6);
    QCOMPARE(signUp("Admin", "newpass1"), 1);
    QCOMPARE(signUp("shorty", "12345"), 1);
    QVERIFY(!m_fx.login(m_base, name, "newpass1").isEmpty());
    m_secrets << "newpass1";
}

void AccountdApiTest::dataSurvivesARestart()
{
    m_server.stop();
    QString error;
    QVERIFY2(m_fx.startServer(m_server, {}, &error), qPrintable(error));
    m_base = QStringLiteral("http://127.0.0.1:%1").arg(m_server.port());
    const HttpResult r = deviceList(m_aliceToken); // a token from before the restart
    QCOMPARE(r.code("error_code"), 0);
    QCOMPARE(fieldsOf(datas(r).at(0))["View_Password"].toString(), aliceViewPassword);
    QVERIFY(!m_fx.login(m_base, aliceName, alicePassword).isEmpty());
}

void AccountdApiTest::httpsWithATrustedCertificate()
{
    if (m_fx.isPostgres())
        QSKIP("HTTPS does not depend on the database; checked in the SQLite run");
    const QString cert = m_fx.directory() + "/cert.pem", key = m_fx.directory() + "/key.pem";
    QProcess openssl;
    openssl.start("openssl",
                  {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                   "-nodes", "-days", "2", "-subj", "/CN=127.0.0.1", "-addext",
                   "subjectAltName=IP:127.0.0.1", "-keyout", key, "-out", cert});
    if (!openssl.waitForFinished(20000) || openssl.exitCode() != 0)
        QSKIP("the openssl command is not available");
    AccountdProcess tls;
    QString error;
    QVERIFY2(m_fx.startServer(tls, {"--tls-cert", cert, "--tls-key", key}, &error),
             qPrintable(error));
    const QString base = QStringLiteral("https://127.0.0.1:%1").arg(tls.port());

    QNetworkRequest request{QUrl(base + "/v2/account/login")};
    request.setHeader(QNetworkRequest::ContentTypeHeader, formType);
    const QByteArray body =
        AccountdFixture::form({{"userName", aliceName}, {"userPwd", alicePassword}});
    const HttpResult untrusted = m_fx.send(request, "POST", body);
    QCOMPARE(untrusted.error, QNetworkReply::SslHandshakeFailedError);
    m_fx.network().clearConnectionCache(); // its connections keep the TLS settings they began with

    QSslConfiguration ssl = QSslConfiguration::defaultConfiguration();
    ssl.setCaCertificates(QSslCertificate::fromPath(cert));
    request.setSslConfiguration(ssl);
    HttpResult r = m_fx.send(request, "POST", body);
    QCOMPARE(r.code("error_code"), 0);
    const QString icon = r.result("userIconUrl");
    QVERIFY2(icon.startsWith(base + "/avatar/"), qPrintable(icon));
    QNetworkRequest avatar{QUrl(icon)};
    avatar.setSslConfiguration(ssl);
    QCOMPARE(m_fx.send(avatar, "GET").status, 200);
    QVERIFY(m_fx.post(QStringLiteral("http://127.0.0.1:%1/v2/account/login").arg(tls.port()), body)
                .status != 200);
}

ORVANE_TEST_GUILESS_MAIN(AccountdApiTest)
#include "tst_accountd_api.moc"
