#include "app/ActionNotices.h"

#include "app/Notice.h"
#include "media/VideoRecord.h"
#include "model/Channel.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

ActionNotices::ActionNotices(QWidget *host, QObject *parent)
    : QObject(parent)
    , m_notice(new Notice(host))
{
    // VideoRecord reports from its workers too: these arrive queued, and
    // read nothing but the texts they carry.
    VideoRecord *record = VideoRecord::instance();
    connect(record, &VideoRecord::snapshotSaved, this,
            [this](Channel *, bool, const QString &path) {
                saved(tr("截图已保存：%1").arg(QFileInfo(path).fileName()), path);
            });
    connect(record, &VideoRecord::recordStarted, this,
            [this](Channel *, bool, const QString &path) {
                m_notice->post(tr("开始录像：%1").arg(QFileInfo(path).fileName()));
            });
    connect(record, &VideoRecord::recordFinished, this,
            [this](Channel *, bool, const QString &path) {
                saved(tr("录像已保存：%1").arg(QFileInfo(path).fileName()), path);
            });
    for (auto failed : {&VideoRecord::snapshotFailed, &VideoRecord::recordFailed})
        connect(record, failed, this,
                [this](Channel *, bool, const QString &text) { m_notice->post(text); });
}

void ActionNotices::noChannel(const QWidget *from)
{
    if (Notice *n = Notice::of(from))
        n->post(tr("请先在画面中选择一个通道"));
}

void ActionNotices::saved(const QString &text, const QString &path)
{
    const QString folder = QFileInfo(path).absolutePath();
    m_notice->post(text, tr("打开文件夹"),
                   [folder] { QDesktopServices::openUrl(QUrl::fromLocalFile(folder)); });
}
