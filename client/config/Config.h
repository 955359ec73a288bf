#pragma once

#include "config/LayoutRecord.h"
#include "config/LoginRecord.h"
#include "config/PresetRecord.h"
#include "model/DeviceRecord.h"
#include "model/RtspUrl.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <limits>

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

// What a stored value may be unless its declaration says otherwise: any
// number, or text of at most 4096 characters (a folder or a URL).
template <class T> struct SettingBounds
{
    static constexpr int minimum = std::numeric_limits<int>::min();
    static constexpr int maximum = std::numeric_limits<int>::max();
};
template <> struct SettingBounds<QString>
{
    static constexpr int minimum = 0;
    static constexpr int maximum = 4096;
};

template <class T> struct Setting
{
    using Value = T;

    const char *key;
    typename SettingDefault<T>::Type defaultValue;
    SettingStore store = SettingStore::ConfigFile;
    // Numbers: the accepted range; a stored number outside it reads as the
    // nearer end. Text: maximum is the longest accepted length; longer stored
    // text reads as the default (a cut folder or URL would name another place).
    int minimum = SettingBounds<T>::minimum;
    int maximum = SettingBounds<T>::maximum;
};

// Bounds on the entries of the two files. A file may be damaged or edited by
// hand: every value read is brought into these bounds, and each correction is
// logged once with its key (never with the value of a password).
namespace StoredLimits {
inline constexpr int MaxDevices = 1024;
inline constexpr int MaxChannels = 64; // channel counts read as 1 .. MaxChannels
inline constexpr int MaxUidLength = 64;
inline constexpr int MaxNameLength = 128; // nick names, account and login names
inline constexpr int MaxPasswordLength = 128;
// RTSP devices: the ONVIF "host:port".
inline constexpr int MaxHostLength = RtspUrl::MaxHostLength;
// Grid layouts (WindowMod::Count; the application checks the two agree).
inline constexpr int WindowLayouts = 11;
// The record-length timer's longest run, minutes (its milliseconds fit an int).
inline constexpr int MaxRecordMinutes = 35000;
// What a device of an unknown type code is shown as: the plain camera.
inline constexpr int DefaultDeviceType = 7;
// Presets: numbers 0 .. MaxPresetNumber per channel, at most MaxPresets kept.
inline constexpr int MaxPresetNumber = 255;
inline constexpr int MaxPresets = 4096;
// True for the type codes the client knows (those Device::typeName names).
bool isKnownDeviceType(int type);
// Named layouts: at most MaxLayouts, each with a name of 1 .. MaxLayoutNameLength characters
// (isLayoutName) and at most as many cells as its grid has windows (layoutCells). A layout's own
// window remembers a screen -1 (none) .. MaxScreen and a geometry within MaxWindowExtent.
inline constexpr int MaxLayouts = 64;
inline constexpr int MaxLayoutNameLength = 64;
inline constexpr int MaxScreen = 15;
inline constexpr int MaxWindowExtent = 16384;   // width and height, pixels
inline constexpr int MaxWindowPosition = 65536; // x and y either way, pixels
// Windows of each grid layout, by WINDOW_MOD value (WindowMod::windowCount; a test checks the
// two agree).
inline constexpr int LayoutCells[WindowLayouts] = {1, 4, 6, 8, 9, 13, 16, 25, 36, 49, 64};
constexpr int layoutCells(int mod)
{
    return mod >= 0 && mod < WindowLayouts ? LayoutCells[mod] : 0;
}
static_assert(layoutCells(WindowLayouts - 1) == MaxChannels);
// True for a layout name: 1 .. MaxLayoutNameLength characters, no control character, no
// white space at either end.
bool isLayoutName(const QString &name);
// Why a layout cannot be stored as it is (a text for the log), or empty when it can: a
// layout name, a grid layout, no more cells than its grid, every cell empty (channel -1) or a
// UID of at most MaxUidLength with a channel below MaxChannels, a screen and a geometry
// within the bounds above (a null geometry is none).
QString layoutProblem(const LayoutRecord &layout);
} // namespace StoredLimits

// Every setting of the two files.
namespace ConfigKey {
// A folder setting with this value means the documents folder.
inline constexpr char DefaultFolder[] = "default";

inline constexpr Setting<QString> PicPath{"config/picpath", DefaultFolder};
inline constexpr Setting<QString> VideoPath{"config/videopath", DefaultFolder};
inline constexpr Setting<int> RecordMinutes{"config/timeLength", 30, SettingStore::ConfigFile, 1,
                                            StoredLimits::MaxRecordMinutes};
// WINDOW_MOD index.
inline constexpr Setting<int> WindowNum{"config/windownum", 1, SettingStore::ConfigFile, 0,
                                        StoredLimits::WindowLayouts - 1};
// Live stream of the view cells: 0 = automatic (the stream that fits the
// cell), 1 = always the main (HD) stream.
inline constexpr Setting<int> StreamQuality{"config/streamQuality", 0, SettingStore::ConfigFile, 0,
                                            1};
// The named layout used last (LayoutRecord::name); empty = none.
inline constexpr Setting<QString> LastLayout{"config/lastLayout", "", SettingStore::ConfigFile, 0,
                                             StoredLimits::MaxLayoutNameLength};
// The layouts the tour shows in turn: their names joined by TourSeparator (a control
// character, so never part of a name). Read and written through Config::readTourLayouts() and
// Config::saveTourLayouts().
inline constexpr QChar TourSeparator = u'\n';
inline constexpr Setting<QString> TourLayouts{
    "config/tourLayouts", "", SettingStore::ConfigFile, 0,
    StoredLimits::MaxLayouts *(StoredLimits::MaxLayoutNameLength + 1)};
// Seconds each layout of the tour stays on screen.
inline constexpr Setting<int> TourSeconds{"config/tourSeconds", 30, SettingStore::ConfigFile, 5,
                                          3600};
// Path of the configuration file; "default" or empty = the default settings file.
inline constexpr Setting<QString> NewPath{"newpath", DefaultFolder, SettingStore::DefaultFile};
// Base URL of the account service; empty = none (only the local login works).
inline constexpr Setting<QString> AccountBaseUrl{"account/baseUrl", "", SettingStore::DefaultFile};
// A PEM file of extra certificate authorities for a private account service
// (trusted besides the system's); empty: the system's only.
inline constexpr Setting<QString> AccountCaFile{"account/caFile", "", SettingStore::DefaultFile};
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

