#include "FormData.h"

#include <QStringDecoder>

namespace accountd {

namespace {

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::optional<QString> strictUtf8(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8.decode(bytes);
    if (utf8.hasError())
        return std::nullopt;
    return text;
}

} // namespace

QByteArray FormData::percentDecode(QByteArrayView text)
{
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '+') {
            out += ' ';
        } else if (c == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 &&
                   hexValue(text[i + 2]) >= 0) {
            out += char(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            i += 2;
        } else {
            out += c;
        }
    }
    return out;
}

std::optional<FormData> FormData::parse(QByteArrayView text, QString *error)
{
    FormData form;
    qsizetype start = 0;
    while (start <= text.size()) {
        qsizetype end = text.indexOf('&', start);
        if (end < 0)
            end = text.size();
        const QByteArrayView field = text.sliced(start, end - start);
        start = end + 1;
        if (field.isEmpty())
            continue;
        if (form.m_fields.size() >= maxFields) {
            *error = QStringLiteral("too many form fields");
            return std::nullopt;
        }
        const qsizetype eq = field.indexOf('=');
        const QByteArrayView rawName = eq < 0 ? field : field.first(eq);
        const QByteArrayView rawValue = eq < 0 ? QByteArrayView() : field.sliced(eq + 1);
        const auto name = strictUtf8(percentDecode(rawName));
        if (!name) {
            *error = QStringLiteral("a form field name is not valid UTF-8");
            return std::nullopt;
        }
        if (name->isEmpty()) {
            *error = QStringLiteral("a form field has no name");
            return std::nullopt;
        }
        const auto value = strictUtf8(percentDecode(rawValue));
        if (!value) {
            *error = QStringLiteral("form field \"%1\" is not valid UTF-8").arg(name->left(32));
            return std::nullopt;
        }
        if (form.contains(*name)) {
            *error = QStringLiteral("form field \"%1\" is given twice").arg(name->left(32));
            return std::nullopt;
        }
        form.m_fields.append({*name, *value});
    }
    return form;
}

bool FormData::contains(const QString &name) const
{
    for (const auto &field : m_fields) {
        if (field.first == name)
            return true;
    }
    return false;
}

QString FormData::value(const QString &name) const
{
    for (const auto &field : m_fields) {
        if (field.first == name)
            return field.second;
    }
    return QString();
}

} // namespace accountd
