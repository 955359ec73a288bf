#pragma once

#include <QDialog>
#include <QList>
#include <QStringList>

class Channel;
class ExportJob;
class QLabel;
class QProgressBar;
class QPushButton;

// The progress of an export (ExportJob) without blocking the window: a
// progress bar and Cancel while it runs, then how many files were written
// with "Open folder", or what went wrong. Closing the dialog while the
// export runs cancels it. Deletes itself when closed.
//
// Object names for tests: export_progress (bar), export_cancel,
// export_open_folder, export_message (label).
//
// Threads: GUI thread.
class ExportDialog : public QDialog
{
    Q_OBJECT

public:
    // Exports [fromUtcMs, toUtcMs) of channels into folder and shows the
    // dialog for it (not modal).
    static ExportDialog *start(QWidget *parent, const QList<Channel *> &channels, qint64 fromUtcMs,
                               qint64 toUtcMs, const QString &folder);

    // Shows the progress of job (started afterwards by the caller; the
    // dialog takes it over).
    ExportDialog(ExportJob *job, QWidget *parent = nullptr);

    ExportJob *job() const { return m_job; }
    // After the end: the files written.
    QStringList files() const { return m_files; }
    bool isFinished() const { return m_finished; }

protected:
    void reject() override;

private:
    void jobFinished(bool ok, const QString &message, const QStringList &files);

    ExportJob *m_job;
    QLabel *m_message;
    QProgressBar *m_progress;
    QPushButton *m_cancel;
    QPushButton *m_openFolder;
    QStringList m_files;
    bool m_finished = false;
};
