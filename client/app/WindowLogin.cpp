#include "app/WindowLogin.h"

#include "app/DeviceRelease.h"
#include "app/LoginServer.h"

#include "core/AccountSettings.h"
#include "core/UserService.h"
#include "app/MainWindow.h"
#include "config/Config.h"
#include "diagnostics/SystemInfo.h"
#include "media/VideoRecord.h"
#include "model/Channel.h"
#include "model/Dev.h"
#include "model/Device.h"
#include "view/ViewControl.h"
#include "ui_WindowLogin.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QBoxLayout>
#include <QLineEdit>
#include <QMouseEvent>
#include <QScreen>
#include <QTranslator>
#include <QUrl>

namespace {

WindowLogin *currentInstance = nullptr;

const char *const closeStyle =
    "border-image:url(:/login/images/close.png);background:rgba(0,0,0,0)";
const char *const closeHoverStyle =
    "border-image:url(:/login/images/close-hover.png);background:rgba(0,0,0,0)";
const char *const closePressedStyle =
    "border-image:url(:/login/images/close-pressed.png);background:rgba(0,0,0,0)";

const char *const focusedBorder = "#aaa";
const char *const normalBorder = "rgb(204, 204, 204)";

QString userBoxStyle(const char *border)
{
    return QStringLiteral("QComboBox{border:1px solid ") + QLatin1String(border) +
           QStringLiteral(";border-radius:3px;padding-left:10px;font-size:13px;color:#333333;"
                          "background:#ffffff;}\nQComboBox::drop-down{border:0;width:26px;}\n"
                          "QComboBox::down-arrow{image:url(:/main/images/btnImg/unfold_row.png);"
                          "width:12px;height:12px;}");
}

QString passwordBoxStyle(const char *border)
{
    return QStringLiteral("#widget_password{border:1px solid ") + QLatin1String(border) +
           QStringLiteral(";border-radius:3px;background:#ffffff;}");
}

const char *const eyeOpenStyle =
    "border-image:url(:/login/images/eye_open.png);background:rgba(0,0,0,0)";
const char *const eyeClosedStyle =
    "border-image:url(:/login/images/eye_close.png);background:rgba(0,0,0,0)";

} // namespace

