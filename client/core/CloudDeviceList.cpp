#include "core/CloudDeviceList.h"

#include "model/RtspUrl.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

namespace {

// A JSON value as text; numbers are accepted too (a UID may come as a number).
// A number beyond qint64 (1e300) reads as no text: it names nothing.
QString textOf(const QJsonValue &v)
{
    if (v.isString())
        return v.toString();
    if (v.isDouble() && v.toDouble() >= -0x1p63 && v.toDouble() < 0x1p63)
        return QString::number(qint64(v.toDouble()));
    return QString();
}

// A JSON value as an int; numeric strings are accepted too.
int intOf(const QJsonValue &v, int fallback)
{
    if (v.isDouble())
        return v.toInt(fallback);
    if (v.isString()) {
        bool ok = false;
        const int n = v.toString().trimmed().toInt(&ok);
        return ok ? n : fallback;
    }
    return fallback;
}

} // namespace

bool parseCloudDeviceList(const QByteArray &body, QList<CloudDevice> *devices)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return false;
    const QJsonObject root = doc.object();
    const QJsonValue code = root.value(QLatin1String("error_code"));
    if (!code.isDouble() || code.toDouble() != 0)
        return false;
    const QJsonValue result = root.value(QLatin1String("result"));
    if (!result.isObject())
        return false;
    const QJsonValue datas = result.toObject().value(QLatin1String("datas"));
    if (!datas.isArray())
        return false;

    QList<CloudDevice> parsed;
    for (const QJsonValue &item : datas.toArray()) {
        if (!item.isObject())
            continue;
        const QJsonObject element = item.toObject();
        const QJsonObject fields = element.value(QLatin1String("fields")).toObject();
        CloudDevice d;
        d.uid = textOf(fields.value(QLatin1String("UID"))).trimmed();
        if (d.uid.isEmpty())
            continue;
        d.pk = textOf(element.value(QLatin1String("pk")));
        d.model = textOf(element.value(QLatin1String("model")));
        d.area = textOf(fields.value(QLatin1String("area")));
        d.type = intOf(fields.value(QLatin1String("Type")), 0);
        d.userId = textOf(fields.value(QLatin1String("userID")));
        d.nickName = textOf(fields.value(QLatin1String("NickName")));
        d.channelCount =
            qBound(1, intOf(fields.value(QLatin1String("ChannelIndex")), 1), MaxCloudChannels);
        d.viewPassword = textOf(fields.value(QLatin1String("View_Password")));
        d.viewAccount = textOf(fields.value(QLatin1String("View_Account")));
        const QString kind = textOf(fields.value(QLatin1String("Kind")));
        if (kind == QLatin1String("rtsp")) {
            QString why;
            if (!RtspUrl::readStored(textOf(fields.value(QLatin1String("Streams"))),
                                     textOf(fields.value(QLatin1String("Onvif"))),
                                     textOf(fields.value(QLatin1String("Transport"))), &d.rtsp,
                                     nullptr, &why))
                continue;
            d.kind = DeviceKind::Rtsp;
            if (!d.rtsp.streams.isEmpty())
                d.channelCount = int(qMin(d.rtsp.streams.size(), qsizetype(MaxCloudChannels)));
        } else if (!kind.isEmpty() && kind != QLatin1String("p2p")) {
            continue;
        }
        parsed.append(d);
    }
    *devices = parsed;
    return true;
}
