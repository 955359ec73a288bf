#include "media/ExportJob.h"

#include "diagnostics/Checks.h"
#include "link/DeviceLink.h"
#include "link/DeviceLinks.h"
#include "link/ExportStream.h"
#include "link/GuiMailbox.h"
#include "media/ExportWriter.h"
#include "model/Channel.h"
#include "model/Device.h"

#include <QCoreApplication>
#include <QDir>

#include <atomic>
#include <mutex>
#include <vector>

namespace {

// Carries the workers' news to the GUI thread. Shared and never deleted, so
// that a job may end (and be deleted) while it delivers.
GuiMailbox *mailbox()
{
    static GuiMailbox *shared = new GuiMailbox(QCoreApplication::instance());
    return shared;
}

} // namespace

// What the streams' workers share with the job.
struct ExportJob::Shared
{
    std::vector<std::shared_ptr<ExportWriter>> writers; // fixed before the streams start
    qint64 rangeMs = 1;
    std::atomic<int> posted{-1}; // the last percent posted
    std::atomic<bool> failurePosted{false};
    std::mutex lock;
    bool live = true;         // lock: posting allowed
    ExportJob *job = nullptr; // GUI thread

    int percent() const
    {
        if (writers.empty())
            return 100;
        qint64 covered = 0;
        for (const std::shared_ptr<ExportWriter> &w : writers)
            covered += w->coveredMs();
        return int(covered * 100 / (rangeMs * qint64(writers.size())));
    }

    void post(void (ExportJob::*fn)())
    {
        std::lock_guard<std::mutex> guard(lock);
        if (!live)
            return;
        mailbox()->post(this, [this, fn] {
            if (job)
                (job->*fn)();
        });
    }

    // A stream's worker, after each frame.
    void afterFrame(const ExportWriter &writer)
    {
        if (writer.failed() && !failurePosted.exchange(true))
            post(&ExportJob::reportProgress);
        const int p = percent();
        int last = posted.load();
        while (p > last) {
            if (posted.compare_exchange_weak(last, p)) {
                post(&ExportJob::reportProgress);
                break;
            }
        }
    }
};

QList<ExportJob::Target> ExportJob::targetsOf(const QList<Channel *> &channels, qint64 fromUtcMs,
                                              qint64 toUtcMs)
{
    QList<Target> targets;
    for (Channel *ch : channels) {
        ORVANE_CHECK(ch && ch->device(), continue);
        Target t;
        t.deviceName = ch->device()->nickName().trimmed();
        if (t.deviceName.isEmpty())
            t.deviceName = ch->device()->uid();
        t.channelNumber = ch->index() + 1;
        // Opened from start(), while the channel is known to be there.
        t.open = [ch, fromUtcMs, toUtcMs] {
            return DeviceLinks::of(ch->device())->openExport(ch, fromUtcMs, toUtcMs);
        };
        targets.append(t);
    }
    return targets;
}

ExportJob::ExportJob(QList<Target> targets, qint64 fromUtcMs, qint64 toUtcMs, const QString &folder,
                     QObject *parent)
    : QObject(parent)
    , m_from(fromUtcMs)
    , m_to(toUtcMs)
    , m_folder(folder)
    , m_targets(std::move(targets))
    , m_shared(std::make_shared<Shared>())
{
    mailbox(); // made on the GUI thread, before any worker posts
    m_shared->job = this;
    m_shared->rangeMs = std::max<qint64>(1, toUtcMs - fromUtcMs);
}

ExportJob::ExportJob(const QList<Channel *> &channels, qint64 fromUtcMs, qint64 toUtcMs,
                     const QString &folder, QObject *parent)
    : ExportJob(targetsOf(channels, fromUtcMs, toUtcMs), fromUtcMs, toUtcMs, folder, parent)
{}

ExportJob::~ExportJob()
{
    if (m_running) {
        m_running = false;
        stopAll(true);
    }
    {
        std::lock_guard<std::mutex> guard(m_shared->lock);
        m_shared->live = false;
    }
    m_shared->job = nullptr;
    mailbox()->purge(m_shared.get());
}

