#pragma once

#include <QString>
#include <QWidget>

#include <functional>

class QLabel;
class QLineEdit;
class SystemInfo;

// The local settings page of the control panel: the folder of the
// configuration file, the snapshot and recording folders and the record
// length. Nothing is stored until the user saves; a save checks every
// changed value first (existing, writable folders; a length of 1 to
// MaxRecordMinutes minutes) and then stores all of them or none. The new
// folders go to VideoRecord at once. GUI thread only.
class LocalSetting : public QWidget
{
    Q_OBJECT

public:
    static constexpr int MaxRecordMinutes = 1440;
    // A status shown again blanks for this long first.
    static constexpr int StatusBlinkMs = 150;

    // Asks for a folder (title, starting folder); empty when cancelled.
    using FolderChooser =
        std::function<QString(QWidget *parent, const QString &title, const QString &start)>;

    explicit LocalSetting(QWidget *parent = nullptr);

    // Replaces the folder dialog (tests).
    void setFolderChooser(FolderChooser chooser) { m_chooseFolder = std::move(chooser); }

    QString statusText() const;
    bool statusIsError() const { return m_statusIsError; }

    // Why the folder cannot take files; empty when it can.
    static QString folderProblem(const QString &folder);

public slots:
    void on_pushButton_3_clicked(); // save
    void on_pushButton_4_clicked(); // browse: configuration folder
    void on_pushButton_5_clicked(); // browse: snapshot folder
    void on_pushButton_6_clicked(); // browse: recording folder
    void on_pushButton_clicked();   // save

private:
    void browse(QLineEdit *edit);
    // Stores the changed values; false with the reason shown when nothing was.
    bool save();
    void load();
    bool fail(QLineEdit *edit, const QString &message);
    void setStatus(const QString &text, bool error);

    QLineEdit *m_configEdit;
    QLineEdit *m_picEdit;
    QLineEdit *m_videoEdit;
    QLineEdit *m_lengthEdit;
    QLabel *m_status;
    bool m_statusIsError = false;
    FolderChooser m_chooseFolder;

    QString m_configPath;
    QString m_picPath;
    QString m_videoPath;
    qint32 m_timeLength = 0;
    SystemInfo *m_systemInfo;
};
