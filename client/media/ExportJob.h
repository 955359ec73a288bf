#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class Channel;
class ExportStream;
class ExportWriter;

// Exports the recordings of [from, to) of one or several channels into a
// folder: one stream per channel (DeviceLink::openExport), all at once, each
// written by an ExportWriter (one MP4 per recorded span, named after the
// device, the channel and the span's start). Progress is the recording time
// covered over the whole range of every channel.
//
// Ends with finished() once: ok with the files written; failed with why (the
// files of other spans that were complete stay, unfinished ones are
// removed); cancelled (cancel() or deletion) with every file it wrote
// removed.
//
// Threads: GUI thread; the streams' workers write the files.
class ExportJob : public QObject
{
    Q_OBJECT

public:
    using OpenStream = std::function<std::unique_ptr<ExportStream>()>;
    // One channel to export: what its files are named after and how its
    // stream is opened (null stream: the channel cannot export).
    struct Target
    {
        QString deviceName;
        int channelNumber = 1; // from 1
        OpenStream open;
    };
    // The targets of channels through their devices' links.
    static QList<Target> targetsOf(const QList<Channel *> &channels, qint64 fromUtcMs,
                                   qint64 toUtcMs);

    ExportJob(QList<Target> targets, qint64 fromUtcMs, qint64 toUtcMs, const QString &folder,
              QObject *parent = nullptr);
    ExportJob(const QList<Channel *> &channels, qint64 fromUtcMs, qint64 toUtcMs,
              const QString &folder, QObject *parent = nullptr);
    // Cancels a job still running (without finished()).
    ~ExportJob() override;

    void start();
    // Stops every stream and removes what was written; finished(false, ...) follows at once.
    void cancel();
    bool isRunning() const { return m_running; }
    QString folder() const { return m_folder; }
    int percent() const;

signals:
    void progress(int percent);
    void finished(bool ok, const QString &message, const QStringList &files);

private:
    struct Shared;
    struct Export
    {
        Target target;
        std::unique_ptr<ExportStream> stream;
        std::shared_ptr<ExportWriter> writer;
        bool done = false;
    };

    void channelFinished(int index, bool ok, const QString &why);
    void reportProgress();
    void stopAll(bool removeCompleted);
    void end(bool ok, const QString &message, const QStringList &files);
    QString channelText(const Export &e) const;

    const qint64 m_from;
    const qint64 m_to;
    const QString m_folder;
    QList<Target> m_targets;
    std::vector<Export> m_exports;
    std::shared_ptr<Shared> m_shared;
    bool m_running = false;
    int m_reported = -1;
};