WindowLogin::WindowLogin(QWidget *parent)
    : QMainWindow(parent)
    , ui(std::make_unique<Ui::WindowLogin>())
{
    currentInstance = this;
    ui->setupUi(this);
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);

    for (int i = 0; i < ui->comboBox_language->count(); ++i)
        ui->comboBox_language->setItemData(i, 132, Qt::TextAlignmentRole);
    ui->comboBox_user->setInsertPolicy(QComboBox::NoInsert);
    ui->comboBox_user->setStyleSheet(userBoxStyle(normalBorder));
    ui->widget_password->setStyleSheet(passwordBoxStyle(normalBorder));
    ui->label_close->setStyleSheet(QString::fromLatin1(closeStyle));
    ui->pushButton_login->setCursor(Qt::PointingHandCursor);
    ui->pushButton_local->setCursor(Qt::PointingHandCursor);
    for (QWidget *w :
         {static_cast<QWidget *>(ui->label_close), static_cast<QWidget *>(ui->label_eye),
          static_cast<QWidget *>(ui->label_register), static_cast<QWidget *>(ui->label_forget)})
        w->setCursor(Qt::PointingHandCursor);
    setPasswordVisible(false);
    if (QScreen *desktop = QGuiApplication::primaryScreen())
        move(desktop->availableGeometry().center() - rect().center());

    for (QObject *watched :
         {static_cast<QObject *>(ui->label_close), static_cast<QObject *>(ui->label_eye),
          static_cast<QObject *>(ui->label_register), static_cast<QObject *>(ui->label_forget),
          static_cast<QObject *>(ui->widget_title), static_cast<QObject *>(ui->lineEdit_password),
          static_cast<QObject *>(ui->comboBox_user->lineEdit())})
        watched->installEventFilter(this);

    // The account service's address, above the user name.
    m_serverEdit = new QLineEdit(ui->widget_form);
    m_serverEdit->setObjectName(QStringLiteral("lineEdit_server"));
    m_serverEdit->setMinimumHeight(38);
    m_serverEdit->setStyleSheet(QStringLiteral(
        "QLineEdit{border:1px solid rgb(204, 204, 204);border-radius:3px;padding-left:10px;"
        "font-size:13px;color:#333333;background:#ffffff;}"));
    static_cast<QBoxLayout *>(ui->widget_form->layout())->insertWidget(0, m_serverEdit);
    m_server = new LoginServer(m_serverEdit, this);
    connect(m_serverEdit, &QLineEdit::returnPressed, this, &WindowLogin::login);

    connect(ui->pushButton_login, &QPushButton::clicked, this, &WindowLogin::login);
    // Queued: the request may come from a button of the main window that
    // the return deletes.
    connect(
        UserService::instance(), &UserService::signOutRequested, this,
        [this] { returnToLogin(QString()); }, Qt::QueuedConnection);
    connect(
        UserService::instance(), &UserService::sessionRefused, this,
        [this](const QString &reason) {
            returnToLogin(
                tr("The account service ended the session (%1). Sign in again.").arg(reason));
        },
        Qt::QueuedConnection);
    connect(UserService::instance(), &UserService::logined, this, &WindowLogin::logined);
    connect(ui->pushButton_local, &QPushButton::clicked, this, &WindowLogin::localLogin);
    connect(ui->lineEdit_password, &QLineEdit::returnPressed, this, &WindowLogin::login);
    connect(ui->comboBox_user->lineEdit(), &QLineEdit::textEdited, ui->lineEdit_password,
            &QLineEdit::clear);
    connect(ui->comboBox_user, &QComboBox::currentIndexChanged, this,
            &WindowLogin::userEditIndexChanged);
    connect(ui->comboBox_language, &QComboBox::currentIndexChanged, this,
            &WindowLogin::loadLanguage);

    loadLanguage(English);
    loadRemembered();
    if (!m_logins.isEmpty())
        userEditIndexChanged(0);
}

WindowLogin::~WindowLogin()
{
    if (m_translator)
        QCoreApplication::removeTranslator(m_translator);
    if (currentInstance == this)
        currentInstance = nullptr;
}

WindowLogin *WindowLogin::instance()
{
    return currentInstance;
}

void WindowLogin::loadRemembered()
{
    m_logins = Config::instance()->readLogins();
    QSignalBlocker blocker(ui->comboBox_user);
    const QString typed = ui->comboBox_user->currentText();
    ui->comboBox_user->clear();
    for (const LoginRecord &record : std::as_const(m_logins))
        ui->comboBox_user->addItem(record.username);
    if (!m_logins.isEmpty())
        ui->comboBox_user->setCurrentIndex(0);
    else
        ui->comboBox_user->setEditText(typed);
}

void WindowLogin::userEditIndexChanged(int index)
{
    if (index < 0 || index >= m_logins.size())
        return;
    const LoginRecord &record = m_logins.at(index);
    ui->lineEdit_password->setText(record.isremember ? record.password : QString());
    ui->checkBox->setChecked(record.isremember);
    m_remember = record.isremember ? QStringLiteral("true") : QStringLiteral("false");
    if (record.language >= 0 && record.language < ui->comboBox_language->count())
        ui->comboBox_language->setCurrentIndex(record.language);
}

void WindowLogin::on_checkBox_clicked()
{
    m_remember = ui->checkBox->isChecked() ? QStringLiteral("true") : QStringLiteral("false");
}

void WindowLogin::login()
{
    ui->label_message->clear();
    const QString name = ui->comboBox_user->currentText();
    const QString password = ui->lineEdit_password->text();
    if (name.trimmed().isEmpty()) {
        ui->label_message->setText(tr("Please enter the username."));
        return;
    }
    if (password.isEmpty()) {
        ui->label_message->setText(tr("Please enter the password."));
        return;
    }
    QString why;
    if (m_server->apply(&why).isEmpty()) {
        ui->label_message->setText(why);
        m_serverEdit->setFocus();
        return;
    }

    // The password is kept only when the user asked for it.
    const bool remember = m_remember == QLatin1String("true");
    Config::instance()->saveLogin(name, remember ? password : QString(), remember, m_language);
    loadRemembered();
    ui->lineEdit_password->setText(password);

    ui->label_message->setText(tr("Signing in, please wait..."));
    m_user = UserInfo();
    m_user.username = name;
    UserService *service = UserService::instance();
    service->setUserName(name);
    service->setPassword(password);
    service->login();
    emit loginRequested(name, password);
}

