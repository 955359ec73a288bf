#include "account/AccountSettings.h"
#include "account/LoginComboBox.h"
#include "account/WindowLogin.h"
#include "app/Header.h"
#include "app/LabelHeaderBtn.h"
#include "app/MainWindow.h"
#include "config/Config.h"
#include "diagnostics/SystemInfo.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

// The login window: remembered users, password field, language, the cloud
// login's checks and the local login's hand-over to the main window.
class tst_WindowLogin : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void remembersThreeNewestLogins();
    void loginMovesReturningUserToFront();
    void cloudLoginWithoutServiceSaysSo();
    void emptyFieldsAreReported();
    void failedLoginShowsServiceReason();
    void passwordToggleShowsAndHides();
    void languageSwitchRetranslatesAtOnce();
    void localLoginEmbedsScaledMainWindow();

private:
    template <class T> T *child(const char *name)
    {
        T *w = window->findChild<T *>(QLatin1String(name));
        if (!w)
            qWarning("no child %s", name);
        return w;
    }
    void open();
    QStringList listedUsers();

    QTemporaryDir settingsDir;
    WindowLogin *window = nullptr;
};

void tst_WindowLogin::initTestCase()
{
    QVERIFY(settingsDir.isValid());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDir.path());
}

void tst_WindowLogin::init()
{
    Config::forgetInstance();
    QFile::remove(Config::defaultSettingsPath());
    SystemInfo::instance()->setScale(1.0);
}

void tst_WindowLogin::cleanup()
{
    delete window;
    window = nullptr;
}

void tst_WindowLogin::open()
{
    window = new WindowLogin;
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
}

QStringList tst_WindowLogin::listedUsers()
{
    auto *box = child<LoginComboBox>("comboBox_user");
    QStringList users;
    for (int i = 0; i < box->count(); ++i)
        users << box->itemText(i);
    return users;
}

void tst_WindowLogin::remembersThreeNewestLogins()
{
    Config *config = Config::instance();
    config->saveLogin(QStringLiteral("alice"), QStringLiteral("pa"), true, 0);
    config->saveLogin(QStringLiteral("bob"), QString(), false, 0);
    config->saveLogin(QStringLiteral("carol"), QStringLiteral("pc"), true, 0);
    config->saveLogin(QStringLiteral("dave"), QStringLiteral("pd"), true, 1);
    open();

    QCOMPARE(listedUsers(), (QStringList{"dave", "carol", "bob"}));
    auto *box = child<LoginComboBox>("comboBox_user");
    auto *password = child<QLineEdit>("lineEdit_password");
    auto *remember = child<QCheckBox>("checkBox");
    auto *language = child<LoginComboBox>("comboBox_language");
    QCOMPARE(box->currentText(), QStringLiteral("dave"));
    QCOMPARE(password->text(), QStringLiteral("pd"));
    QVERIFY(remember->isChecked());
    QCOMPARE(language->currentIndex(), 1);
    QCOMPARE(window->languageIndex(), 1);

    // Choosing a user who did not ask to be remembered clears the password.
    box->setCurrentIndex(2);
    QCOMPARE(password->text(), QString());
    QVERIFY(!remember->isChecked());
    QCOMPARE(window->languageIndex(), 0);

    box->setCurrentIndex(1);
    QCOMPARE(password->text(), QStringLiteral("pc"));
    QVERIFY(remember->isChecked());

    // Typing another name clears the password field.
    box->lineEdit()->selectAll();
    QTest::keyClicks(box->lineEdit(), QStringLiteral("erin"));
    QCOMPARE(password->text(), QString());
}

