#include "DeviceHandlers.h"

#include "FieldRules.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <limits>

namespace accountd {

namespace {

const CodeKey R = CodeKey::ResultCode;
const QString modelName = QStringLiteral("equipment.equipment");

// The record id as the client's "pk"/"id": a positive decimal number.
std::optional<qint64> deviceId(const QString &text)
{
    const auto id = FieldRules::integer(text, 1, std::numeric_limits<int>::max());
    if (!id)
        return std::nullopt;
    return qint64(*id);
}

const QString sourceKeys[] = {QStringLiteral("Kind"), QStringLiteral("Streams"),
                              QStringLiteral("Onvif"), QStringLiteral("Transport")};

QString *sourceField(AccountStore::Device &device, const QString &key)
{
    QString *const fields[] = {&device.kind, &device.streams, &device.onvif, &device.transport};
    for (int i = 0; i < 4; ++i) {
        if (key == sourceKeys[i])
            return fields[i];
    }
    return nullptr;
}

QJsonObject deviceJson(const AccountStore::Device &device)
{
    QJsonObject fields{
        {QStringLiteral("UID"), device.uid},
        {QStringLiteral("NickName"), device.nickname},
        {QStringLiteral("View_Account"), device.viewAccount},
        {QStringLiteral("View_Password"), device.viewPassword},
        {QStringLiteral("Type"), device.type},
        {QStringLiteral("ChannelIndex"), device.channels},
        {QStringLiteral("area"), device.area},
        {QStringLiteral("userID"), QString::number(device.userId)},
    };
    // P2P devices keep the record they always had.
    if (!device.kind.isEmpty()) {
        fields.insert(QStringLiteral("Kind"), device.kind);
        fields.insert(QStringLiteral("Streams"), device.streams);
        fields.insert(QStringLiteral("Onvif"), device.onvif);
        fields.insert(QStringLiteral("Transport"), device.transport);
    }
    return QJsonObject{{QStringLiteral("pk"), QString::number(device.id)},
                       {QStringLiteral("model"), modelName},
                       {QStringLiteral("fields"), fields}};
}

} // namespace

DeviceHandlers::DeviceHandlers(AccountStore &store)
    : m_store(store)
{}

ApiReply DeviceHandlers::storeFailure(CodeKey key)
{
    qWarning("accountd: database failure: %s", qPrintable(m_store.lastError()));
    return jsonReply(key, ReplyCode::ServerError, QStringLiteral("database failure"));
}

QString DeviceHandlers::check(AccountStore::Device &device)
{
    if (device.kind == QLatin1String("p2p"))
        device.kind.clear();
    QString reason = FieldRules::deviceUid(device.uid);
    if (reason.isEmpty())
        reason = FieldRules::text(QStringLiteral("NickName"), device.nickname);
    if (reason.isEmpty())
        reason = FieldRules::text(QStringLiteral("View_Account"), device.viewAccount);
    if (reason.isEmpty())
        reason = FieldRules::text(QStringLiteral("View_Password"), device.viewPassword);
    if (reason.isEmpty())
        reason = FieldRules::deviceSource(device.kind, device.streams, device.onvif,
                                          device.transport);
    return reason;
}

ApiReply DeviceHandlers::list(RequestContext &context)
{
    QList<AccountStore::Device> devices;
    if (m_store.devices(context.session.userId, &devices) != AccountStore::Status::Ok)
        return storeFailure(CodeKey::ErrorCode);
    QJsonArray datas;
    for (const AccountStore::Device &device : devices)
        datas.append(deviceJson(device));
    ApiReply reply =
        jsonReply(CodeKey::ErrorCode, ReplyCode::Ok, QString(),
                  {{QStringLiteral("result"), QJsonObject{{QStringLiteral("datas"), datas}}}});
    reply.note =
        QStringLiteral("ok, %1 devices of user %2").arg(devices.size()).arg(context.session.userId);
    return reply;
}

ApiReply DeviceHandlers::add(RequestContext &context)
{
    const FormData &form = context.form;
    AccountStore::Device device;
    device.userId = context.session.userId;
    device.uid = form.value(QStringLiteral("UID"));
    device.nickname = form.value(QStringLiteral("NickName"));
    device.viewAccount = form.value(QStringLiteral("View_Account"));
    device.viewPassword = form.value(QStringLiteral("View_Password"));
    for (const QString &key : sourceKeys)
        *sourceField(device, key) = form.value(key);
    const QString type = form.value(QStringLiteral("Type"));
    const QString channels = form.value(QStringLiteral("ChannelIndex"));
    const auto typeValue =
        type.isEmpty() ? std::optional<int>(0) : FieldRules::integer(type, 0, 99999);
    const auto channelValue = channels.isEmpty()
                                  ? std::optional<int>(1)
                                  : FieldRules::integer(channels, 0, FieldRules::maxChannels);
    if (!typeValue)
        return jsonReply(R, ReplyCode::BadRequest,
                         QStringLiteral("Type must be a number from 0 to 99999"));
    if (!channelValue)
        return jsonReply(R, ReplyCode::BadRequest,
                         QStringLiteral("ChannelIndex must be a number from 0 to %1")
                             .arg(FieldRules::maxChannels));
    device.type = *typeValue;
    device.channels = *channelValue;
    const QString reason = check(device);
    if (!reason.isEmpty())
        return jsonReply(R, ReplyCode::BadRequest, reason);
    const AccountStore::Status status = m_store.addDevice(device);
    if (status == AccountStore::Status::Conflict)
        return jsonReply(R, ReplyCode::AlreadyExists,
                         QStringLiteral("a device with this UID is already in the account"));
    if (status != AccountStore::Status::Ok)
        return storeFailure(R);
    ApiReply reply =
        jsonReply(R, ReplyCode::Ok, QString(), {{QStringLiteral("result"), deviceJson(device)}});
    reply.note = QStringLiteral("ok, device %1 of user %2").arg(device.id).arg(device.userId);
    return reply;
}

ApiReply DeviceHandlers::remove(RequestContext &context)
{
    const auto id = deviceId(context.form.value(QStringLiteral("id")));
    if (!id)
        return jsonReply(R, ReplyCode::BadRequest, QStringLiteral("id must be a device number"));
    const AccountStore::Status status = m_store.deleteDevice(context.session.userId, *id);
    if (status == AccountStore::Status::NotFound)
        return jsonReply(R, ReplyCode::NoSuchDevice,
                         QStringLiteral("no such device in this account"));
    if (status != AccountStore::Status::Ok)
        return storeFailure(R);
    return jsonReply(R, ReplyCode::Ok);
}

ApiReply DeviceHandlers::modify(RequestContext &context)
{
    const auto id = deviceId(context.form.value(QStringLiteral("id")));
    if (!id)
        return jsonReply(R, ReplyCode::BadRequest, QStringLiteral("id must be a device number"));
    if (!context.form.contains(QStringLiteral("content")))
        return jsonReply(R, ReplyCode::BadRequest, QStringLiteral("content is required"));
    const QJsonDocument doc =
        QJsonDocument::fromJson(context.form.value(QStringLiteral("content")).toUtf8());
    if (!doc.isObject())
        return jsonReply(R, ReplyCode::BadRequest, QStringLiteral("content is not a JSON object"));

    AccountStore::Device device;
    const AccountStore::Status found = m_store.device(context.session.userId, *id, &device);
    if (found == AccountStore::Status::NotFound)
        return jsonReply(R, ReplyCode::NoSuchDevice,
                         QStringLiteral("no such device in this account"));
    if (found != AccountStore::Status::Ok)
        return storeFailure(R);

    const QJsonObject content = doc.object();
    for (auto it = content.constBegin(); it != content.constEnd(); ++it) {
        const QString key = it.key();
        const QJsonValue raw = it.value();
        // The client sends every value as a string; whole numbers are taken too.
        if (!raw.isString() && !raw.isDouble())
            return jsonReply(R, ReplyCode::BadRequest,
                             QStringLiteral("%1 must be a string").arg(key.left(32)));
        const QString value =
            raw.isDouble() ? QString::number(raw.toDouble(), 'g', 17) : raw.toString();
        if (key == QLatin1String("UID")) {
            device.uid = value;
        } else if (key == QLatin1String("NickName")) {
            device.nickname = value;
        } else if (key == QLatin1String("View_Account")) {
            device.viewAccount = value;
        } else if (key == QLatin1String("View_Password")) {
            device.viewPassword = value;
        } else if (key == QLatin1String("Type") || key == QLatin1String("ChannelIndex")) {
            const bool isType = key == QLatin1String("Type");
            const auto number =
                FieldRules::integer(value, 0, isType ? 99999 : FieldRules::maxChannels);
            if (!number)
                return jsonReply(R, ReplyCode::BadRequest,
                                 QStringLiteral("%1 is out of range").arg(key));
            (isType ? device.type : device.channels) = *number;
        } else if (QString *field = sourceField(device, key)) {
            *field = value;
        } else {
            return jsonReply(
                R, ReplyCode::BadRequest,
                QStringLiteral("content has the unknown field \"%1\"").arg(key.left(32)));
        }
    }
    const QString reason = check(device);
    if (!reason.isEmpty())
        return jsonReply(R, ReplyCode::BadRequest, reason);
    const AccountStore::Status status = m_store.updateDevice(device);
    if (status == AccountStore::Status::Conflict)
        return jsonReply(R, ReplyCode::AlreadyExists,
                         QStringLiteral("a device with this UID is already in the account"));
    if (status == AccountStore::Status::NotFound)
        return jsonReply(R, ReplyCode::NoSuchDevice,
                         QStringLiteral("no such device in this account"));
    if (status != AccountStore::Status::Ok)
        return storeFailure(R);
    return jsonReply(R, ReplyCode::Ok);
}

} // namespace accountd
