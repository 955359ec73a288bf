#include "playback/ExportDialog.h"

#include "media/ExportJob.h"

#include <QDesktopServices>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

ExportDialog *ExportDialog::start(QWidget *parent, const QList<Channel *> &channels,
                                  qint64 fromUtcMs, qint64 toUtcMs, const QString &folder)
{
    auto *job = new ExportJob(channels, fromUtcMs, toUtcMs, folder);
    auto *dialog = new ExportDialog(job, parent);
    dialog->show();
    job->start();
    return dialog;
}

ExportDialog::ExportDialog(ExportJob *job, QWidget *parent)
    : QDialog(parent)
    , m_job(job)
    , m_message(new QLabel(this))
    , m_progress(new QProgressBar(this))
    , m_cancel(new QPushButton(tr("取消"), this))
    , m_openFolder(new QPushButton(tr("打开文件夹"), this))
{
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    setWindowTitle(tr("导出录像"));
    job->setParent(this);
    m_message->setObjectName(QStringLiteral("export_message"));
    m_message->setWordWrap(true);
    m_message->setText(tr("正在导出录像……"));
    m_progress->setObjectName(QStringLiteral("export_progress"));
    m_progress->setRange(0, 100);
    m_progress->setValue(0);
    m_cancel->setObjectName(QStringLiteral("export_cancel"));
    m_openFolder->setObjectName(QStringLiteral("export_open_folder"));
    m_openFolder->hide();

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_openFolder);
    buttons->addWidget(m_cancel);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_message);
    layout->addWidget(m_progress);
    layout->addLayout(buttons);
    setMinimumWidth(420);

    connect(job, &ExportJob::progress, m_progress, &QProgressBar::setValue);
    connect(job, &ExportJob::finished, this, &ExportDialog::jobFinished);
    connect(m_cancel, &QPushButton::clicked, this, [this] {
        if (m_job->isRunning())
            m_job->cancel(); // finished follows at once
        else
            close();
    });
    connect(m_openFolder, &QPushButton::clicked, this,
            [this] { QDesktopServices::openUrl(QUrl::fromLocalFile(m_job->folder())); });
}

void ExportDialog::jobFinished(bool ok, const QString &message, const QStringList &files)
{
    m_finished = true;
    m_files = files;
    m_cancel->setText(tr("关闭"));
    if (ok) {
        m_progress->setValue(100);
        m_message->setText(tr("已导出 %1 个文件到 %2")
                               .arg(files.size())
                               .arg(QDir::toNativeSeparators(m_job->folder())));
        m_openFolder->show();
    } else {
        m_progress->hide();
        m_message->setText(tr("导出未完成：%1").arg(message));
        m_openFolder->setVisible(!files.isEmpty());
    }
}

void ExportDialog::reject()
{
    if (m_job->isRunning())
        m_job->cancel();
    QDialog::reject();
}
