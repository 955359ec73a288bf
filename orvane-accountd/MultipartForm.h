#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <optional>

namespace accountd {

// A multipart/form-data body (RFC 7578): the parts between the boundary lines, each with its
// form field name, file name and content type. Malformed bodies (no boundary parameter, a
// missing closing delimiter, a part without a name or with a name used twice, oversized part
// headers, more than maxParts parts) are refused as a whole. Pure, any thread.
class MultipartForm
{
public:
    struct Part
    {
        QString name;
        QString fileName;       // empty when the part is not a file
        QByteArray contentType; // lower case, without parameters; empty when not given
        QByteArray data;
    };

    static constexpr int maxParts = 16;
    static constexpr int maxPartHeaderBytes = 8192;

    // The boundary parameter of a Content-Type header value (quoted or not), or an empty
    // array when the value is not multipart/form-data with a usable boundary.
    static QByteArray boundaryOf(QByteArrayView contentType);

    static std::optional<MultipartForm> parse(QByteArrayView contentType, QByteArrayView body,
                                              QString *error);

    const Part *part(const QString &name) const;
    const QList<Part> &parts() const { return m_parts; }

private:
    QList<Part> m_parts;
};

} // namespace accountd
