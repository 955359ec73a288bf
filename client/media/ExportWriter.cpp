#include "media/ExportWriter.h"

#include "link/ChannelBufferItem.h"
#include "link/IoCtrl.h"
#include "media/H26xDecoder.h"
#include "media/RecordFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QtDebug>

#include <algorithm>

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace {

constexpr int MaxNameSuffix = 1000;
constexpr uint8_t KeyFrameFlag = 0x01;
const QLatin1String PartSuffix(".part");

// A frame's time on its span's timeline. The recording clock of a file
// follows the device field while it is not 0, so the span's first frame is 1.
uint32_t spanClock(qint64 ms, qint64 spanStart)
{
    return uint32_t(ms - spanStart + 1);
}

} // namespace

ExportWriter::ExportWriter(const QString &folder, const QString &deviceName, int channelNumber,
                           qint64 fromUtcMs, qint64 toUtcMs)
    : m_folder(folder)
    , m_deviceName(sanitized(deviceName))
    , m_channelNumber(channelNumber)
    , m_from(fromUtcMs)
    , m_to(std::max(fromUtcMs, toUtcMs))
{}

ExportWriter::~ExportWriter()
{
    discard(false);
}

QString ExportWriter::sanitized(const QString &name)
{
    QString out;
    out.reserve(name.size());
    for (const QChar c : name) {
        const bool refused =
            c.unicode() < 0x20 || c == QChar(0x7F) || QStringLiteral("<>:\"/\\|?*").contains(c);
        out.append(refused ? QChar(u'_') : c);
    }
    // Windows drops trailing dots and spaces; a leading dot hides the file.
    while (!out.isEmpty() && (out.endsWith(u'.') || out.endsWith(u' ')))
        out.chop(1);
    while (!out.isEmpty() && (out.startsWith(u'.') || out.startsWith(u' ')))
        out.remove(0, 1);
    out.truncate(80);
    return out.isEmpty() ? QStringLiteral("device") : out;
}

QString ExportWriter::fileName(const QString &deviceName, int channelNumber, qint64 spanStartUtcMs)
{
    const QDateTime start = QDateTime::fromMSecsSinceEpoch(spanStartUtcMs).toLocalTime();
    return QStringLiteral("%1_CH%2_%3.mp4")
        .arg(sanitized(deviceName))
        .arg(channelNumber)
        .arg(start.toString(QStringLiteral("yyyyMMdd-HHmmss")));
}

int16_t ExportWriter::alawSample(uint8_t code)
{
    code ^= 0x55;
    int magnitude = (code & 0x0F) << 4;
    const int seg = (code & 0x70) >> 4;
    if (seg == 0)
        magnitude += 8;
    else
        magnitude = (magnitude + 0x108) << (seg - 1);
    return int16_t((code & 0x80) ? magnitude : -magnitude);
}

void ExportWriter::frame(ChannelBufferItem *item, bool video)
{
    const std::unique_ptr<ChannelBufferItem> owned(item);
    if (!item || !item->data)
        return;
    const int size = std::min(item->size, item->capacity);
    if (size <= 0)
        return;
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_closed || m_failedFlag.load())
        return;
    const qint64 ms = item->recordTimeMs();
    if (video)
        this->video(*item, size, ms);
    else
        sound(*item, size, ms);
}

void ExportWriter::video(const ChannelBufferItem &item, int size, qint64 ms)
{
    const int codecId = H26xDecoder::codecIdForFrame(item.codecId());
    if (codecId == AV_CODEC_ID_NONE)
        return;
    // Devices that do not tell milliseconds leave the marks among the flags.
    const uint8_t flags = item.flags() | item.marks();
    const bool key = (flags & KeyFrameFlag) && RecordFile::isKeyUnit(codecId, item.data, size);
    if ((flags & IoCtrl::FrameSpanStart) || !m_current) {
        if (m_current) {
            placeSound(ms, false); // what belongs before the new span
            closeSpan(m_previous);
            m_previous = std::move(m_current);
        }
        if (!key || !openSpan(item, codecId, size, ms))
            return; // a span starts with a key frame; until one comes, nothing
    }
    QString error;
    Span &span = *m_current;
    if (!span.file->writeVideo(item.data, size, key, spanClock(ms, span.startMs), ms - span.startMs,
                               &error)) {
        fail(error);
        return;
    }
    span.lastVideoMs = std::max(span.lastVideoMs, ms);
    m_covered.store(std::clamp(ms - m_from, qint64(0), m_to - m_from));
    placeSound(ms, false);
    if (m_previous && ms - span.startMs >= LateSoundMs)
        closeSpan(m_previous);
}

