#include "config/Config.h"

#include "config/SettingsFile.h"
#include "config/TextEncoding.h"

#include <QFileInfo>
#include <QSettings>

namespace {

const QString loginArray = QStringLiteral("login");
const QString deviceArray = QStringLiteral("device");
const QString configGroup = QStringLiteral("config");

Config *sharedConfig = nullptr;

// Number of entries of a QSettings array, bounded by the entries present, so
// that a damaged "size" cannot make a reader loop over phantom entries.
int arrayEntries(QSettings &s, const QString &array)
{
    s.beginGroup(array);
    const qsizetype present = s.childGroups().size();
    s.endGroup();
    const int size = s.beginReadArray(array);
    s.endArray();
    return qBound(0, size, int(present));
}

QList<LoginRecord> readLoginArray(QSettings &s)
{
    QList<LoginRecord> list;
    const int n = arrayEntries(s, loginArray);
    s.beginReadArray(loginArray);
    for (int i = 0; i < n; ++i) {
        s.setArrayIndex(i);
        LoginRecord r;
        r.username = decodeText(s.value(QStringLiteral("username")).toString());
        r.password = decodeText(s.value(QStringLiteral("password")).toString());
        r.isremember = s.value(QStringLiteral("isremember"), false).toBool();
        r.language = s.value(QStringLiteral("language"), 0).toInt();
        list.append(r);
    }
    s.endArray();
    return list;
}

void writeLoginArray(QSettings &s, const QList<LoginRecord> &list)
{
    s.remove(loginArray);
    s.beginWriteArray(loginArray, int(list.size()));
    for (int i = 0; i < list.size(); ++i) {
        const LoginRecord &r = list.at(i);
        s.setArrayIndex(i);
        s.setValue(QStringLiteral("username"), encodeText(r.username));
        s.setValue(QStringLiteral("password"), encodeText(r.password));
        s.setValue(QStringLiteral("isremember"), r.isremember);
        s.setValue(QStringLiteral("language"), r.language);
    }
    s.endArray();
}

QList<DeviceRecord> readDeviceArray(QSettings &s)
{
    QList<DeviceRecord> list;
    const int n = arrayEntries(s, deviceArray);
    s.beginReadArray(deviceArray);
    for (int i = 0; i < n; ++i) {
        s.setArrayIndex(i);
        DeviceRecord r;
        r.type = s.value(QStringLiteral("type"), 0).toInt();
        r.channel = s.value(QStringLiteral("channel"), 0).toInt();
        r.uid = decodeText(s.value(QStringLiteral("uid")).toString());
        r.nickname = decodeText(s.value(QStringLiteral("nickname")).toString());
        r.username = decodeText(s.value(QStringLiteral("username")).toString());
        r.password = decodeText(s.value(QStringLiteral("password")).toString());
        list.append(r);
    }
    s.endArray();
    return list;
}

void writeDeviceArray(QSettings &s, const QList<DeviceRecord> &list)
{
    s.remove(deviceArray);
    s.beginWriteArray(deviceArray, int(list.size()));
    for (int i = 0; i < list.size(); ++i) {
        const DeviceRecord &r = list.at(i);
        s.setArrayIndex(i);
        s.setValue(QStringLiteral("type"), r.type);
        s.setValue(QStringLiteral("channel"), r.channel);
        s.setValue(QStringLiteral("uid"), encodeText(r.uid));
        s.setValue(QStringLiteral("nickname"), encodeText(r.nickname));
        s.setValue(QStringLiteral("username"), encodeText(r.username));
        s.setValue(QStringLiteral("password"), encodeText(r.password));
    }
    s.endArray();
}

} // namespace

Config *Config::instance()
{
    if (!sharedConfig)
        sharedConfig = new Config;
    return sharedConfig;
}

void Config::forgetInstance()
{
    // Callers may still hold the old pointer, so it is left alive.
    sharedConfig = nullptr;
}

Config::Config()
{
    const QString newPath = get(ConfigKey::NewPath);
    if (newPath.isEmpty() || newPath == QLatin1String(ConfigKey::DefaultFolder))
        m_path = defaultSettingsPath();
    else
        m_path = newPath;
}

Config::~Config()
{
    if (sharedConfig == this)
        sharedConfig = nullptr;
    else
        forgetInstance();
}

