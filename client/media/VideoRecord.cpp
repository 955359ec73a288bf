#include "media/VideoRecord.h"

#include "link/ChannelBufferItem.h"
#include "media/H26xDecoder.h"
#include "media/JpegWriter.h"
#include "media/PictureExchange.h"
#include "media/RecordFile.h"
#include "media/Video.h"
#include "model/Channel.h"
#include "model/Device.h"
#include "model/SharedInstance.h"

#include <QDir>
#include <QFile>
#include <QThreadPool>
#include <QtDebug>

#include <algorithm>
#include <chrono>

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace {

const QLatin1String ProductFolder("/QELO/");
// The most files of one name and second before buildPath gives up.
constexpr int MaxNameSuffix = 1000;

int64_t steadyMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

QString channelText(Channel *channel)
{
    const QString uid = channel->device() ? channel->device()->uid() : QString();
    return QStringLiteral("%1 channel %2").arg(uid).arg(channel->index() + 1);
}

} // namespace

VideoRecord *VideoRecord::instance()
{
    return SharedInstance<VideoRecord>::get();
}

VideoRecord::VideoRecord(QObject *parent)
    : QObject(parent)
{
    qRegisterMetaType<Channel *>("Channel*");
}

VideoRecord::~VideoRecord() = default;

void VideoRecord::setVideoPath(const QString &path)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_videoPath = path;
}

void VideoRecord::setPicPath(const QString &path)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_picPath = path;
}

QString VideoRecord::videoPath() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_videoPath;
}

QString VideoRecord::picPath() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_picPath;
}

QString VideoRecord::baseName(bool live, int channelNumber, const QDateTime &time)
{
    return (live ? QLatin1String("Preview_VID") : QLatin1String("Playback_VID")) +
           QString::number(channelNumber) + u'_' + time.toString(QStringLiteral("yyyyMMdd_HHmmss"));
}

QString VideoRecord::buildPath(Channel *channel, bool live, const QString &extension,
                               const QDateTime &time, QString *error) const
{
    QString root;
    if (extension == QLatin1String("mp4"))
        root = videoPath();
    else if (extension == QLatin1String("jpg"))
        root = picPath();
    else
        return {};
    const QString uid = channel->device() ? channel->device()->uid() : QString();
    const QString folder = root + ProductFolder + uid;
    if (!QDir().mkpath(folder)) {
        if (error)
            *error = QStringLiteral("cannot create the folder %1").arg(folder);
        return {};
    }
    const QString base = folder + u'/' + baseName(live, channel->index() + 1, time);
    // Reserving the name by creating the file keeps two files of one second
    // apart, also when they are written later.
    for (int n = 1; n <= MaxNameSuffix; ++n) {
        const QString path =
            base + (n > 1 ? QStringLiteral("_%1").arg(n) : QString()) + u'.' + extension;
        QFile file(path);
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            return path;
        if (!file.exists()) {
            if (error)
                *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
            return {};
        }
    }
    if (error)
        *error = QStringLiteral("too many files named %1").arg(base);
    return {};
}

// ---- Recording ---------------------------------------------------------------

std::shared_ptr<RecordFile> VideoRecord::takeFile(const Channel *channel, bool live)
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_files.take(FileKey(channel, live));
}

std::shared_ptr<RecordFile> VideoRecord::fileOf(const Channel *channel, bool live) const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_files.value(FileKey(channel, live));
}

void VideoRecord::releaseChannel(Channel *channel)
{
    for (bool live : {true, false})
        if (std::shared_ptr<RecordFile> file = takeFile(channel, live))
            file->finish(nullptr);
}

void VideoRecord::videoFrame(Channel *channel, bool live, const ChannelBufferItem &item)
{
    ChannelSlot &slot = channel->slot(live);
    const bool wanted = slot.recording && slot.recordKeySeen;
    std::shared_ptr<RecordFile> file = fileOf(channel, live);
    // Stopped, or stopped and armed again: the next file starts at a key frame.
    if (!wanted && file)
        closeRecording(channel, live);
    if (!slot.recordKeySeen) // stopped or armed again: a failure is forgotten
        slot.recordFailed = false;
    if (!wanted || slot.recordFailed)
        return;
    if (!file) {
        if (!item.keyFrame() || !openRecording(channel, live, item))
            return;
        file = fileOf(channel, live);
    }
    QString error;
    if (!file || !file->writeVideo(item.data, std::min(item.size, item.capacity), item.keyFrame(),
                                   item.tag(), steadyMs(), &error))
        failRecording(channel, live, error);
}

