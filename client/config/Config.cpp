#include "config/Config.h"

#include "config/SettingsArrays.h"
#include "config/SettingsFile.h"
#include "diagnostics/Checks.h"
#include "model/SharedInstance.h"

#include <QFileInfo>
#include <QSet>
#include <QSettings>
#include <QtDebug>

#include <algorithm>

bool StoredLimits::isKnownDeviceType(int type)
{
    return (type >= 1 && type <= 14) || type == 10001;
}

bool StoredLimits::isLayoutName(const QString &name)
{
    if (name.isEmpty() || name.size() > MaxLayoutNameLength || name != name.trimmed())
        return false;
    for (const QChar c : name) {
        const QChar::Category cat = c.category();
        if (cat == QChar::Other_Control || cat == QChar::Separator_Line ||
            cat == QChar::Separator_Paragraph)
            return false;
    }
    return true;
}

QString StoredLimits::layoutProblem(const LayoutRecord &layout)
{
    if (!isLayoutName(layout.name))
        return QStringLiteral("no layout name");
    if (layout.windowMod < 0 || layout.windowMod >= WindowLayouts)
        return QStringLiteral("no grid layout");
    if (layout.cells.size() > layoutCells(layout.windowMod))
        return QStringLiteral("more cells than the grid has windows");
    for (const LayoutCell &c : layout.cells) {
        const bool usable =
            c.isEmpty() ? c.channel == -1
                        : c.uid.size() <= MaxUidLength && c.channel >= 0 && c.channel < MaxChannels;
        if (!usable)
            return QStringLiteral("a cell without a usable channel");
    }
    if (layout.screen < -1 || layout.screen > MaxScreen)
        return QStringLiteral("no usable screen");
    const QRect &g = layout.geometry;
    if (g != QRect() && (g.width() < 1 || g.width() > MaxWindowExtent || g.height() < 1 ||
                         g.height() > MaxWindowExtent || qAbs(g.x()) > MaxWindowPosition ||
                         qAbs(g.y()) > MaxWindowPosition))
        return QStringLiteral("no usable geometry");
    return QString();
}

Config *Config::instance()
{
    return SharedInstance<Config>::get();
}

void Config::forgetInstance()
{
    // Callers may still hold the old pointer, so it is left alive.
    SharedInstance<Config>::forget();
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
    if (SharedInstance<Config>::isShared(this))
        SharedInstance<Config>::release(this);
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
    return s ? SettingsArrays::readLogins(*s) : QList<LoginRecord>();
}

bool Config::saveLogin(const QString &username, const QString &password, bool isremember,
                       int language)
{
    return SettingsFile(defaultSettingsPath()).update([&](QSettings &s) {
        QList<LoginRecord> list = SettingsArrays::readLogins(s);
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
        SettingsArrays::writeLogins(s, list);
    });
}

QList<DeviceRecord> Config::readDevices() const
{
    const auto s = SettingsFile(m_path).open();
    return s ? SettingsArrays::readDevices(*s) : QList<DeviceRecord>();
}

bool Config::saveDevice(const DeviceRecord &record)
{
    return SettingsFile(m_path).update([&](QSettings &s) {
        QList<DeviceRecord> list = SettingsArrays::readDevices(s);
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
        SettingsArrays::writeDevices(s, list);
    });
}

bool Config::removeDevice(const QString &uid)
{
    return SettingsFile(m_path).update([&](QSettings &s) {
        QList<DeviceRecord> list = SettingsArrays::readDevices(s);
        for (qsizetype i = 0; i < list.size(); ++i) {
            if (list.at(i).uid == uid) {
                list.removeAt(i);
                break;
            }
        }
        SettingsArrays::writeDevices(s, list);
    });
}

QString Config::devicePin(const QString &uid) const
{
    const auto s = SettingsFile(m_path).open();
    return s ? SettingsArrays::readPins(*s).value(uid) : QString();
}