bool Config::isSameFile(const QString &a, const QString &b)
{
    const QFileInfo fa(a);
    const QFileInfo fb(b);
    if (fa.exists() && fb.exists())
        return fa.canonicalFilePath() == fb.canonicalFilePath();
    return fa.absoluteFilePath() == fb.absoluteFilePath();
}

QString Config::defaultSettingsPath()
{
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Orvane"),
                     QStringLiteral("Orvane"))
        .fileName();
}

QList<LoginRecord> Config::readLogins() const
{
    const auto s = SettingsFile(defaultSettingsPath()).open();
    return s ? readLoginArray(*s) : QList<LoginRecord>();
}

bool Config::saveLogin(const QString &username, const QString &password, bool isremember,
                       int language)
{
    return SettingsFile(defaultSettingsPath()).update([&](QSettings &s) {
        QList<LoginRecord> list = readLoginArray(s);
        const LoginRecord entry{username, password, isremember, language};
        qsizetype found = -1;
        for (qsizetype i = 0; i < list.size(); ++i) {
            if (list.at(i).username == username) {
                found = i;
                break;
            }
        }
        if (found >= 0) {
            list.removeAt(found);
        } else {
            while (list.size() > MaxLogins - 1)
                list.removeLast();
        }
        list.prepend(entry);
        writeLoginArray(s, list);
    });
}

QList<DeviceRecord> Config::readDevices() const
{
    const auto s = SettingsFile(m_path).open();
    return s ? readDeviceArray(*s) : QList<DeviceRecord>();
}

bool Config::saveDevice(const DeviceRecord &record)
{
    return SettingsFile(m_path).update([&](QSettings &s) {
        QList<DeviceRecord> list = readDeviceArray(s);
        bool replaced = false;
        for (DeviceRecord &r : list) {
            if (r.uid == record.uid) {
                r = record;
                replaced = true;
                break;
            }
        }
        if (!replaced)
            list.append(record);
        writeDeviceArray(s, list);
    });
}

bool Config::removeDevice(const QString &uid)
{
    return SettingsFile(m_path).update([&](QSettings &s) {
        QList<DeviceRecord> list = readDeviceArray(s);
        for (qsizetype i = 0; i < list.size(); ++i) {
            if (list.at(i).uid == uid) {
                list.removeAt(i);
                break;
            }
        }
        writeDeviceArray(s, list);
    });
}

QString Config::storePath(SettingStore store) const
{
    return store == SettingStore::DefaultFile ? defaultSettingsPath() : m_path;
}

QVariant Config::read(const char *key, SettingStore store) const
{
    const auto s = SettingsFile(storePath(store)).open();
    return s ? s->value(QLatin1String(key)) : QVariant();
}

bool Config::write(const char *key, SettingStore store, const QVariant &value)
{
    return SettingsFile(storePath(store)).update([&](QSettings &s) {
        s.setValue(QLatin1String(key), value);
    });
}

int Config::moveTo(const QString &newFile)
{
    if (isSameFile(newFile, m_path))
        return 0;
    if (!copyTo(newFile))
        return 2;
    removeMoved();
    return 0;
}

bool Config::copyTo(const QString &newFile) const
{
    SettingsFile target(newFile);
    if (!target.isWritable())
        return false;
    if (isSameFile(newFile, m_path))
        return true;

    QList<DeviceRecord> devices;
    QList<QPair<QString, QVariant>> carried;
    if (auto s = SettingsFile(m_path).open()) {
        devices = readDeviceArray(*s);
        for (const Setting<QString> &folder : {ConfigKey::PicPath, ConfigKey::VideoPath}) {
            const QString key = QLatin1String(folder.key);
            if (s->contains(key))
                carried.append({key, s->value(key).toString()});
        }
        const QString minutes = QLatin1String(ConfigKey::RecordMinutes.key);
        if (s->contains(minutes))
            carried.append({minutes, s->value(minutes).toInt()});
    }
    return target.update([&](QSettings &s) {
        writeDeviceArray(s, devices);
        for (const auto &kv : carried)
            s.setValue(kv.first, kv.second);
    });
}

bool Config::removeMoved()
{
    return SettingsFile(m_path).update([](QSettings &s) {
        s.remove(deviceArray);
        s.remove(configGroup);
    });
}
