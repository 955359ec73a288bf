#pragma once

#include "config/LoginRecord.h"
#include "model/DeviceRecord.h"

#include <QList>
#include <QString>
#include <QVariant>

// Keys of the configuration file and their defaults.
namespace ConfigKey {
inline constexpr char picPath[] = "config/picpath";       // string, "default" = documents
inline constexpr char videoPath[] = "config/videopath";   // string, "default" = documents
inline constexpr char timeLength[] = "config/timeLength"; // int minutes
inline constexpr char windowNum[] = "config/windownum";   // int WINDOW_MOD index
inline constexpr char defaultFolder[] = "default";
inline constexpr int defaultTimeLength = 30;
inline constexpr int defaultWindowNum = 1;
} // namespace ConfigKey

// The local configuration store. Two INI files:
// - the default settings file (user scope, organisation and application
//   "Orvane"): the remembered logins (array "login") and "newpath", the path
//   of the configuration file ("default" or absent = this file itself);
// - the configuration file: the local devices (array "device") and the
//   "config/..." settings.
// Every change is written at once, atomically (see SettingsFile). A missing,
// unreadable or corrupt file reads as defaults. GUI thread only.
//
// A Config fixes its configuration path when constructed. instance() is the
// shared store; temporary Config objects may be created for one job, and
// destroying any Config makes the next instance() re-read "newpath".
class Config
{
public:
    static constexpr int MaxLogins = 3;

    static Config *instance();
    // Forgets the shared instance (it is not deleted, pointers stay valid).
    static void forgetInstance();

    Config();
    ~Config();

    Config(const Config &) = delete;
    Config &operator=(const Config &) = delete;

    // Resolved path of the configuration file.
    QString path() const { return m_path; }
    // Path of the default settings file.
    static QString defaultSettingsPath();
    // True when both paths name the same file (links resolved).
    static bool isSameFile(const QString &a, const QString &b);

    // Remembered logins, most recent first, names and passwords decoded.
    QList<LoginRecord> readLogins() const;
    // Puts the login in front (replacing the entry with the same user name),
    // keeping at most MaxLogins entries.
    bool saveLogin(const QString &username, const QString &password, bool isremember, int language);

    // Local devices in registration order, strings decoded.
    QList<DeviceRecord> readDevices() const;
    // Replaces the entry with the record's UID in place, or appends it.
    bool saveDevice(const DeviceRecord &record);
    // Removes the first entry with this UID (the array is rewritten either way).
    bool removeDevice(const QString &uid);

    // One key of the configuration file; setValue writes at once.
    bool setValue(const QString &key, const QVariant &value);
    QVariant value(const QString &key, const QVariant &defaultValue = QVariant()) const;
    bool contains(const QString &key) const;

    // One key of the default settings file.
    static bool setDefaultValue(const QString &key, const QVariant &value);
    static QVariant defaultValue(const QString &key, const QVariant &defaultValue = QVariant());

    // Moves the configuration to newFile: copyTo(newFile), then removeMoved().
    // Returns 0 when moved, 2 when newFile cannot be written (nothing changed).
    // Moving onto the current file itself changes nothing and returns 0.
    int moveTo(const QString &newFile);
    // Writes the devices (encoded afresh) and those of "config/picpath",
    // "config/videopath" and "config/timeLength" that are set into newFile.
    // "config/windownum" stays behind.
    bool copyTo(const QString &newFile) const;
    // Removes the groups "device" and "config" from this configuration file.
    bool removeMoved();

private:
    QString m_path;
};
