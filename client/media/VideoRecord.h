#pragma once

#include "media/AudioFrameTap.h"
#include "media/VideoFrameTap.h"

#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QPair>
#include <QString>

#include <atomic>
#include <memory>
#include <mutex>

class Channel;
class RecordFile;

// Local recording and snapshots of channels.
//
// Recording: ViewControl sets a channel's `recording` flag; the decode step
// hands every accepted frame to videoFrame(), which opens a fragmented MP4
// at the first key frame, remuxes the frames into it and closes it once the
// flag is cleared. Audio blocks reach the open file through audioSamples().
// A file that cannot be created or written ends its recording: the file is
// closed (what was written stays playable), recordFailed() is emitted and
// ViewControl clears the flag.
//
// Files go to <folder>/QELO/<device uid>/ with names that sort by time,
// "Preview_VID1_20240305_090703.mp4" (live) or "Playback_VID1_…" (named
// after the played frame's time); a name that exists already gets "_2",
// "_3", ... so no file is ever overwritten.
//
// Threads: the folder setters and takeSnapshot() on the GUI thread; the rest
// on any thread as noted. Signals are emitted from pool threads and reach
// receivers on the GUI thread queued.
class VideoRecord : public QObject, public VideoFrameTap, public AudioFrameTap
{
    Q_OBJECT

public:
    static VideoRecord *instance();

    explicit VideoRecord(QObject *parent = nullptr);
    ~VideoRecord() override;

    // GUI thread.
    void setVideoPath(const QString &path);
    void setPicPath(const QString &path);
    // Writes a JPEG of the picture the channel's cell shows now, in the
    // background; snapshotSaved() or snapshotFailed() (no picture yet, the
    // folder or file cannot be written) follows.
    void takeSnapshot(Channel *channel, bool live);
    // Finishes every open recording (the client quits). Only once no stream
    // decodes any more: the decode steps own the open files while they run.
    void finishAll(const QList<Channel *> &channels);
    // Closes the channel's files; call before a Channel is destroyed.
    void releaseChannel(Channel *channel);

    // Any thread.
    QString videoPath() const;
    QString picPath() const;
    // Creates the folder for extension "mp4" (video folder) or "jpg" (picture
    // folder) of the channel's device and reserves a new, empty file in it;
    // returns its path, or an empty string and *error (another extension,
    // a folder that cannot be created, a file that cannot be created).
    QString buildPath(Channel *channel, bool live, const QString &extension, const QDateTime &time,
                      QString *error = nullptr) const;
    // True once the sound pipeline has handed over samples: from then on a
    // recording of a channel whose sound is on gets an AAC stream.
    bool audioArrives() const { return m_audioArrives; }
    // "Preview_VID1_20240305_090703" or "Playback_VID1_…".
    static QString baseName(bool live, int channelNumber, const QDateTime &time);

    // Decode step of (channel, live), under its decode lock.
    void videoFrame(Channel *channel, bool live, const ChannelBufferItem &item) override;
    // Audio decode step (8000 Hz mono); written into the open recording of
    // (channel, live), if any.
    void audioSamples(Channel *channel, bool live, const int16_t *samples, int count,
                      const ChannelBufferItem &item) override;

signals:
    void recordStarted(Channel *channel, bool live, const QString &path);
    void recordFinished(Channel *channel, bool live, const QString &path);
    // The recording ended because its file could not be created or written.
    void recordFailed(Channel *channel, bool live, const QString &text);
    void snapshotSaved(Channel *channel, bool live, const QString &path);
    void snapshotFailed(Channel *channel, bool live, const QString &text);

private:
    bool openRecording(Channel *channel, bool live, const ChannelBufferItem &item);
    void closeRecording(Channel *channel, bool live);
    void failRecording(Channel *channel, bool live, const QString &text);
    using FileKey = QPair<const Channel *, bool>;
    std::shared_ptr<RecordFile> takeFile(const Channel *channel, bool live);
    std::shared_ptr<RecordFile> fileOf(const Channel *channel, bool live) const;

    mutable std::mutex m_lock;                           // guards the folders and the open files
    QHash<FileKey, std::shared_ptr<RecordFile>> m_files; // by channel and mode
    QString m_videoPath;
    QString m_picPath;
    std::atomic<bool> m_audioArrives{false}; // audioSamples() has been called
};
