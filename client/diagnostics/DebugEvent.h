#pragma once

#include <QEvent>
#include <QString>
#include <QtGlobal>

// One logged message on its way from the message handler (any thread) to
// SystemInfo on the GUI thread. Type 1029 of the event sequence.
class DebugEvent_getDebug : public QEvent
{
public:
    static constexpr QEvent::Type EventType = QEvent::Type(1029);

    DebugEvent_getDebug(QtMsgType msgType, const QString &text)
        : QEvent(EventType)
        , msgType(msgType)
        , text(text)
    {}

    const QtMsgType msgType;
    const QString text;
};
