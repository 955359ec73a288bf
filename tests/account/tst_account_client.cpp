// The client's account side against a real orvane-accountd over HTTPS (a
// certificate the settings' CA file trusts): the cloud login into the main
// window and its device tree, device add/edit/delete with names that form
// encoding used to break, the account page (nickname, password, avatar), a
// service that never answers, and a certificate nobody vouches for.

#include "AccountdFixture.h"
#include "WindowTestEnv.h"

#include "core/AccountRequests.h"
#include "core/AccountSettings.h"
#include "core/Http.h"
#include "core/ServerTrust.h"
#include "account/LoginComboBox.h"
#include "account/UserManage.h"
#include "core/UserService.h"
#include "admin/AddDev.h"
#include "admin/DevManage.h"
#include "app/MainWindow.h"
#include "app/LoginServer.h"
#include "app/WindowLogin.h"
#include "config/Config.h"
#include "devtree/MenuDevList.h"
#include "devtree/MenuListDev.h"
#include "model/Dev.h"
#include "model/Device.h"
#include "model/DeviceRecord.h"

#include <QComboBox>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSslCertificate>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>
#include "TestMain.h"

using namespace Qt::StringLiterals;

namespace {

const QString Tricky = u"A&B+C=D'E\"F%G 中文"_s;

} // namespace

class tst_AccountClient : public QObject
{
    Q_OBJECT

    AccountdFixture fx;
    AccountdProcess service;
    std::unique_ptr<WindowTestEnv> env;
    WindowLogin *window = nullptr;
    QString base;
    QString cert;

    template <class T> T *child(QWidget *w, const char *name)
    {
        return WindowTestEnv::child<T>(w, name);
    }
    void signIn(const QString &name, const QString &password)
    {
        child<LoginComboBox>(window, "comboBox_user")->setEditText(name);
        child<QLineEdit>(window, "lineEdit_password")->setText(password);
        QTest::mouseClick(child<QPushButton>(window, "pushButton_login"), Qt::LeftButton);
    }
    QString message() { return child<QLabel>(window, "label_message")->text(); }
    // The nick names of the service's devices as the tree lists them.
    QStringList treeNames()
    {
        QStringList names;
        for (Device *d : Dev::instance()->devices())
            names << d->nickName();
        names.sort();
        return names;
    }
    // Waits for one account request's outcome.
    std::pair<bool, QString> wait(const std::function<void(AccountRequests::Result)> &call)
    {
        std::optional<std::pair<bool, QString>> outcome;
        call([&](bool ok, const QString &reason) { outcome = {ok, reason}; });
        if (!QTest::qWaitFor([&] { return outcome.has_value(); }, 15000))
            return {false, u"no answer"_s};
        return *outcome;
    }
    void reloadTree() { Dev::instance()->reload(); }
    // The UIDs the service lists for the signed-in user.
    QStringList serviceUids()
    {
        QStringList uids;
        bool done = false;
        AccountRequests::post(
            QLatin1String(AccountRequests::DeviceListPath),
            AccountRequests::deviceListBody(UserService::instance()->user()->access_token), this,
            [&](bool ok, const QByteArray &body) {
                QList<CloudDevice> devices;
                if (ok && parseCloudDeviceList(body, &devices))
                    for (const CloudDevice &d : devices)
                        uids << d.uid;
                done = true;
            });
        (void)QTest::qWaitFor([&] { return done; }, 15000);
        uids.sort();
        return uids;
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(fx.setUp(), qPrintable(fx.failureReason()));
        cert = fx.directory() + u"/cert.pem"_s;
        const QString key = fx.directory() + u"/key.pem"_s;
        QProcess openssl;
        openssl.start(u"openssl"_s,
                      {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                       "-nodes", "-days", "2", "-subj", "/CN=127.0.0.1", "-addext",
                       "subjectAltName=IP:127.0.0.1", "-keyout", key, "-out", cert});
        QVERIFY2(openssl.waitForFinished(20000) && openssl.exitCode() == 0,
                 "the openssl command is needed");
        QCOMPARE(fx.runTool({"add-user", "a&b+c=d", "pass&+=1", "--nickname", "Carol", "--email",
                             "carol@example.com", "--phone", "555"}),
                 0);
        QCOMPARE(fx.runTool({"add-device", "a&b+c=d", "CAM00001", "Front door", "--user", "admin",
                             "--password", "123456", "--channels", "1"}),
                 0);
        QString error;
        QVERIFY2(fx.startServer(service, {"--tls-cert", cert, "--tls-key", key}, &error),
                 qPrintable(error));
        base = u"https://127.0.0.1:%1"_s.arg(service.port());
        env = std::make_unique<WindowTestEnv>();
        AccountSettings::setBaseUrl(base);
        Config::instance()->set(ConfigKey::AccountCaFile, cert);
        window = new WindowLogin;
        QVERIFY(WindowTestEnv::show(window));
    }
    void cleanupTestCase()
    {
        delete window;
        env.reset();
    }

