#include "config/SettingsArrays.h"

#include "config/Config.h"
#include "config/EntryReader.h"
#include "config/TextEncoding.h"
#include "diagnostics/Checks.h"
#include "model/RtspUrl.h"

#include <QRegularExpression>
#include <QSet>
#include <QSettings>
#include <QtDebug>

#include <optional>
#include <utility>

namespace {

const QString loginArray = QStringLiteral("login");
const QString deviceArray = QStringLiteral("device");
const QString pinArray = QStringLiteral("keypin");
const QString presetArray = QStringLiteral("preset");
const QString serverPinArray = QStringLiteral("serverpin");
const QString layoutArray = QStringLiteral("layout");
const QString cellArray = QStringLiteral("cell");

// True for a URL the settings may keep: a valid rtsp:// URL without a user
// name or password (or no URL at all, where mayBeEmpty).
bool isCredentialFree(const QString &url, bool mayBeEmpty)
{
    if (url.isEmpty())
        return mayBeEmpty;
    RtspUrl::Split split;
    return RtspUrl::split(url, &split, nullptr) && !split.hasCredentials && split.url == url;
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
    // A damaged stream list must not read as none (a device known by its
    // ONVIF host alone), nor a damaged host as none.
    QString streamsText;
    if (!in.encodedText("streams", &streamsText) || !in.encodedText("onvif", nullptr))
        return false;
    const QString onvifHost = in.cutText("onvif", StoredLimits::MaxHostLength);
    bool hadCredentials = false;
    QString why;
    if (!RtspUrl::readStored(streamsText, onvifHost,
                             s.value(QStringLiteral("transport")).toString(), &r->rtsp,
                             &hadCredentials, &why)) {
        in.warn("streams", QStringLiteral("%1, entry skipped").arg(why));
        return false;
    }
    if (hadCredentials)
        in.warn("streams", QStringLiteral("held credentials, dropped"));
    // What the rest of the client relies on, checked here once more: every
    // channel has a main stream, and no URL keeps a user name or password.
    for (const RtspStream &stream : std::as_const(r->rtsp.streams)) {
        if (!isCredentialFree(stream.main, false) || !isCredentialFree(stream.sub, true)) {
            in.warn("streams", QStringLiteral("holds a channel without a valid main stream, or "
                                              "a URL with credentials, entry skipped"));
            return false;
        }
    }
    r->kind = DeviceKind::Rtsp;
    // Known by its ONVIF host alone, the device names its streams later; it
    // keeps the channel count it was stored with (its media profiles' count).
    if (r->rtsp.streams.isEmpty())
        return true;
    // Otherwise one channel per stream, whatever "channel" says.
    const int streams = int(r->rtsp.streams.size());
    if (r->channel != streams) {
        in.warn("channel", QStringLiteral("differs from the %1 streams, using %1").arg(streams));
        r->channel = streams;
    }
    return true;
}

// One cell of a layout entry; empty when unusable.
LayoutCell readCell(const EntryReader &in)
{
    LayoutCell c;
    if (!in.encodedText("uid", &c.uid, "cell left empty") || c.uid.isEmpty())
        return LayoutCell();
    if (c.uid.size() > StoredLimits::MaxUidLength) {
        in.warn("uid", QStringLiteral("is too long, cell left empty"));
        return LayoutCell();
    }
    const std::optional<int> channel =
        in.exactNumber("channel", 0, StoredLimits::MaxChannels - 1, "cell left empty");
    if (!channel)
        return LayoutCell();
    c.channel = *channel;
    return c;
}

// The cells of the current layout entry, at most `limit`.
QList<LayoutCell> readCells(QSettings &s, const QString &prefix, int limit)
{
    const int stored = EntryReader::arrayEntries(s, cellArray);
    if (stored > limit)
        qWarning("settings: %s%s holds %d cells, more than its grid: keeping %d",
                 qUtf8Printable(prefix), qUtf8Printable(cellArray), stored, limit);
    const int n = qMin(stored, limit);
    QList<LayoutCell> cells;
    s.beginReadArray(cellArray);
    for (int i = 0; i < n; ++i) {
        s.setArrayIndex(i);
        cells.append(readCell(EntryReader(s, prefix + cellArray, i)));
    }
    s.endArray();
    return cells;
}

// The own-window part of the current layout entry, each value checked on its own.
void readOwnWindow(QSettings &s, const EntryReader &in, LayoutRecord *r)
{
    using namespace StoredLimits;
    r->ownWindow = s.value(QStringLiteral("ownWindow"), false).toBool();
    r->fullScreen = s.value(QStringLiteral("fullScreen"), false).toBool();
    r->screen = in.exactNumber("screen", -1, MaxScreen, "using -1", true).value_or(-1);
    if (!s.contains(QStringLiteral("width")))
        return;
    const char *const fields[] = {"x", "y", "width", "height"};
    int v[4] = {};
    for (int k = 0; k < 4; ++k) {
        const int lowest = k < 2 ? -MaxWindowPosition : 1;
        const int highest = k < 2 ? MaxWindowPosition : MaxWindowExtent;
        const std::optional<int> n = in.exactNumber(fields[k], lowest, highest, "no geometry kept");
        if (!n)
            return;
        v[k] = *n;
    }
    r->geometry = QRect(v[0], v[1], v[2], v[3]);
}

} // namespace

