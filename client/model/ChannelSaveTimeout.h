#pragma once

#include "model/Channel.h"

#include <QTimer>

// A QTimer that carries the channel it was armed for and reports it with
// timeout(Channel*) before QTimer's own timeout(). Used for the per-channel IO
// time-out and for the record-length timers. GUI thread only.
class ChannelSaveTimeout : public QTimer
{
    Q_OBJECT

public:
    explicit ChannelSaveTimeout(QObject *parent = nullptr);

    void setChannel(Channel *channel) { m_channel = channel; }
    Channel *channel() const { return m_channel; }

signals:
    void timeout(Channel *channel);

protected:
    void timerEvent(QTimerEvent *event) override;

private:
    Channel *m_channel = nullptr;
};