void WindowLogin::localLogin()
{
    m_user = UserInfo();
    m_user.username = QStringLiteral("Admin");
    *UserService::instance()->user() = m_user;
    logined(true, QByteArray());
}

void WindowLogin::logined(bool ok, const QByteArray &body)
{
    ui->label_title->setText(tr("Login"));
    if (ok) {
        if (m_user.username != QLatin1String("Admin"))
            m_user = *UserService::instance()->user();
        openMainWindow();
        return;
    }
    const ServerTrust::Untrusted untrusted = UserService::instance()->lastUntrusted();
    if (!untrusted.isEmpty()) {
        QString message;
        if (m_server->settle(untrusted, &message)) {
            login(); // the key is trusted now
            return;
        }
        ui->label_message->setText(message);
        return;
    }
    qDebug() << "login failed:" << body.left(512);
    const QJsonDocument reply = QJsonDocument::fromJson(body);
    if (reply.isObject())
        ui->label_message->setText(reply.object().value(QStringLiteral("reason")).toString());
    else if (body.isEmpty())
        // No answer at all: the user must not be left with "Signing in".
        ui->label_message->setText(tr("The account service cannot be reached."));
}

void WindowLogin::openMainWindow()
{
    if (m_mainWindow)
        return;
    hide();
    ui->centralwidget->hide();
    m_formGeometry = geometry();
    m_formMinimum = minimumSize();
    m_formMaximum = maximumSize();

    const double scale = SystemInfo::instance()->scale();
    const int width = int(1080 * scale);
    const int height = int(720 * scale);
    QScreen *desktop = screen() ? screen() : QGuiApplication::primaryScreen();
    const QRect area = desktop ? desktop->geometry() : QRect(0, 0, width, height);
    setMinimumSize(0, 0);
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    setGeometry(area.x() + (area.width() - width) / 2, area.y() + (area.height() - height) / 2,
                width, height);

    m_mainWindow = new MainWindow(this);
    m_mainWindow->setUser(m_user);
    m_mainWindow->fitToParent();
    connect(m_mainWindow, &MainWindow::moveMsg, this, &WindowLogin::moveWindow);
    m_mainWindow->setWindowFlags(Qt::FramelessWindowHint);

    show();
    m_mainWindow->start();
}

void WindowLogin::returnToLogin(const QString &message)
{
    if (!m_mainWindow)
        return;
    Dev *dev = Dev::instance();
    ViewControl *view = ViewControl::instance();
    QList<Channel *> channels;
    for (Device *d : dev->devices())
        channels += d->channels();
    VideoRecord::instance()->finishAll(channels);
    releaseAllDevices();
    view->removeWindowsFrom(0);
    UserService::instance()->signOut();
    m_user = UserInfo();
    hide();
    delete m_mainWindow;
    m_mainWindow = nullptr;
    view->attach(nullptr);
    setMinimumSize(m_formMinimum);
    setMaximumSize(m_formMaximum);
    setGeometry(m_formGeometry);
    ui->centralwidget->show();
    ui->lineEdit_password->clear();
    ui->label_message->setText(message);
    show();
}

void WindowLogin::moveWindow(QPoint delta)
{
    move(pos() + delta);
}

void WindowLogin::loadLanguage(int index)
{
    const int language = index == Chinese ? Chinese : English;
    if (m_translator) {
        QCoreApplication::removeTranslator(m_translator);
        delete m_translator;
    }
    m_translator = new QTranslator(this);
    const QString catalogue = language == Chinese
                                  ? QStringLiteral(":/language/language/app_zh_CN.qm")
                                  : QStringLiteral(":/language/language/app_en_US.qm");
    if (m_translator->load(catalogue))
        QCoreApplication::installTranslator(m_translator);
    else
        qWarning() << "cannot load the catalogue" << catalogue;
    setLocale(language == Chinese ? QLocale(QLocale::Chinese, QLocale::China)
                                  : QLocale(QLocale::English, QLocale::UnitedStates));
    m_language = language;
    {
        QSignalBlocker blocker(ui->comboBox_language);
        ui->comboBox_language->setCurrentIndex(language);
    }
    retranslate();
}

