#include "account/UserManage.h"

#include "core/AccountRequests.h"
#include "core/AccountSettings.h"
#include "core/Http.h"
#include "core/UserService.h"
#include "model/UserInfo.h"
#include "widgets/Named.h"

#include <QDateTime>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHttpMultiPart>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QUrl>

namespace {

constexpr qint64 MaxAvatarBytes = 5 * 1024 * 1024;

QString token()
{
    return UserService::instance()->user()->access_token;
}

QString withToken(const char *path)
{
    return AccountSettings::baseUrl() + QLatin1String(path) +
           QString::fromLatin1(QUrl::toPercentEncoding(token()));
}

} // namespace

UserManage::UserManage(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("UserManage"));
    auto *grid = new QGridLayout(this);
    int row = 0;
    m_icon = new QLabel(this);
    m_icon->setObjectName(QStringLiteral("label_icon"));
    m_icon->setFixedSize(96, 96);
    m_icon->setAlignment(Qt::AlignCenter);
    m_icon->setStyleSheet(QStringLiteral("border:1px solid #ccc;background:#ffffff"));
    m_iconSize = new QLabel(this);
    m_iconSize->setObjectName(QStringLiteral("label_iconSize"));
    grid->addWidget(m_icon, row, 0, 3, 1);
    m_email = new QLabel(this);
    m_email->setObjectName(QStringLiteral("label_email"));
    m_phone = new QLabel(this);
    m_phone->setObjectName(QStringLiteral("label_phone"));
    grid->addWidget(new QLabel(tr("E-mail:"), this), row, 1);
    grid->addWidget(m_email, row++, 2, 1, 2);
    grid->addWidget(new QLabel(tr("Phone:"), this), row, 1);
    grid->addWidget(m_phone, row++, 2, 1, 2);
    grid->addWidget(m_iconSize, row++, 1, 1, 3);

    m_nickName = namedLineEdit("lineEdit_nickName", this);
    grid->addWidget(new QLabel(tr("Nick Name:"), this), row, 0);
    grid->addWidget(m_nickName, row, 1, 1, 2);
    QPushButton *nickButton = namedButton(tr("Change"), "pushButton", this);
    grid->addWidget(nickButton, row++, 3);

    m_oldPassword = namedLineEdit("lineEdit_oldPassword", this, QLineEdit::Password);
    m_newPassword = namedLineEdit("lineEdit_newPassword", this, QLineEdit::Password);
    m_repeatPassword = namedLineEdit("lineEdit_repeatPassword", this, QLineEdit::Password);
    grid->addWidget(new QLabel(tr("Old password:"), this), row, 0);
    grid->addWidget(m_oldPassword, row++, 1, 1, 2);
    grid->addWidget(new QLabel(tr("New password:"), this), row, 0);
    grid->addWidget(m_newPassword, row++, 1, 1, 2);
    grid->addWidget(new QLabel(tr("Repeat:"), this), row, 0);
    grid->addWidget(m_repeatPassword, row, 1, 1, 2);
    QPushButton *passwordButton = namedButton(tr("Change"), "pushButton_4", this);
    grid->addWidget(passwordButton, row++, 3);

    m_iconPath = namedLineEdit("lineEdit_iconPath", this);
    grid->addWidget(new QLabel(tr("Icon:"), this), row, 0);
    grid->addWidget(m_iconPath, row, 1);
    QPushButton *chooseButton = namedButton(tr("Browse..."), "pushButton_6", this);
    grid->addWidget(chooseButton, row, 2);
    QPushButton *uploadButton = namedButton(tr("Upload"), "pushButton_3", this);
    grid->addWidget(uploadButton, row++, 3);

    m_message = new QLabel(this);
    m_message->setObjectName(QStringLiteral("label_message"));
    m_message->setStyleSheet(QStringLiteral("color:#c0392b"));
    grid->addWidget(m_message, row++, 0, 1, 4);
    QPushButton *signOutButton = namedButton(tr("Sign out"), "pushButton_signOut", this);
    grid->addWidget(signOutButton, row++, 3);
    grid->setRowStretch(row, 1);
    // Every stream closes and the login window comes back.
    connect(signOutButton, &QPushButton::clicked, UserService::instance(),
            &UserService::requestSignOut);

    connect(nickButton, &QPushButton::clicked, this, &UserManage::on_pushButton_clicked);
    connect(passwordButton, &QPushButton::clicked, this, &UserManage::on_pushButton_4_clicked);
    connect(chooseButton, &QPushButton::clicked, this, &UserManage::on_pushButton_6_clicked);
    connect(uploadButton, &QPushButton::clicked, this, &UserManage::on_pushButton_3_clicked);

    const UserInfo *user = UserService::instance()->user();
    m_nickName->setText(user->NickName);
    m_email->setText(user->userEmail);
    m_phone->setText(user->phone);
    if (!user->userIconUrl.isEmpty()) {
        Http *http = renew(m_download);
        connect(http, &Http::responsed, this, &UserManage::loadImage);
        http->setUrl(avatarUrl(user->userIconUrl));
        http->get();
    }
}