void tst_WindowLogin::loginMovesReturningUserToFront()
{
    AccountSettings::setBaseUrl(QStringLiteral("https://127.0.0.1:9"));
    Config *config = Config::instance();
    config->saveLogin(QStringLiteral("alice"), QString(), false, 0);
    config->saveLogin(QStringLiteral("bob"), QString(), false, 0);
    config->saveLogin(QStringLiteral("carol"), QString(), false, 0);
    open();
    QSignalSpy requests(window, &WindowLogin::loginRequested);

    auto *box = child<LoginComboBox>("comboBox_user");
    auto *password = child<QLineEdit>("lineEdit_password");
    box->setCurrentIndex(2); // alice, the oldest
    QCOMPARE(box->currentText(), QStringLiteral("alice"));
    QTest::keyClicks(password, QStringLiteral("secret"));
    QTest::mouseClick(child<QCheckBox>("checkBox"), Qt::LeftButton);
    QTest::mouseClick(child<QPushButton>("pushButton_login"), Qt::LeftButton);

    QCOMPARE(requests.count(), 1);
    QCOMPARE(requests.at(0).at(0).toString(), QStringLiteral("alice"));
    QCOMPARE(requests.at(0).at(1).toString(), QStringLiteral("secret"));
    QCOMPARE(listedUsers(), (QStringList{"alice", "carol", "bob"}));
    const QList<LoginRecord> stored = Config::instance()->readLogins();
    QCOMPARE(stored.size(), 3);
    QCOMPARE(stored.first().username, QStringLiteral("alice"));
    QCOMPARE(stored.first().password, QStringLiteral("secret"));
    QVERIFY(stored.first().isremember);
    QCOMPARE(child<QLabel>("label_message")->text(),
             QCoreApplication::translate("WindowLogin", "Signing in, please wait..."));

    // A new user pushes the oldest one out; without the remember box the
    // password is not stored.
    box->setEditText(QStringLiteral("dave"));
    password->setText(QStringLiteral("pd"));
    QTest::mouseClick(child<QCheckBox>("checkBox"), Qt::LeftButton);
    QVERIFY(!child<QCheckBox>("checkBox")->isChecked());
    QTest::mouseClick(child<QPushButton>("pushButton_login"), Qt::LeftButton);
    QCOMPARE(listedUsers(), (QStringList{"dave", "alice", "carol"}));
    QCOMPARE(Config::instance()->readLogins().first().password, QString());
    AccountSettings::setBaseUrl(QString());
}

void tst_WindowLogin::cloudLoginWithoutServiceSaysSo()
{
    open();
    QSignalSpy requests(window, &WindowLogin::loginRequested);
    child<LoginComboBox>("comboBox_user")->setEditText(QStringLiteral("alice"));
    child<QLineEdit>("lineEdit_password")->setText(QStringLiteral("pw"));
    QTest::mouseClick(child<QPushButton>("pushButton_login"), Qt::LeftButton);
    QCOMPARE(requests.count(), 0);
    QCOMPARE(child<QLabel>("label_message")->text(),
             QStringLiteral("The account service is not configured. Use the local login instead."));
    QVERIFY(Config::instance()->readLogins().isEmpty());
    QVERIFY(!window->mainWindow());
}

void tst_WindowLogin::emptyFieldsAreReported()
{
    AccountSettings::setBaseUrl(QStringLiteral("https://127.0.0.1:9"));
    open();
    QSignalSpy requests(window, &WindowLogin::loginRequested);
    auto *message = child<QLabel>("label_message");
    QTest::mouseClick(child<QPushButton>("pushButton_login"), Qt::LeftButton);
    QCOMPARE(message->text(), QStringLiteral("Please enter the username."));
    child<LoginComboBox>("comboBox_user")->setEditText(QStringLiteral("alice"));
    QTest::mouseClick(child<QPushButton>("pushButton_login"), Qt::LeftButton);
    QCOMPARE(message->text(), QStringLiteral("Please enter the password."));
    QCOMPARE(requests.count(), 0);
    QVERIFY(Config::instance()->readLogins().isEmpty());
    AccountSettings::setBaseUrl(QString());
}

void tst_WindowLogin::failedLoginShowsServiceReason()
{
    open();
    window->logined(false, QByteArrayLiteral("{\"error_code\":10,\"reason\":\"wrong password\"}"));
    QCOMPARE(child<QLabel>("label_message")->text(), QStringLiteral("wrong password"));
    QVERIFY(!window->mainWindow());
    // A body that is not JSON leaves the message alone.
    window->logined(false, QByteArrayLiteral("<html>"));
    QCOMPARE(child<QLabel>("label_message")->text(), QStringLiteral("wrong password"));
    window->logined(false, QByteArray());
    QVERIFY(!window->mainWindow());
}