void WindowLogin::retranslate()
{
    ui->retranslateUi(this);
    ui->comboBox_user->lineEdit()->setPlaceholderText(tr("Enter your username"));
    ui->lineEdit_password->setPlaceholderText(tr("Enter your password"));
    if (m_serverEdit)
        m_serverEdit->setPlaceholderText(tr("Server, e.g. https://accounts.example.com"));
    ui->label_message->clear();
}

void WindowLogin::setPasswordVisible(bool visible)
{
    m_passwordVisible = visible;
    ui->lineEdit_password->setEchoMode(visible ? QLineEdit::Normal : QLineEdit::Password);
    ui->label_eye->setStyleSheet(QString::fromLatin1(visible ? eyeOpenStyle : eyeClosedStyle));
    ui->label_eye->setToolTip(visible ? tr("Hide password") : tr("Show password"));
}

void WindowLogin::setFieldFocus(QWidget *field, bool focused)
{
    const char *border = focused ? focusedBorder : normalBorder;
    if (field == ui->comboBox_user)
        field->setStyleSheet(userBoxStyle(border));
    else
        field->setStyleSheet(passwordBoxStyle(border));
}

void WindowLogin::openWebPage(const QString &path)
{
    const QString base = AccountSettings::webHelpBase();
    if (base.isEmpty()) {
        ui->label_message->setText(
            tr("The account service is not configured. Use the local login instead."));
        return;
    }
    // The base ends with "/"; the page path starts with one.
    QDesktopServices::openUrl(QUrl(base + path.mid(1)));
}

bool WindowLogin::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    const bool leftRelease = type == QEvent::MouseButtonRelease &&
                             static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton;

    if (watched == ui->label_close) {
        if (type == QEvent::Enter)
            ui->label_close->setStyleSheet(QString::fromLatin1(closeHoverStyle));
        else if (type == QEvent::MouseButtonPress)
            ui->label_close->setStyleSheet(QString::fromLatin1(closePressedStyle));
        else if (type == QEvent::Leave)
            ui->label_close->setStyleSheet(QString::fromLatin1(closeStyle));
        else if (leftRelease)
            close();
    } else if (watched == ui->label_eye) {
        if (leftRelease)
            setPasswordVisible(!m_passwordVisible);
    } else if (watched == ui->label_register) {
        if (leftRelease)
            openWebPage(QStringLiteral("/register.html"));
    } else if (watched == ui->label_forget) {
        if (leftRelease)
            openWebPage(QStringLiteral("/register.html?name=showrid"));
    } else if (watched == ui->lineEdit_password || watched == ui->comboBox_user->lineEdit()) {
        QWidget *frame = watched == ui->lineEdit_password
                             ? static_cast<QWidget *>(ui->widget_password)
                             : static_cast<QWidget *>(ui->comboBox_user);
        if (type == QEvent::FocusIn)
            setFieldFocus(frame, true);
        else if (type == QEvent::FocusOut)
            setFieldFocus(frame, false);
    } else if (watched == ui->widget_title) {
        // The title bar sees every kind of event: only mouse events are cast.
        if (type == QEvent::MouseButtonPress) {
            const auto *mouse = static_cast<QMouseEvent *>(event);
            if (mouse->button() == Qt::LeftButton) {
                m_dragging = true;
                m_dragStart = mouse->position().toPoint();
            }
        } else if (type == QEvent::MouseMove && m_dragging) {
            moveWindow(static_cast<QMouseEvent *>(event)->position().toPoint() - m_dragStart);
        } else if (leftRelease) {
            m_dragging = false;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void WindowLogin::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    if (m_mainWindow)
        m_mainWindow->followParent();
}
