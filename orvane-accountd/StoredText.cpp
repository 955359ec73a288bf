#include "StoredText.h"

#include <QByteArray>
#include <QRandomGenerator>
#include <QStringDecoder>

namespace accountd::StoredText {

namespace {

bool isPrefixChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

QByteArray randomPrefix(int n)
{
    QByteArray prefix;
    auto *random = QRandomGenerator::global();
    for (int i = 0; i < n; ++i) {
        if (random->bounded(2) == 0)
            prefix += char('a' + random->bounded(26));
        else
            prefix += char('0' + random->bounded(10));
    }
    return prefix;
}

// One round: the framed content between the two copies of an n-character prefix.
std::optional<QByteArray> unwrap(const QByteArray &base64, int n)
{
    if (base64.isEmpty() || base64.size() % 4 != 0)
        return std::nullopt;
    auto decoded = QByteArray::fromBase64Encoding(base64, QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return std::nullopt;
    const QByteArray &bytes = *decoded;
    if (bytes.size() < 2 * n)
        return std::nullopt;
    const QByteArray head = bytes.left(n);
    if (head != bytes.right(n))
        return std::nullopt;
    for (char c : head) {
        if (!isPrefixChar(c))
            return std::nullopt;
    }
    return bytes.mid(n, bytes.size() - 2 * n);
}

} // namespace

QString encode(const QString &text)
{
    QByteArray x = text.toUtf8();
    for (int n = 3; n >= 1; --n) {
        const QByteArray p = randomPrefix(n);
        x = (p + x + p).toBase64();
    }
    return QString::fromLatin1(x);
}

std::optional<QString> decode(const QString &encoded)
{
    QByteArray x = encoded.toLatin1();
    if (QString::fromLatin1(x) != encoded)
        return std::nullopt;
    for (int n = 1; n <= 3; ++n) {
        auto inner = unwrap(x, n);
        if (!inner)
            return std::nullopt;
        x = *inner;
    }
    const int zero = x.indexOf('\0');
    if (zero >= 0)
        x.truncate(zero);
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8.decode(x);
    if (utf8.hasError())
        return std::nullopt;
    return text;
}

QString passwordFromForm(const QString &value)
{
    QString candidate = value;
    candidate.replace(QLatin1Char(' '), QLatin1Char('+'));
    if (auto decoded = decode(candidate))
        return *decoded;
    return value;
}

} // namespace accountd::StoredText
