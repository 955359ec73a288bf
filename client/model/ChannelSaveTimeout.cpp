#include "model/ChannelSaveTimeout.h"

#include "model/Channel.h"

#include <QTimerEvent>

ChannelSaveTimeout::ChannelSaveTimeout(QObject *parent)
    : QTimer(parent)
{}

void ChannelSaveTimeout::timerEvent(QTimerEvent *event)
{
    if (event->timerId() == timerId())
        emit timeout(m_channel);
    QTimer::timerEvent(event);
}
