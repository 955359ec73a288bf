#include "DeviceConfig.h"

#include <QRegularExpression>
#include <QStringList>

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
    static const QStringList names{QStringLiteral("refuse-timezone"), QStringLiteral("stall-io"),
                                   QStringLiteral("corrupt-frame")};
    return names;
}

const QStringList &DeviceConfig::valueNames()
{
    static const QStringList names{
        QStringLiteral("uid"),        QStringLiteral("name"),     QStringLiteral("type"),
        QStringLiteral("channels"),   QStringLiteral("account"),  QStringLiteral("password"),
        QStringLiteral("version"),    QStringLiteral("codec"),    QStringLiteral("fps"),
        QStringLiteral("sd"),         QStringLiteral("hd"),       QStringLiteral("port"),
        QStringLiteral("pattern"),    QStringLiteral("talk-wav"), QStringLiteral("fault"),
        QStringLiteral("drop-after"), QStringLiteral("gop")};
    return names;
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

std::optional<DeviceConfig> DeviceConfig::fromOptions(const OptionMap &options, QString *error)
{
    DeviceConfig c;
    auto fail = [error](const QString &text) {
        if (error)
            *error = text;
        return std::nullopt;
    };
    for (auto it = options.cbegin(); it != options.cend(); ++it) {
        const QString &key = it.key();
        const QString &value = it.value();
        if (key == QLatin1String("uid")) {
            static const QRegularExpression uidRe(QStringLiteral("^[A-Za-z0-9_-]{1,20}$"));
            if (!uidRe.match(value).hasMatch())
                return fail(QStringLiteral("uid must be 1 to 20 letters, digits, '-' or '_'"));
            c.uid = value;
        } else if (key == QLatin1String("name")) {
            if (!isPrintableLatin1(value, 63))
                return fail(QStringLiteral("name must be at most 63 printable Latin-1 characters"));
            c.name = value;
        } else if (key == QLatin1String("type")) {
            if (!parseInt(value, 0, 99999, &c.type))
                return fail(QStringLiteral("type must be a device type code"));
        } else if (key == QLatin1String("channels")) {
            if (!parseInt(value, 1, 64, &c.channels))
                return fail(QStringLiteral("channels must be 1 to 64"));
        } else if (key == QLatin1String("account")) {
            if (!isPrintableLatin1(value, 63))
                return fail(QStringLiteral("account must be at most 63 printable characters"));
            c.account = value;
        } else if (key == QLatin1String("password")) {
            if (!isPrintableLatin1(value, 63))
                return fail(QStringLiteral("password must be at most 63 printable characters"));
            c.password = value;
        } else if (key == QLatin1String("version")) {
            if (!isPrintableLatin1(value, 63))
                return fail(QStringLiteral("version must be at most 63 printable characters"));
            c.version = value;
        } else if (key == QLatin1String("codec")) {
            const QString v = value.trimmed().toLower();
            if (v == QLatin1String("h264"))
                c.codec = VideoCodec::H264;
            else if (v == QLatin1String("h265") || v == QLatin1String("hevc"))
                c.codec = VideoCodec::H265;
            else
                return fail(QStringLiteral("codec must be h264 or h265"));
        } else if (key == QLatin1String("fps")) {
            if (!parseInt(value, 1, 60, &c.fps))
                return fail(QStringLiteral("fps must be 1 to 60"));
        } else if (key == QLatin1String("sd") || key == QLatin1String("hd")) {
            const std::optional<QSize> size = parseSize(value);
            if (!size)
                return fail(key + QStringLiteral(" must be WxH, even, 16 to 4096"));
            (key == QLatin1String("sd") ? c.sd : c.hd) = *size;
        } else if (key == QLatin1String("port")) {
            if (!parseInt(value, 0, 65535, &c.port))
                return fail(QStringLiteral("port must be 0 to 65535"));
        } else if (key == QLatin1String("pattern")) {
            const QString v = value.trimmed().toLower();
            if (v == QLatin1String("moving"))
                c.pattern = PatternMode::Moving;
            else if (v == QLatin1String("solid"))
                c.pattern = PatternMode::Solid;
            else
                return fail(QStringLiteral("pattern must be moving or solid"));
        } else if (key == QLatin1String("talk-wav")) {
            c.talkWav = value;
        } else if (key == QLatin1String("fault")) {
            const QString v = value.trimmed().toLower();
            if (v == QLatin1String("none") || v.isEmpty())
                c.fault = ConnectFault::None;
            else if (v == QLatin1String("refuse"))
                c.fault = ConnectFault::Refuse;
            else if (v == QLatin1String("silent"))
                c.fault = ConnectFault::Silent;
            else
                return fail(QStringLiteral("fault must be none, refuse or silent"));
        } else if (key == QLatin1String("drop-after")) {
            if (!parseInt(value, 0, 86400, &c.dropAfterSec))
                return fail(QStringLiteral("drop-after must be 0 to 86400 seconds"));
        } else if (key == QLatin1String("gop")) {
            if (!parseInt(value, 1, 60, &c.gopSec))
                return fail(QStringLiteral("gop must be 1 to 60 seconds"));
        } else if (key == QLatin1String("refuse-timezone")) {
            if (!parseBool(value, &c.refuseTimezone))
                return fail(QStringLiteral("refuse-timezone must be true or false"));
        } else if (key == QLatin1String("stall-io")) {
            if (!parseBool(value, &c.stallIo))
                return fail(QStringLiteral("stall-io must be true or false"));
        } else if (key == QLatin1String("corrupt-frame")) {
            if (!parseBool(value, &c.corruptFrame))
                return fail(QStringLiteral("corrupt-frame must be true or false"));
        } else {
            return fail(QStringLiteral("unknown option: ") + key);
        }
    }
    if (c.uid.isEmpty())
        return fail(QStringLiteral("uid is required"));
    return c;
}

} // namespace devsim
