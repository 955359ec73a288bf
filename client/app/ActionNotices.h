#pragma once

#include <QObject>

class Notice;
class QWidget;

// Tells the user what the record and snapshot buttons did, in the host's
// Notice: a snapshot written (with "Open folder"), a recording started,
// saved (with "Open folder") or stopped by a failure, with its reason.
// GUI thread only.
class ActionNotices : public QObject
{
    Q_OBJECT

public:
    ActionNotices(QWidget *host, QObject *parent = nullptr);

    Notice *notice() const { return m_notice; }
    // "Select a channel in the grid first", for buttons that act on the
    // selected channel when there is none.
    static void noChannel(const QWidget *from);

private:
    void saved(const QString &text, const QString &path);

    Notice *m_notice;
};