namespace SettingsArrays {

QList<LoginRecord> readLogins(QSettings &s)
{
    using namespace StoredLimits;
    QList<LoginRecord> list;
    const int n = EntryReader::entriesToRead(s, loginArray, Config::MaxLogins);
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

void writeLogins(QSettings &s, const QList<LoginRecord> &list)
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

QList<DeviceRecord> readDevices(QSettings &s)
{
    using namespace StoredLimits;
    QList<DeviceRecord> list;
    const int n = EntryReader::entriesToRead(s, deviceArray, MaxDevices);
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

void writeDevices(QSettings &s, const QList<DeviceRecord> &list)
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

static QMap<QString, QString> readPinArray(QSettings &s, const QString &array, const char *keyField,
                                           int maxEntries, int maxKeyLength)
{
    QMap<QString, QString> pins;
    const int n = EntryReader::entriesToRead(s, array, maxEntries);
    s.beginReadArray(array);
    for (int i = 0; i < n; ++i) {
        s.setArrayIndex(i);
        const EntryReader in(s, array, i);
        const QString key = in.text(keyField);
        const QString fp = s.value(QStringLiteral("sha256")).toString();
        if (key.isEmpty() || key.size() > maxKeyLength || !isFingerprint(fp)) {
            in.warn("sha256", QStringLiteral("is not a key fingerprint, entry skipped"));
            continue;
        }
        pins.insert(key, fp);
    }
    s.endArray();
    return pins;
}

static void writePinArray(QSettings &s, const QString &array, const char *keyField,
                          const QMap<QString, QString> &pins)
{
    s.remove(array);
    s.beginWriteArray(array, int(pins.size()));
    int i = 0;
    for (auto it = pins.begin(); it != pins.end(); ++it, ++i) {
        s.setArrayIndex(i);
        s.setValue(QLatin1String(keyField), encodeText(it.key()));
        s.setValue(QStringLiteral("sha256"), it.value());
    }
    s.endArray();
}

QMap<QString, QString> readPins(QSettings &s)
{
    return readPinArray(s, pinArray, "uid", StoredLimits::MaxDevices, StoredLimits::MaxUidLength);
}

void writePins(QSettings &s, const QMap<QString, QString> &pins)
{
    writePinArray(s, pinArray, "uid", pins);
}

QMap<QString, QString> readServerPins(QSettings &s)
{
    return readPinArray(s, serverPinArray, "server", MaxServerPins, MaxServerLength);
}

void writeServerPins(QSettings &s, const QMap<QString, QString> &pins)
{
    writePinArray(s, serverPinArray, "server", pins);
}

void removeDevices(QSettings &s)
{
    s.remove(deviceArray);
}

void removePins(QSettings &s)
{
    s.remove(pinArray);
}

void removePresets(QSettings &s)
{
    s.remove(presetArray);
}

QList<PresetRecord> readPresets(QSettings &s)
{
    using namespace StoredLimits;
    QList<PresetRecord> list;
    const int n = EntryReader::entriesToRead(s, presetArray, MaxPresets);
    s.beginReadArray(presetArray);
    for (int i = 0; i < n; ++i) {
        s.setArrayIndex(i);
        const EntryReader in(s, presetArray, i);
        PresetRecord r;
        r.uid = in.text("uid");
        r.channel = s.value(QStringLiteral("channel")).toInt();
        r.number = s.value(QStringLiteral("number")).toInt();
        r.index = s.value(QStringLiteral("index")).toInt();
        r.time = QDateTime::fromString(s.value(QStringLiteral("time")).toString(), Qt::ISODate);
        if (r.uid.isEmpty() || r.uid.size() > MaxUidLength || r.channel < 0 ||
            r.channel >= MaxChannels || r.number < 0 || r.number > MaxPresetNumber || r.index < 0 ||
            !r.time.isValid()) {
            in.warn("number", QStringLiteral("is not a usable preset, entry skipped"));
            continue;
        }
        list.append(r);
    }
    s.endArray();
    return list;
}

void writePresets(QSettings &s, const QList<PresetRecord> &list)
{
    s.remove(presetArray);
    s.beginWriteArray(presetArray, int(list.size()));
    for (int i = 0; i < list.size(); ++i) {
        const PresetRecord &r = list.at(i);
        s.setArrayIndex(i);
        s.setValue(QStringLiteral("uid"), encodeText(r.uid));
        s.setValue(QStringLiteral("channel"), r.channel);
        s.setValue(QStringLiteral("number"), r.number);
        s.setValue(QStringLiteral("index"), r.index);
        s.setValue(QStringLiteral("time"), r.time.toString(Qt::ISODateWithMs));
    }
    s.endArray();
}

QList<LayoutRecord> readLayouts(QSettings &s)
{
    using namespace StoredLimits;
    QList<LayoutRecord> list;
    QSet<QString> names;
    const int n = EntryReader::entriesToRead(s, layoutArray, MaxLayouts);
    s.beginReadArray(layoutArray);
    for (int i = 0; i < n; ++i) {
        s.setArrayIndex(i);
        const EntryReader in(s, layoutArray, i);
        LayoutRecord r;
        if (!in.encodedText("name", &r.name))
            continue;
        r.name = r.name.trimmed();
        if (!isLayoutName(r.name) || names.contains(r.name)) {
            in.warn("name", QStringLiteral("is no layout name or a repeated one, entry skipped"));
            continue;
        }
        const std::optional<int> mod =
            in.exactNumber("windowMod", 0, WindowLayouts - 1, "entry skipped");
        if (!mod)
            continue;
        r.windowMod = *mod;
        r.cells = readCells(s, in.prefix(), layoutCells(r.windowMod));
        readOwnWindow(s, in, &r);
        ORVANE_CHECK(layoutProblem(r).isEmpty(), continue);
        names.insert(r.name);
        list.append(r);
    }
    s.endArray();
    return list;
}

void writeLayouts(QSettings &s, const QList<LayoutRecord> &list)
{
    s.remove(layoutArray);
    s.beginWriteArray(layoutArray, int(list.size()));
    for (int i = 0; i < list.size(); ++i) {
        const LayoutRecord &r = list.at(i);
        s.setArrayIndex(i);
        s.setValue(QStringLiteral("name"), encodeText(r.name));
        s.setValue(QStringLiteral("windowMod"), r.windowMod);
        s.beginWriteArray(cellArray, int(r.cells.size()));
        for (int c = 0; c < r.cells.size(); ++c) {
            s.setArrayIndex(c);
            const LayoutCell &cell = r.cells.at(c);
            s.setValue(QStringLiteral("uid"), encodeText(cell.uid));
            s.setValue(QStringLiteral("channel"), cell.isEmpty() ? -1 : cell.channel);
        }
        s.endArray();
        s.setValue(QStringLiteral("ownWindow"), r.ownWindow);
        s.setValue(QStringLiteral("screen"), r.screen);
        s.setValue(QStringLiteral("fullScreen"), r.fullScreen);
        if (!r.geometry.isNull()) {
            s.setValue(QStringLiteral("x"), r.geometry.x());
            s.setValue(QStringLiteral("y"), r.geometry.y());
            s.setValue(QStringLiteral("width"), r.geometry.width());
            s.setValue(QStringLiteral("height"), r.geometry.height());
        }
    }
    s.endArray();
}

void removeLayouts(QSettings &s)
{
    s.remove(layoutArray);
}

} // namespace SettingsArrays