bool Config::setDevicePin(const QString &uid, const QString &fingerprint)
{
    if (uid.isEmpty() || (!fingerprint.isEmpty() && !SettingsArrays::isFingerprint(fingerprint)))
        return false;
    return SettingsFile(m_path).update([&](QSettings &s) {
        QMap<QString, QString> pins = SettingsArrays::readPins(s);
        if (fingerprint.isEmpty())
            pins.remove(uid);
        else
            pins.insert(uid, fingerprint);
        while (pins.size() > StoredLimits::MaxDevices)
            pins.erase(pins.begin());
        SettingsArrays::writePins(s, pins);
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

int Config::fromStored(const Setting<int> &setting, const QVariant &stored)
{
    if (!stored.isValid())
        return setting.defaultValue;
    bool ok = false;
    const int v = stored.toInt(&ok);
    if (!ok) {
        qWarning("settings: %s is not a number, using %d", setting.key, setting.defaultValue);
        return setting.defaultValue;
    }
    const int bounded = qBound(setting.minimum, v, setting.maximum);
    if (bounded != v)
        qWarning("settings: %s is out of range, using %d", setting.key, bounded);
    return bounded;
}

QString Config::fromStored(const Setting<QString> &setting, const QVariant &stored)
{
    if (!stored.isValid())
        return QString::fromUtf8(setting.defaultValue);
    const QString text = stored.toString();
    if (text.size() > setting.maximum) {
        qWarning("settings: %s is longer than %d characters, using the default", setting.key,
                 setting.maximum);
        return QString::fromUtf8(setting.defaultValue);
    }
    return text;
}

bool Config::write(const char *key, SettingStore store, const QVariant &value)
{
    return SettingsFile(storePath(store)).update([&](QSettings &s) {
        s.setValue(QLatin1String(key), value);
    });
}

bool Config::set(const QList<Change> &changes)
{
    if (changes.isEmpty())
        return true;
    const SettingStore store = changes.first().store;
    for (const Change &c : changes)
        ORVANE_CHECK(c.store == store, return false);
    return SettingsFile(storePath(store)).update([&](QSettings &s) {
        for (const Change &c : changes)
            s.setValue(QLatin1String(c.key), c.value);
    });
}

QString Config::serverPin(const QString &server) const
{
    const auto s = SettingsFile(m_path).open();
    return s ? SettingsArrays::readServerPins(*s).value(server) : QString();
}

bool Config::setServerPin(const QString &server, const QString &fingerprint)
{
    if (server.isEmpty() || server.size() > SettingsArrays::MaxServerLength ||
        (!fingerprint.isEmpty() && !SettingsArrays::isFingerprint(fingerprint)))
        return false;
    return SettingsFile(m_path).update([&](QSettings &s) {
        QMap<QString, QString> pins = SettingsArrays::readServerPins(s);
        if (fingerprint.isEmpty())
            pins.remove(server);
        else
            pins.insert(server, fingerprint);
        while (pins.size() > SettingsArrays::MaxServerPins)
            pins.erase(pins.begin());
        SettingsArrays::writeServerPins(s, pins);
    });
}

QList<PresetRecord> Config::readPresets(const QString &uid, int channel) const
{
    QList<PresetRecord> out;
    if (const auto s = SettingsFile(m_path).open())
        for (const PresetRecord &r : SettingsArrays::readPresets(*s))
            if (r.uid == uid && r.channel == channel)
                out.append(r);
    return out;
}

bool Config::savePreset(const PresetRecord &record)
{
    using namespace StoredLimits;
    if (record.uid.isEmpty() || record.uid.size() > MaxUidLength || record.channel < 0 ||
        record.channel >= MaxChannels || record.number < 0 || record.number > MaxPresetNumber ||
        record.index < 0 || !record.time.isValid())
        return false;
    return SettingsFile(m_path).update([&](QSettings &s) {
        QList<PresetRecord> list = SettingsArrays::readPresets(s);
        list.removeIf([&](const PresetRecord &r) {
            return r.uid == record.uid && r.channel == record.channel && r.number == record.number;
        });
        list.append(record);
        while (list.size() > MaxPresets)
            list.removeFirst();
        SettingsArrays::writePresets(s, list);
    });
}

QList<LayoutRecord> Config::readLayouts() const
{
    const auto s = SettingsFile(m_path).open();
    return s ? SettingsArrays::readLayouts(*s) : QList<LayoutRecord>();
}

bool Config::saveLayout(const LayoutRecord &layout)
{
    const QString problem = StoredLimits::layoutProblem(layout);
    if (!problem.isEmpty()) {
        qWarning("settings: layout not stored: %s", qUtf8Printable(problem));
        return false;
    }
    const auto sameName = [&](const LayoutRecord &r) { return r.name == layout.name; };
    const QList<LayoutRecord> stored = readLayouts();
    if (stored.size() >= StoredLimits::MaxLayouts &&
        std::none_of(stored.begin(), stored.end(), sameName))
        return false;
    return SettingsFile(m_path).update([&](QSettings &s) {
        QList<LayoutRecord> list = SettingsArrays::readLayouts(s);
        const auto it = std::find_if(list.begin(), list.end(), sameName);
        if (it != list.end())
            *it = layout;
        else if (list.size() < StoredLimits::MaxLayouts)
            list.append(layout);
        SettingsArrays::writeLayouts(s, list);
    });
}

bool Config::removeLayout(const QString &name)
{
    return SettingsFile(m_path).update([&](QSettings &s) {
        QList<LayoutRecord> list = SettingsArrays::readLayouts(s);
        list.removeIf([&](const LayoutRecord &r) { return r.name == name; });
        SettingsArrays::writeLayouts(s, list);
    });
}

QStringList Config::readTourLayouts() const
{
    QSet<QString> stored;
    for (const LayoutRecord &r : readLayouts())
        stored.insert(r.name);
    QStringList tour;
    for (const QString &name : get(ConfigKey::TourLayouts).split(ConfigKey::TourSeparator)) {
        if (stored.contains(name) && !tour.contains(name))
            tour.append(name);
    }
    return tour;
}

bool Config::saveTourLayouts(const QStringList &names)
{
    QStringList tour;
    for (const QString &name : names) {
        if (!StoredLimits::isLayoutName(name))
            return false;
        if (!tour.contains(name))
            tour.append(name);
    }
    if (tour.size() > StoredLimits::MaxLayouts)
        return false;
    return set(ConfigKey::TourLayouts, tour.join(ConfigKey::TourSeparator));
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
    QMap<QString, QString> pins;
    QList<PresetRecord> presets;
    QList<LayoutRecord> layouts;
    QList<QPair<QString, QVariant>> carried;
    if (auto s = SettingsFile(m_path).open()) {
        devices = SettingsArrays::readDevices(*s);
        pins = SettingsArrays::readPins(*s);
        presets = SettingsArrays::readPresets(*s);
        layouts = SettingsArrays::readLayouts(*s);
        for (const Setting<QString> &text : {ConfigKey::PicPath, ConfigKey::VideoPath,
                                             ConfigKey::LastLayout, ConfigKey::TourLayouts}) {
            const QString key = QLatin1String(text.key);
            if (s->contains(key))
                carried.append({key, s->value(key).toString()});
        }
        for (const Setting<int> &number : {ConfigKey::RecordMinutes, ConfigKey::TourSeconds}) {
            const QString key = QLatin1String(number.key);
            if (s->contains(key))
                carried.append({key, s->value(key).toInt()});
        }
    }
    return target.update([&](QSettings &s) {
        SettingsArrays::writeDevices(s, devices);
        // The trusted device keys go along: without them every device would
        // count as unknown and be trusted afresh on its next connect.
        if (!pins.isEmpty())
            SettingsArrays::writePins(s, pins);
        if (!presets.isEmpty())
            SettingsArrays::writePresets(s, presets);
        if (!layouts.isEmpty())
            SettingsArrays::writeLayouts(s, layouts);
        for (const auto &kv : carried)
            s.setValue(kv.first, kv.second);
    });
}

bool Config::removeMoved()
{
    return SettingsFile(m_path).update([](QSettings &s) {
        SettingsArrays::removeDevices(s);
        SettingsArrays::removePins(s);
        SettingsArrays::removePresets(s);
        SettingsArrays::removeLayouts(s);
        s.remove(QStringLiteral("config"));
    });
}