UserManage::~UserManage()
{
    delete m_uploadForm;
}

Http *UserManage::renew(Http *&slot)
{
    delete slot;
    slot = new Http(this);
    return slot;
}

QString UserManage::sizeText(qint64 bytes)
{
    QString text = QString::number(bytes) + QLatin1Char('B');
    const char *units[] = {"GB", "MB", "KB"};
    const double scales[] = {1024.0 * 1024 * 1024, 1024.0 * 1024, 1024.0};
    for (int i = 0; i < 3; ++i) {
        if (bytes > scales[i]) {
            text += QStringLiteral("(%1%2)")
                        .arg(bytes / scales[i], 0, 'f', 2)
                        .arg(QLatin1String(units[i]));
            break;
        }
    }
    return text;
}

QString UserManage::avatarUrl(const QString &userIconUrl)
{
    QString url = userIconUrl;
    if (url.startsWith(QLatin1String("http:")))
        url.replace(0, 5, QStringLiteral("https:"));
    return url;
}

QString UserManage::uploadName(const QString &path, const QDateTime &now)
{
    static const char alphabet[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    QRandomGenerator random(quint32(now.time().msecsSinceStartOfDay() / 1000));
    QString name = now.toString(QStringLiteral("yyyyMMddhhmm"));
    for (int i = 0; i < 3; ++i)
        name += QLatin1Char(alphabet[random.bounded(36)]);
    const QString file = QFileInfo(path).fileName();
    const qsizetype dot = file.lastIndexOf(QLatin1Char('.'));
    return dot >= 0 ? name + file.mid(dot) : name;
}

QString UserManage::message() const
{
    return m_message->text();
}

QString UserManage::avatarSizeText() const
{
    return m_iconSize->text();
}

void UserManage::loadImage(bool ok)
{
    if (!ok || !m_download)
        return;
    const QByteArray bytes = m_download->response();
    QImage image;
    if (!image.loadFromData(bytes))
        return;
    m_avatar = image;
    m_icon->setPixmap(QPixmap::fromImage(
        image.scaled(m_icon->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation)));
    m_iconSize->setText(sizeText(bytes.size()) +
                        QStringLiteral("  %1x%2").arg(image.width()).arg(image.height()));
}

void UserManage::on_pushButton_clicked()
{
    m_message->clear();
    m_pendingNickName = m_nickName->text();
    Http *http = renew(m_request);
    connect(http, &Http::responsed, this, &UserManage::nickNameResponsed);
    http->setUrl(withToken(AccountRequests::UserInfoPath));
    http->post(AccountRequests::nickNameBody(token(), m_pendingNickName));
}

void UserManage::nickNameResponsed(bool ok)
{
    if (ok && AccountRequests::succeeded(m_request->response(), "result_code")) {
        m_message->setText(tr("Nick Name has changed."));
        UserService::instance()->user()->NickName = m_pendingNickName;
        emit updateNickNameSuccess();
    } else {
        m_message->setText(tr("Operation Failed!"));
        emit updateNickNameFailed();
    }
}

void UserManage::on_pushButton_4_clicked()
{
    m_message->clear();
    const QString oldPassword = m_oldPassword->text();
    const QString newPassword = m_newPassword->text();
    if (newPassword != m_repeatPassword->text()) {
        qDebug("新密码输入不一致");
        m_message->setText(tr("The new passwords do not match."));
        return;
    }
    if (newPassword == oldPassword) {
        qDebug("新旧密码相同");
        m_message->setText(tr("The new password is the old one."));
        return;
    }
    Http *http = renew(m_request);
    connect(http, &Http::responsed, this, &UserManage::changePwResponsed);
    http->setUrl(withToken(AccountRequests::PasswordPath));
    http->post(AccountRequests::passwordBody(token(), UserService::instance()->user()->username,
                                             oldPassword, newPassword));
}

void UserManage::changePwResponsed(bool ok)
{
    if (ok && AccountRequests::succeeded(m_request->response(), "result_code")) {
        m_message->setText(tr("PassWord has changed."));
        m_oldPassword->clear();
        m_newPassword->clear();
        m_repeatPassword->clear();
        emit changePwSuccess();
    } else {
        m_message->setText(tr("Operation Failed!"));
        emit changePwFailed();
    }
}

void UserManage::on_pushButton_6_clicked()
{
    const QString path = QFileDialog::getOpenFileName(this, tr("Choose Icon File"), QString(),
                                                      tr("Images (*.png *.jpeg *.jpg)"));
    if (!path.isEmpty())
        m_iconPath->setText(path);
}

QHttpMultiPart *UserManage::avatarForm(const QString &path, QString *error)
{
    auto file = std::make_unique<QFile>(path);
    if (!file->exists() || !file->open(QIODevice::ReadOnly)) {
        *error = tr("The file cannot be opened.");
        return nullptr;
    }
    if (file->size() > MaxAvatarBytes) {
        *error = tr("The picture is larger than 5 MB.");
        return nullptr;
    }
    const UserInfo *user = UserService::instance()->user();
    auto *form = new QHttpMultiPart(QHttpMultiPart::FormDataType);
    const auto textPart = [form](const char *name, const QByteArray &body) {
        QHttpPart part;
        part.setHeader(QNetworkRequest::ContentDispositionHeader,
                       QStringLiteral("form-data; name=\"%1\"").arg(QLatin1String(name)));
        part.setBody(body);
        form->append(part);
    };
    textPart("token", user->access_token.toLocal8Bit());
    textPart("content",
             AccountRequests::orderedJson({{QStringLiteral("userEmail"), user->userEmail},
                                           {QStringLiteral("username"), user->username},
                                           {QStringLiteral("is_active"), true},
                                           {QStringLiteral("language"), QStringLiteral("en")},
                                           {QStringLiteral("NickName"), user->NickName},
                                           {QStringLiteral("phone"), user->phone},
                                           {QStringLiteral("user_isValid"), true}})
                 .toUtf8());
    QHttpPart image;
    image.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("image/jpeg"));
    image.setHeader(QNetworkRequest::ContentDispositionHeader,
                    QStringLiteral("form-data; name=\"userIcon\"; filename=\"%1\"")
                        .arg(uploadName(path, QDateTime::currentDateTime())));
    image.setBodyDevice(file.get());
    file->setParent(form);
    file.release();
    form->append(image);
    return form;
}

