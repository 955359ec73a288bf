#include "admin/DebugRecord.h"

#include "diagnostics/LogMask.h"
#include "diagnostics/MessageHandler.h"
#include "diagnostics/SystemInfo.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QSaveFile>
#include <QScrollBar>
#include <QStandardPaths>
#include <QStringListModel>
#include <QVBoxLayout>

#include <algorithm>
#include <iterator>

namespace {

const char StartLine[] = "[START]Debug mod is working,Waiting to record";

// Level box entries after "all levels", in the order of DebugRecord::Level.
const char *const LevelTags[] = {"DEBUG", "INFO", "WARNING", "CRITICAL", "FATAL"};

int levelOf(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg:
        return DebugRecord::Debug;
    case QtInfoMsg:
        return DebugRecord::Info;
    case QtWarningMsg:
        return DebugRecord::Warning;
    case QtCriticalMsg:
        return DebugRecord::Critical;
    case QtFatalMsg:
        return DebugRecord::Fatal;
    }
    return DebugRecord::AllLevels;
}

// The level of a finished page line, from its "[TAG-" start.
int levelOf(const QString &line)
{
    for (int i = 0; i < int(std::size(LevelTags)); ++i) {
        if (line.startsWith(QLatin1Char('[') + QLatin1String(LevelTags[i]) + QLatin1Char('-')))
            return DebugRecord::Debug + i;
    }
    return DebugRecord::AllLevels;
}

QPushButton *button(const QString &text, const char *name, QWidget *parent)
{
    auto *b = new QPushButton(text, parent);
    b->setObjectName(QLatin1String(name));
    return b;
}

} // namespace

DebugRecord::DebugRecord(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("DebugRecord"));
    setWindowTitle(QStringLiteral("Form"));
    resize(589, 417);
    SystemInfo *info = SystemInfo::instance();

    auto *layout = new QVBoxLayout(this);
    layout->setObjectName(QStringLiteral("verticalLayout"));
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(info->scaled(4));

    auto *bar = new QHBoxLayout;
    bar->setContentsMargins(info->scaled(6), info->scaled(6), info->scaled(6), 0);
    m_level = new QComboBox(this);
    m_level->setObjectName(QStringLiteral("comboBox_level"));
    m_level->addItem(tr("全部级别"));
    for (const char *tag : LevelTags)
        m_level->addItem(QLatin1String(tag));
    m_level->setToolTip(tr("显示所选级别及更高级别的记录"));
    m_filter = new QLineEdit(this);
    m_filter->setObjectName(QStringLiteral("lineEdit_filter"));
    m_filter->setPlaceholderText(tr("筛选文字"));
    m_filter->setClearButtonEnabled(true);
    QPushButton *copy = button(tr("复制"), "pushButton_copy", this);
    QPushButton *save = button(tr("保存..."), "pushButton_save", this);
    bar->addWidget(m_level);
    bar->addWidget(m_filter, 1);
    bar->addWidget(copy);
    bar->addWidget(save);
    layout->addLayout(bar);

    m_listView = new QListView(this);
    m_listView->setObjectName(QStringLiteral("listView"));
    m_listView->setStyleSheet(QStringLiteral("font-size:%1px").arg(info->scaled(11)));
    m_listView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_listView->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_listView->setUniformItemSizes(true);
    m_model = new QStringListModel(this);
    m_listView->setModel(m_model);
    layout->addWidget(m_listView, 1);

    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("label_status"));
    m_status->setContentsMargins(info->scaled(6), 0, info->scaled(6), info->scaled(4));
    m_status->hide(); // until there is something to say
    layout->addWidget(m_status);

    connect(m_level, &QComboBox::currentIndexChanged, this, &DebugRecord::setLevelFilter);
    connect(m_filter, &QLineEdit::textChanged, this, &DebugRecord::setTextFilter);
    connect(copy, &QPushButton::clicked, this, &DebugRecord::copyLines);
    connect(save, &QPushButton::clicked, this, &DebugRecord::saveToChosenFile);
    connect(info, &SystemInfo::debugMsg, this, &DebugRecord::showDebug);

    append(AllLevels, QLatin1String(StartLine));
    for (const QString &line : info->backlog())
        append(levelOf(line), maskSecrets(line));
}

