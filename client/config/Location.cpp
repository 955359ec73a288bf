#include "config/Location.h"

#include "config/Config.h"
#include "model/SharedInstance.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

QString folderOrDocuments(const QString &value)
{
    if (value.isEmpty() || value == QLatin1String(ConfigKey::DefaultFolder))
        return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return value;
}

} // namespace

Location *Location::instance()
{
    return SharedInstance<Location>::get();
}

Location::Location(QObject *parent)
    : QObject(parent)
{}

QString Location::settingsPath() const
{
    const QString newPath = Config::instance()->get(ConfigKey::NewPath);
    if (!newPath.isEmpty() && newPath != QLatin1String(ConfigKey::DefaultFolder))
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
    if (!config->set(ConfigKey::NewPath, file))
        return NotWritable;
    if (!Config::isSameFile(file, config->path()))
        config->removeMoved();
    Config::forgetInstance();
    return Moved;
}

QString Location::picPath() const
{
    return folderOrDocuments(Config::instance()->get(ConfigKey::PicPath));
}

bool Location::setPicPath(const QString &path)
{
    return Config::instance()->set(ConfigKey::PicPath, path);
}

QString Location::videoPath() const
{
    return folderOrDocuments(Config::instance()->get(ConfigKey::VideoPath));
}

bool Location::setVideoPath(const QString &path)
{
    return Config::instance()->set(ConfigKey::VideoPath, path);
}

int Location::timeLength() const
{
    return Config::instance()->get(ConfigKey::RecordMinutes);
}

bool Location::setTimeLength(int minutes)
{
    return Config::instance()->set(ConfigKey::RecordMinutes, minutes);
}

int Location::windowNum() const
{
    return Config::instance()->get(ConfigKey::WindowNum);
}

bool Location::setWindowNum(int mod)
{
    return Config::instance()->set(ConfigKey::WindowNum, mod);
}
