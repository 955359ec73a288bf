#include "core/AccountRequests.h"

#include "core/AccountSettings.h"
#include "core/Http.h"
#include "core/UserService.h"
#include "config/TextEncoding.h"
#include "model/RtspUrl.h"
#include "model/UserInfo.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QUrl>

namespace AccountRequests {

QString form(const Fields &fields)
{
    QString out;
    for (const auto &[key, value] : fields) {
        if (!out.isEmpty())
            out += QLatin1Char('&');
        out += key + QLatin1Char('=') + QString::fromLatin1(QUrl::toPercentEncoding(value));
    }
    return out;
}

QString orderedJson(const QList<std::pair<QString, QJsonValue>> &fields)
{
    // Each key and value is escaped by QJsonDocument (as a one-element array,
    // brackets dropped); the object is assembled in the given order.
    const auto text = [](const QJsonValue &v) {
        const QByteArray array = QJsonDocument(QJsonArray{v}).toJson(QJsonDocument::Compact);
        return QString::fromUtf8(array.mid(1, array.size() - 2));
    };
    QString out = QStringLiteral("{");
    for (const auto &[key, value] : fields) {
        if (out.size() > 1)
            out += QLatin1Char(',');
        out += text(key) + QLatin1Char(':') + text(value);
    }
    return out + QLatin1Char('}');
}

bool succeeded(const QByteArray &body, const char *codeKey, QString *reason)
{
    const QJsonDocument doc = QJsonDocument::fromJson(body);
    if (!doc.isObject())
        return false;
    const QJsonObject o = doc.object();
    const QJsonValue code = o.value(QLatin1String(codeKey));
    if (code.isDouble() && code.toDouble() == 0)
        return true;
    if (reason)
        *reason = o.value(QStringLiteral("reason")).toString();
    return false;
}

QString loginBody(const QString &userName, const QString &password)
{
    return form({{QStringLiteral("userName"), userName},
                 {QStringLiteral("userPwd"), encodeText(password)}});
}

QString deviceListBody(const QString &token)
{
    return form({{QStringLiteral("token"), token}});
}

namespace {

// The fields of an RTSP device's source; none for a P2P device.
QList<std::pair<QString, QString>> sourceFields(const CloudDevice &d)
{
    if (d.kind != DeviceKind::Rtsp)
        return {};
    return {{QStringLiteral("Kind"), QStringLiteral("rtsp")},
            {QStringLiteral("Streams"), RtspUrl::storedText(d.rtsp.streams)},
            {QStringLiteral("Onvif"), d.rtsp.onvifHost},
            {QStringLiteral("Transport"), RtspUrl::transportWord(d.rtsp.transport)}};
}

} // namespace

QString addDeviceBody(const QString &token, const CloudDevice &d)
{
    return form(Fields{{QStringLiteral("token"), token},
                       {QStringLiteral("UID"), d.uid},
                       {QStringLiteral("NickName"), d.nickName},
                       {QStringLiteral("View_Account"), d.viewAccount},
                       {QStringLiteral("View_Password"), d.viewPassword},
                       {QStringLiteral("Type"), QString::number(d.type)},
                       {QStringLiteral("ChannelIndex"), QString::number(d.channelCount)}} +
                sourceFields(d));
}

QString deleteDeviceBody(const QString &token, const QString &pk)
{
    return form({{QStringLiteral("token"), token}, {QStringLiteral("id"), pk}});
}

QString deviceChanges(const CloudDevice &current, const CloudDevice &edited)
{
    QList<std::pair<QString, QJsonValue>> changes;
    const auto differs = [&](const char *key, const QString &was, const QString &now) {
        if (was != now)
            changes.append({QLatin1String(key), now});
    };
    differs("Type", QString::number(current.type), QString::number(edited.type));
    differs("NickName", current.nickName, edited.nickName);
    differs("UID", current.uid, edited.uid);
    differs("View_Account", current.viewAccount, edited.viewAccount);
    differs("View_Password", current.viewPassword, edited.viewPassword);
    differs("ChannelIndex", QString::number(current.channelCount),
            QString::number(edited.channelCount));
    // A device that changes kind sends its whole source (a P2P one: empty).
    const auto was = sourceFields(current);
    const auto now = sourceFields(edited);
    for (qsizetype i = 0; i < qMax(was.size(), now.size()); ++i) {
        const auto &field = i < now.size() ? now.at(i) : was.at(i);
        differs(qPrintable(field.first), i < was.size() ? was.at(i).second : QString(),
                i < now.size() ? now.at(i).second : QString());
    }
    return orderedJson(changes);
}

QString modifyDeviceBody(const QString &token, const QString &pk, const QString &changes)
{
    return form({{QStringLiteral("id"), pk},
                 {QStringLiteral("token"), token},
                 {QStringLiteral("content"), changes}});
}

QString nickNameBody(const QString &token, const QString &nickName)
{
    return form(
        {{QStringLiteral("token"), token},
         {QStringLiteral("content"), orderedJson({{QStringLiteral("NickName"), nickName}})}});
}

QString passwordBody(const QString &token, const QString &userName, const QString &oldPassword,
                     const QString &newPassword)
{
    return form({{QStringLiteral("username"), userName},
                 {QStringLiteral("oldPwd"), oldPassword},
                 {QStringLiteral("newPwd"), newPassword},
                 {QStringLiteral("token"), token}});
}

void post(const QString &path, const QString &body, QObject *context, Done done)
{
    postTo(AccountSettings::baseUrl() + path, body, context, std::move(done));
}

void postTo(const QString &url, const QString &body, QObject *context, Done done)
{
    auto *http = new Http(context);
    http->setUrl(url);
    QObject::connect(http, &Http::responsed, http, [http, done](bool ok) {
        const QByteArray reply = http->response();
        http->deleteLater();
        done(ok, reply);
    });
    http->post(body);
}

namespace {

QString token()
{
    return UserService::instance()->user()->access_token;
}

void postForResult(const QString &path, const QString &body, QObject *context, Result done)
{
    post(path, body, context, [done](bool ok, const QByteArray &reply) {
        QString reason;
        done(ok && succeeded(reply, "result_code", &reason), reason);
    });
}

QString withToken(const char *path)
{
    return QLatin1String(path) + QString::fromLatin1(QUrl::toPercentEncoding(token()));
}

} // namespace

void addDevice(const CloudDevice &device, QObject *context, Result done)
{
    postForResult(withToken(AddDevicePath), addDeviceBody(token(), device), context,
                  std::move(done));
}

void deleteDevice(const QString &pk, QObject *context, Result done)
{
    postForResult(withToken(DeleteDevicePath), deleteDeviceBody(token(), pk), context,
                  std::move(done));
}

void modifyDevice(const CloudDevice &current, const CloudDevice &edited, QObject *context,
                  Result done)
{
    postForResult(withToken(ModifyDevicePath),
                  modifyDeviceBody(token(), current.pk, deviceChanges(current, edited)), context,
                  std::move(done));
}

} // namespace AccountRequests