void ExportWriter::sound(const ChannelBufferItem &item, int size, qint64 ms)
{
    if (item.codecId() != AlawCodecId)
        return;
    m_soundSeen = true;
    Sound s;
    s.ms = ms;
    s.samples.resize(size_t(size));
    for (int i = 0; i < size; ++i)
        s.samples[size_t(i)] = alawSample(item.data[i]);
    if (m_current && ms <= m_current->lastVideoMs) {
        if (ms >= m_current->startMs)
            writeSound(*m_current, s);
        else if (m_previous)
            writeSound(*m_previous, s);
        return;
    }
    m_sound.push_back(std::move(s));
    while (!m_sound.empty() && (m_sound.back().ms - m_sound.front().ms > MaxWaitingSoundMs ||
                                m_sound.size() > MaxWaitingSoundFrames))
        m_sound.pop_front();
}

void ExportWriter::placeSound(qint64 ms, bool all)
{
    while (!m_sound.empty() && (all || m_sound.front().ms <= ms)) {
        const Sound s = std::move(m_sound.front());
        m_sound.pop_front();
        if (m_previous && m_current && s.ms < m_current->startMs)
            writeSound(*m_previous, s);
        else if (m_current)
            writeSound(*m_current, s);
    }
}

void ExportWriter::writeSound(Span &span, const Sound &s)
{
    QString error;
    if (!span.file->writeAudio(s.samples.data(), int(s.samples.size()),
                               spanClock(s.ms, span.startMs), s.ms - span.startMs, &error))
        fail(error);
}

QString ExportWriter::freePath(qint64 spanStartMs) const
{
    const QString name = fileName(m_deviceName, m_channelNumber, spanStartMs);
    const QString base = QDir(m_folder).filePath(name.chopped(4));
    for (int n = 1; n <= MaxNameSuffix; ++n) {
        const QString path =
            base + (n > 1 ? QStringLiteral("_%1").arg(n) : QString()) + QStringLiteral(".mp4");
        if (!QFile::exists(path) && !QFile::exists(path + PartSuffix) && !m_files.contains(path))
            return path;
    }
    return {};
}

bool ExportWriter::openSpan(const ChannelBufferItem &item, int codecId, int size, qint64 ms)
{
    RecordFile::VideoFormat format;
    format.codecId = codecId;
    format.parameterSets = RecordFile::parameterSets(codecId, item.data, size);
    if (format.parameterSets.isEmpty() ||
        !RecordFile::pictureSize(codecId, item.data, size, &format.width, &format.height))
        return false; // a key frame that cannot start a file: wait for the next
    auto span = std::make_unique<Span>();
    span->path = freePath(ms);
    if (span->path.isEmpty()) {
        fail(QStringLiteral("no free file name in %1").arg(m_folder));
        return false;
    }
    span->part = span->path + PartSuffix;
    span->startMs = ms;
    span->lastVideoMs = ms;
    QString error;
    span->file = RecordFile::create(span->part, format, m_soundSeen, &error);
    if (!span->file) {
        QFile::remove(span->part);
        fail(error);
        return false;
    }
    m_parts.append(span->part);
    m_current = std::move(span);
    return true;
}

void ExportWriter::closeSpan(std::unique_ptr<Span> &span)
{
    if (!span)
        return;
    const std::unique_ptr<Span> closing = std::move(span);
    QString error;
    if (!closing->file->finish(&error)) {
        fail(error);
        return;
    }
    closing->file.reset();
    if (!QFile::rename(closing->part, closing->path)) {
        fail(QStringLiteral("cannot rename %1").arg(closing->part));
        return;
    }
    m_parts.removeOne(closing->part);
    m_files.append(closing->path);
}

bool ExportWriter::finish(QString *error)
{
    std::lock_guard<std::mutex> lock(m_lock);
    if (!m_closed && !m_failedFlag.load()) {
        placeSound(0, true);
        closeSpan(m_previous);
        closeSpan(m_current);
        m_sound.clear();
        if (!m_failedFlag.load())
            m_covered.store(m_to - m_from);
    }
    m_closed = true;
    if (m_failedFlag.load() && error)
        *error = m_error;
    return !m_failedFlag.load();
}

void ExportWriter::discard(bool completedToo)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_closed = true;
    m_previous.reset();
    m_current.reset();
    m_sound.clear();
    for (const QString &part : std::as_const(m_parts))
        QFile::remove(part);
    m_parts.clear();
    if (completedToo) {
        for (const QString &path : std::as_const(m_files))
            QFile::remove(path);
        m_files.clear();
    }
}

QStringList ExportWriter::files() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_files;
}

QString ExportWriter::error() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_error;
}

void ExportWriter::fail(const QString &why)
{
    if (m_failedFlag.load())
        return;
    qWarning() << "export of" << m_deviceName << "channel" << m_channelNumber << "failed:" << why;
    m_error = why.isEmpty() ? QStringLiteral("write error") : why;
    m_failedFlag.store(true);
    // A failed file must not stay looking like a good one.
    for (std::unique_ptr<Span> *span : {&m_previous, &m_current})
        span->reset();
    for (const QString &part : std::as_const(m_parts))
        QFile::remove(part);
    m_parts.clear();
}
