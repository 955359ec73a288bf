#include "admin/LocalSetting.h"

#include "config/Config.h"
#include "config/Location.h"
#include "diagnostics/SystemInfo.h"
#include "media/VideoRecord.h"
#include "widgets/Named.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <QVBoxLayout>

namespace {

QString documents()
{
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
}

// A typed folder as compared and stored: trimmed, "/" separators, no "." or
// ".." steps and no trailing "/".
QString cleanFolder(const QString &text)
{
    const QString t = text.trimmed();
    return t.isEmpty() ? t : QDir::cleanPath(QDir::fromNativeSeparators(t));
}

} // namespace

LocalSetting::LocalSetting(QWidget *parent)
    : QWidget(parent)
    , m_chooseFolder([](QWidget *p, const QString &title, const QString &start) {
        return QFileDialog::getExistingDirectory(
            p, title, start, QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
    })
    , m_systemInfo(SystemInfo::instance())
{
    setObjectName(QStringLiteral("LocalSetting"));
    resize(589, 417);
    setStyleSheet(QStringLiteral("QLabel,QLineEdit,QPushButton,QGroupBox{font-size:%1px}")
                      .arg(m_systemInfo->normalFontSize()));

    m_configEdit = namedLineEdit("lineEdit_configPath", this);
    m_picEdit = namedLineEdit("lineEdit_picPath", this);
    m_videoEdit = namedLineEdit("lineEdit_videoPath", this);
    m_lengthEdit = namedLineEdit("lineEdit_timeLength", this);
    m_lengthEdit->setMaximumWidth(m_systemInfo->scaled(80));
    m_lengthEdit->setToolTip(tr("1 到 %1 分钟").arg(MaxRecordMinutes));

    QPushButton *browseConfig = namedButton(tr("浏览..."), "pushButton_4", this);
    QPushButton *browsePic = namedButton(tr("浏览..."), "pushButton_5", this);
    QPushButton *browseVideo = namedButton(tr("浏览..."), "pushButton_6", this);
    QPushButton *saveData = namedButton(tr("保存"), "pushButton_3", this);
    QPushButton *save = namedButton(tr("保存"), "pushButton", this);

    auto *dataBox = new QGroupBox(tr("数据设置"), this);
    auto *dataGrid = new QGridLayout(dataBox);
    dataGrid->addWidget(new QLabel(tr("数据保存路径:"), dataBox), 0, 0);
    dataGrid->addWidget(m_configEdit, 0, 1);
    dataGrid->addWidget(browseConfig, 0, 2);
    dataGrid->addWidget(saveData, 1, 2);

    auto *picBox = new QGroupBox(tr("截图设置"), this);
    auto *picGrid = new QGridLayout(picBox);
    picGrid->addWidget(new QLabel(tr("截图保存路径:"), picBox), 0, 0);
    picGrid->addWidget(m_picEdit, 0, 1);
    picGrid->addWidget(browsePic, 0, 2);

    auto *videoBox = new QGroupBox(tr("录像设置"), this);
    auto *videoGrid = new QGridLayout(videoBox);
    videoGrid->addWidget(new QLabel(tr("录像保存路径:"), videoBox), 0, 0);
    videoGrid->addWidget(m_videoEdit, 0, 1);
    videoGrid->addWidget(browseVideo, 0, 2);
    videoGrid->addWidget(new QLabel(tr("打包时长(分):"), videoBox), 1, 0);
    videoGrid->addWidget(m_lengthEdit, 1, 1, Qt::AlignLeft);

    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("label_status"));
    m_status->setWordWrap(true);

    auto *bottom = new QHBoxLayout;
    bottom->addWidget(m_status, 1);
    bottom->addWidget(save);

    auto *layout = new QVBoxLayout(this);
    const int margin = m_systemInfo->scaled(12);
    layout->setContentsMargins(margin, margin, margin, margin);
    layout->addWidget(dataBox);
    layout->addWidget(picBox);
    layout->addWidget(videoBox);
    layout->addStretch(1);
    layout->addLayout(bottom);

    connect(saveData, &QPushButton::clicked, this, &LocalSetting::on_pushButton_3_clicked);
    connect(browseConfig, &QPushButton::clicked, this, &LocalSetting::on_pushButton_4_clicked);
    connect(browsePic, &QPushButton::clicked, this, &LocalSetting::on_pushButton_5_clicked);
    connect(browseVideo, &QPushButton::clicked, this, &LocalSetting::on_pushButton_6_clicked);
    connect(save, &QPushButton::clicked, this, &LocalSetting::on_pushButton_clicked);

    load();
}

void LocalSetting::load()
{
    Location *location = Location::instance();
    m_configPath = cleanFolder(QFileInfo(location->settingsPath()).absolutePath());
    m_picPath = cleanFolder(location->picPath());
    m_videoPath = cleanFolder(location->videoPath());
    m_timeLength = location->timeLength();
    m_configEdit->setText(QDir::toNativeSeparators(m_configPath));
    m_picEdit->setText(QDir::toNativeSeparators(m_picPath));
    m_videoEdit->setText(QDir::toNativeSeparators(m_videoPath));
    m_lengthEdit->setText(QString::number(m_timeLength));
}

QString LocalSetting::statusText() const
{
    return m_status->text();
}

