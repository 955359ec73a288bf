#pragma once

#include <QByteArrayView>
#include <QList>
#include <QPair>
#include <QString>

#include <optional>

namespace accountd {

// The fields of an application/x-www-form-urlencoded body or URL query. "+" is a space and
// "%XX" a byte; a "%" not followed by two hex digits stays as it is (clients that do not
// escape their values send those). Values must be UTF-8. A field name given twice, an empty
// field name or more than maxFields fields make the whole form malformed. Pure, any thread.
class FormData
{
public:
    static constexpr int maxFields = 64;

    // The fields, or nothing with *error set to a reason that may be shown to the client.
    static std::optional<FormData> parse(QByteArrayView text, QString *error);

    bool contains(const QString &name) const;
    // The value, or an empty string when the field is absent.
    QString value(const QString &name) const;
    int size() const { return int(m_fields.size()); }

    // Percent-decoding as described above, without the UTF-8 check.
    static QByteArray percentDecode(QByteArrayView text);

private:
    QList<QPair<QString, QString>> m_fields;
};

} // namespace accountd
