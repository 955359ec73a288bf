#include "DeviceConfig.h"

#include "RecordStore.h"

#include <QRegularExpression>
#include <QStringList>

#include <functional>

namespace devsim {

namespace {

bool parseInt(const QString &text, int min, int max, int *out)
{
    bool ok = false;
    const int v = text.trimmed().toInt(&ok);
    if (!ok || v < min || v > max)
        return false;
    *out = v;
    return true;
}

bool parseBool(const QString &text, bool *out)
{
    const QString t = text.trimmed().toLower();
    if (t.isEmpty() || t == QLatin1String("true") || t == QLatin1String("1")) {
        *out = true;
        return true;
    }
    if (t == QLatin1String("false") || t == QLatin1String("0")) {
        *out = false;
        return true;
    }
    return false;
}

bool isPrintableLatin1(const QString &text, int maxBytes)
{
    const QByteArray bytes = text.toLatin1();
    if (bytes.size() > maxBytes || QString::fromLatin1(bytes) != text)
        return false;
    for (char c : bytes) {
        if (static_cast<unsigned char>(c) < 0x20)
            return false;
    }
    return true;
}

} // namespace

const QStringList &DeviceConfig::flagNames()
{
    static const QStringList names{QStringLiteral("refuse-timezone"),
                                   QStringLiteral("stall-io"),
                                   QStringLiteral("corrupt-frame"),
                                   QStringLiteral("shared-stream"),
                                   QStringLiteral("ptz"),
                                   QStringLiteral("print-settings"),
                                   QStringLiteral("print-frames")};
    return names;
}

const QStringList &DeviceConfig::valueNames()
{
    static const QStringList names{
        QStringLiteral("uid"),        QStringLiteral("name"),
        QStringLiteral("type"),       QStringLiteral("channels"),
        QStringLiteral("account"),    QStringLiteral("password"),
        QStringLiteral("version"),    QStringLiteral("codec"),
        QStringLiteral("fps"),        QStringLiteral("sd"),
        QStringLiteral("hd"),         QStringLiteral("port"),
        QStringLiteral("pattern"),    QStringLiteral("talk-wav"),
        QStringLiteral("fault"),      QStringLiteral("drop-after"),
        QStringLiteral("gop"),        QStringLiteral("max-sessions"),
        QStringLiteral("recordings"), QStringLiteral("record-days"),
        QStringLiteral("rtsp"),       QStringLiteral("onvif"),
        QStringLiteral("onvif-auth"), QStringLiteral("state-dir"),
        QStringLiteral("motion"),     QStringLiteral("motion-every"),
        QStringLiteral("alarms"),     QStringLiteral("playback-channels")};
    return names;
}

QString DeviceConfig::typeName() const
{
    static const QMap<int, QString> names{
        {1, QStringLiteral("DVR")},          {2, QStringLiteral("NVR")},
        {3, QStringLiteral("NVR(POE)")},     {4, QStringLiteral("NVR(WIRELESS)")},
        {5, QStringLiteral("IPC(POE)")},     {6, QStringLiteral("IPC(BOL)")},
        {7, QStringLiteral("IPC")},          {8, QStringLiteral("IPC(KAPIANJI)")},
        {9, QStringLiteral("IPC(FISHEYE)")}, {10, QStringLiteral("IPC(PTZ)")},
        {11, QStringLiteral("T301")},        {12, QStringLiteral("T302")},
        {13, QStringLiteral("T303")},        {14, QStringLiteral("T304")},
        {10001, QStringLiteral("DVR(PTZ)")}};
    return names.value(type, QStringLiteral("type %1").arg(type));
}

std::optional<QSize> DeviceConfig::parseSize(const QString &text)
{
    static const QRegularExpression re(QStringLiteral("^(\\d{1,5})[xX](\\d{1,5})$"));
    const QRegularExpressionMatch m = re.match(text.trimmed());
    if (!m.hasMatch())
        return std::nullopt;
    const int w = m.captured(1).toInt();
    const int h = m.captured(2).toInt();
    if (w < 16 || h < 16 || w > 4096 || h > 4096 || (w % 2) != 0 || (h % 2) != 0)
        return std::nullopt;
    return QSize(w, h);
}

namespace {

// Applies one option's text to a configuration: an error text, or empty.
using OptionSetter = std::function<QString(DeviceConfig &, const QString &)>;

OptionSetter intOption(int DeviceConfig::*field, int min, int max, const QString &error)
{
    return [=](DeviceConfig &c, const QString &value) {
        return parseInt(value, min, max, &(c.*field)) ? QString() : error;
    };
}

OptionSetter textOption(QString DeviceConfig::*field, const QString &error)
{
    return [=](DeviceConfig &c, const QString &value) {
        if (!isPrintableLatin1(value, 63))
            return error;
        c.*field = value;
        return QString();
    };
}

OptionSetter flagOption(bool DeviceConfig::*field, const QString &name)
{
    return [=](DeviceConfig &c, const QString &value) {
        return parseBool(value, &(c.*field)) ? QString()
                                             : name + QStringLiteral(" must be true or false");
    };
}

// An option with a fixed set of (lower-case) values.
template <typename T>
OptionSetter choiceOption(T DeviceConfig::*field, const QMap<QString, T> &choices,
                          const QString &error)
{
    return [=](DeviceConfig &c, const QString &value) {
        const auto it = choices.find(value.trimmed().toLower());
        if (it == choices.end())
            return error;
        c.*field = *it;
        return QString();
    };
}

OptionSetter sizeOption(QSize DeviceConfig::*field, const QString &name)
{
    return [=](DeviceConfig &c, const QString &value) {
        const std::optional<QSize> size = DeviceConfig::parseSize(value);
        if (!size)
            return name + QStringLiteral(" must be WxH, even, 16 to 4096");
        c.*field = *size;
        return QString();
    };
}

QString setUid(DeviceConfig &c, const QString &value)
{
    static const QRegularExpression uidRe(QStringLiteral("^[A-Za-z0-9_-]{1,20}$"));
    if (!uidRe.match(value).hasMatch())
        return QStringLiteral("uid must be 1 to 20 letters, digits, '-' or '_'");
    c.uid = value;
    return QString();
}

QString setRecordings(DeviceConfig &c, const QString &value)
{
    QString error;
    if (!RecordStore::parseSchedule(value, &error))
        return error;
    c.recordings = value;
    return QString();
}

QString setMotion(DeviceConfig &c, const QString &value)
{
    QString error;
    if (!RecordStore::parseSchedule(value, &error))
        return QStringLiteral("motion: ") + error.section(QStringLiteral(": "), 1);
    c.motion = value;
    return QString();
}

QString setAlarms(DeviceConfig &c, const QString &value)
{
    QString error;
    if (!RecordStore::parseSchedule(value, &error))
        return QStringLiteral("alarms: ") + error.section(QStringLiteral(": "), 1);
    c.alarms = value;
    return QString();
}

QString setTalkWav(DeviceConfig &c, const QString &value)
{
    c.talkWav = value;
    return QString();
}

QString setStateDir(DeviceConfig &c, const QString &value)
{
    c.stateDir = value;
    return QString();
}

const QMap<QString, OptionSetter> &optionSetters()
{
    using C = DeviceConfig;
    static const QMap<QString, OptionSetter> setters{
        {QStringLiteral("uid"), setUid},
        {QStringLiteral("name"),
         textOption(&C::name,
                    QStringLiteral("name must be at most 63 printable Latin-1 characters"))},
        {QStringLiteral("type"),
         intOption(&C::type, 0, 99999, QStringLiteral("type must be a device type code"))},
        {QStringLiteral("channels"),
         intOption(&C::channels, 1, 64, QStringLiteral("channels must be 1 to 64"))},
        {QStringLiteral("account"),
         textOption(&C::account,
                    QStringLiteral("account must be at most 63 printable characters"))},
        {QStringLiteral("password"),
         textOption(&C::password,
                    QStringLiteral("password must be at most 63 printable characters"))},
        {QStringLiteral("version"),
         textOption(&C::version,
                    QStringLiteral("version must be at most 63 printable characters"))},
        {QStringLiteral("codec"),
         choiceOption<VideoCodec>(&C::codec,
                                  {{QStringLiteral("h264"), VideoCodec::H264},
                                   {QStringLiteral("h265"), VideoCodec::H265},
                                   {QStringLiteral("hevc"), VideoCodec::H265}},
                                  QStringLiteral("codec must be h264 or h265"))},
        {QStringLiteral("fps"), intOption(&C::fps, 1, 60, QStringLiteral("fps must be 1 to 60"))},
        {QStringLiteral("sd"), sizeOption(&C::sd, QStringLiteral("sd"))},
        {QStringLiteral("hd"), sizeOption(&C::hd, QStringLiteral("hd"))},
        {QStringLiteral("port"),
         intOption(&C::port, 0, 65535, QStringLiteral("port must be 0 to 65535"))},
        {QStringLiteral("pattern"),
         choiceOption<PatternMode>(&C::pattern,
                                   {{QStringLiteral("moving"), PatternMode::Moving},
                                    {QStringLiteral("solid"), PatternMode::Solid},
                                    {QStringLiteral("clock"), PatternMode::Clock}},
                                   QStringLiteral("pattern must be moving, solid or clock"))},
        {QStringLiteral("talk-wav"), setTalkWav},
        {QStringLiteral("state-dir"), setStateDir},
        {QStringLiteral("recordings"), setRecordings},
        {QStringLiteral("record-days"), intOption(&C::recordDays, 1, RecordStore::MaxDays,
                                                  QStringLiteral("record-days must be 1 to 366"))},
        {QStringLiteral("motion"), setMotion},
        {QStringLiteral("alarms"), setAlarms},
        {QStringLiteral("playback-channels"),
         intOption(&C::playbackChannels, 1, 64,
                   QStringLiteral("playback-channels must be 1 to 64"))},
        {QStringLiteral("motion-every"),
         intOption(&C::motionEverySec, 1, 3600,
                   QStringLiteral("motion-every must be 1 to 3600 seconds"))},
        {QStringLiteral("fault"),
         choiceOption<ConnectFault>(&C::fault,
                                    {{QString(), ConnectFault::None},
                                     {QStringLiteral("none"), ConnectFault::None},
                                     {QStringLiteral("refuse"), ConnectFault::Refuse},
                                     {QStringLiteral("silent"), ConnectFault::Silent}},
                                    QStringLiteral("fault must be none, refuse or silent"))},
        {QStringLiteral("drop-after"),
         intOption(&C::dropAfterSec, 0, 86400,
                   QStringLiteral("drop-after must be 0 to 86400 seconds"))},
        {QStringLiteral("gop"),
         intOption(&C::gopSec, 1, 60, QStringLiteral("gop must be 1 to 60 seconds"))},
        {QStringLiteral("max-sessions"),
         intOption(&C::maxSessions, 1, 1024, QStringLiteral("max-sessions must be 1 to 1024"))},
        {QStringLiteral("rtsp"),
         intOption(&C::rtspPort, 0, 65535, QStringLiteral("rtsp must be a port, 0 to 65535"))},
        {QStringLiteral("onvif"),
         intOption(&C::onvifPort, 0, 65535, QStringLiteral("onvif must be a port, 0 to 65535"))},
        {QStringLiteral("onvif-auth"),
         choiceOption<OnvifAuth>(&C::onvifAuth,
                                 {{QStringLiteral("wsse"), OnvifAuth::WsSecurity},
                                  {QStringLiteral("digest"), OnvifAuth::HttpDigest}},
                                 QStringLiteral("onvif-auth must be wsse or digest"))},
        {QStringLiteral("refuse-timezone"),
         flagOption(&C::refuseTimezone, QStringLiteral("refuse-timezone"))},
        {QStringLiteral("stall-io"), flagOption(&C::stallIo, QStringLiteral("stall-io"))},
        {QStringLiteral("corrupt-frame"),
         flagOption(&C::corruptFrame, QStringLiteral("corrupt-frame"))},
        {QStringLiteral("shared-stream"),
         flagOption(&C::sharedStream, QStringLiteral("shared-stream"))},
        {QStringLiteral("ptz"), flagOption(&C::ptz, QStringLiteral("ptz"))},
        {QStringLiteral("print-settings"),
         flagOption(&C::printSettings, QStringLiteral("print-settings"))},
        {QStringLiteral("print-frames"),
         flagOption(&C::printFrames, QStringLiteral("print-frames"))},
    };
    return setters;
}

} // namespace

std::optional<DeviceConfig> DeviceConfig::fromOptions(const OptionMap &options, QString *error)
{
    DeviceConfig c;
    auto fail = [error](const QString &text) {
        if (error)
            *error = text;
        return std::nullopt;
    };
    const QMap<QString, OptionSetter> &setters = optionSetters();
    for (auto it = options.cbegin(); it != options.cend(); ++it) {
        const auto setter = setters.find(it.key());
        if (setter == setters.end())
            return fail(QStringLiteral("unknown option: ") + it.key());
        const QString problem = (*setter)(c, it.value());
        if (!problem.isEmpty())
            return fail(problem);
    }
    if (c.uid.isEmpty())
        return fail(QStringLiteral("uid is required"));
    return c;
}

} // namespace devsim