QStringList DebugRecord::lines() const
{
    QStringList out;
    out.reserve(m_lines.size());
    for (const Line &line : m_lines)
        out.append(line.text);
    return out;
}

QStringList DebugRecord::shownLines() const
{
    return m_model->stringList();
}

QString DebugRecord::statusText() const
{
    return m_status->text();
}

void DebugRecord::showDebug(QtMsgType type, const QString &text)
{
    const QString line = debugPageLine(type, maskSecrets(text), QTime::currentTime());
    if (!line.isEmpty())
        append(levelOf(type), line);
}

void DebugRecord::append(int level, const QString &text)
{
    const QScrollBar *bar = m_listView->verticalScrollBar();
    const bool atEnd = bar->value() == bar->maximum();
    m_lines.append(Line{level, text});
    if (passes(m_lines.last())) {
        const int row = m_model->rowCount();
        m_model->insertRows(row, 1);
        m_model->setData(m_model->index(row), text);
    }
    if (m_lines.size() > MaxLines) {
        // The oldest line, when shown, is the model's first row.
        if (passes(m_lines.takeFirst()))
            m_model->removeRows(0, 1);
    }
    if (atEnd)
        m_listView->scrollToBottom();
}

bool DebugRecord::passes(const Line &line) const
{
    if (line.level != AllLevels && line.level < m_minLevel)
        return false;
    return m_text.isEmpty() || line.text.contains(m_text, Qt::CaseInsensitive);
}

void DebugRecord::setLevelFilter(int level)
{
    m_minLevel = qBound(int(AllLevels), level, int(Fatal));
    if (m_level->currentIndex() != m_minLevel)
        m_level->setCurrentIndex(m_minLevel);
    refilter();
}

void DebugRecord::setTextFilter(const QString &text)
{
    m_text = text;
    if (m_filter->text() != text)
        m_filter->setText(text);
    refilter();
}

void DebugRecord::refilter()
{
    QStringList shown;
    for (const Line &line : std::as_const(m_lines)) {
        if (passes(line))
            shown.append(line.text);
    }
    m_model->setStringList(shown);
    m_listView->scrollToBottom();
}

void DebugRecord::copyLines()
{
    QModelIndexList rows = m_listView->selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end());
    QStringList text;
    for (const QModelIndex &index : std::as_const(rows))
        text.append(index.data().toString());
    if (text.isEmpty())
        text = shownLines();
    QApplication::clipboard()->setText(text.join(QLatin1Char('\n')));
    setStatus(tr("已复制 %1 行").arg(text.size()), true);
}

bool DebugRecord::saveTo(const QString &path, QString *error) const
{
    QSaveFile file(path);
    QByteArray text = shownLines().join(QLatin1Char('\n')).toUtf8();
    text.append('\n');
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

void DebugRecord::saveToChosenFile()
{
    const QString suggested =
        QDir(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation))
            .filePath(
                QStringLiteral("orvane-debug-%1.log")
                    .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss"))));
    const QString path =
        QFileDialog::getSaveFileName(this, tr("保存日志"), suggested, tr("日志文件 (*.log *.txt)"));
    if (path.isEmpty())
        return;
    QString error;
    if (saveTo(path, &error))
        setStatus(tr("已保存到 %1").arg(QDir::toNativeSeparators(path)), true);
    else
        setStatus(tr("无法保存 %1: %2").arg(QDir::toNativeSeparators(path), error), false);
}

void DebugRecord::setStatus(const QString &text, bool ok)
{
    m_status->setStyleSheet(ok ? QStringLiteral("color:#2e7d32") : QStringLiteral("color:#c62828"));
    m_status->setText(text);
    m_status->show();
}
