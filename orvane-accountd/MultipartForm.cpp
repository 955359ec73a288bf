#include "MultipartForm.h"

#include <QStringDecoder>

namespace accountd {

namespace {

// Splits "value; a=b; c=\"d;e\"" into its first item and its parameters (names lower case).
struct HeaderValue
{
    QByteArray value;
    QList<QPair<QByteArray, QByteArray>> params;
};

std::optional<HeaderValue> parseHeaderValue(QByteArrayView text)
{
    HeaderValue out;
    qsizetype i = text.indexOf(';');
    out.value = text.first(i < 0 ? text.size() : i).trimmed().toByteArray().toLower();
    while (i >= 0 && i < text.size()) {
        ++i; // past ';'
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
            ++i;
        const qsizetype eq = text.indexOf('=', i);
        if (eq < 0)
            break;
        QByteArray name = text.sliced(i, eq - i).trimmed().toByteArray().toLower();
        i = eq + 1;
        QByteArray value;
        if (i < text.size() && text[i] == '"') {
            ++i;
            bool closed = false;
            while (i < text.size()) {
                const char c = text[i++];
                if (c == '\\' && i < text.size()) {
                    value += text[i++];
                } else if (c == '"') {
                    closed = true;
                    break;
                } else {
                    value += c;
                }
            }
            if (!closed)
                return std::nullopt;
            i = text.indexOf(';', i);
        } else {
            const qsizetype end = text.indexOf(';', i);
            value = text.sliced(i, (end < 0 ? text.size() : end) - i).trimmed().toByteArray();
            i = end;
        }
        out.params.append({name, value});
    }
    return out;
}

QByteArray param(const HeaderValue &header, const QByteArray &name)
{
    for (const auto &p : header.params) {
        if (p.first == name)
            return p.second;
    }
    return QByteArray();
}

bool hasParam(const HeaderValue &header, const QByteArray &name)
{
    for (const auto &p : header.params) {
        if (p.first == name)
            return true;
    }
    return false;
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

QByteArray MultipartForm::boundaryOf(QByteArrayView contentType)
{
    const auto header = parseHeaderValue(contentType);
    if (!header || header->value != "multipart/form-data")
        return QByteArray();
    const QByteArray boundary = param(*header, "boundary");
    if (boundary.isEmpty() || boundary.size() > 70)
        return QByteArray();
    for (char c : boundary) {
        if (c < 0x20 || c > 0x7e)
            return QByteArray();
    }
    return boundary;
}

std::optional<MultipartForm> MultipartForm::parse(QByteArrayView contentType, QByteArrayView body,
                                                  QString *error)
{
    const QByteArray boundary = boundaryOf(contentType);
    if (boundary.isEmpty()) {
        *error = QStringLiteral("not a multipart/form-data body with a boundary");
        return std::nullopt;
    }
    const QByteArray delimiter = "--" + boundary;
    const QByteArray separator = "\r\n" + delimiter;

    // The first delimiter starts the body or follows a preamble line.
    qsizetype pos;
    if (body.startsWith(delimiter)) {
        pos = delimiter.size();
    } else {
        pos = body.indexOf(separator);
        if (pos < 0) {
            *error = QStringLiteral("multipart body without its boundary");
            return std::nullopt;
        }
        pos += separator.size();
    }

    MultipartForm form;
    for (;;) {
        if (body.sliced(pos).startsWith("--"))
            return form; // closing delimiter; an epilogue is ignored
        if (!body.sliced(pos).startsWith("\r\n")) {
            *error = QStringLiteral("malformed multipart boundary line");
            return std::nullopt;
        }
        pos += 2;
        if (form.m_parts.size() >= maxParts) {
            *error = QStringLiteral("too many multipart parts");
            return std::nullopt;
        }
        const qsizetype headEnd = body.indexOf("\r\n\r\n", pos);
        const bool emptyHead = body.sliced(pos).startsWith("\r\n");
        if (!emptyHead && (headEnd < 0 || headEnd - pos > maxPartHeaderBytes)) {
            *error = QStringLiteral("malformed multipart part headers");
            return std::nullopt;
        }
        const qsizetype dataStart = emptyHead ? pos + 2 : headEnd + 4;
        const qsizetype dataEnd = body.indexOf(separator, dataStart);
        if (dataEnd < 0) {
            *error = QStringLiteral("multipart body without its closing boundary");
            return std::nullopt;
        }

        Part part;
        bool disposition = false;
        const QByteArrayView head = emptyHead ? QByteArrayView() : body.sliced(pos, headEnd - pos);
        for (QByteArrayView line : QByteArray(head.toByteArray()).split('\n')) {
            if (line.endsWith('\r'))
                line.chop(1);
            if (line.isEmpty())
                continue;
            const qsizetype colon = line.indexOf(':');
            if (colon <= 0) {
                *error = QStringLiteral("malformed multipart part header line");
                return std::nullopt;
            }
            const QByteArray name = line.first(colon).trimmed().toByteArray().toLower();
            const auto value = parseHeaderValue(line.sliced(colon + 1));
            if (!value) {
                *error = QStringLiteral("malformed multipart part header value");
                return std::nullopt;
            }
            if (name == "content-disposition") {
                if (value->value != "form-data") {
                    *error = QStringLiteral("multipart part is not form-data");
                    return std::nullopt;
                }
                const auto fieldName = strictUtf8(param(*value, "name"));
                const auto fileName = strictUtf8(param(*value, "filename"));
                if (!fieldName || !fileName || !hasParam(*value, "name")) {
                    *error = QStringLiteral("multipart part without a valid name");
                    return std::nullopt;
                }
                part.name = *fieldName;
                part.fileName = *fileName;
                disposition = true;
            } else if (name == "content-type") {
                part.contentType = value->value;
            }
        }
        if (!disposition || part.name.isEmpty()) {
            *error = QStringLiteral("multipart part without a form-data name");
            return std::nullopt;
        }
        if (form.part(part.name)) {
            *error = QStringLiteral("multipart part \"%1\" is given twice").arg(part.name.left(32));
            return std::nullopt;
        }
        part.data = body.sliced(dataStart, dataEnd - dataStart).toByteArray();
        form.m_parts.append(part);
        pos = dataEnd + separator.size();
    }
}

const MultipartForm::Part *MultipartForm::part(const QString &name) const
{
    for (const Part &p : m_parts) {
        if (p.name == name)
            return &p;
    }
    return nullptr;
}

} // namespace accountd