    // Remembered logins, most recent first, names and passwords decoded; at
    // most MaxLogins.
    QList<LoginRecord> readLogins() const;
    // Puts the login in front (replacing the entry with the same user name),
    // keeping at most MaxLogins entries.
    bool saveLogin(const QString &username, const QString &password, bool isremember, int language);

    // Local devices in registration order, strings decoded, each value within
    // StoredLimits; at most StoredLimits::MaxDevices.
    QList<DeviceRecord> readDevices() const;
    // Replaces the entry with the record's UID in place, or appends it.
    bool saveDevice(const DeviceRecord &record);
    // Removes the first entry with this UID (the array is rewritten either way).
    bool removeDevice(const QString &uid);

    // The device keys trusted per UID (array "keypin": "uid", "sha256"), for
    // local and cloud devices alike: the fingerprint (64 lowercase hex
    // digits) pinned on first connect, empty when none. An entry that is not
    // a fingerprint reads as no pin. Setting an empty one forgets the pin.
    QString devicePin(const QString &uid) const;
    bool setDevicePin(const QString &uid, const QString &fingerprint);

    // The account services' keys trusted per server (array "serverpin":
    // "server" as "host:port", "sha256"), pinned when the user accepted a
    // certificate the system does not trust; empty when none. Setting an
    // empty one forgets the pin.
    QString serverPin(const QString &server) const;
    bool setServerPin(const QString &server, const QString &fingerprint);

    // The presets set on a device's channel (array "preset"), by number;
    // entries out of StoredLimits are left out.
    QList<PresetRecord> readPresets(const QString &uid, int channel) const;
    // Stores the preset, replacing the channel's entry with the same number;
    // beyond StoredLimits::MaxPresets the oldest entries go.
    bool savePreset(const PresetRecord &record);

    // The named layouts (array "layout") in stored order, names and UIDs decoded; at most
    // StoredLimits::MaxLayouts. An entry whose name is not a layout name, repeats an earlier
    // one's or whose grid layout is unknown is left out; extra cells are dropped, unusable
    // cells read as empty, an unusable screen as -1 and an unusable geometry as none.
    QList<LayoutRecord> readLayouts() const;
    // Replaces the layout with the record's name in place, or appends it. False (nothing
    // written) when StoredLimits::layoutProblem() names a problem, or when it would be a layout
    // beyond StoredLimits::MaxLayouts.
    bool saveLayout(const LayoutRecord &layout);
    // Removes the layout of this name (the array is rewritten either way).
    bool removeLayout(const QString &name);
    // The tour's layouts in order: the names in ConfigKey::TourLayouts that name a stored
    // layout, each once.
    QStringList readTourLayouts() const;
    // Stores the tour's layouts (duplicates dropped); false, and nothing written, when one is
    // not a layout name or there are more than StoredLimits::MaxLayouts.
    bool saveTourLayouts(const QStringList &names);

    // The stored value of a setting, or its default when the key is absent,
    // the file unreadable or (for numbers) the stored text not a number;
    // brought into the setting's bounds.
    template <class T> T get(const Setting<T> &setting) const
    {
        return fromStored(setting, read(setting.key, setting.store));
    }
    // Writes one setting at once; false when the file could not be written.
    template <class T> bool set(const Setting<T> &setting, const typename Setting<T>::Value &value)
    {
        return write(setting.key, setting.store, QVariant::fromValue<T>(value));
    }
    // One value of a set(changes) call.
    struct Change
    {
        const char *key;
        SettingStore store;
        QVariant value;
    };
    template <class T>
    static Change change(const Setting<T> &setting, const typename Setting<T>::Value &value)
    {
        return {setting.key, setting.store, QVariant::fromValue<T>(value)};
    }
    // Writes several settings of one file in a single update: either all of
    // them are stored, or none (false). No changes write nothing.
    bool set(const QList<Change> &changes);

    // Moves the configuration to newFile: copyTo(newFile), then removeMoved().
    // Returns 0 when moved, 2 when newFile cannot be written (nothing changed).
    // Moving onto the current file itself changes nothing and returns 0.
    int moveTo(const QString &newFile);
    // Writes the devices (encoded afresh), the pinned device keys, the presets, the named
    // layouts and those of "config/picpath", "config/videopath", "config/timeLength",
    // "config/lastLayout", "config/tourLayouts" and "config/tourSeconds" that are set into
    // newFile. "config/windownum" stays behind.
    bool copyTo(const QString &newFile) const;
    // Removes the groups "device", "keypin", "preset", "layout" and "config" from this
    // configuration file.
    bool removeMoved();

private:
    // The stored value of key; invalid when absent or unreadable.
    QVariant read(const char *key, SettingStore store) const;
    bool write(const char *key, SettingStore store, const QVariant &value);
    QString storePath(SettingStore store) const;

    static int fromStored(const Setting<int> &setting, const QVariant &stored);
    static QString fromStored(const Setting<QString> &setting, const QVariant &stored);

    QString m_path;
};