int ExportJob::percent() const
{
    return m_shared->percent();
}

QString ExportJob::channelText(const Export &e) const
{
    return tr("%1 channel %2").arg(e.target.deviceName).arg(e.target.channelNumber);
}

void ExportJob::start()
{
    ORVANE_ASSERT_GUI_THREAD();
    ORVANE_CHECK(!m_running && m_exports.empty(), return );
    if (m_targets.isEmpty() || m_to <= m_from) {
        end(false, tr("Nothing to export."), {});
        return;
    }
    if (!QDir().mkpath(m_folder)) {
        end(false, tr("Cannot create the folder %1.").arg(QDir::toNativeSeparators(m_folder)), {});
        return;
    }
    m_exports.resize(size_t(m_targets.size()));
    for (int i = 0; i < m_targets.size(); ++i) {
        Export &e = m_exports[size_t(i)];
        e.target = m_targets[i];
        e.writer = std::make_shared<ExportWriter>(m_folder, e.target.deviceName,
                                                  e.target.channelNumber, m_from, m_to);
        m_shared->writers.push_back(e.writer);
    }
    for (Export &e : m_exports) {
        e.stream = e.target.open ? e.target.open() : nullptr;
        if (!e.stream) {
            end(false, tr("%1 cannot export its recordings.").arg(channelText(e)), {});
            return;
        }
    }
    m_running = true;
    for (int i = 0; i < int(m_exports.size()) && m_running; ++i) {
        Export &e = m_exports[size_t(i)];
        ExportStream::Callbacks callbacks;
        callbacks.frame = [shared = m_shared, writer = e.writer](ChannelBufferItem *item,
                                                                 bool video) {
            writer->frame(item, video);
            shared->afterFrame(*writer);
        };
        callbacks.finished = [this, i](bool ok, const QString &why) {
            channelFinished(i, ok, why);
        };
        e.stream->start(std::move(callbacks));
    }
}

void ExportJob::channelFinished(int index, bool ok, const QString &why)
{
    if (!m_running)
        return;
    Export &e = m_exports[size_t(index)];
    e.done = true;
    QString error;
    if (!ok) {
        stopAll(false);
        end(false, tr("The export of %1 failed: %2").arg(channelText(e), why), {});
        return;
    }
    if (!e.writer->finish(&error)) {
        stopAll(false);
        end(false, tr("The files of %1 could not be written: %2").arg(channelText(e), error), {});
        return;
    }
    reportProgress();
    for (const Export &other : m_exports)
        if (!other.done)
            return;
    QStringList files;
    for (const Export &other : m_exports)
        files += other.writer->files();
    if (files.isEmpty())
        end(false, tr("Nothing was recorded in that range."), files);
    else
        end(true, tr("%n file(s) written.", nullptr, int(files.size())), files);
}

void ExportJob::reportProgress()
{
    if (!m_running)
        return;
    for (Export &e : m_exports) {
        if (e.writer->failed()) {
            const QString why = e.writer->error();
            stopAll(false);
            end(false, tr("The files of %1 could not be written: %2").arg(channelText(e), why), {});
            return;
        }
    }
    const int p = std::clamp(percent(), 0, 100);
    if (p > m_reported) {
        m_reported = p;
        emit progress(p);
    }
}

void ExportJob::stopAll(bool removeCompleted)
{
    for (Export &e : m_exports) {
        if (e.stream && !e.done)
            e.stream->cancel(); // no frame callback runs once it returns
        e.done = true;
        e.writer->discard(removeCompleted);
    }
}

void ExportJob::end(bool ok, const QString &message, const QStringList &files)
{
    m_running = false;
    {
        std::lock_guard<std::mutex> guard(m_shared->lock);
        m_shared->live = false;
    }
    // A failure keeps only the spans that were complete.
    QStringList kept = files;
    if (!ok)
        for (const Export &e : m_exports)
            kept += e.writer->files();
    emit finished(ok, message, kept);
}

void ExportJob::cancel()
{
    ORVANE_ASSERT_GUI_THREAD();
    if (!m_running)
        return;
    m_running = false;
    stopAll(true);
    end(false, tr("Export cancelled."), {});
}
