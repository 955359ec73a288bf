#include "config/TextEncoding.h"

#include <QByteArray>
#include <QRandomGenerator>
#include <QStringDecoder>

namespace {

QByteArray randomPrefix(int n)
{
    static const char letters[] = "abcdefghijklmnopqrstuvwxyz";
    static const char digits[] = "0123456789";
    QRandomGenerator *rng = QRandomGenerator::global();
    QByteArray p;
    p.reserve(n);
    for (int i = 0; i < n; ++i) {
        if (rng->bounded(2) == 0)
            p.append(letters[rng->bounded(26)]);
        else
            p.append(digits[rng->bounded(10)]);
    }
    return p;
}

// One decoding round; false when the input is not what a round produces.
bool decodeRound(const QByteArray &in, int n, QByteArray *out)
{
    const auto decoded = QByteArray::fromBase64Encoding(
        in, QByteArray::Base64Encoding | QByteArray::AbortOnBase64DecodingErrors);
    if (decoded.decodingStatus != QByteArray::Base64DecodingStatus::Ok)
        return false;
    const QByteArray &bytes = decoded.decoded;
    if (bytes.size() < 2 * n)
        return false;
    QByteArray inner = bytes.mid(n, bytes.size() - 2 * n);
    const qsizetype zero = inner.indexOf('\0');
    if (zero >= 0)
        inner.truncate(zero);
    *out = inner;
    return true;
}

} // namespace

QString encodeText(const QString &text)
{
    QByteArray x = text.toUtf8();
    for (int n = 3; n >= 1; --n) {
        const QByteArray p = randomPrefix(n);
        x = QByteArray(p + x + p).toBase64();
    }
    return QString::fromLatin1(x);
}

QString decodeText(const QString &stored)
{
    QString text;
    decodeText(stored, &text);
    return text;
}

bool decodeText(const QString &stored, QString *text)
{
    text->clear();
    if (stored.isEmpty())
        return true;
    QByteArray x = stored.toUtf8();
    for (int n = 1; n <= 3; ++n) {
        QByteArray inner;
        if (!decodeRound(x, n, &inner))
            return false;
        x = inner;
    }
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString result = utf8.decode(x);
    if (utf8.hasError())
        return false;
    *text = result;
    return true;
}
