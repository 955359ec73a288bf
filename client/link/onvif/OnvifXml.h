#pragma once

#include "link/onvif/OnvifTypes.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

#include <vector>

// A small element tree read from untrusted XML with QXmlStreamReader, so
// the reply readers can look elements up by namespace URI and local name
// (never by prefix). parse() refuses a document over its byte, depth or
// element limits, one with a document type declaration or an unknown entity,
// and anything that is not well-formed.
//
// Threads: any; values are independent.
class OnvifXmlElement
{
public:
    struct Limits
    {
        qsizetype maxBytes = 1024 * 1024;
        int maxDepth = 32;
        int maxElements = 50000;
    };
    struct Attribute
    {
        QString ns;
        QString name;
        QString value;
    };

    static OnvifResult<OnvifXmlElement> parse(const QByteArray &xml, const Limits &limits);

    const QString &ns() const { return m_ns; }
    const QString &name() const { return m_name; }
    bool is(const QString &ns, const QString &name) const { return m_ns == ns && m_name == name; }
    // The element's own character data, trimmed.
    QString text() const { return m_text.trimmed(); }

    const QList<Attribute> &attributes() const { return m_attributes; }
    const std::vector<OnvifXmlElement> &children() const { return m_children; }
    // The first child with this name, or null.
    const OnvifXmlElement *child(const QString &ns, const QString &name) const;
    // Follows a path of children, all in namespace ns; null when one is missing.
    const OnvifXmlElement *path(const QString &ns, std::initializer_list<const char *> names) const;
    QList<const OnvifXmlElement *> childrenNamed(const QString &ns, const QString &name) const;
    // The trimmed text of the first child with this name; empty when missing.
    QString childText(const QString &ns, const QString &name) const;
    // An attribute without namespace (token="..."); empty when missing.
    QString attribute(const QString &name) const;
    // The namespace URI bound to prefix at this element ("" is the default
    // namespace); a null string when the prefix is not bound.
    QString namespaceOf(const QString &prefix) const { return m_prefixes.value(prefix); }

private:
    QString m_ns;
    QString m_name;
    QString m_text;
    QList<Attribute> m_attributes;
    QHash<QString, QString> m_prefixes; // shared with the parent unless it declares some
    std::vector<OnvifXmlElement> m_children;
};
