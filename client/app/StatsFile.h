#pragma once

#include <QObject>
#include <QString>

class Dev;
class QTimer;
class ViewControl;

// Long-running checks from outside the process (a soak run) read the
// client's stream figures from a small text file, rewritten once a second
// ("--stats FILE"): a first line "time <ms since the epoch>", then one line
// per channel that is wanted live or has received frames:
//   channel <uid>:<n> wanted <0|1> received <frames> decoded <pictures> drawn <pictures>
// with running totals since the channel's stream first started. The file is
// written next to itself and renamed over the old one, so a reader never
// sees half of it.
//
// With recordFirst, the first wanted channel is recorded as soon as it
// streams ("--record"); an empty path writes no file.
// GUI thread.
class StatsFile : public QObject
{
    Q_OBJECT

public:
    StatsFile(const QString &path, bool recordFirst, Dev *dev, ViewControl *view,
              QObject *parent = nullptr);

    // The file's text now.
    QString text() const;

private:
    void write();

    QString m_path;
    bool m_recordFirst;
    Dev *m_dev;
    ViewControl *m_view;
    QTimer *m_timer;
};