void tst_WindowLogin::passwordToggleShowsAndHides()
{
    open();
    auto *password = child<QLineEdit>("lineEdit_password");
    auto *eye = child<QLabel>("label_eye");
    QCOMPARE(password->echoMode(), QLineEdit::Password);
    QTest::mouseClick(eye, Qt::LeftButton);
    QCOMPARE(password->echoMode(), QLineEdit::Normal);
    QVERIFY(window->isPasswordVisible());
    QTest::mouseClick(eye, Qt::LeftButton);
    QCOMPARE(password->echoMode(), QLineEdit::Password);
    QVERIFY(!window->isPasswordVisible());
}

void tst_WindowLogin::languageSwitchRetranslatesAtOnce()
{
    open();
    auto *language = child<LoginComboBox>("comboBox_language");
    auto *local = child<QPushButton>("pushButton_local");
    auto *user = child<LoginComboBox>("comboBox_user");
    QCOMPARE(local->text(), QStringLiteral("Local login"));
    QCOMPARE(QCoreApplication::translate("MainWindow", "实时预览"), QStringLiteral("Live View"));

    language->setCurrentIndex(1);
    QCOMPARE(window->languageIndex(), 1);
    QCOMPARE(local->text(), QString::fromUtf8("本地登录"));
    QCOMPARE(user->lineEdit()->placeholderText(), QString::fromUtf8("请输入用户名"));
    QCOMPARE(QCoreApplication::translate("MainWindow", "实时预览"), QString::fromUtf8("实时预览"));
    QCOMPARE(language->itemText(0), QStringLiteral("English"));

    language->setCurrentIndex(0);
    QCOMPARE(local->text(), QStringLiteral("Local login"));
    QCOMPARE(user->lineEdit()->placeholderText(), QStringLiteral("Enter your username"));
    QCOMPARE(QCoreApplication::translate("MainWindow", "实时预览"), QStringLiteral("Live View"));
}

void tst_WindowLogin::localLoginEmbedsScaledMainWindow()
{
    SystemInfo::instance()->setScale(1.25);
    open();
    QTest::mouseClick(child<QPushButton>("pushButton_local"), Qt::LeftButton);

    MainWindow *main = window->mainWindow();
    QVERIFY(main);
    QCOMPARE(main->parentWidget(), window);
    QVERIFY(!main->isWindow());
    QCOMPARE(window->user().username, QStringLiteral("Admin"));
    QTRY_COMPARE(window->size(), QSize(1350, 900));
    QTRY_COMPARE(main->geometry(), QRect(0, 0, 1350, 900));
    QTRY_VERIFY(main->isVisible());
    QVERIFY(!child<QWidget>("centralwidget")->isVisible());

    const QRect desk = window->screen()->geometry();
    QTRY_COMPARE(window->pos(), QPoint(desk.x() + (desk.width() - 1350) / 2,
                                       desk.y() + (desk.height() - 900) / 2));

    QWidgetList shown;
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (w->isVisible())
            shown << w;
    }
    QCOMPARE(shown, QWidgetList{window});

    auto *userName = main->findChild<LabelHeaderBtn *>(QStringLiteral("label_userName"));
    QCOMPARE(userName->text(), QStringLiteral("Admin"));
    QCOMPARE(main->findChild<QLabel *>(QStringLiteral("label_btn_life"))->text(),
             QStringLiteral("Live View"));

    // Dragging the header moves the host window.
    const QPoint before = window->pos();
    auto *header = main->findChild<Header *>(QStringLiteral("widget_header"));
    QTest::mousePress(header, Qt::LeftButton, {}, QPoint(400, 20));
    QTest::mouseMove(header, QPoint(440, 30));
    QTest::mouseRelease(header, Qt::LeftButton, {}, QPoint(440, 30));
    QTRY_COMPARE(window->pos(), before + QPoint(40, 10));
}

QTEST_MAIN(tst_WindowLogin)
#include "tst_windowlogin.moc"
