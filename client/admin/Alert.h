#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QWidget>

class Channel;
class QLabel;

// One failure as the user is told about it: the device line ("UID(2)" for a
// device's second channel, empty without a channel), the code and the text.
// A burst of the same failure is one entry with a count.
struct AlertEntry
{
    QDateTime first;
    QDateTime last;
    QString device;
    int code = 0;
    QString text;
    int count = 1;

    static QString deviceText(const Channel *channel);
    bool sameFailure(const AlertEntry &other) const
    {
        return device == other.device && code == other.code && text == other.text;
    }
};

// The failures of this session, newest last. A failure equal to the newest
// entry within CollapseMs of it raises that entry's count instead of adding
// one. At most MaxEntries are kept (the oldest go). GUI thread only.
class AlertLog
{
public:
    static constexpr qint64 CollapseMs = 10000;
    static constexpr int MaxEntries = 500;

    // Records a failure; true when it only raised the newest entry's count.
    bool add(const AlertEntry &entry);
    const QList<AlertEntry> &entries() const { return m_entries; }

private:
    QList<AlertEntry> m_entries;
};

// The session's failures as a table (time, device, code, message, count),
// newest first. GUI thread only.
class AlertList : public QWidget
{
    Q_OBJECT

public:
    AlertList(const AlertLog &log, QWidget *parent = nullptr);
    int rowCount() const;
    QString cell(int row, int column) const;

private:
    class QTableWidget *m_table;
};

// The error box over the grid: code, device and message of the newest
// failure, and how often it happened in a row. Closed with its close button;
// a different failure replaces it. GUI thread only.
class Alert : public QWidget
{
    Q_OBJECT

public:
    explicit Alert(QWidget *parent = nullptr);

    void setMessage(const AlertEntry &entry);
    const AlertEntry &entry() const { return m_entry; }
    QString codeText() const;
    QString deviceText() const;
    QString messageText() const;
    void applyScale();

signals:
    void closeMsg();

public slots:
    void close();
    void reposition();

private:
    AlertEntry m_entry;
    QLabel *m_code;
    QLabel *m_device;
    QLabel *m_message;
};
