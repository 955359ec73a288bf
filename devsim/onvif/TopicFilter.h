#pragma once

#include <QStringList>

#include <optional>

namespace devsim {

class XmlNode;

// A wsnt:TopicExpression of a subscription's or a search's filter: topics under tns1
// separated by '|', each exact ("tns1:VideoSource/MotionAlarm") or with everything below it
// ("tns1:RuleEngine//."). Plain value type; any thread.
class TopicFilter
{
public:
    // From the expression element (null: every topic); nullopt when an alternative is no
    // topic under tns1, or there are more than MaxAlternatives.
    static constexpr int MaxAlternatives = 32;
    static std::optional<TopicFilter> parse(const XmlNode *expression);

    // topic below tns1, e.g. "VideoSource/MotionAlarm".
    bool matches(const QString &topic) const;

private:
    bool m_all = true;
    QStringList m_exact;
    QStringList m_below; // with a trailing '/'
};

} // namespace devsim