    void wrongPasswordShowsTheServiceReason()
    {
        signIn(u"a&b+c=d"_s, u"nope"_s);
        QTRY_VERIFY_WITH_TIMEOUT(!message().isEmpty() && !message().startsWith(u"Signing"_s),
                                 15000);
        QVERIFY(!window->mainWindow());
    }

    void cloudLoginShowsTheServiceDevices()
    {
        DeviceRecord local; // the local administrator's, not the cloud user's
        local.uid = local.nickname = u"LOCALONLY1"_s;
        QVERIFY(Config::instance()->saveDevice(local));
        signIn(u"a&b+c=d"_s, u"pass&+=1"_s);
        QTRY_VERIFY_WITH_TIMEOUT(window->mainWindow(), 15000);
        const UserInfo *user = UserService::instance()->user();
        QCOMPARE(user->username, u"a&b+c=d"_s);
        QCOMPARE(user->NickName, u"Carol"_s);
        QVERIFY(user->access_token.size() >= 22);
        QVERIFY(user->access_expire > QDateTime::currentSecsSinceEpoch());
        QVERIFY(user->password.isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(treeNames(), QStringList{u"Front door"_s}, 15000);
        QTRY_VERIFY(!window->mainWindow()->devList()->rows().isEmpty());
        QVERIFY(!Dev::instance()->deviceByUid(u"LOCALONLY1"_s));
        QVERIFY(Config::instance()->removeDevice(u"LOCALONLY1"_s));
        const QString dir = qEnvironmentVariable("ORVANE_TEST_ARTIFACTS");
        if (!dir.isEmpty() && QDir().mkpath(dir))
            window->grab().save(QDir(dir).filePath(u"login-cloud.png"_s));
    }

    // The device manager of a cloud user adds to and deletes from the
    // service, and the tree follows.
    void deviceManagerAddsAndDeletesOnTheService()
    {
        MainWindow *main = window->mainWindow();
        main->openDevManage(nullptr);
        DevManage *manager = main->devManage();
        QVERIFY(manager);
        manager->selectTab(0);
        AddDev *page = manager->addDevPage();
        QVERIFY(page && page->isAddMode());
        const QString name = u"Back yard & 中文"_s;
        child<QLineEdit>(page, "textEdit_devName")->setText(name);
        child<QLineEdit>(page, "textEdit_devUid")->setText(u"CAM00009"_s);
        child<QLineEdit>(page, "textEdit_userName")->setText(u"admin"_s);
        child<QLineEdit>(page, "lineEdit_password")->setText(u"pw+1"_s);
        child<QLineEdit>(page, "textEdit_channelNum")->setText(u"2"_s);
        auto *type = child<QComboBox>(page, "comboBox_devType");
        type->setCurrentIndex(type->findData(10));
        QSignalSpy added(page, &AddDev::addDevSuccess);
        QTest::mouseClick(child<QPushButton>(page, "saveBtn"), Qt::LeftButton);
        QTRY_VERIFY2_WITH_TIMEOUT(added.count() == 1,
                                  qPrintable(child<QLabel>(page, "label_worning")->text()), 15000);
        QCOMPARE(serviceUids(), (QStringList{u"CAM00001"_s, u"CAM00009"_s}));
        QTRY_VERIFY_WITH_TIMEOUT(Dev::instance()->deviceByUid(u"CAM00009"_s), 15000);
        Device *device = Dev::instance()->deviceByUid(u"CAM00009"_s);
        QCOMPARE(device->nickName(), name);

        manager->selectTab(1);
        page = manager->addDevPage();
        QVERIFY(page && !page->isAddMode());
        page->selectedNewDev(device);
        QSignalSpy deleted(page, &AddDev::delDevSuccess);
        QTest::mouseClick(child<QPushButton>(page, "delBtn"), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(deleted.count(), 1, 15000);
        QCOMPARE(serviceUids(), QStringList{u"CAM00001"_s});
        QTRY_VERIFY_WITH_TIMEOUT(!Dev::instance()->deviceByUid(u"CAM00009"_s), 15000);
        main->closeDevManage();
    }

    // Names with every character the form and JSON encodings must protect
    // survive add and modify byte for byte; delete removes the device.
    void devicesAddEditDelete()
    {
        CloudDevice added;
        added.uid = u"CAM00002"_s;
        added.nickName = Tricky;
        added.viewAccount = u"adm'in"_s;
        added.viewPassword = u"p&w=\"x\""_s;
        added.type = 7;
        added.channelCount = 4;
        QCOMPARE(wait([&](auto done) { AccountRequests::addDevice(added, this, done); }).first,
                 true);
        reloadTree();
        QTRY_COMPARE_WITH_TIMEOUT(treeNames(), (QStringList{Tricky, u"Front door"_s}), 15000);
        Device *d = Dev::instance()->deviceByUid(added.uid);
        QVERIFY(d);
        QCOMPARE(d->viewPassword(), added.viewPassword);
        QCOMPARE(d->channelCount(), 4);

        CloudDevice current = added;
        current.pk = d->pk();
        CloudDevice edited = current;
        edited.nickName = Tricky + u"'2"_s;
        QCOMPARE(AccountRequests::deviceChanges(current, edited),
                 u"{\"NickName\":\"A&B+C=D'E\\\"F%G 中文'2\"}"_s);
        QCOMPARE(AccountRequests::deviceChanges(current, current), u"{}"_s);
        QCOMPARE(wait([&](auto done) {
                     AccountRequests::modifyDevice(current, edited, this, done);
                 }).first,
                 true);
        reloadTree();
        QTRY_COMPARE_WITH_TIMEOUT(treeNames(), (QStringList{edited.nickName, u"Front door"_s}),
                                  15000);

        QCOMPARE(
            wait([&](auto done) { AccountRequests::deleteDevice(current.pk, this, done); }).first,
            true);
        // Another user's id, or one that was deleted: refused with a reason.
        const auto again =
            wait([&](auto done) { AccountRequests::deleteDevice(current.pk, this, done); });
        QVERIFY(!again.first && !again.second.isEmpty());
        QCOMPARE(serviceUids(), QStringList{u"CAM00001"_s});
    }

    // An RTSP camera is kept by the service with its streams, ONVIF host and
    // transport, and comes back into the tree as one.
    void rtspDevicesAddEditDelete()
    {
        CloudDevice added;
        added.uid = u"RTSP-0011223344556677"_s;
        added.nickName = u"Yard"_s;
        added.viewAccount = u"viewer"_s;
        added.viewPassword = u"pw"_s;
        added.channelCount = 2;
        added.kind = DeviceKind::Rtsp;
        added.rtsp.streams = {{u"rtsp://127.0.0.1:8554/a/main"_s, u"rtsp://127.0.0.1:8554/a/sub"_s},
                              {u"rtsp://127.0.0.1:8554/b"_s, QString()}};
        added.rtsp.onvifHost = u"127.0.0.1:8080"_s;
        added.rtsp.transport = RtspSource::Transport::Udp;
        QCOMPARE(wait([&](auto done) { AccountRequests::addDevice(added, this, done); }).first,
                 true);
        reloadTree();
        QTRY_VERIFY_WITH_TIMEOUT(Dev::instance()->deviceByUid(added.uid), 15000);
        Device *d = Dev::instance()->deviceByUid(added.uid);
        QCOMPARE(d->kind(), DeviceKind::Rtsp);
        QCOMPARE(d->rtsp(), added.rtsp);
        QCOMPARE(d->channelCount(), 2);

        CloudDevice current = added;
        current.pk = d->pk();
        CloudDevice edited = current;
        edited.rtsp.streams.clear(); // known by its ONVIF host alone
        edited.rtsp.transport = RtspSource::Transport::Tcp;
        QCOMPARE(AccountRequests::deviceChanges(current, edited),
                 u"{\"Streams\":\"\",\"Transport\":\"tcp\"}"_s);
        QCOMPARE(wait([&](auto done) {
                     AccountRequests::modifyDevice(current, edited, this, done);
                 }).first,
                 true);
        reloadTree();
        QTRY_VERIFY_WITH_TIMEOUT(
            Dev::instance()->deviceByUid(added.uid) &&
                Dev::instance()->deviceByUid(added.uid)->rtsp().streams.isEmpty(),
            15000);
        QCOMPARE(Dev::instance()->deviceByUid(added.uid)->rtsp().onvifHost, added.rtsp.onvifHost);
        QCOMPARE(
            wait([&](auto done) { AccountRequests::deleteDevice(current.pk, this, done); }).first,
            true);
        QCOMPARE(serviceUids(), QStringList{u"CAM00001"_s});
    }

    void accountPageChangesNicknamePasswordAndAvatar()
    {
        UserManage page;
        page.show();
        QCOMPARE(child<QLineEdit>(&page, "lineEdit_nickName")->text(), u"Carol"_s);
        QCOMPARE(child<QLabel>(&page, "label_email")->text(), u"carol@example.com"_s);

        child<QLineEdit>(&page, "lineEdit_nickName")->setText(Tricky);
        QSignalSpy nick(&page, &UserManage::updateNickNameSuccess);
        page.on_pushButton_clicked();
        QTRY_COMPARE_WITH_TIMEOUT(nick.count(), 1, 15000);
        QCOMPARE(page.message(), u"Nick Name has changed."_s);
        QCOMPARE(UserService::instance()->user()->NickName, Tricky);

        // Avatar: a PNG uploaded, then downloaded from the address the
        // service gives back, with its size.
        const QString png = fx.directory() + u"/icon.png"_s;
        QImage icon(64, 48, QImage::Format_RGB32);
        icon.fill(Qt::darkCyan);
        QVERIFY(icon.save(png));
        child<QLineEdit>(&page, "lineEdit_iconPath")->setText(png);
        page.on_pushButton_3_clicked();
        QTRY_COMPARE_WITH_TIMEOUT(page.message(), u"Icon has changed."_s, 15000);
        QTRY_COMPARE_WITH_TIMEOUT(page.avatar().size(), QSize(64, 48), 15000);
        QVERIFY2(page.avatarSizeText().contains(u"B"_s) &&
                     page.avatarSizeText().contains(u"64x48"_s),
                 qPrintable(page.avatarSizeText()));
        child<QLineEdit>(&page, "lineEdit_iconPath")->setText(fx.directory() + u"/missing.png"_s);
        page.on_pushButton_3_clicked();
        QCOMPARE(page.message(), u"The file cannot be opened."_s);

        // Password: mismatch and unchanged are refused locally; a change
        // lets the new password sign in.
        QSignalSpy changed(&page, &UserManage::changePwSuccess);
        child<QLineEdit>(&page, "lineEdit_oldPassword")->setText(u"pass&+=1"_s);
        child<QLineEdit>(&page, "lineEdit_newPassword")->setText(u"new+pass=2"_s);
        child<QLineEdit>(&page, "lineEdit_repeatPassword")->setText(u"other"_s);
        page.on_pushButton_4_clicked();
        QCOMPARE(changed.count(), 0);
        child<QLineEdit>(&page, "lineEdit_repeatPassword")->setText(u"new+pass=2"_s);
        page.on_pushButton_4_clicked();
        QTRY_COMPARE_WITH_TIMEOUT(changed.count(), 1, 15000);
        QSignalSpy logined(UserService::instance(), &UserService::logined);
        UserService::instance()->setUserName(u"a&b+c=d"_s);
        UserService::instance()->setPassword(u"new+pass=2"_s);
        UserService::instance()->login();
        QTRY_COMPARE_WITH_TIMEOUT(logined.count(), 1, 15000);
        QCOMPARE(logined.first().first().toBool(), true);
    }

    // "Sign out" on the user page closes every stream, releases the devices
    // and shows the login form again; signing in brings the service's
    // devices back.
    void signOutReturnsToTheLoginWindow()
    {
        QVERIFY(window->mainWindow());
        QVERIFY(!Dev::instance()->devices().isEmpty());
        window->mainWindow()->openUser();
        auto *signOut = window->findChild<QPushButton *>(u"pushButton_signOut"_s);
        QVERIFY(signOut && signOut->isVisible());
        QTest::mouseClick(signOut, Qt::LeftButton);
        QTRY_VERIFY(!window->mainWindow());
        QVERIFY(child<QWidget>(window, "centralwidget")->isVisible());
        QVERIFY(Dev::instance()->devices().isEmpty());
        QVERIFY(UserService::instance()->user()->access_token.isEmpty());
        signIn(u"a&b+c=d"_s, u"new+pass=2"_s);
        QTRY_VERIFY_WITH_TIMEOUT(window->mainWindow(), 15000);
        QTRY_VERIFY_WITH_TIMEOUT(!Dev::instance()->devices().isEmpty(), 15000);
    }

    // A service that accepts the connection and never answers: the login and
    // the account page fail after the time-out with their messages.
    void silentServiceTimesOut()
    {
        QTcpServer silent;
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        QList<QTcpSocket *> held;
        connect(&silent, &QTcpServer::newConnection, this,
                [&] { held << silent.nextPendingConnection(); });
        AccountSettings::setBaseUrl(u"http://127.0.0.1:%1"_s.arg(silent.serverPort()));
        Http::setTimeoutForNewRequests(400);
        UserManage page;
        page.on_pushButton_clicked();
        QTRY_COMPARE_WITH_TIMEOUT(page.message(), u"Operation Failed!"_s, 5000);
        Http http;
        http.setUrl(AccountSettings::baseUrl());
        QSignalSpy done(&http, &Http::responsed);
        http.get();
        QTRY_COMPARE_WITH_TIMEOUT(done.count(), 1, 5000);
        QCOMPARE(done.first().first().toBool(), false);
        QCOMPARE(http.error(), Http::TimeoutError);
        Http::setTimeoutForNewRequests(0);
        AccountSettings::setBaseUrl(base);
    }

    // A short-lived access token is renewed before it expires; a renewal the
    // service refuses ends the session with its reason.
    void accessTokenIsRenewedBeforeItExpires()
    {
        AccountdProcess shortLived;
        QString error;
        QVERIFY2(fx.startServer(shortLived,
                                {"--tls-cert", cert, "--tls-key", fx.directory() + u"/key.pem"_s,
                                 "--access-ttl", "4"},
                                &error),
                 qPrintable(error));
        AccountSettings::setBaseUrl(u"https://127.0.0.1:%1"_s.arg(shortLived.port()));
        UserService *users = UserService::instance();
        QSignalSpy logined(users, &UserService::logined);
        QSignalSpy renewed(users, &UserService::tokenRefreshed);
        QSignalSpy refused(users, &UserService::sessionRefused);
        users->setUserName(u"a&b+c=d"_s);
        users->setPassword(u"new+pass=2"_s);
        users->login();
        QTRY_COMPARE_WITH_TIMEOUT(logined.count(), 1, 15000);
        QVERIFY(logined.first().first().toBool());
        const QString first = users->user()->access_token;
        QTRY_COMPARE_WITH_TIMEOUT(renewed.count(), 1, 10000);
        QVERIFY(users->user()->access_token != first);
        QTest::qWait(2500); // the first token has expired by now
        QVERIFY(!serviceUids().isEmpty());
        users->user()->refresh_token = u"spent"_s;
        users->refresh();
        QTRY_COMPARE_WITH_TIMEOUT(refused.count(), 1, 15000);
        QVERIFY(!refused.first().first().toString().isEmpty());
        // Back at the login form, which says why.
        QTRY_VERIFY(!window->mainWindow());
        QVERIFY2(message().contains(refused.first().first().toString()), qPrintable(message()));
        AccountSettings::setBaseUrl(base);
        users->login(); // signed in again for the tests after this one
        QTRY_COMPARE_WITH_TIMEOUT(logined.count(), 2, 15000);
    }

    // A certificate nobody vouches for: the login window asks with its key
    // and issuer; refused, nothing is pinned and the login fails; another
    // key pinned for the server is refused with both shown; trusted, the key
    // is pinned and the login goes through, the next one without a question.
    void untrustedCertificateIsAskedAboutThenPinned()
    {
        Config::instance()->set(ConfigKey::AccountCaFile, QString());
        const QString server = ServerTrust::serverOf(QUrl(base));
        const QList<QSslCertificate> certs = QSslCertificate::fromPath(cert);
        QVERIFY(!certs.isEmpty());
        const QString key = ServerTrust::fingerprint(certs.first());
        QList<ServerTrust::Untrusted> asked;
        bool trust = false;
        window->server()->setAsk([&](const ServerTrust::Untrusted &u) {
            asked.append(u);
            return trust;
        });
        QSignalSpy logined(UserService::instance(), &UserService::logined);
        const auto attempt = [&] {
            logined.clear();
            child<LoginComboBox>(window, "comboBox_user")->setEditText(u"a&b+c=d"_s);
            child<QLineEdit>(window, "lineEdit_password")->setText(u"new+pass=2"_s);
            UserService::instance()->setUserName(u"a&b+c=d"_s);
            UserService::instance()->setPassword(u"new+pass=2"_s);
            UserService::instance()->login();
        };
        attempt();
        QTRY_COMPARE_WITH_TIMEOUT(asked.size(), 1, 15000);
        QCOMPARE(asked[0].server, server);
        QCOMPARE(asked[0].fingerprint, key);
        QVERIFY2(asked[0].issuer.contains(u"127.0.0.1"_s), qPrintable(asked[0].issuer));
        QVERIFY(asked[0].pinned.isEmpty());
        QCOMPARE(message(), u"The server's certificate is not trusted."_s);
        QVERIFY(ServerTrust::pinned(server).isEmpty());
        QVERIFY(!logined.first().first().toBool());
        const QString other(64, u'b');
        QVERIFY(ServerTrust::pin(server, other));
        attempt();
        QTRY_COMPARE_WITH_TIMEOUT(asked.size(), 2, 15000);
        QVERIFY(asked[1].keyChanged());
        QCOMPARE(asked[1].pinned, other);
        QCOMPARE(asked[1].fingerprint, key);
        QVERIFY2(message().startsWith(u"Refused"_s), qPrintable(message()));
        QCOMPARE(ServerTrust::pinned(server), other);
        QVERIFY(ServerTrust::pin(server, QString()));
        trust = true;
        attempt();
        QTRY_VERIFY_WITH_TIMEOUT(!logined.isEmpty() && logined.last().first().toBool(), 15000);
        QCOMPARE(ServerTrust::pinned(server), key);
        QCOMPARE(asked.size(), 3);
        attempt();
        QTRY_VERIFY_WITH_TIMEOUT(!logined.isEmpty(), 15000);
        QVERIFY(logined.last().first().toBool());
        QCOMPARE(asked.size(), 3);
        Config::instance()->set(ConfigKey::AccountCaFile, cert);
    }
};

ORVANE_TEST_MAIN(tst_AccountClient)
#include "tst_account_client.moc"
