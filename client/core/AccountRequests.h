#pragma once

#include "core/CloudDeviceList.h"

#include <QByteArray>
#include <QJsonValue>
#include <QList>
#include <QString>

#include <functional>
#include <utility>

class QObject;
class Http;

// The account service's requests: form bodies, the calls themselves and
// their outcome. Every form value is percent-encoded (UTF-8), so names with
// "&", "+", "=" or "%" reach the service unchanged; JSON inside a form value
// is written by QJsonDocument, with the keys in the service's order.
// GUI thread only.
namespace AccountRequests {

using Fields = QList<std::pair<QString, QString>>;
// "a=1&b=2", every value percent-encoded.
QString form(const Fields &fields);
// A JSON object's text with the keys in the given order.
QString orderedJson(const QList<std::pair<QString, QJsonValue>> &fields);
// True when the body is a JSON object whose codeKey ("error_code",
// "result_code") is 0; *reason gets its "reason" text otherwise.
bool succeeded(const QByteArray &body, const char *codeKey, QString *reason = nullptr);

QString loginBody(const QString &userName, const QString &password);
QString deviceListBody(const QString &token);
QString addDeviceBody(const QString &token, const CloudDevice &device);
QString deleteDeviceBody(const QString &token, const QString &pk);
// Only the fields that differ, in the order Type, NickName, UID,
// View_Account, View_Password, ChannelIndex, then an RTSP device's Kind,
// Streams, Onvif, Transport; every value a string.
QString deviceChanges(const CloudDevice &current, const CloudDevice &edited);
QString modifyDeviceBody(const QString &token, const QString &pk, const QString &changes);
QString nickNameBody(const QString &token, const QString &nickName);
QString passwordBody(const QString &token, const QString &userName, const QString &oldPassword,
                     const QString &newPassword);

// Paths after the base URL.
inline constexpr char LoginPath[] = "/v2/account/login";
inline constexpr char RefreshPath[] = "/v2/account/refreshToken";
inline constexpr char DeviceListPath[] = "/equipment/queryUserEquipment";
inline constexpr char AddDevicePath[] = "/equipment/add?token=";
inline constexpr char DeleteDevicePath[] = "/equipment/delete?token=";
inline constexpr char ModifyDevicePath[] = "/equipment/modifyUserEquipment?token=";
inline constexpr char UserInfoPath[] = "/account/perfectUserInfo?token=";
inline constexpr char PasswordPath[] = "/account/changePwd?token=";

// ok and the reply's body (empty on a network failure or time-out).
using Done = std::function<void(bool ok, const QByteArray &body)>;
// POSTs the form to the base URL + path; done runs once, unless context is
// gone by then. The request is cancelled with context.
void post(const QString &path, const QString &body, QObject *context, Done done);
// The same to a whole URL.
void postTo(const QString &url, const QString &body, QObject *context, Done done);

// The logged-in user's device requests; done gets ok when the service
// answered "result_code" 0, else the reason to show (empty: none given).
using Result = std::function<void(bool ok, const QString &reason)>;
void addDevice(const CloudDevice &device, QObject *context, Result done);
void deleteDevice(const QString &pk, QObject *context, Result done);
void modifyDevice(const CloudDevice &current, const CloudDevice &edited, QObject *context,
                  Result done);

} // namespace AccountRequests
