#include "config/Config.h"

#include "config/SettingsFile.h"
#include "config/TextEncoding.h"
#include "diagnostics/Checks.h"
#include "model/RtspUrl.h"
#include "model/SharedInstance.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>
#include <QtDebug>

namespace {

const QString loginArray = QStringLiteral("login");
const QString deviceArray = QStringLiteral("device");
const QString pinArray = QStringLiteral("keypin");
const QString configGroup = QStringLiteral("config");

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

// Reads the values of one array entry, each brought into its bounds; every
// correction is logged once with its key, never with the value itself.
class EntryReader
{
public:
    EntryReader(QSettings &s, const QString &array, int index)
        : m_s(s)
        , m_prefix(array + QLatin1Char('/') + QString::number(index + 1) + QLatin1Char('/'))
    {}

    // The stored number; fallback when absent or not a number, and the
    // nearer end of minimum .. maximum when outside it.
    int number(const char *field, int fallback, int minimum, int maximum) const
    {
        const QVariant stored = m_s.value(QLatin1String(field));
        bool ok = false;
        const int v = stored.toInt(&ok);
        if (!ok) {
            if (stored.isValid())
                warn(field, QStringLiteral("is not a number, using %1").arg(fallback));
            return fallback;
        }
        const int bounded = qBound(minimum, v, maximum);
        if (bounded != v)
            warn(field, QStringLiteral("is out of range, using %1").arg(bounded));
        return bounded;
    }

    // The stored text, decoded.
    QString text(const char *field) const
    {
        return decodeText(m_s.value(QLatin1String(field)).toString());
    }

    // The stored text, decoded and cut to maxLength characters: names and
    // secrets of a listed entry are kept, so that the user sees the entry and
    // can correct it (a cut password just fails the sign-in).
    QString cutText(const char *field, int maxLength) const
    {
        QString t = text(field);
        if (t.size() > maxLength) {
            warn(field, QStringLiteral("is too long, cut to %1 characters").arg(maxLength));
            t.truncate(maxLength);
        }
        return t;
    }

