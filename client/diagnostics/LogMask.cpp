#include "diagnostics/LogMask.h"

#include <QRegularExpression>

namespace {

const QString Mask = QStringLiteral("******");

// 1: the key and what joins it to the value; 2: a quoted value, also one cut
// off by the end of the text; 3: a bare value, up to the next separator of
// query, form or JSON text.
const QRegularExpression &keyValuePattern()
{
    static const QRegularExpression re(
        QStringLiteral(R"(([A-Za-z0-9_.\-]*(?:pass(?:word|wd)|pwd|token|secret)[A-Za-z0-9_.\-]*)"
                       R"(["']?\s*[:=]\s*)(?:("[^"]*(?:"|$)|'[^']*(?:'|$))|([^\s&,;"'}\]]+)))"),
        QRegularExpression::CaseInsensitiveOption);
    return re;
}

const QRegularExpression &schemePattern()
{
    static const QRegularExpression re(
        QStringLiteral(R"(\b((?:Bearer|Authorization:\s*Basic)\s+)[^\s,;"']+)"),
        QRegularExpression::CaseInsensitiveOption);
    return re;
}

// The password of a URL's user information: "scheme://user:password@".
const QRegularExpression &urlPattern()
{
    static const QRegularExpression re(
        QStringLiteral(R"(([A-Za-z][A-Za-z0-9+.\-]*://[^\s:/@]*:)[^\s/]+@)"));
    return re;
}

} // namespace

QString maskSecrets(const QString &text)
{
    // Most lines name no credential; leave them untouched cheaply.
    static const QRegularExpression hint(
        QStringLiteral("pass|pwd|token|secret|bearer|authorization|://"),
        QRegularExpression::CaseInsensitiveOption);
    if (!hint.match(text).hasMatch())
        return text;

    QString out;
    out.reserve(text.size());
    qsizetype from = 0;
    auto it = keyValuePattern().globalMatch(text);
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        out += QStringView(text).mid(from, m.capturedStart() - from);
        out += m.captured(1);
        const QString quoted = m.captured(2);
        if (quoted.isEmpty())
            out += Mask;
        else if (quoted.size() == 2 && quoted.back() == quoted.front())
            out += quoted; // an empty value hides nothing
        else if (quoted.size() >= 2 && quoted.back() == quoted.front())
            out += quoted.front() + Mask + quoted.back();
        else
            out += quoted.front() + Mask; // cut off before its closing quote
        from = m.capturedEnd();
    }
    out += QStringView(text).mid(from);
    out.replace(urlPattern(), QStringLiteral("\\1") + Mask + u'@');
    return out.replace(schemePattern(), QStringLiteral("\\1") + Mask);
}
