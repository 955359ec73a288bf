#include "SoapEnvelope.h"

#include "SoapNamespaces.h"

#include <QXmlStreamWriter>

namespace devsim {

std::optional<SoapEnvelope> SoapEnvelope::parse(const QByteArray &bytes, SoapFault *fault)
{
    QString error;
    std::unique_ptr<XmlNode> root = XmlNode::parse(bytes, &error);
    if (!root) {
        *fault = SoapFault::sender({QStringLiteral("WellFormed")},
                                   QStringLiteral("not well-formed XML: ") + error);
        return std::nullopt;
    }
    if (root->name == QLatin1String("Envelope") && root->ns == SoapNs::Envelope11) {
        *fault = SoapFault{SoapFault::Code::VersionMismatch,
                           {QStringLiteral("WrongSOAPVersion")},
                           QStringLiteral("only SOAP 1.2 envelopes are understood")};
        return std::nullopt;
    }
    if (root->name != QLatin1String("Envelope") || root->ns != SoapNs::Envelope) {
        *fault = SoapFault::sender({QStringLiteral("Namespace")},
                                   QStringLiteral("the root is no SOAP 1.2 Envelope"));
        return std::nullopt;
    }
    SoapEnvelope envelope;
    const XmlNode *body = nullptr;
    for (const auto &c : root->children) {
        const bool soap = c->ns == SoapNs::Envelope;
        if (soap && c->name == QLatin1String("Header") && !envelope.m_header && !body) {
            envelope.m_header = c.get();
        } else if (soap && c->name == QLatin1String("Body") && !body) {
            body = c.get();
        } else {
            *fault = SoapFault::sender({QStringLiteral("TagMismatch")},
                                       QStringLiteral("unexpected element ") + c->name);
            return std::nullopt;
        }
    }
    if (!body || body->children.size() != 1) {
        *fault = SoapFault::sender({QStringLiteral("InvalidArgs")},
                                   QStringLiteral("the Body must hold exactly one element"));
        return std::nullopt;
    }
    envelope.m_body = body->children.front().get();
    envelope.m_root = std::move(root);
    return envelope;
}

QByteArray SoapEnvelope::write(const Namespaces &namespaces, const Part &header, const Part &body)
{
    QByteArray out;
    QXmlStreamWriter w(&out);
    w.writeStartDocument();
    w.writeNamespace(SoapNs::Envelope, QStringLiteral("s"));
    for (const auto &[prefix, uri] : namespaces)
        w.writeNamespace(uri, prefix);
    w.writeStartElement(SoapNs::Envelope, QStringLiteral("Envelope"));
    if (header) {
        w.writeStartElement(SoapNs::Envelope, QStringLiteral("Header"));
        header(w);
        w.writeEndElement();
    }
    w.writeStartElement(SoapNs::Envelope, QStringLiteral("Body"));
    body(w);
    w.writeEndDocument(); // closes Body and Envelope
    return out;
}

QByteArray SoapEnvelope::fault(const SoapFault &fault)
{
    return write({{QStringLiteral("ter"), SoapNs::Error}}, {}, [&](QXmlStreamWriter &w) {
        const QString &s = SoapNs::Envelope;
        w.writeStartElement(s, QStringLiteral("Fault"));
        w.writeStartElement(s, QStringLiteral("Code"));
        w.writeTextElement(s, QStringLiteral("Value"),
                           fault.code == SoapFault::Code::Sender ? QStringLiteral("s:Sender")
                           : fault.code == SoapFault::Code::Receiver
                               ? QStringLiteral("s:Receiver")
                               : QStringLiteral("s:VersionMismatch"));
        for (const QString &subcode : fault.subcodes) {
            w.writeStartElement(s, QStringLiteral("Subcode"));
            w.writeTextElement(s, QStringLiteral("Value"), QStringLiteral("ter:") + subcode);
        }
        for (int i = 0; i < fault.subcodes.size(); ++i)
            w.writeEndElement(); // Subcode
        w.writeEndElement();     // Code
        w.writeStartElement(s, QStringLiteral("Reason"));
        w.writeStartElement(s, QStringLiteral("Text"));
        w.writeAttribute(QStringLiteral("xml:lang"), QStringLiteral("en"));
        w.writeCharacters(fault.reason);
        w.writeEndElement(); // Text
        w.writeEndElement(); // Reason
        w.writeEndElement(); // Fault
    });
}

} // namespace devsim