void UserManage::on_pushButton_3_clicked()
{
    const QString path = m_iconPath->text();
    if (path.isEmpty()) {
        m_message->setText(tr("Choose a picture file first."));
        return;
    }
    m_message->clear();
    QString error;
    QHttpMultiPart *form = avatarForm(path, &error);
    if (!form) {
        m_message->setText(error);
        return;
    }
    Http *http = renew(m_upload);
    delete m_uploadForm;
    m_uploadForm = form;
    connect(http, &Http::responsed, this, &UserManage::iconChangeResponsed);
    http->setUrl(withToken(AccountRequests::UserInfoPath));
    http->postMultipart(form);
}

void UserManage::iconChangeResponsed(bool ok)
{
    const QJsonObject reply = QJsonDocument::fromJson(m_upload->response()).object();
    const QString url = reply.value(QStringLiteral("result"))
                            .toObject()
                            .value(QStringLiteral("datas"))
                            .toArray()
                            .at(0)
                            .toObject()
                            .value(QStringLiteral("fields"))
                            .toObject()
                            .value(QStringLiteral("userIconUrl"))
                            .toString();
    if (!ok || !AccountRequests::succeeded(m_upload->response(), "result_code")) {
        m_message->setText(tr("Operation Failed!"));
        return;
    }
    m_message->setText(tr("Icon has changed."));
    UserService::instance()->user()->userIconUrl = url;
    // Show the new picture as the service serves it.
    if (!url.isEmpty()) {
        Http *http = renew(m_download);
        connect(http, &Http::responsed, this, &UserManage::loadImage);
        http->setUrl(avatarUrl(url));
        http->get();
    }
}
