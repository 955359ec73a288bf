#include "CommandLine.h"

#include <QCommandLineParser>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace devsim {

namespace {

QString describe(const QString &name)
{
    static const QMap<QString, QString> help{
        {QStringLiteral("uid"), QStringLiteral("Device UID (1 to 20 characters).")},
        {QStringLiteral("name"), QStringLiteral("Device name shown by LAN search.")},
        {QStringLiteral("type"), QStringLiteral("Device type code (1 DVR, 2 NVR, 7 IPC, ...).")},
        {QStringLiteral("channels"), QStringLiteral("Number of video channels (1 to 64).")},
        {QStringLiteral("account"), QStringLiteral("View account.")},
        {QStringLiteral("password"), QStringLiteral("View password.")},
        {QStringLiteral("version"), QStringLiteral("Version text of the version reply.")},
        {QStringLiteral("codec"), QStringLiteral("Video codec: h264 or h265.")},
        {QStringLiteral("fps"), QStringLiteral("Frames per second (default 25).")},
        {QStringLiteral("sd"), QStringLiteral("SD picture size WxH (default 640x360).")},
        {QStringLiteral("hd"), QStringLiteral("HD picture size WxH (default 1280x720).")},
        {QStringLiteral("port"), QStringLiteral("TCP port; 0 picks a free one.")},
        {QStringLiteral("pattern"), QStringLiteral("Picture: moving, solid or clock.")},
        {QStringLiteral("talk-wav"), QStringLiteral("Write received talk audio to this WAV.")},
        {QStringLiteral("fault"), QStringLiteral("Connect fault: none, refuse or silent.")},
        {QStringLiteral("drop-after"), QStringLiteral("Drop each session after N seconds.")},
        {QStringLiteral("gop"), QStringLiteral("Seconds between key frames (default 2).")},
        {QStringLiteral("recordings"),
         QStringLiteral("Daily recordings, HH:MM[:SS]-HH:MM[:SS],... (UTC).")},
        {QStringLiteral("record-days"), QStringLiteral("Days of recordings up to today (7).")},
        {QStringLiteral("motion"),
         QStringLiteral("Daily motion, HH:MM[:SS]-HH:MM[:SS],... (UTC; ONVIF events).")},
        {QStringLiteral("motion-every"),
         QStringLiteral("A live motion burst (2 s) every N seconds (ONVIF events).")},
        {QStringLiteral("alarms"),
         QStringLiteral("Daily alarms, HH:MM[:SS]-HH:MM[:SS],... (UTC; recorded as alarm).")},
        {QStringLiteral("playback-channels"),
         QStringLiteral("At most N channels play back at once; more are answered busy.")},
        {QStringLiteral("state-dir"),
         QStringLiteral("Folder keeping each device's TLS key (default: devsim-state beside "
                        "--config; without --config a key for this run only).")},
        {QStringLiteral("max-sessions"), QStringLiteral("Client sessions at once (default 64).")},
        {QStringLiteral("refuse-timezone"), QStringLiteral("Refuse time-zone changes.")},
        {QStringLiteral("stall-io"), QStringLiteral("Never answer IO control messages.")},
        {QStringLiteral("corrupt-frame"), QStringLiteral("Slip a corrupt frame in now and then.")},
        {QStringLiteral("shared-stream"),
         QStringLiteral("Every channel sends channel 1's stream (load tests).")},
        {QStringLiteral("ptz"), QStringLiteral("The channels are PTZ cameras.")},
        {QStringLiteral("print-settings"),
         QStringLiteral("Print a SETTINGS line after each settings change.")},
        {QStringLiteral("print-frames"),
         QStringLiteral("Print a FRAMES line per streaming AV channel every second.")},
        {QStringLiteral("rtsp"),
         QStringLiteral("Serve the channels over RTSP on this port (0: any).")},
        {QStringLiteral("onvif"), QStringLiteral("Answer ONVIF on this HTTP port (0: any).")},
        {QStringLiteral("onvif-auth"),
         QStringLiteral("ONVIF authentication: wsse (UsernameToken) or digest (HTTP).")},
    };
    return help.value(name);
}

QString jsonValueText(const QJsonValue &v, bool *ok)
{
    *ok = true;
    switch (v.type()) {
    case QJsonValue::String:
        return v.toString();
    case QJsonValue::Double: {
        const double d = v.toDouble();
        // Whole numbers only; one beyond long long must not reach the cast.
        if (!(d >= -0x1p63 && d < 0x1p63) || d != static_cast<double>(static_cast<long long>(d))) {
            *ok = false;
            return {};
        }
        return QString::number(static_cast<long long>(d));
    }
    case QJsonValue::Bool:
        return v.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    default:
        *ok = false;
        return {};
    }
}

} // namespace

