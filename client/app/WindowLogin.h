#pragma once

#include "config/LoginRecord.h"
#include "model/UserInfo.h"

#include <QByteArray>
#include <QList>
#include <QMainWindow>
#include <QPoint>
#include <QRect>
#include <QSize>

#include <memory>

class LoginServer;
class MainWindow;
class QLineEdit;
class QTranslator;

namespace Ui {
class WindowLogin;
}

// The login window: remembered users, password, language and the cloud and
// local logins. After a successful login it becomes the host of the main
// window: it grows to the scaled main-window size, centred, and embeds
// MainWindow as a frameless child that fills it. It stays the only top-level
// window. GUI thread only.
class WindowLogin : public QMainWindow
{
    Q_OBJECT
public:
    enum Language { English = 0, Chinese = 1 };

    explicit WindowLogin(QWidget *parent = nullptr);
    ~WindowLogin() override;

    // The login window of the process (the last one constructed), or null.
    static WindowLogin *instance();

    // The embedded main window once a login succeeded, else null.
    MainWindow *mainWindow() const { return m_mainWindow; }
    // The logged-in user ("Admin" for the local login).
    const UserInfo &user() const { return m_user; }
    int languageIndex() const { return m_language; }
    bool isPasswordVisible() const { return m_passwordVisible; }
    // The "Server" entry and the certificate questions.
    LoginServer *server() const { return m_server; }

signals:
    // A cloud login was requested for this user; the account service answers
    // with logined().
    void loginRequested(const QString &userName, const QString &password);

public slots:
    // Result of a login: on success hands over to the main window, on
    // failure shows the service's "reason" text.
    void logined(bool ok, const QByteArray &body);
    void on_checkBox_clicked();
    void moveWindow(QPoint delta);
    // Installs the catalogue of the language (0 English, 1 Chinese) and
    // retranslates the window.
    void loadLanguage(int index);
    // Fills password, remember box and language from remembered login i.
    void userEditIndexChanged(int index);
    // Signs in as the local "Admin", as the local login button does.
    void localLogin();
    // Ends the session shown (recordings finished, every stream and device
    // session closed, the devices released, the user forgotten) and shows
    // the login form again with message. Nothing while no main window is up.
    void returnToLogin(const QString &message);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void login();
    void loadRemembered();
    void setPasswordVisible(bool visible);
    void setFieldFocus(QWidget *field, bool focused);
    void openWebPage(const QString &path);
    void retranslate();
    void openMainWindow();

    std::unique_ptr<Ui::WindowLogin> ui;
    MainWindow *m_mainWindow = nullptr;
    UserInfo m_user;
    QList<LoginRecord> m_logins;
    QString m_remember = QStringLiteral("false");
    int m_language = English;
    bool m_passwordVisible = false;
    bool m_dragging = false;
    QPoint m_dragStart;
    QTranslator *m_translator = nullptr;
    QLineEdit *m_serverEdit = nullptr;
    QRect m_formGeometry; // the login form's own, kept while the main window is up
    QSize m_formMinimum;
    QSize m_formMaximum;
    LoginServer *m_server = nullptr;
};
