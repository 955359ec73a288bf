#include "link/onvif/OnvifXml.h"

#include <QXmlStreamReader>

OnvifResult<OnvifXmlElement> OnvifXmlElement::parse(const QByteArray &xml, const Limits &limits)
{
    using Kind = OnvifError::Kind;
    if (xml.size() > limits.maxBytes)
        return OnvifError::make(
            Kind::Oversized,
            QStringLiteral("%1 bytes (limit %2)").arg(xml.size()).arg(limits.maxBytes));

    QXmlStreamReader reader(xml);
    OnvifXmlElement root;
    bool haveRoot = false;
    std::vector<OnvifXmlElement *> open; // the path from the root to the current element
    int elements = 0;
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::DTD:
            return OnvifError::make(Kind::Malformed, QStringLiteral("document type declaration"));
        case QXmlStreamReader::EntityReference:
            return OnvifError::make(Kind::Malformed, QStringLiteral("unknown entity"));
        case QXmlStreamReader::StartElement: {
            if (int(open.size()) >= limits.maxDepth)
                return OnvifError::make(
                    Kind::Oversized, QStringLiteral("nested deeper than %1").arg(limits.maxDepth));
            if (++elements > limits.maxElements)
                return OnvifError::make(
                    Kind::Oversized,
                    QStringLiteral("more than %1 elements").arg(limits.maxElements));
            OnvifXmlElement *e;
            if (open.empty()) {
                if (haveRoot)
                    return OnvifError::make(Kind::Malformed, QStringLiteral("two root elements"));
                haveRoot = true;
                e = &root;
            } else {
                OnvifXmlElement *parent = open.back();
                parent->m_children.emplace_back();
                e = &parent->m_children.back();
                e->m_prefixes = parent->m_prefixes;
            }
            e->m_ns = reader.namespaceUri().toString();
            e->m_name = reader.name().toString();
            const QXmlStreamNamespaceDeclarations declarations = reader.namespaceDeclarations();
            for (const QXmlStreamNamespaceDeclaration &d : declarations)
                e->m_prefixes.insert(d.prefix().toString(), d.namespaceUri().toString());
            const QXmlStreamAttributes attributes = reader.attributes();
            for (const QXmlStreamAttribute &a : attributes)
                e->m_attributes.append(
                    {a.namespaceUri().toString(), a.name().toString(), a.value().toString()});
            open.push_back(e);
            break;
        }
        case QXmlStreamReader::EndElement:
            open.pop_back();
            break;
        case QXmlStreamReader::Characters:
            if (!open.empty())
                open.back()->m_text += reader.text();
            break;
        default: // the XML declaration, comments, processing instructions
            break;
        }
    }
    if (reader.hasError())
        return OnvifError::make(Kind::Malformed, reader.errorString());
    if (!haveRoot)
        return OnvifError::make(Kind::Malformed, QStringLiteral("no root element"));
    return root;
}

const OnvifXmlElement *OnvifXmlElement::child(const QString &ns, const QString &name) const
{
    for (const OnvifXmlElement &c : m_children) {
        if (c.is(ns, name))
            return &c;
    }
    return nullptr;
}

const OnvifXmlElement *OnvifXmlElement::path(const QString &ns,
                                             std::initializer_list<const char *> names) const
{
    const OnvifXmlElement *e = this;
    for (const char *name : names) {
        e = e->child(ns, QLatin1String(name));
        if (!e)
            return nullptr;
    }
    return e;
}

QList<const OnvifXmlElement *> OnvifXmlElement::childrenNamed(const QString &ns,
                                                              const QString &name) const
{
    QList<const OnvifXmlElement *> found;
    for (const OnvifXmlElement &c : m_children) {
        if (c.is(ns, name))
            found.append(&c);
    }
    return found;
}

QString OnvifXmlElement::childText(const QString &ns, const QString &name) const
{
    const OnvifXmlElement *c = child(ns, name);
    return c ? c->text() : QString();
}

QString OnvifXmlElement::attribute(const QString &name) const
{
    for (const Attribute &a : m_attributes) {
        if (a.ns.isEmpty() && a.name == name)
            return a.value;
    }
    return {};
}
