#include "EventMessage.h"

#include "OnvifContext.h"
#include "SoapNamespaces.h"
#include "XsdTime.h"

#include <QXmlStreamWriter>

namespace devsim {

namespace {

QString boolean(bool value)
{
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

void writeItems(QXmlStreamWriter &w, const QString &element, const EventMessage::Items &items)
{
    const QString &tt = SoapNs::Schema;
    w.writeStartElement(tt, element);
    for (const auto &[name, value] : items) {
        w.writeEmptyElement(tt, QStringLiteral("SimpleItem"));
        w.writeAttribute(QStringLiteral("Name"), name);
        w.writeAttribute(QStringLiteral("Value"), value);
    }
    w.writeEndElement();
}

} // namespace

EventMessage EventMessage::motion(const QString &topic, int channel, bool on, const QDateTime &at,
                                  const QString &operation)
{
    EventMessage m{topic, at, operation, {}, {}};
    const QString source = OnvifContext::sourceToken(channel);
    const QString configuration = QStringLiteral("vsc%1").arg(channel);
    if (topic == MotionAlarm) {
        m.source = {{QStringLiteral("Source"), source},
                    {QStringLiteral("VideoSourceToken"), source},
                    {QStringLiteral("VideoSourceConfigurationToken"), configuration}};
        m.data = {{QStringLiteral("State"), boolean(on)}};
    } else {
        m.source = {{QStringLiteral("VideoSourceConfigurationToken"), configuration},
                    {QStringLiteral("VideoAnalyticsConfigurationToken"),
                     QStringLiteral("vac%1").arg(channel)},
                    {QStringLiteral("Rule"), QStringLiteral("MotionDetectorRule")},
                    {QStringLiteral("VideoSourceToken"), source}};
        m.data = {{QStringLiteral("IsMotion"), boolean(on)}};
    }
    return m;
}

EventMessage EventMessage::recording(int channel, bool present, const QDateTime &at)
{
    return EventMessage{RecordingState,
                        at,
                        QStringLiteral("Changed"),
                        {{QStringLiteral("RecordingToken"), OnvifContext::recordingToken(channel)},
                         {QStringLiteral("Track"), QStringLiteral("VIDEO")}},
                        {{QStringLiteral("IsDataPresent"), boolean(present)}}};
}

void EventMessage::writeContent(QXmlStreamWriter &w) const
{
    w.writeStartElement(SoapNs::Notification, QStringLiteral("Topic"));
    w.writeAttribute(QStringLiteral("Dialect"), ConcreteSet);
    w.writeCharacters(QStringLiteral("tns1:") + topic);
    w.writeEndElement();
    w.writeStartElement(SoapNs::Notification, QStringLiteral("Message"));
    w.writeStartElement(SoapNs::Schema, QStringLiteral("Message"));
    w.writeAttribute(QStringLiteral("UtcTime"), XsdTime::dateTime(at));
    if (!operation.isEmpty())
        w.writeAttribute(QStringLiteral("PropertyOperation"), operation);
    writeItems(w, QStringLiteral("Source"), source);
    writeItems(w, QStringLiteral("Data"), data);
    w.writeEndElement(); // tt:Message
    w.writeEndElement(); // wsnt:Message
}

} // namespace devsim