QString LocalSetting::folderProblem(const QString &folder)
{
    const QString path = cleanFolder(folder);
    if (path.isEmpty())
        return tr("请填写文件夹");
    if (QDir::isRelativePath(path))
        return tr("请填写完整的文件夹路径: %1").arg(QDir::toNativeSeparators(path));
    const QFileInfo info(path);
    if (!info.exists())
        return tr("文件夹不存在: %1").arg(QDir::toNativeSeparators(path));
    if (!info.isDir())
        return tr("不是文件夹: %1").arg(QDir::toNativeSeparators(path));
    // Permission bits do not tell (administrators, read-only mounts): try it.
    QTemporaryFile probe(QDir(path).filePath(QStringLiteral(".orvane-write-XXXXXX")));
    if (!probe.open())
        return tr("文件夹不可写: %1").arg(QDir::toNativeSeparators(path));
    return QString();
}

void LocalSetting::on_pushButton_3_clicked()
{
    save();
}

void LocalSetting::on_pushButton_clicked()
{
    save();
}

void LocalSetting::on_pushButton_4_clicked()
{
    browse(m_configEdit);
}

void LocalSetting::on_pushButton_5_clicked()
{
    browse(m_picEdit);
}

void LocalSetting::on_pushButton_6_clicked()
{
    browse(m_videoEdit);
}

void LocalSetting::browse(QLineEdit *edit)
{
    const QString folder = m_chooseFolder(this, tr("Choose Directory"), documents());
    if (!folder.isEmpty())
        edit->setText(QDir::toNativeSeparators(folder));
}

bool LocalSetting::fail(QLineEdit *edit, const QString &message)
{
    if (edit)
        edit->setFocus();
    setStatus(message, true);
    return false;
}

bool LocalSetting::save()
{
    const QString configPath = cleanFolder(m_configEdit->text());
    const QString picPath = cleanFolder(m_picEdit->text());
    const QString videoPath = cleanFolder(m_videoEdit->text());
    const bool configChanged = configPath != m_configPath;
    const bool picChanged = picPath != m_picPath;
    const bool videoChanged = videoPath != m_videoPath;
    bool isNumber = false;
    const int minutes = m_lengthEdit->text().trimmed().toInt(&isNumber);
    const bool lengthChanged = !isNumber || minutes != m_timeLength;

    // Check everything before anything is stored.
    const struct
    {
        bool changed;
        QLineEdit *edit;
        QString label;
        QString path;
    } folders[] = {
        {configChanged, m_configEdit, tr("数据保存路径:"), configPath},
        {picChanged, m_picEdit, tr("截图保存路径:"), picPath},
        {videoChanged, m_videoEdit, tr("录像保存路径:"), videoPath},
    };
    for (const auto &f : folders) {
        const QString problem = f.changed ? folderProblem(f.path) : QString();
        if (!problem.isEmpty())
            return fail(f.edit, f.label + QLatin1Char(' ') + problem);
    }
    if (lengthChanged && (!isNumber || minutes < 1 || minutes > MaxRecordMinutes)) {
        return fail(m_lengthEdit,
                    tr("打包时长(分): 请填写 1 到 %1 之间的整数").arg(MaxRecordMinutes));
    }
    if (!configChanged && !picChanged && !videoChanged && !lengthChanged) {
        setStatus(tr("没有需要保存的更改"), false);
        return true;
    }

    // The values go into the current file in one write, so that a move takes
    // them along; a failed move puts the old values back.
    Config *config = Config::instance();
    QList<Config::Change> changes;
    QList<Config::Change> previous;
    if (picChanged) {
        changes.append(Config::change(ConfigKey::PicPath, picPath));
        previous.append(Config::change(ConfigKey::PicPath, config->get(ConfigKey::PicPath)));
    }
    if (videoChanged) {
        changes.append(Config::change(ConfigKey::VideoPath, videoPath));
        previous.append(Config::change(ConfigKey::VideoPath, config->get(ConfigKey::VideoPath)));
    }
    if (lengthChanged) {
        changes.append(Config::change(ConfigKey::RecordMinutes, minutes));
        previous.append(
            Config::change(ConfigKey::RecordMinutes, config->get(ConfigKey::RecordMinutes)));
    }
    if (!config->set(changes))
        return fail(nullptr, tr("Operation Failed"));
    if (configChanged && Location::instance()->setSettingsPath(configPath) != Location::Moved) {
        if (!config->set(previous))
            qWarning(
                "local settings: the previous folders and record length could not be restored");
        return fail(m_configEdit, tr("Operation Failed"));
    }

    load();
    if (picChanged)
        VideoRecord::instance()->setPicPath(m_picPath);
    if (videoChanged)
        VideoRecord::instance()->setVideoPath(m_videoPath);
    setStatus(tr("已保存"), false);
    return true;
}

void LocalSetting::setStatus(const QString &text, bool error)
{
    m_statusIsError = error;
    const QString colour =
        error ? QStringLiteral("color:#c62828") : QStringLiteral("color:#2e7d32");
    // The same answer again blinks, so that a repeated click visibly lands.
    const bool again = m_status->text() == text && !text.isEmpty();
    m_status->setText(text);
    m_status->setStyleSheet(again ? QStringLiteral("color:transparent") : colour);
    if (again)
        QTimer::singleShot(StatusBlinkMs, m_status,
                           [label = m_status, colour] { label->setStyleSheet(colour); });
}
