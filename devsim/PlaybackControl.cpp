#include "PlaybackControl.h"

#include "IoControl.h"
#include "IoCtrlType.h"

#include <QDateTime>
#include <QTimeZone>

#include <algorithm>

namespace devsim {

namespace {

constexpr std::uint32_t kPause = 0; // also resume, when paused
constexpr std::uint32_t kStop = 1;
constexpr std::uint32_t kStartTyped = 4;
constexpr std::uint32_t kStartPlain = 5;
constexpr std::uint32_t kEnded = 7;
constexpr std::uint32_t kStart = 16; // also resume, when paused (older clients)
constexpr int kNormalRecordType = 5;

PlaybackControl::Reply controlReply(std::uint32_t command, std::uint32_t result)
{
    return {IoCtrlType::PlaybackControlResp, IoControl::u32(command) + IoControl::u32(result), -1};
}

bool offeredSpeed(std::int32_t speed)
{
    for (const int s : {1, 2, 4, 8, 16, 32, 64, 128, -8, -16, -32, -64, -128})
        if (speed == s)
            return true;
    return false;
}

QByteArray u16(std::uint16_t v)
{
    QByteArray out(2, '\0');
    out[0] = char(v & 0xFF);
    out[1] = char(v >> 8);
    return out;
}

} // namespace

PlaybackControl::PlaybackControl(RecordStore store, RecordKinds kinds, int channels, FrameGrid grid)
    : m_store(std::move(store))
    , m_kinds(std::move(kinds))
    , m_channels(channels)
    , m_grid(grid)
{}

QString PlaybackControl::timeText(qint64 utcMs, bool withMs)
{
    return QDateTime::fromMSecsSinceEpoch(utcMs, QTimeZone::utc())
        .toString(withMs ? QStringLiteral("yyyy-MM-ddThh:mm:ss.zzz")
                         : QStringLiteral("yyyy-MM-ddThh:mm:ss"));
}

std::optional<qint64> PlaybackControl::readDeviceTime(const QByteArray &data, int offset)
{
    if (offset < 0 || data.size() < offset + 8)
        return std::nullopt;
    const auto b = [&](int i) { return int(static_cast<std::uint8_t>(data.at(offset + i))); };
    const QDate date(b(0) | b(1) << 8, b(2), b(3));
    const QTime time(b(5), b(6), b(7));
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    return QDateTime(date, time, QTimeZone::utc()).toSecsSinceEpoch();
}

QByteArray PlaybackControl::deviceTime(qint64 utcSeconds)
{
    const QDateTime dt = QDateTime::fromSecsSinceEpoch(utcSeconds, QTimeZone::utc());
    QByteArray out(8, '\0');
    out[0] = char(dt.date().year() & 0xFF);
    out[1] = char(dt.date().year() >> 8);
    out[2] = char(dt.date().month());
    out[3] = char(dt.date().day());
    out[4] = char(dt.date().dayOfWeek() % 7);
    out[5] = char(dt.time().hour());
    out[6] = char(dt.time().minute());
    out[7] = char(dt.time().second());
    return out;
}

PlaybackControl::Outcome PlaybackControl::recordList(const QByteArray &payload) const
{
    const std::optional<std::uint32_t> channel = IoControl::readU32(payload, 0);
    const std::optional<qint64> from = readDeviceTime(payload, 4);
    const std::optional<qint64> to = readDeviceTime(payload, 12);
    QList<RecordKinds::Entry> found;
    if (channel && *channel < std::uint32_t(m_channels) && from && to && *from <= *to)
        found = m_kinds.overlapping(*from, *to);
    const int count = int(std::min<qsizetype>(found.size(), MaxListEntries));
    QByteArray out(12, '\0');
    if (channel)
        out.replace(0, 4, IoControl::u32(*channel));
    out[10] = char(count);
    for (int i = 0; i < count; ++i) {
        QByteArray entry = deviceTime(found[i].start) + QByteArray(4, '\0');
        entry[8] = char(found[i].kind);
        entry += IoControl::u32(std::uint32_t(found[i].length));
        out += entry;
    }
    Outcome o;
    o.replies.push_back({IoCtrlType::RecordListResp, out, -1});
    o.status = QStringLiteral("list %1 %2 %3")
                   .arg(channel ? qint64(*channel) : -1)
                   .arg(from ? timeText(*from * 1000) : QStringLiteral("-"))
                   .arg(count);
    return o;
}

bool PlaybackControl::busyFor(int session, int channel) const
{
    int others = 0;
    for (const auto &p : m_playbacks) {
        if (p.first.first != session)
            return true; // one session plays back at a time
        others += p.first.second != channel;
    }
    return m_channelLimit > 0 && others >= m_channelLimit;
}

PlaybackControl::Outcome PlaybackControl::start(int session, int avChannel, int channel, qint64 at,
                                                int recordType)
{
    Outcome o;
    if (busyFor(session, channel)) {
        QByteArray busy(8, '\0');
        busy[4] = 1;
        o.replies.push_back({IoCtrlType::PlaybackBusy, busy, -1});
        o.status = QStringLiteral("busy %1").arg(channel);
        return o;
    }
    const std::optional<RecordStore::Recording> rec = m_store.atOrAfter(at);
    if (!rec) {
        // Nothing recorded from there on: the device ends the playback at once.
        m_playbacks.erase({session, channel});
        o.replies.push_back(controlReply(kStop, 0));
        o.status = QStringLiteral("start %1 %2 none").arg(channel).arg(timeText(at * 1000));
        return o;
    }
    Playback p;
    p.controlAv = avChannel;
    moveTo(p, *rec, std::max(at, rec->start) * 1000);
    p.speed = recordType == FastRecordType ? FastSpeed : NormalSpeed;
    auto old = m_playbacks.find({session, channel});
    p.opened = old != m_playbacks.end() && old->second.opened;
    m_playbacks[{session, channel}] = p;
    o.replies.push_back(controlReply(kStart, std::uint32_t(PlaybackAvBase + channel)));
    o.status = QStringLiteral("start %1 %2 %3")
                   .arg(channel)
                   .arg(timeText(m_grid.frameMs(p.recordingStartMs, p.index)))
                   .arg(p.speed == NormalSpeed ? QStringLiteral("normal") : QStringLiteral("fast"));
    return o;
}

PlaybackControl::Outcome PlaybackControl::control(int session, int avChannel,
                                                  const QByteArray &payload)
{
    const std::optional<std::uint32_t> channel = IoControl::readU32(payload, 0);
    const std::optional<std::uint32_t> command = IoControl::readU32(payload, 4);
    Outcome o;
    if (!channel || !command || *channel >= std::uint32_t(m_channels) || payload.size() < 24) {
        o.status = QStringLiteral("bad control");
        return o;
    }
    const int ch = int(*channel);
    const auto it = m_playbacks.find({session, ch});
    const std::optional<qint64> at = readDeviceTime(payload, 12);
    const int recordType = static_cast<std::uint8_t>(payload.at(22));
    const bool resume = it != m_playbacks.end() && it->second.paused &&
                        (*command == kPause || (*command == kStart && !at));
    if (resume) {
        it->second.paused = false;
        it->second.needKey = true;
        o.replies.push_back(controlReply(kPause, 0));
        o.status = QStringLiteral("resume %1").arg(ch);
        return o;
    }
    switch (*command) {
    case kStart:
    case kStartTyped:
    case kStartPlain:
        if (!at) {
            o.status = QStringLiteral("bad start %1").arg(ch);
            return o;
        }
        return start(session, avChannel, ch, *at,
                     *command == kStart ? kNormalRecordType : recordType);
    case kPause:
        if (it == m_playbacks.end()) {
            o.status = QStringLiteral("pause %1 none").arg(ch);
            return o;
        }
        it->second.paused = true;
        o.replies.push_back(controlReply(kPause, 0));
        o.status = QStringLiteral("pause %1").arg(ch);
        return o;
    case kStop:
        m_playbacks.erase({session, ch});
        o.status = QStringLiteral("stop %1").arg(ch);
        return o;
    default:
        o.status = QStringLiteral("command %1 %2").arg(*command).arg(ch);
        return o;
    }
}

PlaybackControl::Outcome PlaybackControl::seek(int session, const QByteArray &payload)
{
    const std::optional<std::uint32_t> channel = IoControl::readU32(payload, 0);
    const std::optional<qint64> at = readDeviceTime(payload, 4);
    const std::optional<std::uint32_t> offset = IoControl::readU32(payload, 12);
    Outcome o;
    const auto it = channel ? m_playbacks.find({session, int(*channel)}) : m_playbacks.end();
    std::optional<RecordStore::Recording> rec;
    qint64 target = 0;
    if (it != m_playbacks.end() && at && offset) {
        target = *at + qint64(*offset);
        rec = m_store.atOrAfter(target);
    }
    const bool ok = rec.has_value();
    if (ok) {
        Playback &p = it->second;
        moveTo(p, *rec, std::max(target, rec->start) * 1000);
        p.ended = false;
        p.needKey = true;
        p.stepMs.clear();
    }
    o.replies.push_back({IoCtrlType::PlaybackSeekResp, IoControl::u32(ok ? 0 : 1), -1});
    o.status = QStringLiteral("seek %1 %2 %3")
                   .arg(channel ? qint64(*channel) : -1)
                   .arg(ok ? timeText(m_grid.frameMs(it->second.recordingStartMs, it->second.index))
                           : QStringLiteral("-"))
                   .arg(ok ? QStringLiteral("ok") : QStringLiteral("no-data"));
    return o;
}

void PlaybackControl::channelOpened(int session, int avChannel)
{
    const auto it = m_playbacks.find({session, avChannel - PlaybackAvBase});
    if (it != m_playbacks.end()) {
        it->second.opened = true;
        it->second.needKey = true;
    }
}

void PlaybackControl::channelClosed(int session, int avChannel)
{
    m_playbacks.erase({session, avChannel - PlaybackAvBase});
}

void PlaybackControl::sessionClosed(int session)
{
    for (auto it = m_playbacks.begin(); it != m_playbacks.end();)
        it = it->first.first == session ? m_playbacks.erase(it) : std::next(it);
}

bool PlaybackControl::isPlaying(int session, int channel) const
{
    const auto it = m_playbacks.find({session, channel});
    return it != m_playbacks.end() && it->second.opened && !it->second.paused && !it->second.ended;
}

void PlaybackControl::moveTo(Playback &p, const RecordStore::Recording &rec, qint64 atMs) const
{
    p.recordingStartMs = rec.start * 1000;
    p.recordingEndMs = rec.end() * 1000;
    p.index = m_grid.indexAt(p.recordingStartMs, atMs);
}

PlaybackControl::Outcome PlaybackControl::caps(const QByteArray &payload) const
{
    const std::optional<std::uint32_t> channel = IoControl::readU32(payload, 0);
    Outcome o;
    if (!channel || *channel >= std::uint32_t(m_channels)) {
        o.status = QStringLiteral("bad caps");
        return o;
    }
    QByteArray out = IoControl::u32(*channel) + IoControl::u32(CapsFlags) + QByteArray(4, '\0');
    out[8] = char(MaxSpeedFactor);
    out[9] = char(MaxSpeedFactor);
    o.replies.push_back({IoCtrlType::PlaybackCapsResp, out, -1});
    o.status = QStringLiteral("caps %1").arg(*channel);
    return o;
}

PlaybackControl::Outcome PlaybackControl::speed(int session, const QByteArray &payload)
{
    const std::optional<std::uint32_t> channel = IoControl::readU32(payload, 0);
    const std::optional<std::uint32_t> raw = IoControl::readU32(payload, 4);
    Outcome o;
    if (!channel || !raw || *channel >= std::uint32_t(m_channels)) {
        o.status = QStringLiteral("bad speed");
        return o;
    }
    const int ch = int(*channel);
    const auto wanted = static_cast<std::int32_t>(*raw);
    const auto it = m_playbacks.find({session, ch});
    std::uint32_t result = 0;
    std::int32_t inForce = 0;
    if (it == m_playbacks.end()) {
        result = 1;
        o.status = QStringLiteral("speed %1 %2 none").arg(ch).arg(wanted);
    } else if (!offeredSpeed(wanted)) {
        result = 2;
        inForce = it->second.speed;
        o.status = QStringLiteral("speed %1 %2 refused").arg(ch).arg(wanted);
    } else {
        Playback &p = it->second;
        if (p.speed != wanted) {
            p.speed = wanted;
            p.ticks = 0;
            p.needKey = true;
        }
        inForce = wanted;
        o.status = QStringLiteral("speed %1 %2").arg(ch).arg(wanted);
    }
    o.replies.push_back({IoCtrlType::PlaybackSpeedResp,
                         IoControl::u32(*channel) + IoControl::u32(result) +
                             IoControl::u32(static_cast<std::uint32_t>(inForce)),
                         -1});
    return o;
}

PlaybackControl::Outcome PlaybackControl::step(int session, const QByteArray &payload)
{
    const std::optional<std::uint32_t> channel = IoControl::readU32(payload, 0);
    Outcome o;
    if (!channel || *channel >= std::uint32_t(m_channels) || payload.size() < 16) {
        o.status = QStringLiteral("bad step");
        return o;
    }
    const int ch = int(*channel);
    const std::optional<qint64> at = readDeviceTime(payload, 4);
    const int ms =
        static_cast<std::uint8_t>(payload.at(12)) | static_cast<std::uint8_t>(payload.at(13)) << 8;
    const auto it = m_playbacks.find({session, ch});
    std::uint32_t result = 0;
    qint64 landedMs = 0;
    std::optional<RecordStore::Recording> rec;
    const qint64 targetMs = at ? *at * 1000 + ms : 0;
    if (at && ms < 1000)
        rec = m_store.atOrAfter(*at);
    if (it == m_playbacks.end() || !it->second.paused) {
        result = 1;
    } else if (!rec || rec->start * 1000 > targetMs || rec->end() * 1000 <= targetMs) {
        result = 2;
    } else {
        Playback &p = it->second;
        moveTo(p, *rec, targetMs);
        p.stepMs.clear();
        for (qint64 k = m_grid.keyAtOrBefore(p.index); k <= p.index; ++k)
            p.stepMs.push_back(m_grid.frameMs(p.recordingStartMs, k));
        landedMs = p.stepMs.back();
        ++p.index; // a resume goes on after the landed picture, with a key frame
        p.needKey = true;
        p.ended = false;
    }
    QByteArray out = IoControl::u32(*channel) + IoControl::u32(result);
    out += result == 0 ? deviceTime(landedMs / 1000) : QByteArray(8, '\0');
    out += u16(result == 0 ? std::uint16_t(landedMs % 1000) : 0) + u16(0);
    o.replies.push_back({IoCtrlType::PlaybackStepResp, out, -1});
    o.status = QStringLiteral("step %1 %2")
                   .arg(ch)
                   .arg(result == 0   ? timeText(landedMs, true)
                        : result == 1 ? QStringLiteral("- not-paused")
                                      : QStringLiteral("- no-data"));
    return o;
}

std::optional<PlaybackControl::Frame> PlaybackControl::advance(const Key &key, Playback &p) const
{
    Frame f{key.first, PlaybackAvBase + key.second, key.second, 0, p.needKey};
    if (p.speed > 0) {
        // Slow speeds send a picture every 8 / speed ticks, each one frame on.
        if (p.speed < NormalSpeed && p.ticks++ % (NormalSpeed / p.speed) != 0)
            return std::nullopt;
        f.positionMs = m_grid.frameMs(p.recordingStartMs, p.index);
        if (f.positionMs >= p.recordingEndMs) {
            p.ended = true;
            return std::nullopt;
        }
        p.index += std::max(1, p.speed / NormalSpeed);
    } else {
        // Backward: key frames only, jumping back over gaps to the previous recording.
        f.key = true;
        f.positionMs = m_grid.frameMs(p.recordingStartMs, p.index);
        p.index -= -p.speed / NormalSpeed;
        if (p.index < 0) {
            const QList<RecordStore::Recording> &all = m_store.recordings();
            const auto prev = std::find_if(all.crbegin(), all.crend(), [&](const auto &r) {
                return r.end() * 1000 <= p.recordingStartMs;
            });
            if (prev == all.crend()) {
                p.ended = true;
            } else {
                p.recordingStartMs = prev->start * 1000;
                p.recordingEndMs = prev->end() * 1000;
                p.index = m_grid.lastIndex(p.recordingStartMs, p.recordingEndMs);
            }
        }
    }
    p.needKey = false;
    return f;
}

std::vector<PlaybackControl::Frame>
PlaybackControl::tick(std::vector<std::pair<Frame, Reply>> *ended)
{
    std::vector<Frame> frames;
    for (auto &[key, p] : m_playbacks) {
        if (!p.opened)
            continue;
        if (p.paused && !p.stepMs.empty()) {
            for (std::size_t i = 0; i < p.stepMs.size(); ++i)
                frames.push_back({key.first, PlaybackAvBase + key.second, key.second, p.stepMs[i],
                                  i == 0, i + 1 == p.stepMs.size()});
            p.stepMs.clear();
            continue;
        }
        if (p.paused || p.ended)
            continue;
        const std::optional<Frame> f = advance(key, p);
        if (f)
            frames.push_back(*f);
        if (p.ended) {
            Reply end = controlReply(kEnded, 0);
            end.avChannel = p.controlAv;
            if (ended)
                ended->push_back({f.value_or(Frame{key.first, PlaybackAvBase + key.second,
                                                   key.second, 0, false}),
                                  end});
        }
    }
    return frames;
}

} // namespace devsim
