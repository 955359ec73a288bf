#include "TopicFilter.h"

#include "SoapNamespaces.h"
#include "XmlNode.h"

namespace devsim {

std::optional<TopicFilter> TopicFilter::parse(const XmlNode *expression)
{
    TopicFilter filter;
    if (!expression)
        return filter;
    filter.m_all = false;
    const QStringList alternatives = expression->text.split(QLatin1Char('|'));
    if (alternatives.size() > MaxAlternatives)
        return std::nullopt;
    for (QString topic : alternatives) {
        topic = topic.trimmed();
        const int slash = topic.indexOf(QLatin1Char('/'));
        const auto root = expression->resolveQName(slash < 0 ? topic : topic.left(slash));
        if (!root || root->first != SoapNs::Topics)
            return std::nullopt;
        const QString path = root->second + (slash < 0 ? QString() : topic.mid(slash));
        if (path.endsWith(QLatin1String("//.")))
            filter.m_below << path.chopped(2);
        else if (!path.contains(QLatin1String("//")) && !path.endsWith(QLatin1Char('/')))
            filter.m_exact << path;
        else
            return std::nullopt;
    }
    return filter;
}

bool TopicFilter::matches(const QString &topic) const
{
    if (m_all || m_exact.contains(topic))
        return true;
    for (const QString &prefix : m_below)
        if (topic.startsWith(prefix))
            return true;
    return false;
}

} // namespace devsim
