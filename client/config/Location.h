#pragma once

#include "model/SharedInstance.h"

#include <QObject>
#include <QString>

// Settings facade: the single settings of the configuration file and the
// location of that file. Holds no state; every call goes through Config.
// One instance, reached through instance(). GUI thread only.
class Location : public QObject
{
    Q_OBJECT

public:
    // Results of setSettingsPath.
    enum SettingsPathResult { Moved = 0, NoSuchFolder = 1, NotWritable = 2 };

    static constexpr const char *ConfigFileName = "QELO.ini";

    static Location *instance();

    // Path of the configuration file in use.
    QString settingsPath() const;
    // Moves the configuration to folder + "/QELO.ini" and points "newpath" at
    // it. Returns a SettingsPathResult; on failure nothing changes.
    int setSettingsPath(const QString &folder);

    // Snapshot folder; "default" reads as the documents folder.
    QString picPath() const;
    bool setPicPath(const QString &path);
    // Recording folder; "default" reads as the documents folder.
    QString videoPath() const;
    bool setVideoPath(const QString &path);
    // Longest run of one local recording, minutes (default 30).
    int timeLength() const;
    bool setTimeLength(int minutes);
    // Index of the last chosen grid layout (default 1).
    int windowNum() const;
    bool setWindowNum(int mod);

private:
    friend class SharedInstance<Location>;
    explicit Location(QObject *parent = nullptr);
};
