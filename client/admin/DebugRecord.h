#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <QtGlobal>

class QComboBox;
class QLabel;
class QLineEdit;
class QListView;
class QStringListModel;

// The debug log page of the control panel: the messages of the message
// handler as "[WARNING-14:03:07]text" lines, newest last. It starts with the
// lines SystemInfo kept from before it was opened, keeps at most MaxLines
// lines, and can be filtered by the least level and by a text, copied and
// saved to a file. Texts are masked (maskSecrets) before they are kept.
// GUI thread only.
class DebugRecord : public QWidget
{
    Q_OBJECT

public:
    static constexpr int MaxLines = 5000;
    // Entries of the level box, least level shown first.
    enum Level { AllLevels = 0, Debug, Info, Warning, Critical, Fatal };

    explicit DebugRecord(QWidget *parent = nullptr);

    // Every kept line, oldest first, and the lines the filters let through.
    QStringList lines() const;
    QStringList shownLines() const;
    QString statusText() const;

    void setLevelFilter(int level);
    void setTextFilter(const QString &text);
    // The selected shown lines, or every shown line when none is selected,
    // one per line, onto the clipboard.
    void copyLines();
    // Writes the shown lines (UTF-8, one per line) to path, replacing the file
    // only when the whole text was written. False and *error on failure.
    bool saveTo(const QString &path, QString *error = nullptr) const;

public slots:
    void showDebug(QtMsgType type, const QString &text);
    void saveToChosenFile();

private:
    struct Line
    {
        int level;
        QString text;
    };
    void append(int level, const QString &text);
    bool passes(const Line &line) const;
    void refilter();
    void setStatus(const QString &text, bool ok);

    QListView *m_listView;
    QStringListModel *m_model;
    QComboBox *m_level;
    QLineEdit *m_filter;
    QLabel *m_status;
    QList<Line> m_lines;
    int m_minLevel = AllLevels;
    QString m_text;
};