CommandLine::Result CommandLine::parse(const QStringList &args)
{
    Result result;
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Simulates P2P cameras, DVRs and NVRs on this machine."));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption configOption(QStringLiteral("config"),
                                          QStringLiteral("JSON file with an array of devices."),
                                          QStringLiteral("file"));
    parser.addOption(configOption);
    const QCommandLineOption watchStdinOption(
        QStringLiteral("watch-stdin"),
        QStringLiteral("End when standard input closes (for test harnesses)."));
    parser.addOption(watchStdinOption);
    const QCommandLineOption wsdPortOption(
        QStringLiteral("wsd-port"),
        QStringLiteral("WS-Discovery port of the ONVIF devices (default 3702; 0: any)."),
        QStringLiteral("port"));
    parser.addOption(wsdPortOption);
    for (const QString &name : DeviceConfig::valueNames())
        parser.addOption(QCommandLineOption(name, describe(name), QStringLiteral("value")));
    for (const QString &name : DeviceConfig::flagNames())
        parser.addOption(QCommandLineOption(name, describe(name)));

    if (!parser.parse(args)) {
        result.error = parser.errorText();
        return result;
    }
    if (parser.isSet(helpOption)) {
        result.help = true;
        result.helpText = parser.helpText();
        return result;
    }
    result.watchStdin = parser.isSet(watchStdinOption);
    if (parser.isSet(wsdPortOption)) {
        bool ok = false;
        const int port = parser.value(wsdPortOption).toInt(&ok);
        if (!ok || port < 0 || port > 65535) {
            result.error = QStringLiteral("wsd-port must be a port, 0 to 65535");
            return result;
        }
        result.wsdPort = port;
    }
    if (!parser.positionalArguments().isEmpty()) {
        result.error =
            QStringLiteral("unexpected argument: ") + parser.positionalArguments().first();
        return result;
    }

    DeviceConfig::OptionMap options;
    for (const QString &name : DeviceConfig::valueNames()) {
        if (parser.isSet(name))
            options.insert(name, parser.value(name));
    }
    for (const QString &name : DeviceConfig::flagNames()) {
        if (parser.isSet(name))
            options.insert(name, QStringLiteral("true"));
    }

    if (parser.isSet(configOption)) {
        QFile file(parser.value(configOption));
        if (!file.open(QIODevice::ReadOnly)) {
            result.error = QStringLiteral("cannot read ") + file.fileName() + QStringLiteral(": ") +
                           file.errorString();
            return result;
        }
        // Command-line options are defaults for the file's devices, except the UID.
        options.remove(QStringLiteral("uid"));
        if (!options.contains(QStringLiteral("state-dir")))
            options.insert(QStringLiteral("state-dir"), QFileInfo(file.fileName()).absolutePath() +
                                                            QStringLiteral("/devsim-state"));
        Result fromFile = parseJson(file.readAll(), options);
        fromFile.watchStdin = result.watchStdin;
        fromFile.wsdPort = result.wsdPort;
        return fromFile;
    }

    QString error;
    const std::optional<DeviceConfig> config = DeviceConfig::fromOptions(options, &error);
    if (!config) {
        result.error = error;
        return result;
    }
    result.devices.push_back(*config);
    return result;
}

CommandLine::Result CommandLine::parseJson(const QByteArray &json,
                                           const DeviceConfig::OptionMap &defaults)
{
    Result result;
    QJsonParseError parseError{};
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        result.error = QStringLiteral("config: ") + parseError.errorString() +
                       QStringLiteral(" at offset ") + QString::number(parseError.offset);
        return result;
    }
    if (!doc.isArray()) {
        result.error = QStringLiteral("config: expected an array of device objects");
        return result;
    }
    const QJsonArray array = doc.array();
    if (array.isEmpty()) {
        result.error = QStringLiteral("config: no devices");
        return result;
    }
    QStringList uids;
    for (int i = 0; i < array.size(); ++i) {
        const QString where = QStringLiteral("config: device %1: ").arg(i);
        if (!array.at(i).isObject()) {
            result.error = where + QStringLiteral("not an object");
            result.devices.clear();
            return result;
        }
        DeviceConfig::OptionMap options = defaults;
        const QJsonObject object = array.at(i).toObject();
        for (auto it = object.begin(); it != object.end(); ++it) {
            bool ok = false;
            const QString text = jsonValueText(it.value(), &ok);
            if (!ok) {
                result.error = where + QStringLiteral("bad value for ") + it.key();
                result.devices.clear();
                return result;
            }
            options.insert(it.key(), text);
        }
        QString error;
        const std::optional<DeviceConfig> config = DeviceConfig::fromOptions(options, &error);
        if (!config) {
            result.error = where + error;
            result.devices.clear();
            return result;
        }
        if (uids.contains(config->uid)) {
            result.error = where + QStringLiteral("duplicate uid ") + config->uid;
            result.devices.clear();
            return result;
        }
        uids << config->uid;
        result.devices.push_back(*config);
    }
    return result;
}

} // namespace devsim
