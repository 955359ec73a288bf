#include "link/IoCtrl.h"

#include <QTimeZone>

namespace IoCtrl {

namespace {

void putU32(QByteArray &out, int offset, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        out[offset + i] = char((v >> (8 * i)) & 0xFF);
}

void putU8(QByteArray &out, int offset, quint8 v)
{
    out[offset] = char(v);
}

void putBytes(QByteArray &out, int offset, const QByteArray &bytes, int maxSize)
{
    const int n = qMin(int(bytes.size()), maxSize);
    for (int i = 0; i < n; ++i)
        out[offset + i] = bytes.at(i);
}

QByteArray channelPair(int channel)
{
    QByteArray out(8, '\0');
    putU32(out, 0, quint32(channel));
    return out;
}

QByteArray playbackControl(int channel, quint32 command, const QDateTime &startUtc)
{
    QByteArray out(24, '\0');
    putU32(out, 0, quint32(channel));
    putU32(out, 4, command);
    if (startUtc.isValid())
        putBytes(out, 12, deviceTime(startUtc), 8);
    return out;
}

QDateTime dayBound(const QDate &day, const char *time)
{
    const QString text = day.toString(Qt::ISODate) + QLatin1Char(' ') + QLatin1String(time);
    return QDateTime::fromString(text, QStringLiteral("yyyy-M-d hh:mm:ss")).toUTC();
}

} // namespace

QByteArray deviceTime(const QDateTime &dt)
{
    QByteArray out(8, '\0');
    const QDate d = dt.date();
    const QTime t = dt.time();
    out[0] = char(d.year() & 0xFF);
    out[1] = char((d.year() >> 8) & 0xFF);
    putU8(out, 2, quint8(d.month()));
    putU8(out, 3, quint8(d.day()));
    putU8(out, 5, quint8(t.hour()));
    putU8(out, 6, quint8(t.minute()));
    putU8(out, 7, quint8(t.second()));
    return out;
}

QDateTime readDeviceTimeUtc(const QByteArray &data, int offset)
{
    if (offset < 0 || data.size() < offset + 8)
        return QDateTime();
    const auto b = [&](int i) { return int(quint8(data.at(offset + i))); };
    const QDate date(b(0) | (b(1) << 8), b(2), b(3));
    const QTime time(b(5), b(6), b(7));
    if (!date.isValid() || !time.isValid())
        return QDateTime();
    return QDateTime(date, time, QTimeZone::utc());
}

QByteArray streamPrepare()
{
    return QByteArray(2, '\0');
}

QByteArray videoStart(int channel)
{
    return channelPair(channel);
}

QByteArray videoStop(int channel)
{
    return channelPair(channel);
}

QByteArray audioStart()
{
    return QByteArray(4, '\0');
}

QByteArray audioStop()
{
    return QByteArray(4, '\0');
}

QByteArray qualitySet(int channel, bool hd)
{
    QByteArray out = channelPair(channel);
    putU32(out, 4, hd ? 1 : 0);
    return out;
}

QByteArray versionRequest()
{
    return QByteArray(VersionSize, '\0');
}

QByteArray timeSet(const QDateTime &dt)
{
    const QDate d = dt.date();
    const QTime t = dt.time();
    return QStringLiteral("%1-%2-%3-%4-%5-%6")
        .arg(d.year())
        .arg(d.month())
        .arg(d.day())
        .arg(t.hour())
        .arg(t.minute())
        .arg(t.second())
        .toLatin1();
}

QByteArray timeZoneSet(const QString &zone)
{
    return zone.toLatin1();
}

QByteArray wifiSet(const QString &ssid, const QString &password)
{
    QByteArray out(WifiPayloadSize, '\0');
    putBytes(out, 0, ssid.toLatin1(), WifiFieldSize);
    putBytes(out, WifiFieldSize, password.toLatin1(), WifiFieldSize);
    return out;
}

QByteArray speaker(int freeChannelId)
{
    return channelPair(freeChannelId);
}

QByteArray ptzShort(quint8 command, quint8 param, int channel)
{
    QByteArray out(8, '\0');
    putU8(out, 0, command);
    putU8(out, 1, param);
    putU8(out, 5, quint8(channel));
    return out;
}

QByteArray ptzLong(quint8 command, quint8 param, int channel, quint8 extra)
{
    QByteArray out(12, '\0');
    putU8(out, 0, command);
    putU8(out, 1, param);
    putU32(out, 4, quint32(channel));
    putU8(out, 8, extra);
    return out;
}

Message ptzControl(int channel, quint8 command, quint8 param, bool shortForm)
{
    if (shortForm)
        return {IOCTRL_PTZ_SHORT, ptzShort(command, param, channel)};
    return {IOCTRL_PTZ_LONG, ptzLong(command, param, channel, 0)};
}

Message ptzPoint(int channel, int preset, bool shortForm)
{
    if (shortForm)
        return {IOCTRL_PTZ_SHORT, ptzShort(preset % 2 ? 6 : 5, 0, channel)};
    return {IOCTRL_PTZ_LONG, ptzLong(15, 0, channel, quint8(qBound(0, preset, 254) + 1))};
}

Message ptzCruise(int channel, int preset, bool shortForm)
{
    if (shortForm)
        return {IOCTRL_PTZ_SHORT, ptzShort(preset % 2 ? 8 : 7, 0, channel)};
    return {IOCTRL_PTZ_LONG, ptzLong(16, 0, channel, quint8(qBound(0, preset, 254) + 1))};
}

Message ptzCruisePath(int channel, quint8 command, quint8 param, quint8 extra, bool shortForm)
{
    if (shortForm)
        return {IOCTRL_PTZ_SHORT, ptzShort(command, param, channel)};
    return {IOCTRL_PTZ_LONG, ptzLong(command, param, channel, quint8(extra + 1))};
}

QByteArray recordListRequest(int channel, const QDate &day)
{
    QByteArray out(24, '\0');
    putU32(out, 0, quint32(channel));
    putBytes(out, 4, deviceTime(dayBound(day, "00:00:00")), 8);
    putBytes(out, 12, deviceTime(dayBound(day, "23:59:59")), 8);
    return out;
}

QByteArray playbackStart(int channel, const QDateTime &start, bool startFlag, int recordType)
{
    quint32 command = PlaybackStartPlain;
    if (startFlag)
        command = recordType == 5 ? PlaybackStart : PlaybackStartTyped;
    QByteArray out = playbackControl(channel, command, start.toUTC());
    if (recordType == 5)
        putU8(out, 20, quint8(channel));
    else
        putU8(out, 22, quint8(recordType));
    return out;
}

QByteArray playbackPause(int channel)
{
    QByteArray out = playbackControl(channel, PlaybackPause, QDateTime());
    putU8(out, 20, quint8(channel));
    return out;
}

QByteArray playbackResume(int channel, bool legacy)
{
    QByteArray out = playbackControl(channel, legacy ? PlaybackStart : PlaybackPause, QDateTime());
    putU8(out, 20, quint8(channel));
    return out;
}

QByteArray playbackStop(int channel)
{
    return playbackControl(channel, PlaybackStop, QDateTime());
}

QByteArray playbackSeek(int channel, const QDateTime &replayAt, quint32 offsetSeconds)
{
    QByteArray out(20, '\0');
    putU32(out, 0, quint32(channel));
    if (replayAt.isValid())
        putBytes(out, 4, deviceTime(replayAt.toUTC()), 8);
    putU32(out, 12, offsetSeconds);
    return out;
}

std::optional<quint32> readU32(const QByteArray &data, int offset)
{
    if (offset < 0 || data.size() < offset + 4)
        return std::nullopt;
    quint32 v = 0;
    for (int i = 0; i < 4; ++i)
        v |= quint32(quint8(data.at(offset + i))) << (8 * i);
    return v;
}

std::optional<quint8> readU8(const QByteArray &data, int offset)
{
    if (offset < 0 || data.size() <= offset)
        return std::nullopt;
    return quint8(data.at(offset));
}

std::optional<QList<RecordEntry>> parseRecordList(const QByteArray &data)
{
    if (data.size() < RecordListHeaderSize)
        return std::nullopt;
    const int count = quint8(data.at(10));
    QList<RecordEntry> entries;
    for (int i = 0; i < count; ++i) {
        const int at = RecordListHeaderSize + i * RecordListEntrySize;
        if (data.size() < at + RecordListEntrySize)
            break;
        RecordEntry e;
        e.startUtc = readDeviceTimeUtc(data, at);
        e.lengthSeconds = *readU32(data, at + 12);
        const quint8 kind = quint8(data.at(at + 8));
        if (kind <= quint8(RecordKind::Alarm))
            e.kind = RecordKind(kind);
        entries.append(e);
    }
    return entries;
}

// ---- Playback beyond the basic controls --------------------------------------

namespace {

QDateTime utcOf(qint64 utcMs)
{
    return QDateTime::fromMSecsSinceEpoch(utcMs, QTimeZone::utc());
}

// The device time at offset plus the u16 milliseconds at msOffset; nullopt when
// either is missing or out of range.
std::optional<qint64> readTimeMs(const QByteArray &data, int offset, int msOffset)
{
    const QDateTime t = readDeviceTimeUtc(data, offset);
    if (!t.isValid() || data.size() < msOffset + 2)
        return std::nullopt;
    const int ms = quint8(data.at(msOffset)) | quint8(data.at(msOffset + 1)) << 8;
    if (ms > 999)
        return std::nullopt;
    return t.toMSecsSinceEpoch() + ms;
}

void putTimeMs(QByteArray &out, int offset, int msOffset, qint64 utcMs)
{
    const QDateTime t = utcOf(utcMs);
    putBytes(out, offset, deviceTime(t), 8);
    const int ms = int(((utcMs % 1000) + 1000) % 1000);
    out[msOffset] = char(ms & 0xFF);
    out[msOffset + 1] = char(ms >> 8);
}

// The reply's channel matches, and the payload holds at least size bytes.
bool replyFor(const QByteArray &data, int channel, int size)
{
    const std::optional<quint32> ch = readU32(data, 0);
    return data.size() >= size && ch && *ch == quint32(channel);
}

} // namespace

bool isValidSpeed(int eighths)
{
    for (int s : {1, 2, 4, 8, 16, 32, 64, 128})
        if (eighths == s || (s >= SpeedUnit && eighths == -s))
            return true;
    return false;
}

QByteArray playbackCapsRequest(int channel)
{
    QByteArray out(4, '\0');
    putU32(out, 0, quint32(channel));
    return out;
}

std::optional<PlaybackCaps> parsePlaybackCaps(const QByteArray &data, int channel)
{
    if (!replyFor(data, channel, 12))
        return std::nullopt;
    PlaybackCaps caps;
    caps.flags = *readU32(data, 4);
    caps.maxForward = (caps.flags & CapSpeeds) ? qBound(1, int(*readU8(data, 8)), 16) : 1;
    caps.maxReverse = (caps.flags & CapReverse) ? qBound(1, int(*readU8(data, 9)), 16) : 0;
    return caps;
}

QByteArray playbackSpeed(int channel, int eighths)
{
    QByteArray out(8, '\0');
    putU32(out, 0, quint32(channel));
    putU32(out, 4, quint32(qint32(eighths)));
    return out;
}

std::optional<SpeedReply> parseSpeedReply(const QByteArray &data, int channel)
{
    if (!replyFor(data, channel, 12))
        return std::nullopt;
    SpeedReply r;
    r.result = *readU32(data, 4);
    r.speed = int(qint32(*readU32(data, 8)));
    if (r.result == 0 && !isValidSpeed(r.speed))
        return std::nullopt;
    return r;
}

QByteArray playbackStep(int channel, qint64 targetUtcMs)
{
    QByteArray out(16, '\0');
    putU32(out, 0, quint32(channel));
    putTimeMs(out, 4, 12, targetUtcMs);
    return out;
}

std::optional<StepReply> parseStepReply(const QByteArray &data, int channel)
{
    if (!replyFor(data, channel, 20))
        return std::nullopt;
    StepReply r;
    r.result = *readU32(data, 4);
    if (r.result == 0) {
        const std::optional<qint64> at = readTimeMs(data, 8, 16);
        if (!at)
            return std::nullopt;
        r.landedUtcMs = *at;
    }
    return r;
}

QByteArray thumbnailRequest(int channel, qint64 utcMs, quint32 requestId, int maxWidth)
{
    QByteArray out(20, '\0');
    putU32(out, 0, quint32(channel));
    putBytes(out, 4, deviceTime(utcOf(utcMs)), 8);
    putU32(out, 12, requestId);
    const int w = qBound(16, maxWidth, 640);
    out[16] = char(w & 0xFF);
    out[17] = char(w >> 8);
    return out;
}

std::optional<ThumbnailReply> parseThumbnailReply(const QByteArray &data, int channel)
{
    if (!replyFor(data, channel, 28))
        return std::nullopt;
    ThumbnailReply r;
    r.requestId = *readU32(data, 4);
    r.result = *readU32(data, 8);
    if (r.result != 0)
        return r;
    const std::optional<qint64> at = readTimeMs(data, 12, 20);
    const quint32 length = *readU32(data, 24);
    if (!at || length == 0 || length > quint32(MaxThumbnailBytes) ||
        quint32(data.size() - 28) < length)
        return std::nullopt;
    r.keyUtcMs = *at;
    r.jpeg = data.mid(28, int(length));
    return r;
}

QByteArray exportStart(int channel, qint64 fromUtcMs, qint64 toUtcMs, quint32 requestId)
{
    QByteArray out(24, '\0');
    putU32(out, 0, quint32(channel));
    putBytes(out, 4, deviceTime(utcOf(fromUtcMs)), 8);
    putBytes(out, 12, deviceTime(utcOf(toUtcMs)), 8);
    putU32(out, 20, requestId);
    return out;
}

QByteArray exportStop(int channel, quint32 requestId)
{
    QByteArray out(8, '\0');
    putU32(out, 0, quint32(channel));
    putU32(out, 4, requestId);
    return out;
}

QByteArray exportAck(int channel, quint32 requestId, quint32 framesReceived)
{
    QByteArray out(12, '\0');
    putU32(out, 0, quint32(channel));
    putU32(out, 4, requestId);
    putU32(out, 8, framesReceived);
    return out;
}

std::optional<ExportReply> parseExportReply(const QByteArray &data, int channel)
{
    if (!replyFor(data, channel, 16))
        return std::nullopt;
    ExportReply r;
    r.requestId = *readU32(data, 4);
    r.result = *readU32(data, 8);
    const quint32 av = *readU32(data, 12);
    if (r.result == 0) {
        if (av > 255)
            return std::nullopt;
        r.avChannel = int(av);
    }
    return r;
}

std::optional<ExportEnd> parseExportEnd(const QByteArray &data, int channel)
{
    if (!replyFor(data, channel, 20))
        return std::nullopt;
    ExportEnd e;
    e.requestId = *readU32(data, 4);
    e.result = *readU32(data, 8);
    e.videoFrames = *readU32(data, 12);
    e.audioFrames = *readU32(data, 16);
    return e;
}

} // namespace IoCtrl
