#pragma once

#include <QImage>
#include <QString>
#include <QWidget>

class Http;
class QHttpMultiPart;
class QLabel;
class QLineEdit;

// The account page of a cloud user: nickname, password and avatar, each
// changed on the account service; the avatar is downloaded from the
// address the login gave and shown with its size. GUI thread only.
class UserManage : public QWidget
{
    Q_OBJECT

public:
    explicit UserManage(QWidget *parent = nullptr);
    ~UserManage() override;

    // "2048B(2.00KB)": the byte count, and above 1024 bytes the size in the
    // largest unit that fits (KB, MB, GB) with two decimals.
    static QString sizeText(qint64 bytes);
    // The avatar address as requested: a leading "http:" becomes "https:".
    static QString avatarUrl(const QString &userIconUrl);
    // The upload's file name: local time "yyyyMMddhhmm", three random
    // letters or digits, and the extension of `path` from its last ".".
    static QString uploadName(const QString &path, const QDateTime &now);

    QString message() const;
    QImage avatar() const { return m_avatar; }
    QString avatarSizeText() const;

signals:
    void updateNickNameSuccess();
    void updateNickNameFailed();
    void changePwSuccess();
    void changePwFailed();

public slots:
    void loadImage(bool ok);
    void on_pushButton_clicked();   // change the nickname
    void on_pushButton_4_clicked(); // change the password
    void on_pushButton_6_clicked(); // choose an avatar file
    void on_pushButton_3_clicked(); // upload the chosen avatar
    void nickNameResponsed(bool ok);
    void changePwResponsed(bool ok);
    void iconChangeResponsed(bool ok);

private:
    Http *renew(Http *&slot);
    QHttpMultiPart *avatarForm(const QString &path, QString *error);

    QLineEdit *m_nickName;
    QLabel *m_email;
    QLabel *m_phone;
    QLabel *m_icon;
    QLabel *m_iconSize;
    QLineEdit *m_oldPassword;
    QLineEdit *m_newPassword;
    QLineEdit *m_repeatPassword;
    QLineEdit *m_iconPath;
    QLabel *m_message;
    Http *m_download = nullptr;
    Http *m_request = nullptr;
    Http *m_upload = nullptr;
    QHttpMultiPart *m_uploadForm = nullptr;
    QString m_pendingNickName;
    QImage m_avatar;
};
