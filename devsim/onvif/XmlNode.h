#pragma once

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace devsim {

// An element of a parsed XML document, names by namespace URI, never by prefix. Built from
// untrusted bytes by parse(), which bounds depth and element count, and refuses DTDs,
// processing instructions and entity references besides XML's own.
// Plain data; any thread.
class XmlNode
{
public:
    static constexpr int MaxDepth = 32;
    static constexpr int MaxElements = 4096;

    // The document's root element, or null with *error.
    static std::unique_ptr<XmlNode> parse(const QByteArray &bytes, QString *error);

    QString ns;   // namespace URI
    QString name; // local name
    QString text; // the element's own character data, trimmed
    std::vector<std::unique_ptr<XmlNode>> children;
    const XmlNode *parent = nullptr;

    // The first child element with this namespace and name, or null.
    const XmlNode *child(const QString &childNs, const QString &childName) const;
    // The text of that child; nullopt without it.
    std::optional<QString> childText(const QString &childNs, const QString &childName) const;
    // An attribute without namespace (or with one); nullopt when absent.
    std::optional<QString> attribute(const QString &attrName, const QString &attrNs = {}) const;
    // A QName of the element's content ("prefix:local"), resolved with the namespaces in
    // scope here: (namespace URI, local name), or nullopt when its prefix is unbound.
    std::optional<std::pair<QString, QString>> resolveQName(const QString &qname) const;

private:
    struct Attribute
    {
        QString ns, name, value;
    };
    std::vector<Attribute> m_attributes;
    std::vector<std::pair<QString, QString>> m_namespaces; // declared here: prefix, URI
};

} // namespace devsim
