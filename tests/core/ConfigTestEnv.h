#pragma once

#include "config/Config.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <memory>

// Points the user-scope INI files (and so the default settings file) at a
// fresh temporary folder, and makes Config resolve its path again.
class ConfigTestEnv
{
public:
    ConfigTestEnv()
        : m_dir(std::make_unique<QTemporaryDir>())
    {
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_dir->path());
        Config::forgetInstance();
    }
    ~ConfigTestEnv() { Config::forgetInstance(); }

    bool isValid() const { return m_dir->isValid(); }
    QString root() const { return m_dir->path(); }
    QString defaultFile() const { return Config::defaultSettingsPath(); }
    QString makeFolder(const QString &name) const
    {
        QDir(m_dir->path()).mkpath(name);
        return m_dir->filePath(name);
    }

    static QByteArray readAll(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    static void writeAll(const QString &path, const QByteArray &content)
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            f.write(content);
    }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};
