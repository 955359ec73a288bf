#pragma once

#include "config/LayoutRecord.h"
#include "config/LoginRecord.h"
#include "config/PresetRecord.h"
#include "model/DeviceRecord.h"

#include <QList>
#include <QMap>
#include <QString>

class QSettings;

// The arrays of the two settings files, read and written the way Config stores them: the
// remembered logins ("login"), the local devices ("device"), the pinned device keys
// ("keypin"), the channels' presets ("preset") and the named layouts ("layout"). A reader takes at
// most the entries present (a damaged "size" reads no phantom entries), brings every value into
// StoredLimits and logs each correction once with its key, never with the value. Strings are stored
// encoded (TextEncoding). GUI thread only.
namespace SettingsArrays {

// At most Config::MaxLogins, most recent first.
QList<LoginRecord> readLogins(QSettings &s);
void writeLogins(QSettings &s, const QList<LoginRecord> &list);

// At most StoredLimits::MaxDevices, in registration order; entries with too long a UID or an
// unreadable RTSP source are left out.
QList<DeviceRecord> readDevices(QSettings &s);
void writeDevices(QSettings &s, const QList<DeviceRecord> &list);
// Removes the device array.
void removeDevices(QSettings &s);

// Fingerprints by UID; entries that are no fingerprint are left out.
QMap<QString, QString> readPins(QSettings &s);
void writePins(QSettings &s, const QMap<QString, QString> &pins);
// Removes the pin array.
void removePins(QSettings &s);

// The account services' key fingerprints by "host:port" (array "serverpin").
inline constexpr int MaxServerPins = 64;
inline constexpr int MaxServerLength = 260;
QMap<QString, QString> readServerPins(QSettings &s);
void writeServerPins(QSettings &s, const QMap<QString, QString> &pins);

// At most StoredLimits::MaxPresets presets in stored order; entries with an
// unusable UID, channel, number or time are left out.
QList<PresetRecord> readPresets(QSettings &s);
void writePresets(QSettings &s, const QList<PresetRecord> &list);
void removePresets(QSettings &s);
// At most StoredLimits::MaxLayouts layouts in stored order, each passing
// StoredLimits::layoutProblem(). An entry without a layout name, with the name of an earlier
// entry or without a known grid layout is left out; cells beyond the grid's windows are
// dropped; an unusable cell reads as empty, an unusable screen as -1, an unusable geometry as
// none. Each layout's cells are a nested array "cell" ("uid", "channel").
QList<LayoutRecord> readLayouts(QSettings &s);
void writeLayouts(QSettings &s, const QList<LayoutRecord> &list);
void removeLayouts(QSettings &s);

// True for a key fingerprint: 64 lowercase hex digits.
bool isFingerprint(const QString &text);

} // namespace SettingsArrays
