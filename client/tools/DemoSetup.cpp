// Registers simulated devices for the local "Admin" login, so that the demo
// opens with its devices in the tree. Reads the device list that devsim plays
// (a JSON array of objects with uid, name, type, channels, account, password)
// and stores each one in the configuration file of the current settings
// location (point XDG_CONFIG_HOME, or the platform's equivalent, at a folder
// of the demo's own to leave the user's settings untouched).
//
//   orvane-demo-setup devsim/demo.json

#include "config/Config.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Orvane"));
    QCoreApplication::setApplicationName(QStringLiteral("Orvane"));
    QTextStream err(stderr);

    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 2) {
        err << "usage: orvane-demo-setup <devices.json>\n";
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
        err << args.at(1) << ": not a JSON array of devices (" << parseError.errorString()
            << ")\n";
        return 1;
    }

    Config *config = Config::instance();
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
        if (!config->saveDevice(record)) {
            err << "cannot write the configuration file " << config->path() << '\n';
            return 1;
        }
        ++stored;
    }
    QTextStream(stdout) << "registered " << stored << " devices in " << config->path() << '\n';
    return stored > 0 ? 0 : 1;
}
