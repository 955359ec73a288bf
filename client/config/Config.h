#pragma once

#include "config/LoginRecord.h"
#include "model/DeviceRecord.h"

#include <QList>
#include <QString>
#include <QVariant>

// One setting: its key, its value type and its default, declared in one line
// below and read and written only through Config::get() and Config::set().
// Text defaults are kept as const char * so that every declaration stays
// constexpr; the value type is QString all the same.
enum class SettingStore {
    ConfigFile,  // the configuration file (Config::path())
    DefaultFile, // the default settings file (Config::defaultSettingsPath())
};

template <class T> struct SettingDefault
{
    using Type = T;
};
template <> struct SettingDefault<QString>
{
    using Type = const char *;
};

template <class T> struct Setting
{
    using Value = T;

    const char *key;
    typename SettingDefault<T>::Type defaultValue;
    SettingStore store = SettingStore::ConfigFile;
};

// Every setting of the two files.
namespace ConfigKey {
// A folder setting with this value means the documents folder.
inline constexpr char DefaultFolder[] = "default";

inline constexpr Setting<QString> PicPath{"config/picpath", DefaultFolder};
inline constexpr Setting<QString> VideoPath{"config/videopath", DefaultFolder};
inline constexpr Setting<int> RecordMinutes{"config/timeLength", 30};
inline constexpr Setting<int> WindowNum{"config/windownum", 1}; // WINDOW_MOD index
// Path of the configuration file; "default" or empty = the default settings file.
inline constexpr Setting<QString> NewPath{"newpath", DefaultFolder, SettingStore::DefaultFile};
// Base URL of the account service; empty = none (only the local login works).
inline constexpr Setting<QString> AccountBaseUrl{"account/baseUrl", "", SettingStore::DefaultFile};
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

    // The stored value of a setting, or its default when the key is absent,
    // the file unreadable or (for numbers) the stored text not a number.
    template <class T> T get(const Setting<T> &setting) const
    {
        return fromStored(read(setting.key, setting.store), defaultOf(setting.defaultValue));
    }
    // Writes one setting at once; false when the file could not be written.
    template <class T> bool set(const Setting<T> &setting, const typename Setting<T>::Value &value)
    {
        return write(setting.key, setting.store, QVariant::fromValue<T>(value));
    }

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
    // The stored value of key; invalid when absent or unreadable.
    QVariant read(const char *key, SettingStore store) const;
    bool write(const char *key, SettingStore store, const QVariant &value);
    QString storePath(SettingStore store) const;

    static int defaultOf(int value) { return value; }
    static QString defaultOf(const char *value) { return QString::fromUtf8(value); }
    static int fromStored(const QVariant &stored, int defaultValue)
    {
        bool ok = false;
        const int v = stored.toInt(&ok);
        return ok ? v : defaultValue;
    }
    static QString fromStored(const QVariant &stored, const QString &defaultValue)
    {
        return stored.isValid() ? stored.toString() : defaultValue;
    }

    QString m_path;
};
