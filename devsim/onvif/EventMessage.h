#pragma once

#include <QDateTime>
#include <QList>
#include <QPair>
#include <QString>

class QXmlStreamWriter;

namespace devsim {

// One notification of the event service (a pulled message) or of the search service (a
// recorded event): its topic under tns1, time, property operation and simple items. Plain
// value type; any thread.
struct EventMessage
{
    static inline const QString MotionAlarm = QStringLiteral("VideoSource/MotionAlarm");
    static inline const QString CellMotion = QStringLiteral("RuleEngine/CellMotionDetector/Motion");
    static inline const QString RecordingState = QStringLiteral("RecordingHistory/Track/State");
    static inline const QString ConcreteSet =
        QStringLiteral("http://www.onvif.org/ver10/tev/topicExpression/ConcreteSet");

    using Items = QList<QPair<QString, QString>>; // name, value

    QString topic; // below tns1, e.g. MotionAlarm
    QDateTime at;
    QString operation; // PropertyOperation: "Initialized", "Changed"; empty: none
    Items source;
    Items data;

    // A channel's motion: VideoSource/MotionAlarm (State) or the cell motion detector's
    // rule (IsMotion), each naming the channel's video source and its configuration.
    static EventMessage motion(const QString &topic, int channel, bool on, const QDateTime &at,
                               const QString &operation);
    // Whether a channel's recording holds data (RecordingHistory/Track/State, IsDataPresent).
    static EventMessage recording(int channel, bool present, const QDateTime &at);

    // <wsnt:Topic Dialect=ConcreteSet>tns1:...</wsnt:Topic><wsnt:Message><tt:Message ...>, the
    // content of a wsnt:NotificationMessage or a tt:Event; the tns1 prefix must be in scope.
    void writeContent(QXmlStreamWriter &w) const;
};

} // namespace devsim
