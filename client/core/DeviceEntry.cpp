#include "core/DeviceEntry.h"

#include "config/Config.h"
#include "model/RtspUrl.h"

#include <QRegularExpression>

namespace {

bool parseStreams(const QString &urls, const QString &channels, RtspUrl::Streams *out, QString *why)
{
    bool isNumber = false;
    const int count = channels.toInt(&isNumber);
    return RtspUrl::parseStreams(urls, isNumber ? count : 0, out, why);
}

bool channelCountValid(const QString &channels)
{
    bool isNumber = false;
    const int count = channels.toInt(&isNumber);
    return isNumber && count >= 1 && count <= StoredLimits::MaxChannels;
}

} // namespace

QList<DeviceEntry::TypeItem> DeviceEntry::typeItems()
{
    return {{"", 0},
            {"DVR", 1},
            {"NVR", 2},
            {"NVR(WIRELESS)", 4},
            {"IPC(PTZ)", PtzCameraType},
            {"T301", 11},
            {"T302", 12},
            {"T303", 13},
            {"T304", 14},
            // After the original entries, so that stored picker indexes keep their meaning.
            {"IPC", 7}};
}

QString DeviceEntry::problem() const
{
    using namespace StoredLimits;
    if (type <= 0)
        return tr("请选择设备类型");
    const bool textsFit = name.size() <= MaxNameLength && account.size() <= MaxNameLength &&
                          password.size() <= MaxPasswordLength;
    if (kind == DeviceKind::Rtsp) {
        const QString why = rtspProblem(urls, channels, onvifHost);
        if (!why.isEmpty() || textsFit)
            return why;
        return tr("设备名称、用户名和密码最长128个字符");
    }
    if (uid.isEmpty())
        return tr("设备ID不能为空");
    static const QRegularExpression uidPattern(QStringLiteral("^[A-Za-z0-9_-]+$"));
    if (uid.size() > MaxUidLength || !uidPattern.match(uid).hasMatch())
        return tr("设备ID只能由字母、数字、\"-\"和\"_\"组成，最长64个字符");
    if (!channelCountValid(channels))
        return tr("通道数必须是1到64之间的整数");
    if (!textsFit)
        return tr("设备名称、用户名和密码最长128个字符");
    return QString();
}

bool DeviceEntry::toRecord(DeviceRecord *record) const
{
    *record = DeviceRecord{type, channels.toInt(), name, uid, account, password};
    return kind != DeviceKind::Rtsp || fillRtsp(urls, channels, onvifHost, udp, record);
}

bool DeviceEntry::needsOnvifProbe() const
{
    return kind == DeviceKind::Rtsp && urls.trimmed().isEmpty() && !onvifHost.isEmpty();
}

QString DeviceEntry::rtspProblem(const QString &urls, const QString &channels,
                                 const QString &onvifHost)
{
    static const QRegularExpression hostPattern(QStringLiteral("^[A-Za-z0-9.\\-]+(:\\d{1,5})?$"));
    if (!onvifHost.isEmpty() && (onvifHost.size() > StoredLimits::MaxHostLength ||
                                 !hostPattern.match(onvifHost).hasMatch()))
        return tr("ONVIF地址应为 host 或 host:port");
    if (urls.isEmpty() && !onvifHost.isEmpty()) {
        // The streams come from the device's media profiles.
        return channelCountValid(channels) ? QString() : tr("通道数必须是1到64之间的整数");
    }
    RtspUrl::Streams streams;
    QString why;
    if (!parseStreams(urls, channels, &streams, &why))
        return tr("RTSP地址无效: %1").arg(why);
    return QString();
}

bool DeviceEntry::fillRtsp(const QString &urls, const QString &channels, const QString &onvifHost,
                           bool udp, DeviceRecord *record)
{
    const auto transport = udp ? RtspSource::Transport::Udp : RtspSource::Transport::Tcp;
    if (urls.isEmpty() && !onvifHost.isEmpty() &&
        rtspProblem(urls, channels, onvifHost).isEmpty()) {
        record->kind = DeviceKind::Rtsp;
        record->uid = RtspUrl::onvifDeviceUid(onvifHost);
        record->channel = channels.toInt();
        record->rtsp.streams.clear();
        record->rtsp.onvifHost = onvifHost;
        record->rtsp.transport = transport;
        return true;
    }
    RtspUrl::Streams streams;
    if (!parseStreams(urls, channels, &streams, nullptr))
        return false;
    record->kind = DeviceKind::Rtsp;
    record->uid = RtspUrl::deviceUid(streams.streams.first().main);
    record->channel = int(streams.streams.size());
    if (streams.hasCredentials) {
        record->username = streams.user;
        record->password = streams.password;
    }
    record->rtsp.streams = streams.streams;
    record->rtsp.onvifHost = onvifHost;
    record->rtsp.transport = transport;
    return true;
}
