// Registers simulated devices for the local "Admin" login, so that the demo
// opens with its devices in the tree. Reads the device list that devsim plays
// (a JSON array of objects with uid, name, type, channels, account, password)
// and stores each one in the configuration file of the current settings
// location (point XDG_CONFIG_HOME, or the platform's equivalent, at a folder
// of the demo's own to leave the user's settings untouched). An entry with
// an "onvif" port is stored as an RTSP camera known by its ONVIF host
// (127.0.0.1:port) alone: the client asks it for its streams.
//
//   orvane-demo-setup devsim/demo.json [--account-url URL [--ca-file PEM]]
//
// With --account-url the settings also point the cloud login at that
// account service (and trust the CA certificate in PEM besides the system's).
// With --list it only prints the devices, one a line: uid, name, type,
// channels, account, password and ONVIF host (empty for P2P devices)
// separated by tabs.

#include "config/Config.h"
#include "model/RtspUrl.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>

namespace {

// "127.0.0.1:port" of an entry with an "onvif" port; empty for the others.
QString onvifHost(const QJsonObject &o)
{
    const int port = o.value(QStringLiteral("onvif")).toInt(0);
    return port > 0 && port <= 65535 ? QStringLiteral("127.0.0.1:%1").arg(port) : QString();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Orvane"));
    QCoreApplication::setApplicationName(QStringLiteral("Orvane"));
    QTextStream err(stderr);

    QStringList args = QCoreApplication::arguments();
    QString accountUrl, caFile;
    const bool listOnly = args.size() == 3 && args.at(2) == QLatin1String("--list");
    for (int i = 2; !listOnly && i + 1 < args.size(); i += 2) {
        if (args.at(i) == QLatin1String("--account-url"))
            accountUrl = args.at(i + 1);
        else if (args.at(i) == QLatin1String("--ca-file"))
            caFile = args.at(i + 1);
        else
            args.clear();
    }
    if (args.size() < 2 || (!listOnly && args.size() % 2 != 0)) {
        err << "usage: orvane-demo-setup <devices.json> [--list | --account-url URL [--ca-file "
               "PEM]]\n";
        return 2;
    }
    QFile file(args.at(1));
    if (!file.open(QIODevice::ReadOnly)) {
        err << "cannot read " << args.at(1) << ": " << file.errorString() << '\n';
        return 1;
    }
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &parseError);
    if (!doc.isArray()) {
        err << args.at(1) << ": not a JSON array of devices (" << parseError.errorString() << ")\n";
        return 1;
    }

    if (listOnly) {
        QTextStream out(stdout);
        const auto clean = [](QString text) {
            return text.replace(QLatin1Char('\t'), QLatin1Char(' '));
        };
        for (const QJsonValue &value : doc.array()) {
            const QJsonObject o = value.toObject();
            QString uid = o.value(QStringLiteral("uid")).toString();
            if (uid.isEmpty())
                continue;
            const QString host = onvifHost(o);
            if (!host.isEmpty())
                uid = RtspUrl::onvifDeviceUid(host);
            out << clean(uid) << '\t' << clean(o.value(QStringLiteral("name")).toString(uid))
                << '\t' << o.value(QStringLiteral("type")).toInt(0) << '\t'
                << o.value(QStringLiteral("channels")).toInt(1) << '\t'
                << clean(o.value(QStringLiteral("account")).toString(QStringLiteral("admin")))
                << '\t' << clean(o.value(QStringLiteral("password")).toString()) << '\t' << host
                << '\n';
        }
        return 0;
    }
    Config *config = Config::instance();
    if (!accountUrl.isEmpty()) {
        config->set(ConfigKey::AccountBaseUrl, accountUrl);
        config->set(ConfigKey::AccountCaFile, caFile);
    }
    int stored = 0;
    for (const QJsonValue &value : doc.array()) {
        const QJsonObject o = value.toObject();
        DeviceRecord record;
        record.uid = o.value(QStringLiteral("uid")).toString();
        if (record.uid.isEmpty())
            continue;
        record.nickname = o.value(QStringLiteral("name")).toString(record.uid);
        record.type = o.value(QStringLiteral("type")).toInt(0);
        record.channel = o.value(QStringLiteral("channels")).toInt(1);
        record.username = o.value(QStringLiteral("account")).toString(QStringLiteral("admin"));
        record.password = o.value(QStringLiteral("password")).toString();
        const QString host = onvifHost(o);
        if (!host.isEmpty()) {
            record.kind = DeviceKind::Rtsp;
            record.rtsp.onvifHost = host;
            record.uid = RtspUrl::onvifDeviceUid(record.rtsp.onvifHost);
        }
        if (!config->saveDevice(record)) {
            err << "cannot write the configuration file " << config->path() << '\n';
            return 1;
        }
        ++stored;
    }
    QTextStream(stdout) << "registered " << stored << " devices in " << config->path() << '\n';
    return stored > 0 ? 0 : 1;
}