    void warn(const char *field, const QString &what) const
    {
        qWarning("settings: %s%s %s", qUtf8Printable(m_prefix), field, qUtf8Printable(what));
    }

private:
    QSettings &m_s;
    QString m_prefix;
};

// Number of entries to read from an array: those present, at most limit.
int entriesToRead(QSettings &s, const QString &array, int limit)
{
    const int n = arrayEntries(s, array);
    if (n > limit)
        qWarning("settings: %s/size is %d, reading the first %d entries", qPrintable(array), n,
                 limit);
    return qMin(n, limit);
}

QList<LoginRecord> readLoginArray(QSettings &s)
{
    using namespace StoredLimits;
    QList<LoginRecord> list;
    const int n = entriesToRead(s, loginArray, Config::MaxLogins);
    s.beginReadArray(loginArray);
    for (int i = 0; i < n; ++i) {
        s.setArrayIndex(i);
        const EntryReader in(s, loginArray, i);
        LoginRecord r;
        r.username = in.cutText("username", MaxNameLength);
        r.password = in.cutText("password", MaxPasswordLength);
        r.isremember = s.value(QStringLiteral("isremember"), false).toBool();
        r.language = in.number("language", 0, 0, 1);
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

// The RTSP part of a device entry: "kind" is "rtsp" (absent: a P2P device,
// as every entry written before RTSP devices existed), "streams" the stored
// stream list, "onvif" the ONVIF host, "transport" "udp" or "tcp". False
// when the entry is to be skipped (an unknown kind, no valid stream).
bool readRtsp(QSettings &s, const EntryReader &in, DeviceRecord *r)
{
    const QString kind = s.value(QStringLiteral("kind")).toString();
    if (kind.isEmpty())
        return true;
    if (kind != QLatin1String("rtsp")) {
        in.warn("kind", QStringLiteral("is not a known device kind, entry skipped"));
        return false;
    }
    const QString onvifHost = in.cutText("onvif", StoredLimits::MaxHostLength);
    bool hadCredentials = false;
    QString why;
    if (!RtspUrl::readStored(in.text("streams"), onvifHost,
                             s.value(QStringLiteral("transport")).toString(), &r->rtsp,
                             &hadCredentials, &why)) {
        in.warn("streams", QStringLiteral("%1, entry skipped").arg(why));
        return false;
    }
    if (hadCredentials)
        in.warn("streams", QStringLiteral("held credentials, dropped"));
    r->kind = DeviceKind::Rtsp;
    // Known by its ONVIF host alone, the device names its streams later.
    if (!r->rtsp.streams.isEmpty())
        r->channel = int(r->rtsp.streams.size());
    return true;
}

QList<DeviceRecord> readDeviceArray(QSettings &s)
{
    using namespace StoredLimits;
    QList<DeviceRecord> list;
    const int n = entriesToRead(s, deviceArray, MaxDevices);
    s.beginReadArray(deviceArray);
    for (int i = 0; i < n; ++i) {
        s.setArrayIndex(i);
        const EntryReader in(s, deviceArray, i);
        DeviceRecord r;
        r.uid = in.text("uid");
        if (r.uid.size() > MaxUidLength) {
            // A cut UID would name another device: the entry is left out.
            in.warn(
                "uid",
                QStringLiteral("is longer than %1 characters, entry skipped").arg(MaxUidLength));
            continue;
        }
        // The channel list is built from this count: it must stay small.
        r.channel = in.number("channel", 1, 1, MaxChannels);
        r.type = in.number("type", DefaultDeviceType, std::numeric_limits<int>::min(),
                           std::numeric_limits<int>::max());
        if (!isKnownDeviceType(r.type)) {
            in.warn("type",
                    QStringLiteral("is not a known type code, using %1").arg(DefaultDeviceType));
            r.type = DefaultDeviceType;
        }
        r.nickname = in.cutText("nickname", MaxNameLength);
        r.username = in.cutText("username", MaxNameLength);
        r.password = in.cutText("password", MaxPasswordLength);
        if (!readRtsp(s, in, &r))
            continue;
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
        if (r.kind == DeviceKind::Rtsp) {
            s.setValue(QStringLiteral("kind"), QStringLiteral("rtsp"));
            s.setValue(QStringLiteral("streams"), encodeText(RtspUrl::storedText(r.rtsp.streams)));
            s.setValue(QStringLiteral("onvif"), encodeText(r.rtsp.onvifHost));
            s.setValue(QStringLiteral("transport"), RtspUrl::transportWord(r.rtsp.transport));
        }
    }
    s.endArray();
}

bool isFingerprint(const QString &text)
{
    static const QRegularExpression hex(QStringLiteral("^[0-9a-f]{64}$"));
    return hex.match(text).hasMatch();
}

QMap<QString, QString> readPinArray(QSettings &s)
{
    QMap<QString, QString> pins;
    const int n = entriesToRead(s, pinArray, StoredLimits::MaxDevices);
    s.beginReadArray(pinArray);
    for (int i = 0; i < n; ++i) {
        s.setArrayIndex(i);
        const EntryReader in(s, pinArray, i);
        const QString uid = in.text("uid");
        const QString fp = s.value(QStringLiteral("sha256")).toString();
        if (uid.isEmpty() || uid.size() > StoredLimits::MaxUidLength || !isFingerprint(fp)) {
            in.warn("sha256", QStringLiteral("is not a key fingerprint, entry skipped"));
            continue;
        }
        pins.insert(uid, fp);
    }
    s.endArray();
    return pins;
}

void writePinArray(QSettings &s, const QMap<QString, QString> &pins)
{
    s.remove(pinArray);
    s.beginWriteArray(pinArray, int(pins.size()));
    int i = 0;
    for (auto it = pins.begin(); it != pins.end(); ++it, ++i) {
        s.setArrayIndex(i);
        s.setValue(QStringLiteral("uid"), encodeText(it.key()));
        s.setValue(QStringLiteral("sha256"), it.value());
    }
    s.endArray();
}

} // namespace

bool StoredLimits::isKnownDeviceType(int type)
{
    return (type >= 1 && type <= 14) || type == 10001;
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

QString Config::devicePin(const QString &uid) const
{
    const auto s = SettingsFile(m_path).open();
    return s ? readPinArray(*s).value(uid) : QString();
}

bool Config::setDevicePin(const QString &uid, const QString &fingerprint)
{
    if (uid.isEmpty() || (!fingerprint.isEmpty() && !isFingerprint(fingerprint)))
        return false;
    return SettingsFile(m_path).update([&](QSettings &s) {
        QMap<QString, QString> pins = readPinArray(s);
        if (fingerprint.isEmpty())
            pins.remove(uid);
        else
            pins.insert(uid, fingerprint);
        while (pins.size() > StoredLimits::MaxDevices)
            pins.erase(pins.begin());
        writePinArray(s, pins);
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
