#include "XmlNode.h"

#include <QXmlStreamReader>

namespace devsim {

std::unique_ptr<XmlNode> XmlNode::parse(const QByteArray &bytes, QString *error)
{
    QXmlStreamReader reader(bytes);
    std::unique_ptr<XmlNode> root;
    std::vector<XmlNode *> open;
    int elements = 0;
    const auto fail = [&](const QString &why) {
        *error = why;
        return std::unique_ptr<XmlNode>();
    };
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartElement: {
            if (++elements > MaxElements)
                return fail(QStringLiteral("too many elements"));
            if (static_cast<int>(open.size()) >= MaxDepth)
                return fail(QStringLiteral("nested too deeply"));
            if (open.empty() && root)
                return fail(QStringLiteral("more than one root element"));
            auto node = std::make_unique<XmlNode>();
            node->ns = reader.namespaceUri().toString();
            node->name = reader.name().toString();
            for (const QXmlStreamNamespaceDeclaration &decl : reader.namespaceDeclarations())
                node->m_namespaces.emplace_back(decl.prefix().toString(),
                                                decl.namespaceUri().toString());
            for (const QXmlStreamAttribute &a : reader.attributes())
                node->m_attributes.push_back(Attribute{a.namespaceUri().toString(),
                                                       a.name().toString(), a.value().toString()});
            XmlNode *raw = node.get();
            if (open.empty()) {
                root = std::move(node);
            } else {
                raw->parent = open.back();
                open.back()->children.push_back(std::move(node));
            }
            open.push_back(raw);
            break;
        }
        case QXmlStreamReader::EndElement:
            open.back()->text = open.back()->text.trimmed();
            open.pop_back();
            break;
        case QXmlStreamReader::Characters:
            if (!open.empty())
                open.back()->text += reader.text();
            break;
        case QXmlStreamReader::DTD:
            return fail(QStringLiteral("document type declarations are not accepted"));
        case QXmlStreamReader::EntityReference:
            return fail(QStringLiteral("unknown entity reference"));
        case QXmlStreamReader::ProcessingInstruction:
            return fail(QStringLiteral("processing instructions are not accepted"));
        default: // document start and end, comments
            break;
        }
    }
    if (reader.hasError())
        return fail(reader.errorString());
    if (!root)
        return fail(QStringLiteral("no root element"));
    return root;
}

const XmlNode *XmlNode::child(const QString &childNs, const QString &childName) const
{
    for (const auto &c : children) {
        if (c->name == childName && c->ns == childNs)
            return c.get();
    }
    return nullptr;
}

std::optional<QString> XmlNode::childText(const QString &childNs, const QString &childName) const
{
    const XmlNode *c = child(childNs, childName);
    return c ? std::optional<QString>(c->text) : std::nullopt;
}

std::optional<QString> XmlNode::attribute(const QString &attrName, const QString &attrNs) const
{
    for (const Attribute &a : m_attributes) {
        if (a.name == attrName && a.ns == attrNs)
            return a.value;
    }
    return std::nullopt;
}

std::optional<std::pair<QString, QString>> XmlNode::resolveQName(const QString &qname) const
{
    const int colon = qname.indexOf(QLatin1Char(':'));
    const QString prefix = colon < 0 ? QString() : qname.left(colon);
    const QString local = colon < 0 ? qname : qname.mid(colon + 1);
    if (local.isEmpty() || local.contains(QLatin1Char(':')))
        return std::nullopt;
    for (const XmlNode *n = this; n; n = n->parent) {
        for (const auto &[p, uri] : n->m_namespaces) {
            if (p == prefix)
                return std::make_pair(uri, local);
        }
    }
    if (prefix.isEmpty())
        return std::make_pair(QString(), local); // no default namespace declared
    return std::nullopt;
}

} // namespace devsim
