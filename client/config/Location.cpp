#include "config/Location.h"

#include "config/Config.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

const QString newPathKey = QStringLiteral("newpath");

QString folderOrDocuments(const QString &value)
{
    if (value.isEmpty() || value == QLatin1String(ConfigKey::defaultFolder))
        return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return value;
}

} // namespace

Location *Location::instance()
{
    static Location *location = new Location;
    return location;
}

Location::Location(QObject *parent)
    : QObject(parent)
{}

QString Location::settingsPath() const
{
    const QString newPath =
        Config::defaultValue(newPathKey, QString::fromLatin1(ConfigKey::defaultFolder)).toString();
    if (!newPath.isEmpty() && newPath != QLatin1String(ConfigKey::defaultFolder))
        return newPath;
    return Config::instance()->path();
}

int Location::setSettingsPath(const QString &folder)
{
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        return NoSuchFolder;
    const QString file = QDir(folder).filePath(QString::fromLatin1(ConfigFileName));
    Config *config = Config::instance();
    // Copy first, then point "newpath" at the copy, then clear the old file:
    // an interruption at any step leaves a complete configuration in use.
    if (!config->copyTo(file))
        return NotWritable;
    if (!Config::setDefaultValue(newPathKey, file))
        return NotWritable;
    if (!Config::isSameFile(file, config->path()))
        config->removeMoved();
    Config::forgetInstance();
    return Moved;
}

QString Location::picPath() const
{
    return folderOrDocuments(
        Config::instance()
            ->value(QLatin1String(ConfigKey::picPath), QLatin1String(ConfigKey::defaultFolder))
            .toString());
}

bool Location::setPicPath(const QString &path)
{
    return Config::instance()->setValue(QLatin1String(ConfigKey::picPath), path);
}

QString Location::videoPath() const
{
    return folderOrDocuments(
        Config::instance()
            ->value(QLatin1String(ConfigKey::videoPath), QLatin1String(ConfigKey::defaultFolder))
            .toString());
}

bool Location::setVideoPath(const QString &path)
{
    return Config::instance()->setValue(QLatin1String(ConfigKey::videoPath), path);
}

int Location::timeLength() const
{
    bool ok = false;
    const int v = Config::instance()
                      ->value(QLatin1String(ConfigKey::timeLength), ConfigKey::defaultTimeLength)
                      .toInt(&ok);
    return ok ? v : ConfigKey::defaultTimeLength;
}

bool Location::setTimeLength(int minutes)
{
    return Config::instance()->setValue(QLatin1String(ConfigKey::timeLength), minutes);
}

int Location::windowNum() const
{
    bool ok = false;
    const int v = Config::instance()
                      ->value(QLatin1String(ConfigKey::windowNum), ConfigKey::defaultWindowNum)
                      .toInt(&ok);
    return ok ? v : ConfigKey::defaultWindowNum;
}

bool Location::setWindowNum(int mod)
{
    return Config::instance()->setValue(QLatin1String(ConfigKey::windowNum), mod);
}