bool VideoRecord::openRecording(Channel *channel, bool live, const ChannelBufferItem &item)
{
    ChannelSlot &slot = channel->slot(live);
    const QDateTime time = live ? QDateTime::currentDateTime()
                                : QDateTime::fromSecsSinceEpoch(qint64(item.timestamp()));
    QString error;
    const QString path = buildPath(channel, live, QStringLiteral("mp4"), time, &error);
    if (path.isEmpty()) {
        failRecording(channel, live, error);
        return false;
    }
    RecordFile::VideoFormat format;
    format.codecId = H26xDecoder::codecIdForFrame(item.codecId());
    const int size = std::min(item.size, item.capacity);
    format.parameterSets = RecordFile::parameterSets(format.codecId, item.data, size);
    if (!RecordFile::pictureSize(format.codecId, item.data, size, &format.width, &format.height)) {
        format.width = slot.pictureWidth;
        format.height = slot.pictureHeight;
    }
    // The audio stream is part of the file when the channel's sound is on as
    // it opens (and the sound pipeline feeds this recorder); sound switched
    // on later joins the next file.
    const bool withAudio = slot.audioOn && m_audioArrives;
    std::unique_ptr<RecordFile> file = RecordFile::create(path, format, withAudio, &error);
    if (!file) {
        QFile::remove(path); // nothing playable in it
        failRecording(channel, live, error);
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_files.insert(FileKey(channel, live), std::shared_ptr<RecordFile>(std::move(file)));
    }
    slot.recordPath = path;
    qInfo("recording %s to %s%s", qUtf8Printable(channelText(channel)), qUtf8Printable(path),
          withAudio ? " with sound" : "");
    emit recordStarted(channel, live, path);
    return true;
}

void VideoRecord::finishAll(const QList<Channel *> &channels)
{
    for (Channel *channel : channels)
        for (bool live : {true, false})
            closeRecording(channel, live);
}

void VideoRecord::closeRecording(Channel *channel, bool live)
{
    ChannelSlot &slot = channel->slot(live);
    std::shared_ptr<RecordFile> file = takeFile(channel, live);
    const QString path = slot.recordPath;
    slot.recordPath.clear();
    if (!file)
        return;
    QString error;
    if (!file->finish(&error)) {
        failRecording(channel, live, error);
        return;
    }
    qInfo("recording of %s ended: %s", qUtf8Printable(channelText(channel)), qUtf8Printable(path));
    emit recordFinished(channel, live, path);
}

void VideoRecord::failRecording(Channel *channel, bool live, const QString &text)
{
    ChannelSlot &slot = channel->slot(live);
    slot.recordFailed = true;
    if (std::shared_ptr<RecordFile> file = takeFile(channel, live))
        file->finish(nullptr); // closes it; what was written stays playable
    slot.recordPath.clear();
    const QString message = tr("Recording of %1 stopped: %2").arg(channelText(channel), text);
    qWarning("%s", qUtf8Printable(message));
    emit recordFailed(channel, live, message);
}

void VideoRecord::audioSamples(Channel *channel, bool live, const int16_t *samples, int count,
                               const ChannelBufferItem &item)
{
    m_audioArrives = true;
    const std::shared_ptr<RecordFile> file = fileOf(channel, live);
    // A failure shows at the next video frame, which ends the recording.
    if (file)
        file->writeAudio(samples, count, item.tag(), steadyMs(), nullptr);
}

// ---- Snapshot ----------------------------------------------------------------

void VideoRecord::takeSnapshot(Channel *channel, bool live)
{
    auto writer = std::make_shared<JpegWriter>();
    PictureExchange::Picture shown;
    bool copied = false;
    const bool any = Video::instance()
                         ->pictures(channel, live)
                         ->withFront([&](const PictureExchange::Picture &p) {
                             copied = writer->take(p);
                             shown = p;
                         });
    QString error;
    if (!any)
        error = tr("no picture to save yet");
    else if (!copied)
        error = tr("out of memory");
    const QDateTime time = live ? QDateTime::currentDateTime()
                                : QDateTime::fromSecsSinceEpoch(qint64(shown.timestamp));
    const QString path =
        error.isEmpty() ? buildPath(channel, live, QStringLiteral("jpg"), time, &error) : QString();
    if (path.isEmpty()) {
        const QString message = tr("Snapshot of %1 not saved: %2").arg(channelText(channel), error);
        qWarning("%s", qUtf8Printable(message));
        emit snapshotFailed(channel, live, message);
        return;
    }
    const QString name = channelText(channel);
    QThreadPool::globalInstance()->start([this, writer, path, channel, live, name] {
        QString why;
        if (writer->write(path, &why)) {
            qInfo("snapshot of %s: %s", qUtf8Printable(name), qUtf8Printable(path));
            emit snapshotSaved(channel, live, path);
            return;
        }
        QFile::remove(path);
        const QString message = tr("Snapshot of %1 not saved: %2").arg(name, why);
        qWarning("%s", qUtf8Printable(message));
        emit snapshotFailed(channel, live, message);
    });
}
