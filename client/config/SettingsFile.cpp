#include "config/SettingsFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QtDebug>

namespace {

int interruptedWrites = 0;

const QString stageName = QStringLiteral("stage.ini");

} // namespace

SettingsFile::SettingsFile(const QString &path)
    : m_path(path)
{}

SettingsFile::Settings SettingsFile::stage(Load *load) const
{
    auto dir = std::make_shared<QTemporaryDir>();
    if (!dir->isValid()) {
        qWarning() << "settings: no staging folder:" << dir->errorString();
        *load = Load::Unreadable;
        return nullptr;
    }
    const QString stagePath = dir->filePath(stageName);

    *load = Load::Ok;
    const QFileInfo info(m_path);
    if (!info.exists()) {
        *load = Load::Missing;
    } else if (info.isFile() && info.size() > MaxFileSize) {
        // Far more than any real configuration: damaged, and not worth parsing.
        qWarning() << "settings: file larger than" << MaxFileSize << "bytes:" << m_path;
        *load = Load::Damaged;
    } else {
        QFile source(m_path);
        if (info.isDir() || !source.open(QIODevice::ReadOnly)) {
            *load = Load::Unreadable;
        } else {
            const QByteArray content = source.readAll();
            QFile copy(stagePath);
            if (!copy.open(QIODevice::WriteOnly) || copy.write(content) != content.size()) {
                qWarning() << "settings: cannot stage" << m_path;
                *load = Load::Unreadable;
                return nullptr;
            }
        }
    }

    // The settings object goes before the folder that holds its file.
    const auto openStaged = [dir, stagePath] {
        return Settings(new QSettings(stagePath, QSettings::IniFormat),
                        [dir](QSettings *s) mutable {
                            delete s;
                            dir.reset();
                        });
    };
    Settings settings = openStaged();
    if (*load == Load::Ok && settings->status() != QSettings::NoError) {
        *load = Load::Damaged;
        settings.reset();
        QFile::remove(stagePath);
        settings = openStaged();
    }
    return settings;
}

SettingsFile::Settings SettingsFile::open() const
{
    Load load = Load::Ok;
    Settings settings = stage(&load);
    if (load == Load::Unreadable || load == Load::Damaged) {
        qWarning() << "settings file cannot be read:" << m_path;
        return nullptr;
    }
    return settings;
}

SettingsFile::Settings SettingsFile::rewriteReadable(const std::function<void(QSettings &)> &edit)
{
    // Some damage (a line that is no entry) reads as nothing but fails every
    // write: what reads goes to a clean copy, with the change.
    qWarning() << "settings: dropping unreadable lines of" << m_path;
    Load load = Load::Ok;
    const Settings read = stage(&load);
    if (!read || load != Load::Ok)
        return nullptr;
    const QString path = QFileInfo(read->fileName()).dir().filePath(QStringLiteral("clean.ini"));
    // The copy keeps the staged file's folder while it lives.
    Settings clean(new QSettings(path, QSettings::IniFormat), [read](QSettings *s) { delete s; });
    const QStringList keys = read->allKeys();
    for (const QString &key : keys)
        clean->setValue(key, read->value(key));
    edit(*clean);
    clean->sync();
    return clean;
}

bool SettingsFile::update(const std::function<void(QSettings &)> &edit)
{
    Load load = Load::Ok;
    Settings staged = stage(&load);
    if (!staged)
        return false;
    if (load == Load::Unreadable) {
        // What cannot be read now may be readable later: never overwrite it.
        qWarning() << "settings: not replacing unreadable" << m_path;
        return false;
    }
    if (load == Load::Damaged) {
        qWarning() << "settings file damaged, starting afresh:" << m_path;
        const QString backup = m_path + QStringLiteral(".corrupt");
        QFile::remove(backup);
        QFile::copy(m_path, backup);
    }

    edit(*staged);
    staged->sync();
    if (staged->status() == QSettings::FormatError && load == Load::Ok)
        staged = rewriteReadable(edit);
    if (!staged || staged->status() != QSettings::NoError) {
        qWarning() << "settings: staging failed for" << m_path;
        return false;
    }
    QByteArray content;
    QFile stagedFile(staged->fileName());
    if (stagedFile.exists()) {
        if (!stagedFile.open(QIODevice::ReadOnly)) {
            qWarning() << "settings: staged copy unreadable for" << m_path;
            return false;
        }
        content = stagedFile.readAll();
    }

    QDir().mkpath(QFileInfo(m_path).absolutePath());
    QSaveFile out(m_path);
    if (!out.open(QIODevice::WriteOnly)) {
        qWarning() << "settings: cannot write" << m_path << out.errorString();
        return false;
    }
    if (interruptedWrites > 0) {
        --interruptedWrites;
        out.write(content.left(content.size() / 2));
        out.cancelWriting();
        out.commit();
        return false;
    }
    if (out.write(content) != content.size() || !out.commit()) {
        qWarning() << "settings: cannot write" << m_path << out.errorString();
        return false;
    }
    return true;
}

bool SettingsFile::isWritable() const
{
    const QFileInfo info(m_path);
    if (info.exists())
        return info.isFile() && info.isWritable();
    const QFileInfo dir(info.absolutePath());
    return dir.isDir() && dir.isWritable();
}

void SettingsFile::interruptWritesForTesting(int count)
{
    interruptedWrites = count;
}
